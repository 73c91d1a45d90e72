// The window's slots that open the connection windows or delete a connection.
#include "connection_store.h"
#include "main_window.h"
#include "message_box.h"
#include "vpn_edit_window.h"
#include "vpn_info_window.h"
#include "vpn_item.h"
#include "vpn_new_window.h"

#include <QDir>

void MainWindow::vpnNewSlot()
{
    VpnNewWindow window(this);
    if (window.exec() == QDialog::Accepted) {
        readConfFiles();
    }
}

void MainWindow::vpnEditSlot()
{
    if (mVpnActiveItem == nullptr) {
        return;
    }
    VpnEditWindow window(mVpnActiveItem, this);
    if (window.exec() == QDialog::Accepted) {
        readConfFiles();
    }
}

void MainWindow::vpnInfoSlot()
{
    if (mVpnActiveItem == nullptr) {
        return;
    }
    VpnInfoWindow window(mVpnActiveItem, this);
    if (isHidden()) {
        show(); // reached from the tray
    }
    window.exec();
}

void MainWindow::vpnDeleteSlot()
{
    if (mVpnActiveItem == nullptr
        || !morvil::box::question(morvil::box::questionTitle(),
                                  tr("Czy jesteś pewien, że chcesz usunąć to połączenie VPN?"), this)) {
        return;
    }
    const QString error = vpn::removeConnection(QDir::current(), mVpnActiveItem->confName());
    readConfFiles();
    if (!error.isEmpty()) {
        morvil::box::critical(morvil::box::errorTitle(), error, this);
    }
}
