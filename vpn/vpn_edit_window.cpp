#include "vpn_edit_window.h"

#include "connection_store.h"
#include "source_field.h"
#include "vpn_item.h"

#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>

VpnEditWindow::VpnEditWindow(VpnItem* item, QWidget* parent)
    : ConnectionForm(parent)
    , mVpnItem(item)
{
    build();
    mRemoteVpnServer->setText(item->remoteVpnServer() + QLatin1Char(':') + item->remoteVpnPort());
    mCaCert->preload(item->confName() + QLatin1Char('/') + QLatin1String(vpn::kCaCertFile));
    mUserCert->preload(item->confName() + QLatin1Char('/') + QLatin1String(vpn::kUserCertFile));
    mKey->setText(item->key());
    setWindowTitle(tr("Edycja połączenia"));
    setWindowIcon(QIcon(QStringLiteral(":img/vpn_edit_22.png")));
}

QWidget* VpnEditWindow::createNameBox()
{
    QGridLayout* grid = nullptr;
    QGroupBox* box = formBox(tr("Nazwa połączenia VPN"), this, grid);
    mMorvilVpnName = new QLineEdit(mVpnItem->MorvilVpnName(), box);
    mMorvilVpnName->setObjectName(QStringLiteral("morvilVpnName"));
    grid->addWidget(new QLabel(tr("Nazwa połączenia<sup>*</sup>"), box), 0, 0);
    grid->addWidget(mMorvilVpnName, 0, 1);
    return box;
}

void VpnEditWindow::saveSlot()
{
    if (!checkFields()) {
        return;
    }
    const QString error = vpn::rewriteConnection(QDir::current(), mVpnItem->confName(), vpn::confHeader(header()),
                                                 mCaCert->data(), mUserCert->data());
    if (!error.isEmpty()) {
        saveFailed(error);
        return;
    }
    accept();
}
