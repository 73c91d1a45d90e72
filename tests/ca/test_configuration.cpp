// The authority's configuration file and directory: the text the tool works from, reading it
// back, and making and removing the directory.
#include "authority_store.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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

} // namespace

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
    EXPECT_TRUE(readAll(path(mConf.mConfFileName)).contains("private_key = Żółw 1/klucz ą\n"));

    CaConfiguration read;
    read.setName(QStringLiteral("CA"), mData.path());
    ASSERT_TRUE(readConfiguration(read));
    // Blanks vanish when read; the Polish letters survive.
    EXPECT_EQ(read.mCaKeyName, QStringLiteral("Żółw1/kluczą"));
    EXPECT_EQ(read.mMorvilName, QStringLiteral("Żółw1"));
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

TEST_F(AuthorityStore, ReadingTakesFileNamesAfterTheirLastSlash)
{
    CaConfiguration read;
    readConfigurationText(QStringLiteral("database = $dir/sub/idx\n"
                                         "certificate=x/y/Inny.cert\n"
                                         "default_days = many\n"
                                         "countryName = match\n" // outside the policy section
                                         "[ CA_policy ]\n"
                                         "commonName = match = x\n"
                                         "emailAddress\n"
                                         "[ other ]\n"
                                         "localityName = supplied\n"),
                          read);
    EXPECT_EQ(read.mDbFileName, QStringLiteral("idx"));
    EXPECT_EQ(read.mCaCertFileName, QStringLiteral("Inny.cert"));
    EXPECT_EQ(read.mDefaultCertDays, 0);
    EXPECT_EQ(read.mPolicyCountryName, QStringLiteral("optional"));
    EXPECT_EQ(read.mPolicyCommonName, QStringLiteral("match"));
    EXPECT_EQ(read.mPolicyEmailAddress, QStringLiteral("optional"));
    EXPECT_EQ(read.mPolicyLocalityName, QStringLiteral("optional"));
}

TEST_F(AuthorityStore, CreatedTreeHasOwnerOnlyFilesAndSerialsOfOne)
{
    createAuthorityDirectory(mConf);
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
