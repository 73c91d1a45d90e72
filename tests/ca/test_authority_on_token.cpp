// An authority keyed on an emulated token, worked through the real morvil_openssl and the token
// engine: the PIN reaches the tool on its standard input only, and the certificate list, views
// and pages follow what the tool wrote.
#include "authority_under_test.h"
#include "ca_new_dialog.h"
#include "child_process.h"
#include "chooser_fixture.h"
#include "dialog_answers.h"
#include "qt_test_main.h"
#include "stock_openssl.h"
#include "token_bus.h"
#include "token_crypto.h"
#include "tool_runner.h"

#include <QDir>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTreeWidget>

#include <algorithm>
#include <optional>

using namespace morvil::test;

namespace {

// Distinct enough that no process shows it by chance.
const QString kPin = QStringLiteral("73915284");
const QString kName = QStringLiteral("Główny");

// Names a token can hold, as octets (a token name has at most 10, a key name at most 21): every
// character OpenSSL's configuration syntax treats specially, blanks anywhere, option-like names,
// markup and placeholders, letters beyond ASCII, both limits and none, control characters, octets
// that are no UTF-8; then a seeded sample of random ones.
QList<std::pair<QByteArray, QByteArray>> tokenAndKeyNames()
{
    QList<std::pair<QByteArray, QByteArray>> names = {
        { "my tok", "k" },      { "Mój token", "klucz ą" },
        { "T#1", "k#1" },       { "k=v", "a=b" },
        { "[s]", "[ req ]" },   { "a/b", "k" },
        { "T", "a/b/c" },       { "\"q'`", "\"'`\\" },
        { "a\\b", "koniec\\" }, { "$dir", "${dir}$(x)" },
        { " lead", "trail " },  { "%1&<i>", "<b>%2</b>" },
        { "-engine", "-key" },  { "0123456789", "123456789012345678901" },
        { "Żółw", "żółw€" },    { ";,:.", "!?*~^|+@ " },
        { "x\ny", "k" },        { "T", "k\nRANDFILE=../pwn" },
        { "T\x7f", "k" },       { "T", "k\tx" },
        { "T", "\xc2\x85" },    { "\xff\xfe", "k" },
        { "T", "k\xc3" },       { "", "bez nazwy" },
    };
    // Characters of every class, as octets: printable ASCII, two- and three-octet UTF-8, control
    // characters, octets that start no UTF-8 character.
    const QList<QByteArray> pool
        = { " ", "#", "=", "[", "/", "\"", "'", "\\", "$", "a", "Z", "7", "-", "ą", "€", "\t", "\n", "\x01", "\xff" };
    QRandomGenerator random(2109);
    const auto randomName = [&](int limit) {
        QByteArray name;
        for (int length = random.bounded(1, limit + 1); name.size() < length;) {
            const QByteArray next = pool[random.bounded(int(pool.size()))];
            if (name.size() + next.size() > limit) {
                break;
            }
            name += next;
        }
        return name.isEmpty() ? QByteArray("x") : name;
    };
    for (int i = 0; i < 6; ++i) {
        names.append({ randomName(10), randomName(21) });
    }
    return names;
}

BoxAnswer informationBox(const QString& title, const QString& text)
{
    return { QMessageBox::Ok, QMessageBox::Information, title, text, {} };
}

// The box that refuses a key of these names, or none when the authority must work with it. A
// reference is split at its first "/"; line breaks and other control characters may not reach
// the authority's files; octets that are no UTF-8 cannot be named again.
std::optional<BoxAnswer> refusalOf(const QByteArray& token, const QByteArray& key)
{
    const auto decodes = [](const QByteArray& octets) { return QString::fromUtf8(octets).toUtf8() == octets; };
    const auto control = [](const QByteArray& octets) {
        const QString text = QString::fromUtf8(octets);
        return std::any_of(octets.begin(), octets.end(), [](char c) { return uchar(c) < 0x20 || uchar(c) == 0x7f; })
            || std::any_of(text.begin(), text.end(), [](QChar c) {
                   return (c.unicode() >= 0x80 && c.unicode() < 0xa0) || c.unicode() == 0x2028 || c.unicode() == 0x2029;
               });
    };
    if (token.contains('/')) {
        return informationBox(QString::fromUtf8("Wybór klucza"),
                              QString::fromUtf8("Nazwa tokenu %1 zawiera znak '/', który w nazwie klucza oddziela "
                                                "nazwę tokenu od nazwy klucza. Kluczy tego tokenu nie można użyć.")
                                  .arg(QString::fromUtf8(token)));
    }
    if (control(token) || control(key)) {
        return informationBox(QStringLiteral("Niepoprawne dane"),
                              QString::fromUtf8("Klucz urzędu nie może zawierać znaków sterujących, takich jak znak "
                                                "nowej linii lub tabulacji."));
    }
    if (!decodes(token) || !decodes(key)) {
        return informationBox(QStringLiteral("Niepoprawne dane"),
                              QString::fromUtf8("Nazwa tokenu lub klucza zawiera znaki, które nie są tekstem UTF-8 "
                                                "(pokazane jako \uFFFD): takiej nazwy nie można przekazać tokenowi."));
    }
    return std::nullopt;
}

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
        CA::setDefaultOpensslCmd(QStringLiteral(MORVIL_OPENSSL));
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
        QVERIFY(mCa.crlIsActual());
        // A list whose next update lies in the past is stale without any mark.
        QVERIFY2(runWithPin(ca({ "-gencrl", "-crl_lastupdate", "190101000000Z", "-crl_nextupdate", "200101000000Z" },
                               { "-out", kName + ".crl" })),
                 qPrintable(mCa.err()));
        QVERIFY(mCa.crlInfo().startsWith("<center><h3><font color=red>Lista CRL jest nieaktualna!</font></h3></center>"
                                         "Nazwa pliku: "
                                         + kName + ".crl<br>Ostania aktualizacja: 2019-01-01 (00:00:00) GMT"));
        QVERIFY2(runWithPin(ca({ "-gencrl" }, { "-out", kName + ".crl" })), qPrintable(mCa.err()));
        QVERIFY(mCa.crlInfo().startsWith("Nazwa pliku: "));
        QVERIFY(mCa.crlIsActual());

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

