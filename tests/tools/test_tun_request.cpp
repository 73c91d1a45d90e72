// The starter's input checked before openvpn is started: a configuration as a whole, and the
// starter's command line.
#include "openvpn_options.h"
#include "tun_request.h"
#include "tun_test_words.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

using namespace morvil::openvpn_tun;
using namespace morvil::test;

TEST(TunRequest, ChecksAConfigurationAsAWhole)
{
    // Quoting and escaping do not take a directive past the check, nor does a block or a repeat.
    const std::pair<std::string, std::string> hostile[] = {
        { "remote x\n\"script-security\" 2\n\"up\" /tmp/x.sh\n", "line 2: \"script-security\"" },
        { "remote x\n\n'up' /tmp/x.sh\n", "line 3: \"up\"" },
        { "remote x\n<ca>\nX\n</ca>\nup /tmp/x.sh\n", "line 5: \"up\"" },
        { "verb 3\nverb 4\n--log /root/x\n", "line 3: \"log\"" },
        { "<connection>\nremote x\nup /tmp/x.sh\n</connection>\n", "line 1: \"connection\"" },
    };
    for (const auto& [text, start] : hostile) {
        const Options checked = checkConfig(text);
        EXPECT_TRUE(checked.error.starts_with(start)) << text << checked.error;
        EXPECT_TRUE(checked.list.empty());
    }
    const Options fine = checkConfig("remote x\nrport 1\nca ca\ncert user\n\n# template\nverb 3\nverb 4\n");
    EXPECT_EQ(fine.error, "");
    EXPECT_EQ(shown(fine), (Words { "remote|x", "rport|1", "ca|ca", "cert|user", "verb|3", "verb|4" }));
    EXPECT_EQ(checkConfig("up \"x\n").error, "line 1: no closing quotation mark (\")");
}

TEST(TunRequest, ReadsTheStartersCommandLine)
{
    const TunRequest request = readRequest(tunArgs());
    ASSERT_EQ(request.error, "");
    EXPECT_EQ(request.parent, 4242);
    EXPECT_EQ(request.configPath, "/tmp/p/conf");
    EXPECT_EQ(request.socketPath, "/tmp/p/sock");
    EXPECT_EQ(shown(Options { request.options, "" }), (Words { "dev|tun", "float", "pull", "tls-client" }));

    const std::pair<Words, std::string> refused[] = {
        { {}, "the first argument must be the process id of the caller" },
        { { "" }, "the first argument must be the process id of the caller" },
        { { "--config", "c" }, "the first argument must be the process id of the caller" },
        { { "12a", "--config", "c" }, "the first argument must be the process id of the caller" },
        { tunArgs({ "--up", "/tmp/x.sh" }),
          "\"--up\" is not accepted: openvpn with privileges takes only the options"
          " that a connection needs" },
        { tunArgs({ "--dev", "tap" }), "\"--dev\" does not take the value \"tap\"" },
        { tunArgs({ "--config", "other" }), "--config is given twice" },
        { tunArgs({ "--management", "/tmp/q", "unix" }), "--management is given twice" },
        { tunArgs({ "--management-client", "x" }),
          "\"--management-client\" is not accepted: openvpn with privileges"
          " takes only the options that a connection needs" },
        { { "1", "tun" }, "argument 1: \"tun\" is no option (no leading --)" },
        { { "1", "--config", "c", "--management", "sock", "unix" },
          "--management takes the absolute path of the caller's socket and \"unix\"" },
        { { "1", "--config", "c", "--management", "/s", "unix", "x" },
          "--management takes the absolute path of the caller's socket and \"unix\"" },
        { { "1", "--config", "c", "--management", "127.0.0.1", "7505" },
          "--management takes the absolute path of the caller's socket and \"unix\"" },
        { { "1", "--config", "c", "--management", "/tmp/" + std::string(110, 's'), "unix" },
          "--management takes the absolute path of the caller's socket and \"unix\"" },
        { { "1", "--config", "c" }, "the command line needs --config FILE and --management SOCKET unix" },
        { { "1", "--management", "/s", "unix" }, "the command line needs --config FILE and --management SOCKET unix" },
    };
    for (const auto& [args, error] : refused) {
        EXPECT_EQ(readRequest(args).error, error) << (args.empty() ? "" : args.back());
    }
}
