// The pages' controls, found by object name and used as the user would.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QtTest>

namespace morvil::test {

inline void setText(QWidget* page, const char* edit, const QString& text)
{
    auto* line = page->findChild<QLineEdit*>(QString::fromLatin1(edit));
    QVERIFY2(line != nullptr, edit);
    line->setText(text);
}

inline QString textOf(QWidget* page, const char* edit)
{
    return page->findChild<QLineEdit*>(QString::fromLatin1(edit))->text();
}

inline void press(QWidget* page, const char* button)
{
    auto* push = page->findChild<QPushButton*>(QString::fromLatin1(button));
    QVERIFY2(push != nullptr && push->isEnabled(), button);
    push->click();
}

} // namespace morvil::test
