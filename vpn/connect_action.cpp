#include "connect_action.h"

#include "token_text.h"
#include "vpn_item.h"

ConnectAction::ConnectAction(VpnItem* item, QObject* parent)
    : QAction(parent)
    , mItem(item)
{
    // The connection's name as it is: an "&" in it would mark an accelerator.
    setText(morvil::acceleratorFree(item->text()));
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
