#include "main_window.h"

#include "connect_action.h"
#include "connection_store.h"
#include "openvpn_child.h"
#include "vpn_item.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTextEdit>

namespace {

QPushButton* button(const QString& text, const char* objectName, QWidget* parent)
{
    auto* push = new QPushButton(text, parent);
    push->setObjectName(QLatin1String(objectName));
    return push;
}

QAction* action(const char* icon, const QString& text, const char* objectName, QObject* parent)
{
    auto* made = new QAction(QIcon(QLatin1String(icon)), text, parent);
    made->setObjectName(QLatin1String(objectName));
    return made;
}

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QWidget(parent)
{
    createActions();
    createTrayIcon();
    mTrayIcon->show();
    setWindowTitle(tr("Morvil VPN"));
    resize(400, 300);

    mVpn = new QProcess(this);
    vpn::endChildWithUs(*mVpn);
    connect(mVpn, &QProcess::readyReadStandardOutput, this, &MainWindow::vpnOutputSlot);
    connect(mVpn, &QProcess::readyReadStandardError, this, &MainWindow::vpnOutputSlot);
    connect(mVpn, &QProcess::finished, this, &MainWindow::vpnFinishSlot);

    auto* grid = new QGridLayout(this);
    auto* logo = new QLabel(this);
    logo->setPixmap(QPixmap(QStringLiteral(":img/morvil_logo_120_60.png")));
    grid->addWidget(logo, 0, 0, Qt::AlignRight);
    grid->addWidget(createVpnSessions(), 1, 0);
    grid->addWidget(createVpnInfo(), 2, 0);

    readConfFiles();
}

MainWindow::~MainWindow()
{
    // The child's end must not reach the slots of a window being destroyed.
    mVpn->disconnect(this);
    vpn::stopChildAndWait(*mVpn);
}

void MainWindow::createActions()
{
    mOpenAction = action(":img/restore_22.png", tr("&Otwórz"), "open", this);
    connect(mOpenAction, &QAction::triggered, this, &QWidget::show);
    mDisConnectAction = action(":img/vpn_dis_22.png", tr("Ro&złącz"), "disconnect", this);
    mDisConnectAction->setEnabled(false);
    connect(mDisConnectAction, &QAction::triggered, this, &MainWindow::vpnDisConnectSlot);
    mConnectInfoAction = action(":img/info_22.png", tr("O połączen&iu"), "connectionInfo", this);
    mConnectInfoAction->setEnabled(false);
    connect(mConnectInfoAction, &QAction::triggered, this, &MainWindow::vpnInfoSlot);
    mExitAction = action(":img/exit_22.png", tr("&Zakończ"), "exit", this);
    connect(mExitAction, &QAction::triggered, this, &MainWindow::exit);
}

void MainWindow::createTrayIcon()
{
    mTrayIconMenu = new QMenu(this);
    mTrayIconMenu->addAction(mOpenAction);
    mTrayIconMenu->addSeparator();
    mConnectMenu = mTrayIconMenu->addMenu(QIcon(QStringLiteral(":img/vpn_con_22.png")), tr("Połą&cz"));
    mConnectMenu->setObjectName(QStringLiteral("connectMenu"));
    mTrayIconMenu->addAction(mDisConnectAction);
    mTrayIconMenu->addAction(mConnectInfoAction);
    mTrayIconMenu->addSeparator();
    mTrayIconMenu->addAction(mExitAction);

    mTrayIcon = new QSystemTrayIcon(this);
    mTrayIcon->setContextMenu(mTrayIconMenu);
    mTrayIcon->setIcon(QIcon(QStringLiteral(":img/vpn_dis_22.png")));
    mTrayIcon->setToolTip(tr("Morvil VPN - brak połączenia"));
    connect(mTrayIcon, &QSystemTrayIcon::activated, this, &MainWindow::trayIconActive);
    // The resource set names no ":img/morvil_vpn_client.png"; the program's own icon stands in.
    setWindowIcon(QIcon(QStringLiteral(":img/morvil_vpn.png")));
}

QWidget* MainWindow::createVpnSessions()
{
    auto* box = new QGroupBox(tr("Zdefiniowane połączenia VPN"), this);
    auto* grid = new QGridLayout(box);
    mVpnList = new QListWidget(box);
    mVpnList->setObjectName(QStringLiteral("vpnList"));
    mVpnList->setSpacing(3);
    grid->addWidget(mVpnList, 0, 0, 7, 1);
    mVpnConnect = button(tr("Połą&cz"), "connect", box);
    mVpnDisConnect = button(tr("Ro&złącz"), "disconnect", box);
    mVpnNew = button(tr("&Nowe"), "new", box);
    mVpnInfo = button(tr("&Informacja"), "info", box);
    mVpnEdit = button(tr("&Edytuj"), "edit", box);
    mVpnDelete = button(tr("U&suń"), "delete", box);
    grid->addWidget(mVpnConnect, 0, 1);
    grid->addWidget(mVpnDisConnect, 1, 1);
    grid->setRowStretch(2, 0); // an empty row parts the two groups of buttons
    grid->addWidget(mVpnNew, 3, 1);
    grid->addWidget(mVpnInfo, 4, 1);
    grid->addWidget(mVpnEdit, 5, 1);
    grid->addWidget(mVpnDelete, 6, 1);
    for (QPushButton* push : { mVpnConnect, mVpnDisConnect, mVpnInfo, mVpnEdit, mVpnDelete }) {
        push->setEnabled(false);
    }
    connect(mVpnList, &QListWidget::itemClicked, this, &MainWindow::vpnItemActiveSlot);
    connect(mVpnConnect, &QPushButton::clicked, this, &MainWindow::vpnConnectSlot);
    connect(mVpnDisConnect, &QPushButton::clicked, this, &MainWindow::vpnDisConnectSlot);
    connect(mVpnNew, &QPushButton::clicked, this, &MainWindow::vpnNewSlot);
    connect(mVpnInfo, &QPushButton::clicked, this, &MainWindow::vpnInfoSlot);
    connect(mVpnEdit, &QPushButton::clicked, this, &MainWindow::vpnEditSlot);
    connect(mVpnDelete, &QPushButton::clicked, this, &MainWindow::vpnDeleteSlot);
    return box;
}

QWidget* MainWindow::createVpnInfo()
{
    auto* box = new QGroupBox(tr("Przebieg połączenia VPN"), this);
    auto* grid = new QGridLayout(box);
    mVpnOutput = new QTextEdit(this);
    mVpnOutput->setObjectName(QStringLiteral("vpnOutput"));
    mVpnOutput->setReadOnly(true);
    grid->addWidget(mVpnOutput, 0, 0);
    return box;
}

void MainWindow::readConfFiles()
{
    const QDir store = QDir::current();
    const QStringList names = vpn::connectionNames(store);
    for (QPushButton* push : { mVpnInfo, mVpnEdit, mVpnConnect, mVpnDisConnect, mVpnDelete }) {
        push->setEnabled(false);
    }
    mVpnActiveItem = nullptr;
    mVpnList->clear();
    // The old entries are no longer reachable: they go now rather than with the window.
    for (QAction* old : mConnectMenu->actions()) {
        mConnectMenu->removeAction(old);
        old->deleteLater();
    }
    for (const QString& name : names) {
        auto* item = new VpnItem(store.absoluteFilePath(name) + QStringLiteral("/conf"), name);
        auto* entry = new ConnectAction(item, this);
        mVpnList->addItem(item);
        mConnectMenu->addAction(entry);
        connect(entry, &ConnectAction::vpnItemActiveSig, this, &MainWindow::vpnItemActiveSlot);
        connect(entry, &ConnectAction::vpnConnectSig, this, &MainWindow::vpnConnectSlot);
    }
}

void MainWindow::vpnItemActiveSlot(QListWidgetItem* item)
{
    mVpnActiveItem = static_cast<VpnItem*>(item);
    mVpnInfo->setEnabled(true);
    for (QPushButton* push : { mVpnNew, mVpnEdit, mVpnDelete }) {
        push->setEnabled(!mIsConnected);
    }
    const bool lock = mVpnActiveItem->isLock();
    mVpnConnect->setEnabled(!lock && !mVpnActiveItem->isConnected());
    mVpnDisConnect->setEnabled(!lock && mVpnActiveItem->isConnected());
}

void MainWindow::trayIconActive(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger) {
        setVisible(!isVisible());
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The program lives in the tray: the user's close, which the window manager sends, only hides
    // the window. A close from within the program is the application quitting, which closes every
    // window first and gives up at the first that refuses: that one must go through.
    if (event->spontaneous() && mTrayIcon->isVisible()) {
        hide();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void MainWindow::exit()
{
    // The tunnel is taken down before the program goes.
    vpn::stopChildAndWait(*mVpn);
    QApplication::quit();
}
