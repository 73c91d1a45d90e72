// The authority's configuration file and directory: the text the tool works from, reading it
// back, and making and removing the directory.
#include "authority_store.h"
#include "full_targets.h"
#include "openssl_conf_reading.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using morvil::test::OpensslConfReading;

// Failures show texts as texts.
void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// An authority "CA" keyed on TOK1/ca with the constructor's settings, in a fresh data directory.
class AuthorityStore : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(mData.isValid());
        mConf.setName(QStringLiteral("CA"), mData.path());
        mConf.mCaKeyName = QStringLiteral("TOK1/ca");
    }

    QString path(const QString& name) const { return mConf.mConfDirPath + QLatin1Char('/') + name; }

    QTemporaryDir mData;
    CaConfiguration mConf;
};

TEST_F(AuthorityStore, TextIsTheToolsConfigurationLineForLine)
{
    const QStringList expected = QString::fromUtf8(readAll(QStringLiteral(AUTHORITY_CONF))).split(QLatin1Char('\n'));
    const QStringList written = configurationText(mConf).split(QLatin1Char('\n'));
    ASSERT_EQ(expected.size(), 88); // 87 lines, each ended by a line feed
    for (int i = 0; i < std::min(expected.size(), written.size()); ++i) {
        EXPECT_EQ(written[i], expected[i]) << "line " << i + 1;
    }
    EXPECT_EQ(written.size(), expected.size());
}

TEST_F(AuthorityStore, WrittenSettingsReadBack)
{
    mConf.mCaKeyName = QStringLiteral("Żółw 1/klucz ą");
    mConf.mDefaultCertDays = 400;
    mConf.mDefaultCrlDays = 7;
    mConf.mDefaultMD = QStringLiteral("ecdsa-with-sha1");
    mConf.mPolicyCountryName = QStringLiteral("match");
    mConf.mPolicyStateOrProvinceName = QStringLiteral("supplied");
    mConf.mPolicyLocalityName = QStringLiteral("match");
    mConf.mPolicyOrganizationName = QStringLiteral("supplied");
    mConf.mPolicyOrganizationalUnitName = QStringLiteral("match");
    mConf.mPolicyCommonName = QStringLiteral("optional");
    mConf.mPolicyEmailAddress = QStringLiteral("supplied");
    createAuthorityDirectory(mConf);
    ASSERT_TRUE(writeConfiguration(mConf));
    EXPECT_TRUE(readAll(path(mConf.mConfFileName)).contains("private_key = \"Żółw 1/klucz ą\"\n"));

    CaConfiguration read;
    read.setName(QStringLiteral("CA"), mData.path());
    ASSERT_TRUE(readConfiguration(read));
    // The key reference comes back as it was, blanks and Polish letters included.
    EXPECT_EQ(read.mCaKeyName, QStringLiteral("Żółw 1/klucz ą"));
    EXPECT_EQ(read.mMorvilName, QStringLiteral("Żółw 1"));
    EXPECT_EQ(read.mDefaultCertDays, 400);
    EXPECT_EQ(read.mDefaultCrlDays, 7);
    EXPECT_EQ(read.mDefaultMD, QStringLiteral("ecdsa-with-sha1"));
    // The prompts of [ req_distinguished_name ] do not overwrite the policy.
    EXPECT_EQ(read.mPolicyCountryName, QStringLiteral("match"));
    EXPECT_EQ(read.mPolicyStateOrProvinceName, QStringLiteral("supplied"));
    EXPECT_EQ(read.mPolicyLocalityName, QStringLiteral("match"));
    EXPECT_EQ(read.mPolicyOrganizationName, QStringLiteral("supplied"));
    EXPECT_EQ(read.mPolicyOrganizationalUnitName, QStringLiteral("match"));
    EXPECT_EQ(read.mPolicyCommonName, QStringLiteral("optional"));
    EXPECT_EQ(read.mPolicyEmailAddress, QStringLiteral("supplied"));
    EXPECT_EQ(read.mCaCertFileName, QStringLiteral("CA.cert"));
    EXPECT_EQ(read.mDbFileName, QStringLiteral("db_cert"));
}

