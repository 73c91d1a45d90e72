// morvil_openssl's translation of morvil_ca's command lines for the stock openssl 3.0.
#include "command_line.h"
#include "openssl_config.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace morvil::openssl_tool;
using Args = std::vector<std::string>;

namespace {

// Runs each test in a directory of its own holding "CA.conf", as the authority's tool runs do.
class CommandLineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/morvil-openssl-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        mDir = dir;
        mOldDir = std::filesystem::current_path();
        std::filesystem::current_path(mDir);
    }

    void TearDown() override
    {
        std::filesystem::current_path(mOldDir);
        std::filesystem::remove_all(mDir);
    }

    static void writeConfig(const std::string& caDigest, const std::string& reqDigest)
    {
        std::ofstream("CA.conf") << "[ ca ]\n\ndefault_ca = CA_configuration\n\n[ CA_configuration ]\n\n"
                                    "dir = .\ndefault_md = "
                                 << caDigest
                                 << "\npreserve = no\n\n[ req ]\n\ndefault_bits = 1024\ndefault_md = " << reqDigest
                                 << "\n";
    }

    std::filesystem::path mDir;
    std::filesystem::path mOldDir;
};

const Args kEngine = { "-engine", "dev_zr40nn", "-passin", "stdin", "-keyform", "ENGINE" };

