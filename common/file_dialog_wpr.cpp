#include "file_dialog_wpr.h"

#include <QDir>
#include <QFileInfo>

namespace FileDialogWPR {
namespace {

QString firstOf(const QString& chosen) { return chosen; }
QString firstOf(const QStringList& chosen) { return chosen.isEmpty() ? QString() : chosen.first(); }

// Opens a dialog in the remembered directory and remembers where the user chose. A directory
// passed by the caller wins over the remembered one and is remembered in turn, even on cancel.
template <typename OpenDialog>
auto remembering(QString& lastDir, const QString& dir, OpenDialog open)
{
    if (!dir.isEmpty()) {
        lastDir = dir;
    }
    const auto chosen = open(lastDir);
    const QString first = firstOf(chosen);
    if (!first.isEmpty()) {
        lastDir = QFileInfo(first).path();
    }
    return chosen;
}

} // namespace

QString getSaveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter,
                        QString* selectedFilter, QFileDialog::Options options)
{
    static QString lastDir = QDir::currentPath();
    return remembering(lastDir, dir, [&](const QString& start) {
        return QFileDialog::getSaveFileName(parent, caption, start, filter, selectedFilter, options);
    });
}

QString getOpenFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter,
                        QString* selectedFilter, QFileDialog::Options options)
{
    static QString lastDir = QDir::currentPath();
    return remembering(lastDir, dir, [&](const QString& start) {
        return QFileDialog::getOpenFileName(parent, caption, start, filter, selectedFilter, options);
    });
}

QStringList getOpenFileNames(QWidget* parent, const QString& caption, const QString& dir, const QString& filter,
                             QString* selectedFilter, QFileDialog::Options options)
{
    static QString lastDir = QDir::currentPath();
    return remembering(lastDir, dir, [&](const QString& start) {
        return QFileDialog::getOpenFileNames(parent, caption, start, filter, selectedFilter, options);
    });
}

} // namespace FileDialogWPR
