// morvil_openvpn_tun's parts on their own: openvpn's options read as openvpn reads them, the
// options a privileged openvpn may be given, the starter's command line, and openvpn's command line
// made from them with copies of the files they name.
#include "allowed_options.h"
#include "openvpn_options.h"
#include "tun_request.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>

using namespace morvil::openvpn_tun;
using namespace std::string_literals;
using Words = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

// Each option as "name|param|param", an inline one as "<name>|text".
Words shown(const Options& options)
{
    Words result;
    for (const Option& option : options.list) {
        std::string text = option.isInline ? "<" + option.name + ">" : option.name;
        for (const std::string& param : option.params) {
            text += "|" + param;
        }
        result.push_back(text);
    }
    return result;
}

} // namespace

TEST(OpenVpnOptions, ReadsQuotesEscapesCommentsAndDashesAsOpenVpnDoes)
{
    const std::pair<std::string, Words> cases[] = {
        { "remote 10.0.0.1 1194\n", { "remote|10.0.0.1|1194" } },
        // Quoted names are names; "--" goes, a single "-" stays.
        { "\"up\" /x.sh\n'script-security' \"2\"\n--down y\n-verb 3\n",
          { "up|/x.sh", "script-security|2", "down|y", "-verb|3" } },
        // Escapes: \\ \" and \<blank> outside single quotes; within them, none.
        { "a \"b c\" 'd\\e' f\\ g \\\"h \"i\\\"j\\\\\"\n", { "a|b c|d\\e|f g|\"h|i\"j\\" } },
        // A closing quote ends the word; a quote inside a plain word is plain.
        { "a \"b\"c d\"e\n", { "a|b|c|d\"e" } },
        { "a '' \"\" b\n", { "a|||b" } },
        // A word that starts with '#' or ';' ends the line, even escaped; inside a word it is text.
        { "  verb\t3 ; a comment\nverb x#y #z\n\\#up x\n;up\n#up\n", { "verb|3", "verb|x#y" } },
        // A backslash before a blank between words is a blank; before the line feed, it keeps it.
        { "a \\ b\nc d\\\n", { "a|b", "c|d\n" } },
        // A byte order mark on the first line only; CR LF line ends.
        { "\xEF\xBB\xBFverb 3\r\n\xEF\xBB\xBFup x\r\n", { "verb|3", "\xEF\xBB\xBFup|x" } },
        // Inline blocks, however the tag is written; their lines are text, up to the first line
        // that starts (after blanks) with the closing tag, whatever follows it.
        { "<ca>\nup /x\n\t</ca>\n\"<tls-auth>\"\nA\n  </tls-auth> junk\n--<cert>\nB\n</cert>\nverb 3\n",
          { "<ca>|up /x\n", "<tls-auth>|A\n", "<cert>|B\n", "verb|3" } },
        // Not a block: a tag with a word after it, or a lone "<>".
        { "<ca> x\n<>\n", { "<ca>|x", "<>" } },
        { "", {} },
    };
    for (const auto& [text, expected] : cases) {
        const Options read = readConfigText(text);
        EXPECT_EQ(read.error, "") << text;
        EXPECT_EQ(shown(read), expected) << text;
    }
    const Options numbered = readConfigText("# one\n<ca>\nx\n</ca>\n\nverb 3\n");
    ASSERT_EQ(numbered.list.size(), 2u);
    EXPECT_EQ(numbered.list[0].line, 2);
    EXPECT_EQ(numbered.list[1].line, 6);
}

