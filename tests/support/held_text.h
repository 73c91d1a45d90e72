// What an edit that held a PIN still holds once it has been emptied: its text, or what its undo
// history gives back. Password echo only hides that history; an edit switched back to normal echo
// undoes into every character that was typed. The probe changes the edit: use it last.
#pragma once

#include <QLineEdit>
#include <QString>
#include <QtTest>

namespace morvil::test {

inline QString heldBy(QLineEdit* edit)
{
    if (!edit->text().isEmpty()) {
        return edit->text();
    }
    edit->setEchoMode(QLineEdit::Normal);
    edit->undo();
    return edit->text();
}

// Types `text` key by key, as the user does: what is typed goes through the undo history, unlike
// a text that is set.
inline void typeInto(QLineEdit* edit, const QString& text)
{
    QTest::keyClicks(edit, text);
}

} // namespace morvil::test
