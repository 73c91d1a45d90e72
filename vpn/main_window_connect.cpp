// Connecting and disconnecting: the PIN checked on the token, the child that holds the tunnel, its
// output watched for the line that says the tunnel is up, and its end.
#include "main_window.h"

#include "child_input.h"
#include "child_start.h"
#include "message_box.h"
#include "morvil_dialog_library.h"
#include "openvpn_child.h"
#include "pin_check.h"
#include "pin_entry.h"
#include "plain_text_pane.h"
#include "secret_bytes.h"
#include "vpn_item.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTextDocument>
#include <QTextEdit>

namespace {

constexpr int kStartWaitMs = 30000;

// The token that holds a key reference "TOKEN/KEY": what comes before the first '/'.
QString tokenNameOf(const QString& keyReference)
{
    const qsizetype slash = keyReference.indexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : keyReference.left(slash);
}

// A tooltip takes a text that "might be rich text" as HTML: such a one goes as the HTML that
// shows it as it is, its blanks kept.
QString plainToolTip(const QString& text)
{
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpacePre) : text;
}

} // namespace

// True when the token holding the key is there, usable, and takes the PIN; says why not otherwise.
bool MainWindow::pinAccepted(const VpnItem& item, const morvil::SecretBytes& pin)
{
    const QByteArray tokenName = tokenNameOf(item.key()).toUtf8();
    const PinCheck check = checkUserPin(tokenName.constData(), pin.c_str());
    switch (check.outcome) {
    case PinCheckOutcome::Accepted:
        return true;
    case PinCheckOutcome::LibraryFailed:
        morvil::box::critical(morvil::box::errorTitle(), morvil::chooser::libraryStartFailureText(), this);
        QApplication::quit();
        return false;
    case PinCheckOutcome::NoToken:
        morvil::box::critical(morvil::box::errorTitle(), tr("Token wspierający to połączenie VPN nie jest podłączony!"),
                              this);
        return false;
    case PinCheckOutcome::Locked:
    case PinCheckOutcome::NotConfigured:
        morvil::box::critical(morvil::box::errorTitle(),
                              tr("Token wspierający to połączenie VPN nie jest gotowy do pracy!"), this);
        return false;
    case PinCheckOutcome::WrongPin:
        morvil::box::critical(morvil::box::errorTitle(), tr("Podany PIN jest nieprawidłowy."), this);
        return false;
    }
    return false;
}

// A child runs: no connecting from the tray, but disconnecting and its information.
void MainWindow::setChildRunning(bool running)
{
    mIsConnected = running;
    mConnectMenu->setEnabled(!running);
    mDisConnectAction->setEnabled(running);
    mConnectInfoAction->setEnabled(running);
}

// Every entry but the running connection's is locked while it runs.
void MainWindow::lockOtherEntries(bool lock)
{
    for (int row = 0; row < mVpnList->count(); ++row) {
        auto* entry = static_cast<VpnItem*>(mVpnList->item(row));
        if (entry != mVpnConnectItem) {
            entry->setIsLock(lock);
        }
    }
}

void MainWindow::vpnConnectSlot()
{
    if (isHidden()) {
        show();
    }
    mVpnOutput->clear();
    if (mVpnActiveItem == nullptr || mVpn->state() != QProcess::NotRunning) {
        return;
    }
    QString typed;
    const bool ok = morvil::askPin(this, tr("Podaj PIN"), tr("PIN:"), typed);
    morvil::SecretBytes pin;
    pin.assignUtf8(typed);
    // The child reads the PIN as one line on its standard input.
    morvil::SecretBytes pinLine;
    QString line = typed + QLatin1Char('\n');
    pinLine.assignUtf8(line);
    morvil::wipe(line);
    morvil::wipe(typed);
    if (!ok || !pinAccepted(*mVpnActiveItem, pin)) {
        return;
    }

    mVpn->setWorkingDirectory(QDir::current().absoluteFilePath(mVpnActiveItem->confName()));
    morvil::ChildInput input;
    const bool filled = input.fill(QByteArrayView(pinLine.c_str(), pinLine.size()));
    pinLine.clear();
    if (filled) {
        input.handTo(*mVpn);
    }
    // The window repaints during the wait and drops what the user does meanwhile.
    mChildStarting = true;
    const bool started = filled
        && morvil::startChild(*mVpn, vpn::openVpnProgram(), vpn::openVpnArguments(),
                              std::chrono::milliseconds(kStartWaitMs));
    mChildStarting = false;
    input.close();
    if (!started) {
        // A child that comes up only after we gave up would run with no connection recorded.
        mVpn->kill();
        morvil::box::critical(morvil::box::errorTitle(), tr("Nie możan zainicjować połączenia VPN!"), this);
        return;
    }
    mVpn->closeWriteChannel();
    mUpWatch.reset();

    setChildRunning(true);
    mVpnConnectItem = mVpnActiveItem;
    mVpnConnectItem->setIsConnected(true);
    vpnItemActiveSlot(mVpnConnectItem);
    lockOtherEntries(true);
    // What the child wrote, or its end, while we waited for the start comes now, after the start.
    vpnOutputSlot();
    if (mVpn->state() == QProcess::NotRunning) {
        vpnFinishSlot(mVpn->exitCode(), mVpn->exitStatus());
    }
}

void MainWindow::vpnOutputSlot()
{
    if (mChildStarting) {
        return;
    }
    bool up = false;
    const std::pair<QByteArray, vpn::UpMarkerWatch::Channel> reads[] = {
        { mVpn->readAllStandardOutput(), vpn::UpMarkerWatch::Channel::Output },
        { mVpn->readAllStandardError(), vpn::UpMarkerWatch::Channel::Error },
    };
    for (const auto& [data, channel] : reads) {
        if (!data.isEmpty()) {
            morvil::appendPlainText(mVpnOutput, QString::fromLatin1(data));
            up = mUpWatch.feed(channel, data) || up;
        }
    }
    if (mIsInitialized || !up || mVpnConnectItem == nullptr) {
        return;
    }
    mIsInitialized = true;
    const QIcon connected(QStringLiteral(":img/vpn_con_22.png"));
    mVpnConnectItem->setIcon(connected);
    mTrayIcon->setIcon(connected);
    mTrayIcon->setToolTip(plainToolTip(tr("Morvil VPN - %1").arg(mVpnConnectItem->MorvilVpnName())));
    mTrayIcon->showMessage(tr("Nawiązano połączenie"), tr("Połączenie VPN zostało poprawnie zainicjowane."),
                           QSystemTrayIcon::Information, kBalloonMs);
}

void MainWindow::vpnFinishSlot(int, QProcess::ExitStatus)
{
    if (mChildStarting) {
        return;
    }
    mTrayIcon->setIcon(QIcon(QStringLiteral(":img/vpn_dis_22.png")));
    mTrayIcon->setToolTip(tr("Morvil VPN - brak połączenia"));
    mTrayIcon->showMessage(tr("Zakończono połączenie"), tr("Połączenie VPN zostało zakończone."),
                           QSystemTrayIcon::Information, kBalloonMs);
    setChildRunning(false);
    mIsInitialized = false;
    if (mVpnConnectItem != nullptr) {
        mVpnConnectItem->setIsConnected(false);
        mVpnConnectItem->setIcon(QIcon(QStringLiteral(":img/vpn_22.png")));
    }
    if (mVpnActiveItem != nullptr) {
        vpnItemActiveSlot(mVpnActiveItem);
    }
    lockOtherEntries(false);
    mVpnConnectItem = nullptr;
}

void MainWindow::vpnDisConnectSlot()
{
    vpn::stopChild(*mVpn);
}
