// The main window over a store and emulated tokens: the list and the tray menu built from the
// store, the selection rules, and creating (with certificates and key from a token), editing,
// showing and deleting connections through the buttons.
#include "chooser_fixture.h"
#include "connect_action.h"
#include "main_window.h"
#include "qt_test_main.h"
#include "vpn_edit_window.h"
#include "vpn_fixture.h"
#include "vpn_info_window.h"
#include "vpn_new_window.h"
#include "vpn_start.h"

#include <QCloseEvent>
#include <QInputDialog>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QTextEdit>
#include <QtTest/qtestspontaneevent.h>

using namespace morvil::test;

namespace {

const vpn::ConfHeader kAlfa { QStringLiteral("Alfa"), QStringLiteral("a.example.pl"), QStringLiteral("1194"),
                              QStringLiteral("ALFA/klucz") };
const vpn::ConfHeader kBeta { QStringLiteral("Beta"), QStringLiteral("b.example.pl"), QStringLiteral("443"),
                              QStringLiteral("ALFA/klucz") };

QStringList listTexts(MainWindow& window)
{
    QStringList texts;
    for (int row = 0; row < window.vpnList()->count(); ++row) {
        texts << window.vpnList()->item(row)->text();
    }
    return texts;
}

QStringList menuTexts(QMenu* menu)
{
    QStringList texts;
    for (QAction* entry : menu->actions()) {
        texts << (entry->isSeparator() ? QStringLiteral("-") : entry->text());
    }
    return texts;
}

// The entries of a menu as it shows them: "&&" is an "&"; a lone "&" marks the next character as
// the accelerator and is not shown.
QStringList shownTexts(QMenu* menu)
{
    QStringList texts;
    for (const QString& text : menuTexts(menu)) {
        QString shown;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text.at(i) == QLatin1Char('&') && i + 1 < text.size()) {
                ++i;
            }
            shown += text.at(i);
        }
        texts << shown;
    }
    return texts;
}

// The buttons enabled now, by object name.
QStringList enabledButtons(MainWindow& window)
{
    QStringList names;
    for (const char* name : { "connect", "disconnect", "new", "info", "edit", "delete" }) {
        if (button(&window, name)->isEnabled()) {
            names << QLatin1String(name);
        }
    }
    return names;
}

