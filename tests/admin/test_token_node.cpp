// The token node: tabs, text and icon by state, what the pages show, and where PINs go when a
// token is pulled out.
#include "admin_fixture.h"
#include "held_text.h"
#include "qt_test_main.h"

#include <QLabel>
#include <QSignalSpy>

using namespace morvil::test;

namespace {

QString labelText(QWidget* page, const char* name)
{
    return page->findChild<QLabel*>(QString::fromLatin1(name))->text();
}

// The PIN edits of every page of a token node.
QList<QLineEdit*> pinEdits(MorvilItem* node)
{
    QList<QLineEdit*> edits;
    for (QWidget* page : { static_cast<QWidget*>(node->genInfoWidget()), static_cast<QWidget*>(node->loginWidget()),
                           static_cast<QWidget*>(node->adminWidget()) }) {
        for (QLineEdit* edit : page->findChildren<QLineEdit*>()) {
            if (edit->echoMode() == QLineEdit::Password) {
                edits << edit;
            }
        }
    }
    return edits;
}

emu::TokenConfig tokenInState(std::uint8_t state)
{
    emu::TokenConfig config = (state & emu::kConfigured) != 0 ? configuredToken("STAN") : blankToken();
    config.state = state;
    if ((state & emu::kLocked) != 0) {
        config.userPinTries = config.userPinLimit;
    }
    return config;
}

} // namespace

class TokenNodeTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<AdminFixture> f;

