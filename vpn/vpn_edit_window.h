// "Edycja połączenia": a connection's header and certificates rewritten; its template stays.
#pragma once

#include "connection_form.h"

class VpnItem;

class VpnEditWindow : public ConnectionForm
{
    Q_OBJECT
public:
    VpnEditWindow(VpnItem* item, QWidget* parent);

protected:
    QWidget* createNameBox() override;

protected slots:
    void saveSlot() override;

private:
    VpnItem* mVpnItem; // not owned
};
