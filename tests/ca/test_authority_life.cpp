// The whole life of an authority through its operations, on an emulated token with the real
// morvil_openssl, and every result checked by the stock openssl: the self-signed certificate,
// requests imported (good, badly signed, not requests, name clashes), signed one and all, revoked,
// the revocation lists with their archive copies, the exports, removal.
#include "authority_under_test.h"
#include "box_watcher.h"
#include "dialog_answers.h"
#include "file_dialog_answer.h"
#include "new_authority.h"
#include "qt_test_main.h"
#include "stock_openssl.h"
#include "token_bus.h"
#include "token_crypto.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTreeWidget>

using namespace morvil::test;

namespace {

const QString kPin = QStringLiteral("5719");
const QString kName = QStringLiteral("Glowny");
const QString kCreated = QStringLiteral("Urząd utworzony poprawnie i gotowy do pracy.");

} // namespace

class AuthorityLifeTest : public QObject
{
    Q_OBJECT

    QString dir(const QString& name = QString()) const
    {
        return mData.filePath(kName) + (name.isEmpty() ? QString() : QLatin1Char('/') + name);
    }
    QString incoming(const QString& name) const { return mIncoming.filePath(name); }
    QStringList pending() const { return QDir(dir("req_new")).entryList(QDir::Files | QDir::Hidden); }

    // Expects one critical box whose text starts with start.
    void expectErrorStarting(const QString& start)
    {
        mExpectedErrors << start;
        mBoxes.expect({ QMessageBox::Ok, QMessageBox::Critical, QString::fromUtf8("Błąd"), {}, {} });
    }
    void finishBoxes()
    {
        const QStringList problems = mBoxes.finish();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
        QStringList errors;
        for (const BoxRecord& box : mBoxes.seen()) {
            if (box.icon == QMessageBox::Critical) {
                errors << box.text;
            }
        }
        QCOMPARE(errors.size(), mExpectedErrors.size());
        for (int i = 0; i < errors.size(); ++i) {
            QVERIFY2(errors[i].startsWith(mExpectedErrors[i]), qPrintable(errors[i]));
        }
        mExpectedErrors.clear();
        mBoxes.clearSeen();
    }
    void select(QTreeWidget& tree, const QString& column1)
    {
        const QList<QTreeWidgetItem*> rows = tree.findItems(column1, Qt::MatchExactly, 1);
        QStringList shown;
        for (int i = 0; i < tree.topLevelItemCount(); ++i) {
            shown << tree.topLevelItem(i)->text(1);
        }
        QVERIFY2(rows.size() == 1, qPrintable(shown.join('|')));
        tree.setCurrentItem(rows[0]);
    }
    void verifyByStockOpenssl(const QString& certificate)
    {
        const ToolRun run = stockOpenssl({ "verify", "-CAfile", dir(kName + ".cert"), certificate });
        QVERIFY2(run.succeeded() && run.out.contains(": OK"), qPrintable(run.out + run.err));
    }

    QTemporaryDir mData;
    QTemporaryDir mIncoming;
    PluggedTokens mTokens;
    emu::KeySlot mKey;
    BoxWatcher mBoxes;
    QStringList mExpectedErrors;
    AuthorityUnderTest mCa;
    QTreeWidget mCertTree;
    QTextEdit mCertPane;
    QTreeWidget mReqTree;
    QTextEdit mReqPane;

private slots:
    void initTestCase()
    {
        tokenBus();
        emu::TokenConfig token = configuredToken("TOK1");
        token.userPin = kPin.toStdString();
        mKey = emu::generateKeyPair(2560, "ca").value();
        token.keys[1] = mKey;
        mTokens.plug(token);
        QVERIFY(QDir::setCurrent(mData.path()));
        CA::setDefaultOpensslCmd(QStringLiteral(MORVIL_OPENSSL));
        mCa.setTool(QStringLiteral(MORVIL_OPENSSL));
        mCertTree.setColumnCount(3);
    }

    void failedCreationLeavesNoDirectory()
    {
        AuthorityUnderTest ca;
        NewAuthority values;
        values.name = QStringLiteral("Zly");
        values.caKeyName = QStringLiteral("TOK1/nie-ma");
        values.caSubject.setCountryName(QStringLiteral("PL"));
        values.caSubject.setCommonName(QStringLiteral("Zły"));
        expectErrorStarting(QString::fromUtf8("Generowanie autocertyfikatu urzędu zakończyło się niepowodzeniem.\n\n"));
        PinDialogAnswer pin(kPin);
        QVERIFY(!ca.create(values, nullptr));
        QVERIFY(pin.shown());
        finishBoxes();
        QVERIFY(!QFileInfo::exists(mData.filePath("Zly")));

        // A cancelled PIN writes nothing at all.
        PinDialogAnswer cancel(std::nullopt);
        QVERIFY(!ca.create(values, nullptr));
        QVERIFY(!QFileInfo::exists(mData.filePath("Zly")));
    }

