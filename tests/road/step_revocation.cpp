// Step 4: the authority revokes the user's certificate and issues a list; the server now checks
// the list, and the next connection of morvil_vpn is refused, which its window shows.
#include "authority_actions.h"
#include "ca/gui/main_window.h"
#include "road_facts.h"
#include "road_test.h"
#include "stock_openssl.h"
#include "vpn/main_window.h"
#include "vpn_fixture.h"
#include "vpn_testbed.h"

#include <QTextEdit>

namespace morvil::road {

void RoadTest::revokedCertificateIsRefused()
{
    QVERIFY(mAuthorityWindow != nullptr && mVpnWindow != nullptr && mServer != nullptr);
    QVERIFY(QDir::setCurrent(home(QStringLiteral(".morvil_ca"))));
    QWidget* authority = mAuthorityWindow.get();
    selectRow(authority, "certTree", kUserCn, 1);
    trigger(authority, "certRevokeAct");
    mPictures.take(authority, "ca", "user-revoked");
    mTokens.clearLog(mToken);
    trigger(authority, "crlNewAct");
    QCOMPARE(signaturesWith(kAuthoritySlot), 1);
    mPictures.take(authority, "ca", "crl-issued");
    test::chooseFile(work(kCrlFile));
    trigger(authority, "crlSaveAsAct");
    expectBoxes();

    // The list, signed by the authority, names the user's certificate.
    const QString serial = test::stockOpenssl({ "x509", "-in", work(kUserCertFile), "-noout", "-serial" })
                               .out.trimmed()
                               .section(QLatin1Char('='), 1);
    QVERIFY(!serial.isEmpty());
    const ToolRun list = test::stockOpenssl({ "crl", "-in", work(kCrlFile), "-noout", "-text", "-CAfile",
                                              authorityFile(kAuthority + QStringLiteral(".cert")) });
    QVERIFY2(list.succeeded() && list.err.contains(QStringLiteral("verify OK")), qPrintable(list.err));
    QVERIFY2(list.out.contains(QStringLiteral("Serial Number: ") + serial), qPrintable(list.out));

    mServer.reset();
    mServer = test::startServer(QFile::encodeName(work(kServerDir)).toStdString(), mPort,
                                QFile::encodeName(work(kCrlFile)).toStdString());
    QVERIFY(QDir::setCurrent(home(QStringLiteral(".morvil_vpn_client"))));
    connectVpn();
    if (QTest::currentTestFailed()) {
        return;
    }
    // The server refuses the certificate; the client gives up and its end shows in the window.
    // Waited for with the event loop running: the PIN reaches the child only through it.
    QTRY_VERIFY2_WITH_TIMEOUT(serverSaid("certificate revoked"), qPrintable(QString::fromStdString(mServer->out())),
                              15000);
    QTRY_VERIFY_WITH_TIMEOUT(vpnChildEnded(), 30000);
    const QString shown = vpnOutput()->toPlainText();
    QVERIFY2(shown.contains(QStringLiteral("TLS handshake failed")), qPrintable(shown));
    QVERIFY(!shown.contains(QLatin1String(test::kInitialised)));
    QCOMPARE(mVpnWindow->trayIcon()->toolTip(), QStringLiteral("Morvil VPN - brak połączenia"));
    QVERIFY(serverSaid(QStringLiteral("CN=") + kUserCn));
    mPictures.take(mVpnWindow.get(), "vpn", "refused-after-revocation");
    keepVpnOutput("refused");
    expectBoxes();
}

} // namespace morvil::road
