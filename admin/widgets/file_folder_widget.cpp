#include "file_folder_widget.h"

#include "admin_texts.h"
#include "file_dialog_wpr.h"
#include "file_transactions.h"
#include "message_box.h"
#include "page_parts.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>

using namespace morvil::admin;

namespace {
constexpr int kSectorSize = 128;
constexpr int kNameColumnWidth = 250;
constexpr int kSizeColumnWidth = 150;
} // namespace

FileFolderWidget::FileFolderWidget(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QGridLayout(this);
    auto* infoBox = new QGroupBox(tr("Informacja o systemie plików"));
    mFileSystemInfo = richLabel();
    mFileSystemInfo->setObjectName(QStringLiteral("fileSystemInfo"));
    (new QGridLayout(infoBox))->addWidget(mFileSystemInfo, 0, 0);

    auto* filesBox = new QGroupBox(tr("Pliki"));
    auto* files = new QGridLayout(filesBox);
    mFileTree = new QTreeWidget;
    mFileTree->setObjectName(QStringLiteral("fileTree"));
    mFileTree->setColumnCount(3);
    mFileTree->setHeaderLabels({ tr("Nazwa pliku"), tr("Rozmiar [Bajty]"), QString() });
    mFileTree->setColumnWidth(0, kNameColumnWidth);
    mFileTree->setColumnWidth(1, kSizeColumnWidth);
    mFileTree->setRootIsDecorated(false);
    mAddFile = iconButton(QStringLiteral(":img/add.png"), tr("Dodaj plik"), QStringLiteral("addFile"));
    mDelFile = iconButton(QStringLiteral(":img/cancel.png"), tr("Usuń plik"), QStringLiteral("deleteFile"));
    mSaveFile = iconButton(QStringLiteral(":img/filecmd_saveas.png"), tr("Zapisz jako"), QStringLiteral("saveFile"));
    files->addWidget(mFileTree, 0, 0, 1, 2);
    files->addWidget(mAddFile, 2, 1);
    files->addWidget(mDelFile, 3, 1);
    files->addWidget(mSaveFile, 4, 1);
    files->setColumnStretch(0, 1);
    files->setRowStretch(0, 1);

    layout->addWidget(infoBox, 0, 0);
    layout->addWidget(filesBox, 1, 0);
    layout->setRowStretch(1, 1);
    // Nothing may be added or deleted before a login gives the PIN for it.
    disable();

    connect(mAddFile, &QPushButton::clicked, this, &FileFolderWidget::addFileSlot);
    connect(mDelFile, &QPushButton::clicked, this, &FileFolderWidget::deleteFileSlot);
    connect(mSaveFile, &QPushButton::clicked, this, &FileFolderWidget::saveFileSlot);
}

void FileFolderWidget::setInfo(const DEV_ZR40NN_t* ut)
{
    const int tableSize = std::clamp(ut->files_no, 0, static_cast<int>(std::size(ut->file_types)));
    const auto stored = std::count_if(ut->file_types, ut->file_types + tableSize, [](int type) { return type != 0; });
    const auto freeSectors = std::count_if(std::begin(ut->free_sectors), std::end(ut->free_sectors),
                                           [](unsigned char sector) { return sector != 0; });
    mFileSystemInfo->setText(
        tr("Liczba zapisanych plików: <b>%1</b><br>Maksymalna liczba plików: <b>%2</b><br>Wolna pamięć (bajty): "
           "<b>%3</b><br>Całkowita pamięć (bajty): <b>%4</b><br>Maksymalny rozmiar pliku (bajty): <b>%5</b>")
            .arg(stored)
            .arg(ut->files_no)
            .arg(freeSectors * kSectorSize)
            .arg(ut->info.public_mem)
            .arg(kMaxTokenFileSize));
}

void FileFolderWidget::enable()
{
    mAddFile->setEnabled(true);
    mDelFile->setEnabled(true);
}

void FileFolderWidget::disable()
{
    mAddFile->setEnabled(false);
    mDelFile->setEnabled(false);
}

void FileFolderWidget::insertFileWidgetItem(QTreeWidgetItem* item)
{
    mFileTree->insertTopLevelItem(0, item);
}

void FileFolderWidget::removeFileWidgetItem(QTreeWidgetItem* item)
{
    const int index = mFileTree->indexOfTopLevelItem(item);
    if (index >= 0) {
        mFileTree->takeTopLevelItem(index);
    }
}

void FileFolderWidget::sortFilesByName()
{
    mFileTree->sortItems(0, Qt::AscendingOrder);
}

QString FileFolderWidget::currentFileName() const
{
    const QTreeWidgetItem* row = mFileTree->currentItem();
    return row != nullptr ? row->text(0) : QString();
}

void FileFolderWidget::addFileSlot()
{
    QString srcFileName = FileDialogWPR::getOpenFileName(this, tr("Importuj"));
    if (srcFileName.isEmpty()) {
        return;
    }
    QString dstFileName = srcFileName.mid(srcFileName.lastIndexOf(QLatin1Char('/')) + 1);
    emit addFileSig(srcFileName, dstFileName);
}

void FileFolderWidget::deleteFileSlot()
{
    if (mFileTree->currentItem() == nullptr) {
        morvil::box::information(morvil::box::noticeTitle(), text::selectFileToDelete());
        return;
    }
    QString fileName = currentFileName();
    if (!fileName.isEmpty() && morvil::box::question(morvil::box::questionTitle(), text::confirmFileDelete())) {
        emit deleteFileSig(fileName);
    }
}

void FileFolderWidget::saveFileSlot()
{
    if (mFileTree->currentItem() == nullptr) {
        morvil::box::information(morvil::box::noticeTitle(), text::selectFileToSave());
        return;
    }
    QString srcFileName = currentFileName();
    QString dstFileName = FileDialogWPR::getSaveFileName(this, tr("Zapisz jako"));
    if (!dstFileName.isEmpty()) {
        emit saveFileSig(srcFileName, dstFileName);
    }
}
