// The settings page alone: which boxes each login enables, the question before an erase, and the
// checks of the PIN changes in order with the boxes they show and what they leave in byte copies.
#include "box_watcher.h"
#include "page_controls.h"
#include "pin_form_texts.h"
#include "qt_test_main.h"
#include "widgets/admin_widget.h"

#include <QGroupBox>
#include <QLabel>
#include <QSignalSpy>

using namespace morvil::test;

namespace {

bool boxEnabled(AdminWidget& page, const char* box)
{
    return page.findChild<QGroupBox*>(QString::fromLatin1(box))->isEnabled();
}

} // namespace

class SettingsPageTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<BoxWatcher> mBoxes;

private slots:
    void init() { mBoxes = std::make_unique<BoxWatcher>(); }
    void cleanup() { QCOMPARE(mBoxes->finish(), QStringList()); }

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

MORVIL_QTEST_MAIN(SettingsPageTest)
#include "test_settings_page.moc"
