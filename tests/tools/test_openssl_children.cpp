// The stock openssl, through bin/morvil_openssl, loading the engine module and signing a whole
// authority's life with a key on an emulated token: the command lines that morvil_ca gives,
// the PIN on standard input only, the results checked by openssl itself.
#include "child_process.h"
#include "token_crypto.h"
#include "usb_testbed.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
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

// The configuration that morvil_ca generates for an authority "CA" keyed on TOK1/ca.
const char* const kConfiguration = R"([ ca ]

default_ca = CA_configuration

[ CA_configuration ]

dir = .
certs = $dir/certs
new_certs_dir = $dir/certs_new
crl_dir = $dir/crl
database = $dir/db_cert
private_key = TOK1/ca
certificate = $dir/CA.cert
serial = $dir/serial_cert
crl = $dir/CA.crl
crlnumber = $dir/serial_crl
RANDFILE = $dir/private/.rand
x509_extensions = usr_cert
name_opt = ca_default
cert_opt = ca_default
default_days = 3650
default_crl_days = 30
default_md = ecdsa-with-sha256
preserve = no
policy = CA_policy

[ CA_policy ]

countryName = optional
stateOrProvinceName = optional
localityName = optional
organizationName = optional
organizationalUnitName = optional
commonName = supplied
emailAddress = optional

[ usr_cert ]

basicConstraints = CA:FALSE
nsComment = "OpenSSL Generated Certificate"
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid, issuer

[ v3_ca ]

basicConstraints = CA:TRUE
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid:always, issuer:always

[ crl_ext ]

authorityKeyIdentifier = keyid:always, issuer:always

[ req ]

default_bits = 1024
default_keyfile = TOK1/ca
default_md = ecdsa-with-sha256
distinguished_name = req_distinguished_name
attributes = req_attributes
x509_extensions = v3_ca
string_mask = nombstr

[ req_distinguished_name ]

countryName = Country Name (2 letter code)
countryName_default = PL
countryName_min = 2
countryName_max = 2
stateOrProvinceName = State or Province Name (full name)
stateOrProvinceName_default = Some-State
localityName = Locality Name (eg, city)
0.organizationName = Organization Name (eg, company)
0.organizationName_default = Internet Widgits Pty Ltd
organizationalUnitName = Organizational Unit Name (eg, section)
commonName = Common Name (eg, YOUR name)
commonName_max = 64
emailAddress = Email Address

emailAddress_max = 64

[ req_attributes ]
challengePassword = A challenge password
challengePassword_min = 4
challengePassword_max = 20
unstructuredName = An optional company name

)";

const Args kEngineArgs = { "-engine", "dev_zr40nn", "-passin", "stdin", "-keyform", "ENGINE" };

