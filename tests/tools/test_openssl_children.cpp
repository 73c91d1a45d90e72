// The stock openssl, through bin/morvil_openssl, loading the engine module and signing a whole
// authority's life with a key on an emulated token: the command lines that morvil_ca gives,
// the PIN on standard input only, the results checked by openssl itself.
#include "child_process.h"
#include "token_configs.h"
#include "token_crypto.h"
#include "usb_testbed.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace morvil::test;
using namespace zr40nn;
using Args = std::vector<std::string>;

namespace {

constexpr const char* kPin = "73915284";
constexpr const char* kOpenSsl = "/usr/bin/openssl";
const Args kEngineArgs = { "-engine", "dev_zr40nn", "-passin", "stdin", "-keyform", "ENGINE" };

Args operator+(Args head, const Args& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

std::string readFile(const std::filesystem::path& path)
{
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

class AuthorityThroughTheEngine : public ::testing::Test
{
protected:
    static emu::EmulatedBus& bus()
    {
        static emu::EmulatedBus instance;
        return instance;
    }

    // A token TOK1 with the authority's key in slot "ca", and the directory that morvil_ca makes
    // for an authority "CA" on it (AUTHORITY_CONF is the configuration it generates).
    void SetUp() override
    {
        emu::TokenConfig token = test::configuredToken("TOK1");
        token.userPin = mUserPin;
        token.keys[0] = emu::generateKeyPair(2560, "inny").value();
        token.keys[1] = emu::generateKeyPair(2560, "ca").value();
        mToken = bus().plug(token);

        char dir[] = "/tmp/morvil-ca-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        mDir = dir;
        for (const char* sub : { "certs", "certs_new", "crl", "private", "req", "req_new" }) {
            std::filesystem::create_directory(mDir / sub);
        }
        std::filesystem::copy_file(AUTHORITY_CONF, mDir / "CA.conf");
        for (const char* empty : { "xml_conf", "db_cert", "CA.cert", "CA.crl" }) {
            std::ofstream(mDir / empty);
        }
        std::ofstream(mDir / "serial_cert") << "01";
        std::ofstream(mDir / "serial_crl") << "01";
    }

    void TearDown() override
    {
        bus().unplug(mToken);
        std::filesystem::remove_all(mDir);
    }

    // morvil_openssl in the authority's directory, the PIN on its standard input, which must stay
    // off every command line and environment.
    ChildResult tool(const Args& args, const std::string& pin = kPin)
    {
        bus().token(mToken).clearLog();
        ChildResult result = runChild(MORVIL_OPENSSL, args, mDir, pin + "\n", kPin);
        EXPECT_FALSE(result.secretSeen);
        return result;
    }

    ChildResult openssl(const Args& args) { return runChild(kOpenSsl, args, mDir, "", kPin); }

    int tokenCommands(std::uint8_t code) { return zr40nn::test::commandCount(bus().token(mToken), code); }

    // morvil_ca's command lines: the self-signing "req", and "ca" with the engine arguments
    // between before and after.
    ChildResult createAuthority(const std::string& subject, const std::string& pin = kPin)
    {
        return tool(Args { "req", "-new", "-x509", "-utf8", "-config", "CA.conf", "-set_serial", "0" } + kEngineArgs
                        + Args { "-key", "TOK1/ca", "-days", "3650", "-md", "ecdsa-with-sha256", "-out", "CA.cert",
                                 "-subj", subject },
                    pin);
    }

    ChildResult ca(const Args& before, const Args& after, const std::string& pin = kPin)
    {
        return tool(Args { "ca", "-config", "CA.conf" } + before + kEngineArgs + after, pin);
    }

    // The run succeeded and had the token make that many signatures.
    void expectSigned(const ChildResult& run, int signatures)
    {
        EXPECT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(tokenCommands(zr40nn::test::kSignCode), signatures);
    }

    void expectVerifies(const std::string& certificate)
    {
        const ChildResult verified = openssl({ "verify", "-CAfile", "CA.cert", certificate });
        EXPECT_EQ(verified.out, certificate + ": OK\n") << verified.err;
        const ChildResult text = openssl({ "x509", "-in", certificate, "-noout", "-text" });
        EXPECT_NE(text.out.find("Signature Algorithm: ecdsa-with-SHA256"), std::string::npos);
    }

    std::string mUserPin = kPin; // the token's
    int mToken = 0;
    std::filesystem::path mDir;
};

// A token whose user PIN is empty: an empty line on standard input is its PIN.
class EmptyUserPin : public AuthorityThroughTheEngine
{
protected:
    EmptyUserPin() { mUserPin.clear(); }
};

} // namespace

TEST(PinScan, SeesCommandLinesAndEnvironments)
{
    // The watch must be able to fail: it finds what this very process shows.
    EXPECT_TRUE(processesShow("tools_openssl_children"));
    EXPECT_TRUE(processesShow("LD_PRELOAD=libumockdev-preload"));
    EXPECT_FALSE(processesShow(std::string("not") + "-shown-" + kPin));
}

TEST_F(AuthorityThroughTheEngine, CreateSignRevokeAndIssueList)
{
    // The subject is UTF-8 with letters beyond Latin-1, as the authority dialog allows.
    expectSigned(createAuthority("/C=PL/O=Morvil/CN=Urząd Łódź"), 1);
    expectVerifies("CA.cert");
    const ChildResult shown = tool({ "x509", "-in", "CA.cert", "-noout", "-startdate", "-enddate", "-subject" });
    EXPECT_NE(shown.out.find("\nsubject=/C=PL/O=Morvil/CN=Urz\\xC4\\x85d \\xC5\\x81\\xC3\\xB3d\\xC5\\xBA\n"),
              std::string::npos)
        << shown.out;
    EXPECT_NE(openssl({ "x509", "-in", "CA.cert", "-noout", "-serial" }).out.find("serial=00\n"), std::string::npos);

    // Opening the authority loads the key (one PIN check) and signs nothing.
    expectSigned(ca({ "-updatedb" }, {}), 0);
    EXPECT_EQ(tokenCommands(zr40nn::test::kTryPinCode), 1);

    for (const char* user : { "a", "b", "c" }) {
        const ChildResult made = openssl(
            { "req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout", "/dev/null",
              "-subj", std::string("/C=PL/CN=User ") + user, "-out", std::string("req_new/") + user + ".req" });
        ASSERT_EQ(made.exitStatus, 0) << made.err;
    }
    const ChildResult checked
        = tool({ "req", "-config", "CA.conf", "-in", "req_new/a.req", "-noout", "-verify", "-subject" });
    EXPECT_EQ(checked.exitStatus, 0) << checked.err;
    EXPECT_EQ(checked.out, "subject=/C=PL/CN=User a\n");
    EXPECT_EQ(checked.err.find("verify failure"), std::string::npos);

    expectSigned(ca({}, { "-batch", "-in", "req_new/a.req" }), 1);
    expectSigned(ca({}, { "-batch", "-infiles", "req_new/b.req", "req_new/c.req" }), 2);
    for (const char* certificate : { "certs_new/01.pem", "certs_new/02.pem", "certs_new/03.pem" }) {
        SCOPED_TRACE(certificate);
        expectVerifies(certificate);
    }
    EXPECT_EQ(readFile(mDir / "serial_cert"), "04\n");

    expectSigned(ca({}, { "-revoke", "certs_new/01.pem" }), 0);
    EXPECT_EQ(readFile(mDir / "db_cert").substr(0, 2), "R\t");

    expectSigned(ca({ "-gencrl" }, { "-out", "CA.crl" }), 1);
    const ChildResult crl = openssl({ "crl", "-in", "CA.crl", "-CAfile", "CA.cert", "-noout", "-verify", "-text" });
    EXPECT_EQ(crl.exitStatus, 0) << crl.err;
    EXPECT_NE(crl.err.find("verify OK"), std::string::npos);
    EXPECT_NE(crl.out.find("Serial Number: 01"), std::string::npos) << crl.out;
    EXPECT_EQ(crl.out.find("Serial Number: 02"), std::string::npos);
    EXPECT_EQ(readFile(mDir / "serial_crl"), "02\n");
}

TEST_F(EmptyUserPin, SelfSignsWithAnEmptyLineAsThePin)
{
    expectSigned(createAuthority("/C=PL/CN=Pusty PIN", ""), 1);
    EXPECT_EQ(tokenCommands(zr40nn::test::kTryPinCode), 1);
    expectVerifies("CA.cert");
}

TEST(EngineModule, StockOpensslFindsItById)
{
    setenv("OPENSSL_ENGINES", ENGINE_DIR, 1);
    const ChildResult listed = runChild(kOpenSsl, { "engine", "-t", "-vvv", "dev_zr40nn" }, "/", "", kPin);
    unsetenv("OPENSSL_ENGINES");
    EXPECT_EQ(listed.exitStatus, 0) << listed.err;
    EXPECT_EQ(listed.out,
              "(dev_zr40nn) Brenvar Morvil DEV-ZR40NN engine support\n"
              "     [ available ]\n"
              "     log_file: Set log file to write engine messages\n"
              "          (input flags): STRING\n"
              "     token_name: Set token name which will be used by default\n"
              "          (input flags): STRING\n"
              "     key_name: Set key name which will be used by default\n"
              "          (input flags): STRING\n"
              "     user_pin: Set User PIN which will be used for authentication\n"
              "          (input flags): STRING\n");
}
