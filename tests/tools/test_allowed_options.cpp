// The options a privileged openvpn may be given: what the VPN client's connections use, and no
// other option that openvpn knows.
#include "allowed_options.h"
#include "openvpn_options.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <set>
#include <string>
#include <utility>

using namespace morvil::openvpn_tun;

namespace {

std::string refusalOf(const std::string& line)
{
    const Options read = readConfigText(line + "\n");
    EXPECT_EQ(read.list.size(), 1u) << line;
    return read.list.empty() ? "(nothing read)" : refusal(read.list[0]);
}

} // namespace

// The connection header and command line of the VPN client, and templates of its connections:
// each option that openvpn with privileges may be given, once at least.
const char* const kClientLines[] = { "remote 127.0.0.1",
                                     "remote vpn.example.com 1194 udp",
                                     "rport 1194",
                                     "ca ca",
                                     "cert user",
                                     "dev tun",
                                     "float",
                                     "pull",
                                     "tls-client",
                                     "client",
                                     "nobind",
                                     "verb 3",
                                     "verb 11",
                                     "hand-window 5",
                                     "tls-exit",
                                     "reneg-sec 2",
                                     "remote-cert-tls server",
                                     "cipher AES-256-GCM",
                                     "key-direction 1",
                                     "tls-auth ta.key 1",
                                     "tls-auth ta.key",
                                     "tls-crypt tc.key",
                                     "proto tcp-client",
                                     "explicit-exit-notify",
                                     "explicit-exit-notify 2",
                                     "resolv-retry infinite",
                                     "persist-key",
                                     "persist-tun",
                                     "keepalive 10 60",
                                     "verify-x509-name vpn-server name",
                                     "tls-version-min 1.2 or-highest",
                                     "data-ciphers AES-256-GCM:AES-128-GCM",
                                     "auth SHA256",
                                     "mssfix 1400",
                                     "comp-lzo no",
                                     "mute 20",
                                     "connect-retry 5 30",
                                     "crl-verify crl.pem",
                                     "tls-version-min 1.2",
                                     "fragment 1300 mtu",
                                     "rport 65535",
                                     "connect-retry-max 3",
                                     "connect-timeout 10",
                                     "server-poll-timeout 4",
                                     "remote-random",
                                     "ping 10",
                                     "ping-restart 60",
                                     "ping-exit 120",
                                     "tran-window 3600",
                                     "tls-timeout 2",
                                     "reneg-bytes 1000000",
                                     "reneg-pkts 1000",
                                     "remote-cert-eku \"TLS Web Server Authentication\"",
                                     "tls-version-max 1.3",
                                     "tls-cipher TLS-ECDHE-ECDSA-WITH-AES-256-GCM-SHA384",
                                     "tls-ciphersuites TLS_AES_256_GCM_SHA384",
                                     "tls-groups X25519:prime256v1",
                                     "ecdh-curve prime256v1",
                                     "data-ciphers ?CHACHA20-POLY1305:AES-256-GCM",
                                     "data-ciphers-fallback AES-256-CBC",
                                     "auth-nocache",
                                     "tls-crypt-v2 client.key",
                                     "extra-certs extra.pem",
                                     "tun-mtu 1500",
                                     "mtu-disc yes",
                                     "compress lz4-v2",
                                     "allow-compression no",
                                     "mute-replay-warnings" };

TEST(AllowedOptions, TakesWhatTheClientsConnectionsUse)
{
    for (const char* line : kClientLines) {
        EXPECT_EQ(refusalOf(line), "") << line;
    }
    for (const char* block : { "<ca>\nX\n</ca>", "<tls-crypt>\nX\n</tls-crypt>", "<tls-auth>\nX\n</tls-auth>",
                               "<cert>\nX\n</cert>", "<tls-crypt-v2>\nX\n</tls-crypt-v2>",
                               "<extra-certs>\nX\n</extra-certs>", "<crl-verify>\nX\n</crl-verify>" }) {
        EXPECT_EQ(refusalOf(block), "") << block;
    }
}

