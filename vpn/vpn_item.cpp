#include "vpn_item.h"

#include "conf_file.h"

#include <QFile>
#include <QIcon>

VpnItem::VpnItem(const QString& path, const QString& name, QListWidget* parent)
    : QListWidgetItem(parent)
{
    setIcon(QIcon(QStringLiteral(":img/vpn_22.png")));
    setConfFilePath(path, name);
}

void VpnItem::setConfFilePath(const QString& path, const QString& name)
{
    mConfName = name;
    mConfFilePath = path;
    vpn::ConfValues values {
        mMorvilVpnName, mRemoteVpnServer, mRemoteVpnPort, mCaCertFileName, mUserCertFileName, mKey
    };
    QFile conf(path);
    if (conf.open(QIODevice::ReadOnly)) {
        vpn::readConfValues(conf, values);
    }
    mMorvilVpnName = values.name;
    mRemoteVpnServer = values.server;
    mRemoteVpnPort = values.port;
    mCaCertFileName = values.caCert;
    mUserCertFileName = values.userCert;
    mKey = values.key;
    // A connection without a name would be a blank line in the list and the tray menu: its
    // directory's name stands in.
    setText(mMorvilVpnName.isEmpty() ? QStringLiteral("[%1]").arg(mConfName) : mMorvilVpnName);
}
