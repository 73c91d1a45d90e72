// The token's pages alone: what each shows for a record, the checks of their forms in order with
// the boxes they show, what they emit, what each login enables, and what they leave in their
// edits and byte copies, the page's own end included.
#include "admin_texts.h"
#include "box_watcher.h"
#include "held_text.h"
#include "page_controls.h"
#include "qt_test_main.h"
#include "widgets/admin_widget.h"
#include "widgets/gen_info_widget.h"
#include "widgets/login_widget.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
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

const QString kNameTooLong = QString::fromUtf8("Nazwa tokenu jest za długa. Może ona zawierać co najwyżej 10 znaków. "
                                               "Litery takie jak 'ą', 'ć', itd. kodowane są na 2 znakach.");
const QString kSoPinsDiffer = QString::fromUtf8("Pola zawierające PIN administratora nie są identyczne.");
const QString kUserPinsDiffer = QString::fromUtf8("Pola zawierające PIN użytkownika nie są identyczne.");
const QString kSoPinTooLong = QString::fromUtf8("PIN administratora jest za długi. Może on zawierać co najwyżej 8 "
                                                "znaków. Litery takie jak 'ą', 'ć', itd. kodowane są na 2 znakach.");
const QString kUserPinTooLong
    = QString::fromUtf8("PIN użytkownika jest za długi. Może on zawierać co najwyżej 8 znaków. "
                        "Litery takie jak 'ą', 'ć', itd. kodowane są na 2 znakach.");

struct Configuration
{
    QByteArray name, soPin, userPin;
    int soPinLim = -1, userPinLim = -1;
    bool upcna = true;
};

QList<QLineEdit*> pinEditsOf(QWidget* page)
{
    QList<QLineEdit*> edits = page->findChildren<QLineEdit*>();
    edits.removeIf([](QLineEdit* edit) { return edit->echoMode() != QLineEdit::Password; });
    return edits;
}

// The texts of the labels in the box of that title on the page the stack shows.
QStringList shownInBox(QStackedWidget& page, const QString& title)
{
    QStringList texts;
    for (QGroupBox* box : page.currentWidget()->findChildren<QGroupBox*>()) {
        if (box->title() == title) {
            for (QLabel* label : box->findChildren<QLabel*>()) {
                texts << label->text();
            }
        }
    }
    return texts;
}

QString labelText(QWidget* page, const char* name)
{
    return page->findChild<QLabel*>(QString::fromLatin1(name))->text();
}

