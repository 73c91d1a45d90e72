// Qt's static file dialogs, each opening where the user last chose a file with it. The memory is
// per function and per process: nothing is saved between runs.
#pragma once

#include <QFileDialog>
#include <QString>
#include <QStringList>

namespace FileDialogWPR {

QString getSaveFileName(QWidget* parent = nullptr, const QString& caption = QString(), const QString& dir = QString(),
                        const QString& filter = QString(), QString* selectedFilter = nullptr,
                        QFileDialog::Options options = QFileDialog::Options());
QString getOpenFileName(QWidget* parent = nullptr, const QString& caption = QString(), const QString& dir = QString(),
                        const QString& filter = QString(), QString* selectedFilter = nullptr,
                        QFileDialog::Options options = QFileDialog::Options());
QStringList getOpenFileNames(QWidget* parent = nullptr, const QString& caption = QString(),
                             const QString& dir = QString(), const QString& filter = QString(),
                             QString* selectedFilter = nullptr, QFileDialog::Options options = QFileDialog::Options());

} // namespace FileDialogWPR
