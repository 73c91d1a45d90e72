// The PIN check of an authority's token through the real library against emulated tokens: every
// outcome, its message, and what reached the token.
#include "authority_under_test.h"
#include "box_watcher.h"
#include "process_memory.h"
#include "qt_test_main.h"
#include "token_bus.h"

#include <QWidget>

using namespace morvil::test;

class PinCheckTest : public QObject
{
    Q_OBJECT

    // Checks the PIN of token `name`, answering the dialog with pin (or cancelling it).
    bool check(const QString& name, std::optional<QString> pin)
    {
        mCa.setTokenName(name);
        PinDialogAnswer answer(std::move(pin));
        const bool accepted = mCa.getUserPin(nullptr);
        mDialogShown = answer.shown();
        mDialogTitle = answer.title();
        mDialogLabel = answer.label();
        mDialogEcho = answer.echoMode();
        mDialogLabelFormat = answer.labelFormat();
        mDialogHeld = answer.held();
        return accepted;
    }

    // The last check asked for the PIN of token `name`, named as it is, hiding what was typed and
    // keeping no copy of it in the dialog once closed.
    void dialogAskedFor(const QString& name)
    {
        QVERIFY(mDialogShown);
        QCOMPARE(mDialogEcho, QLineEdit::Password);
        QCOMPARE(mDialogTitle, QStringLiteral("Podaj PIN"));
        QCOMPARE(mDialogLabel, QStringLiteral("PIN do tokenu %1:").arg(name));
        QCOMPARE(mDialogLabelFormat, Qt::PlainText);
        QCOMPARE(mDialogHeld, QString());
    }

    void expectBoxes()
    {
        const QStringList problems = mBoxes.finish();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    }

    // Token tries and commands as the token itself knows them.
    int userPinTries(int id) { return mTokens.token(id).snapshot().userPinTries; }

    AuthorityUnderTest mCa;
    BoxWatcher mBoxes;
    PluggedTokens mTokens;
    bool mDialogShown = false;
    QString mDialogTitle;
    QString mDialogLabel;
    QLineEdit::EchoMode mDialogEcho = QLineEdit::Normal;
    Qt::TextFormat mDialogLabelFormat = Qt::AutoText;
    QString mDialogHeld;

private slots:
    void init() { tokenBus(); }
    void cleanup()
    {
        mTokens.unplugAll();
        mBoxes.finish();
        mBoxes.clearSeen();
    }

    void cancelledDialogCallsNothing()
    {
        const int id = mTokens.plug(configuredToken("TOK1"));
        mTokens.clearLog(id);
        mCa.setUserPin(QString::fromLatin1(kUserPin)); // kept from an earlier check: a cancel drops it
        QVERIFY(!check(QStringLiteral("TOK1"), std::nullopt));
        QVERIFY(mDialogShown);
        QCOMPARE(mDialogHeld, QString());
        QVERIFY(!mCa.pinKept());
        // Not even the device information was read: the library was not started.
        QCOMPARE(mTokens.commands(id), QString());
        expectBoxes();
    }

    void missingToken()
    {
        mTokens.plug(configuredToken("TOK1"));
        BoxAnswer missing;
        missing.icon = QMessageBox::Critical;
        missing.title = QStringLiteral("Brak tokenu");
        missing.text = QStringLiteral("Nie można odnaleźć tokenu <b>Inny</b>. Być może został odłączony.");
        mBoxes.expect(missing);
        QVERIFY(!check(QStringLiteral("<b>Inny</b>"), QStringLiteral("1234")));
        dialogAskedFor(QStringLiteral("<b>Inny</b>"));
        expectBoxes();
    }

    void lockedOrUnconfiguredTokenSpendsNoTry()
    {
        emu::TokenConfig locked = configuredToken("ZABLOK");
        locked.state |= emu::kLocked;
        locked.userPinTries = 3;
        const int lockedId = mTokens.plug(locked);
        emu::TokenConfig unconfigured = blankToken();
        unconfigured.state = emu::kInitialised;
        unconfigured.name = "NOWY";
        const int unconfiguredId = mTokens.plug(unconfigured);
        mTokens.clearLog(lockedId);
        mTokens.clearLog(unconfiguredId);

        mBoxes.expectError(QStringLiteral("Token ZABLOK jest zablokowany."));
        QVERIFY(!check(QStringLiteral("ZABLOK"), QStringLiteral("1234")));
        mBoxes.expectError(QStringLiteral("Token NOWY nie jest skonfigurowany."));
        QVERIFY(!check(QStringLiteral("NOWY"), QStringLiteral("1234")));
        expectBoxes();
        for (int id : { lockedId, unconfiguredId }) {
            QVERIFY2(!mTokens.commands(id).contains(QStringLiteral("2F")), qPrintable(mTokens.commands(id)));
        }
        QCOMPARE(userPinTries(lockedId), 3);
        QCOMPARE(userPinTries(unconfiguredId), 0);
    }

