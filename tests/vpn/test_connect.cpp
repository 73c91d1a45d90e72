// Connecting from the main window for real: the PIN checked on an emulated token, bin/morvil_openvpn
// started against an OpenVPN server on 127.0.0.1, the window and tray following the tunnel up and
// down, a child that ends before it is up, and a hostile server that takes none of it over. Run on
// the offscreen platform and, for the balloons, under Xvfb with a tray.
#include "child_process.h"
#include "connect_fixture.h"
#include "openvpn_child.h"
#include "process_memory.h"

#include <QLabel>
#include <QTextBlock>
#include <QTextDocument>

#include <fcntl.h>

using namespace morvil::test;

namespace {

// Texts of the balloon shown now, where the platform shows balloons (a real tray).
QStringList balloonTexts()
{
    QStringList texts;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && QLatin1String(top->metaObject()->className()) == QLatin1String("QBalloonTip")) {
            for (QLabel* label : top->findChildren<QLabel*>()) {
                if (!label->text().isEmpty()) {
                    texts << label->text();
                }
            }
        }
    }
    return texts;
}

// A tooltip as the user reads it: Qt shows one that "might be rich text" as HTML.
QString readAsToolTip(const QString& text)
{
    if (!Qt::mightBeRichText(text)) {
        return text;
    }
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
}

// Whether the pane's document is plain text: no image, link or bold anywhere.
bool plainTextOnly(MainWindow& window)
{
    const QTextDocument* document = window.findChild<QTextEdit*>(QStringLiteral("vpnOutput"))->document();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            const QTextCharFormat format = fragment.fragment().charFormat();
            if (format.isImageFormat() || format.isAnchor() || format.fontWeight() > QFont::Normal) {
                return false;
            }
        }
    }
    return true;
}

// Whether some process holds the FIFO open for reading: a writer that does not wait gets ENXIO
// while none does.
bool fifoHasReader(const std::string& path)
{
    const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        close(fd);
    }
    return fd >= 0 || errno != ENXIO;
}

} // namespace

class ConnectTest : public ConnectFixture
{
    Q_OBJECT

private slots:
    // Up with a PIN holding ':', the engine argument's separator; the window and tray follow; the
    // server names the token key's certificate. Disconnect ends both processes and leaves nothing
    // behind, also when openvpn would take longer to tell the server it goes than it is given.
    void upAndDownWithAColonPin()
    {
        writeFirstConnection("nobind\nverb 3\nexplicit-exit-notify 30\n");
        MainWindow window;
        window.hide();
        connectFirst(window, QString::fromUtf8(kVpnPin));
        QVERIFY(window.isVisible()); // shown for the connection's output
        QVERIFY(!window.connectMenu()->isEnabled());
        QVERIFY(trayAction(window, 3)->isEnabled() && trayAction(window, 4)->isEnabled());
        QVERIFY(entry(window, 0)->isConnected());
        QVERIFY(entry(window, 1)->isLock());
        QVERIFY(button(&window, "disconnect")->isEnabled());
        QVERIFY(!button(&window, "connect")->isEnabled());
        QVERIFY(!button(&window, "new")->isEnabled());
        QVERIFY(sameIcon(window.trayIcon()->icon(), ":img/vpn_dis_22.png")); // not up yet

        // openvpn's own line on its error output may reach the pane before the tool's announcement,
        // which alone makes the connection up: wait for what the user is shown.
        QTRY_COMPARE_WITH_TIMEOUT(window.trayIcon()->toolTip(), QStringLiteral("Morvil VPN - ") + kName, kUpMs);
        QVERIFY(outputOf(window).contains(QLatin1String(kInitialised)));
        QVERIFY(sameIcon(window.trayIcon()->icon(), ":img/vpn_con_22.png"));
        QVERIFY(sameIcon(entry(window, 0)->icon(), ":img/vpn_con_22.png"));
        if (balloonsShown()) {
            QTRY_VERIFY(balloonTexts().contains(QStringLiteral("Nawiązano połączenie")));
            QVERIFY(balloonTexts().contains(QStringLiteral("Połączenie VPN zostało poprawnie zainicjowane.")));
        }
        QVERIFY(mServer->waitForOutput(std::string("CN=") + kVpnUserCn, 5));
        QCOMPARE(tokenCommands(zr40nn::test::kTryPinCode), 2); // ours, then the engine's at key loading
        QVERIFY(tokenCommands(zr40nn::test::kSignCode) >= 1);
        // The PIN travelled on standard input only, and no buffer of ours kept the line.
        QVERIFY(!processesShow(kVpnPin));
        QVERIFY(!memoryHolds("24:68:13\n"));
        QVERIFY(privateDirsLeft());
        const auto [tool, openVpn] = tunnelProcesses();
        QVERIFY(tool > 0 && openVpn > 0);
        const std::vector<std::string> commandLine = commandLineOf(tool);
        QVERIFY(std::vector<std::string>(commandLine.begin() + 1, commandLine.end()) == clientArguments());

        // A second connection cannot start while this one runs.
        emit window.vpnList()->itemClicked(window.vpnList()->item(1));
        QVERIFY(!button(&window, "connect")->isEnabled());

        emit window.vpnList()->itemClicked(window.vpnList()->item(0));
        button(&window, "disconnect")->click();
        QVERIFY(mServer->waitForOutput("exit message received by peer", 5));
        QTRY_VERIFY_WITH_TIMEOUT(window.connectMenu()->isEnabled(), vpn::kStopGraceMs + 5000);
        expectIdle(window);
        QVERIFY(sameIcon(entry(window, 0)->icon(), ":img/vpn_22.png"));
        if (balloonsShown()) {
            QTRY_VERIFY(balloonTexts().contains(QStringLiteral("Zakończono połączenie")));
        }
        QVERIFY(!privateDirsLeft());
        QVERIFY(!alive(tool));
        QTRY_VERIFY(!alive(openVpn));
        QVERIFY(mServer->running());
    }

