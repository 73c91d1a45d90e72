// "Informacja o połączeniu": a connection's name, server, certificates and key, read only.
#pragma once

#include <QDialog>

class QPushButton;
class VpnItem;

class VpnInfoWindow : public QDialog
{
    Q_OBJECT
public:
    VpnInfoWindow(VpnItem* item, QWidget* parent);

private:
    QWidget* createNameBox();
    QWidget* createNetDetailsBox();
    QWidget* createCertsKeyBox();

    VpnItem* mVpnItem; // not owned
    QPushButton* mOk;
};
