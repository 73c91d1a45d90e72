// An authority keyed on an emulated token, worked through the real morvil_openssl and the token
// engine: the PIN reaches the tool on its standard input only, and the certificate list, views
// and pages follow what the tool wrote.
#include "authority_under_test.h"
#include "child_process.h"
#include "qt_test_main.h"
#include "token_bus.h"
#include "token_crypto.h"
#include "tool_runner.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTreeWidget>

using namespace morvil::test;

namespace {

// Distinct enough that no process shows it by chance.
const QString kPin = QStringLiteral("73915284");
const QString kName = QStringLiteral("Główny");

} // namespace

class AuthorityOnTokenTest : public QObject
{
    Q_OBJECT

    // One engine run of the tool with args; fails the test if any process showed the PIN.
    bool runWithPin(const QStringList& args)
    {
        int scans = 0;
        bool seen = false;
        QTimer scan;
        QObject::connect(&scan, &QTimer::timeout, [&] {
            ++scans;
            seen = seen || processesShow(kPin.toStdString());
        });
        scan.start(1);
        mCa.setArgs(args);
        const bool ok = mCa.runOpenssl(true);
        scan.stop();
        // The watch ran while the tool did: the runner's loop serves timers.
        [&] { QVERIFY(scans > 0); }();
        [&] { QVERIFY2(!seen, "the PIN was on a command line or in an environment"); }();
        return ok;
    }

    QStringList ca(const QStringList& before, const QStringList& after) const
    {
        return QStringList { "ca", "-config", kName + ".conf" } + before + AuthorityUnderTest::engineArguments()
            + after;
    }

