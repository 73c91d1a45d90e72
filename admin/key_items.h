// The "Klucze" folder below a usable token and one node per occupied key slot. They relay their
// pages' requests up to the token node and pass login state down to the pages.
#pragma once

#include "dev_zr40nn.h"
#include "morvil_item.h"
#include "tree_item.h"

#include <QString>
#include <QStringList>

class GenCertReqWidget;
class KeyFolderWidget;

class MorvilKeysFolderItem : public TreeItem
{
    Q_OBJECT
public:
    MorvilKeysFolderItem(DEV_ZR40NN_t* ut, TreeItem* parent);
    ~MorvilKeysFolderItem() override;
    KeyFolderWidget* keyFolderWidget() const { return mMainWidget.get(); }

signals:
    void generateKeySig(const char* name, int id);
    void deleteKeySig(int id);
    void generateCertReqSig(int keyId, QString& fileName, QStringList& dn);
    void userLoginSig();
    void logoutSig();

public slots:
    void refresh() override;
    void soLoginSlot();
    void userLoginSlot();
    void logoutSlot();

private slots:
    void generateKeySlot(const char* name, int id);
    void deleteKeySlot(int id);
    void generateCertReqSlot(int keyId, QString& fileName, QStringList& dn);

private:
    DEV_ZR40NN_t* mUt;
    PagePtr<KeyFolderWidget> mMainWidget;
};

class MorvilKeyItem : public TreeItem
{
    Q_OBJECT
public:
    MorvilKeyItem(int id, DEV_ZR40NN_t* ut, TreeItem* parent);
    ~MorvilKeyItem() override;
    int id() const { return mId; }
    GenCertReqWidget* genCertReqWidget() const { return mGenCertReqWidget.get(); }

signals:
    void generateCertReqSig(int keyId, QString& fileName, QStringList& dn);

public slots:
    void refresh() override;
    void userLoginSlot();
    void logoutSlot();

private slots:
    void generateCertReqSlot(QString& fileName, QStringList& dn);

private:
    DEV_ZR40NN_t* mUt;
    int mId;
    PagePtr<QTabWidget> mMainTabWidget;
    PagePtr<GenCertReqWidget> mGenCertReqWidget;
};