    void wrongPinShowsTheCountsReadBack()
    {
        emu::TokenConfig token = configuredToken("TOK1");
        token.userPinTries = 1;
        const int id = mTokens.plug(token);
        const QString text = QStringLiteral(
            "Podany PIN nie jest prawidłowy.<br>Liczba błędnych wprowadzeń numeru PIN: <b>%1</b> (limit 3).");
        mBoxes.expectError(text.arg(2));
        QVERIFY(!check(QStringLiteral("TOK1"), QStringLiteral("0000")));
        QCOMPARE(userPinTries(id), 2);
        QVERIFY(!mCa.pinKept());
        QCOMPARE(mBoxes.seen().value(0).textFormat, Qt::RichText);
        expectBoxes();
        // The right PIN afterwards is accepted, kept, and clears the count.
        QVERIFY(check(QStringLiteral("TOK1"), QString::fromLatin1(kUserPin)));
        dialogAskedFor(QStringLiteral("TOK1"));
        QCOMPARE(mCa.userPin(), QString::fromLatin1(kUserPin));
        QCOMPARE(userPinTries(id), 0);
    }

    // A library that cannot be started when the kept PIN is checked: the box with the library's
    // reason, the PIN forgotten, and the application quits once its event loop has control.
    void libraryStartFailureQuits()
    {
        const int id = mTokens.plug(configuredToken("TOK1"));
        mTokens.token(id).failCommand(0x02, emu::kStatusNotAllowed);
        mCa.setUserPin(QString::fromLatin1(kUserPin));
        mBoxes.expect({ QMessageBox::Ok, QMessageBox::Critical, QString::fromUtf8("Błąd"), std::nullopt, {} });
        bool accepted = true;
        mCa.setTokenName(QStringLiteral("TOK1"));
        // The program's window stays open, so closing the box is no last window's close.
        QWidget window;
        window.show();
        QTimer::singleShot(0, this, [&] { accepted = mCa.pinForSigning(nullptr); });
        // Not quitting fails here; the guard goes with the test.
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
        guard.start(10000);
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!accepted);
        expectBoxes();
        QVERIFY(mBoxes.seen().value(0).text.startsWith(
            QString::fromUtf8("Nie można zainicjować biblioteki obsługującej tokeny!\n\n")));
        QVERIFY(mBoxes.seen().value(0).text.size()
                > QString::fromUtf8("Nie można zainicjować biblioteki obsługującej tokeny!\n\n").size());
        QVERIFY(!mCa.pinKept());
        mTokens.token(id).clearFailures();
    }

    // A kept PIN leaves no copy of its characters once it is replaced, forgotten, assigned over
    // or gone with its authority, copies of the authority included.
    void aKeptPinLeavesNoCopyBehind()
    {
        mTokens.plug(configuredToken("TOK1"));
        // Never typed nor shown: the authority holds its only characters.
        static constexpr char16_t kOld[] = u"96385274";
        const QByteArrayView old(reinterpret_cast<const char*>(kOld), sizeof(kOld) - sizeof(char16_t));
        const auto keep = [](AuthorityUnderTest& ca) {
            QString pin;
            pin.reserve(8);
            for (const char* digit = "96385274"; *digit != '\0'; ++digit) {
                pin += QLatin1Char(*digit);
            }
            ca.setUserPin(std::move(pin));
        };
        keep(mCa);
        QVERIFY(memoryHolds(old));
        QVERIFY(check(QStringLiteral("TOK1"), QString::fromLatin1(kUserPin)));
        QVERIFY(!memoryHolds(old));

        keep(mCa);
        mCa.close(nullptr);
        QVERIFY(!memoryHolds(old));

        {
            AuthorityUnderTest holder;
            keep(holder);
            const AuthorityUnderTest other;
            holder = other;
            QVERIFY(!holder.pinKept());
            QVERIFY(!memoryHolds(old));

            keep(holder);
            const AuthorityUnderTest copy(holder);
            QVERIFY(copy.pinKept());
        }
        QVERIFY(!memoryHolds(old));
        expectBoxes();
    }
};

MORVIL_QTEST_MAIN(PinCheckTest)
#include "test_pin_check.moc"
