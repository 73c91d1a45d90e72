// The main window over a store on an emulated token: the list's order, opening and closing with
// the actions enabled by state and tab, and an authority's life through the window's actions,
// checked by the stock openssl.
#include "authority_under_test.h"
#include "box_watcher.h"
#include "ca_new_dialog.h"
#include "ca_start.h"
#include "dialog_answers.h"
#include "file_dialog_answer.h"
#include "main_window.h"
#include "qt_test_main.h"
#include "stock_openssl.h"
#include "token_bus.h"
#include "token_crypto.h"

#include "dev_zr40nn.h"

#include <QAction>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

using morvil::ca::MainWindow;

using namespace morvil::test;

namespace {

const QString kPin = QStringLiteral("2468");

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

    QAction* action(const char* name) { return mWindow->findChild<QAction*>(QString::fromLatin1(name)); }
    void trigger(const char* name) { action(name)->trigger(); }
    template <typename W> W* widget(const QString& name) { return mWindow->findChild<W*>(name); }
    QStringList names() const
    {
        QStringList list;
        for (const CA& ca : mWindow->authorities()) {
            list << ca.name();
        }
        return list;
    }
    // The names of the actions enabled now, of those that depend on an open authority.
    QStringList enabledAuthorityActions()
    {
        QStringList enabled;
        for (const char* name : { "caUpdateAct", "caCloseAct", "certGetReqAct", "certSignReqAct", "certSignReqAllAct",
                                  "certViewAllAct", "certViewValidAct", "certSaveAsAct", "certRevokeAct", "crlNewAct",
                                  "crlSaveAsAct", "caImportAct", "caExportAct", "crlFtpEditAct", "crlFtpDistAct" }) {
            if (action(name)->isEnabled()) {
                enabled << QString::fromLatin1(name);
            }
        }
        return enabled;
    }
    bool welcomeShows() { return widget<QStackedWidget>("rightPanelStack")->currentIndex() == 0; }
    void expectBoxes()
    {
        const QStringList problems = mBoxes.finish();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
        mBoxes.clearSeen();
    }
    void openAuthority(const QString& name)
    {
        InputAnswers answers({ name, kPin });
        trigger("caOpenAct");
        QVERIFY(answers.allUsed());
        QVERIFY(mWindow->activeAuthority() != nullptr);
    }
    void selectRow(const char* tree, const QString& text, int column)
    {
        auto* view = widget<QTreeWidget>(QString::fromLatin1(tree));
        const QList<QTreeWidgetItem*> rows = view->findItems(text, Qt::MatchExactly, column);
        QCOMPARE(rows.size(), 1);
        view->setCurrentItem(rows[0]);
    }
    // Runs the action, which the tool fails: one error box, with the tool's own words after ours.
    void expectToolFailure(const char* name, const QString& ours)
    {
        mBoxes.expect({ QMessageBox::Ok, QMessageBox::Critical, QString::fromUtf8("Błąd"), std::nullopt, {} });
        trigger(name);
        const QString shown = mBoxes.seen().value(0).text;
        expectBoxes();
        QVERIFY2(shown.startsWith(ours) && shown.size() > ours.size(), qPrintable(shown));
    }
    QString crlBox() { return widget<QLabel>(QStringLiteral("Lista CRL"))->text(); }
    // Changes the token's user PIN through the library, as morvil_admin does.
    static bool changeUserPin(const QString& from, const QString& to)
    {
        int rc = DEV_ZR40NN_lib_init();
        if (rc >= 0 && (rc = DEV_ZR40NN_lib_find_devices()) >= 0 && (rc = DEV_ZR40NN_lib_actualize_devices()) >= 0) {
            DEV_ZR40NN_t* ut = DEV_ZR40NN_find_by_name("TOK1");
            rc = ut == nullptr ? -1 : DEV_ZR40NN_session_open(ut);
            if (rc >= 0) {
                rc = DEV_ZR40NN_cmd_change_user_pin(ut, from.toUtf8().constData(), 1, to.toUtf8().constData());
                DEV_ZR40NN_session_close(ut);
            }
        }
        DEV_ZR40NN_lib_finish();
        return rc >= 0;
    }
    int userPinTries() { return mTokens.token(mTokenId).snapshot().userPinTries; }
    QString storeFile(const QString& name) const { return mStore.filePath("C/" + name); }

