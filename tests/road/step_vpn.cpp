// Step 3, morvil_vpn: a connection made in the new-connection window from the authority's and the
// user's certificates and the token key chosen on the token, then a real tunnel to an OpenVPN
// server on 127.0.0.1 that holds the server certificate of step 2.
#include "chooser_fixture.h"
#include "road_facts.h"
#include "road_test.h"
#include "vpn/main_window.h"
#include "vpn_fixture.h"
#include "vpn_new_window.h"
#include "vpn_testbed.h"

#include <QInputDialog>
#include <QListWidget>
#include <QTextEdit>

#include <memory>

namespace morvil::road {

namespace {

// The connection's own configuration: besides the usual, a client that gives up once the server
// has not finished the handshake in a few seconds, rather than retrying for ever; the refused
// connection of step 4 ends with it.
constexpr char kTemplate[] = "nobind\nverb 3\nhand-window 5\ntls-exit\n";

void browse(QWidget* window, const char* field, const QString& path)
{
    test::chooseFile(path);
    test::button(window, field)->click();
    QCOMPARE(test::edit(window, field == QLatin1String("caCertBrowse") ? "caCert" : "userCert")->text(), path);
}

} // namespace

QTextEdit* RoadTest::vpnOutput() const
{
    return mVpnWindow->findChild<QTextEdit*>(QStringLiteral("vpnOutput"));
}

void RoadTest::connectVpn()
{
    mVpnWindow->vpnList()->setCurrentRow(0);
    emit mVpnWindow->vpnList()->itemClicked(mVpnWindow->vpnList()->item(0));
    // Shared with the answer, which outlives this call when no dialog comes.
    auto asked = std::make_shared<QString>();
    test::onNextModal<QInputDialog>([asked](QInputDialog* dialog) {
        *asked = dialog->windowTitle();
        dialog->setTextValue(kUserPin);
        dialog->accept();
    });
    mTokens.clearLog(mToken);
    test::button(mVpnWindow.get(), "connect")->click();
    QCOMPARE(*asked, QStringLiteral("Podaj PIN"));
    QVERIFY(test::button(mVpnWindow.get(), "disconnect")->isEnabled()); // the child runs
}

bool RoadTest::serverSaid(const QString& text) const
{
    return QString::fromStdString(mServer->out()).contains(text);
}

bool RoadTest::vpnChildEnded() const
{
    return test::button(mVpnWindow.get(), "connect")->isEnabled()
        && !test::button(mVpnWindow.get(), "disconnect")->isEnabled();
}

void RoadTest::keepVpnOutput(const char* run)
{
    QFile log(work(kVpnLogFile));
    QVERIFY(log.open(QIODevice::Append));
    log.write(QStringLiteral("# %1\n%2\n").arg(QLatin1String(run), vpnOutput()->toPlainText()).toUtf8());
}

void RoadTest::vpnConnectsWithTheTokenKey()
{
    mPort = test::freeUdpPort();
    QVERIFY(mPort > 0);
    mServer = test::startServer(QFile::encodeName(work(kServerDir)).toStdString(), mPort);
    QFile templateFile(mTemp.filePath(QStringLiteral("client.conf")));
    QVERIFY(templateFile.open(QIODevice::WriteOnly) && templateFile.write(kTemplate) > 0);
    templateFile.close();

    // Where morvil_vpn's start puts the store.
    QVERIFY(QDir::setCurrent(home(QStringLiteral(".morvil_vpn_client"))));
    mVpnWindow = std::make_unique<::MainWindow>();
    mVpnWindow->show();
    mPictures.take(mVpnWindow.get(), "vpn", "empty-store");

    bool filled = false;
    test::onNextModal<VpnNewWindow>([&](VpnNewWindow* dialog) {
        test::edit(dialog, "morvilVpnName")->setText(kConnection);
        test::edit(dialog, "remoteVpnServer")->setText(QStringLiteral("127.0.0.1:%1").arg(mPort));
        test::chooseFile(mTemp.filePath(QStringLiteral("client.conf")));
        test::button(dialog, "templateFileNameBrowse")->click();
        browse(dialog, "caCertBrowse", authorityFile(kAuthority + QStringLiteral(".cert")));
        browse(dialog, "userCertBrowse", work(kUserCertFile));
        const QString key = kTokenName + QLatin1Char('/') + kUserKey;
        test::ChooserHand hand(
            [&key](MorvilDialog& chooser) { test::doubleClick(chooser, test::chooserItem(chooser, key)); });
        test::button(dialog, "keyBrowse")->click();
        filled = hand.acted() && test::edit(dialog, "key")->text() == key;
        mPictures.take(dialog, "vpn", "new-connection");
        test::button(dialog, "save")->click();
    });
    test::button(mVpnWindow.get(), "new")->click();
    QVERIFY(filled);
    expectBoxes();
    QCOMPARE(mVpnWindow->vpnList()->count(), 1);
    QCOMPARE(mVpnWindow->vpnList()->item(0)->text(), kConnection);

    connectVpn();
    if (QTest::currentTestFailed()) {
        return;
    }
    // The tool's announcement, not openvpn's own line in the pane, makes the connection up.
    QTRY_COMPARE_WITH_TIMEOUT(mVpnWindow->trayIcon()->toolTip(), QStringLiteral("Morvil VPN - ") + kConnection, 30000);
    QVERIFY(vpnOutput()->toPlainText().contains(QLatin1String(test::kInitialised)));
    // The server took the user's certificate, and the token signed the handshake with its key.
    QTRY_VERIFY2_WITH_TIMEOUT(serverSaid(QStringLiteral("CN=") + kUserCn),
                              qPrintable(QString::fromStdString(mServer->out())), 5000);
    QVERIFY(signaturesWith(kUserSlot) >= 1);
    mPictures.take(mVpnWindow.get(), "vpn", "connected");
    keepVpnOutput("connected");

    test::button(mVpnWindow.get(), "disconnect")->click();
    QTRY_VERIFY_WITH_TIMEOUT(vpnChildEnded(), 15000);
    expectBoxes();
}

} // namespace morvil::road
