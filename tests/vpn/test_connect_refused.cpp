// Connecting from the main window when it must not: a wrong PIN, one too long, no token, a locked
// one, Cancel, a token library that cannot start and a child that cannot be started. Each stops
// before any tunnel, with its box. Run on the offscreen platform and under Xvfb with a tray.
#include "connect_fixture.h"
#include "vpn_new_window.h"

using namespace morvil::test;

class ConnectRefusedTest : public ConnectFixture
{
    Q_OBJECT

private slots:
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
};

int main(int argc, char** argv)
{
    return runConnectTests<ConnectRefusedTest>(argc, argv);
}

#include "test_connect_refused.moc"