    void makeRequest(const QString& file, const QString& subject)
    {
        const ToolRun run = runTool(QStringLiteral("/usr/bin/openssl"),
                                    { "req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                                      "-keyout", "/dev/null", "-utf8", "-subj", subject, "-out", "req_new/" + file },
                                    mData.filePath(kName), {});
        QVERIFY2(run.succeeded(), qPrintable(run.err));
    }

    QStringList paneLines() const { return mPane.toPlainText().split(QLatin1Char('\n')); }

    QTemporaryDir mData;
    PluggedTokens mTokens;
    AuthorityUnderTest mCa;
    QTreeWidget mTree;
    QTextEdit mPane;

private slots:
    void initTestCase()
    {
        tokenBus();
        emu::TokenConfig token = configuredToken("TOK1");
        token.userPin = kPin.toStdString();
        token.keys[0] = emu::generateKeyPair(2560, "ca").value();
        mTokens.plug(token);
        QVERIFY(QDir::setCurrent(mData.path()));
        mCa.setName(kName);
        mCa.setCaKeyName(QStringLiteral("TOK1/ca"));
        mCa.setTokenName(QStringLiteral("TOK1"));
        mCa.setTool(QStringLiteral(MORVIL_OPENSSL));
        mCa.setUserPin(kPin);
        mCa.createConfDir();
        QVERIFY(mCa.writeConfiguration());
    }

    void selfSignedCertificateWithThePinOnStandardInput()
    {
        QVERIFY2(
            runWithPin(QStringList { "req", "-new", "-x509", "-utf8", "-config", kName + ".conf", "-set_serial", "0" }
                       + AuthorityUnderTest::engineArguments()
                       + QStringList { "-key", "TOK1/ca", "-days", "3650", "-md", "ecdsa-with-sha256", "-out",
                                       kName + ".cert", "-subj", "/C=PL/O=Morvil/CN=Urząd Łódź" }),
            qPrintable(mCa.err()));
        QVERIFY(mCa.readCertificateDb());
        QCOMPARE(mCa.certificates().size(), 1);
        const Certificate& own = mCa.certificates()[0];
        QCOMPARE(own.serial(), 0);
        QCOMPARE(own.state(), QStringLiteral("V"));
        QCOMPARE(own.fileName(), kName + ".cert");
        QCOMPARE(own.commonName(), QStringLiteral("Urząd Łódź"));
        QCOMPARE(own.organizationName(), QStringLiteral("Morvil"));
        QCOMPARE(own.notBefore().date(), QDateTime::currentDateTimeUtc().date());
        QCOMPARE(own.notAfter().date(), QDateTime::currentDateTimeUtc().date().addDays(3650));
    }

    void wrongOrMissingPinFailsWithTheToolsError()
    {
        mCa.setUserPin(QStringLiteral("00000000"));
        QVERIFY(!runWithPin(ca({ "-gencrl" }, { "-out", kName + ".crl" })));
        QVERIFY(!mCa.err().isEmpty());
        // Without the PIN the tool finds its input closed and ends at once.
        mCa.setArgs(ca({ "-gencrl" }, { "-out", kName + ".crl" }));
        QVERIFY(!mCa.runOpenssl(false));
        mCa.setUserPin(kPin);
    }

    void indexAndViewsFollowTheTool()
    {
        makeRequest("a.req", "/C=PL/O=Firma/CN=Anna");
        makeRequest("b.req", "/C=PL/O=Firma/CN=Bogdan");
        makeRequest("c.req", "/C=PL/O=Firma/CN=Cezary Żak");
        QVERIFY2(runWithPin(ca({}, { "-batch", "-in", "req_new/a.req" })), qPrintable(mCa.err()));
        QVERIFY2(
            runWithPin(ca(
                {}, { "-batch", "-startdate", "190101000000Z", "-enddate", "200101000000Z", "-in", "req_new/b.req" })),
            qPrintable(mCa.err()));
        QVERIFY2(runWithPin(ca({}, { "-batch", "-in", "req_new/c.req" })), qPrintable(mCa.err()));
        QVERIFY2(runWithPin(ca({}, { "-revoke", "certs_new/03.pem" })), qPrintable(mCa.err()));
        QVERIFY2(runWithPin(ca({ "-updatedb" }, {})), qPrintable(mCa.err()));

        mCa.setCertificateTreeWidget(&mTree);
        mCa.setCertificateInfoWidget(&mPane);
        QVERIFY(mCa.update(nullptr));
        QCOMPARE(mTree.topLevelItemCount(), 4);
        QStringList rows;
        for (int i = 0; i < mTree.topLevelItemCount(); ++i) {
            const auto* row = static_cast<const Certificate*>(mTree.topLevelItem(i));
            rows << row->state() + row->text(0) + "|" + row->text(1) + "|" + row->text(2) + "|" + row->fileName();
        }
        QCOMPARE(
            rows,
            (QStringList { "V     0|Urząd Łódź|Morvil|" + kName + ".cert", "V     1|Anna|Firma|certs_new/01.pem",
                           "E     2|Bogdan|Firma|certs_new/02.pem", "R     3|Cezary Żak|Firma|certs_new/03.pem" }));

        mTree.setCurrentItem(mTree.topLevelItem(3));
        mCa.changeCertificateInfo();
        const auto* revoked = static_cast<const Certificate*>(mTree.topLevelItem(3));
        const QString revokedAt = revoked->revocationDate().toString("yyyy-MM-dd (hh:mm:ss)");
        QCOMPARE(revoked->revocationDate().date(), QDateTime::currentDateTimeUtc().date());
        QCOMPARE(paneLines(),
                 (QStringList { "Data unieważnienia:", "        " + revokedAt + " GMT", "Data ważności:",
                                "        " + revoked->notAfter().toString("yyyy-MM-dd (hh:mm:ss)") + " GMT",
                                "Dane podmiotu:", "        Kraj: PL",
                                "        Region: ", "        Miejscowość: ", "        Organizacja: Firma",
                                "        Dział: ", "        Nazwa: Cezary Żak", "        E-mail: " }));
        QVERIFY(mPane.isReadOnly());
        mTree.setCurrentItem(mTree.topLevelItem(2));
        mCa.changeCertificateInfo();
        QCOMPARE(paneLines().value(0), QStringLiteral("Data ważności:"));
        QCOMPARE(paneLines().value(1), QStringLiteral("        2020-01-01 (00:00:00) GMT"));

        mCa.setCertOnlyValidDisplay(true);
        QCOMPARE(mTree.topLevelItemCount(), 2);
        QCOMPARE(mTree.topLevelItem(1)->text(1), QStringLiteral("Anna"));
        QVERIFY(mPane.toPlainText().isEmpty()); // no current row after the refill
        mCa.setCertOnlyValidDisplay(false);
        QCOMPARE(mTree.topLevelItemCount(), 4);
    }

    void ownCertificateIsReadAgainOnlyWhenItChanges()
    {
        // A refresh with the certificate unchanged does not need the tool.
        mCa.setTool(QStringLiteral("/nonexistent/morvil_openssl"));
        QVERIFY(mCa.readCertificateDb());
        QCOMPARE(mCa.certificates()[0].commonName(), QStringLiteral("Urząd Łódź"));
        QFile certificate(mData.filePath(kName + "/" + kName + ".cert"));
        QVERIFY(certificate.open(QIODevice::Append));
        certificate.write("\n");
        certificate.close();
        QVERIFY(!mCa.readCertificateDb());
        mCa.setTool(QStringLiteral(MORVIL_OPENSSL));
        QVERIFY(mCa.update(nullptr));
        QCOMPARE(mTree.topLevelItemCount(), 4);
    }

    void crlBoxFollowsTheList()
    {
        // A new authority's empty list: the name only, and no warning.
        QCOMPARE(mCa.crlInfo(), "Nazwa pliku: " + kName + ".crl");
        QVERIFY2(runWithPin(ca({ "-gencrl" }, { "-out", kName + ".crl" })), qPrintable(mCa.err()));
        const QString today = QDateTime::currentDateTimeUtc().toString("yyyy-MM-dd");
        const QString current = mCa.crlInfo();
        QVERIFY2(current.startsWith("Nazwa pliku: " + kName + ".crl<br>Ostania aktualizacja: " + today),
                 qPrintable(current));
        QVERIFY(current.contains(" GMT<br>Kolejna aktualizacja: "
                                 + QDateTime::currentDateTimeUtc().addDays(30).toString("yyyy-MM-dd")));

        QFile crl(mData.filePath(kName + "/" + kName + ".crl"));
        QVERIFY(crl.open(QIODevice::ReadOnly));
        const QByteArray list = crl.readAll();
        crl.close();
        QVERIFY(crl.open(QIODevice::WriteOnly | QIODevice::Truncate));
        crl.write("#IsNotActual\n" + list);
        crl.close();
        QVERIFY(mCa.crlInfo().startsWith(
            "<center><h3><font color=red>Lista CRL jest nieaktualna!</font></h3></center>Nazwa pliku: "));
        QVERIFY(!mCa.crlIsActual());
    }

    void authorityPageTexts()
    {
        const QString info = mCa.generalInfo();
        const Certificate& own = mCa.certificates()[0];
        QCOMPARE(info,
                 "Klucz urzędu: <ol><li>Nazwa tokenu: TOK1</li><li>Nazwa klucza: ca</li></ol>"
                 "Certyfikat urzędu: <ol><li>Nazwa pliku: "
                     + kName + ".cert</li><li>Ważny od: " + own.notBefore().toString("yyyy-MM-dd (hh:mm:ss)")
                     + " GMT</li><li>Ważny do: " + own.notAfter().toString("yyyy-MM-dd  (hh:mm:ss)")
                     + " GMT</li></ol>");
        // The token's names are shown as they are, never read as markup.
        mCa.setKeyReference(QStringLiteral("<b>T%1&/<i>k"));
        QVERIFY(mCa.generalInfo().startsWith(
            "Klucz urzędu: <ol><li>Nazwa tokenu: &lt;b&gt;T%1&amp;</li><li>Nazwa klucza: &lt;i&gt;k</li></ol>"));
        mCa.setKeyReference(QStringLiteral("TOK1/ca"));
        mCa.setPolicy("optional", "supplied", "match", "Match", "", "supplied", "optional");
        QCOMPARE(mCa.policy(),
                 QStringLiteral("<table><tr><td>Kod kraju: </td><td>opcjonalne</td></tr>"
                                "<tr><td>Region: </td><td>wymagane</td></tr>"
                                "<tr><td>Miejscowość: </td><td>znaczące</td></tr>"
                                "<tr><td>Organizacja: </td><td>NIEZNANE</td></tr>"
                                "<tr><td>Dział: </td><td>NIEZNANE</td></tr>"
                                "<tr><td>Nazwa pospolita: </td><td>wymagane</td></tr>"
                                "<tr><td>E-mail: </td><td>opcjonalne</td></tr></table>"));
    }

    void rowsStayWhileTheAuthorityListGrowsAndGoOnClose()
    {
        QList<AuthorityUnderTest> authorities;
        authorities.append(std::move(mCa));
        for (int i = 0; i < 50; ++i) {
            authorities.append(AuthorityUnderTest());
        }
        QCOMPARE(mTree.topLevelItemCount(), 4);
        QCOMPARE(mTree.topLevelItem(1)->text(1), QStringLiteral("Anna"));
        QCOMPARE(&authorities[0].certificates()[1], static_cast<const Certificate*>(mTree.topLevelItem(1)));

        authorities[0].close(nullptr);
        QCOMPARE(mTree.topLevelItemCount(), 0);
        QVERIFY(mPane.toPlainText().isEmpty());
        QVERIFY(authorities[0].userPin().isEmpty());
        QCOMPARE(authorities[0].certificates().size(), 4);
    }
};

MORVIL_QTEST_MAIN(AuthorityOnTokenTest)
#include "test_authority_on_token.moc"
