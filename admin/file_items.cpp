#include "file_items.h"

#include "box_report.h"
#include "file_transactions.h"
#include "tree_model.h"
#include "widgets/file_folder_widget.h"

#include <QIcon>
#include <QTextEdit>
#include <QTreeWidgetItem>

namespace {

QString fileName(const DEV_ZR40NN_t* ut, int slot)
{
    return QString::fromUtf8(ut->file_names[slot]);
}

} // namespace

MorvilFilesFolderItem::MorvilFilesFolderItem(DEV_ZR40NN_t* ut, TreeItem* parent)
    : TreeItem(parent)
    , mUt(ut)
    , mMainWidget(new FileFolderWidget)
{
    connect(mMainWidget.get(), &FileFolderWidget::addFileSig, this, &MorvilFilesFolderItem::addFileSlot,
            Qt::DirectConnection);
    connect(mMainWidget.get(), &FileFolderWidget::deleteFileSig, this, &MorvilFilesFolderItem::deleteFileSlot,
            Qt::DirectConnection);
    connect(mMainWidget.get(), &FileFolderWidget::saveFileSig, this, &MorvilFilesFolderItem::saveFileSlot,
            Qt::DirectConnection);
    setPage(mMainWidget.get());
    setData(tr("Pliki"), Qt::DisplayRole);
    setData(QIcon(QStringLiteral(":img/files_folder_blue.png")), Qt::DecorationRole);
}

MorvilFilesFolderItem::~MorvilFilesFolderItem() = default;

void MorvilFilesFolderItem::refresh()
{
    const int tableSize = std::clamp(mUt->files_no, 0, static_cast<int>(std::size(mUt->file_types)));
    for (int row = 0; row < childCount();) {
        auto* file = static_cast<MorvilFileItem*>(child(row));
        if (file->id() >= tableSize || mUt->file_types[file->id()] == 0) {
            mMainWidget->removeFileWidgetItem(file->treeWidgetItem());
            model()->deleteChild(this, row); // the next node moved into this row
            continue;
        }
        ++row;
    }
    for (int slot = 0; slot < tableSize; ++slot) {
        if (mUt->file_types[slot] == 0) {
            continue;
        }
        bool present = false;
        for (int row = 0; row < childCount() && !present; ++row) {
            present = static_cast<MorvilFileItem*>(child(row))->id() == slot;
        }
        if (present) {
            continue;
        }
        const QString name = fileName(mUt, slot);
        int row = 0;
        while (row < childCount() && !(fileName(mUt, static_cast<MorvilFileItem*>(child(row))->id()) > name)) {
            ++row;
        }
        auto item = std::make_unique<MorvilFileItem>(slot, mUt, nullptr);
        mMainWidget->insertFileWidgetItem(item->treeWidgetItem());
        model()->insertChild(this, row, std::move(item));
    }
    for (int row = 0; row < childCount(); ++row) {
        child(row)->refresh();
    }
    mMainWidget->sortFilesByName();
    mMainWidget->setInfo(mUt);
}

void MorvilFilesFolderItem::soLoginSlot()
{
    mMainWidget->enable();
}

void MorvilFilesFolderItem::userLoginSlot()
{
    mMainWidget->enable();
}

void MorvilFilesFolderItem::logoutSlot()
{
    mMainWidget->disable();
}

void MorvilFilesFolderItem::addFileSlot(QString& srcFileName, QString& dstFileName)
{
    emit addFileSig(srcFileName, dstFileName);
}

void MorvilFilesFolderItem::deleteFileSlot(QString& fileName)
{
    emit deleteFileSig(fileName);
}

void MorvilFilesFolderItem::saveFileSlot(QString& srcFileName, QString& dstFileName)
{
    emit saveFileSig(srcFileName, dstFileName);
}

MorvilFileItem::MorvilFileItem(int id, DEV_ZR40NN_t* ut, TreeItem* parent)
    : TreeItem(parent)
    , mUt(ut)
    , mId(id)
    , mTreeWidgetItem(std::make_unique<QTreeWidgetItem>())
{
    if ((mUt->file_types[mId] & morvil::admin::kFilePrintable) != 0) {
        auto* view = new QTextEdit;
        view->setFontFamily(QStringLiteral("Courier New"));
        view->setLineWrapMode(QTextEdit::NoWrap);
        // Shown as it is: a file's text is never read as markup.
        view->setPlainText(QString::fromLatin1(readFileContents()));
        view->setReadOnly(true);
        mMainWidget.reset(view);
    } else {
        mMainWidget.reset(new QWidget);
    }
    setPage(mMainWidget.get());
}

// The row leaves the page's list with its owner.
MorvilFileItem::~MorvilFileItem() = default;

QByteArray MorvilFileItem::readFileContents()
{
    BoxReport report;
    return morvil::admin::readFileContents(mUt, mId, report);
}

void MorvilFileItem::refresh()
{
    const QString name = fileName(mUt, mId);
    const QIcon icon(morvil::admin::fileIconFor(name));
    setData(name, Qt::DisplayRole);
    setData(icon, Qt::DecorationRole);
    mTreeWidgetItem->setText(0, name);
    mTreeWidgetItem->setIcon(0, icon);
    mTreeWidgetItem->setText(1, QString::number(mUt->file_sizes[mId]));
    mTreeWidgetItem->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
}
