// Answers a shown file dialog (open or save) the way the user does at the keyboard: the names typed
// into the dialog's name field, then accepted. Answers built otherwise race the dialog: a name
// chosen through selectFile() is left out once the name field has the focus, which comes only when
// the window turns active, a moment after it shows; and what the dialog selected itself (a
// proposed file) stays beside typed names until then.
#pragma once

#include <QFileDialog>
#include <QString>
#include <QStringList>

namespace morvil::scripted {

// Types `names` (one, or several for a dialog that opens several files), each relative to the
// dialog's directory or absolute, and accepts them; the dialog's own checks run as for the user
// (a question before overwriting, a box for a file not found). A dialog with no name field to type
// into (a platform's native one) is cancelled instead, and false returned.
bool typeFileNames(QFileDialog& dialog, const QStringList& names);

// Opens the directory of `path` in the dialog, then types its name as above.
bool typeFileName(QFileDialog& dialog, const QString& path);

} // namespace morvil::scripted
