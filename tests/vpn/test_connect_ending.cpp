// A tunnel ended otherwise than by its disconnect button: the window destroyed, a child deaf to
// SIGTERM, and the client killed outright. Each time both processes go and nothing is left.
// Run on the offscreen platform and under Xvfb with a tray.
#include "connect_fixture.h"
#include "openvpn_child.h"

#include <signal.h>

#include <iostream>

using namespace morvil::test;

namespace {

const char* const kClientMode = "--connected-client";

} // namespace

class ConnectEndingTest : public ConnectFixture
{
    Q_OBJECT

private slots:
    // A window destroyed while its connection is up (the session ending, say) takes it down.
    void closingTheWindowEndsTheTunnel()
    {
        auto window = std::make_unique<MainWindow>();
        connectFirst(*window, QString::fromUtf8(kVpnPin));
        QTRY_VERIFY_WITH_TIMEOUT(outputOf(*window).contains(QLatin1String(kInitialised)), kUpMs);
        const auto [tool, openVpn] = tunnelProcesses();
        QVERIFY(tool > 0 && openVpn > 0);
        window.reset();
        QVERIFY(!alive(tool));
        QTRY_VERIFY(!alive(openVpn));
        QVERIFY(!privateDirsLeft());
    }

    // A child deaf to SIGTERM (stopped here, so it cannot act on it) is killed once its grace time
    // is over, on disconnect and when the program ends through "&Zakończ", whose wait takes no
    // input: what the user typed meanwhile is dropped. The next connection shows up as the first.
    void aChildDeafToTermIsKilled()
    {
        MainWindow window;
        for (const bool disconnect : { true, false }) {
            // A server of its own each time: the last one still waits for the client killed.
            mServer.reset();
            mServer = startServer(mCerts.path().toStdString(), mPort);
            connectFirst(window, QString::fromUtf8(kVpnPin));
            QTRY_COMPARE_WITH_TIMEOUT(window.trayIcon()->toolTip(), QStringLiteral("Morvil VPN - ") + kName, kUpMs);
            const auto [tool, openVpn] = tunnelProcesses();
            QVERIFY(tool > 0 && openVpn > 0);
            // Whatever happens below, no stopped process outlives the test.
            const std::unique_ptr<void, std::function<void(void*)>> reaper(
                reinterpret_cast<void*>(1), [tool = tool](void*) { kill(tool, SIGKILL); });
            QCOMPARE(kill(tool, SIGSTOP), 0);
            if (disconnect) {
                button(&window, "disconnect")->click();
                QTRY_VERIFY_WITH_TIMEOUT(window.connectMenu()->isEnabled(), vpn::kStopGraceMs + 10000);
            } else {
                QLineEdit typedInto;
                QCoreApplication::postEvent(&typedInto, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier,
                                                                      QStringLiteral("a")));
                window.trayIcon()->contextMenu()->actions().last()->trigger();
                QCoreApplication::processEvents();
                QCOMPARE(typedInto.text(), QString());
            }
            QVERIFY(!alive(tool));
            QTRY_VERIFY(!alive(openVpn));
        }
        // Killed, the tool could not remove its private directories.
        for (const QString& left :
             QDir(mRuntime.path()).entryList({ QStringLiteral("morvil_openvpn-*") }, QDir::Dirs)) {
            QDir(mRuntime.filePath(left)).removeRecursively();
        }
    }

    // The client killed outright: its child takes the tunnel down and goes.
    void killedClientLeavesNoTunnel()
    {
        const QString self = QCoreApplication::applicationFilePath();
        RunningProcess client(self.toStdString(), { kClientMode, mStore->dir().absolutePath().toStdString() }, "/", "");
        QVERIFY2(client.waitForOutput("CLIENT UP", kUpMs / 1000), client.err().c_str());
        std::vector<pid_t> children = childrenOf(client.pid());
        QCOMPARE(children.size(), std::size_t(1));
        const pid_t openVpnTool = children[0];
        const std::vector<pid_t> grandChildren = childrenOf(openVpnTool);
        QCOMPARE(grandChildren.size(), std::size_t(1));
        client.signal(SIGKILL);
        QVERIFY(client.waitForExit(5));
        QTRY_VERIFY_WITH_TIMEOUT(!alive(openVpnTool) && !alive(grandChildren[0]), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(!privateDirsLeft(), 5000);
    }
};

// The client of killedClientLeavesNoTunnel: connects the store's first connection, says so, and
// lives until killed. It reaches the test's emulated bus through the environment it inherits.
int runConnectedClient(const QString& store)
{
    QDir::setCurrent(store);
    MainWindow window;
    QObject::connect(window.findChild<QTextEdit*>(QStringLiteral("vpnOutput")), &QTextEdit::textChanged, [&window] {
        if (outputOf(window).contains(QLatin1String(kInitialised))) {
            std::cout << "CLIENT UP" << std::endl;
        }
    });
    connectFirst(window, QString::fromUtf8(kVpnPin));
    return QApplication::exec();
}

int main(int argc, char** argv)
{
    return runConnectTests<ConnectEndingTest>(argc, argv, ChildPart { kClientMode, runConnectedClient });
}

#include "test_connect_ending.moc"
