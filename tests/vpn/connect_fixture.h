// What the connect tests share: a token and an OpenVPN server on 127.0.0.1 set up for each test, a
// store of two connections to it, the PIN dialog answered, and the window, tray and processes
// read as the user and the system see them.
#pragma once

#include "held_text.h"
#include "main_window.h"
#include "running_process.h"
#include "token_bus.h"
#include "vpn_fixture.h"
#include "vpn_item.h"
#include "vpn_testbed.h"

#include <QInputDialog>
#include <QListWidget>
#include <QMenu>
#include <QTextEdit>

#include <unistd.h>

#include <cstring>
#include <functional>
#include <memory>
#include <optional>

namespace morvil::test {

inline constexpr int kUpMs = 30000;
inline const QString kName = QStringLiteral("Test VPN");

inline QString outputOf(MainWindow& window)
{
    return window.findChild<QTextEdit*>(QStringLiteral("vpnOutput"))->toPlainText();
}

inline VpnItem* entry(MainWindow& window, int row)
{
    return static_cast<VpnItem*>(window.vpnList()->item(row));
}

// The tray menu's entry at `index`: "&Otwórz", -, "Połą&cz", "Ro&złącz", "O połączen&iu", -, "&Zakończ".
inline QAction* trayAction(MainWindow& window, int index)
{
    return window.trayIcon()->contextMenu()->actions().at(index);
}

inline bool sameIcon(const QIcon& icon, const char* resource)
{
    return icon.pixmap(22).toImage() == QIcon(QLatin1String(resource)).pixmap(22).toImage();
}

// Types `pin` into the PIN dialog and presses OK; `whileAsked` runs first.
inline void answerPin(const QString& pin, const std::function<void()>& whileAsked = [] {})
{
    onNextModal<QInputDialog>([pin, whileAsked](QInputDialog* dialog) {
        whileAsked();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Podaj PIN"));
        QCOMPARE(dialog->textEchoMode(), QLineEdit::Password);
        auto* edit = dialog->findChild<QLineEdit*>();
        typeInto(edit, pin);
        dialog->accept();
        // The closed dialog keeps no copy of the PIN, not even in its edit's undo history.
        QCOMPARE(heldBy(edit), QString());
    });
}

// Selects the first connection and connects it with `pin`. While the PIN is asked, the pane holds
// nothing of an earlier connection.
inline void connectFirst(MainWindow& window, const QString& pin)
{
    emit window.vpnList()->itemClicked(window.vpnList()->item(0));
    answerPin(pin, [&window] { QCOMPARE(outputOf(window), QString()); });
    button(&window, "connect")->click();
}

// This process's morvil_openvpn child and that one's openvpn; -1 for what is not there.
inline std::pair<pid_t, pid_t> tunnelProcesses()
{
    for (pid_t child : childrenOf(getpid())) {
        const std::vector<std::string> args = commandLineOf(child);
        if (!args.empty() && args[0].ends_with("/morvil_openvpn")) {
            const std::vector<pid_t> grandChildren = childrenOf(child);
            return { child, grandChildren.size() == 1 ? grandChildren[0] : -1 };
        }
    }
    return { -1, -1 };
}

inline bool balloonsShown()
{
    return QSystemTrayIcon::isSystemTrayAvailable() && QSystemTrayIcon::supportsMessages();
}

// The token, certificates and private runtime directory of the whole run, and per test a store of
// two connections to a server of its own with the token plugged. Test classes derive from it; its
// slots are the run's and each test's setup and cleanup, which QTest finds by name.
class ConnectFixture : public QObject
{
    Q_OBJECT

protected:
    QTemporaryDir mCerts;
    QTemporaryDir mRuntime; // morvil_openvpn's private directories
    zr40nn::emu::TokenConfig mToken;
    PluggedTokens mTokens;
    std::unique_ptr<TempStore> mStore;
    std::unique_ptr<BoxWatcher> mBoxes;
    std::unique_ptr<RunningProcess> mServer;
    int mTokenId = -1;
    int mPort = 0; // the server's