    void createdCertificateIsSelfSignedByTheTokenKey()
    {
        NewAuthority values;
        values.name = kName;
        values.caKeyName = QStringLiteral("TOK1/ca");
        values.caCertDays = 1000;
        values.caSubject.setCountryName(QStringLiteral("PL"));
        values.caSubject.setOrganizationName(QStringLiteral("Morvil"));
        // "/" and "+" stay inside the common name: no field is added or lost.
        values.caSubject.setCommonName(QStringLiteral("Urząd/OU Łódź+1"));
        values.policyOrganizationName = QStringLiteral("match");
        mBoxes.expectInformation(QStringLiteral("Informacja"), kCreated);
        {
            PinDialogAnswer pin(kPin);
            QVERIFY2(mCa.create(values, nullptr), qPrintable(mBoxes.seenTexts().join("\n")));
        }
        finishBoxes();
        QCOMPARE(mCa.userPin(), kPin);
        QCOMPARE(mCa.configuration().mMorvilName, QStringLiteral("TOK1"));

        verifyByStockOpenssl(dir(kName + ".cert"));
        const ToolRun subject = stockOpenssl({ "x509", "-in", dir(kName + ".cert"), "-noout", "-subject", "-serial",
                                               "-nameopt", "multiline,utf8,-esc_msb" });
        QVERIFY(subject.succeeded());
        const QStringList lines = subject.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[1].simplified(), QStringLiteral("countryName = PL"));
        QCOMPARE(lines[2].simplified(), QStringLiteral("organizationName = Morvil"));
        QCOMPARE(lines[3].simplified(), QStringLiteral("commonName = Urząd/OU Łódź+1"));
        QCOMPARE(lines[4], QStringLiteral("serial=00"));