    QTemporaryDir mStore;
    QTemporaryDir mOutside;
    PluggedTokens mTokens;
    int mTokenId = -1;
    BoxWatcher mBoxes;
    std::unique_ptr<MainWindow> mWindow;

private slots:
    void initTestCase()
    {
        tokenBus();
        emu::TokenConfig token = configuredToken("TOK1");
        token.userPin = kPin.toStdString();
        token.keys[0] = emu::generateKeyPair(2560, "ca").value();
        mTokenId = mTokens.plug(token);
        CA::setDefaultOpensslCmd(QStringLiteral(MORVIL_OPENSSL));
    }

    void emptyStoreOffersNothingToOpenOrDelete()
    {
        QVERIFY(QDir::setCurrent(mOutside.path()));
        MainWindow window;
        QCOMPARE(window.authorities().size(), 0);
        for (const char* name : { "caOpenAct", "caDeleteAct" }) {
            InputAnswers answers({ QString() });
            window.findChild<QAction*>(QString::fromLatin1(name))->trigger();
            QCOMPARE(answers.labels(), QStringList { QStringLiteral("Wybierz urząd") });
        }
        QVERIFY(window.activeAuthority() == nullptr);
        QCOMPARE(window.authorities().size(), 0);

        // The menus as the user finds them, "|" for a separator.
        QStringList menus;
        for (QAction* entry : window.menuBar()->actions()) {
            QStringList items;
            for (QAction* item : entry->menu()->actions()) {
                items << (item->isSeparator() ? QStringLiteral("|") : item->text());
            }
            menus << entry->text() + QStringLiteral(": ") + items.join(QLatin1Char(' '));
        }
        QCOMPARE(
            menus,
            (QStringList { QString::fromUtf8("Ogólne: Za&kończ"),
                           QString::fromUtf8("Urząd: &Nowy | &Otwórz &Aktualizuj Zamknij | Importuj Eksportuj | Usuń"),
                           QString::fromUtf8("Certyfikaty: Pobierz &zgłoszenia &Podpisz zgłoszenie Podpisz "
                                             "&wszystkie zgłoszenia | Pokaż wszystkie certyfikaty Pokaż ważne "
                                             "certyfikaty | Zapi&sz certyfikat jako | &Unieważnij certyfikat"),
                           QString::fromUtf8("Listy CRL: Nowa lista CRL | Zapisz CRL jako | Ustawienia rozsyłania "
                                             "CRL przez FTP Roześlij CRL przez FTP"),
                           QString::fromUtf8("Pomoc: Podręcznik | O programie") }));
        // The tool bars, each action with its icon.
        QStringList bars;
        for (QToolBar* bar : window.findChildren<QToolBar*>()) {
            QStringList items;
            for (QAction* item : bar->actions()) {
                QVERIFY2(item->isSeparator() || !item->icon().isNull(), qPrintable(item->text()));
                items << (item->isSeparator() ? QStringLiteral("|") : item->objectName());
            }
            bars << bar->windowTitle() + QStringLiteral(": ") + items.join(QLatin1Char(' '));
        }
        QCOMPARE(bars,
                 (QStringList { "Certyfikaty: certGetReqAct certSignReqAct | certViewAllAct certViewValidAct | "
                                "certSaveAsAct | certRevokeAct",
                                "CRL: crlNewAct | crlSaveAsAct crlFtpDistAct" }));
        QVERIFY(!window.windowIcon().isNull());
        QVERIFY(window.findChild<QAction*>(QStringLiteral("caNewAct"))->icon().isNull());
    }

