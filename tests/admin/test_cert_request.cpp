// Certificate requests written from a key node's page: what the stock openssl makes of the file,
// the subject's entries, and the refusals that leave the file and the token alone.
#include "admin_texts.h"
#include "cert_request.h"
#include "console_ui_watch.h"
#include "dev_zr40nn_engine.h"
#include "file_dialog_answer.h"
#include "folder_nodes.h"
#include "full_targets.h"
#include "openssl_owner.h"
#include "qt_test_main.h"
#include "token_crypto.h"

#include <QComboBox>
#include <QProcess>
#include <QTemporaryDir>

#include <openssl/ec.h>
#include <openssl/engine.h>
#include <openssl/pem.h>

using namespace morvil::test;
namespace text = morvil::admin::text;

namespace {

using NamePtr = morvil::OpenSslOwner<X509_NAME, X509_NAME_free>;

// What `openssl req -in file ARGS` prints; empty when it fails.
QString opensslReq(const QString& file, const QStringList& args)
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"), QStringList { QStringLiteral("req"), QStringLiteral("-in"), file } + args);
    if (!openssl.waitForFinished() || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        return {};
    }
    return QString::fromUtf8(openssl.readAllStandardOutput() + openssl.readAllStandardError());
}

// The slot's public key as the emulated token holds it, in PEM.
QString slotPublicKeyPem(const emu::TokenConfig& token, int slot)
{
    std::vector<unsigned char> point { 0x04 };
    point.insert(point.end(), token.keys[slot].pubX.begin(), token.keys[slot].pubX.end());
    point.insert(point.end(), token.keys[slot].pubY.begin(), token.keys[slot].pubY.end());
    morvil::OpenSslOwner<EC_KEY, EC_KEY_free> ec(
        EC_KEY_new_by_curve_name(OBJ_sn2nid(emu::findCurve(token.curveId)->name)));
    if (EC_KEY_oct2key(ec.get(), point.data(), point.size(), nullptr) != 1) {
        return {};
    }
    morvil::OpenSslOwner<BIO, BIO_free> bio(BIO_new(BIO_s_mem()));
    PEM_write_bio_EC_PUBKEY(bio.get(), ec.get());
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return QString::fromLatin1(data, static_cast<int>(length));
}

QString oneLine(const X509_NAME* name)
{
    morvil::OpenSslOwner<BIO, BIO_free> bio(BIO_new(BIO_s_mem()));
    X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return QString::fromUtf8(data, static_cast<int>(length));
}

} // namespace

class CertRequestTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<AdminFixture> f;
    QTemporaryDir mDir;
    int mSerials = 0;

    emu::TokenConfig tokenWithKey(const std::string& name, const std::string& key = "klucz")
    {
        emu::TokenConfig config = configuredToken(name);
        config.serial = "REQ-" + name + "-" + std::to_string(++mSerials);
        config.keys[0] = emu::generateKeyPair(config.curveId, key).value();
        return config;
    }

    GenCertReqWidget* form(MorvilItem* node)
    {
        return static_cast<MorvilKeyItem*>(keysFolder(node)->child(0))->genCertReqWidget();
    }

    void writeRequest(MorvilItem* node, const QString& path)
    {
        FileDialogAnswer answer({ path });
        press(form(node), "generateRequest");
    }