    // Whatever names a token holds, an authority made on its key is opened again and signs, or the
    // names are refused before anything is written: the user picks the key in the new-authority
    // form's chooser, and the authority lives through the real tool.
    void anAuthorityOnAnyKeyOpensAgainAndSignsOrIsRefusedFirst()
    {
        BoxWatcher boxes;
        const QDir store(mData.path());
        int index = 0;
        for (const auto& [token, key] : tokenAndKeyNames()) {
            const QString trace = QStringLiteral("token %1, key %2").arg(token.toHex(' '), key.toHex(' '));
            emu::TokenConfig config = configuredToken(token.toStdString());
            config.userPin = kPin.toStdString();
            config.keys[0] = emu::generateKeyPair(2560, key.toStdString()).value();
            const int plugged = mTokens.plug(config);
            const QString name = QStringLiteral("P%1").arg(index++);
            const QStringList before = store.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
            const std::optional<BoxAnswer> refusal = refusalOf(token, key);
            boxes.expect(refusal.value_or(informationBox(
                QStringLiteral("Informacja"), QString::fromUtf8("Urząd utworzony poprawnie i gotowy do pracy."))));
            ModalAnswer<CaNewDialog> form([&](CaNewDialog* dialog) {
                dialog->findChild<QLineEdit*>(QStringLiteral("name"))->setText(name);
                dialog->findChild<QLineEdit*>(QStringLiteral("caCommonName"))->setText(QStringLiteral("Urząd ") + name);
                ChooserHand hand([&](MorvilDialog& chooser) {
                    const QList<QTreeWidgetItem*> tokens
                        = chooserList(chooser)->findItems(QString::fromUtf8(token), Qt::MatchExactly);
                    chooseAndAccept(chooser, tokens.value(0) ? tokens[0]->child(0) : nullptr);
                    if (chooser.isVisible()) {
                        chooser.reject();
                    }
                });
                dialog->findChild<QPushButton*>(QStringLiteral("caKeyBrowse"))->click();
                if (!dialog->caKeyName().isEmpty()) {
                    dialog->accept();
                }
                if (dialog->isVisible()) {
                    dialog->reject();
                }
            });
            PinDialogAnswer pin(kPin);
            AuthorityUnderTest created;
            const bool made = created.create(QStringLiteral("Nowy urząd"), nullptr);
            QVERIFY2(form.shown(), qPrintable(trace));
            const QStringList problems = boxes.finish();
            QVERIFY2(problems.isEmpty(), qPrintable(trace + '\n' + problems.join('\n')));
            boxes.clearSeen();
            QVERIFY2(made == !refusal.has_value(), qPrintable(trace));
            if (refusal) {
                QVERIFY2(!pin.shown(), qPrintable(trace));
                QCOMPARE(store.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before);
                mTokens.unplug(plugged);
                continue;
            }
            const QString reference = QString::fromUtf8(token) + QLatin1Char('/') + QString::fromUtf8(key);
            QCOMPARE(created.caKeyName(), reference);

            // Found again in the store and opened with the PIN asked for its token, it reads a
            // waiting request and signs it.
            const QString dir = store.filePath(name) + QLatin1Char('/');
            QVERIFY(makeStockRequest(dir + "req_new/p.req", QStringLiteral("/C=PL/CN=Podmiot ") + name));
            QList<CA> found = CA::findAll(store.path());
            const auto again
                = std::find_if(found.begin(), found.end(), [&](const CA& ca) { return ca.name() == name; });
            QVERIFY2(again != found.end(), qPrintable(trace));
            AuthorityUnderTest opened(*again);
            QCOMPARE(opened.caKeyName(), reference);
            {
                PinDialogAnswer openPin(kPin);
                QVERIFY2(opened.open(nullptr), qPrintable(trace + '\n' + opened.err()));
                QCOMPARE(openPin.label(), QStringLiteral("PIN do tokenu %1:").arg(QString::fromUtf8(token)));
            }
            QCOMPARE(opened.requests().size(), 1);
            QVERIFY2(opened.signReqAll(nullptr), qPrintable(trace + '\n' + opened.err()));
            const ToolRun verify
                = stockOpenssl({ "verify", "-CAfile", dir + name + ".cert", dir + "certs_new/01.pem" });
            QVERIFY2(verify.succeeded(), qPrintable(trace + '\n' + verify.out + verify.err));
            QCOMPARE(boxes.finish(), QStringList());
            opened.close(nullptr);
            mTokens.unplug(plugged);
        }
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
        QVERIFY(!authorities[0].pinKept());
        QCOMPARE(authorities[0].certificates().size(), 4);
    }
};

MORVIL_QTEST_MAIN(AuthorityOnTokenTest)
#include "test_authority_on_token.moc"