        // The certified key is the token's: the uncompressed point ends the public key's DER.
        QVERIFY(stockOpenssl({ "x509", "-in", dir(kName + ".cert"), "-noout", "-pubkey", "-out", incoming("ca.pub") })
                    .succeeded());
        QVERIFY(
            stockOpenssl({ "pkey", "-pubin", "-in", incoming("ca.pub"), "-outform", "DER", "-out", incoming("ca.der") })
                .succeeded());
        QByteArray point(reinterpret_cast<const char*>(mKey.pubX.data()), qsizetype(mKey.pubX.size()));
        point.append(reinterpret_cast<const char*>(mKey.pubY.data()), qsizetype(mKey.pubY.size()));
        QVERIFY(fileContents(incoming("ca.der")).endsWith(point));
    }

    void failedOpenClosesTheAuthorityAgain()
    {
        AuthorityUnderTest ca(CA::findAll(QDir::currentPath()).value(0));
        QCOMPARE(ca.name(), kName);
        QTreeWidget tree;
        ca.setCertificateTreeWidget(&tree);
        ca.setRequestTreeWidget(&tree);
        // The tool fails: the index cannot be brought up to date.
        ca.setTool(QStringLiteral("/bin/false"));
        expectErrorStarting(QString::fromUtf8("Nie można zaktualizować bazy danych certyfikatów.\n\n"));
        {
            PinDialogAnswer pin(kPin);
            QVERIFY(!ca.open(nullptr));
        }
        finishBoxes();
        QVERIFY(!ca.hasViews());
        QVERIFY(!ca.pinKept());
    }

    void openReadsThePendingRequests()
    {
        AuthorityUnderTest found(CA::findAll(QDir::currentPath()).value(0));
        mCa = found;
        QVERIFY(makeStockRequest(dir("req_new/waiting.req"), "/C=PL/O=Morvil/CN=Czekający"));
        mCa.setCertificateTreeWidget(&mCertTree);
        mCa.setCertificateInfoWidget(&mCertPane);
        mCa.setRequestTreeWidget(&mReqTree);
        mCa.setRequestInfoWidget(&mReqPane);
        {
            PinDialogAnswer pin(kPin);
            QVERIFY(mCa.open(nullptr));
            QVERIFY(pin.shown());
        }
        QVERIFY(mCa.update(nullptr));
        finishBoxes();
        QCOMPARE(mReqTree.topLevelItemCount(), 1);
        QCOMPARE(mReqTree.topLevelItem(0)->text(0), QString::fromUtf8("Czekający,  Morvil"));
        QCOMPARE(mCertTree.topLevelItemCount(), 1);
    }

    void importKeepsGoodRequestsAndRefusesTheRest()
    {
        QVERIFY(makeStockRequest(incoming("anna.req"), "/C=PL/O=Morvil/CN=Anna Nowak"));
        QVERIFY(makeStockRequest(incoming("bogdan.req"), "/C=PL/O=Morvil/CN=Bogdan"));
        QVERIFY(makeBadSignatureRequest(incoming("bogdan.req"), incoming("forged.req")));
        QFile garbage(incoming("garbage.req"));
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write("not a request\n");
        garbage.close();
        QVERIFY(makeStockRequest(incoming("waiting.req"), "/C=PL/O=Morvil/CN=Podmieniony"));
        const QByteArray waiting = fileContents(dir("req_new/waiting.req"));
        // A good request under a hidden name: the list would never show it.
        QVERIFY(makeStockRequest(incoming(".ukryte.req"), "/C=PL/O=Morvil/CN=Ukryty"));
        const QString hidden = QString::fromUtf8(
            "Zgłoszenie .ukryte.req nie zostanie dodane: nazwa pliku zaczyna się od kropki, a takich plików lista "
            "zgłoszeń nie pokazuje. Zmień nazwę pliku.");

        expectErrorStarting(QString::fromUtf8("Zgłoszenie forged.req ma błędny format lub niepoprawny podpis"));
        expectErrorStarting(QString::fromUtf8("Zgłoszenie garbage.req ma błędny format lub niepoprawny podpis"));
        expectErrorStarting(QString::fromUtf8("Zgłoszenie o nazwie waiting.req czeka już na podpisanie."));
        expectErrorStarting(QString::fromUtf8("Nie można otworzyć pliku missing.req."));
        expectErrorStarting(hidden);
        QVERIFY(mCa.importRequests({ incoming("anna.req"), incoming("forged.req"), incoming("garbage.req"),
                                     incoming("waiting.req"), incoming("missing.req"), incoming(".ukryte.req"),
                                     incoming("bogdan.req") },
                                   nullptr));
        finishBoxes();
        QCOMPARE(pending(), (QStringList { "anna.req", "bogdan.req", "waiting.req" }));
        // Asked again, the same answer: nothing of it was left behind to block it.
        expectErrorStarting(hidden);
        QVERIFY(mCa.importRequests({ incoming(".ukryte.req") }, nullptr));
        finishBoxes();
        QCOMPARE(pending(), (QStringList { "anna.req", "bogdan.req", "waiting.req" }));
        QCOMPARE(fileContents(dir("req_new/waiting.req")), waiting);
        QVERIFY(QFileInfo::exists(incoming("forged.req")));
        QCOMPARE(mReqTree.topLevelItemCount(), 3);
    }

    void readingDeletesOnlyWhatTheToolFoundBad()
    {
        QVERIFY(QFile::copy(incoming("forged.req"), dir("req_new/forged.req")));
        // A tool that cannot run decides nothing: the requests stay.
        mCa.setTool(QStringLiteral("/nonexistent/morvil_openssl"));
        for (int i = 0; i < 4; ++i) {
            expectErrorStarting(QString::fromUtf8("Nie można sprawdzić zgłoszenia "));
        }
        QVERIFY(mCa.readNewRequests(nullptr));
        finishBoxes();
        QCOMPARE(pending().size(), 4);
        QCOMPARE(mReqTree.topLevelItemCount(), 0);

        mCa.setTool(QStringLiteral(MORVIL_OPENSSL));
        expectErrorStarting(QString::fromUtf8(
            "Zgłoszenie forged.req ma błędny format lub niepoprawny podpis i zostanie usunięte z bazy urzędu.\n\n"));
        QVERIFY(mCa.readNewRequests(nullptr));
        finishBoxes();
        QCOMPARE(pending(), (QStringList { "anna.req", "bogdan.req", "waiting.req" }));
        QCOMPARE(mReqTree.topLevelItemCount(), 3);
    }

    void signOneThenAll()
    {
        mReqTree.setCurrentItem(nullptr);
        mBoxes.expectInformation(
            QStringLiteral("Informacja"),
            QString::fromUtf8("Zaznacz zgłoszenie, które ma być zmienione w certyfikat i podpisane."));
        QVERIFY(!mCa.signReq(nullptr));
        finishBoxes();

        mReqTree.setCurrentItem(mReqTree.findItems(QStringLiteral("Anna Nowak,  Morvil"), Qt::MatchExactly)[0]);
        QVERIFY(mCa.signReq(nullptr));
        finishBoxes();
        QCOMPARE(pending(), (QStringList { "bogdan.req", "waiting.req" }));
        QCOMPARE(mReqTree.topLevelItemCount(), 2);
        QCOMPARE(mCertTree.topLevelItemCount(), 2);
        verifyByStockOpenssl(dir("certs_new/01.pem"));

        QVERIFY(mCa.signReqAll(nullptr));
        finishBoxes();
        QVERIFY(pending().isEmpty());
        QCOMPARE(mReqTree.topLevelItemCount(), 0);
        QCOMPARE(mCertTree.topLevelItemCount(), 4);
        verifyByStockOpenssl(dir("certs_new/02.pem"));
        verifyByStockOpenssl(dir("certs_new/03.pem"));
        QCOMPARE(fileContents(dir("serial_cert")).trimmed(), QByteArray("04"));
    }

    void revokeAndIssueLists()
    {
        mCertTree.setCurrentItem(nullptr);
        mBoxes.expectInformation(QStringLiteral("Informacja"),
                                 QString::fromUtf8("Zaznacz certyfikat, który ma być unieważniony."));
        QVERIFY(!mCa.certRevoke(nullptr));
        select(mCertTree, QStringLiteral("Urząd/OU Łódź+1"));
        mBoxes.expectInformation(QStringLiteral("Informacja"),
                                 QString::fromUtf8("Ten certyfikat nie może być unieważniony."));
        QVERIFY(!mCa.certRevoke(nullptr));
        finishBoxes();

        QVERIFY(mCa.crlNew(nullptr));
        QVERIFY(
            stockOpenssl({ "crl", "-in", dir("crl/01.crl"), "-noout", "-CAfile", dir(kName + ".cert") }).succeeded());
        QCOMPARE(fileContents(dir("crl/01.crl")), fileContents(dir(kName + ".crl")));
        QVERIFY(mCa.crlInfo().startsWith("Nazwa pliku: "));

        select(mCertTree, QStringLiteral("Anna Nowak"));
        QVERIFY(mCa.certRevoke(nullptr));
        select(mCertTree, QStringLiteral("Bogdan"));
        QVERIFY(mCa.certRevoke(nullptr));
        finishBoxes();
        const QByteArray stale = fileContents(dir(kName + ".crl"));
        QVERIFY(stale.startsWith("#IsNotActual\n-----BEGIN X509 CRL-----"));
        QCOMPARE(stale.count("#IsNotActual"), 1);
        select(mCertTree, QStringLiteral("Bogdan"));
        QCOMPARE(static_cast<Certificate*>(mCertTree.currentItem())->state(), QStringLiteral("R"));
        QVERIFY(mCa.crlInfo().contains("Lista CRL jest nieaktualna!"));

        QVERIFY(mCa.crlNew(nullptr));
        finishBoxes();
        const ToolRun list
            = stockOpenssl({ "crl", "-in", dir("crl/02.crl"), "-noout", "-text", "-CAfile", dir(kName + ".cert") });
        QVERIFY2(list.succeeded() && list.err.contains("verify OK"), qPrintable(list.err));
        QVERIFY(list.out.contains("Serial Number: 01"));
        QVERIFY(list.out.contains("Serial Number: 02"));
        QVERIFY(!list.out.contains("Serial Number: 03"));
        QVERIFY(!fileContents(dir(kName + ".crl")).contains("#IsNotActual"));
        QVERIFY(!mCa.crlInfo().contains("nieaktualna"));
    }

    void exportsStartAtThePemHeader()
    {
        mCertTree.setCurrentItem(nullptr);
        mBoxes.expectInformation(QStringLiteral("Informacja"),
                                 QString::fromUtf8("Zaznacz certyfikat, który ma być zapisany."));
        QVERIFY(!mCa.certSaveAs(nullptr));
        finishBoxes();

        select(mCertTree, QStringLiteral("Czekający"));
        QVERIFY(fileContents(dir("certs_new/03.pem")).startsWith("Certificate:"));
        {
            FileDialogAnswer answer({ incoming("exported.cert") });
            QVERIFY(mCa.certSaveAs(nullptr));
            QCOMPARE(answer.caption, QStringLiteral("Zapisz certyfikat jako"));
        }
        QVERIFY(fileContents(incoming("exported.cert")).startsWith("-----BEGIN CERTIFICATE-----"));
        verifyByStockOpenssl(incoming("exported.cert"));

        select(mCertTree, QStringLiteral("Czekający"));
        QVERIFY(mCa.certRevoke(nullptr)); // the list is stale again
        {
            FileDialogAnswer answer({ incoming("exported.crl") });
            QVERIFY(mCa.crlSaveAs(nullptr));
        }
        finishBoxes();
        QVERIFY2(fileContents(incoming("exported.crl")).startsWith("-----BEGIN X509 CRL-----"),
                 fileContents(incoming("exported.crl")).left(100).constData());
        QVERIFY(stockOpenssl({ "crl", "-in", incoming("exported.crl"), "-noout", "-CAfile", dir(kName + ".cert") })
                    .succeeded());
    }

    // A token whose user PIN is empty serves an authority as any other: the empty PIN is asked
    // for, checked, kept, and handed to the tool for every run that signs.
    void anEmptyUserPinServesEveryOperation()
    {
        emu::TokenConfig token = configuredToken("PUSTY");
        token.userPin = "";
        token.keys[0] = emu::generateKeyPair(2560, "ca").value();
        const int id = mTokens.plug(token);
        NewAuthority values;
        values.name = QStringLiteral("Pusty");
        values.caKeyName = QStringLiteral("PUSTY/ca");
        values.caSubject.setCountryName(QStringLiteral("PL"));
        values.caSubject.setCommonName(QStringLiteral("Urząd bez PIN-u"));
        const QString store = mData.filePath(QStringLiteral("Pusty")) + QLatin1Char('/');
        // The trees outlive the authority: its rows go back from them when it goes.
        QTreeWidget certificates;
        QTreeWidget requests;
        certificates.setColumnCount(3);
        AuthorityUnderTest ca;
        mBoxes.expectInformation(QStringLiteral("Informacja"), kCreated);
        {
            PinDialogAnswer pin(QString {});
            QVERIFY(ca.create(values, nullptr));
        }
        finishBoxes();
        QVERIFY(stockOpenssl({ "verify", "-CAfile", store + "Pusty.cert", store + "Pusty.cert" }).succeeded());

        ca.setCertificateTreeWidget(&certificates);
        ca.setRequestTreeWidget(&requests);
        QVERIFY(makeStockRequest(store + "req_new/p.req", "/C=PL/CN=Podmiot"));
        {
            PinDialogAnswer pin(QString {});
            QVERIFY(ca.open(nullptr));
            QVERIFY(pin.shown());
        }
        QVERIFY(ca.update(nullptr));
        // The kept empty PIN serves the later runs: a PIN dialog now would be cancelled and seen.
        PinDialogAnswer askedAgain(std::nullopt);
        requests.setCurrentItem(requests.topLevelItem(0));
        QVERIFY(ca.signReq(nullptr));
        const ToolRun signedOne
            = stockOpenssl({ "verify", "-CAfile", store + "Pusty.cert", store + "certs_new/01.pem" });
        QVERIFY2(signedOne.succeeded(), qPrintable(signedOne.out + signedOne.err));
        certificates.setCurrentItem(certificates.findItems(QStringLiteral("Podmiot"), Qt::MatchExactly, 1).value(0));
        QVERIFY(ca.certRevoke(nullptr));
        QVERIFY(ca.crlNew(nullptr));
        finishBoxes();
        const ToolRun list
            = stockOpenssl({ "crl", "-in", store + "crl/01.crl", "-noout", "-text", "-CAfile", store + "Pusty.cert" });
        QVERIFY2(list.succeeded() && list.out.contains("Serial Number: 01"), qPrintable(list.err));
        QVERIFY(!askedAgain.shown());
        QCOMPARE(mTokens.token(id).snapshot().userPinTries, 0);
        ca.close(nullptr);
        mTokens.unplug(id);
    }

    void removeAsksFirst()
    {
        mBoxes.expectQuestion(QString::fromUtf8("Czy jesteś pewien, że chcesz usunąć ten urząd?"), QMessageBox::No);
        QVERIFY(!mCa.remove(nullptr));
        finishBoxes();
        QVERIFY(QFileInfo::exists(dir()));
        QVERIFY(mCa.hasViews());

        mBoxes.expectQuestion(QString::fromUtf8("Czy jesteś pewien, że chcesz usunąć ten urząd?"), QMessageBox::Yes);
        QVERIFY(mCa.remove(nullptr));
        finishBoxes();
        QVERIFY(!QFileInfo::exists(dir()));
        QVERIFY(!mCa.hasViews());
        QCOMPARE(mCertTree.topLevelItemCount(), 0);
        QVERIFY(!mCa.pinKept());
    }
};

MORVIL_QTEST_MAIN(AuthorityLifeTest)
#include "test_authority_life.moc"
