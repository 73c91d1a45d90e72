// The token's pages alone: the checks of their forms in order, octet counting, what they emit,
// and what they leave in their edits and byte copies.
#include "admin_texts.h"
#include "box_watcher.h"
#include "held_text.h"
#include "page_controls.h"
#include "qt_test_main.h"
#include "widgets/admin_widget.h"
#include "widgets/gen_info_widget.h"
#include "widgets/login_widget.h"

#include <QCheckBox>
#include <QLabel>
#include <QSignalSpy>
#include <QSpinBox>

#include <functional>

using namespace morvil::test;
namespace text = morvil::admin::text;

namespace {

const QString kSixPolish = QString::fromUtf8("ąćęłńó"); // 12 octets
const QString kFivePolish = QString::fromUtf8("ąćęłń"); // 10 octets
const QString kNineOctets = QString::fromUtf8("ąćęł1"); // 9 octets
const QString kEightOctets = QString::fromUtf8("ąćę12"); // 8 octets

struct Configuration
{
    QByteArray name, soPin, userPin;
    int soPinLim = -1, userPinLim = -1;
    bool upcna = true;
};

} // namespace

class PagesTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<BoxWatcher> mBoxes;

    void fillConfiguration(GenInfoWidget& page, const QString& name, const QString& so, const QString& soCheck,
                           const QString& user, const QString& userCheck)
    {
        setText(&page, "tokenName", name);
        setText(&page, "soPin", so);
        setText(&page, "soPinCheck", soCheck);
        setText(&page, "userPin", user);
        setText(&page, "userPinCheck", userCheck);
    }

    static bool formIsEmpty(QWidget& page, std::initializer_list<const char*> edits)
    {
        return std::all_of(edits.begin(), edits.end(), [&](const char* edit) { return textOf(&page, edit).isEmpty(); });
    }

    // What the two limit boxes show and what they would send.
    static void limitsShow(GenInfoWidget& page, int soLimit, int userLimit)
    {
        auto* so = page.findChild<QSpinBox*>(QStringLiteral("soPinLimit"));
        auto* user = page.findChild<QSpinBox*>(QStringLiteral("userPinLimit"));
        QCOMPARE(so->text(), QString::number(soLimit));
        QCOMPARE(so->value(), soLimit);
        QCOMPARE(user->text(), QString::number(userLimit));
        QCOMPARE(user->value(), userLimit);
    }

