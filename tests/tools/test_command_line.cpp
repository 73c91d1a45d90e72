// morvil_openssl's translation of morvil_ca's command lines for the stock openssl 3.0.
#include "command_line.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace morvil::openssl_tool;
using Args = std::vector<std::string>;

TEST(CommandLine, TranslationsForTheStockProgram)
{
    // In a directory of its own, as the authority's tool runs are.
    char dir[] = "/tmp/morvil-openssl-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::filesystem::path oldDir = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    // A name given twice holds its last value, as openssl reads it.
    std::ofstream("CA.conf") << "[ ca ]\ndefault_ca = CA_configuration\n[ CA_configuration ]\n"
                                "default_md = sha256\ndefault_md = ecdsa-with-sha384\n"
                                "[ req ]\ndefault_md = ecdsa-with-SHA1\n";
    std::ofstream("plain.conf")
        << "[ ca ]\ndefault_ca = x\n[ x ]\ndefault_md = sha256\n[ req ]\ndefault_md = default\n";

    const std::pair<Args, Args> cases[] = {
        // An explicit digest wins over the configuration; nothing else moves.
        { { "req", "-new", "-x509", "-utf8", "-config", "CA.conf", "-md", "ecdsa-with-sha224", "-subj", "/CN=a" },
          { "req", "-new", "-x509", "-utf8", "-config", "CA.conf", "-sha224", "-subj", "/CN=a" } },
        { { "req", "-config", "CA.conf", "-in", "req_new/a.req", "-noout", "-verify", "-subject" },
          { "req", "-sha1", "-nameopt", "compat", "-config", "CA.conf", "-in", "req_new/a.req", "-noout", "-verify",
            "-subject" } },
        // The digest goes ahead of -infiles, which takes every later argument as a file.
        { { "ca", "-config", "CA.conf", "-batch", "-infiles", "req_new/a.req", "-md", "req_new/-subject" },
          { "ca", "-md", "sha384", "-config", "CA.conf", "-batch", "-infiles", "req_new/a.req", "-md",
            "req_new/-subject" } },
        { { "ca", "-config", "CA.conf", "-md", "ECDSA-with-SHA512", "-gencrl" },
          { "ca", "-config", "CA.conf", "-md", "sha512", "-gencrl" } },
        // Ordinary digests, missing configurations and other commands are left alone.
        { { "ca", "-config", "plain.conf", "-gencrl" }, { "ca", "-config", "plain.conf", "-gencrl" } },
        { { "ca", "-config", "missing.conf", "-gencrl" }, { "ca", "-config", "missing.conf", "-gencrl" } },
        { { "ca", "-md", "ecdsa-with-sha3", "-gencrl" }, { "ca", "-md", "ecdsa-with-sha3", "-gencrl" } },
        // A value "-subject" or an explicit -nameopt is no reason.
        { { "x509", "-in", "-subject", "-noout" }, { "x509", "-in", "-subject", "-noout" } },
        { { "x509", "-nameopt", "oneline", "-subject" }, { "x509", "-nameopt", "oneline", "-subject" } },
        // -CAcreateserial is a flag: the option after it is an option.
        { { "x509", "-CAcreateserial", "-subject" }, { "x509", "-nameopt", "compat", "-CAcreateserial", "-subject" } },
    };
    for (const auto& [given, expected] : cases) {
        const Translation t = translate(given);
        EXPECT_EQ(t.args, expected) << given[0] << " " << given[1] << " " << given[2];
        EXPECT_EQ(t.error, "");
        EXPECT_FALSE(t.config.has_value());
    }

    // The PIN must not come on the command line, in any spelling openssl reads as -engctrl and
    // wherever it stands.
    const Args refused[] = {
        { "ca", "-config", "CA.conf", "-engctrl", "user_pin:1234", "-gencrl" },
        { "ca", "--engctrl", "user_pin:1234" },
        { "req", "-engctrl=user_pin:1234" },
        { "ca", "-batch", "-infiles", "a.req", "-engctrl", "user_pin:1234" },
        { "x509", "-CAcreateserial", "-engctrl", "user_pin:1234" },
    };
    for (const Args& args : refused) {
        const Translation pin = translate(args);
        EXPECT_TRUE(pin.args.empty()) << args[1];
        EXPECT_NE(pin.error.find("-passin stdin"), std::string::npos);
    }

    // A UTF-8 subject under the authority's "nombstr" mask: openssl gets the mask utf8only.
    std::ofstream("CA.conf", std::ios::app) << "string_mask = nombstr\n# string_mask = nombstr\n";
    const Translation utf8 = translate({ "req", "-new", "-utf8", "-config", "CA.conf", "-sha256", "-subj", "/CN=ż" });
    ASSERT_TRUE(utf8.config.has_value());
    EXPECT_EQ(utf8.args.at(utf8.configArg), "CA.conf");
    EXPECT_NE(
        utf8.config->find("[ req ]\ndefault_md = ecdsa-with-SHA1\nstring_mask = utf8only\n# string_mask = nombstr\n"),
        std::string::npos);
    EXPECT_FALSE(translate({ "req", "-new", "-config", "CA.conf", "-sha256" }).config.has_value());

    std::filesystem::current_path(oldDir);
    std::filesystem::remove_all(dir);
}
