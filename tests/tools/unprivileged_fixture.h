// What the tests of a connect by a user who is not root stand on: the suite installed as an
// administrator installs it (with the component "privileged"), the user "nobody" with a home of
// its own and the connection's directory in it, a real openvpn server, the emulated token lent to
// the user, and openvpn's management connection held by a process of the user's.
#pragma once

#include "child_process.h"
#include "running_process.h"
#include "vpn_testbed.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <thread>

namespace morvil::test {

namespace fs = std::filesystem;

inline constexpr double kConnectSeconds = 30;
inline constexpr double kEndSeconds = 15;
inline const std::string kTemplate = "nobind\nverb 3\n";
inline const std::string kRefused
    = "\" is not accepted: openvpn with privileges takes only the options that a connection needs";

inline std::string readFile(const fs::path& path)
{
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// Waits for the condition, checking every few milliseconds; false when it still fails at the end.
inline bool waitUntil(const std::function<bool()>& condition, double seconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) {
            return condition();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

inline void chownTree(const fs::path& root, uid_t uid, gid_t gid)
{
    lchown(root.c_str(), uid, gid);
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        lchown(entry.path().c_str(), uid, gid);
    }
}

// Whether the network interface exists (from /proc: umockdev's preload hides the real /sys from us).
inline bool interfaceExists(const std::string& name)
{
    return readFile("/proc/net/dev").find(" " + name + ":") != std::string::npos;
}

// Real, effective and saved user ids of a process.
inline std::vector<uid_t> userIdsOf(pid_t pid)
{
    std::istringstream status(readFile("/proc/" + std::to_string(pid) + "/status"));
    std::vector<uid_t> ids;
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("Uid:")) {
            std::istringstream fields(line.substr(4));
            for (uid_t id = 0; ids.size() < 3 && fields >> id;) {
                ids.push_back(id);
            }
        }
    }
    return ids;
}

// openvpn's output shows a restart on SIGHUP and, after it, the handshake made again with what it
// was given (the copies of the certificates, the key on the token).
inline bool restartedAndReconnected(const std::string& output)
{
    const std::size_t restart = output.find("SIGHUP[hard,] received, process restarting");
    return restart != std::string::npos && output.find("Peer Connection Initiated", restart) != std::string::npos;
}

inline pid_t onlyChildOf(pid_t pid)
{
    const std::vector<pid_t> children = childrenOf(pid);
    EXPECT_EQ(children.size(), 1u) << "children of " << pid;
    return children.size() == 1 ? children[0] : -1;
}

// A process we forked as a user: listens on a socket, says so on a pipe, accepts one connection
// (and says so), holds it until the other side closes it, then ends: openvpn's management
// connection, held by someone other than the process that started openvpn.
class HeldManagement
{
public:
    HeldManagement(const std::string& path, uid_t uid, gid_t gid)
    {
        int ready[2];
        EXPECT_EQ(pipe2(ready, O_CLOEXEC), 0);
        mPid = fork();
        if (mPid == 0) {
            // Only async-signal-safe calls: the test has threads.
            sockaddr_un address {};
            address.sun_family = AF_UNIX;
            std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
            const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            // It ends with the test, whatever becomes of the test; the signal is armed after the ids
            // change, which would clear it.
            if (setgroups(0, nullptr) != 0 || setresgid(gid, gid, gid) != 0 || setresuid(uid, uid, uid) != 0
                || prctl(PR_SET_PDEATHSIG, SIGKILL) != 0
                || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(fd, 1) != 0
                || write(ready[1], "l", 1) != 1) {
                _exit(1);
            }
            const int connection = accept(fd, nullptr, nullptr);
            if (connection < 0 || write(ready[1], "a", 1) != 1) {
                _exit(1);
            }
            char buffer[4096];
            while (read(connection, buffer, sizeof(buffer)) > 0) { }
            _exit(0);
        }
        close(ready[1]);
        mReady = ready[0];
        EXPECT_TRUE(said('l'));
    }
    ~HeldManagement()
    {
        if (!ended()) {
            kill(mPid, SIGKILL);
            waitpid(mPid, nullptr, 0);
        }
        close(mReady);
    }

    // Whether it accepted a connection within seconds.
    bool accepted(double seconds = kConnectSeconds) { return said('a', seconds); }
    // The connection was closed on the other side.
    bool ended()
    {
        mEnded = mEnded || waitpid(mPid, nullptr, WNOHANG) == mPid;
        return mEnded;
    }

private:
    bool said(char what, double seconds = kConnectSeconds)
    {
        pollfd readable { mReady, POLLIN, 0 };
        char got = 0;
        return poll(&readable, 1, static_cast<int>(seconds * 1000)) == 1 && read(mReady, &got, 1) == 1 && got == what;
    }

    pid_t mPid = -1;
    int mReady = -1;
    bool mEnded = false;
};