    int tokenCommands(std::uint8_t code) { return zr40nn::test::commandCount(mTokens.token(mTokenId), code); }

    bool privateDirsLeft() const
    {
        return !QDir(mRuntime.path()).entryList({ QStringLiteral("morvil_openvpn-*") }, QDir::Dirs).isEmpty();
    }

    void writeFirstConnection(const std::string& templateText)
    {
        makeConnectionDir(mStore->path(QStringLiteral("0000")).toStdString(), mCerts.path().toStdString(),
                          connectionConf(mPort, kVpnKeyReference, templateText));
    }

    // Back to rest: no child, the tray disconnected, every entry free.
    void expectIdle(MainWindow& window)
    {
        QCOMPARE(window.trayIcon()->toolTip(), QStringLiteral("Morvil VPN - brak połączenia"));
        QVERIFY(sameIcon(window.trayIcon()->icon(), ":img/vpn_dis_22.png"));
        QVERIFY(window.connectMenu()->isEnabled());
        QVERIFY(!entry(window, 0)->isConnected());
        QVERIFY(!entry(window, 1)->isLock());
        QVERIFY(button(&window, "connect")->isEnabled());
        QVERIFY(!button(&window, "disconnect")->isEnabled());
        QVERIFY(!trayAction(window, 3)->isEnabled()); // "Ro&złącz"
        QVERIFY(!trayAction(window, 4)->isEnabled()); // "O połączen&iu"
    }

private slots:
    void initTestCase()
    {
        tokenBus();
        mToken = makeVpnToken(tokenBus(), mCerts.filePath(QStringLiteral("token_pub.pem")).toStdString());
        std::string err;
        QVERIFY2(makeCertificates(mCerts.path().toStdString(),
                                  mCerts.filePath(QStringLiteral("token_pub.pem")).toStdString(), err),
                 err.c_str());
        // Under the tray host the balloons must be checked, not skipped. The host starts beside
        // this test and owns the tray only once it is up, later on a loaded machine.
        if (!qEnvironmentVariableIsEmpty("MORVIL_EXPECT_TRAY")) {
            QTRY_VERIFY_WITH_TIMEOUT(balloonsShown(), 15000);
        }
        qputenv("TMPDIR", mRuntime.path().toLocal8Bit());
        if (!tunUsable()) {
            qputenv("MORVIL_OPENVPN_DEV", "null");
        }
    }

    void init()
    {
        mStore = std::make_unique<TempStore>();
        mBoxes = std::make_unique<BoxWatcher>();
        mPort = freeUdpPort();
        mServer = startServer(mCerts.path().toStdString(), mPort);
        writeFirstConnection("nobind\nverb 3\n");
        // A second connection, to be locked while the first runs.
        makeConnectionDir(mStore->path(QStringLiteral("0001")).toStdString(), mCerts.path().toStdString(),
                          connectionConf(mPort, kVpnKeyReference, "nobind\n"));
        mTokenId = mTokens.plug(mToken);
    }

    void cleanup()
    {
        const QStringList problems = mBoxes->finish();
        mBoxes.reset();
        mTokens.unplugAll();
        mServer.reset();
        mStore.reset();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }
};

// A second part the test program plays when started as a child of its own: given `flag` as its
// first argument, it runs `run` with the second instead of the tests.
struct ChildPart
{
    const char* flag;
    int (*run)(const QString& argument);
};

// Runs the tests of class Test on the offscreen platform, unless the environment names one (the
// tray host does). The application exists before the test object.
template <typename Test> int runConnectTests(int argc, char** argv, std::optional<ChildPart> child = std::nullopt)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    if (child && argc == 3 && std::strcmp(argv[1], child->flag) == 0) {
        return child->run(QString::fromLocal8Bit(argv[2]));
    }
    Test test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace morvil::test
