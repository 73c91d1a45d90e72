// PIN entry, the same in the three programs. A PIN edit takes at most 8 characters and echoes
// dots. An edit that held a PIN keeps no copy of it once emptied: neither as its text nor in its
// undo history, which password echo only hides (an edit switched back to normal echo undoes into
// every character typed). QLineEdit::clear() records the removal there; setText() starts the
// history afresh.
#pragma once

#include "dev_zr40nn.h"

#include <QString>

class QLineEdit;
class QWidget;

namespace morvil {

inline constexpr int kPinEditLength = 8;
// A PIN is at most 8 octets of UTF-8: a Polish letter takes two, so eight characters may not fit.
inline constexpr int kMaxPinOctets = DEV_ZR40NN_PIN_LEN;

// Whether a typed PIN fits on the token.
bool pinFits(const QString& pin);

// A PIN edit of a form.
QLineEdit* pinEdit(const QString& objectName);
// Empties an edit that may hold a PIN, its undo history included.
void clearPinEdit(QLineEdit* edit);
// Asks for a PIN in a modal password-echo input dialog. `label` is shown as plain text: it may
// name a token. True when accepted; `pin` then holds what was typed, for the caller to wipe (the
// empty PIN is a PIN). A PIN that does not fit is refused with a box while the dialog stays open,
// before any token is asked: the library would cut it and spend a try on what was never typed.
// The dialog's edit is emptied as the dialog closes, before it goes.
bool askPin(QWidget* parent, const QString& title, const QString& label, QString& pin);

} // namespace morvil
