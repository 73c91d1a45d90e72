// bin/morvil_openvpn as the VPN client starts it, against a real OpenVPN server on 127.0.0.1
// and an emulated token: the tunnel comes up with the token signing, the PIN stays off every
// command line and environment, and no openvpn, socket or tunnel outlives the client.
#include "child_process.h"
#include "running_process.h"
#include "token_configs.h"
#include "vpn_testbed.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

using namespace morvil::test;
namespace fs = std::filesystem;

namespace {

using zr40nn::test::kSignCode;
using zr40nn::test::kTryPinCode;
constexpr double kConnectSeconds = 30;
const std::string kTemplate = "nobind\nverb 3\n";

fs::path makeTempDir(const char* pattern)
{
    std::string name = fs::temp_directory_path() / pattern;
    return mkdtemp(name.data()) != nullptr ? fs::path(name) : fs::path();
}

std::string readFile(const fs::path& path)
{
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

class OpenVpnThroughTheToken : public ::testing::Test
{
protected:
    static zr40nn::emu::EmulatedBus& bus()
    {
        static zr40nn::emu::EmulatedBus instance;
        return instance;
    }
    static fs::path& certDir()
    {
        static fs::path dir;
        return dir;
    }
    static zr40nn::emu::TokenConfig& savedToken()
    {
        static zr40nn::emu::TokenConfig token;
        return token;
    }

    // One authority, one token key and its certificate for every test.
    static void SetUpTestSuite()
    {
        // Orphans come to us: a test sees openvpn end even after killing its parent.
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        certDir() = makeTempDir("morvil-vpn-certs-XXXXXX");
        savedToken() = makeVpnToken(bus(), (certDir() / "token_pub.pem").string());
        std::string err;
        ASSERT_TRUE(makeCertificates(certDir(), (certDir() / "token_pub.pem").string(), err)) << err;
    }

    static void TearDownTestSuite() { fs::remove_all(certDir()); }

    void SetUp() override
    {
        ASSERT_EQ(savedToken().name, kVpnTokenName);
        mToken = bus().plug(savedToken());
        mPort = freeUdpPort();
        mServer = startServer(certDir(), mPort);
        mWork = makeTempDir("morvil-vpn-XXXXXX");
        // morvil_openvpn makes its private directory here, so a test can see what is left.
        fs::create_directory(mWork / "tmp");
        makeConnectionDir(mWork / "0000", certDir(), connectionConf(mPort, kVpnKeyReference, kTemplate));
    }

    void TearDown() override
    {
        bus().unplug(mToken);
        mServer.reset();
        fs::remove_all(mWork);
    }

    // With nullDevice (always where no tun device can be made), openvpn gets "--dev null".
    std::unique_ptr<RunningProcess> startClient(const std::string& pin = kVpnPin, bool nullDevice = !tunUsable())
    {
        bus().token(mToken).clearLog();
        std::vector<std::string> environment = { "TMPDIR=" + (mWork / "tmp").string() };
        mDevice = nullDevice ? "null" : "tun";
        if (nullDevice) {
            environment.push_back("MORVIL_OPENVPN_DEV=null");
        }
        return std::make_unique<RunningProcess>(MORVIL_OPENVPN, clientArguments(), (mWork / "0000").string(),
                                                pin + "\n", environment);
    }

    int tokenCommands(std::uint8_t code) { return zr40nn::test::commandCount(bus().token(mToken), code); }

    bool privateDirsLeft() const { return !fs::is_empty(mWork / "tmp"); }

    // The connection is up: morvil_openvpn says so, alone on its standard output, once openvpn
    // reports it (openvpn's own words go to standard error), and the server names the user's
    // certificate.
    void expectUp(RunningProcess& client)
    {
        ASSERT_TRUE(client.waitForOutput(kInitialised, kConnectSeconds, RunningProcess::Channel::Output))
            << client.out() << client.err();
        EXPECT_EQ(client.out(), std::string(kInitialised) + "\n");
        EXPECT_NE(client.err().find(std::string(" ") + kInitialised + "\n"), std::string::npos) << client.err();
        EXPECT_TRUE(mServer->waitForOutput(std::string("CN=") + kVpnUserCn, 5)) << mServer->out();
        EXPECT_GE(tokenCommands(kSignCode), 1);
    }

    // Starts `server` in place of the trusted one, on the same port.
    void replaceServer(std::unique_ptr<RunningProcess> (*server)(const fs::path&, int))
    {
        mServer.reset();
        mServer = server(certDir(), mPort);
    }

    // openvpn, the only child of the client, and the directory of its management socket. It runs
    // on the device asked for, in our environment less the preload (the emulated bus's).
    struct OpenVpnChild
    {
        pid_t pid = -1;
        fs::path socketDir;
    };

    OpenVpnChild openVpnOf(const RunningProcess& client)
    {
        OpenVpnChild child;
        const std::vector<pid_t> children = childrenOf(client.pid());
        EXPECT_EQ(children.size(), 1u);
        if (children.size() != 1) {
            return child;
        }
        child.pid = children[0];
        const std::vector<std::string> args = commandLineOf(child.pid);
        EXPECT_EQ(args.at(0), kOpenVpn);
        const auto management = std::find(args.begin(), args.end(), "--management");
        if (management != args.end() && management + 1 != args.end()) {
            child.socketDir = fs::path(*(management + 1)).parent_path();
        }
        const auto dev = std::find(args.begin(), args.end(), "--dev");
        EXPECT_TRUE(dev != args.end() && dev + 1 != args.end() && *(dev + 1) == mDevice);
        const std::string environment = readFile("/proc/" + std::to_string(child.pid) + "/environ");
        EXPECT_NE(environment.find("TMPDIR=" + (mWork / "tmp").string() + '\0'), std::string::npos);
        EXPECT_EQ(environment.find("LD_PRELOAD="), std::string::npos);
        EXPECT_NE(std::getenv("LD_PRELOAD"), nullptr); // what was dropped
        // Our signals stay ours: openvpn does not hold the descriptor that we read them from.
        for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(child.pid) + "/fd")) {
            std::error_code gone;
            EXPECT_NE(fs::read_symlink(fd.path(), gone), "anon_inode:[signalfd]") << fd.path();
        }
        return child;
    }

