#include "connect_action.h"

#include "vpn_item.h"

ConnectAction::ConnectAction(VpnItem* item, QObject* parent)
    : QAction(parent)
    , mItem(item)
{
    setText(item->text());
    connect(this, &QAction::triggered, this, &ConnectAction::vpnConnectSlot);
}

void ConnectAction::vpnConnectSlot()
{
    if (QListWidget* list = mItem->listWidget()) {
        list->setCurrentItem(mItem);
    }
    emit vpnItemActiveSig(mItem);
    emit vpnConnectSig();
}