Args concat(std::initializer_list<Args> parts)
{
    Args all;
    for (const Args& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

} // namespace

TEST(DigestNames, EcdsaWithShaBecomesTheHash)
{
    EXPECT_EQ(hashOfDigestName("ecdsa-with-sha1"), "sha1");
    EXPECT_EQ(hashOfDigestName("ecdsa-with-sha224"), "sha224");
    EXPECT_EQ(hashOfDigestName("ECDSA-with-SHA256"), "sha256");
    EXPECT_EQ(hashOfDigestName("ecdsa-with-sha512"), "sha512");
    EXPECT_EQ(hashOfDigestName("ecdsa-with-sha3"), "ecdsa-with-sha3");
    EXPECT_EQ(hashOfDigestName("sha256"), "sha256");
    EXPECT_EQ(hashOfDigestName("ecdsa-with-"), "ecdsa-with-");
}

TEST_F(CommandLineTest, SelfSignedRequestGetsItsHashOption)
{
    writeConfig("ecdsa-with-sha1", "ecdsa-with-sha1");
    const Args args = concat({ { "req", "-new", "-x509", "-utf8", "-config", "CA.conf", "-set_serial", "0" },
                               kEngine,
                               { "-key", "TOK1/ca", "-days", "3650", "-md", "ecdsa-with-sha224", "-out", "CA.cert",
                                 "-subj", "/C=PL/CN=Urząd" } });
    const Translation t = translate(args);
    ASSERT_EQ(t.error, "");
    // The explicit digest wins over the configuration; nothing else moves.
    EXPECT_EQ(
        t.args,
        concat({ { "req", "-new", "-x509", "-utf8", "-config", "CA.conf", "-set_serial", "0" },
                 kEngine,
                 { "-key", "TOK1/ca", "-days", "3650", "-sha224", "-out", "CA.cert", "-subj", "/C=PL/CN=Urząd" } }));
}

TEST_F(CommandLineTest, CaTakesTheAuthoritysDigestAheadOfInfiles)
{
    writeConfig("ecdsa-with-sha256", "ecdsa-with-sha1");
    const Args args = concat({ { "ca", "-config", "CA.conf" },
                               kEngine,
                               { "-batch", "-infiles", "req_new/a.req", "-md", "req_new/-subject" } });
    const Translation t = translate(args);
    ASSERT_EQ(t.error, "");
    EXPECT_EQ(t.args,
              concat({ { "ca", "-md", "sha256", "-config", "CA.conf" },
                       kEngine,
                       { "-batch", "-infiles", "req_new/a.req", "-md", "req_new/-subject" } }));

    const Args noFiles = concat({ { "ca", "-config", "CA.conf" }, kEngine, { "-batch", "-infiles" } });
    EXPECT_EQ(translate(noFiles).args,
              concat({ { "ca", "-md", "sha256", "-config", "CA.conf" }, kEngine, { "-batch", "-infiles" } }));
}

TEST_F(CommandLineTest, CaOperationsEachGetTheDigest)
{
    writeConfig("ecdsa-with-sha384", "ecdsa-with-sha1");
    for (const Args& operation : { Args { "-updatedb" }, Args { "-revoke", "certs_new/01.pem" },
                                   Args { "-gencrl", "-out", "CA.crl" }, Args { "-batch", "-in", "req_new/x.req" } }) {
        const Args args = concat({ { "ca", "-config", "CA.conf" }, kEngine, operation });
        EXPECT_EQ(translate(args).args,
                  concat({ { "ca", "-md", "sha384", "-config", "CA.conf" }, kEngine, operation }));
    }
    // An explicit -md is translated in place instead.
    EXPECT_EQ(translate({ "ca", "-config", "CA.conf", "-md", "ecdsa-with-sha512", "-gencrl" }).args,
              Args({ "ca", "-config", "CA.conf", "-md", "sha512", "-gencrl" }));
}

TEST_F(CommandLineTest, OrdinaryDigestsAndMissingConfigurationsAreLeftAlone)
{
    writeConfig("sha256", "default");
    EXPECT_EQ(translate({ "ca", "-config", "CA.conf", "-gencrl" }).args,
              Args({ "ca", "-config", "CA.conf", "-gencrl" }));
    EXPECT_EQ(translate({ "ca", "-config", "missing.conf", "-gencrl" }).args,
              Args({ "ca", "-config", "missing.conf", "-gencrl" }));
    EXPECT_EQ(translate({ "ca", "-gencrl" }).args, Args({ "ca", "-gencrl" }));
}

TEST_F(CommandLineTest, RequestVerificationPrintsTheSlashSubject)
{
    writeConfig("ecdsa-with-sha256", "ecdsa-with-sha256");
    EXPECT_EQ(translate({ "req", "-config", "CA.conf", "-in", "req_new/a.req", "-noout", "-verify", "-subject" }).args,
              Args({ "req", "-sha256", "-nameopt", "compat", "-config", "CA.conf", "-in", "req_new/a.req", "-noout",
                     "-verify", "-subject" }));
    EXPECT_EQ(translate({ "x509", "-in", "CA.cert", "-noout", "-startdate", "-enddate", "-subject" }).args,
              Args({ "x509", "-nameopt", "compat", "-in", "CA.cert", "-noout", "-startdate", "-enddate", "-subject" }));
    // A subject given as a value is no -subject option, and an explicit -nameopt stays.
    EXPECT_EQ(translate({ "x509", "-in", "-subject", "-noout" }).args, Args({ "x509", "-in", "-subject", "-noout" }));
    EXPECT_EQ(translate({ "x509", "-nameopt", "oneline", "-subject" }).args,
              Args({ "x509", "-nameopt", "oneline", "-subject" }));
    EXPECT_EQ(translate({ "crl", "-in", "CA.crl", "-noout", "-lastupdate", "-nextupdate" }).args,
              Args({ "crl", "-in", "CA.crl", "-noout", "-lastupdate", "-nextupdate" }));
}

TEST_F(CommandLineTest, PinOnTheCommandLineIsRefused)
{
    const Translation t
        = translate({ "ca", "-config", "CA.conf", "-engine", "dev_zr40nn", "-engctrl", "user_pin:1234", "-gencrl" });
    EXPECT_TRUE(t.args.empty());
    EXPECT_NE(t.error.find("-passin stdin"), std::string::npos);
}

TEST(OpenSslConfigFile, SectionsCommentsAndQuotes)
{
    const OpenSslConfig config = OpenSslConfig::parse("top = 1\n[ ca ]\n  default_ca = CA_configuration # the one\n"
                                                      "[CA_configuration]\ndefault_md=ecdsa-with-sha1\n"
                                                      "default_md = ecdsa-with-sha224\n"
                                                      "nsComment = \"OpenSSL # Generated\"\n# x = y\n");
    EXPECT_EQ(config.value("default", "top"), "1");
    EXPECT_EQ(config.value("ca", "default_ca"), "CA_configuration");
    EXPECT_EQ(config.value("CA_configuration", "default_md"), "ecdsa-with-sha224");
    EXPECT_EQ(config.value("CA_configuration", "nsComment"), "OpenSSL # Generated");
    EXPECT_FALSE(config.value("CA_configuration", "# x").has_value());
    EXPECT_FALSE(config.value("req", "default_md").has_value());
}
