// The token node's transactions, started from its pages as the user starts them: the commands
// the token receives, the boxes shown, the login state after each, and the cursor during each.
#include "admin_fixture.h"
#include "admin_texts.h"
#include "qt_test_main.h"
#include "token_transactions.h"

#include <QSignalSpy>

using namespace morvil::test;
namespace text = morvil::admin::text;

namespace {

bool isWiped(const DEV_ZR40NN_conf_t& conf)
{
    const auto* octets = reinterpret_cast<const unsigned char*>(&conf);
    return std::all_of(octets, octets + sizeof(conf), [](unsigned char c) { return c == 0; });
}

} // namespace

class TransactionsTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<AdminFixture> f;
    // Commands received since the log was cleared, dropping what the enumeration after the
    // transaction read.
    QString commands(int count) { return f->tokens.commands(f->id).left(count * 3 - 1); }
    emu::LogEntry entry(int i) { return f->tokens.token(f->id).log().at(i); }
    emu::TokenConfig token() { return f->tokens.token(f->id).snapshot(); }

    void configure(MorvilItem* node, const QString& name, const char* failing = nullptr)
    {
        GenInfoWidget* page = node->genInfoWidget();
        setText(page, "tokenName", name);
        setText(page, "soPin", QStringLiteral("55556666"));
        setText(page, "soPinCheck", QStringLiteral("55556666"));
        setText(page, "userPin", QStringLiteral("7777"));
        setText(page, "userPinCheck", QStringLiteral("7777"));
        f->boxes.expectInformation(QStringLiteral("Imformacja"), text::configureNotice());
        if (failing != nullptr) {
            expectFailureBox(failing);
        }
        press(page, "configure");
    }

    void changePin(MorvilItem* node, bool so, const QString& pin)
    {
        setText(node->adminWidget(), so ? "newSoPin" : "newUserPin", pin);
        setText(node->adminWidget(), so ? "newSoPinCheck" : "newUserPinCheck", pin);
        f->boxes.expectQuestion(text::confirmPinChange(so), QMessageBox::Yes);
        press(node->adminWidget(), so ? "soPinChange" : "userPinChange");
    }

    void erase(MorvilItem* node, QMessageBox::StandardButton answer, const char* failing = nullptr)
    {
        f->boxes.expectQuestion(text::confirmErase(), answer);
        if (failing != nullptr) {
            expectFailureBox(failing);
        }
        press(node->adminWidget(), "erase");
    }

    void expectFailureBox(const char* function)
    {
        f->boxes.expect({ QMessageBox::Ok, QMessageBox::Critical, QStringLiteral("Błąd"), std::nullopt, [function] {
                             const QString shown = BoxWatcher::activeBox()->text();
                             QVERIFY2(shown.contains(QString::fromLatin1(function)), qPrintable(shown));
                         } });
    }