    void newAuthorityGoesBeforeTheFirstGreaterName()
    {
        QVERIFY(QDir::setCurrent(mStore.path()));
        for (const QString& name : { QStringLiteral("a"), QStringLiteral("B") }) {
            AuthorityUnderTest ca;
            ca.setName(name);
            ca.setCaKeyName(QStringLiteral("TOK1/ca"));
            ca.createConfDir();
            QVERIFY(ca.writeConfiguration());
        }
        mWindow = std::make_unique<MainWindow>();
        QCOMPARE(names(), (QStringList { "a", "B" }));
        QCOMPARE(mWindow->windowTitle(), QStringLiteral("Morvil CA"));
        QCOMPARE(enabledAuthorityActions(), QStringList());

        ModalAnswer<CaNewDialog> form([](CaNewDialog* dialog) {
            dialog->findChild<QLineEdit*>("name")->setText("C");
            dialog->findChild<QLineEdit*>("caKeyName")->setText("TOK1/ca");
            dialog->findChild<QLineEdit*>("caCommonName")->setText(QString::fromUtf8("Urząd C"));
            dialog->findChild<QLineEdit*>("caOrganizationName")->setText("Morvil");
            dialog->accept();
        });
        InputAnswers pin({ kPin });
        mBoxes.expectInformation(QStringLiteral("Informacja"),
                                 QString::fromUtf8("Urząd utworzony poprawnie i gotowy do pracy."));
        trigger("caNewAct");
        expectBoxes();
        QVERIFY(form.shown());
        QCOMPARE(names(), (QStringList { "C", "a", "B" }));
        QVERIFY(mWindow->activeAuthority() == nullptr);
        QVERIFY(stockOpenssl({ "verify", "-CAfile", storeFile("C.cert"), storeFile("C.cert") }).succeeded());
    }

    void openEnablesByTab()
    {
        openAuthority("C");
        expectBoxes();
        QVERIFY(!welcomeShows());
        QCOMPARE(enabledAuthorityActions(),
                 (QStringList { "caUpdateAct", "caCloseAct", "certGetReqAct", "certViewAllAct", "certViewValidAct",
                                "certSaveAsAct", "certRevokeAct", "crlNewAct", "crlSaveAsAct" }));
        auto* tabs = widget<QTabWidget>("leftPanelTab");
        tabs->setCurrentIndex(1);
        QCOMPARE(enabledAuthorityActions(),
                 (QStringList { "caUpdateAct", "caCloseAct", "certGetReqAct", "certSignReqAct", "certSignReqAllAct",
                                "certViewAllAct", "certViewValidAct", "crlNewAct", "crlSaveAsAct" }));
        tabs->setCurrentIndex(0);
        QVERIFY(action("certSaveAsAct")->isEnabled());
        QVERIFY(!action("certSignReqAct")->isEnabled());
        QCOMPARE(widget<QTreeWidget>("certTree")->topLevelItemCount(), 1);
        QCOMPARE(widget<QLabel>(QStringLiteral("Polityka urzędu"))->text(),
                 QString::fromUtf8("<table><tr><td>Kod kraju: </td><td>opcjonalne</td></tr>"
                                   "<tr><td>Region: </td><td>opcjonalne</td></tr>"
                                   "<tr><td>Miejscowość: </td><td>opcjonalne</td></tr>"
                                   "<tr><td>Organizacja: </td><td>opcjonalne</td></tr>"
                                   "<tr><td>Dział: </td><td>opcjonalne</td></tr>"
                                   "<tr><td>Nazwa pospolita: </td><td>wymagane</td></tr>"
                                   "<tr><td>E-mail: </td><td>opcjonalne</td></tr></table>"));
        QVERIFY(widget<QLabel>(QString::fromUtf8("Informacje ogólne"))
                    ->text()
                    .startsWith(QString::fromUtf8("Klucz urzędu: <ol><li>Nazwa tokenu: TOK1</li>")));
    }

