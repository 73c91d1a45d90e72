// A tray menu entry that selects its connection and then connects it.
#pragma once

#include <QAction>

class QListWidgetItem;
class VpnItem;

class ConnectAction : public QAction
{
    Q_OBJECT
public:
    ConnectAction(VpnItem* item, QObject* parent);

signals:
    void vpnItemActiveSig(QListWidgetItem* item);
    void vpnConnectSig();

private slots:
    void vpnConnectSlot();

private:
    VpnItem* mItem; // not owned: the list holds it
};
