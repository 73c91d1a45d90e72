// Answers a file dialog (open or save) the way the user does: the directory, then the name typed
// into the name field, then accept. A selection made through the view instead races the dialog's
// directory model, which fills in later and may put back the name the dialog proposed.
#pragma once

#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

namespace morvil::test {

inline void typeFileName(QFileDialog* dialog, const QString& path)
{
    dialog->setDirectory(QFileInfo(path).path());
    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QFileInfo(path).fileName());
    QMetaObject::invokeMethod(dialog, "accept");
}

} // namespace morvil::test
