// morvil_vpn: the VPN client in the system tray.
#include "vpn_start.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    return runVpnClient();
}
