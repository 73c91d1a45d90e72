// The certificate index as the stock openssl writes it: valid, expired and revoked lines made by
// real "ca" runs with a software key, then parsed.
#include "authority_store.h"
#include "cert_index.h"
#include "openssl_time.h"
#include "tool_runner.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

const QString kOpenSsl = QStringLiteral("/usr/bin/openssl");

class IndexFromOpenssl : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(mData.isValid());
        mConf.setName(QStringLiteral("CA"), mData.path());
        // A software key in a file, and a digest the stock program knows by name.
        mConf.mCaKeyName = QStringLiteral("ca.key");
        mConf.mDefaultMD = QStringLiteral("sha256");
        createAuthorityDirectory(mConf);
        ASSERT_TRUE(writeConfiguration(mConf));
        openssl({ "req", "-new", "-x509", "-config", "CA.conf", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                  "-nodes", "-keyout", "ca.key", "-subj", "/CN=Test CA", "-days", "30", "-out", "CA.cert" });
    }

    void openssl(const QStringList& args)
    {
        const ToolRun run = runTool(kOpenSsl, args, mConf.mConfDirPath, {});
        EXPECT_TRUE(run.succeeded()) << args.join(' ').toStdString() << "\n" << run.err.toStdString();
    }

    void request(const QString& name, const QString& subject)
    {
        openssl({ "req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout",
                  "/dev/null", "-utf8", "-subj", subject, "-out", "req_new/" + name });
    }

    QTemporaryDir mData;
    CaConfiguration mConf;
};

} // namespace

TEST_F(IndexFromOpenssl, ValidExpiredAndRevokedLines)
{
    request("a.req", "/C=PL/O=Firma/CN=User a");
    request("b.req", "/O=Firma/CN=User b/emailAddress=b@firma.pl");
    request("c.req", "/C=PL/CN=User c");
    openssl({ "ca", "-config", "CA.conf", "-batch", "-in", "req_new/a.req" });
    openssl({ "ca", "-config", "CA.conf", "-batch", "-startdate", "190101000000Z", "-enddate", "200101000000Z", "-in",
              "req_new/b.req" });
    openssl({ "ca", "-config", "CA.conf", "-batch", "-in", "req_new/c.req" });
    openssl({ "ca", "-config", "CA.conf", "-revoke", "certs_new/03.pem", "-crl_reason", "keyCompromise" });
    openssl({ "ca", "-config", "CA.conf", "-updatedb" });

    QFile db(mConf.mConfDirPath + "/db_cert");
    ASSERT_TRUE(db.open(QIODevice::ReadOnly));
    const IndexContents index = parseIndex(db.readAll());
    EXPECT_EQ(index.skippedLines, 0);
    ASSERT_EQ(index.entries.size(), 3);

    const IndexEntry& valid = index.entries[0];
    EXPECT_EQ(valid.state, "V");
    EXPECT_EQ(valid.serial, "01");
    EXPECT_EQ(valid.subject, "/C=PL/O=Firma/CN=User a");
    EXPECT_TRUE(valid.revocationDate.isEmpty());
    const QDateTime expiry = readIndexDateTime(valid.expiry);
    EXPECT_GT(expiry, QDateTime::currentDateTimeUtc().addYears(9));

    const IndexEntry& expired = index.entries[1];
    EXPECT_EQ(expired.state, "E");
    EXPECT_EQ(expired.serial, "02");
    EXPECT_EQ(expired.subject, "/O=Firma/CN=User b/emailAddress=b@firma.pl");
    EXPECT_EQ(readIndexDateTime(expired.expiry), QDateTime(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC));

    const IndexEntry& revoked = index.entries[2];
    EXPECT_EQ(revoked.state, "R");
    EXPECT_EQ(revoked.serial, "03");
    EXPECT_EQ(revoked.subject, "/C=PL/CN=User c");
    EXPECT_EQ(revoked.revocationReason, "keyCompromise");
    const QDateTime revokedAt = readIndexDateTime(revoked.revocationDate);
    EXPECT_LE(qAbs(revokedAt.secsTo(QDateTime::currentDateTimeUtc())), 600);
}

TEST(CertIndex, DamagedLinesAreSkipped)
{
    const IndexContents index = parseIndex("V\t300101000000Z\t\t0A\tunknown\t/CN=ok\n"
                                           "\n"
                                           "V\t300101000000Z\t\t0B\n"
                                           "R\t300101000000Z\t200101000000Z\t0C\tunknown\n"
                                           "garbage\n"
                                           "R\t300101000000Z\t200101000000Z\t0D\tunknown\t/CN=revoked"); // no line end
    EXPECT_EQ(index.skippedLines, 3);
    ASSERT_EQ(index.entries.size(), 2);
    EXPECT_EQ(index.entries[0].serial, "0A");
    EXPECT_EQ(index.entries[1].serial, "0D");
    EXPECT_EQ(index.entries[1].revocationDate, "200101000000Z");
    EXPECT_TRUE(index.entries[1].revocationReason.isEmpty());
}