    void lifeThroughTheActions()
    {
        const QString request = mOutside.filePath("ewa.req");
        QVERIFY(makeStockRequest(request, "/C=PL/O=Morvil/CN=Ewa"));
        // A name that would read as markup: the operator who reviews it sees it whole.
        const QString markup = QStringLiteral("<title>evil.example</title>bank.example");
        QVERIFY(
            makeStockRequest(mOutside.filePath("bank.req"), "/C=PL/O=Bank/CN=" + QString(markup).replace("/", "\\/")));
        // No common name, which the authority's policy requires: the tool refuses to sign it.
        QVERIFY(makeStockRequest(mOutside.filePath("bez.req"), "/C=PL/O=Bez"));
        {
            FileDialogAnswer answer({ request, mOutside.filePath("bank.req"), mOutside.filePath("bez.req") });
            trigger("certGetReqAct");
            QCOMPARE(answer.caption, QStringLiteral("Wybierz zgłoszenia"));
        }
        auto* requests = widget<QTreeWidget>("reqTree");
        QCOMPARE(requests->topLevelItemCount(), 3);
        widget<QTabWidget>("leftPanelTab")->setCurrentIndex(1);
        selectRow("reqTree", markup + ",  Bank", 0);
        emit requests->itemClicked(requests->currentItem(), 0);
        const QStringList pane = requests->parentWidget()->findChild<QTextEdit*>()->toPlainText().split('\n');
        QCOMPARE(pane.value(6), "        Nazwa: " + markup);
        QCOMPARE(pane.value(4), QStringLiteral("        Organizacja: Bank"));
        // A signing the tool refuses is reported with the tool's words, and every request stays
        // pending, none issued.
        auto* certTree = widget<QTreeWidget>("certTree");
        selectRow("reqTree", ",  Bez", 0);
        expectToolFailure("certSignReqAct", QString::fromUtf8("Nie można podpisać tego zgłoszenia.\n\n"));
        expectToolFailure("certSignReqAllAct", QString::fromUtf8("Nie można podpisać zgłoszenia.\n\n"));
        QCOMPARE(requests->topLevelItemCount(), 3);
        QCOMPARE(QDir(storeFile("req_new")).entryList(QDir::Files).size(), 3);
        QCOMPARE(certTree->topLevelItemCount(), 1);
        QVERIFY(!QFileInfo::exists(storeFile("certs_new/01.pem")));
        QVERIFY(QFile::remove(storeFile("req_new/bez.req")));
        selectRow("reqTree", "Ewa,  Morvil", 0);
        trigger("certSignReqAct");
        QCOMPARE(requests->topLevelItemCount(), 1);
        // The refilled tree is sorted by number as before, the newest certificate first.
        QCOMPARE(certTree->topLevelItemCount(), 2);
        QCOMPARE(certTree->topLevelItem(0)->text(0), QStringLiteral("     1"));
        QVERIFY(certTree->header()->isSortIndicatorShown());
        QVERIFY(stockOpenssl({ "verify", "-CAfile", storeFile("C.cert"), storeFile("certs_new/01.pem") }).succeeded());

        widget<QTabWidget>("leftPanelTab")->setCurrentIndex(0);
        trigger("crlNewAct");
        QVERIFY(QFileInfo::exists(storeFile("crl/01.crl")));
        QVERIFY(!crlBox().contains("nieaktualna"));
        // A revocation the tool cannot do (the certificate's file is gone) is reported, and
        // neither the certificate nor the list changes.
        const QString issued = storeFile("certs_new/01.pem");
        QVERIFY(QFile::rename(issued, issued + ".away"));
        selectRow("certTree", "Ewa", 1);
        expectToolFailure("certRevokeAct", QString::fromUtf8("Nie można unieważnić certyfikatu.\n\n"));
        QVERIFY(QFile::rename(issued + ".away", issued));
        QVERIFY(!crlBox().contains("nieaktualna"));
        selectRow("certTree", "Ewa", 1);
        QCOMPARE(static_cast<Certificate*>(certTree->currentItem())->state(), QStringLiteral("V"));
        QVERIFY(fileContents(storeFile("db_cert")).startsWith("V\t"));
        trigger("certRevokeAct");
        QVERIFY(crlBox().contains("Lista CRL jest nieaktualna!"));
        // A click on the revoked certificate shows its revocation first.
        selectRow("certTree", "Ewa", 1);
        auto* certificates = widget<QTreeWidget>("certTree");
        emit certificates->itemClicked(certificates->currentItem(), 1);
        QCOMPARE(certificates->parentWidget()->findChild<QTextEdit*>()->toPlainText().section('\n', 0, 0),
                 QString::fromUtf8("Data unieważnienia:"));
        // The valid-only view leaves the revoked certificate out, the full view brings it back.
        trigger("certViewValidAct");
        QCOMPARE(certificates->findItems(QStringLiteral("Ewa"), Qt::MatchExactly, 1).size(), 0);
        QCOMPARE(certificates->topLevelItemCount(), 1);
        trigger("certViewAllAct");
        QCOMPARE(certificates->findItems(QStringLiteral("Ewa"), Qt::MatchExactly, 1).size(), 1);
        trigger("crlNewAct");
        QVERIFY(!crlBox().contains("nieaktualna"));
        const ToolRun list = stockOpenssl(
            { "crl", "-in", storeFile("crl/02.crl"), "-noout", "-text", "-CAfile", storeFile("C.cert") });
        QVERIFY2(list.succeeded() && list.out.contains("Serial Number: 01"), qPrintable(list.err));
        {
            FileDialogAnswer answer({ mOutside.filePath("c.crl") });
            trigger("crlSaveAsAct");
        }
        QVERIFY(fileContents(mOutside.filePath("c.crl")).startsWith("-----BEGIN X509 CRL-----"));
        expectBoxes();
    }

