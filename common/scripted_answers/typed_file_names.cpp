#include "typed_file_names.h"

#include <QAbstractItemView>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>

namespace morvil::scripted {

bool typeFileNames(QFileDialog& dialog, const QStringList& names)
{
    auto* nameField = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    // The list and the detail view share this selection.
    auto* files = dialog.findChild<QAbstractItemView*>(QStringLiteral("listView"));
    if (nameField == nullptr || files == nullptr || names.isEmpty()) {
        dialog.reject();
        return false;
    }
    // Typing drops what the dialog had selected only while the name field has the focus; dropped
    // first, it goes whether the window is active yet or not, and the selection then holds exactly
    // the typed files that exist.
    files->selectionModel()->clearSelection();
    if (names.size() == 1) {
        nameField->setText(names.first());
    } else {
        QStringList quoted;
        for (const QString& name : names) {
            quoted << QLatin1Char('"') + name + QLatin1Char('"');
        }
        nameField->setText(quoted.join(QLatin1Char(' ')));
    }
    // accept() is protected: the dialog's own slot, as its Open or Save button calls it.
    QMetaObject::invokeMethod(&dialog, "accept");
    return true;
}

bool typeFileName(QFileDialog& dialog, const QString& path)
{
    const QFileInfo file(path);
    dialog.setDirectory(file.path());
    return typeFileNames(dialog, { file.fileName() });
}

} // namespace morvil::scripted