// Key references with every character OpenSSL's configuration syntax treats specially (blanks at
// either end, comment signs, quotes, escapes, variables, separators), line breaks and other
// control characters, letters beyond ASCII; then a seeded sample of random ones.
QStringList keyReferences()
{
    QStringList names = { "my tok/k",
                          "Mój token/klucz ą",
                          "TOK1/a#b",
                          "T/k=v",
                          "T/[sekcja]",
                          "T/a/b",
                          " T/k ",
                          "T/\"q\"",
                          "T/'q'",
                          "T/`q`",
                          "T/a\\b",
                          "T/koniec\\",
                          "\\/k",
                          "T/$dir",
                          "T/${dir}",
                          "T/$(dir)",
                          "T/;x,y:z",
                          "T/%1&<b>",
                          "T/k\nRANDFILE=../pwn",
                          "T/k\r\n[ req ]",
                          "T/\t",
                          "T/\x01\x1f\x7f",
                          QString::fromUtf8("T/\u0085\u2028\U0001F600"),
                          "T/\"",
                          "T/\\\"" };
    const QString pool = QString::fromUtf8(" \t\n\r\"'`\\#$=[]{}()/;:,.%&<>*?!~^|+-_@ aZ09ąŻé€\u0085\u00a0\u2028");
    QRandomGenerator random(21);
    for (int i = 0; i < 400; ++i) {
        QString name;
        const int length = random.bounded(1, 33);
        for (int j = 0; j < length; ++j) {
            // Half from the pool of awkward characters, half any ASCII but NUL.
            name += random.bounded(2) == 0 ? pool[random.bounded(int(pool.size()))]
                                           : QChar(char16_t(random.bounded(1, 128)));
        }
        names << name;
    }
    return names;
}

} // namespace

TEST_F(AuthorityStore, EveryKeyReferenceReadsBackAsWrittenByUsAndByTheTool)
{
    // A plain reference is written as it stands, as stores made before hold it; any other in
    // quotes, with line breaks outside them.
    EXPECT_EQ(configurationValue(QStringLiteral("TOK_1/ca-2.x")), QStringLiteral("TOK_1/ca-2.x"));
    EXPECT_EQ(configurationValue(QString::fromUtf8("Żółw/ą")), QString::fromUtf8("Żółw/ą"));
    EXPECT_EQ(configurationValue(QStringLiteral("my tok/k")), QStringLiteral("\"my tok/k\""));
    EXPECT_EQ(configurationValue(QStringLiteral("a\"b\\c\nd\re")), QStringLiteral("\"a\\\"b\\\\c\"\\n\"d\"\\r\"e\""));
    EXPECT_EQ(configurationValue(QString()), QStringLiteral("\"\""));
    mConf.mDefaultMD = QStringLiteral("ecdsa-with-sha1");
    mConf.mPolicyCommonName = QStringLiteral("match");
    for (const QString& name : keyReferences()) {
        const QByteArray octets = name.toUtf8();
        SCOPED_TRACE(octets.toHex(' ').toStdString());
        mConf.mCaKeyName = name;
        const QString text = configurationText(mConf);

        CaConfiguration ours;
        readConfigurationText(text, ours);
        EXPECT_EQ(ours.mCaKeyName, name);
        EXPECT_EQ(ours.mMorvilName, name.section(QLatin1Char('/'), 0, 0));
        EXPECT_EQ(ours.mDefaultMD, mConf.mDefaultMD);
        EXPECT_EQ(ours.mPolicyCommonName, mConf.mPolicyCommonName);
        EXPECT_EQ(ours.mCrlFileName, mConf.mCrlFileName);

        // The tool reads the same reference, and nothing else changed: no setting was added, and
        // the seed file stays in the authority's directory.
        const OpensslConfReading tool(text.toUtf8());
        ASSERT_TRUE(tool.loaded());
        EXPECT_EQ(tool.value("CA_configuration", "private_key"), octets);
        EXPECT_EQ(tool.value("req", "default_keyfile"), octets);
        EXPECT_EQ(tool.value("CA_configuration", "RANDFILE"), QByteArray("./private/.rand"));
        EXPECT_EQ(tool.value("CA_configuration", "default_md"), QByteArray("ecdsa-with-sha1"));
        EXPECT_EQ(tool.settings("CA_configuration"), 19);
        EXPECT_EQ(tool.settings("req"), 7);
        EXPECT_EQ(tool.settings("CA_policy"), 7);
        if (HasFailure()) {
            return; // one name's story is enough
        }
    }
}

