// A scripted answer to the next modal file dialog, for GUI tests.
#pragma once

#include "file_name_typed.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QStringList>
#include <QTimer>

namespace morvil::test {

// Answers the next modal file dialog: notes the directory it opened in, then types `files`
// (relative to that directory or absolute) into its name field, or cancels when there are none.
class FileDialogAnswer : public QObject
{
public:
    explicit FileDialogAnswer(QStringList files)
        : mFiles(std::move(files))
    {
        mTimer.setInterval(5);
        connect(&mTimer, &QTimer::timeout, this, [this] { poll(); });
        mTimer.start();
    }
    QString openedIn;

private:
    void poll()
    {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) {
            return;
        }
        mTimer.stop();
        openedIn = dialog->directory().absolutePath();
        if (mFiles.isEmpty()) {
            dialog->reject();
            return;
        }
        if (mFiles.size() == 1 && QFileInfo(mFiles.first()).isAbsolute()) {
            typeFileName(dialog, mFiles.first());
            return;
        }
        // Typed, as a user would: several names go quoted, one after another.
        QStringList quoted;
        for (const QString& file : mFiles) {
            quoted << QLatin1Char('"') + file + QLatin1Char('"');
        }
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
            ->setText(mFiles.size() == 1 ? mFiles.first() : quoted.join(QLatin1Char(' ')));
        QMetaObject::invokeMethod(dialog, "accept");
    }
    QStringList mFiles;
    QTimer mTimer;
};

} // namespace morvil::test
