// The pages' controls, found by object name and used as the user would.
#pragma once

#include "box_watcher.h"

#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QtTest>

#include <algorithm>

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

// The last box shown was a question with Yes and No, No the default.
inline void lastBoxAskedYesOrNo(const BoxWatcher& boxes)
{
    QVERIFY(!boxes.seen().isEmpty());
    QCOMPARE(boxes.seen().last().buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(boxes.seen().last().defaultButton, QMessageBox::No);
}

// The octets a page's signal pointed to, looked at again once the page is done with them: a page
// that forgets a PIN overwrites the very octets it lent, it does not only let go of them.
class LentSecret
{
public:
    void take(const char* at)
    {
        mAt = at;
        mSize = static_cast<int>(qstrlen(at));
    }
    QByteArray text() const { return QByteArray(mAt, mSize); }
    bool wiped() const
    {
        return mAt != nullptr && std::all_of(mAt, mAt + mSize, [](char c) { return c == 0; });
    }

private:
    const char* mAt = nullptr;
    int mSize = 0;
};

} // namespace morvil::test