// Reading as the tool reads: comments, quotes and escapes; a value runs to the end of its line;
// only a section line leaves the policy; file names are taken after their last "/".
TEST_F(AuthorityStore, ReadingFollowsTheToolsSyntax)
{
    const QString text = QStringLiteral("dir = .\n"
                                        "database = $dir/sub/idx\n"
                                        "certificate=x/y/Inny.cert  # the authority's own\n"
                                        "default_days = many\n"
                                        "default_crl_days = 12\n"
                                        "countryName = match\n" // outside the policy section
                                        "  [ CA_policy ]  \n"
                                        "commonName = match = x\n"
                                        "stateOrProvinceName = \"sup\"'plied' # \"quoted\"\n"
                                        "organizationName = a\\#b\\tc\\\\\n"
                                        "# [ other ]\n"
                                        "localityName = [supplied]\n"
                                        "[ other ]\n"
                                        "organizationalUnitName = supplied\n");
    CaConfiguration read;
    readConfigurationText(text, read);
    EXPECT_EQ(read.mDbFileName, QStringLiteral("idx"));
    EXPECT_EQ(read.mCaCertFileName, QStringLiteral("Inny.cert"));
    EXPECT_EQ(read.mDefaultCertDays, 0);
    EXPECT_EQ(read.mDefaultCrlDays, 12);
    EXPECT_EQ(read.mPolicyCountryName, QStringLiteral("optional"));
    EXPECT_EQ(read.mPolicyCommonName, QStringLiteral("match = x"));
    EXPECT_EQ(read.mPolicyStateOrProvinceName, QStringLiteral("supplied"));
    EXPECT_EQ(read.mPolicyOrganizationName, QStringLiteral("a#b\tc\\"));
    EXPECT_EQ(read.mPolicyEmailAddress, QStringLiteral("optional"));
    EXPECT_EQ(read.mPolicyLocalityName, QStringLiteral("[supplied]"));
    EXPECT_EQ(read.mPolicyOrganizationalUnitName, QStringLiteral("optional"));

    const OpensslConfReading tool(text.toUtf8());
    ASSERT_TRUE(tool.loaded());
    // The tool reads the same.
    const std::pair<const char*, QString> policy[] = { { "commonName", read.mPolicyCommonName },
                                                       { "stateOrProvinceName", read.mPolicyStateOrProvinceName },
                                                       { "organizationName", read.mPolicyOrganizationName },
                                                       { "localityName", read.mPolicyLocalityName } };
    for (const auto& [key, value] : policy) {
        EXPECT_EQ(tool.value("CA_policy", key), value.toUtf8()) << key;
    }

    // A line without "=", which the tool refuses, has no effect here.
    readConfigurationText(QStringLiteral("[ CA_policy ]\nemailAddress\ncountryName\n"), read);
    EXPECT_EQ(read.mPolicyEmailAddress, QStringLiteral("optional"));
    EXPECT_EQ(read.mPolicyCountryName, QStringLiteral("optional"));
}

TEST_F(AuthorityStore, CreatedTreeHasOwnerOnlyFilesAndSerialsOfOne)
{
    EXPECT_TRUE(createAuthorityDirectory(mConf));
    for (const char* sub : { "certs", "certs_new", "crl", "private", "req", "req_new" }) {
        EXPECT_TRUE(QFileInfo(path(QLatin1String(sub))).isDir()) << sub;
    }
    for (const char* name : { "CA.conf", "xml_conf", "db_cert", "CA.cert", "CA.crl", "serial_cert", "serial_crl" }) {
        const QString file = path(QLatin1String(name));
        EXPECT_TRUE(QFileInfo::exists(file)) << name;
        EXPECT_EQ(QFile::permissions(file),
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser)
            << name;
    }
    EXPECT_EQ(readAll(path(QStringLiteral("serial_cert"))), QByteArray("01"));
    EXPECT_EQ(readAll(path(QStringLiteral("serial_crl"))), QByteArray("01"));
    EXPECT_EQ(readAll(path(QStringLiteral("db_cert"))), QByteArray());
}

// A key reference of letters, digits and the signs the tool takes as they are is written as it is.
TEST_F(AuthorityStore, PlainKeyReferencesAreWrittenAsTheyAre)
{
    mConf.mCaKeyName = QStringLiteral("Tz09/azAZ._-");
    ASSERT_TRUE(createAuthorityDirectory(mConf));
    ASSERT_TRUE(writeConfiguration(mConf));
    EXPECT_TRUE(readAll(path(mConf.mConfFileName)).contains("\nprivate_key = Tz09/azAZ._-\n"));
}

// A configuration or a tree that the disk does not take is a failure, and a configuration is
// replaced whole or not at all.
TEST_F(AuthorityStore, WritesThatDoNotReachTheDiskFail)
{
    ASSERT_TRUE(createAuthorityDirectory(mConf));
    ASSERT_TRUE(writeConfiguration(mConf));
    const QByteArray written = readAll(path(QStringLiteral("CA.conf")));
    mConf.mCaKeyName = QStringLiteral("TOK/inny");
    {
        const morvil::test::FileSizeLimit limit(1024);
        EXPECT_FALSE(writeConfiguration(mConf));
        EXPECT_EQ(readAll(path(QStringLiteral("CA.conf"))), written);

        const morvil::test::FileSizeLimit none(0);
        EXPECT_FALSE(createAuthorityDirectory(mConf));
    }
    EXPECT_TRUE(createAuthorityDirectory(mConf));
    // A tree that cannot be made at all.
    QFile blocker(mData.filePath(QStringLiteral("Zajete")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    CaConfiguration taken;
    taken.setName(QStringLiteral("Zajete"), mData.path());
    EXPECT_FALSE(createAuthorityDirectory(taken));
}

TEST_F(AuthorityStore, CreatingAgainReplacesTheOldTreeWithoutLeavingTheStore)
{
    // Something outside the store that a link inside the old tree points at.
    QTemporaryDir outside;
    QFile(outside.filePath(QStringLiteral("keep"))).open(QIODevice::WriteOnly);
    createAuthorityDirectory(mConf);
    QFile(path(QStringLiteral("private/.rand"))).open(QIODevice::WriteOnly);
    QFile(path(QStringLiteral("certs_new/01.pem"))).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(outside.path(), path(QStringLiteral("certs/link"))));

    createAuthorityDirectory(mConf);
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("private/.rand"))));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("certs_new/01.pem"))));
    EXPECT_FALSE(QFileInfo(path(QStringLiteral("certs/link"))).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(outside.filePath(QStringLiteral("keep"))));

    removeAuthorityDirectory(mConf.mConfDirPath);
    EXPECT_FALSE(QFileInfo::exists(mConf.mConfDirPath));
}