private slots:
    void initTestCase() { tokenBus(); }
    void init() { f = std::make_unique<AdminFixture>(); }
    void cleanup() { QCOMPARE(endCase(f), QStringList()); }

    void tabsTextAndIconFollowTheState_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QStringList>("tabs");
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("icon");
        const QStringList general { QStringLiteral("Ogólne") };
        const QStringList all { QStringLiteral("Ogólne"), QStringLiteral("Logowanie"), QStringLiteral("Ustawienia") };
        QTest::newRow("0x00 blank") << 0x00 << general << 1 << ":img/morvil_no.png";
        QTest::newRow("0x01 initialised") << 0x01 << general << 1 << ":img/morvil_no.png";
        QTest::newRow("0x02 configured") << 0x02 << all << 0 << ":img/morvil.png";
        QTest::newRow("0x06 locked") << 0x06 << general << 2 << ":img/morvil_lock.png";
        QTest::newRow("0x12 configured, user PIN fixed") << 0x12 << all << 0 << ":img/morvil.png";
    }
    void tabsTextAndIconFollowTheState()
    {
        QFETCH(int, state);
        QFETCH(QStringList, tabs);
        QFETCH(int, page);
        QFETCH(QString, icon);
        f->tokens.plug(tokenInState(static_cast<std::uint8_t>(state)));
        f->start();
        MorvilItem* node = f->node();
        QCOMPARE(node->MorvilState(), state == 0x06 ? 3 : state & 0x02 ? 2 : state);
        QCOMPARE(tabTexts(node), tabs);
        QCOMPARE(node->genInfoWidget()->currentIndex(), page);
        QVERIFY(showsIcon(node->data(Qt::DecorationRole), icon.toLatin1().constData()));
        // A usable token has its key and file folders; no other state has any.
        const bool usable = node->MorvilState() == 2;
        QCOMPARE(node->childCount(), usable ? 2 : 0);
        if (usable) {
            QCOMPARE(node->child(0)->data(Qt::DisplayRole).toString(), QStringLiteral("Klucze"));
            QCOMPARE(node->child(1)->data(Qt::DisplayRole).toString(), QStringLiteral("Pliki"));
        }
        if ((state & 0x02) != 0 && (state & 0x04) == 0) {
            QCOMPARE(node->data(Qt::DisplayRole).toString(), QStringLiteral("STAN"));
            const QString conf = labelText(node->genInfoWidget(), "confInfo");
            QVERIFY(conf.contains(state == 0x12 ? QStringLiteral("<b>NIE</b>") : QStringLiteral("<b>TAK</b>")));
        } else if (state == 0x06) {
            QVERIFY(labelText(node->genInfoWidget(), "lockInfo").contains(QStringLiteral("<b>0 / 5</b>")));
        } else {
            const QString serial = QString::fromUtf8(node->device()->serial_number);
            QCOMPARE(node->data(Qt::DisplayRole).toString(), QStringLiteral("[") + serial + QStringLiteral("]"));
        }
    }

    // Tabs come back in their order after a refresh had removed them.
    void tabsReturnInOrder()
    {
        f->tokens.plug(configuredToken("ALFA"));
        f->start();
        MorvilItem* node = f->node();
        node->device()->info.info = 0x07;
        node->refresh();
        QCOMPARE(tabTexts(node), QStringList({ QStringLiteral("Ogólne") }));
        node->device()->info.info = 0x03;
        node->refresh();
        QCOMPARE(tabTexts(node),
                 QStringList({ QStringLiteral("Ogólne"), QStringLiteral("Logowanie"), QStringLiteral("Ustawienia") }));
    }

    // The token's own texts are shown exactly as they are: never as markup, and a "%" and a digit
    // in them are not a place for the message's next value.
    void tokenTextsAreShownAsTheyAre()
    {
        emu::TokenConfig config = configuredToken("<u>%2</u>");
        config.serial = "<i>S%5</i>&%1";
        f->tokens.plug(config);
        f->start();
        MorvilItem* node = f->node();
        QCOMPARE(node->data(Qt::DisplayRole).toString(), QStringLiteral("<u>%2</u>"));
        const QString tech = GenInfoWidget::techText(node->device());
        QVERIFY2(tech.contains(QStringLiteral("Numer seryjny: <b>&lt;i&gt;S%5&lt;/i&gt;&amp;%1</b><br>")),
                 qPrintable(tech));
        QVERIFY2(tech.contains(QStringLiteral("Maksymalna liczba kluczy: <b>4</b><br>")), qPrintable(tech));
        const QString conf = labelText(node->genInfoWidget(), "confInfo");
        QVERIFY2(conf.contains(QStringLiteral("Nazwa tokenu: <b>&lt;u&gt;%2&lt;/u&gt;</b><br>")), qPrintable(conf));
        QVERIFY2(conf.contains(QStringLiteral("PINu użytkownika: <b>3</b><br>")), qPrintable(conf));

        config = blankToken();
        config.serial = "SN%5-";
        f->tokens.plug(config);
        f->model()->refresh();
        MorvilItem* blank = f->node(1);
        QCOMPARE(blank->data(Qt::DisplayRole).toString(), QStringLiteral("[SN%5-]"));
        QVERIFY(labelText(blank->genInfoWidget(), "notConfTechInfo").contains(QStringLiteral("<b>SN%5-</b>")));
    }

    void anUnsupportedCurveShowsAPlaceholder()
    {
        emu::TokenConfig config = blankToken();
        config.curveId = 1234;
        f->tokens.plug(config);
        f->start();
        MorvilItem* node = f->node();
        QVERIFY(node->device()->info.ecc_params == nullptr);
        QVERIFY(labelText(node->genInfoWidget(), "notConfTechInfo")
                    .contains(QStringLiteral("Dziedzina ECC: <b><i>nieobsługiwana przez bibliotekę</i></b>")));
    }

    void loginPageCountersFollowRefresh()
    {
        f->tokens.plug(configuredToken("ALFA"));
        f->start();
        MorvilItem* node = f->node();
        login(node, false, QString::fromLatin1(kUserPin));
        QCOMPARE(node->loginWidget()->currentIndex(), int(LoginWidget::kLogoutPage));
        node->device()->info.user_pin_trys = 2;
        node->refresh();
        QCOMPARE(node->loginWidget()->currentIndex(), int(LoginWidget::kLogoutPage));
        bool counted = false;
        for (QLabel* label : node->loginWidget()->findChildren<QLabel*>()) {
            counted = counted || label->text().contains(QStringLiteral("użytkownika: <b>2</b>"));
        }
        QVERIFY(counted);
    }

    // Logout leaves no PIN in any field of the token's pages, typed and not sent ones included: the
    // next person to log in must not send, with "Zmień PIN", what the previous one typed.
    void logoutEmptiesEveryPinField()
    {
        f->tokens.plug(configuredToken("ALFA"));
        f->start();
        MorvilItem* node = f->node();
        login(node, true, QString::fromLatin1(kSoPin));
        const QList<QLineEdit*> edits = pinEdits(node);
        QCOMPARE(edits.size(), 11);
        for (QLineEdit* edit : edits) {
            typeInto(edit, QStringLiteral("9999"));
            QCOMPARE(edit->text(), QStringLiteral("9999"));
        }
        press(node->loginWidget(), "logout");
        QCOMPARE(node->pinId(), -1);
        for (QLineEdit* edit : edits) {
            QCOMPARE(heldBy(edit), QString());
        }
    }

    // A pulled-out token's pages let go of their PINs at once, and the pages themselves go.
    void aPulledTokenTakesItsPinWithIt()
    {
        const int id = f->tokens.plug(configuredToken("ALFA"));
        TreeModel* model = f->start();
        MorvilItem* node = f->node();
        const char* kept = nullptr;
        connect(node->loginWidget(), &LoginWidget::userLoginSig, this, [&](const char* pin, bool&) { kept = pin; });
        login(node, false, QString::fromLatin1(kUserPin));
        QCOMPARE(node->pinId(), 1);
        QCOMPARE(QByteArray(kept), QByteArray(kUserPin));
        QPointer<LoginWidget> page = node->loginWidget();
        QPointer<QTabWidget> tabs = node->tabs();
        const QList<QLineEdit*> edits = pinEdits(node);
        for (QLineEdit* edit : edits) {
            typeInto(edit, QStringLiteral("9999"));
        }

        f->tokens.unplug(id);
        QCOMPARE(model->refresh(), 0);
        // The pages still exist until the event loop runs again, but their PINs are gone.
        QVERIFY(!page.isNull());
        QVERIFY(std::all_of(kept, kept + 5, [](char c) { return c == 0; }));
        for (QLineEdit* edit : edits) {
            QCOMPARE(heldBy(edit), QString());
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(page.isNull());
        QVERIFY(tabs.isNull());
    }
};

MORVIL_QTEST_MAIN(TokenNodeTest)
#include "test_token_node.moc"