TEST(AllowedOptions, RefusesWhatRunsProgramsFilesPortsServersOrClearTextAndEverythingUnknown)
{
    const std::string notAccepted
        = " is not accepted: openvpn with privileges takes only the options that a connection needs";
    for (const char* name : { "up",
                              "down",
                              "route-up",
                              "route-pre-down",
                              "ipchange",
                              "tls-verify",
                              "learn-address",
                              "auth-user-pass-verify",
                              "client-connect",
                              "script-security",
                              "plugin",
                              "iproute",
                              "setenv",
                              "setenv-safe",
                              "ignore-unknown-option",
                              "config",
                              "cd",
                              "chroot",
                              "tmp-dir",
                              "log",
                              "log-append",
                              "status",
                              "writepid",
                              "replay-persist",
                              "tls-export-cert",
                              "auth-user-pass",
                              "askpass",
                              "http-proxy-user-pass",
                              "management",
                              "management-client-user",
                              "dev-node",
                              "lport",
                              "bind",
                              "port",
                              "local",
                              "mode",
                              "server",
                              "tls-server",
                              "inetd",
                              "port-share",
                              "ifconfig",
                              "ifconfig-ipv6",
                              "dev-type",
                              "lladdr",
                              "push",
                              "client-config-dir",
                              "engine",
                              "providers",
                              "pkcs11-providers",
                              "socks-proxy",
                              "http-proxy",
                              "management-external-cert",
                              "mark",
                              "secret",
                              "pkcs12",
                              "key",
                              "daemon",
                              "user",
                              "route",
                              "no-such-option",
                              "" }) {
        EXPECT_EQ(refusalOf(std::string("\"") + name + "\" x"), "\"" + std::string(name) + "\"" + notAccepted);
    }
    EXPECT_EQ(refusalOf("<connection>\nremote x\n</connection>"), "\"connection\"" + notAccepted);
    EXPECT_EQ(refusalOf("<verb>\n3\n</verb>"), "\"verb\" cannot come as an inline block");
    const std::pair<const char*, const char*> wrong[] = {
        { "nobind 1", "\"nobind\" takes no value" },
        { "verb", "\"verb\" takes 1 value, not 0" },
        { "remote a 1 udp x", "\"remote\" takes 1 to 3 values, not 4" },
        { "keepalive 10", "\"keepalive\" takes 2 values, not 1" },
        { "crl-verify dir dir", "\"crl-verify\" takes 1 value, not 2" },
        { "ca ca extra", "\"ca\" takes 1 value, not 2" },
        { "fragment 1300 fixed", "\"fragment\" does not take the value \"fixed\"" },
        { "rport 123456", "\"rport\" does not take the value \"123456\"" },
        { "proto tcp-server", "\"proto\" does not take the value \"tcp-server\"" },
        { "dev tap", "\"dev\" does not take the value \"tap\"" },
        { "dev null", "\"dev\" does not take the value \"null\"" },
        { "verb 12", "\"verb\" does not take the value \"12\"" },
        { "rport 1194x", "\"rport\" does not take the value \"1194x\"" },
        { "remote a -1", "\"remote\" does not take the value \"-1\"" },
        { "tls-auth ta.key 2", "\"tls-auth\" does not take the value \"2\"" },
        { "remote-cert-tls peer", "\"remote-cert-tls\" does not take the value \"peer\"" },
        // On openvpn's command line, a value that begins with "--" would be an option.
        { "remote --up", "\"remote\" does not take the value \"--up\"" },
        { "cipher \"a\\\tb\"", "\"cipher\" does not take the value \"a\tb\"" },
        // The data channel in clear text, or a control channel without encryption or authentication.
        { "cipher none", "\"cipher\" does not take the value \"none\"" },
        { "cipher NONE", "\"cipher\" does not take the value \"NONE\"" },
        { "auth none", "\"auth\" does not take the value \"none\"" },
        { "data-ciphers AES-256-GCM:none", "\"data-ciphers\" does not take the value \"AES-256-GCM:none\"" },
        { "data-ciphers ?None", "\"data-ciphers\" does not take the value \"?None\"" },
        { "data-ciphers-fallback none", "\"data-ciphers-fallback\" does not take the value \"none\"" },
        { "tls-cipher DEFAULT:eNULL", "\"tls-cipher\" does not take the value \"DEFAULT:eNULL\"" },
        { "tls-cipher aNULL", "\"tls-cipher\" does not take the value \"aNULL\"" },
    };
    for (const auto& [line, reason] : wrong) {
        EXPECT_EQ(refusalOf(line), reason) << line;
    }
    EXPECT_TRUE(namesFile("ca"));
    EXPECT_TRUE(namesFile("tls-auth"));
    EXPECT_FALSE(namesFile("remote"));
    EXPECT_FALSE(namesFile("log"));
}

// Every option that openvpn itself lists, other than those above, is refused by its name.
TEST(AllowedOptions, RefusesEveryOtherOptionThatOpenVpnKnows)
{
    std::set<std::string> accepted;
    for (const char* line : kClientLines) {
        accepted.insert(std::string(line).substr(0, std::string(line).find(' ')));
    }
    std::string help;
    FILE* out = popen("/usr/sbin/openvpn --help 2>/dev/null", "r");
    ASSERT_NE(out, nullptr);
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof(buffer), out)) > 0;) {
        help.append(buffer, n);
    }
    pclose(out);
    std::set<std::string> known;
    const std::regex option("--([a-z0-9][a-z0-9-]*)");
    for (auto it = std::sregex_iterator(help.begin(), help.end(), option); it != std::sregex_iterator(); ++it) {
        known.insert((*it)[1].str());
    }
    ASSERT_GT(known.size(), 200u) << help;
    for (const std::string& name : known) {
        if (!accepted.contains(name)) {
            EXPECT_TRUE(refusal(Option { name, {} }).starts_with("\"" + name + "\" is not accepted")) << name;
        }
    }
}