bool boxEnabled(AdminWidget& page, const char* box)
{
    return page.findChild<QGroupBox*>(QString::fromLatin1(box))->isEnabled();
}

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

    void eachStateShowsItsPage_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("shown");
        QTest::newRow("0x06 locked") << 0x06 << int(GenInfoWidget::kLockedPage)
                                     << QString::fromUtf8(
                                            "<h3 align=center>Ten token jest zablokowany</h3><br>Liczba / "
                                            "Limit błędnych wprowadzeń PINu administatora: <b>2 / 5</b><br>");
        const QString configured = QString::fromUtf8(
            "Nazwa tokenu: <b>ALFA</b><br>Limit błędnych wprowadzeń PINu użytkownika: <b>3</b><br>Limit błędnych "
            "wprowadzeń PINu administatora: <b>5</b><br>Administrator ma prawo zmienić PIN użytkownika: <b>%1</b><br>");
        QTest::newRow("0x12 user PIN fixed")
            << 0x12 << int(GenInfoWidget::kConfiguredPage) << configured.arg(QStringLiteral("NIE"));
        QTest::newRow("0x02 configured") << 0x02 << int(GenInfoWidget::kConfiguredPage)
                                         << configured.arg(QStringLiteral("TAK"));
        const QString form = QStringLiteral("<h3 align=center>Ten token nie jest jeszcze skonfigurowany</h3>");
        QTest::newRow("0x01 initialised") << 0x01 << int(GenInfoWidget::kNotConfiguredPage) << form;
        QTest::newRow("0x00 blank") << 0x00 << int(GenInfoWidget::kNotConfiguredPage) << form;
    }
    void eachStateShowsItsPage()
    {
        QFETCH(int, state);
        QFETCH(int, page);
        QFETCH(QString, shown);
        DEV_ZR40NN_t ut {};
        qstrcpy(ut.serial_number, "SN-0042");
        qstrcpy(ut.info.name, "ALFA");
        ut.info.main_ver = 2;
        ut.info.sub_ver = 13;
        ut.info.public_mem = 16384;
        ut.info.keys_num = 4;
        ut.info.ecc_params = &DEV_ZR40NN_ecc_params[1];
        ut.info.so_pin_trys = 2;
        ut.info.so_pin_limit = 5;
        ut.info.user_pin_limit = 3;
        GenInfoWidget info;
        // Another state first: each state takes the stack to its own page.
        ut.info.info = (state & 0x04) != 0 ? 0x02 : 0x06;
        info.setInfo(&ut);
        setText(&info, "tokenName", QStringLiteral("wpisana"));
        setText(&info, "lockSoPin", QStringLiteral("1234"));
        ut.info.info = state;
        info.setInfo(&ut);
        QCOMPARE(info.currentIndex(), page);
        QCOMPARE(shownInBox(info, QStringLiteral("Dane techniczne")),
                 QStringList(QString::fromUtf8("Numer seryjny: <b>SN-0042</b><br>Wersja oprogramowania: <b>2.13</b><br>"
                                               "Dostępna pamięć (bajty): <b>16384</b><br>Maksymalna liczba kluczy: "
                                               "<b>4</b><br>Dziedzina ECC: <b>secp192r1</b><br>")));
        const QStringList data = shownInBox(info, QStringLiteral("Dane konfiguracyjne"));
        QVERIFY2(data.contains(shown), qPrintable(data.join(QLatin1Char('\n'))));
        // A refresh leaves what was typed.
        QCOMPARE(textOf(&info, "tokenName"), QStringLiteral("wpisana"));
        QCOMPARE(textOf(&info, "lockSoPin"), QStringLiteral("1234"));
    }

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
                                                    << "4" << kNameTooLong;
        QTest::newRow("SO PINs differ before too long") << "A" << kNineOctets << "x"
                                                        << "1"
                                                        << "1" << kSoPinsDiffer;
        QTest::newRow("SO PIN of 9 octets") << "A" << kNineOctets << kNineOctets << "1"
                                            << "1" << kSoPinTooLong;
        QTest::newRow("SO before user") << "A"
                                        << "1"
                                        << "2"
                                        << "3"
                                        << "4" << kSoPinsDiffer;
        QTest::newRow("user PINs differ") << kFivePolish << kEightOctets << kEightOctets << "3"
                                          << "4" << kUserPinsDiffer;
        QTest::newRow("user PIN of 9 octets") << "A"
                                              << "1"
                                              << "1" << kNineOctets << kNineOctets << kUserPinTooLong;
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
        QCOMPARE(mBoxes->seen().size(), 1);
        QCOMPARE(mBoxes->seen().first().buttons, QMessageBox::Ok);
        // After a refusal the whole form is as new, the name included, and the limits show what
        // they would send.
        QVERIFY(formIsEmpty(page, { "tokenName", "soPin", "soPinCheck", "userPin", "userPinCheck" }));
        limitsShow(page, 1, 1);
    }

    // The name edit takes 10 characters, and the limits stay between 1 and 20 whatever is asked.
    void theFormBoundsWhatCanBeEntered()
    {
        GenInfoWidget page;
        auto* name = page.findChild<QLineEdit*>(QStringLiteral("tokenName"));
        typeInto(name, QStringLiteral("ABCDEFGHIJKL"));
        QCOMPARE(name->text(), QStringLiteral("ABCDEFGHIJ"));
        for (const char* limit : { "soPinLimit", "userPinLimit" }) {
            auto* box = page.findChild<QSpinBox*>(QLatin1String(limit));
            box->setValue(25);
            QCOMPARE(box->value(), 20);
            box->setValue(0);
            QCOMPARE(box->value(), 1);
        }
    }

    void aValidConfigurationIsEmittedAndForgotten()
    {
        GenInfoWidget page;
        Configuration got;
        LentSecret name, so, user;
        connect(&page, &GenInfoWidget::confSig, this,
                [&](const char* n, int soLim, const char* s, int userLim, const char* u, bool upcna) {
                    got = { n, s, u, soLim, userLim, upcna };
                    name.take(n);
                    so.take(s);
                    user.take(u);
                    // The form is emptied before the node runs.
                    QVERIFY(formIsEmpty(page, { "tokenName", "soPin", "soPinCheck", "userPin", "userPinCheck" }));
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
        // Once the node is done, the page's copies of the name and both PINs are overwritten.
        QVERIFY(name.wiped());
        QVERIFY(so.wiped());
        QVERIFY(user.wiped());
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
        QCOMPARE(got.userPin, QByteArray());
        QCOMPARE(got.soPinLim, 1);
        QCOMPARE(got.userPinLim, 1);
    }

    void unlockSendsWhatWasTypedEvenNothing()
    {
        GenInfoWidget page;
        QList<QByteArray> sent;
        LentSecret lent;
        connect(&page, &GenInfoWidget::unLockSig, this, [&](const char* pin) {
            sent << pin;
            lent.take(pin);
            QVERIFY(textOf(&page, "lockSoPin").isEmpty());
        });
        press(&page, "unlock");
        setText(&page, "lockSoPin", QStringLiteral("8765"));
        press(&page, "unlock");
        QCOMPARE(sent, QList<QByteArray>({ QByteArray(), QByteArray("8765") }));
        QVERIFY(lent.wiped());
        QVERIFY(textOf(&page, "lockSoPin").isEmpty());
    }

    // Every PIN edit of every page, typed into as the user does and then emptied, keeps no copy of
    // what it held: not as its text, nor in its undo history, which gives the characters back as
    // soon as the edit echoes normally again. A page that goes empties its edits before they are
    // destroyed, so that nothing stays behind in freed memory; its layout goes first, while the
    // edits still exist.
    void emptiedPinEditsKeepNoCopy()
    {
        auto* info = new GenInfoWidget;
        auto* login = new LoginWidget;
        auto* admin = new AdminWidget;
        admin->enableSoMenu(); // a disabled edit takes no keys
        struct
        {
            std::unique_ptr<QWidget> page;
            int pinEdits;
            std::function<void()> empty;
        } pages[] = {
            { std::unique_ptr<QWidget>(info), 5, [=] { info->clearInputs(); } },
            { std::unique_ptr<QWidget>(login), 2, [=] { login->clearInputs(); } },
            { std::unique_ptr<QWidget>(admin), 4, [=] { admin->clearInputs(); } },
        };
        for (auto& [page, pinEdits, empty] : pages) {
            const QList<QLineEdit*> edits = pinEditsOf(page.get());
            QCOMPARE(edits.size(), pinEdits);
            auto typeIntoAll = [&] {
                for (QLineEdit* edit : edits) {
                    QCOMPARE(edit->maxLength(), 8);
                    typeInto(edit, QStringLiteral("12345678"));
                    QCOMPARE(edit->text(), QStringLiteral("12345678"));
                }
            };
            QStringList held;
            auto probeAll = [&] {
                for (QLineEdit* edit : edits) {
                    held << heldBy(edit);
                }
            };
            typeIntoAll();
            empty();
            probeAll();
            typeIntoAll();
            connect(page->layout(), &QObject::destroyed, this, probeAll);
            page.reset();
            QCOMPARE(held, QStringList(2 * pinEdits, QString()));
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

    void loginSendsThePinAndKeepsItOnlyOnSuccess_data()
    {
        QTest::addColumn<bool>("so");
        QTest::addColumn<QString>("heading");
        QTest::newRow("user")
            << false
            << QString::fromUtf8("<h2 align=center><font color=green>Jesteś zalogowany jako Użytkownik</font></h2>");
        QTest::newRow("administrator")
            << true
            << QString::fromUtf8("<h2 align=center><font color=red>Jesteś zalogowany jako Administrator</font></h2>");
    }
    void loginSendsThePinAndKeepsItOnlyOnSuccess()
    {
        QFETCH(bool, so);
        QFETCH(QString, heading);
        LoginWidget page;
        QList<QByteArray> sent;
        LentSecret lent;
        bool accept = false;
        auto check = [&](const char* pin, bool& success) {
            sent << pin;
            lent.take(pin);
            QVERIFY(textOf(&page, "userPin").isEmpty() && textOf(&page, "soPin").isEmpty());
            success = accept;
        };
        connect(&page, so ? &LoginWidget::soLoginSig : &LoginWidget::userLoginSig, this, check);
        connect(&page, so ? &LoginWidget::userLoginSig : &LoginWidget::soLoginSig, this,
                [](const char*, bool&) { QFAIL("the other role was asked"); });
        QSignalSpy logouts(&page, &LoginWidget::logoutSig);
        page.findChild<QCheckBox*>(QStringLiteral("chooseSoLogin"))->setChecked(so);
        const char* edit = so ? "soPin" : "userPin";
        const char* button = so ? "soLogin" : "userLogin";
        press(&page, button); // an empty PIN goes as empty text
        setText(&page, edit, QStringLiteral("0000"));
        press(&page, button);
        // A refused PIN is overwritten at once, and the form stays.
        QVERIFY(lent.wiped());
        QCOMPARE(page.currentIndex(), int(LoginWidget::kLoginPage));
        accept = true;
        setText(&page, edit, QString::fromUtf8("pąs"));
        press(&page, button);
        QCOMPARE(sent, QList<QByteArray>({ QByteArray(), QByteArray("0000"), QString::fromUtf8("pąs").toUtf8() }));
        QCOMPARE(page.currentIndex(), int(LoginWidget::kLogoutPage));
        QCOMPARE(labelText(&page, "loginInfo"), heading);
        // The accepted PIN stays where the node points until logout.
        QCOMPARE(lent.text(), QString::fromUtf8("pąs").toUtf8());
        QCOMPARE(logouts.size(), 0);

        // Typed into the hidden form meanwhile: the logout, forced by the node, empties it too.
        setText(&page, "userPin", QStringLiteral("1"));
        setText(&page, "soPin", QStringLiteral("2"));
        page.logoutSlot();
        QCOMPARE(page.currentIndex(), int(LoginWidget::kLoginPage));
        QCOMPARE(logouts.size(), 1);
        QVERIFY(lent.wiped());
        QVERIFY(textOf(&page, "userPin").isEmpty() && textOf(&page, "soPin").isEmpty());

        // "Wyloguj" does the same.
        setText(&page, edit, QStringLiteral("pąs"));
        press(&page, button);
        press(&page, "logout");
        QCOMPARE(page.currentIndex(), int(LoginWidget::kLoginPage));
        QCOMPARE(logouts.size(), 2);
        QVERIFY(lent.wiped());
    }

    void countersShowTheRecordAndKeepTheLogin()
    {
        LoginWidget page;
        connect(&page, &LoginWidget::userLoginSig, this, [](const char*, bool& success) { success = true; });
        DEV_ZR40NN_info_t info {};
        info.so_pin_trys = 1;
        info.so_pin_limit = 12;
        info.user_pin_trys = 3;
        info.user_pin_limit = 14;
        press(&page, "userLogin");
        page.setInfo(&info);
        QCOMPARE(page.currentIndex(), int(LoginWidget::kLogoutPage));
        QStringList shown;
        for (QGroupBox* box : page.findChildren<QGroupBox*>()) {
            if (box->title() == QStringLiteral("Logowanie")) {
                shown << box->findChildren<QLabel*>().first()->text();
            }
        }
        QCOMPARE(shown,
                 QStringList({ QString::fromUtf8("Liczba błędnych wprowadzeń numeru PIN użytkownika: <b>3</b><br>"
                                                 "Limit błędnych wprowadzeń numeru PIN użytkownika: <b>14</b><br>"),
                               QString::fromUtf8("Liczba błędnych wprowadzeń numeru PIN administratora: <b>1</b>"
                                                 "<br>Limit błędnych wprowadzeń numeru PIN administratora: "
                                                 "<b>12</b><br>") }));
    }

    void choosingTheRoleEmptiesBothPins()
    {
        LoginWidget page;
        page.show();
        // The user's form comes first.
        QVERIFY(page.findChild<QPushButton*>(QStringLiteral("userLogin"))->isVisible());
        QVERIFY(!page.findChild<QPushButton*>(QStringLiteral("soLogin"))->isVisible());
        auto* choose = page.findChild<QCheckBox*>(QStringLiteral("chooseSoLogin"));
        setText(&page, "userPin", QStringLiteral("1"));
        setText(&page, "soPin", QStringLiteral("2"));
        choose->setChecked(true);
        QVERIFY(textOf(&page, "userPin").isEmpty() && textOf(&page, "soPin").isEmpty());
        QVERIFY(page.findChild<QPushButton*>(QStringLiteral("soLogin"))->isVisible());
        QVERIFY(!page.findChild<QPushButton*>(QStringLiteral("userLogin"))->isVisible());
        setText(&page, "soPin", QStringLiteral("2"));
        choose->setChecked(false);
        QVERIFY(textOf(&page, "soPin").isEmpty());
        QVERIFY(page.findChild<QPushButton*>(QStringLiteral("userLogin"))->isVisible());
        QVERIFY(!page.findChild<QPushButton*>(QStringLiteral("soLogin"))->isVisible());
    }

    // Who is logged in decides which boxes are usable; the administrator keeps all three.
    void settingsBoxesFollowTheLogin()
    {
        AdminWidget page;
        auto enabledBoxes = [&] {
            QStringList titles;
            for (const char* box : { "userPinChangeBox", "soPinChangeBox", "eraseBox" }) {
                if (boxEnabled(page, box)) {
                    titles << page.findChild<QGroupBox*>(QLatin1String(box))->title();
                }
            }
            return titles;
        };
        const QString user = QString::fromUtf8("Zmiana PINu użytkownika");
        const QStringList all { user, QStringLiteral("Zmiana PINu administratora"),
                                QString::fromUtf8("Kasowanie konfiguracji i pamięci prywatnej tokenu") };
        QCOMPARE(enabledBoxes(), QStringList());
        page.enableUserMenu();
        QCOMPARE(enabledBoxes(), QStringList({ user }));
        page.disableMenu();
        QCOMPARE(enabledBoxes(), QStringList());
        page.enableSoMenu();
        QCOMPARE(enabledBoxes(), all);
        page.enableUserMenu();
        QCOMPARE(enabledBoxes(), all);
        page.disableMenu();
        QCOMPARE(enabledBoxes(), QStringList());

        // The erase box warns with its picture and its text.
        auto* erase = page.findChild<QGroupBox*>(QStringLiteral("eraseBox"));
        QStringList texts;
        QImage picture;
        for (QLabel* label : erase->findChildren<QLabel*>()) {
            texts << label->text();
            if (!label->pixmap().isNull()) {
                picture = label->pixmap().toImage();
            }
        }
        QVERIFY(texts.contains(QString::fromUtf8("<b>Wykonanie polecenia spowoduje<br>utratę wszystkich danych!</b>")));
        QVERIFY(!picture.isNull());
        QCOMPARE(picture, QPixmap(QStringLiteral(":img/messagebox_warning.png")).toImage());
    }

    void eraseAsksFirstAndTouchesNoInput()
    {
        AdminWidget page;
        page.enableSoMenu();
        QSignalSpy erased(&page, &AdminWidget::eraseSig);
        setText(&page, "newSoPin", QStringLiteral("1"));
        const QString question
            = QString::fromUtf8("Czy jesteś pewien, że chcesz skasować pamięć i konfigurację tokenu?");
        mBoxes->expectQuestion(question, QMessageBox::No);
        press(&page, "erase");
        lastBoxAskedYesOrNo(*mBoxes);
        QCOMPARE(erased.size(), 0);
        mBoxes->expectQuestion(question, QMessageBox::Yes);
        press(&page, "erase");
        QCOMPARE(erased.size(), 1);
        QCOMPARE(textOf(&page, "newSoPin"), QStringLiteral("1"));
    }

    void pinChangeChecksThenAsksWithTheFormEmpty()
    {
        AdminWidget page;
        page.enableSoMenu();
        QList<QByteArray> sent;
        LentSecret lentSo, lentUser;
        connect(&page, &AdminWidget::soPinChangeSig, this, [&](const char* pin) {
            sent << pin;
            lentSo.take(pin);
        });
        connect(&page, &AdminWidget::userPinChangeSig, this, [&](const char* pin) {
            sent << "user:" + QByteArray(pin);
            lentUser.take(pin);
        });
        auto formEmpty = [&] {
            QVERIFY(formIsEmpty(page, { "newSoPin", "newSoPinCheck", "newUserPin", "newUserPinCheck" }));
        };

        setText(&page, "newSoPin", kNineOctets);
        setText(&page, "newSoPinCheck", QStringLiteral("x"));
        setText(&page, "newUserPin", QStringLiteral("5"));
        mBoxes->expectError(kSoPinsDiffer); // differing comes before too long
        press(&page, "soPinChange");
        formEmpty();
        setText(&page, "newUserPin", kFivePolish);
        setText(&page, "newUserPinCheck", kFivePolish);
        mBoxes->expectError(kUserPinTooLong);
        press(&page, "userPinChange");
        formEmpty();
        setText(&page, "newUserPin", QStringLiteral("1"));
        setText(&page, "newUserPinCheck", QStringLiteral("2"));
        mBoxes->expectError(kUserPinsDiffer);
        press(&page, "userPinChange");
        setText(&page, "newSoPin", kNineOctets);
        setText(&page, "newSoPinCheck", kNineOctets);
        mBoxes->expectError(kSoPinTooLong);
        press(&page, "soPinChange");
        for (const BoxRecord& box : mBoxes->seen()) {
            QCOMPARE(box.buttons, QMessageBox::Ok);
        }

        const QString askSo = QString::fromUtf8("Czy jesteś pewien, że chcesz zmienić PIN administratora?");
        setText(&page, "newSoPin", kEightOctets);
        setText(&page, "newSoPinCheck", kEightOctets);
        mBoxes->expect({ QMessageBox::No, QMessageBox::Question, QStringLiteral("Pytanie"), askSo, formEmpty });
        press(&page, "soPinChange");
        lastBoxAskedYesOrNo(*mBoxes);
        QVERIFY(sent.isEmpty());

        setText(&page, "newSoPin", kEightOctets);
        setText(&page, "newSoPinCheck", kEightOctets);
        mBoxes->expect({ QMessageBox::Yes, QMessageBox::Question, QStringLiteral("Pytanie"), askSo, formEmpty });
        press(&page, "soPinChange");
        const QString askUser = QString::fromUtf8("Czy jesteś pewien, że chcesz zmienić PIN użytkownika?");
        mBoxes->expectQuestion(askUser, QMessageBox::Yes); // an empty new PIN passes
        press(&page, "userPinChange");
        setText(&page, "newUserPin", QStringLiteral("4321"));
        setText(&page, "newUserPinCheck", QStringLiteral("4321"));
        mBoxes->expect({ QMessageBox::Yes, QMessageBox::Question, QStringLiteral("Pytanie"), askUser, formEmpty });
        press(&page, "userPinChange");
        lastBoxAskedYesOrNo(*mBoxes);
        QCOMPARE(sent, QList<QByteArray>({ kEightOctets.toUtf8(), QByteArray("user:"), QByteArray("user:4321") }));
        // The new PINs are overwritten once the node has them.
        QVERIFY(lentSo.wiped());
        QVERIFY(lentUser.wiped());
    }
};

MORVIL_QTEST_MAIN(PagesTest)
#include "test_pages.moc"
