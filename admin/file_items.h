// The "Pliki" folder below a usable token and one node per token file, in name order. The folder
// relays its page's requests to the token node; each file node owns its row of the page's list.
#pragma once

#include "dev_zr40nn.h"
#include "morvil_item.h"
#include "tree_item.h"

#include <QString>

#include <memory>

class FileFolderWidget;
class QTreeWidgetItem;

class MorvilFilesFolderItem : public TreeItem
{
    Q_OBJECT
public:
    MorvilFilesFolderItem(DEV_ZR40NN_t* ut, TreeItem* parent);
    ~MorvilFilesFolderItem() override;
    FileFolderWidget* fileFolderWidget() const { return mMainWidget.get(); }

signals:
    void addFileSig(QString& srcFileName, QString& dstFileName);
    void deleteFileSig(QString& fileName);
    void saveFileSig(QString& srcFileName, QString& dstFileName);

public slots:
    void refresh() override;
    void soLoginSlot();
    void userLoginSlot();
    void logoutSlot();

private slots:
    void addFileSlot(QString& srcFileName, QString& dstFileName);
    void deleteFileSlot(QString& fileName);
    void saveFileSlot(QString& srcFileName, QString& dstFileName);

private:
    DEV_ZR40NN_t* mUt;
    PagePtr<FileFolderWidget> mMainWidget;
};

class MorvilFileItem : public TreeItem
{
    Q_OBJECT
public:
    MorvilFileItem(int id, DEV_ZR40NN_t* ut, TreeItem* parent);
    ~MorvilFileItem() override;
    int id() const { return mId; }
    QTreeWidgetItem* treeWidgetItem() const { return mTreeWidgetItem.get(); }

public slots:
    void refresh() override;

private:
    QByteArray readFileContents();

    DEV_ZR40NN_t* mUt;
    int mId;
    std::unique_ptr<QTreeWidgetItem> mTreeWidgetItem;
    PagePtr<QWidget> mMainWidget;
};