TEST(OpenVpnOptions, RefusesTextThatOpenVpnWouldReadOtherwise)
{
    const std::string longLine = "verb 3" + std::string(kLongestLine - 5, ' ') + "\n";
    const std::pair<std::string, std::string> cases[] = {
        { "verb 3\nup \"x\n", "line 2: no closing quotation mark (\")" },
        { "up 'x\n", "line 1: no closing quotation mark (')" },
        { "u\\p x\n", "line 1: a backslash before 'p' (openvpn takes only \\\\, \\\" and \\ with a blank)" },
        { "up \"a\\b\"\n", "line 1: a backslash before 'b' (openvpn takes only \\\\, \\\" and \\ with a blank)" },
        { "verb 3\\", "line 1: the line ends after a backslash" },
        // openvpn stops a line at a NUL, and refuses a line longer than it reads in one piece; in a
        // block it would cut the line in two, and a piece could close the block.
        { "verb 3\nverb 3\0 up /x\n"s, "line 2: a NUL byte, where openvpn stops reading the line" },
        { "verb 3\n" + longLine, "line 2: longer than the 254 octets that openvpn reads as one line" },
        { "<ca>\n" + longLine + "</ca>\n", "line 2: longer than the 254 octets that openvpn reads as one line" },
        { "<ca>\nx\n</cert>\n", "line 1: no </ca> closes the block" },
        // openvpn drops the words after the 16th unread.
        { "remote a b c d e f g h i j k l m n o p\n", "line 1: more words than openvpn reads on a line" },
    };
    for (const auto& [text, error] : cases) {
        const Options read = readConfigText(text);
        EXPECT_EQ(read.error, error) << text;
    }
    EXPECT_EQ(readConfigText(std::string(kLongestLine, 'x') + "\n").error, "");
}

TEST(OpenVpnOptions, ReadsACommandLine)
{
    const Options read = readCommandLine({ "--dev", "tun", "--float", "--remote", "a", "1", "udp", "--", "x y" });
    EXPECT_EQ(read.error, "");
    EXPECT_EQ(shown(read), (Words { "dev|tun", "float", "remote|a|1|udp", "|x y" }));
    EXPECT_EQ(read.list[0].spelled(), "--dev");
    EXPECT_EQ(read.list[2].line, 4);
    EXPECT_EQ(readCommandLine({ "-dev", "tun" }).error, "argument 1: \"-dev\" is no option (no leading --)");
    Words many { "--remote" };
    many.resize(17, "p");
    EXPECT_EQ(readCommandLine(many).error, "argument 1: more parameters than openvpn takes");
    many.pop_back();
    EXPECT_EQ(readCommandLine(many).error, "");
}

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

namespace {

const Words kClientArgs { "--dev", "tun", "--float", "--pull", "--tls-client" };

// What morvil_openvpn gives the starter, with the options of its caller.
Words tunArgs(const Words& extra = kClientArgs, const std::string& socket = "/tmp/p/sock")
{
    Words args { "4242", "--config", "/tmp/p/conf" };
    args.insert(args.end(), extra.begin(), extra.end());
    args.insert(
        args.end(),
        { "--management", socket, "unix", "--management-client", "--management-hold", "--management-external-key" });
    return args;
}

} // namespace

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

namespace {

class InATempDir : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string name = (fs::temp_directory_path() / "morvil-tun-XXXXXX").string();
        ASSERT_NE(mkdtemp(name.data()), nullptr);
        mDir = name;
        mOld = fs::current_path();
        fs::current_path(mDir);
    }
    void TearDown() override
    {
        if (mListener >= 0) {
            close(mListener);
        }
        fs::current_path(mOld);
        fs::remove_all(mDir);
    }

    static std::string contentsOf(const std::string& path)
    {
        std::ostringstream text;
        text << std::ifstream(path, std::ios::binary).rdbuf();
        return text.str();
    }

    static std::size_t openDescriptors()
    {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
    }

    // A socket listening at path, closed with the test.
    void listenAt(const std::string& path)
    {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        mListener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_EQ(bind(mListener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        ASSERT_EQ(listen(mListener, 1), 0);
    }

    // Whether a connection to path reaches our socket.
    bool reachesOurSocket(const std::string& path)
    {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
        close(fd);
        const int accepted = connected ? accept4(mListener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC) : -1;
        if (accepted >= 0) {
            close(accepted);
        }
        return accepted >= 0;
    }

    fs::path mDir;
    fs::path mOld;
    int mListener = -1;
};

} // namespace

