// One connection: its record as read back from its "conf", and its entry in the main window's list.
#pragma once

#include <QListWidgetItem>
#include <QString>

class VpnItem : public QListWidgetItem
{
public:
    // Reads the connection's "conf" at `path`; `name` is its directory's name.
    VpnItem(const QString& path, const QString& name, QListWidget* parent = nullptr);

    // Stores both and reads the file again. A value no line gives keeps what it was.
    void setConfFilePath(const QString& path, const QString& name);

    const QString& confName() const { return mConfName; }
    const QString& confFilePath() const { return mConfFilePath; }
    const QString& MorvilVpnName() const { return mMorvilVpnName; }
    const QString& remoteVpnServer() const { return mRemoteVpnServer; }
    const QString& remoteVpnPort() const { return mRemoteVpnPort; }
    const QString& caCertFileName() const { return mCaCertFileName; }
    const QString& userCertFileName() const { return mUserCertFileName; }
    const QString& key() const { return mKey; }

    bool isConnected() const { return mIsConnected; }
    bool isLock() const { return mIsLock; }
    void setIsConnected(bool connected) { mIsConnected = connected; }
    void setIsLock(bool lock) { mIsLock = lock; }

private:
    bool mIsConnected = false; // this connection's child runs
    bool mIsLock = false; // another connection's child runs
    QString mConfName;
    QString mConfFilePath;
    QString mMorvilVpnName;
    QString mRemoteVpnServer;
    QString mRemoteVpnPort;
    QString mCaCertFileName;
    QString mUserCertFileName;
    QString mKey;
};