    // The user PIN changed on the token while the authority is open: the next signing spends one
    // try on the kept PIN, says so with the token's counts and forgets it, and the one after asks
    // for the PIN again.
    void aPinChangedWhileOpenCostsOneTryAndIsAskedForAgain()
    {
        const QString changed = QStringLiteral("97531");
        QVERIFY(changeUserPin(kPin, changed));
        widget<QTabWidget>("leftPanelTab")->setCurrentIndex(1);
        auto* requests = widget<QTreeWidget>("reqTree");
        QCOMPARE(requests->topLevelItemCount(), 1);
        requests->setCurrentItem(requests->topLevelItem(0));
        mBoxes.expect({ QMessageBox::Ok,
                        QMessageBox::Critical,
                        QString::fromUtf8("Błąd"),
                        QString::fromUtf8("Token TOK1 nie przyjął PIN-u podanego przy otwarciu urzędu: być może PIN "
                                          "został zmieniony. Zapamiętany PIN został zapomniany, przy następnej "
                                          "operacji trzeba będzie podać go ponownie.<br>Liczba błędnych "
                                          "wprowadzeń numeru PIN: <b>1</b> (limit 3)."),
                        {} });
        {
            PinDialogAnswer notAsked(std::nullopt);
            trigger("certSignReqAct");
            QVERIFY(!notAsked.shown());
        }
        expectBoxes();
        QCOMPARE(userPinTries(), 1);
        QCOMPARE(requests->topLevelItemCount(), 1);
        QVERIFY(!QFileInfo::exists(storeFile("certs_new/02.pem")));

        {
            InputAnswers pin({ changed });
            trigger("certSignReqAllAct");
            QCOMPARE(pin.labels(), QStringList { QStringLiteral("PIN do tokenu TOK1:") });
        }
        expectBoxes();
        QCOMPARE(userPinTries(), 0);
        QCOMPARE(requests->topLevelItemCount(), 0);
        QVERIFY(stockOpenssl({ "verify", "-CAfile", storeFile("C.cert"), storeFile("certs_new/02.pem") }).succeeded());
        QVERIFY(changeUserPin(changed, kPin));
        widget<QTabWidget>("leftPanelTab")->setCurrentIndex(0);
    }

    void closeReturnsToTheWelcomePage()
    {
        trigger("caCloseAct");
        QVERIFY(welcomeShows());
        QVERIFY(mWindow->activeAuthority() == nullptr);
        QCOMPARE(widget<QTreeWidget>("certTree")->topLevelItemCount(), 0);
        widget<QTabWidget>("leftPanelTab")->setCurrentIndex(1);
        QCOMPARE(enabledAuthorityActions(), QStringList());
        widget<QTabWidget>("leftPanelTab")->setCurrentIndex(0);
    }