private slots:
    void init() { mBoxes = std::make_unique<BoxWatcher>(); }
    void cleanup() { QCOMPARE(mBoxes->finish(), QStringList()); }

    void configurationChecksComeInOrder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("so");
        QTest::addColumn<QString>("soCheck");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("userCheck");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("name before differing PINs") << kSixPolish << "1"
                                                    << "2"
                                                    << "3"
                                                    << "4" << text::nameTooLong();
        QTest::newRow("SO PINs differ before too long") << "A" << kNineOctets << "x"
                                                        << "1"
                                                        << "1" << text::pinsDiffer(true);
        QTest::newRow("SO PIN of 9 octets") << "A" << kNineOctets << kNineOctets << "1"
                                            << "1" << text::pinTooLong(true);
        QTest::newRow("SO before user") << "A"
                                        << "1"
                                        << "2"
                                        << "3"
                                        << "4" << text::pinsDiffer(true);
        QTest::newRow("user PINs differ") << kFivePolish << kEightOctets << kEightOctets << "3"
                                          << "4" << text::pinsDiffer(false);
        QTest::newRow("user PIN of 9 octets") << "A"
                                              << "1"
                                              << "1" << kNineOctets << kNineOctets << text::pinTooLong(false);
        // No program of the suite could carry such a name in its files; the name still comes first.
        const std::pair<const char*, QChar> controls[] = {
            { "line feed", QChar(0x0A) },
            { "tab", QChar(0x09) },
            { "NUL", QChar(0x00) },
            { "escape", QChar(0x1B) },
            { "DEL", QChar(0x7F) },
            { "next line U+0085", QChar(0x85) },
            { "line separator", QChar(0x2028) },
            { "paragraph separator", QChar(0x2029) },
        };
        for (const auto& [what, control] : controls) {
            QTest::newRow(qPrintable(QStringLiteral("control in the name: %1").arg(QLatin1String(what))))
                << QStringLiteral("AB") + control + QStringLiteral("C") << "1"
                << "2"
                << "3"
                << "4" << text::nameHasControlCharacter();
        }
    }
    void configurationChecksComeInOrder()
    {
        QFETCH(QString, name);
        QFETCH(QString, so);
        QFETCH(QString, soCheck);
        QFETCH(QString, user);
        QFETCH(QString, userCheck);
        QFETCH(QString, refusal);
        GenInfoWidget page;
        int emitted = 0;
        connect(&page, &GenInfoWidget::confSig, this, [&] { ++emitted; });
        fillConfiguration(page, name, so, soCheck, user, userCheck);
        QCOMPARE(textOf(&page, "tokenName"), name);
        page.findChild<QSpinBox*>(QStringLiteral("soPinLimit"))->setValue(5);
        page.findChild<QSpinBox*>(QStringLiteral("userPinLimit"))->setValue(7);
        mBoxes->expectError(refusal);
        press(&page, "configure");
        QCOMPARE(emitted, 0);
        // After a refusal the whole form is as new, the name included, and the limits show what
        // they would send.
        QVERIFY(formIsEmpty(page, { "tokenName", "soPin", "soPinCheck", "userPin", "userPinCheck" }));
        limitsShow(page, 1, 1);
    }

    void aValidConfigurationIsEmittedAndForgotten()
    {
        GenInfoWidget page;
        Configuration got;
        connect(&page, &GenInfoWidget::confSig, this,
                [&](const char* name, int soLim, const char* so, int userLim, const char* user, bool upcna) {
                    got = { name, so, user, soLim, userLim, upcna };
                    // The form is emptied before the node runs.
                    QVERIFY(formIsEmpty(page, { "tokenName", "soPin", "userPin" }));
                });
        fillConfiguration(page, kFivePolish, kEightOctets, kEightOctets, QStringLiteral("12345678"),
                          QStringLiteral("12345678"));
        page.findChild<QSpinBox*>(QStringLiteral("soPinLimit"))->setValue(20);
        page.findChild<QSpinBox*>(QStringLiteral("userPinLimit"))->setValue(7);
        press(&page, "configure");
        QCOMPARE(got.name, kFivePolish.toUtf8());
        QCOMPARE(got.soPin, kEightOctets.toUtf8());
        QCOMPARE(got.userPin, QByteArray("12345678"));
        QCOMPARE(got.soPinLim, 20);
        QCOMPARE(got.userPinLim, 7);
        QVERIFY(!got.upcna);
        // The next configuration sends the limits the form shows now, not the last ones.
        limitsShow(page, 1, 1);
        press(&page, "configure");
        QCOMPARE(got.soPinLim, 1);
        QCOMPARE(got.userPinLim, 1);
    }

    void emptyNameAndPinsPassWithTheLimitsShown()
    {
        GenInfoWidget page;
        Configuration got;
        connect(&page, &GenInfoWidget::confSig, this,
                [&](const char* name, int soLim, const char* so, int userLim, const char* user, bool upcna) {
                    got = { name, so, user, soLim, userLim, upcna };
                });
        press(&page, "configure");
        QCOMPARE(got.name, QByteArray());
        QCOMPARE(got.soPin, QByteArray());
        QCOMPARE(got.soPinLim, 1);
        QCOMPARE(got.userPinLim, 1);
    }

    void unlockSendsWhatWasTypedEvenNothing()
    {
        GenInfoWidget page;
        QList<QByteArray> sent;
        connect(&page, &GenInfoWidget::unLockSig, this, [&](const char* pin) { sent << pin; });
        press(&page, "unlock");
        setText(&page, "lockSoPin", QStringLiteral("8765"));
        press(&page, "unlock");
        QCOMPARE(sent, QList<QByteArray>({ QByteArray(), QByteArray("8765") }));
        QVERIFY(textOf(&page, "lockSoPin").isEmpty());
    }

    // Every PIN edit of every page, typed into as the user does and then emptied, keeps no copy of
    // what it held: not as its text, nor in its undo history, which gives the characters back as
    // soon as the edit echoes normally again.
    void emptiedPinEditsKeepNoCopy()
    {
        GenInfoWidget info;
        LoginWidget login;
        AdminWidget admin;
        admin.enableSoMenu();
        const struct
        {
            QWidget* page;
            int pinEdits;
            std::function<void()> empty;
        } pages[] = {
            { &info, 5, [&] { info.clearInputs(); } },
            { &login, 2, [&] { login.clearInputs(); } },
            { &admin, 4, [&] { admin.clearInputs(); } },
        };
        for (const auto& [page, pinEdits, empty] : pages) {
            QList<QLineEdit*> edits = page->findChildren<QLineEdit*>();
            edits.removeIf([](QLineEdit* edit) { return edit->echoMode() != QLineEdit::Password; });
            QCOMPARE(edits.size(), pinEdits);
            for (QLineEdit* edit : edits) {
                QCOMPARE(edit->maxLength(), 8);
                typeInto(edit, QStringLiteral("12345678"));
                QCOMPARE(edit->text(), QStringLiteral("12345678"));
            }
            empty();
            for (QLineEdit* edit : edits) {
                QCOMPARE(heldBy(edit), QString());
            }
        }
    }

    void loginWithoutReceiverFails()
    {
        LoginWidget page;
        setText(&page, "userPin", QStringLiteral("1234"));
        press(&page, "userLogin");
        QCOMPARE(page.currentIndex(), int(LoginWidget::kLoginPage));
        QVERIFY(textOf(&page, "userPin").isEmpty());
    }

    void loginSendsThePinAndKeepsItOnlyOnSuccess()
    {
        LoginWidget page;
        QList<QByteArray> sent;
        bool accept = false;
        connect(&page, &LoginWidget::userLoginSig, this, [&](const char* pin, bool& success) {
            sent << pin;
            success = accept;
        });
        QSignalSpy logouts(&page, &LoginWidget::logoutSig);
        press(&page, "userLogin"); // an empty PIN goes as empty text
        accept = true;
        setText(&page, "userPin", QString::fromUtf8("pąs"));
        press(&page, "userLogin");
        QCOMPARE(sent, QList<QByteArray>({ QByteArray(), QString::fromUtf8("pąs").toUtf8() }));
        QCOMPARE(page.currentIndex(), int(LoginWidget::kLogoutPage));
        QVERIFY(page.findChild<QLabel*>(QStringLiteral("loginInfo"))->text().contains(QStringLiteral("Użytkownik")));
        page.logoutSlot(); // as the node forces it
        QCOMPARE(page.currentIndex(), int(LoginWidget::kLoginPage));
        QCOMPARE(logouts.size(), 1);
    }

    void choosingTheRoleEmptiesBothPins()
    {
        LoginWidget page;
        page.show();
        auto* choose = page.findChild<QCheckBox*>(QStringLiteral("chooseSoLogin"));
        setText(&page, "userPin", QStringLiteral("1"));
        setText(&page, "soPin", QStringLiteral("2"));
        choose->setChecked(true);
        QVERIFY(textOf(&page, "userPin").isEmpty() && textOf(&page, "soPin").isEmpty());
        QVERIFY(page.findChild<QPushButton*>(QStringLiteral("soLogin"))->isVisible());
        QVERIFY(!page.findChild<QPushButton*>(QStringLiteral("userLogin"))->isVisible());
        choose->setChecked(false);
        QVERIFY(page.findChild<QPushButton*>(QStringLiteral("userLogin"))->isVisible());
    }

    void pinChangeChecksThenAsksWithTheFormEmpty()
    {
        AdminWidget page;
        page.enableSoMenu();
        QList<QByteArray> sent;
        connect(&page, &AdminWidget::soPinChangeSig, this, [&](const char* pin) { sent << pin; });
        connect(&page, &AdminWidget::userPinChangeSig, this,
                [&](const char* pin) { sent << "user:" + QByteArray(pin); });

        setText(&page, "newSoPin", kNineOctets);
        setText(&page, "newSoPinCheck", QStringLiteral("x"));
        mBoxes->expectError(text::pinsDiffer(true)); // differing comes before too long
        press(&page, "soPinChange");
        setText(&page, "newUserPin", QString::fromUtf8("ąćęłń"));
        setText(&page, "newUserPinCheck", QString::fromUtf8("ąćęłń"));
        mBoxes->expectError(text::pinTooLong(false));
        press(&page, "userPinChange");

        auto formEmpty = [&] {
            QVERIFY(formIsEmpty(page, { "newSoPin", "newSoPinCheck", "newUserPin", "newUserPinCheck" }));
        };
        setText(&page, "newSoPin", kEightOctets);
        setText(&page, "newSoPinCheck", kEightOctets);
        mBoxes->expect({ QMessageBox::No, QMessageBox::Question, QStringLiteral("Pytanie"),
                         text::confirmPinChange(true), formEmpty });
        press(&page, "soPinChange");
        QVERIFY(sent.isEmpty());

        setText(&page, "newSoPin", kEightOctets);
        setText(&page, "newSoPinCheck", kEightOctets);
        mBoxes->expect({ QMessageBox::Yes, QMessageBox::Question, QStringLiteral("Pytanie"),
                         text::confirmPinChange(true), formEmpty });
        press(&page, "soPinChange");
        mBoxes->expectQuestion(text::confirmPinChange(false), QMessageBox::Yes); // an empty new PIN passes
        press(&page, "userPinChange");
        QCOMPARE(sent, QList<QByteArray>({ kEightOctets.toUtf8(), QByteArray("user:") }));
        QCOMPARE(mBoxes->seen().at(2).defaultButton, QMessageBox::No);
    }
};

MORVIL_QTEST_MAIN(PagesTest)
#include "test_pages.moc"