TEST_F(InATempDir, OpenVpnGetsCopiesOfTheFilesAndTheManagementOfItsCaller)
{
    std::ofstream("ca") << "CA PEM\n";
    std::ofstream("user") << "USER PEM\n";
    std::ofstream("ta.key") << "TA KEY\n";
    const std::string socketPath = (mDir / "sock").string();
    ASSERT_NO_FATAL_FAILURE(listenAt(socketPath));
    const Options config = checkConfig("remote 127.0.0.1\nrport 1194\nca ca\ncert user\ntls-auth ta.key 1\n"
                                       "<tls-crypt>\nTC KEY\n</tls-crypt>\nverb 3\n");
    ASSERT_EQ(config.error, "");
    const TunRequest request = readRequest(tunArgs(kClientArgs, socketPath));
    const std::size_t openBefore = openDescriptors();
    auto copies = std::make_unique<FileCopies>();
    std::string error;
    const Words args = openVpnArgs(config.list, request, "anna", *copies, error);
    EXPECT_EQ(error, "");
    ASSERT_EQ(args.size(), 31u);
    // The files are ours now: what becomes of the caller's is nothing to openvpn.
    const std::string caCopy = args[5];
    fs::remove("ca");
    std::ofstream("user") << "CHANGED\n";
    const std::pair<std::size_t, std::string> copied[]
        = { { 5, "CA PEM\n" }, { 7, "USER PEM\n" }, { 9, "TA KEY\n" }, { 12, "TC KEY\n" } };
    for (const auto& [at, text] : copied) {
        EXPECT_TRUE(args[at].starts_with("/dev/fd/")) << args[at];
        EXPECT_EQ(contentsOf(args[at]), text);
    }
    EXPECT_EQ(args[10], "1");
    EXPECT_EQ(Words(args.begin(), args.begin() + 5), (Words { "--remote", "127.0.0.1", "--rport", "1194", "--ca" }));
    // The socket as we reached it: a path moved elsewhere later leads openvpn nowhere else.
    const std::string socketCopy = args[21];
    EXPECT_TRUE(socketCopy.starts_with("/dev/fd/")) << socketCopy;
    fs::rename(socketPath, mDir / "moved");
    EXPECT_TRUE(reachesOurSocket(socketCopy));
    // Whatever came before: no local port, no program run.
    EXPECT_EQ(Words(args.begin() + 13, args.end()),
              (Words { "--verb", "3", "--dev", "tun", "--float", "--pull", "--tls-client", "--management", socketCopy,
                       "unix", "--management-client", "--management-client-user", "anna", "--management-hold",
                       "--management-external-key", "--nobind", "--script-security", "0" }));
    // Only we may open a copy.
    struct stat info
    {
    };
    ASSERT_EQ(stat(caCopy.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // The copies last as long as their owner, and no longer.
    EXPECT_EQ(openDescriptors(), openBefore + 5);
    copies.reset();
    EXPECT_EQ(openDescriptors(), openBefore);
}

TEST_F(InATempDir, OpenVpnRunsOnlyAsAClientOfASocketOfTheCallers)
{
    const std::string socketPath = (mDir / "sock").string();
    ASSERT_NO_FATAL_FAILURE(listenAt(socketPath));
    const std::string notAClient = "openvpn with privileges runs only as a client: the options must hold \"client\","
                                   " or \"pull\" and \"tls-client\"";
    const std::pair<std::string, Words> modes[] = {
        { "remote x\n", { "--dev", "tun" } },
        { "remote x\n", { "--dev", "tun", "--pull" } },
        { "remote x\ntls-client\n", { "--dev", "tun" } },
    };
    for (const auto& [conf, extra] : modes) {
        FileCopies copies;
        std::string error;
        EXPECT_TRUE(openVpnArgs(checkConfig(conf).list, readRequest(tunArgs(extra, socketPath)), "anna", copies, error)
                        .empty());
        EXPECT_EQ(error, notAClient) << conf << extra.back();
    }
    const std::pair<std::string, Words> clients[] = {
        { "remote x\n", { "--dev", "tun", "--client" } },
        { "client\nremote x\n", { "--dev", "tun" } },
        { "remote x\npull\n", { "--dev", "tun", "--tls-client" } },
    };
    for (const auto& [conf, extra] : clients) {
        FileCopies copies;
        std::string error;
        EXPECT_FALSE(openVpnArgs(checkConfig(conf).list, readRequest(tunArgs(extra, socketPath)), "anna", copies, error)
                         .empty());
        EXPECT_EQ(error, "") << conf << extra.back();
    }

    // Only a socket, and only the caller's (root's, here).
    std::ofstream("plain") << "x\n";
    ASSERT_EQ(chown(socketPath.c_str(), 65534, 65534), 0);
    const std::pair<std::string, std::string> notOurs[] = {
        { mDir / "missing",
          "cannot reach the management socket " + (mDir / "missing").string() + ": No such file or directory" },
        { mDir / "plain", (mDir / "plain").string() + " is not a socket of the caller's" },
        { socketPath, socketPath + " is not a socket of the caller's" },
    };
    const std::size_t openBefore = openDescriptors();
    for (const auto& [path, reason] : notOurs) {
        FileCopies copies;
        std::string error;
        EXPECT_TRUE(
            openVpnArgs(checkConfig("remote x\n").list, readRequest(tunArgs(kClientArgs, path)), "anna", copies, error)
                .empty());
        EXPECT_EQ(error, reason);
    }
    EXPECT_EQ(openDescriptors(), openBefore);
}

TEST_F(InATempDir, ReadsOnlyRegularFilesOfAFairSize)
{
    ASSERT_EQ(mkfifo("fifo", 0600), 0);
    fs::create_directory("dir");
    std::ofstream("big") << std::string(kLargestFile + 1, 'x');
    std::ofstream("fits") << std::string(kLargestFile, 'x');
    std::string text;
    std::string error;
    const std::size_t openBefore = openDescriptors();
    // A FIFO must not hold the starter up, whether or not anyone writes to it.
    EXPECT_FALSE(readAsCaller("fifo", text, error));
    EXPECT_EQ(error, "fifo is not a regular file");
    EXPECT_FALSE(readAsCaller("dir", text, error));
    EXPECT_EQ(error, "dir is not a regular file");
    EXPECT_FALSE(readAsCaller("big", text, error));
    EXPECT_EQ(error, "big is larger than 1048576 octets");
    EXPECT_FALSE(readAsCaller("missing", text, error));
    EXPECT_EQ(error, "cannot read missing: No such file or directory");
    EXPECT_TRUE(readAsCaller("fits", text, error));
    EXPECT_EQ(text.size(), kLargestFile);
    // Each file read is closed again, read or refused.
    EXPECT_EQ(openDescriptors(), openBefore);

    const Options config = checkConfig("ca missing\n");
    FileCopies copies;
    ASSERT_NO_FATAL_FAILURE(listenAt((mDir / "sock").string()));
    EXPECT_TRUE(
        openVpnArgs(config.list, readRequest(tunArgs(kClientArgs, (mDir / "sock").string())), "anna", copies, error)
            .empty());
    EXPECT_EQ(error, "cannot read missing: No such file or directory");
}

TEST(FileCopies, SaysWhenNoCopyCanBeMade)
{
    // No descriptor left for a copy.
    rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    const int lowestFree = dup(0);
    ASSERT_GE(lowestFree, 0);
    close(lowestFree);
    rlimit none = old;
    none.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
    std::string error;
    std::string copy;
    {
        FileCopies copies;
        copy = copies.ofText("CA PEM\n", error);
    }
    setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_EQ(copy, "");
    EXPECT_EQ(error, "cannot copy a file for openvpn: Too many open files");
}