    int mToken = -1;
    int mPort = -1;
    std::unique_ptr<RunningProcess> mServer;
    fs::path mWork;
    std::string mDevice; // what the last client was to give openvpn's --dev
};

} // namespace

TEST_F(OpenVpnThroughTheToken, ConnectsWithAColonPinAndEndsCleanlyOnSigterm)
{
    std::unique_ptr<RunningProcess> client = startClient();
    // While the key loads and once openvpn runs: no command line or environment holds the PIN.
    EXPECT_FALSE(processesShow(kVpnPin));
    expectUp(*client);
    EXPECT_EQ(tokenCommands(kTryPinCode), 1); // the key loading's PIN check
    EXPECT_FALSE(processesShow(kVpnPin));

    const OpenVpnChild openVpn = openVpnOf(*client);
    ASSERT_GT(openVpn.pid, 0);
    ASSERT_EQ(openVpn.socketDir.parent_path(), mWork / "tmp");
    struct stat info
    {
    };
    ASSERT_EQ(stat(openVpn.socketDir.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_TRUE(fs::exists(openVpn.socketDir / "sock"));
    // The configuration openvpn reads is the connection's with its key line emptied (the other
    // lines keep their numbers), for us alone.
    std::string conf = connectionConf(mPort, kVpnKeyReference, kTemplate);
    conf.erase(conf.find("key "), std::string("key ").size() + std::strlen(kVpnKeyReference));
    EXPECT_EQ(readFile(openVpn.socketDir / "conf"), conf);
    ASSERT_EQ(stat((openVpn.socketDir / "conf").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_NE(readFile(mWork / "0000" / "log").find("finished successfully"), std::string::npos);

    client->signal(SIGTERM);
    ASSERT_TRUE(client->waitForExit(15));
    EXPECT_EQ(client->exitStatus(), 0) << client->err();
    EXPECT_FALSE(alive(openVpn.pid));
    EXPECT_FALSE(fs::exists(openVpn.socketDir));
}

TEST_F(OpenVpnThroughTheToken, KilledClientTakesOpenVpnWithIt)
{
    std::unique_ptr<RunningProcess> client = startClient();
    expectUp(*client);
    const OpenVpnChild openVpn = openVpnOf(*client);
    ASSERT_GT(openVpn.pid, 0);

    client->signal(SIGKILL);
    ASSERT_TRUE(client->waitForExit(5));
    // openvpn, now our orphan, ends on the parent-death signal.
    int status = 0;
    alarm(15);
    EXPECT_EQ(waitpid(openVpn.pid, &status, 0), openVpn.pid);
    alarm(0);
    EXPECT_TRUE(WIFEXITED(status) || WIFSIGNALED(status));
    EXPECT_TRUE(mServer->running());
}

TEST_F(OpenVpnThroughTheToken, WrongPinMissingTokenOrLogStartsNoTunnel)
{
    // An engine log that cannot be opened: the engine's refusal with OpenSSL's reason.
    std::vector<std::string> args = clientArguments();
    args.back() = "dev_zr40nn:log_file:no/such/dir/log";
    RunningProcess noLog(MORVIL_OPENVPN, args, (mWork / "0000").string(), std::string(kVpnPin) + "\n",
                         { "TMPDIR=" + (mWork / "tmp").string() });
    ASSERT_TRUE(noLog.waitForExit(kConnectSeconds));
    EXPECT_EQ(noLog.exitStatus(), 1);
    EXPECT_NE(noLog.err().find("morvil_openvpn: the engine refused \"log_file:no/such/dir/log\"\n"), std::string::npos)
        << noLog.err();
    EXPECT_EQ(tokenCommands(kTryPinCode), 0);
    EXPECT_FALSE(privateDirsLeft());

    // No PIN line at all is no PIN, not the empty one, and a PIN the token cannot take is none
    // either: no try is spent on the token.
    for (const char* input : { "", "123456789\n" }) {
        RunningProcess noPin(MORVIL_OPENVPN, clientArguments(), (mWork / "0000").string(), input,
                             { "TMPDIR=" + (mWork / "tmp").string() });
        ASSERT_TRUE(noPin.waitForExit(kConnectSeconds));
        EXPECT_EQ(noPin.exitStatus(), 1);
        EXPECT_EQ(noPin.err(), "morvil_openvpn: standard input holds no PIN line, or one of more than 8 octets\n");
    }
    EXPECT_EQ(tokenCommands(kTryPinCode), 0);

    std::unique_ptr<RunningProcess> wrong = startClient("13:57:99");
    ASSERT_TRUE(wrong->waitForExit(kConnectSeconds));
    EXPECT_EQ(wrong->exitStatus(), 1);
    EXPECT_NE(wrong->err().find("morvil_openvpn: the key \"VPNTOK/vpn\" cannot be loaded from the token"),
              std::string::npos)
        << wrong->err();
    EXPECT_EQ(tokenCommands(kTryPinCode), 1);
    EXPECT_EQ(tokenCommands(kSignCode), 0);
    EXPECT_EQ(wrong->out().find(kInitialised), std::string::npos);
    EXPECT_FALSE(privateDirsLeft());
    EXPECT_NE(readFile(mWork / "0000" / "log").find("dev_zr40nn_load_private_key"), std::string::npos);

    bus().unplug(mToken);
    std::unique_ptr<RunningProcess> missing = startClient();
    ASSERT_TRUE(missing->waitForExit(kConnectSeconds));
    EXPECT_EQ(missing->exitStatus(), 1);
    EXPECT_NE(missing->err().find("cannot be loaded from the token"), std::string::npos) << missing->err();
    EXPECT_NE(readFile(mWork / "0000" / "log").find("there is no device with specified name"), std::string::npos);
    EXPECT_FALSE(privateDirsLeft());
    // openvpn may have started its handshake meanwhile; without a signature it never completes.
    EXPECT_EQ(mServer->out().find("Peer Connection Initiated"), std::string::npos);
}

// openvpn's end or a start that cannot be made: the reason, and nothing left behind.
TEST_F(OpenVpnThroughTheToken, OpenVpnEndingEarlyOrNotStartingSaysWhy)
{
    // The management socket's path (TMPDIR/morvil_openvpn-XXXXXX/sock) would not fit an address,
    // with its ending zero, by one octet.
    const std::string tmp = (mWork / "tmp").string() + "/";
    const std::size_t socketInTmp = std::string("/morvil_openvpn-XXXXXX/sock").size();
    const fs::path deep = tmp + std::string(sizeof(sockaddr_un::sun_path) - tmp.size() - socketInTmp, 'd');
    fs::create_directories(deep);
    RunningProcess tooDeep(MORVIL_OPENVPN, clientArguments(), (mWork / "0000").string(), std::string(kVpnPin) + "\n",
                           { "TMPDIR=" + deep.string() });
    ASSERT_TRUE(tooDeep.waitForExit(kConnectSeconds));
    EXPECT_EQ(tooDeep.exitStatus(), 1);
    EXPECT_NE(tooDeep.err().find("morvil_openvpn: the management socket path is too long: " + deep.string()),
              std::string::npos)
        << tooDeep.err();
    EXPECT_TRUE(fs::is_empty(deep));
    fs::remove_all(deep);

    // The device may be replaced by the null one only.
    RunningProcess otherDevice(MORVIL_OPENVPN, clientArguments(), (mWork / "0000").string(),
                               std::string(kVpnPin) + "\n",
                               { "TMPDIR=" + (mWork / "tmp").string(), "MORVIL_OPENVPN_DEV=tap" });
    ASSERT_TRUE(otherDevice.waitForExit(kConnectSeconds));
    EXPECT_EQ(otherDevice.exitStatus(), 1);
    EXPECT_EQ(otherDevice.err(), "morvil_openvpn: MORVIL_OPENVPN_DEV may only be \"null\"\n");
    EXPECT_EQ(tokenCommands(kTryPinCode), 0);

    makeConnectionDir(mWork / "0000", certDir(), connectionConf(mPort, kVpnKeyReference, "no-such-directive 1\n"));
    std::unique_ptr<RunningProcess> client = startClient();
    ASSERT_TRUE(client->waitForExit(kConnectSeconds));
    // openvpn's own status for a configuration error, passed on.
    EXPECT_EQ(client->exitStatus(), 1);
    EXPECT_NE((client->out() + client->err()).find("Options error: Unrecognized option"), std::string::npos)
        << client->out() << client->err();
    EXPECT_FALSE(privateDirsLeft());
}

TEST_F(OpenVpnThroughTheToken, RenegotiationHasTheTokenSignAgain)
{
    makeConnectionDir(mWork / "0000", certDir(), connectionConf(mPort, kVpnKeyReference, kTemplate + "reneg-sec 2\n"));
    // openvpn makes no tun device here, even where it could.
    std::unique_ptr<RunningProcess> client = startClient(kVpnPin, true);
    expectUp(*client);
    EXPECT_GT(openVpnOf(*client).pid, 0);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (tokenCommands(kSignCode) < 2 && std::chrono::steady_clock::now() < until && client->running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_GE(tokenCommands(kSignCode), 2);
    // The key was loaded once: one PIN check, however often it signs.
    EXPECT_EQ(tokenCommands(kTryPinCode), 1);
    EXPECT_TRUE(client->running()) << client->err();
    client->signal(SIGTERM);
    EXPECT_TRUE(client->waitForExit(15));
}

// openvpn quotes the subject of a certificate it refuses, before any trust. A server whose
// self-signed certificate names the line that says a tunnel is up gets quoted on standard error,
// and standard output, where only morvil_openvpn announces the tunnel, stays empty.
TEST_F(OpenVpnThroughTheToken, AServerQuotingTheUpLineBringsNothingUp)
{
    replaceServer(startHostileServer);
    std::unique_ptr<RunningProcess> client = startClient();
    const std::string quoted = "VERIFY ERROR: depth=0, error=self-signed certificate: " + hostileSubject(certDir());
    ASSERT_TRUE(client->waitForOutput(quoted, kConnectSeconds, RunningProcess::Channel::Error))
        << client->out() << client->err();
    ASSERT_TRUE(client->waitForOutput("process restarting", kConnectSeconds, RunningProcess::Channel::Error));
    EXPECT_EQ(client->out(), "");
    EXPECT_EQ(tokenCommands(kSignCode), 0); // the server's certificate is refused before we sign
    client->signal(SIGTERM);
    EXPECT_TRUE(client->waitForExit(15));
    EXPECT_EQ(client->out(), "");
}

namespace {

int occurrences(const std::string& text, const std::string& part)
{
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

// A server that refuses the client's certificate, over TCP, where a refused try ends at once and
// openvpn starts the next. Alone, openvpn pauses at least connect-retry seconds before each new try
// (longer after a few); while we hold it, that pause must still pass. Otherwise every try signs on
// the token again and writes its lines, hundreds of times a second.
TEST_F(OpenVpnThroughTheToken, ARefusedClientTriesNoMoreOftenThanOpenVpnAlone)
{
    constexpr int kRetrySeconds = 2;
    constexpr double kWatchSeconds = 10;
    // At verb 3 openvpn starts with 9 lines; a try that reaches the handshake writes 18 more (5 of
    // them on what it and we tell each other), one refused at connect fewer.
    constexpr int kStartLines = 10;
    constexpr int kMostLinesPerTry = 25;
    constexpr const char* kTry = "Attempting to establish TCP connection";
    replaceServer(startRefusingServer);
    ASSERT_TRUE(mServer->waitForOutput("Listening for incoming TCP connection", kConnectSeconds)) << mServer->out();
    makeConnectionDir(
        mWork / "0000", certDir(),
        connectionConf(mPort, kVpnKeyReference,
                       kTemplate + "proto tcp4-client\nconnect-retry " + std::to_string(kRetrySeconds) + "\n"));
    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<RunningProcess> client = startClient();
    // The first try signs and is refused; a second one follows.
    while (occurrences(client->err() + client->out(), kTry) < 2 && secondsSince(start) < kConnectSeconds
           && client->running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    while (secondsSince(start) < kWatchSeconds) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const int signatures = tokenCommands(kSignCode);
    const std::string output = client->out() + client->err();
    const double seconds = secondsSince(start);

    // No try starts before the pause after the one before it is over.
    const int mostTries = 1 + static_cast<int>(seconds / kRetrySeconds);
    const int tries = occurrences(output, kTry);
    EXPECT_GE(tries, 2) << output;
    EXPECT_LE(tries, mostTries) << output.substr(0, 4000);
    EXPECT_GE(signatures, 1);
    EXPECT_LE(signatures, tries);
    EXPECT_LE(occurrences(output, "\n"), kStartLines + mostTries * kMostLinesPerTry);
    EXPECT_TRUE(client->running());
    client->signal(SIGTERM);
    EXPECT_TRUE(client->waitForExit(15));
    EXPECT_FALSE(privateDirsLeft());
}

// The reader of our standard output, where the tunnel is announced, may go away (a client that
// stopped listening): the announcement goes into the void, and the connection runs on, restarts
// when asked and ends cleanly when asked, as if someone still read.
TEST_F(OpenVpnThroughTheToken, AnAnnouncementNoOneReadsEndsNothing)
{
    // Started with SIGPIPE's default action, whatever this test ignores.
    std::vector<std::string> args { "-c", "{ env --default-signal=PIPE \"$0\" \"$@\"; echo \"status $?\" >&2; } | true",
                                    MORVIL_OPENVPN };
    const std::vector<std::string> client = clientArguments();
    args.insert(args.end(), client.begin(), client.end());
    RunningProcess shell("/bin/sh", args, (mWork / "0000").string(), std::string(kVpnPin) + "\n",
                         { "TMPDIR=" + (mWork / "tmp").string(), "MORVIL_OPENVPN_DEV=null" });
    ASSERT_TRUE(shell.waitForOutput(kInitialised, kConnectSeconds)) << shell.err();
    pid_t clientPid = -1;
    for (pid_t group : childrenOf(shell.pid())) {
        for (pid_t child : childrenOf(group)) {
            const std::vector<std::string> command = commandLineOf(child);
            clientPid = !command.empty() && command[0] == MORVIL_OPENVPN ? child : clientPid;
        }
    }
    ASSERT_GT(clientPid, 0);
    // openvpn takes the restart only after it told us the tunnel was up, which we announced.
    kill(clientPid, SIGHUP);
    const auto reconnected = [&shell] {
        const std::string err = shell.err();
        const std::size_t restart = err.find("process restarting");
        return restart != std::string::npos && err.find("Peer Connection Initiated", restart) != std::string::npos;
    };
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(kConnectSeconds);
    while (!reconnected() && shell.err().find("status ") == std::string::npos
           && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(reconnected()) << shell.err();
    kill(clientPid, SIGTERM);
    ASSERT_TRUE(shell.waitForExit(15));
    EXPECT_NE(shell.err().find("status 0\n"), std::string::npos) << shell.err();
    EXPECT_FALSE(privateDirsLeft());
}
