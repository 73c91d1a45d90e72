// The token's information page alone: what it shows for each state of a record, the checks of its
// configuration form in order with the boxes they show, what it emits and what it leaves in its
// edits and byte copies.
#include "admin_texts.h"
#include "box_watcher.h"
#include "held_text.h"
#include "page_controls.h"
#include "pin_form_texts.h"
#include "qt_test_main.h"
#include "widgets/gen_info_widget.h"

#include <QGroupBox>
#include <QLabel>
#include <QSpinBox>

using namespace morvil::test;
namespace text = morvil::admin::text;

namespace {

const QString kSixPolish = QString::fromUtf8("ąćęłńó"); // 12 octets

const QString kNameTooLong = QString::fromUtf8("Nazwa tokenu jest za długa. Może ona zawierać co najwyżej 10 znaków. "
                                               "Litery takie jak 'ą', 'ć', itd. kodowane są na 2 znakach.");

struct Configuration
{
    QByteArray name, soPin, userPin;
    int soPinLim = -1, userPinLim = -1;
    bool upcna = true;
};

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

} // namespace

class InfoPageTest : public QObject
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
};

MORVIL_QTEST_MAIN(InfoPageTest)
#include "test_info_page.moc"
