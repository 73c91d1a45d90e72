// "Kreator nowego połączenia": a new connection directory with its "conf", "ca" and "user".
#pragma once

#include "connection_form.h"

class VpnNewWindow : public ConnectionForm
{
    Q_OBJECT
public:
    explicit VpnNewWindow(QWidget* parent);

    // The directory the saved connection got; empty until then.
    const QString& confName() const { return mConfName; }

protected:
    QWidget* createNameBox() override;

protected slots:
    void saveSlot() override;

private:
    QString mConfName;
    SourceField* mTemplate = nullptr; // the morvil_openvpn template; optional
};
