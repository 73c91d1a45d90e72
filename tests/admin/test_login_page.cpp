// The login page alone: what it sends for each role, what it keeps after a refusal, a success and
// a logout, the counters it shows and the forms the chosen role shows.
#include "box_watcher.h"
#include "page_controls.h"
#include "qt_test_main.h"
#include "widgets/login_widget.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QSignalSpy>

using namespace morvil::test;

namespace {

QString labelText(QWidget* page, const char* name)
{
    return page->findChild<QLabel*>(QString::fromLatin1(name))->text();
}

} // namespace

class LoginPageTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<BoxWatcher> mBoxes;

private slots:
    void init() { mBoxes = std::make_unique<BoxWatcher>(); }
    void cleanup() { QCOMPARE(mBoxes->finish(), QStringList()); }

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

};

MORVIL_QTEST_MAIN(LoginPageTest)
#include "test_login_page.moc"