private slots:
    void initTestCase() { tokenBus(); }
    void init() { f = std::make_unique<AdminFixture>(); }
    void cleanup()
    {
        tokenBus().setWireTime(false);
        QCOMPARE(endCase(f), QStringList());
    }

    void configuringABlankTokenInitialisesItFirst()
    {
        MorvilItem* node = f->startWith(blankToken());
        configure(node, QString::fromUtf8("Zażółć"));
        QCOMPARE(commands(4), QStringLiteral("00 02 01 02"));
        QCOMPARE(token().name, std::string("Zażółć"));
        QCOMPARE(token().soPin, std::string("55556666"));
        QCOMPARE(token().userPin, std::string("7777"));
        QCOMPARE(int(token().state) & emu::kConfigured, int(emu::kConfigured));
        QVERIFY(isWiped(node->device()->conf));
        QCOMPARE(f->node(), node);
        QCOMPARE(tabTexts(node).size(), 3);
        QCOMPARE(node->pinId(), -1);
        QCOMPARE(node->data(Qt::DisplayRole).toString(), QString::fromUtf8("Zażółć"));
    }

    void configuringAnInitialisedTokenSkipsInitialisation()
    {
        emu::TokenConfig config = blankToken();
        config.state = emu::kInitialised;
        MorvilItem* node = f->startWith(config);
        configure(node, QStringLiteral("BETA"));
        QCOMPARE(commands(3), QStringLiteral("02 01 02"));
        QVERIFY(!f->tokens.commands(f->id).split(QLatin1Char(' ')).contains(QStringLiteral("00")));
    }

    void aFailedInitialisationShowsOneBoxAndSendsNoConfiguration()
    {
        MorvilItem* node = f->startWith(blankToken());
        f->tokens.token(f->id).failCommand(0x00, emu::kStatusNotAllowed);
        configure(node, QStringLiteral("BETA"), "DEV_ZR40NN_cmd_dev_init");
        const QStringList sent = f->tokens.commands(f->id).split(QLatin1Char(' '));
        QCOMPARE(sent.first(), QStringLiteral("00"));
        QVERIFY(!sent.contains(QStringLiteral("01")));
        QVERIFY(sent.size() > 1); // the tokens were enumerated again
        QVERIFY(isWiped(node->device()->conf));
        QCOMPARE(int(token().state), 0);
    }

    void userLoginChecksThePinAndReadsTheCounters()
    {
        MorvilItem* node = f->startWith(configuredToken("ALFA"));
        QSignalSpy userSignals(node, &MorvilItem::userLoginSig);
        QSignalSpy repaints(f->model(), &QAbstractItemModel::dataChanged);
        login(node, false, QString::fromLatin1(kUserPin));
        // The view redraws the node with its new icon.
        QVERIFY(!repaints.isEmpty());
        QCOMPARE(repaints.last().at(0).toModelIndex(), f->model()->index(0, 0));
        QCOMPARE(f->tokens.commands(f->id), QStringLiteral("2F 02"));
        QCOMPARE(entry(0).pinId, 1);
        QCOMPARE(node->pinId(), 1);
        QCOMPARE(userSignals.size(), 2); // once by the refresh, once by the login
        QVERIFY(node->adminWidget()->findChild<QWidget*>(QStringLiteral("userPinChangeBox"))->isEnabled());
        QVERIFY(!node->adminWidget()->findChild<QWidget*>(QStringLiteral("soPinChangeBox"))->isEnabled());
        QVERIFY(!node->adminWidget()->findChild<QWidget*>(QStringLiteral("eraseBox"))->isEnabled());

        // An administrator login replaces the user's.
        press(node->loginWidget(), "logout");
        QCOMPARE(node->pinId(), -1);
        QVERIFY(!node->adminWidget()->findChild<QWidget*>(QStringLiteral("userPinChangeBox"))->isEnabled());
        login(node, true, QString::fromLatin1(kSoPin));
        QCOMPARE(node->pinId(), 0);
        for (const char* box : { "userPinChangeBox", "soPinChangeBox", "eraseBox" }) {
            QVERIFY2(node->adminWidget()->findChild<QWidget*>(QLatin1String(box))->isEnabled(), box);
        }
    }

    void aWrongPinLeavesTheLoginStateAsItWas()
    {
        MorvilItem* node = f->startWith(configuredToken("ALFA"));
        login(node, true, QString::fromLatin1(kSoPin));
        f->tokens.clearLog(f->id);
        node->loginWidget()->findChild<QCheckBox*>(QStringLiteral("chooseSoLogin"))->setChecked(false);
        f->boxes.expectError(text::wrongPin());
        // A second login can only come from the login form, which a logged-in page hides: use
        // the signal the form would send.
        bool correct = true;
        emit node->loginWidget()->userLoginSig("0000", correct);
        QVERIFY(!correct);
        QCOMPARE(f->tokens.commands(f->id), QStringLiteral("2F 02"));
        QCOMPARE(node->pinId(), 0);
        QCOMPARE(node->device()->info.user_pin_trys, 1);
    }

    void unlockTriesTheAdministratorPinAndReadsAgain()
    {
        emu::TokenConfig config = configuredToken("ALFA");
        config.state |= emu::kLocked;
        config.userPinTries = config.userPinLimit;
        MorvilItem* node = f->startWith(config);
        QCOMPARE(node->MorvilState(), 3);

        setText(node->genInfoWidget(), "lockSoPin", QStringLiteral("00000000"));
        f->boxes.expectError(text::wrongPin());
        press(node->genInfoWidget(), "unlock");
        QCOMPARE(commands(2), QStringLiteral("86 02"));
        QCOMPARE(node->MorvilState(), 3);
        QCOMPARE(node->device()->info.so_pin_trys, 1);

        f->tokens.clearLog(f->id);
        setText(node->genInfoWidget(), "lockSoPin", QString::fromLatin1(kSoPin));
        press(node->genInfoWidget(), "unlock");
        QCOMPARE(commands(2), QStringLiteral("86 02"));
        QCOMPARE(f->node()->MorvilState(), 2);
        QCOMPARE(tabTexts(f->node()).size(), 3);
        QCOMPARE(textOf(node->genInfoWidget(), "lockSoPin"), QString());
    }

    // The enumeration that ends an unlock removes the node of a token that has gone meanwhile,
    // while the page that asked is still on the stack.
    void aTokenPulledBeforeUnlockingGoesCleanly()
    {
        emu::TokenConfig config = configuredToken("ALFA");
        config.state |= emu::kLocked;
        MorvilItem* node = f->startWith(config);
        QPointer<GenInfoWidget> page = node->genInfoWidget();
        f->tokens.unplug(f->id);
        setText(page, "lockSoPin", QString::fromLatin1(kSoPin));
        f->boxes.expectError(text::wrongPin());
        f->boxes.expect({ QMessageBox::Ok, QMessageBox::Critical, QStringLiteral("Błąd"), std::nullopt, {} });
        press(page, "unlock");
        QCOMPARE(f->model()->rowCount(), 0);
        QVERIFY(!page.isNull());
        QVERIFY(textOf(page, "lockSoPin").isEmpty());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(page.isNull());
    }

    void eraseAsksThenErasesAndLogsOut()
    {
        MorvilItem* node = f->startWith(configuredToken("ALFA"));
        login(node, true, QString::fromLatin1(kSoPin));
        f->tokens.clearLog(f->id);
        erase(node, QMessageBox::No);
        QCOMPARE(f->tokens.commands(f->id), QString());
        erase(node, QMessageBox::Yes);
        QCOMPARE(f->tokens.commands(f->id), QStringLiteral("87 02"));
        QCOMPARE(entry(0).pin, std::string(kSoPin));
        QCOMPARE(node->pinId(), -1);
        QCOMPARE(int(token().state) & emu::kConfigured, 0);
        QCOMPARE(tabTexts(node), QStringList({ QStringLiteral("Ogólne") }));
        QCOMPARE(node->loginWidget()->currentIndex(), int(LoginWidget::kLoginPage));
    }

    void aFailedEraseStillLogsOut()
    {
        MorvilItem* node = f->startWith(configuredToken("ALFA"));
        login(node, true, QString::fromLatin1(kSoPin));
        f->tokens.clearLog(f->id);
        f->tokens.token(f->id).failCommand(0x87, emu::kStatusNotAllowed);
        erase(node, QMessageBox::Yes, "DEV_ZR40NN_cmd_dev_erase");
        QCOMPARE(f->tokens.commands(f->id), QStringLiteral("87"));
        QCOMPARE(node->pinId(), -1);
        QCOMPARE(tabTexts(node).size(), 3);
    }

    void administratorPinChangeLogsOut()
    {
        MorvilItem* node = f->startWith(configuredToken("ALFA"));
        login(node, true, QString::fromLatin1(kSoPin));
        f->tokens.clearLog(f->id);
        changePin(node, true, QString::fromUtf8("ąę1"));
        QCOMPARE(f->tokens.commands(f->id), QStringLiteral("88 02"));
        QCOMPARE(entry(0).pin, std::string(kSoPin));
        QCOMPARE(token().soPin, std::string("ąę1"));
        QCOMPARE(node->pinId(), -1);
    }

    void userPinChangeByTheUserLogsOut()
    {
        MorvilItem* node = f->startWith(configuredToken("ALFA"));
        login(node, false, QString::fromLatin1(kUserPin));
        f->tokens.clearLog(f->id);
        changePin(node, false, QStringLiteral("4321"));
        QCOMPARE(f->tokens.commands(f->id), QStringLiteral("2B 02"));
        QCOMPARE(entry(0).pinId, 1);
        QCOMPARE(entry(0).pin, std::string(kUserPin));
        QCOMPARE(token().userPin, std::string("4321"));
        QCOMPARE(node->pinId(), -1);
    }

    void userPinChangeByTheAdministratorKeepsTheLogin()
    {
        MorvilItem* node = f->startWith(configuredToken("ALFA"));
        login(node, true, QString::fromLatin1(kSoPin));
        f->tokens.clearLog(f->id);
        QSignalSpy logouts(node, &MorvilItem::logoutSig);
        changePin(node, false, QStringLiteral("4321"));
        QCOMPARE(f->tokens.commands(f->id), QStringLiteral("2B 02"));
        QCOMPARE(entry(0).pinId, 0);
        QCOMPARE(entry(0).pin, std::string(kSoPin));
        QCOMPARE(token().userPin, std::string("4321"));
        QCOMPARE(node->pinId(), 0);
        QCOMPARE(logouts.size(), 0);
        QCOMPARE(node->loginWidget()->currentIndex(), int(LoginWidget::kLogoutPage));
        QVERIFY(node->adminWidget()->findChild<QWidget*>(QStringLiteral("eraseBox"))->isEnabled());
    }

    // The cursor while the workers of each transaction run, the answers held back by the UART.
    void eachTransactionShowsItsCursor()
    {
        emu::TokenConfig config = blankToken();
        config.initDelayMs = 200;
        f->startWith(config);
        tokenBus().setWireTime(true);
        DEV_ZR40NN_t* ut = f->node()->device();
        RecordedFailures failures;
        auto cursorOf = [&](const std::function<void()>& transaction) {
            CursorSampler sampler;
            transaction();
            // The cursor is restored: an override left behind shows up as a stray shape.
            if (const QCursor* left = QGuiApplication::overrideCursor()) {
                sampler.shapes.insert(Qt::BitmapCursor);
                Q_UNUSED(left);
            }
            return sampler.shapes;
        };
        const QSet<Qt::CursorShape> wait { Qt::WaitCursor }, arrow { Qt::ArrowCursor };
        morvil::admin::fillConfiguration(ut->conf, "GAMMA", 5, kSoPin, 3, kUserPin, false);
        QCOMPARE(cursorOf([&] { morvil::admin::configureToken(ut, failures); }), wait);
        QCOMPARE(cursorOf([&] { morvil::admin::loginToken(ut, kUserPin, 1, failures); }), arrow);
        QCOMPARE(cursorOf([&] { morvil::admin::changeUserPin(ut, kUserPin, 1, "4321", failures); }), wait);
        QCOMPARE(cursorOf([&] { morvil::admin::changeSoPin(ut, kSoPin, "1111", failures); }), wait);
        QCOMPARE(cursorOf([&] { morvil::admin::unlockToken(ut, "1111", failures); }), arrow);
        QCOMPARE(cursorOf([&] { morvil::admin::eraseToken(ut, "1111", failures); }), wait);
        QCOMPARE(failures.texts, QStringList());
        QCOMPARE(f->tokens.commands(f->id), QStringLiteral("00 02 01 02 2F 02 2B 02 88 02 86 02 87 02"));
    }

    void configurationFillsTheRecordsFields()
    {
        DEV_ZR40NN_conf_t conf;
        std::memset(&conf, 0x55, sizeof(conf));
        morvil::admin::fillConfiguration(conf, "12345678901", 4, "12345678", 6, "", true);
        QCOMPARE(conf.info, 0x10);
        QCOMPARE(QByteArray(conf.name, 11), QByteArray("12345678901"));
        QCOMPARE(QByteArray(conf.so_pin, 8), QByteArray("12345678"));
        QCOMPARE(QByteArray(conf.user_pin, 8), QByteArray(8, '\0'));
        QCOMPARE(conf.so_pin_limit, 4);
        QCOMPARE(conf.user_pin_limit, 6);
        morvil::admin::fillConfiguration(conf, "AB", 1, "1", 1, "2", false);
        QCOMPARE(conf.info, 0);
        QCOMPARE(QByteArray(conf.name, 11), QByteArray("AB\0\0\0\0\0\0\0\0\0", 11));
    }
};

MORVIL_QTEST_MAIN(TransactionsTest)
#include "test_transactions.moc"