TEST_F(AuthorityStore, AnAuthorityNeedsItsConfigurationAndItsMarker)
{
    QDir data(mData.path());
    for (const char* name : { "b-only-conf", "a-only-marker", "C-both", "D-empty" }) {
        data.mkdir(QLatin1String(name));
    }
    QFile(data.filePath(QStringLiteral("b-only-conf/b-only-conf.conf"))).open(QIODevice::WriteOnly);
    QFile(data.filePath(QStringLiteral("a-only-marker/xml_conf"))).open(QIODevice::WriteOnly);
    QFile(data.filePath(QStringLiteral("C-both/C-both.conf"))).open(QIODevice::WriteOnly);
    QFile(data.filePath(QStringLiteral("C-both/xml_conf"))).open(QIODevice::WriteOnly);
    QFile(data.filePath(QStringLiteral("plain-file"))).open(QIODevice::WriteOnly);

    const QStringList candidates = authorityCandidates(mData.path());
    EXPECT_EQ(candidates, (QStringList { "a-only-marker", "b-only-conf", "C-both", "D-empty" }));
    QStringList found;
    for (const QString& name : candidates) {
        CaConfiguration conf;
        conf.setName(name, mData.path());
        if (readConfiguration(conf)) {
            found << name;
        }
    }
    EXPECT_EQ(found, QStringList { "C-both" });
}

// A store entry that is a link to an authority elsewhere is no authority of the store, and
// removing it never reaches into what it points to.
TEST_F(AuthorityStore, LinkedEntriesAreNoAuthoritiesAndRemovalStaysInTheStore)
{
    QTemporaryDir outside;
    CaConfiguration elsewhere;
    elsewhere.setName(QStringLiteral("Obcy"), outside.path());
    elsewhere.mCaKeyName = QStringLiteral("TOK1/ca");
    createAuthorityDirectory(elsewhere);
    ASSERT_TRUE(writeConfiguration(elsewhere));
    createAuthorityDirectory(mConf);
    ASSERT_TRUE(writeConfiguration(mConf));
    const QString link = mData.filePath(QStringLiteral("Obcy"));
    ASSERT_TRUE(QFile::link(elsewhere.mConfDirPath, link));
    EXPECT_EQ(authorityCandidates(mData.path()), QStringList { "CA" });

    removeAuthorityDirectory(link);
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(link));
    EXPECT_TRUE(QFileInfo::exists(elsewhere.mConfDirPath + QStringLiteral("/Obcy.conf")));
    EXPECT_TRUE(QFileInfo::exists(elsewhere.mConfDirPath + QStringLiteral("/private")));
    // Making an authority under a linked name replaces the link, not what it points to.
    ASSERT_TRUE(QFile::link(elsewhere.mConfDirPath, link));
    CaConfiguration replacing;
    replacing.setName(QStringLiteral("Obcy"), mData.path());
    createAuthorityDirectory(replacing);
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo(link).isDir());
    EXPECT_TRUE(QFileInfo::exists(elsewhere.mConfDirPath + QStringLiteral("/Obcy.conf")));
}

// A new authority goes before the first name that compares greater, case-sensitively.
TEST(AuthorityList, NewNameGoesBeforeTheFirstGreater)
{
    const QStringList names = { "B", "D", "a", "c" };
    EXPECT_EQ(authorityInsertPosition(names, QStringLiteral("C")), 1);
    EXPECT_EQ(authorityInsertPosition(names, QStringLiteral("A")), 0);
    EXPECT_EQ(authorityInsertPosition(names, QStringLiteral("b")), 3);
    EXPECT_EQ(authorityInsertPosition(names, QStringLiteral("d")), 4);
    EXPECT_EQ(authorityInsertPosition(names, QStringLiteral("D")), 2);
    EXPECT_EQ(authorityInsertPosition({}, QStringLiteral("D")), 0);
}