Args concat(std::initializer_list<Args> parts)
{
    Args all;
    for (const Args& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
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

    void SetUp() override
    {
        emu::TokenConfig token;
        token.serial = "ZR40NN-CA01";
        token.state = emu::kInitialised | emu::kConfigured;
        token.name = "TOK1";
        token.soPin = "87654321";
        token.userPin = kPin;
        token.soPinLimit = 5;
        token.userPinLimit = 3;
        token.keys[0] = *emu::generateKeyPair(2560, "inny");
        token.keys[1] = *emu::generateKeyPair(2560, "ca");
        mToken = bus().plug(token);

        char dir[] = "/tmp/morvil-ca-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        mDir = dir;
        for (const char* sub : { "certs", "certs_new", "crl", "private", "req", "req_new" }) {
            std::filesystem::create_directory(mDir / sub);
        }
        std::ofstream(mDir / "CA.conf") << kConfiguration;
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

    // morvil_openssl in the authority's directory, the PIN on its standard input. Every run
    // must keep the PIN off all command lines and environments.
    ChildResult tool(const Args& args, const std::string& pin = kPin)
    {
        bus().token(mToken).clearLog();
        ChildResult result = runChild(MORVIL_OPENSSL, args, mDir, pin + "\n", kPin);
        EXPECT_GT(result.scans, 0);
        EXPECT_FALSE(result.secretSeen);
        return result;
    }

    ChildResult openssl(const Args& args) { return runChild(kOpenSsl, args, mDir, "", kPin); }

    int tokenCommands(std::uint8_t code)
    {
        int count = 0;
        for (const emu::LogEntry& entry : bus().token(mToken).log()) {
            count += entry.code == code ? 1 : 0;
        }
        return count;
    }

    void createAuthority()
    {
        const ChildResult created
            = tool(concat({ { "req", "-new", "-x509", "-utf8", "-config", "CA.conf", "-set_serial", "0" },
                            kEngineArgs,
                            { "-key", "TOK1/ca", "-days", "3650", "-md", "ecdsa-with-sha256", "-out", "CA.cert",
                              "-subj", "/C=PL/O=Morvil/CN=Test CA" } }));
        ASSERT_EQ(created.exitStatus, 0) << created.err;
        EXPECT_EQ(tokenCommands(0x49), 1);
    }

    void makeRequest(const std::string& file, const std::string& commonName)
    {
        const ChildResult made
            = openssl({ "req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout",
                        "/dev/null", "-subj", "/C=PL/CN=" + commonName, "-out", "req_new/" + file });
        ASSERT_EQ(made.exitStatus, 0) << made.err;
    }

    void expectVerifies(const std::string& certificate)
    {
        const ChildResult verified = openssl({ "verify", "-CAfile", "CA.cert", certificate });
        EXPECT_EQ(verified.exitStatus, 0) << verified.out << verified.err;
        EXPECT_EQ(verified.out, certificate + ": OK\n");
    }

    int mToken = 0;
    std::filesystem::path mDir;
};

} // namespace

TEST(PinScan, FindsASecretOnACommandLine)
{
    // The watch must be able to fail: a child waiting with the PIN on its command line is seen
    // (as soon as its exec is done), and the same child given the PIN on its input is not.
    Child shown = startChild("/bin/sh", { "-c", std::string("read line; : ") + kPin }, "/");
    bool seen = false;
    for (int attempt = 0; attempt < 5000 && !seen; ++attempt) {
        seen = processesShow(kPin);
        usleep(1000);
    }
    EXPECT_TRUE(seen);
    EXPECT_EQ(finishChild(shown, "go\n", "unused-secret").exitStatus, 0);

    const ChildResult hidden = runChild("/bin/sh", { "-c", "read line" }, "/", std::string(kPin) + "\n", kPin);
    EXPECT_EQ(hidden.exitStatus, 0);
    EXPECT_FALSE(hidden.secretSeen);
}

TEST_F(AuthorityThroughTheEngine, CreateSignRevokeAndIssueList)
{
    createAuthority();
    expectVerifies("CA.cert");
    const ChildResult shown = tool({ "x509", "-in", "CA.cert", "-noout", "-startdate", "-enddate", "-subject" });
    ASSERT_EQ(shown.exitStatus, 0) << shown.err;
    EXPECT_NE(shown.out.find("\nsubject=/C=PL/O=Morvil/CN=Test CA\n"), std::string::npos) << shown.out;
    const ChildResult text = openssl({ "x509", "-in", "CA.cert", "-noout", "-serial", "-text" });
    EXPECT_NE(text.out.find("serial=00\n"), std::string::npos);
    EXPECT_NE(text.out.find("Signature Algorithm: ecdsa-with-SHA256"), std::string::npos);

    // Opening the authority loads the key (one PIN check) and signs nothing.
    const ChildResult opened = tool(concat({ { "ca", "-config", "CA.conf", "-updatedb" }, kEngineArgs }));
    EXPECT_EQ(opened.exitStatus, 0) << opened.err;
    EXPECT_EQ(tokenCommands(0x49), 0);
    EXPECT_EQ(tokenCommands(0x2F), 1);

    makeRequest("a.req", "User A");
    makeRequest("b.req", "User B");
    makeRequest("c.req", "User C");
    const ChildResult checked
        = tool({ "req", "-config", "CA.conf", "-in", "req_new/a.req", "-noout", "-verify", "-subject" });
    EXPECT_EQ(checked.exitStatus, 0) << checked.err;
    EXPECT_EQ(checked.out, "subject=/C=PL/CN=User A\n");
    EXPECT_EQ(checked.err.find("verify failure"), std::string::npos);

    const ChildResult one
        = tool(concat({ { "ca", "-config", "CA.conf" }, kEngineArgs, { "-batch", "-in", "req_new/a.req" } }));
    ASSERT_EQ(one.exitStatus, 0) << one.err;
    EXPECT_EQ(tokenCommands(0x49), 1);
    const ChildResult all = tool(concat(
        { { "ca", "-config", "CA.conf" }, kEngineArgs, { "-batch", "-infiles", "req_new/b.req", "req_new/c.req" } }));
    ASSERT_EQ(all.exitStatus, 0) << all.err;
    EXPECT_EQ(tokenCommands(0x49), 2);
    for (const char* certificate : { "certs_new/01.pem", "certs_new/02.pem", "certs_new/03.pem" }) {
        SCOPED_TRACE(certificate);
        expectVerifies(certificate);
        const ChildResult issued = openssl({ "x509", "-in", certificate, "-noout", "-text" });
        EXPECT_NE(issued.out.find("Signature Algorithm: ecdsa-with-SHA256"), std::string::npos);
    }
    EXPECT_EQ(readFile(mDir / "serial_cert"), "04\n");

    const ChildResult revoked
        = tool(concat({ { "ca", "-config", "CA.conf" }, kEngineArgs, { "-revoke", "certs_new/01.pem" } }));
    ASSERT_EQ(revoked.exitStatus, 0) << revoked.err;
    EXPECT_EQ(tokenCommands(0x49), 0);
    EXPECT_EQ(readFile(mDir / "db_cert").substr(0, 2), "R\t");

    const ChildResult listed
        = tool(concat({ { "ca", "-config", "CA.conf", "-gencrl" }, kEngineArgs, { "-out", "CA.crl" } }));
    ASSERT_EQ(listed.exitStatus, 0) << listed.err;
    EXPECT_EQ(tokenCommands(0x49), 1);
    const ChildResult crlChecked = openssl({ "crl", "-in", "CA.crl", "-CAfile", "CA.cert", "-noout", "-verify" });
    EXPECT_EQ(crlChecked.exitStatus, 0) << crlChecked.err;
    EXPECT_NE((crlChecked.out + crlChecked.err).find("verify OK"), std::string::npos);
    const ChildResult crlText = openssl({ "crl", "-in", "CA.crl", "-noout", "-text" });
    EXPECT_NE(crlText.out.find("Serial Number: 01"), std::string::npos) << crlText.out;
    EXPECT_EQ(crlText.out.find("Serial Number: 02"), std::string::npos);
    EXPECT_EQ(readFile(mDir / "serial_crl"), "02\n");
    const ChildResult dates = tool({ "crl", "-in", "CA.crl", "-noout", "-lastupdate", "-nextupdate" });
    EXPECT_EQ(dates.exitStatus, 0);
    EXPECT_NE(dates.out.find("nextUpdate="), std::string::npos);
}

TEST_F(AuthorityThroughTheEngine, WrongPinSignsNothingAndCostsOneTry)
{
    const ChildResult refused
        = tool(concat({ { "req", "-new", "-x509", "-config", "CA.conf" },
                        kEngineArgs,
                        { "-key", "TOK1/ca", "-md", "ecdsa-with-sha256", "-out", "CA.cert", "-subj", "/CN=Test CA" } }),
               "11111111");
    EXPECT_NE(refused.exitStatus, 0);
    EXPECT_EQ(tokenCommands(0x49), 0);
    EXPECT_EQ(tokenCommands(0x2F), 1);
    EXPECT_EQ(bus().token(mToken).snapshot().userPinTries, 1);
    EXPECT_EQ(std::filesystem::file_size(mDir / "CA.cert"), 0u);

    // No PIN at all asks the token nothing.
    const ChildResult empty = tool(concat({ { "ca", "-config", "CA.conf", "-updatedb" }, kEngineArgs }), "");
    EXPECT_NE(empty.exitStatus, 0);
    EXPECT_EQ(tokenCommands(0x2F), 0);

    createAuthority();
    EXPECT_EQ(bus().token(mToken).snapshot().userPinTries, 0);
}

TEST_F(AuthorityThroughTheEngine, PinAsControlCommandIsRefused)
{
    const ChildResult refused = tool({ "ca", "-config", "CA.conf", "-engine", "dev_zr40nn", "-engctrl",
                                       std::string("user_pin:") + "00000000", "-gencrl", "-out", "CA.crl" });
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_NE(refused.err.find("-passin stdin"), std::string::npos);
    EXPECT_TRUE(bus().token(mToken).log().empty());
}

TEST(EngineModule, StockOpensslFindsItById)
{
    setenv("OPENSSL_ENGINES", ENGINE_DIR, 1);
    const ChildResult listed = runChild(kOpenSsl, { "engine", "-t", "-v", "dev_zr40nn" }, "/", "", kPin);
    unsetenv("OPENSSL_ENGINES");
    EXPECT_EQ(listed.exitStatus, 0) << listed.err;
    EXPECT_EQ(listed.out,
              "(dev_zr40nn) Brenvar Morvil DEV-ZR40NN engine support\n"
              "     [ available ]\n"
              "     log_file, token_name, key_name, user_pin\n");
}

TEST(EngineModule, ExportsOnlyTheDynamicEntryPoints)
{
    void* module = dlopen(ENGINE_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    using CheckFn = unsigned long (*)(unsigned long);
    const auto check = reinterpret_cast<CheckFn>(dlsym(module, "v_check"));
    ASSERT_NE(check, nullptr);
    EXPECT_NE(dlsym(module, "bind_engine"), nullptr);
    EXPECT_EQ(check(0x00030000), 0x00030000u);
    EXPECT_EQ(check(0x00020000), 0u);
    for (const char* hidden : { "ENGINE_load_dev_zr40nn", "DEV_ZR40NN_lib_init", "DEV_ZR40NN_cmd_ecdsa_sign" }) {
        EXPECT_EQ(dlsym(module, hidden), nullptr) << hidden;
    }
    dlclose(module);
}