private slots:
    void init() { f = std::make_unique<AdminFixture>(); }
    void cleanup()
    {
        const QStringList problems = endCase(f);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    void fieldsGoInTheirOrderAfterTheCountry()
    {
        GenCertReqWidget page;
        QCOMPARE(page.findChild<QComboBox*>(QStringLiteral("countryName"))->currentText(), QStringLiteral("PL"));
        QCOMPARE(page.subjectEntries(), QStringList({ QStringLiteral("countryName=PL") }));
        setText(&page, "emailAddress", QStringLiteral("a@b.pl"));
        setText(&page, "commonName", QStringLiteral(" Jan"));
        setText(&page, "organizationalUnitName", QStringLiteral("IT"));
        setText(&page, "organizationName", QStringLiteral("A=B"));
        setText(&page, "localityName", QStringLiteral("Kraków"));
        setText(&page, "stateOrProvinceName", QStringLiteral("małopolskie"));
        QCOMPARE(page.subjectEntries(),
                 QStringList({ QStringLiteral("countryName=PL"), QStringLiteral("stateOrProvinceName=małopolskie"),
                               QStringLiteral("localityName=Kraków"), QStringLiteral("organizationName=A=B"),
                               QStringLiteral("organizationalUnitName=IT"), QStringLiteral("commonName= Jan"),
                               QStringLiteral("emailAddress=a@b.pl") }));
        QVERIFY(!page.isEnabled()); // a user login enables it
    }

    void entriesSplitAtTheirFirstEquals()
    {
        NamePtr name(createSubjectName({ QStringLiteral("countryName=PL"), QStringLiteral("organizationName=A=B"),
                                         QString::fromUtf8("commonName=Łukasz") }));
        QVERIFY(name != nullptr);
        QCOMPARE(oneLine(name.get()), QString::fromUtf8("CN=Łukasz,O=A=B,C=PL"));
        QString refused;
        QCOMPARE(createSubjectName({ QStringLiteral("countryName=PL"), QStringLiteral("commonName") }, &refused),
                 nullptr);
        QCOMPARE(refused, QStringLiteral("commonName"));
        QCOMPARE(createSubjectName({ QStringLiteral("countryName=POL") }, &refused), nullptr);
        QCOMPARE(refused, QStringLiteral("countryName"));
    }

    void requestFromThePageVerifiesWithTheSlotsKey()
    {
        const int id = f->tokens.plug(tokenWithKey("PODPIS"));
        f->start();
        MorvilItem* node = f->node();
        QVERIFY(!form(node)->isEnabled());
        login(node, false, QString::fromLatin1(kUserPin));
        QVERIFY(form(node)->isEnabled());
        setText(form(node), "localityName", QString::fromUtf8("Łódź"));
        setText(form(node), "organizationName", QStringLiteral("Firma=X"));
        setText(form(node), "commonName", QString::fromUtf8("Zażółć gęślą jaźń"));
        const QString path = mDir.filePath(QStringLiteral("req.pem"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(QByteArray(5000, 'x')) == 5000);
        old.close();
        // Another user of the engine keeps it initialised: the worker's finish is not the last
        // one, so only the worker itself can leave the engine without the PIN.
        ENGINE_load_dev_zr40nn();
        ENGINE* engine = ENGINE_by_id(DEV_ZR40NN_ENGINE_ID);
        QVERIFY(engine != nullptr && ENGINE_init(engine) == 1);
        f->tokens.clearLog(id);
        // The save dialog asks before it lets the existing file be replaced.
        f->boxes.expect({ QMessageBox::Yes, QMessageBox::Warning, std::nullopt, std::nullopt, {} });
        writeRequest(f->node(), path);

        QVERIFY(QFileInfo(path).size() < 5000); // replaced whole
        QVERIFY(
            opensslReq(path, { QStringLiteral("-verify"), QStringLiteral("-noout") }).contains(QStringLiteral("OK")));
        QVERIFY(opensslReq(path, { QStringLiteral("-noout"), QStringLiteral("-text") })
                    .contains(QStringLiteral("ecdsa-with-SHA256")));
        QCOMPARE(opensslReq(path, { QStringLiteral("-noout"), QStringLiteral("-pubkey") }),
                 slotPublicKeyPem(f->tokens.token(id).snapshot(), 0));
        QCOMPARE(opensslReq(path,
                            { QStringLiteral("-noout"), QStringLiteral("-subject"), QStringLiteral("-nameopt"),
                              QStringLiteral("utf8,sep_comma_plus") })
                     .trimmed(),
                 QString::fromUtf8("subject=C=PL,L=Łódź,O=Firma=X,CN=Zażółć gęślą jaźń"));
        QCOMPARE(f->tokens.token(id).snapshot().userPinTries, 0);

        // The page starts afresh; the tree was enumerated again and keeps the same token.
        QCOMPARE(textOf(form(f->node()), "commonName"), QString());
        QCOMPARE(f->model()->rootItem()->childCount(), 1);
        QCOMPARE(keyNodeNames(f->node()), QStringList({ QStringLiteral("klucz") }));

        // The engine kept no PIN, not even an empty one: loading the key again has none to give
        // and asks the token nothing.
        f->tokens.clearLog(id);
        ENGINE_ctrl_cmd_string(engine, "token_name", "PODPIS", 0);
        ENGINE_ctrl_cmd_string(engine, "key_name", "klucz", 0);
        EVP_PKEY* key = ENGINE_load_private_key(engine, nullptr, nullptr, nullptr);
        EVP_PKEY_free(key);
        ENGINE_finish(engine);
        ENGINE_free(engine);
        QCOMPARE(key, nullptr);
        QVERIFY(!f->tokens.commands(id).contains(QStringLiteral("2F")));
    }

    // The configuration page allows an empty name and an empty user PIN: a request is written for
    // such a token too, signed with the PIN the token checked, and nobody is asked on the console.
    void unnamedTokensAndEmptyPinsGetTheirRequests_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("pin");
        QTest::newRow("empty PIN") << QStringLiteral("PUSTYPIN") << QString();
        QTest::newRow("no name") << QString() << QString::fromLatin1(kUserPin);
        QTest::newRow("neither") << QString() << QString();
    }
    void unnamedTokensAndEmptyPinsGetTheirRequests()
    {
        QFETCH(QString, name);
        QFETCH(QString, pin);
        emu::TokenConfig config = tokenWithKey(name.toStdString());
        config.userPin = pin.toStdString();
        const int id = f->tokens.plug(config);
        f->start();
        login(f->node(), false, pin);
        QVERIFY(form(f->node())->isEnabled());
        const morvil::test::ConsoleUiWatch console;
        f->tokens.clearLog(id);
        const QString path = mDir.filePath(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".pem"));
        writeRequest(f->node(), path);

        QVERIFY(
            opensslReq(path, { QStringLiteral("-verify"), QStringLiteral("-noout") }).contains(QStringLiteral("OK")));
        QCOMPARE(opensslReq(path, { QStringLiteral("-noout"), QStringLiteral("-pubkey") }),
                 slotPublicKeyPem(f->tokens.token(id).snapshot(), 0));
        QCOMPARE(console.prompts(), 0);
        int checked = 0;
        for (const emu::LogEntry& entry : f->tokens.token(id).log()) {
            if (entry.code == zr40nn::test::kTryPinCode || entry.code == zr40nn::test::kSignCode) {
                QCOMPARE(QString::fromStdString(entry.pin), pin);
                QCOMPARE(entry.status, -1);
                ++checked;
            }
        }
        QCOMPARE(checked, 2);
    }

    // Past the page's check, which refuses a token name shared by two tokens: the engine finds
    // the token by its name, so a worker for the other token of that name gets the first one's
    // key. Only a request signed with the chosen slot's own key is written; the other is refused
    // before any signature, empty names or not.
    void workerSignsOnlyWithTheChosenSlotsKey_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("named") << QStringLiteral("TWIN");
        QTest::newRow("unnamed") << QString();
    }
    void workerSignsOnlyWithTheChosenSlotsKey()
    {
        QFETCH(QString, name);
        const int ids[]
            = { f->tokens.plug(tokenWithKey(name.toStdString())), f->tokens.plug(tokenWithKey(name.toStdString())) };
        f->start();
        DEV_ZR40NN_t* records[] = { DEV_ZR40NN_find_by_index(0), DEV_ZR40NN_find_by_index(1) };
        QVERIFY(records[0] != nullptr && records[1] != nullptr);
        int written = 0;
        for (DEV_ZR40NN_t* ut : records) {
            const QByteArray serial(ut->serial_number);
            const int chosen = f->tokens.token(ids[0]).snapshot().serial == serial.toStdString() ? ids[0] : ids[1];
            for (int id : ids) {
                f->tokens.clearLog(id);
            }
            const QString path = mDir.filePath(QString::fromLatin1(serial) + QStringLiteral(".pem"));
            DEV_ZR40NN_thread_generate_cert_request worker(ut, kUserPin, 0, path, { QStringLiteral("countryName=PL") });
            if (worker.execWithCursor(Qt::WaitCursor) == 0) {
                ++written;
                QVERIFY(opensslReq(path, { QStringLiteral("-verify"), QStringLiteral("-noout") })
                            .contains(QStringLiteral("OK")));
                QCOMPARE(opensslReq(path, { QStringLiteral("-noout"), QStringLiteral("-pubkey") }),
                         slotPublicKeyPem(f->tokens.token(chosen).snapshot(), 0));
                QCOMPARE(zr40nn::test::commandCount(f->tokens.token(chosen), zr40nn::test::kSignCode), 1);
            } else {
                QCOMPARE(worker.errorString(), text::requestKeyNotChosen());
                QVERIFY(!QFile::exists(path));
                for (int id : ids) {
                    QCOMPARE(zr40nn::test::commandCount(f->tokens.token(id), zr40nn::test::kSignCode), 0);
                }
            }
        }
        QCOMPARE(written, 1); // the engine's lookup reaches one of the two
    }

    void refusedEntryWritesNoFile()
    {
        f->tokens.plug(tokenWithKey("ZLE"));
        f->start();
        login(f->node(), false, QString::fromLatin1(kUserPin));
        setText(form(f->node()), "emailAddress", QString::fromUtf8("ą@b.pl"));
        const QString path = mDir.filePath(QStringLiteral("zle.pem"));
        f->boxes.expectError(text::subjectFieldRefused(QStringLiteral("emailAddress")));
        writeRequest(f->node(), path);
        QVERIFY(!QFile::exists(path));
    }

    // A request the target does not take is reported, and a device named as the target stays
    // the device it was.
    void requestThatDoesNotReachItsFileIsReported()
    {
        f->tokens.plug(tokenWithKey("PELNY"));
        f->start();
        login(f->node(), false, QString::fromLatin1(kUserPin));
        setText(form(f->node()), "commonName", QStringLiteral("Jan"));
        const QString full = fullDevice(mDir.path());
        f->boxes.expect({ QMessageBox::Yes, QMessageBox::Warning, std::nullopt, std::nullopt, {} });
        f->boxes.expect({ QMessageBox::Ok, QMessageBox::Critical, std::nullopt, std::nullopt, {} });
        writeRequest(f->node(), full);
        const QStringList problems = f->boxes.finish();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
        QVERIFY(f->boxes.seen().value(1).text.startsWith(text::requestNotWritten(full, QString())));
        QVERIFY(QFileInfo::exists(full) && !QFileInfo(full).isFile());
    }

    void tokenNamedTwiceIsRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("named") << QStringLiteral("TWIN");
        QTest::newRow("unnamed") << QString();
    }
    void tokenNamedTwiceIsRefused()
    {
        QFETCH(QString, name);
        const emu::TokenConfig first = tokenWithKey(name.toStdString());
        const int a = f->tokens.plug(first);
        const int b = f->tokens.plug(tokenWithKey(name.toStdString()));
        f->start();
        login(f->node(), false, QString::fromLatin1(kUserPin));
        f->tokens.clearLog(a);
        f->tokens.clearLog(b);
        const QString path = mDir.filePath(QStringLiteral("twin.pem"));
        // The box names the token as the tree does: an unnamed one by its serial number.
        f->boxes.expectError(text::requestTokenNotUnique(
            name.isEmpty() ? QStringLiteral("[%1]").arg(QString::fromStdString(first.serial)) : name));
        writeRequest(f->node(), path);
        QVERIFY(!QFile::exists(path));
        for (int id : { a, b }) {
            const QString commands = f->tokens.commands(id);
            QVERIFY2(!commands.contains(QStringLiteral("2F")) && !commands.contains(QStringLiteral("49")),
                     qPrintable(commands));
        }
    }

    void onlyAUserLoginSigns()
    {
        const int id = f->tokens.plug(tokenWithKey("ADMIN"));
        f->start();
        login(f->node(), true, QString::fromLatin1(kSoPin));
        QVERIFY(!form(f->node())->isEnabled());
        f->tokens.clearLog(id);
        // Past the disabled form, straight at the key node's relay.
        QString path = mDir.filePath(QStringLiteral("admin.pem"));
        QStringList dn { QStringLiteral("countryName=PL") };
        emit static_cast<MorvilKeyItem*>(keysFolder(f->node())->child(0))->generateCertReqSig(0, path, dn);
        QVERIFY(!QFile::exists(path));
        QCOMPARE(f->tokens.commands(id), QString());
    }

    // The PIN checked at login no longer opens the key when the engine loads it: the box says what
    // the token said, and no request is written.
    void keyTheEngineCannotLoadIsReported()
    {
        const int id = f->tokens.plug(tokenWithKey("ODMOWA"));
        f->start();
        login(f->node(), false, QString::fromLatin1(kUserPin));
        setText(form(f->node()), "commonName", QStringLiteral("Jan"));
        f->tokens.token(id).failNth(zr40nn::test::kTryPinCode, 1, emu::kStatusWrongPin);
        f->boxes.expect({ QMessageBox::Ok, QMessageBox::Critical, QStringLiteral("Błąd"), std::nullopt, {} });
        const QString path = mDir.filePath(QStringLiteral("odmowa.pem"));
        writeRequest(f->node(), path);
        const QStringList problems = f->boxes.finish();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
        QVERIFY2(f->boxes.seen().value(0).text.contains(QStringLiteral("wrong PIN, command not allowed")),
                 qPrintable(f->boxes.seen().value(0).text));
        QVERIFY(!QFile::exists(path));
        QCOMPARE(zr40nn::test::commandCount(f->tokens.token(id), zr40nn::test::kSignCode), 0);
    }

    void keyNamedTwiceIsRefused()
    {
        emu::TokenConfig config = tokenWithKey("DWAKLUCZE");
        config.keys[1] = emu::generateKeyPair(config.curveId, "klucz").value();
        f->tokens.plug(config);
        f->start();
        login(f->node(), false, QString::fromLatin1(kUserPin));
        f->boxes.expectError(text::requestKeyNotUnique(QStringLiteral("klucz")));
        writeRequest(f->node(), mDir.filePath(QStringLiteral("dwa.pem")));
        QVERIFY(!QFile::exists(mDir.filePath(QStringLiteral("dwa.pem"))));
    }
};

MORVIL_QTEST_MAIN(CertRequestTest)
#include "test_cert_request.moc"
