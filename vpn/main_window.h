// The VPN client's window: the connection list with its buttons and the output pane, and the tray
// icon with its menu, through which the program lives on while the window is hidden.
#pragma once

#include "openvpn_child.h"

#include <QProcess>
#include <QSystemTrayIcon>
#include <QWidget>

class QAction;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPushButton;
class QTextEdit;
class VpnItem;
namespace morvil {
class SecretBytes;
}

class MainWindow : public QWidget
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    // Takes a running connection down first.
    ~MainWindow() override;

    QSystemTrayIcon* trayIcon() const { return mTrayIcon; }
    QListWidget* vpnList() const { return mVpnList; }
    QMenu* connectMenu() const { return mConnectMenu; }

    // Rebuilds the list and the tray's connection menu from the store; nothing stays selected.
    void readConfFiles();

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void vpnConnectSlot();
    void vpnDisConnectSlot();
    void vpnFinishSlot(int exitCode, QProcess::ExitStatus exitStatus);
    void vpnOutputSlot();
    void vpnItemActiveSlot(QListWidgetItem* item);
    void vpnNewSlot();
    void vpnInfoSlot();
    void vpnEditSlot();
    void vpnDeleteSlot();
    void trayIconActive(QSystemTrayIcon::ActivationReason reason);
    void exit();

private:
    void createActions();
    void createTrayIcon();
    QWidget* createVpnSessions();
    QWidget* createVpnInfo();
    bool pinAccepted(const VpnItem& item, const morvil::SecretBytes& pin);
    void setChildRunning(bool running);
    void lockOtherEntries(bool lock);

    static constexpr int kBalloonMs = 10000;

    bool mIsConnected = false; // a child runs
    bool mIsInitialized = false; // the child's output said the tunnel is up
    bool mChildStarting = false; // waiting for the child to start: its output and end wait too
    QProcess* mVpn = nullptr;
    vpn::UpMarkerWatch mUpWatch; // the current child's output, for the line that says it is up
    VpnItem* mVpnActiveItem = nullptr; // the selected connection; the list owns it
    VpnItem* mVpnConnectItem = nullptr; // the connection whose child runs
    QListWidget* mVpnList = nullptr;
    QPushButton* mVpnConnect = nullptr;
    QPushButton* mVpnDisConnect = nullptr;
    QPushButton* mVpnNew = nullptr;
    QPushButton* mVpnInfo = nullptr;
    QPushButton* mVpnEdit = nullptr;
    QPushButton* mVpnDelete = nullptr;
    QTextEdit* mVpnOutput = nullptr;
    QAction* mOpenAction = nullptr;
    QMenu* mConnectMenu = nullptr;
    QAction* mDisConnectAction = nullptr;
    QAction* mConnectInfoAction = nullptr;
    QAction* mExitAction = nullptr;
    QSystemTrayIcon* mTrayIcon = nullptr;
    QMenu* mTrayIconMenu = nullptr;
};
