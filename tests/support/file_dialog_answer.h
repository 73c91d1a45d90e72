// A scripted answer to the next modal file dialog, for GUI tests.
#pragma once

#include "typed_file_names.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>
#include <QTimer>

namespace morvil::test {

// Answers the next modal file dialog: notes its caption and the directory it opened in, then types
// `files` (relative to that directory or absolute) into its name field, or cancels when there are
// none. One absolute path opens its own directory first.
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
    QString caption;
    QString openedIn;

private:
    void poll()
    {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) {
            return;
        }
        mTimer.stop();
        caption = dialog->windowTitle();
        openedIn = dialog->directory().absolutePath();
        if (mFiles.isEmpty()) {
            dialog->reject();
        } else if (mFiles.size() == 1 && QFileInfo(mFiles.first()).isAbsolute()) {
            scripted::typeFileName(*dialog, mFiles.first());
        } else {
            scripted::typeFileNames(*dialog, mFiles);
        }
    }
    QStringList mFiles;
    QTimer mTimer;
};

} // namespace morvil::test