void clickRow(MainWindow& window, int row)
{
    emit window.vpnList()->itemClicked(window.vpnList()->item(row));
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<TempStore> mStore;
    std::unique_ptr<BoxWatcher> mBoxes;
    PluggedTokens mTokens;

private slots:
    void initTestCase() { tokenBus(); }
    void init()
    {
        mStore = std::make_unique<TempStore>();
        mBoxes = std::make_unique<BoxWatcher>();
    }
    void cleanup()
    {
        const QStringList problems = mBoxes->finish();
        mBoxes.reset();
        mStore.reset();
        mTokens.unplugAll();
        QCOMPARE(problems.join(QLatin1Char('\n')), QString());
    }

    void anEmptyStoreOffersOnlyNew()
    {
        MainWindow window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Morvil VPN"));
        QCOMPARE(window.vpnList()->count(), 0);
        QVERIFY(window.connectMenu()->actions().isEmpty());
        QCOMPARE(enabledButtons(window), QStringList { QStringLiteral("new") });
        QCOMPARE(menuTexts(window.trayIcon()->contextMenu()),
                 QStringList({ QStringLiteral("&Otwórz"), QStringLiteral("-"), QStringLiteral("Połą&cz"),
                               QStringLiteral("Ro&złącz"), QStringLiteral("O połączen&iu"), QStringLiteral("-"),
                               QStringLiteral("&Zakończ") }));
        const QList<QAction*> tray = window.trayIcon()->contextMenu()->actions();
        QVERIFY(tray[0]->isEnabled() && tray[6]->isEnabled());
        QVERIFY(!tray[3]->isEnabled() && !tray[4]->isEnabled());
        QCOMPARE(window.trayIcon()->toolTip(), QStringLiteral("Morvil VPN - brak połączenia"));
        // "&Otwórz" brings the hidden window back.
        window.hide();
        tray[0]->trigger();
        QVERIFY(window.isVisible());
    }

    void theListAndTheTrayMenuFollowTheStore()
    {
        mStore->add(kAlfa); // 0000
        mStore->add(kBeta); // 0001
        mStore->add({ QStringLiteral("R&D biuro"), QStringLiteral("r.example.pl"), QStringLiteral("1194"),
                      QStringLiteral("ALFA/klucz") }); // 0002
        mStore->dir().mkdir(QStringLiteral("Praca")); // no conf, and a name that is no number
        mStore->dir().mkdir(QStringLiteral(".ukryty"));
        MainWindow window;
        const QStringList shown { QStringLiteral("Alfa"), QStringLiteral("Beta"), QStringLiteral("R&D biuro"),
                                  QStringLiteral("[Praca]") };
        QCOMPARE(listTexts(window), shown);
        QCOMPARE(shownTexts(window.connectMenu()), shown);

        // Moving the current entry is not choosing one; a click is.
        window.vpnList()->setCurrentRow(1);
        QCOMPARE(enabledButtons(window), QStringList { QStringLiteral("new") });
        clickRow(window, 1);
        QCOMPARE(enabledButtons(window),
                 QStringList({ QStringLiteral("connect"), QStringLiteral("new"), QStringLiteral("info"),
                               QStringLiteral("edit"), QStringLiteral("delete") }));

        // A tray entry selects its connection in the list first, then asks for the PIN (cancelled).
        auto* entry = qobject_cast<ConnectAction*>(window.connectMenu()->actions().at(0));
        QVERIFY(entry != nullptr);
        QSignalSpy selected(entry, &ConnectAction::vpnItemActiveSig);
        int selectedRowAtPin = -1;
        onNextModal<QInputDialog>([&window, &selectedRowAtPin](QInputDialog* dialog) {
            selectedRowAtPin = window.vpnList()->currentRow();
            dialog->reject();
        });
        entry->trigger();
        QCOMPARE(selectedRowAtPin, 0);
        QCOMPARE(selected.size(), 1);

        // A rebuild leaves nothing selected.
        window.readConfFiles();
        QCOMPARE(enabledButtons(window), QStringList { QStringLiteral("new") });
        QCOMPARE(shownTexts(window.connectMenu()), shown);
    }

    // What the child writes reaches the pane exactly as written, a paragraph per read, whatever a
    // read begins with: markup, entities and images are text. The child writes its second read
    // only once the first is shown.
    void theChildsOutputShowsAsWritten()
    {
        MainWindow window;
        auto* child = window.findChild<QProcess*>();
        auto* pane = window.findChild<QTextEdit*>(QStringLiteral("vpnOutput"));
        const QString first = QStringLiteral("<b>x</b> &amp; <a href=\"y\">z</a>");
        const QString second = QStringLiteral("<img src=\"%1\">").arg(mStore->file(QStringLiteral("i.png"), {}));
        child->start(QStringLiteral("/bin/sh"), { QStringLiteral("-c"),
                                                  QStringLiteral("printf %s \"$1\"; read go; printf %s \"$2\" >&2"),
                                                  QStringLiteral("sh"), first, second });
        QTRY_COMPARE(pane->toPlainText(), first);
        child->write("\n");
        QTRY_COMPARE(pane->toPlainText(), first + QLatin1Char('\n') + second);
        QTRY_COMPARE(child->state(), QProcess::NotRunning);
    }

    // The user's close, which comes from the window manager, only hides the window. The program's
    // own close goes through: the application's quit closes its windows in no fixed order and gives
    // up at the first that refuses, which would leave an embedded tray icon's window, and the
    // program, running.
    void closingHidesTheWindowWhileTheTrayIconIsThere()
    {
        MainWindow window;
        window.show();
        QVERIFY(window.trayIcon()->isVisible());
        QCloseEvent close;
        QSpontaneKeyEvent::setSpontaneous(&close);
        qApp->notify(&window, &close); // as the window system delivers it: sendEvent would make it ours
        QVERIFY(!close.isAccepted());
        QVERIFY(window.isHidden());
        window.show();
        QVERIFY(window.close());
        QVERIFY(window.isHidden());
    }

    // A connection made through the window with both certificates and the key from a token.
    void newConnectionFromTheToken()
    {
        mTokens.plug(configuredToken("ALFA"));
        QVERIFY(generateKey("ALFA", "klucz", 0).isEmpty());
        QVERIFY(writeFile("ALFA", "ca.pem", 0x21, "CA FROM TOKEN").isEmpty());
        QVERIFY(writeFile("ALFA", "pusty.pem", 0x21, {}).isEmpty());
        QVERIFY(writeFile("ALFA", "user.pem", kUserCertFile, everyOctet(3000)).isEmpty());
        MainWindow window;
        window.show();
        bool filled = false;
        onNextModal<VpnNewWindow>([&](VpnNewWindow* dialog) {
            edit(dialog, "morvilVpnName")->setText(QStringLiteral("Z tokenu"));
            edit(dialog, "remoteVpnServer")->setText(QStringLiteral("t.example.pl:1195"));
            // An empty certificate is refused when chosen and leaves the field as it was.
            mBoxes->expectError(QStringLiteral("Plik ALFA/pusty.pem jest pusty."));
            ChooserHand empty([](MorvilDialog& chooser) {
                doubleClick(chooser, chooserItem(chooser, QStringLiteral("ALFA/pusty.pem")));
            });
            button(dialog, "caCertImport")->click();
            QVERIFY(empty.acted());
            QCOMPARE(edit(dialog, "caCert")->text(), QString());
            const std::pair<const char*, const char*> fromToken[] = { { "caCertImport", "ALFA/ca.pem" },
                                                                      { "userCertImport", "ALFA/user.pem" },
                                                                      { "keyBrowse", "ALFA/klucz" } };
            for (const auto& [pressed, path] : fromToken) {
                ChooserHand hand(
                    [path](MorvilDialog& chooser) { doubleClick(chooser, chooserItem(chooser, QLatin1String(path))); });
                button(dialog, pressed)->click();
                QVERIFY(hand.acted());
            }
            QCOMPARE(edit(dialog, "caCert")->text(), QStringLiteral("ALFA/ca.pem"));
            QCOMPARE(edit(dialog, "userCert")->text(), QStringLiteral("ALFA/user.pem"));
            QCOMPARE(edit(dialog, "key")->text(), QStringLiteral("ALFA/klucz"));
            filled = true;
            button(dialog, "save")->click();
        });
        button(&window, "new")->click();
        QVERIFY(filled);
        QCOMPARE(listTexts(window), QStringList { QStringLiteral("Z tokenu") });
        QCOMPARE(mStore->read(QStringLiteral("0000/ca")), QByteArray("CA FROM TOKEN"));
        QCOMPARE(mStore->read(QStringLiteral("0000/user")), everyOctet(3000));
        QCOMPARE(mStore->read(QStringLiteral("0000/conf")),
                 vpn::newConf({ QStringLiteral("Z tokenu"), QStringLiteral("t.example.pl"), QStringLiteral("1195"),
                                QStringLiteral("ALFA/klucz") },
                              {}));
    }

    // A key whose reference "conf" would not carry as one line naming exactly it is refused when
    // chosen, whatever the token holds; the field keeps what it had.
    void keysTheConfCouldNotCarryAreRefused()
    {
        mTokens.plug(configuredToken("ALFA"));
        const QString injected = QStringLiteral("k\nremote 6.6.6.6 53");
        QVERIFY(generateKey("ALFA", injected.toUtf8(), 0).isEmpty());
        QVERIFY(generateKey("ALFA", "a cert b", 1).isEmpty());
        QVERIFY(generateKey("ALFA", "klucz", 2).isEmpty());
        MainWindow window;
        window.show();
        QStringList keysShown;
        onNextModal<VpnNewWindow>([&](VpnNewWindow* dialog) {
            for (const QString& key : { injected, QStringLiteral("a cert b"), QStringLiteral("klucz") }) {
                const QString reference = QStringLiteral("ALFA/") + key;
                if (key != QStringLiteral("klucz")) {
                    mBoxes->expectInformation(
                        QStringLiteral("Wybór klucza"),
                        QStringLiteral("Nie można użyć klucza %1.\n\nNazwa klucza nie może zaczynać się ani kończyć "
                                       "odstępem, zawierać znaków sterujących (takich jak koniec wiersza) ani "
                                       "osobnych wyrazów MorvilVpnName, remote, rport, ca, cert, key: plik "
                                       "konfiguracyjny połączenia odczytałby ten tekst inaczej.")
                            .arg(reference));
                }
                ChooserHand hand(
                    [&reference](MorvilDialog& chooser) { doubleClick(chooser, chooserItem(chooser, reference)); });
                button(dialog, "keyBrowse")->click();
                QVERIFY(hand.acted());
                keysShown << edit(dialog, "key")->text();
            }
            dialog->reject();
        });
        button(&window, "new")->click();
        QCOMPARE(keysShown, QStringList({ QString(), QString(), QStringLiteral("ALFA/klucz") }));
    }

    void editAndInformationThroughTheWindow()
    {
        mStore->add(kAlfa);
        MainWindow window;
        window.show();
        clickRow(window, 0);
        onNextModal<VpnEditWindow>([](VpnEditWindow* dialog) {
            edit(dialog, "morvilVpnName")->setText(QStringLiteral("Alfa 2"));
            button(dialog, "save")->click();
        });
        button(&window, "edit")->click();
        QCOMPARE(listTexts(window), QStringList { QStringLiteral("Alfa 2") });
        QCOMPARE(enabledButtons(window), QStringList { QStringLiteral("new") });

        // From the tray, information shows the hidden window first.
        clickRow(window, 0);
        window.hide();
        bool shownBehind = false;
        onNextModal<VpnInfoWindow>([&](VpnInfoWindow* dialog) {
            shownBehind = window.isVisible();
            button(dialog, "close")->click();
        });
        QMetaObject::invokeMethod(&window, "vpnInfoSlot");
        QVERIFY(shownBehind);
    }

    void deleteAsksAndSaysWhatItLeaves()
    {
        mStore->add(kAlfa);
        mStore->add(kBeta);
        QFile hidden(mStore->path(QStringLiteral("0001/.notatki")));
        QVERIFY(hidden.open(QIODevice::WriteOnly));
        hidden.close();
        MainWindow window;
        window.show();
        const QString question = QStringLiteral("Czy jesteś pewien, że chcesz usunąć to połączenie VPN?");

        clickRow(window, 0);
        mBoxes->expectQuestion(question, QMessageBox::No);
        button(&window, "delete")->click();
        QCOMPARE(listTexts(window).size(), 2);

        // The hidden file keeps the directory; the user is told, and the entry stays without files.
        clickRow(window, 1);
        mBoxes->expectQuestion(question, QMessageBox::Yes);
        mBoxes->expect(anyError());
        button(&window, "delete")->click();
        QCOMPARE(listTexts(window), QStringList({ QStringLiteral("Alfa"), QStringLiteral("[0001]") }));
        QVERIFY(QFile::exists(mStore->path(QStringLiteral("0001/.notatki"))));

        clickRow(window, 0);
        mBoxes->expectQuestion(question, QMessageBox::Yes);
        button(&window, "delete")->click();
        QCOMPARE(listTexts(window), QStringList { QStringLiteral("[0001]") });
        QVERIFY(!QFileInfo::exists(mStore->path(QStringLiteral("0000"))));
    }

    // The offscreen platform has no tray: the program says so and ends with 1, touching nothing.
    void withoutATrayTheProgramEnds()
    {
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", mStore->path(QString()).toLocal8Bit());
        BoxAnswer answer;
        answer.icon = QMessageBox::Critical;
        answer.title = QStringLiteral("Morvil VPN");
        answer.text = QStringLiteral("Nie można uruchomić tego programu w pasku zadań.");
        mBoxes->expect(answer);
        const int code = runVpnClient();
        qputenv("HOME", home);
        QCOMPARE(code, 1);
        QVERIFY(!QFileInfo::exists(mStore->path(QLatin1String(vpn::kStoreDirName))));
    }
};

MORVIL_QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
