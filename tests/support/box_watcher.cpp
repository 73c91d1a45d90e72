#include "box_watcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>

namespace morvil::test {

BoxWatcher::BoxWatcher(QObject* parent)
    : QObject(parent)
{
    // Boxes run their own event loop, in which this timer keeps firing.
    mTimer.setInterval(5);
    connect(&mTimer, &QTimer::timeout, this, &BoxWatcher::poll);
    mTimer.start();
}

BoxWatcher::~BoxWatcher() = default;

void BoxWatcher::expect(const BoxAnswer& answer)
{
    mScript.append(answer);
}

void BoxWatcher::expectError(const QString& text)
{
    expect({ QMessageBox::Ok, QMessageBox::Critical, QString::fromUtf8("Błąd"), text, {} });
}

void BoxWatcher::expectQuestion(const QString& text, QMessageBox::StandardButton press)
{
    expect({ press, QMessageBox::Question, QString::fromUtf8("Pytanie"), text, {} });
}

void BoxWatcher::expectInformation(const QString& title, const QString& text)
{
    expect({ QMessageBox::Ok, QMessageBox::Information, title, text, {} });
}

QStringList BoxWatcher::seenTexts() const
{
    QStringList texts;
    for (const BoxRecord& box : mSeen) {
        texts << box.title + QStringLiteral(": ") + box.text;
    }
    return texts;
}

QStringList BoxWatcher::finish()
{
    QStringList problems = mProblems;
    for (const BoxAnswer& answer : mScript) {
        problems << QStringLiteral("missing box: ") + answer.text.value_or(QStringLiteral("(any text)"));
    }
    mProblems.clear();
    mScript.clear();
    return problems;
}

QMessageBox* BoxWatcher::activeBox()
{
    return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
}

void BoxWatcher::poll()
{
    QMessageBox* box = activeBox();
    if (box == nullptr || !box->isVisible() || box->property("morvilAnswered").toBool()) {
        return;
    }
    box->setProperty("morvilAnswered", true);
    const BoxRecord record { box->icon(),
                             box->windowTitle(),
                             box->text(),
                             box->standardButtons(),
                             box->defaultButton() != nullptr ? box->standardButton(box->defaultButton())
                                                             : QMessageBox::NoButton,
                             box->textFormat() };
    mSeen.append(record);
    const QString shown = record.title + QStringLiteral(": ") + record.text;
    if (mScript.isEmpty()) {
        mProblems << QStringLiteral("unexpected box: ") + shown;
        QAbstractButton* escape = box->escapeButton();
        if (escape != nullptr) {
            escape->click();
        } else {
            box->reject();
        }
        return;
    }
    const BoxAnswer answer = mScript.takeFirst();
    if ((answer.icon && *answer.icon != record.icon) || (answer.title && *answer.title != record.title)
        || (answer.text && *answer.text != record.text)) {
        mProblems << QStringLiteral("unlike the script: ") + shown + QStringLiteral(" (expected: ")
                + answer.title.value_or(QString()) + QStringLiteral(": ") + answer.text.value_or(QString())
                + QStringLiteral(")");
    }
    if (answer.whileShown) {
        answer.whileShown();
    }
    QAbstractButton* button = box->button(answer.press);
    if (button == nullptr) {
        mProblems << QStringLiteral("box has no button to press: ") + shown;
        box->reject();
        return;
    }
    button->click();
}

} // namespace morvil::test