class AsAUserWhoIsNotRoot : public ::testing::Test
{
protected:
    static zr40nn::emu::EmulatedBus& bus()
    {
        static zr40nn::emu::EmulatedBus instance;
        return instance;
    }
    struct Suite
    {
        fs::path root; // where the suite is installed, and the certificates made
        std::string skip; // why these tests cannot run here
        zr40nn::emu::TokenConfig token;
    };
    static Suite& suite()
    {
        static Suite instance;
        return instance;
    }
    static fs::path prefix() { return suite().root / "prefix"; }
    static fs::path certDir() { return suite().root / "certs"; }
    static std::string starterPath() { return (prefix() / "lib/morvil/morvil_openvpn_tun").string(); }

    static void SetUpTestSuite()
    {
        if (geteuid() != 0) {
            suite().skip = "installing set-user-ID and becoming another user need root";
            return;
        }
        // Orphans come to us: a test sees the starter and openvpn end after their parent was killed.
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        std::string name = (fs::temp_directory_path() / "morvil-vpn-user-XXXXXX").string();
        ASSERT_NE(mkdtemp(name.data()), nullptr);
        suite().root = name;
        fs::permissions(suite().root, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        struct statvfs mount;
        ASSERT_EQ(statvfs(name.c_str(), &mount), 0);
        if ((mount.f_flag & ST_NOSUID) != 0) {
            suite().skip = name + " is mounted nosuid";
            return;
        }
        // As the README tells an administrator.
        std::string err;
        ASSERT_TRUE(runQuietly({ CMAKE_COMMAND, "--install", BUILD_DIR, "--prefix", prefix().string() }, "/", err))
            << err;
        ASSERT_TRUE(runQuietly(
            { CMAKE_COMMAND, "--install", BUILD_DIR, "--prefix", prefix().string(), "--component", "privileged" }, "/",
            err))
            << err;
        fs::create_directory(certDir());
        suite().token = makeVpnToken(bus(), (certDir() / "token_pub.pem").string());
        ASSERT_TRUE(makeCertificates(certDir(), (certDir() / "token_pub.pem").string(), err)) << err;
    }

    static void TearDownTestSuite()
    {
        if (!suite().root.empty()) {
            fs::remove_all(suite().root);
        }
    }

    void SetUp() override
    {
        if (!suite().skip.empty()) {
            GTEST_SKIP() << suite().skip;
        }
        const passwd* user = getpwnam("nobody");
        ASSERT_NE(user, nullptr);
        mUid = user->pw_uid;
        mGid = user->pw_gid;
        mToken = bus().plug(suite().token);
        // The emulated bus is reached through umockdev's files, which the user must be able to use.
        chownTree(std::getenv("UMOCKDEV_DIR"), mUid, mGid);
        mPort = freeUdpPort();
        mServer = startServer(certDir(), mPort);
        std::string name = (suite().root / "home-XXXXXX").string();
        ASSERT_NE(mkdtemp(name.data()), nullptr);
        mHome = name;
        makeConnectionDir(connectionDir(), certDir(), connectionConf(mPort, kVpnKeyReference, kTemplate));
        fs::create_directory(mHome / "tmp");
        chownTree(mHome, mUid, mGid);
    }

    void TearDown() override
    {
        if (mToken >= 0) {
            bus().unplug(mToken);
        }
        mServer.reset();
        if (!mHome.empty()) {
            fs::remove_all(mHome);
        }
    }

    fs::path connectionDir() const { return mHome / ".morvil_vpn_client" / "0000"; }

    void writeConf(const std::string& templateText)
    {
        makeConnectionDir(connectionDir(), certDir(), connectionConf(mPort, kVpnKeyReference, templateText));
        chownTree(mHome, mUid, mGid);
    }

    // program run as the user, in the connection's directory, with the user's home; killed when
    // the test dies (the change of ids cleared the parent-death signal that it was started with).
    std::unique_ptr<RunningProcess> runAsUser(const std::string& program, const std::vector<std::string>& args,
                                              const std::string& input = "", std::vector<std::string> environment = {})
    {
        std::vector<std::string> all { "--reuid=" + std::to_string(mUid),
                                       "--regid=" + std::to_string(mGid),
                                       "--clear-groups",
                                       "--pdeathsig",
                                       "SIGKILL",
                                       "--",
                                       program };
        all.insert(all.end(), args.begin(), args.end());
        environment.insert(environment.end(), { "HOME=" + mHome.string(), "TMPDIR=" + (mHome / "tmp").string() });
        return std::make_unique<RunningProcess>("/usr/bin/setpriv", all, connectionDir().string(), input, environment);
    }

    // morvil_openvpn as the VPN client starts it.
    std::unique_ptr<RunningProcess> startClient()
    {
        bus().token(mToken).clearLog();
        return runAsUser((prefix() / "bin/morvil_openvpn").string(), clientArguments(), std::string(kVpnPin) + "\n");
    }

    // The starter run by hand, as any user may: its parent is this test.
    std::unique_ptr<RunningProcess> startStarter(const std::vector<std::string>& args)
    {
        std::vector<std::string> all { std::to_string(getpid()) };
        all.insert(all.end(), args.begin(), args.end());
        return runAsUser(starterPath(), all);
    }

    // What morvil_openvpn would give the starter, for a configuration file (in the connection's
    // directory) and a management socket.
    static std::vector<std::string> starterArgs(const std::string& conf, const std::string& socket)
    {
        return { "--config",
                 conf,
                 "--dev",
                 "tun",
                 "--pull",
                 "--tls-client",
                 "--management",
                 socket,
                 "unix",
                 "--management-client",
                 "--management-hold",
                 "--management-external-key" };
    }

    // The connection's configuration as morvil_openvpn hands it on: without its key line.
    std::string keylessConf(const std::string& templateText) const
    {
        return "remote 127.0.0.1\nrport " + std::to_string(mPort) + "\nca ca\ncert user\n" + templateText;
    }

    void writeUserFile(const std::string& name, const std::string& text)
    {
        std::ofstream(connectionDir() / name) << text;
        chownTree(connectionDir(), mUid, mGid);
    }

    // The tun device that openvpn opened, from what it printed.
    static std::string tunDeviceOf(const RunningProcess& client)
    {
        std::smatch match;
        const std::string output = client.out() + client.err();
        return std::regex_search(output, match, std::regex("TUN/TAP device (\\S+) opened")) ? match[1].str() : "";
    }

    // Every file that the run left in the user's home is the user's.
    void expectHomeOnlyTheUsers()
    {
        for (const auto& entry : fs::recursive_directory_iterator(mHome)) {
            struct stat info
            {
            };
            ASSERT_EQ(lstat(entry.path().c_str(), &info), 0);
            EXPECT_EQ(info.st_uid, mUid) << entry.path();
        }
    }

    uid_t mUid = 0;
    gid_t mGid = 0;
    int mToken = -1;
    int mPort = -1;
    std::unique_ptr<RunningProcess> mServer;
    fs::path mHome;
};

// The starter started by a shell of the user's (its parent), with openvpn's management connection
// held by another process of the user's: whatever ends openvpn now is not the management
// connection going. The shell hands the starter what a user could to make a root openvpn fail or
// leave a trace: an open descriptor of the user's, a core file of any size, and a descriptor limit
// and a file size limit too low for anything.
struct HeldTunnel
{
    std::unique_ptr<RunningProcess> shell;
    std::unique_ptr<HeldManagement> management;
    pid_t starter = -1;
    pid_t openVpn = -1;
};

class HeldTunnelTest : public AsAUserWhoIsNotRoot
{
protected:
    void startHeld(HeldTunnel& held)
    {
        writeUserFile("conf.plain", keylessConf(kTemplate));
        const std::string socket = (mHome / "held.sock").string();
        held.management = std::make_unique<HeldManagement>(socket, mUid, mGid);
        // The starter runs with its standard error closed, as a careless caller may start it.
        std::vector<std::string> args { "-c",
                                        "ulimit -c unlimited && ulimit -S -n 12 && ulimit -S -f 1 && \"$0\" \"$$\" "
                                        "\"$@\" 2>&- 9<conf.plain & wait $!",
                                        starterPath() };
        const std::vector<std::string> rest = starterArgs("conf.plain", socket);
        args.insert(args.end(), rest.begin(), rest.end());
        held.shell = runAsUser("/bin/sh", args);
        // openvpn waits for its hold to be released, which never comes.
        ASSERT_TRUE(held.management->accepted()) << held.shell->err();
        held.starter = onlyChildOf(held.shell->pid());
        ASSERT_GT(held.starter, 0);
        EXPECT_EQ(commandLineOf(held.starter).at(0), starterPath());
        held.openVpn = onlyChildOf(held.starter);
        ASSERT_GT(held.openVpn, 0);
        // Its copies of the files, and the socket, are above the standard descriptors all the same,
        // where nothing that openvpn prints can land in one.
        const std::vector<std::string> openVpnArgs = commandLineOf(held.openVpn);
        int copies = 0;
        for (const std::string& arg : openVpnArgs) {
            if (arg.starts_with("/dev/fd/")) {
                EXPECT_GT(std::stoi(arg.substr(8)), 2) << arg;
                ++copies;
            }
        }
        EXPECT_EQ(copies, 3);
        // Its last word: no local port, no scripts.
        ASSERT_GE(openVpnArgs.size(), 3u);
        EXPECT_EQ(std::vector<std::string>(openVpnArgs.end() - 3, openVpnArgs.end()),
                  (std::vector<std::string> { "--nobind", "--script-security", "0" }));
        // Nothing of the user's open, and limits of its own.
        const fs::path userFile = connectionDir() / "conf.plain";
        for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(held.openVpn) + "/fd")) {
            std::error_code unreadable;
            EXPECT_NE(fs::read_symlink(fd.path(), unreadable), userFile) << fd.path();
        }
        const std::string limits = readFile("/proc/" + std::to_string(held.openVpn) + "/limits");
        for (const char* limit :
             { "Max core file size +0 +0 ", "Max file size +unlimited +unlimited ", "Max open files +1024 +4096 " }) {
            EXPECT_TRUE(std::regex_search(limits, std::regex(limit))) << limit << "\n" << limits;
        }
    }
};

} // namespace morvil::test