    void deletingAsksAndKeepsOnNo()
    {
        openAuthority("C");
        {
            InputAnswers choice({ "C" });
            mBoxes.expectQuestion(QString::fromUtf8("Czy jesteś pewien, że chcesz usunąć ten urząd?"), QMessageBox::No);
            trigger("caDeleteAct");
        }
        expectBoxes();
        QCOMPARE(names(), (QStringList { "C", "a", "B" }));
        QVERIFY(mWindow->activeAuthority() == nullptr);
        QVERIFY(welcomeShows());
        QVERIFY(QFileInfo::exists(storeFile("C.cert")));

        // Deleting another authority keeps the open one open.
        openAuthority("C");
        {
            InputAnswers choice({ "a" });
            mBoxes.expectQuestion(QString::fromUtf8("Czy jesteś pewien, że chcesz usunąć ten urząd?"),
                                  QMessageBox::Yes);
            trigger("caDeleteAct");
        }
        expectBoxes();
        QCOMPARE(names(), (QStringList { "C", "B" }));
        QVERIFY(!QFileInfo::exists(mStore.filePath("a")));
        QCOMPARE(mWindow->activeAuthority(), &mWindow->authorities()[0]);
        QCOMPARE(widget<QTreeWidget>("certTree")->topLevelItemCount(), 3);

        // Deleting one before the open authority keeps that one open, where it moved to. B, made
        // on the same key, takes C's certificate as its own.
        QVERIFY(QFile::remove(mStore.filePath("B/B.cert")));
        QVERIFY(QFile::copy(storeFile("C.cert"), mStore.filePath("B/B.cert")));
        openAuthority("B");
        {
            InputAnswers choice({ "C" });
            mBoxes.expectQuestion(QString::fromUtf8("Czy jesteś pewien, że chcesz usunąć ten urząd?"),
                                  QMessageBox::Yes);
            trigger("caDeleteAct");
        }
        expectBoxes();
        QCOMPARE(names(), QStringList { "B" });
        QCOMPARE(mWindow->activeAuthority(), &mWindow->authorities()[0]);
        QCOMPARE(widget<QTreeWidget>("certTree")->topLevelItemCount(), 1);
        trigger("caCloseAct");
        mWindow.reset();
    }

    // The program works in its store, made in the home directory when missing. When it cannot be
    // made or entered, the program says so and ends with 1 rather than take the home directory's
    // folders for authorities.
    void theProgramRunsInItsStoreOrEnds()
    {
        const QByteArray oldHome = qgetenv("HOME");
        const QString before = QDir::currentPath();
        QTemporaryDir home;
        QVERIFY(QDir(home.path()).mkdir(QStringLiteral("Obcy")));
        qputenv("HOME", home.path().toLocal8Bit());
        // Closes the program's window once it shows.
        QString workedIn;
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (qobject_cast<MainWindow*>(window) != nullptr && window->isVisible()) {
                    workedIn = QDir::currentPath();
                    window->close();
                }
            }
        });
        closer.start(20);
        const int made = runCa();
        QCOMPARE(made, 0);
        QCOMPARE(workedIn, home.filePath(QStringLiteral(".morvil_ca")));

        QVERIFY(QDir(home.filePath(QStringLiteral(".morvil_ca"))).removeRecursively());
        QFile blocker(home.filePath(QStringLiteral(".morvil_ca")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        workedIn.clear();
        mBoxes.expect({ QMessageBox::Ok,
                        QMessageBox::Critical,
                        QString::fromUtf8("Błąd"),
                        QString::fromUtf8("Nie można utworzyć ani otworzyć katalogu urzędów %1.")
                            .arg(home.filePath(QStringLiteral(".morvil_ca"))),
                        {} });
        const int blocked = runCa();
        qputenv("HOME", oldHome);
        QDir::setCurrent(before);
        expectBoxes();
        QCOMPARE(blocked, 1);
        QCOMPARE(workedIn, QString());
    }
};

MORVIL_QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
