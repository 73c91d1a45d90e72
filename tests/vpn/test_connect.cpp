// Connecting from the main window for real: the PIN checked on an emulated token, bin/morvil_openvpn
// started against an OpenVPN server on 127.0.0.1, the window and tray following the tunnel up and
// down, and the failures that must start nothing. Run on the offscreen platform and, for the
// balloons, under Xvfb with a tray.
#include "child_process.h"
#include "held_text.h"
#include "main_window.h"
#include "openvpn_child.h"
#include "process_memory.h"
#include "running_process.h"
#include "token_bus.h"
#include "vpn_fixture.h"
#include "vpn_item.h"
#include "vpn_new_window.h"
#include "vpn_testbed.h"

#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <functional>
#include <iostream>
#include <memory>

using namespace morvil::test;

namespace {

constexpr int kUpMs = 30000;
const QString kName = QStringLiteral("Test VPN");
const char* const kClientMode = "--connected-client";

QString outputOf(MainWindow& window)
{
    return window.findChild<QTextEdit*>(QStringLiteral("vpnOutput"))->toPlainText();
}

VpnItem* entry(MainWindow& window, int row)
{
    return static_cast<VpnItem*>(window.vpnList()->item(row));
}

// The tray menu's entry at `index`: "&Otwórz", -, "Połą&cz", "Ro&złącz", "O połączen&iu", -, "&Zakończ".
QAction* trayAction(MainWindow& window, int index)
{
    return window.trayIcon()->contextMenu()->actions().at(index);
}

bool sameIcon(const QIcon& icon, const char* resource)
{
    return icon.pixmap(22).toImage() == QIcon(QLatin1String(resource)).pixmap(22).toImage();
}

// Types `pin` into the PIN dialog and presses OK; `whileAsked` runs first.
void answerPin(const QString& pin, const std::function<void()>& whileAsked = [] {})
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
void connectFirst(MainWindow& window, const QString& pin)
{
    emit window.vpnList()->itemClicked(window.vpnList()->item(0));
    answerPin(pin, [&window] { QCOMPARE(outputOf(window), QString()); });
    button(&window, "connect")->click();
}

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

// This process's morvil_openvpn child and that one's openvpn; -1 for what is not there.
std::pair<pid_t, pid_t> tunnelProcesses()
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

bool balloonsShown()
{
    return QSystemTrayIcon::isSystemTrayAvailable() && QSystemTrayIcon::supportsMessages();
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

class ConnectTest : public QObject
{
    Q_OBJECT
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

    // A wrong PIN: the box, one try on the token and nothing started.
    void wrongPinStartsNothing()
    {
        MainWindow window;
        mTokens.clearLog(mTokenId);
        mBoxes->expectError(QStringLiteral("Podany PIN jest nieprawidłowy."));
        connectFirst(window, QStringLiteral("13:57:99"));
        QCOMPARE(tokenCommands(zr40nn::test::kTryPinCode), 1);
        QCOMPARE(tokenCommands(zr40nn::test::kSignCode), 0);
        QVERIFY(!entry(window, 0)->isConnected());
        QVERIFY(window.connectMenu()->isEnabled());
        QVERIFY(outputOf(window).isEmpty());
        QVERIFY(!privateDirsLeft());
        QCOMPARE(mTokens.token(mTokenId).snapshot().userPinTries, mToken.userPinTries + 1); // one failed try
    }

    // A PIN the token cannot take (nine octets in eight characters) is refused in the dialog, which
    // stays open, before the token is asked. The empty PIN is a PIN: a token whose PIN it is takes
    // it, and the child is started.
    void aPinTooLongIsRefusedAndTheEmptyPinIsOne()
    {
        MainWindow window;
        mTokens.clearLog(mTokenId);
        mBoxes->expectError(QStringLiteral("PIN jest za długi. Może on zawierać co najwyżej 8 znaków. Litery takie "
                                           "jak 'ą', 'ć', itd. kodowane są na 2 znakach."));
        bool keptOpen = false;
        onNextModal<QInputDialog>([&keptOpen](QInputDialog* dialog) {
            dialog->setTextValue(QStringLiteral("ąbcdefgh"));
            dialog->accept();
            keptOpen = dialog->isVisible();
            dialog->reject();
        });
        emit window.vpnList()->itemClicked(window.vpnList()->item(0));
        button(&window, "connect")->click();
        QVERIFY(keptOpen);
        QCOMPARE(tokenCommands(zr40nn::test::kTryPinCode), 0);
        QVERIFY(!entry(window, 0)->isConnected());
        QVERIFY(mBoxes->finish().isEmpty());

        mTokens.unplugAll();
        zr40nn::emu::TokenConfig emptyPin = mToken;
        emptyPin.userPin.clear();
        mTokenId = mTokens.plug(emptyPin);
        connectFirst(window, QString());
        QVERIFY(entry(window, 0)->isConnected());
        QCOMPARE(tokenCommands(zr40nn::test::kTryPinCode), 1);
        QCOMPARE(mTokens.token(mTokenId).snapshot().userPinTries, emptyPin.userPinTries); // taken, not spent
        button(&window, "disconnect")->click();
        QTRY_VERIFY_WITH_TIMEOUT(window.connectMenu()->isEnabled(), 15000);
    }

    // No token, a locked one, and Cancel: each stops before any child.
    void missingLockedOrCancelled()
    {
        MainWindow window;
        mTokens.unplugAll();
        mBoxes->expectError(QStringLiteral("Token wspierający to połączenie VPN nie jest podłączony!"));
        connectFirst(window, QString::fromUtf8(kVpnPin));
        QVERIFY(mBoxes->finish().isEmpty());

        zr40nn::emu::TokenConfig locked = mToken;
        locked.state |= zr40nn::emu::kLocked;
        mTokenId = mTokens.plug(locked);
        mBoxes->expectError(QStringLiteral("Token wspierający to połączenie VPN nie jest gotowy do pracy!"));
        connectFirst(window, QString::fromUtf8(kVpnPin));
        QVERIFY(mBoxes->finish().isEmpty());
        QCOMPARE(tokenCommands(zr40nn::test::kTryPinCode), 0); // no try is spent on a locked token

        onNextModal<QInputDialog>([](QInputDialog* dialog) { dialog->reject(); });
        emit window.vpnList()->itemClicked(window.vpnList()->item(0));
        button(&window, "connect")->click();
        QCOMPARE(tokenCommands(zr40nn::test::kTryPinCode), 0);
        expectIdle(window);
        QVERIFY(!privateDirsLeft());
    }

    // A library that cannot start, at connect or in the chooser of a new connection: its box, and
    // the program ends, its window shown and its tray icon there.
    void aLibraryThatCannotStartEndsTheProgram_data()
    {
        QTest::addColumn<bool>("atConnect");
        QTest::newRow("connect") << true;
        QTest::newRow("chooser") << false;
    }
    void aLibraryThatCannotStartEndsTheProgram()
    {
        QFETCH(bool, atConnect);
        // A token that does not answer its information stops the library's start.
        mTokens.token(mTokenId).failCommand(0x02, emu::kStatusNotAllowed);
        MainWindow window;
        window.show();
        mBoxes->expectError(QStringLiteral("Nie można zainicjować biblioteki obsługującej tokeny!"));
        QTimer::singleShot(0, &window, [&] {
            if (atConnect) {
                connectFirst(window, QString::fromUtf8(kVpnPin));
            } else {
                onNextModal<VpnNewWindow>([](VpnNewWindow* dialog) { button(dialog, "keyBrowse")->click(); });
                button(&window, "new")->click();
            }
        });
        QTimer stillRunning;
        connect(&stillRunning, &QTimer::timeout, [] { QCoreApplication::exit(7); });
        stillRunning.start(10000);
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(window.trayIcon()->isVisible());
        QCOMPARE(tokenCommands(zr40nn::test::kTryPinCode), 0);
        QVERIFY(!privateDirsLeft());
    }

    // A child that cannot be started (its environment is beyond what the system passes on): the
    // box, and nothing changes.
    void aChildThatCannotStartChangesNothing()
    {
        MainWindow window;
        qputenv("MORVIL_TEST_HUGE", QByteArray(256 * 1024, 'x'));
        mBoxes->expectError(QStringLiteral("Nie możan zainicjować połączenia VPN!"));
        connectFirst(window, QString::fromUtf8(kVpnPin));
        qunsetenv("MORVIL_TEST_HUGE");
        QVERIFY(mBoxes->finish().isEmpty());
        expectIdle(window);
        QCOMPARE(tokenCommands(zr40nn::test::kTryPinCode), 1);
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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], kClientMode) == 0) {
        return runConnectedClient(QString::fromLocal8Bit(argv[2]));
    }
    ConnectTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_connect.moc"
