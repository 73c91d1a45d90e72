#include "key_items.h"

#include "key_transactions.h"
#include "token_text.h"
#include "tree_model.h"
#include "widgets/gen_cert_req_widget.h"
#include "widgets/key_folder_widget.h"

#include <QIcon>
#include <QTabWidget>

MorvilKeysFolderItem::MorvilKeysFolderItem(DEV_ZR40NN_t* ut, TreeItem* parent)
    : TreeItem(parent)
    , mUt(ut)
    , mMainWidget(new KeyFolderWidget)
{
    connect(mMainWidget.get(), &KeyFolderWidget::deleteKeySig, this, &MorvilKeysFolderItem::deleteKeySlot,
            Qt::DirectConnection);
    connect(mMainWidget.get(), &KeyFolderWidget::generateKeySig, this, &MorvilKeysFolderItem::generateKeySlot,
            Qt::DirectConnection);
    setPage(mMainWidget.get());
    setData(tr("Klucze"), Qt::DisplayRole);
    setData(QIcon(QStringLiteral(":img/keys_folder_blue.png")), Qt::DecorationRole);
}

MorvilKeysFolderItem::~MorvilKeysFolderItem() = default;

void MorvilKeysFolderItem::refresh()
{
    const int slotCount = morvil::admin::keySlotCount(mUt);
    mMainWidget->setInfo(mUt->keys, slotCount);
    for (int row = 0; row < childCount();) {
        const int slot = static_cast<MorvilKeyItem*>(child(row))->id();
        if (slot >= slotCount || mUt->keys[slot].info == 0) {
            model()->deleteChild(this, row); // the next node moved into this row
            continue;
        }
        ++row;
    }
    for (int slot = 0; slot < slotCount; ++slot) {
        if (mUt->keys[slot].info != morvil::admin::kKeyPresent) {
            continue;
        }
        int row = 0;
        bool present = false;
        for (; row < childCount(); ++row) {
            const int held = static_cast<MorvilKeyItem*>(child(row))->id();
            present = held == slot;
            if (held >= slot) {
                break;
            }
        }
        if (present) {
            continue;
        }
        auto item = std::make_unique<MorvilKeyItem>(slot, mUt, nullptr);
        MorvilKeyItem* key = item.get();
        model()->insertChild(this, row, std::move(item));
        connect(this, &MorvilKeysFolderItem::userLoginSig, key, &MorvilKeyItem::userLoginSlot);
        connect(this, &MorvilKeysFolderItem::logoutSig, key, &MorvilKeyItem::logoutSlot);
        connect(key, &MorvilKeyItem::generateCertReqSig, this, &MorvilKeysFolderItem::generateCertReqSlot,
                Qt::DirectConnection);
    }
    for (int row = 0; row < childCount(); ++row) {
        child(row)->refresh();
    }
}

void MorvilKeysFolderItem::soLoginSlot()
{
    mMainWidget->enable();
}

void MorvilKeysFolderItem::userLoginSlot()
{
    mMainWidget->enable();
    emit userLoginSig();
}

void MorvilKeysFolderItem::logoutSlot()
{
    mMainWidget->disable();
    emit logoutSig();
}

void MorvilKeysFolderItem::generateKeySlot(const char* name, int id)
{
    emit generateKeySig(name, id);
}

void MorvilKeysFolderItem::deleteKeySlot(int id)
{
    emit deleteKeySig(id);
}

void MorvilKeysFolderItem::generateCertReqSlot(int keyId, QString& fileName, QStringList& dn)
{
    emit generateCertReqSig(keyId, fileName, dn);
}

MorvilKeyItem::MorvilKeyItem(int id, DEV_ZR40NN_t* ut, TreeItem* parent)
    : TreeItem(parent)
    , mUt(ut)
    , mId(id)
    , mMainTabWidget(new QTabWidget)
    , mGenCertReqWidget(new GenCertReqWidget)
{
    connect(mGenCertReqWidget.get(), &GenCertReqWidget::generateCertReqSig, this, &MorvilKeyItem::generateCertReqSlot,
            Qt::DirectConnection);
    mMainTabWidget->addTab(mGenCertReqWidget.get(), QIcon(QStringLiteral(":img/filetype_userreq.png")),
                           tr("Zgłoszenie cert."));
    setPage(mMainTabWidget.get());
}

MorvilKeyItem::~MorvilKeyItem() = default;

void MorvilKeyItem::refresh()
{
    const DEV_ZR40NN_key_info_t& key = mUt->keys[mId];
    setData(morvil::tokenText(key.name), Qt::DisplayRole);
    setData(QIcon(QStringLiteral(":img/key.png")), Qt::DecorationRole);
}

void MorvilKeyItem::userLoginSlot()
{
    mGenCertReqWidget->enable();
}

void MorvilKeyItem::logoutSlot()
{
    mGenCertReqWidget->disable();
}

void MorvilKeyItem::generateCertReqSlot(QString& fileName, QStringList& dn)
{
    emit generateCertReqSig(mId, fileName, dn);
}