    // A child that ends before the tunnel is up: the window comes back to rest all the same.
    void childEndingEarly()
    {
        makeConnectionDir(mStore->path(QStringLiteral("0000")).toStdString(), mCerts.path().toStdString(),
                          connectionConf(freeUdpPort(), kVpnKeyReference, "no-such-directive 1\n"));
        MainWindow window;
        connectFirst(window, QString::fromUtf8(kVpnPin));
        QVERIFY(entry(window, 1)->isLock());
        QTRY_VERIFY_WITH_TIMEOUT(window.connectMenu()->isEnabled(), kUpMs);
        expectIdle(window);
        QVERIFY(outputOf(window).contains(QStringLiteral("Options error: Unrecognized option")));
        QVERIFY(!outputOf(window).contains(QLatin1String(kInitialised)));
        if (balloonsShown()) {
            QTRY_VERIFY(balloonTexts().contains(QStringLiteral("Połączenie VPN zostało zakończone.")));
        }
    }

    // openvpn quotes the subject of a server certificate it refuses, before any trust. One that is
    // markup, images that would read /dev/zero or a FIFO for good, and the line that says the
    // tunnel is up: the pane shows it as written, the window answers on, nothing shows a tunnel.
    void hostileServerTakesNothingOver()
    {
        mServer.reset();
        mServer = startHostileServer(mCerts.path().toStdString(), mPort);
        MainWindow window;
        connectFirst(window, QString::fromUtf8(kVpnPin));
        const QString quoted = QString::fromStdString("VERIFY ERROR: depth=0, error=self-signed certificate: "
                                                      + hostileSubject(mCerts.path().toStdString()));
        QTRY_VERIFY_WITH_TIMEOUT(outputOf(window).contains(quoted), kUpMs);
        // The restart that follows it: every read up to the quote has been watched.
        QTRY_VERIFY_WITH_TIMEOUT(outputOf(window).contains(QLatin1String("process restarting")), kUpMs);
        QVERIFY(plainTextOnly(window));
        QVERIFY(!fifoHasReader(mCerts.filePath(QStringLiteral("hostile.fifo")).toStdString()));
        QCOMPARE(window.trayIcon()->toolTip(), QStringLiteral("Morvil VPN - brak połączenia"));
        QVERIFY(sameIcon(window.trayIcon()->icon(), ":img/vpn_dis_22.png"));
        QVERIFY(sameIcon(entry(window, 0)->icon(), ":img/vpn_22.png"));
        QCOMPARE(tokenCommands(zr40nn::test::kSignCode), 0);
        if (balloonsShown()) {
            QVERIFY(!balloonTexts().contains(QStringLiteral("Nawiązano połączenie")));
        }

        button(&window, "disconnect")->click();
        QTRY_VERIFY_WITH_TIMEOUT(window.connectMenu()->isEnabled(), vpn::kStopGraceMs + 5000);
        expectIdle(window);
        QVERIFY(!privateDirsLeft());
    }

    // A token whose user PIN is empty: the empty PIN is checked, handed on, and connects. The
    // connection's name, markup and entities in it, shows in the tooltip as it is.
    void emptyPinConnects()
    {
        mTokens.unplugAll();
        zr40nn::emu::TokenConfig token = mToken;
        token.userPin.clear();
        mTokenId = mTokens.plug(token);
        const QString marked = QStringLiteral("<b>Biuro</b>  &lt;R&D&gt;");
        makeConnectionDir(mStore->path(QStringLiteral("0000")).toStdString(), mCerts.path().toStdString(),
                          connectionConf(mPort, kVpnKeyReference, "nobind\n", marked.toStdString()));
        MainWindow window;
        connectFirst(window, QString());
        QTRY_COMPARE_WITH_TIMEOUT(readAsToolTip(window.trayIcon()->toolTip()), QStringLiteral("Morvil VPN - ") + marked,
                                  kUpMs);
        QVERIFY(mServer->waitForOutput(std::string("CN=") + kVpnUserCn, 5));
        QCOMPARE(tokenCommands(zr40nn::test::kTryPinCode), 2);
        QCOMPARE(mTokens.token(mTokenId).snapshot().userPinTries, 0);
        button(&window, "disconnect")->click();
        QTRY_VERIFY_WITH_TIMEOUT(window.connectMenu()->isEnabled(), vpn::kStopGraceMs + 5000);
        expectIdle(window);
    }
};

int main(int argc, char** argv)
{
    return runConnectTests<ConnectTest>(argc, argv);
}

#include "test_connect.moc"
