// The whole connect as a desktop user who is not root: the suite installed as an administrator
// installs it, with the component that makes morvil_openvpn_tun set-user-ID root; bin/morvil_openvpn
// run as "nobody", with a home of its own, exactly as the VPN client runs it, against a real
// OpenVPN server on 127.0.0.1 and an emulated token. The tunnel comes up on a real tun device and
// goes down on disconnect and when the client is killed; nothing that a hostile configuration or
// command line asks for runs or writes anything as root. Needs root (to install set-user-ID and
// to become "nobody"), as CI runs.
#include "openvpn_tool_interface.h"
#include "unprivileged_fixture.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

using namespace morvil::test;
namespace fs = std::filesystem;

TEST_F(AsAUserWhoIsNotRoot, ConnectsOnATunDeviceAndDisconnects)
{
    if (!tunUsable()) {
        GTEST_SKIP() << "no tun device can be made here";
    }
    std::unique_ptr<RunningProcess> client = startClient();
    ASSERT_TRUE(client->waitForOutput(kInitialised, kConnectSeconds)) << client->out() << client->err();
    EXPECT_TRUE(mServer->waitForOutput(std::string("CN=") + kVpnUserCn, 5)) << mServer->out();
    EXPECT_FALSE(processesShow(kVpnPin));
    // morvil_openvpn as the user; the starter set-user-ID root, which the user may signal; openvpn
    // root through and through.
    EXPECT_EQ(userIdsOf(client->pid()), (std::vector<uid_t> { mUid, mUid, mUid }));
    const pid_t starter = onlyChildOf(client->pid());
    ASSERT_GT(starter, 0);
    EXPECT_EQ(commandLineOf(starter).at(0), starterPath());
    EXPECT_EQ(userIdsOf(starter), (std::vector<uid_t> { mUid, 0, 0 }));
    const pid_t openVpn = onlyChildOf(starter);
    ASSERT_GT(openVpn, 0);
    EXPECT_EQ(commandLineOf(openVpn).at(0), kOpenVpn);
    EXPECT_EQ(userIdsOf(openVpn), (std::vector<uid_t> { 0, 0, 0 }));
    const std::string tun = tunDeviceOf(*client);
    ASSERT_NE(tun, "") << client->out() << client->err();
    EXPECT_TRUE(interfaceExists(tun)) << readFile("/proc/net/dev");
    EXPECT_NE(readFile(connectionDir() / "log").find("finished successfully"), std::string::npos);

    // A restart request reaches the root openvpn, which connects again on what it was given.
    client->signal(SIGHUP);
    EXPECT_TRUE(waitUntil(
        [&client] { return restartedAndReconnected(client->out()) || restartedAndReconnected(client->err()); },
        kConnectSeconds))
        << client->out() << client->err();
    EXPECT_EQ(onlyChildOf(starter), openVpn);

    client->signal(SIGTERM);
    ASSERT_TRUE(client->waitForExit(kEndSeconds));
    EXPECT_EQ(client->exitStatus(), 0) << client->err();
    EXPECT_FALSE(alive(starter));
    EXPECT_FALSE(alive(openVpn));
    EXPECT_TRUE(waitUntil([&tun] { return !interfaceExists(tun); }, kEndSeconds));
    EXPECT_TRUE(fs::is_empty(mHome / "tmp"));
    expectHomeOnlyTheUsers();
}

TEST_F(AsAUserWhoIsNotRoot, KilledClientTakesTheTunnelDown)
{
    if (!tunUsable()) {
        GTEST_SKIP() << "no tun device can be made here";
    }
    std::unique_ptr<RunningProcess> client = startClient();
    ASSERT_TRUE(client->waitForOutput(kInitialised, kConnectSeconds)) << client->out() << client->err();
    const pid_t starter = onlyChildOf(client->pid());
    ASSERT_GT(starter, 0);
    const pid_t openVpn = onlyChildOf(starter);
    const std::string tun = tunDeviceOf(*client);
    ASSERT_NE(tun, "");

    client->signal(SIGKILL);
    ASSERT_TRUE(client->waitForExit(5));
    // The starter, now our orphan, ends with openvpn.
    int status = 0;
    EXPECT_TRUE(waitUntil([&] { return waitpid(starter, &status, WNOHANG) == starter; }, kEndSeconds));
    EXPECT_TRUE(waitUntil([&] { return !alive(openVpn); }, kEndSeconds));
    EXPECT_TRUE(waitUntil([&tun] { return !interfaceExists(tun); }, kEndSeconds));
    EXPECT_TRUE(mServer->running());
}

TEST_F(HeldTunnelTest, TheStarterEndsOpenVpnWhenItsCallerDies)
{
    HeldTunnel held;
    ASSERT_NO_FATAL_FAILURE(startHeld(held));
    // The kernel forgot the parent-death signal at the set-user-ID start: the starter armed it again.
    held.shell->signal(SIGKILL);
    EXPECT_TRUE(waitUntil([&held] { return held.management->ended(); }, kEndSeconds));
    EXPECT_TRUE(waitUntil([&held] { return !alive(held.openVpn) && !alive(held.starter); }, kEndSeconds));
}

TEST_F(HeldTunnelTest, TheStarterKillsOpenVpnThatDoesNotStopInTimeAndEndsWithItsStatus)
{
    HeldTunnel held;
    ASSERT_NO_FATAL_FAILURE(startHeld(held));
    // A stopped openvpn cannot end when asked: the starter kills it once its time to stop is up.
    ASSERT_EQ(kill(held.openVpn, SIGSTOP), 0);
    const auto asked = std::chrono::steady_clock::now();
    ASSERT_EQ(kill(held.starter, SIGTERM), 0);
    // The shell ends with the starter's status, which is openvpn's: 128 + the signal.
    ASSERT_TRUE(held.shell->waitForExit(morvil::openvpn_tool::kStopSeconds));
    EXPECT_GE(std::chrono::steady_clock::now() - asked,
              std::chrono::seconds(morvil::openvpn_tool::kOpenVpnStopSeconds));
    EXPECT_EQ(held.shell->exitStatus(), 128 + SIGKILL);
    EXPECT_FALSE(alive(held.starter));
}

TEST_F(HeldTunnelTest, OpenVpnDiesWithTheStarter)
{
    HeldTunnel held;
    ASSERT_NO_FATAL_FAILURE(startHeld(held));
    kill(held.starter, SIGKILL);
    EXPECT_TRUE(waitUntil([&held] { return held.management->ended(); }, kEndSeconds));
    EXPECT_TRUE(waitUntil([&held] { return !alive(held.openVpn); }, kEndSeconds));
}

TEST_F(AsAUserWhoIsNotRoot, AHostileConfigurationIsRefusedBeforeAnythingStarts)
{
    const fs::path ran = suite().root / "script-ran";
    writeUserFile("up.sh", "#!/bin/sh\ntouch " + ran.string() + "\n");
    fs::permissions(connectionDir() / "up.sh", fs::perms::owner_all);
    writeConf(kTemplate + "\"script-security\" 2\n\"up\" " + (connectionDir() / "up.sh").string() + "\n");
    std::unique_ptr<RunningProcess> client = startClient();
    ASSERT_TRUE(client->waitForExit(kConnectSeconds));
    EXPECT_EQ(client->exitStatus(), 1);
    EXPECT_NE(client->err().find("morvil_openvpn: conf: line 16: \"script-security" + kRefused), std::string::npos)
        << client->err();
    // Not even the token was asked.
    EXPECT_TRUE(bus().token(mToken).log().empty());
    EXPECT_FALSE(fs::exists(ran));
    expectHomeOnlyTheUsers();

    // morvil_openvpn made set-user-ID does not run at all.
    const fs::path copy = suite().root / "morvil_openvpn";
    fs::copy_file(prefix() / "bin/morvil_openvpn", copy);
    ASSERT_EQ(chmod(copy.c_str(), 04755), 0);
    writeConf(kTemplate);
    std::unique_ptr<RunningProcess> setUid = runAsUser(copy.string(), clientArguments(), std::string(kVpnPin) + "\n");
    ASSERT_TRUE(setUid->waitForExit(kConnectSeconds));
    EXPECT_EQ(setUid->exitStatus(), 1);
    EXPECT_NE(setUid->err().find("morvil_openvpn: must run with its caller's rights only"), std::string::npos)
        << setUid->err();
    EXPECT_TRUE(bus().token(mToken).log().empty());
}

TEST_F(AsAUserWhoIsNotRoot, TheStarterRefusesWhatAUserHandsItDirectly)
{
    // Where root may write and the user may not; and a file that only root may read.
    const fs::path written = suite().root / "written-as-root";
    const fs::path secret = suite().root / "root-only";
    std::ofstream(secret) << "ROOT SECRET\n";
    fs::permissions(secret, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_EQ(mkfifo((connectionDir() / "fifo").c_str(), 0600), 0);
    chownTree(connectionDir(), mUid, mGid);
    const std::string socket = (mHome / "mgmt.sock").string();
    const std::string w = written.string();
    const std::pair<std::string, std::string> hostileConfs[] = {
        { "\"log\" " + w, "line 5: \"log" + kRefused },
        { "'log-append' " + w, "line 5: \"log-append" + kRefused },
        { "sta\\tus " + w, "line 5: a backslash before 't'" },
        { "verb 3\nverb 4\nstatus " + w, "line 7: \"status" + kRefused },
        { "<connection>\nremote 127.0.0.1\nlog " + w + "\n</connection>", "line 5: \"connection" + kRefused },
        { "<ca>\nX\n</ca>\nlog " + w, "line 8: \"log" + kRefused },
        { "ignore-unknown-option log\nlog " + w, "line 5: \"ignore-unknown-option" + kRefused },
        { "auth-user-pass " + secret.string(), "line 5: \"auth-user-pass" + kRefused },
        // Files are read as the user, and only regular ones.
        { "ca " + secret.string(), "cannot read " + secret.string() + ": Permission denied" },
        { "cert fifo", "fifo is not a regular file" },
    };
    for (const auto& [conf, error] : hostileConfs) {
        writeUserFile("conf.plain", keylessConf(conf + "\n"));
        std::unique_ptr<RunningProcess> starter = startStarter(starterArgs("conf.plain", socket));
        ASSERT_TRUE(starter->waitForExit(kConnectSeconds)) << conf;
        EXPECT_EQ(starter->exitStatus(), 1) << conf;
        EXPECT_NE(starter->err().find("morvil_openvpn_tun: "), std::string::npos) << conf;
        EXPECT_NE(starter->err().find(error), std::string::npos) << conf << "\n" << starter->err();
        EXPECT_EQ(starter->out(), "") << conf;
        EXPECT_EQ(starter->err().find("ROOT SECRET"), std::string::npos);
        EXPECT_FALSE(fs::exists(written)) << conf;
    }
    writeUserFile("conf.plain", keylessConf(kTemplate));
    const std::pair<std::vector<std::string>, std::string> hostileArgs[] = {
        { { "--log", w }, "\"--log" + kRefused },
        { { "--config", secret.string() }, "--config is given twice" },
        { { "--management", socket, "unix" }, "--management is given twice" },
        { { "--dev", "tap" }, "\"--dev\" does not take the value \"tap\"" },
    };
    for (const auto& [extra, error] : hostileArgs) {
        std::vector<std::string> args = starterArgs("conf.plain", socket);
        args.insert(args.begin() + 2, extra.begin(), extra.end());
        std::unique_ptr<RunningProcess> starter = startStarter(args);
        ASSERT_TRUE(starter->waitForExit(kConnectSeconds)) << error;
        EXPECT_EQ(starter->exitStatus(), 1) << error;
        EXPECT_NE(starter->err().find(error), std::string::npos) << starter->err();
        EXPECT_FALSE(fs::exists(written)) << error;
    }
    // The configuration itself is read as the user too.
    std::unique_ptr<RunningProcess> unreadable = startStarter(starterArgs(secret.string(), socket));
    ASSERT_TRUE(unreadable->waitForExit(kConnectSeconds));
    EXPECT_EQ(unreadable->exitStatus(), 1);
    EXPECT_NE(unreadable->err().find("morvil_openvpn_tun: cannot read " + secret.string() + ": Permission denied"),
              std::string::npos)
        << unreadable->err();
    EXPECT_EQ(unreadable->out(), "");
    // Started by some other process than the one named.
    {
        const HeldManagement management(socket, mUid, mGid);
        std::vector<std::string> args { "1" };
        const std::vector<std::string> rest = starterArgs("conf.plain", socket);
        args.insert(args.end(), rest.begin(), rest.end());
        std::unique_ptr<RunningProcess> orphan = runAsUser(starterPath(), args);
        ASSERT_TRUE(orphan->waitForExit(kConnectSeconds));
        EXPECT_EQ(orphan->exitStatus(), 1);
        EXPECT_NE(orphan->err().find("morvil_openvpn_tun: process 1, which started us, is gone"), std::string::npos)
            << orphan->err();
    }

    // What the check is for: plain openvpn, as root, writes where the configuration says.
    writeUserFile("conf.plain", keylessConf("log " + w + "\n"));
    RunningProcess plain(kOpenVpn, starterArgs("conf.plain", socket), connectionDir().string(), "");
    ASSERT_TRUE(plain.waitForExit(kConnectSeconds));
    EXPECT_TRUE(fs::exists(written));
}

TEST_F(AsAUserWhoIsNotRoot, OpenVpnTalksOnlyToAManagementSocketOfTheUsers)
{
    writeUserFile("conf.plain", keylessConf(kTemplate));
    // A socket on which root listens, which the user names as its own; and one of the user's that
    // the user can no longer reach. Root connects to neither.
    const std::string rootSocket = (suite().root / "root.sock").string();
    HeldManagement root(rootSocket, 0, 0);
    const fs::path locked = mHome / "locked";
    fs::create_directory(locked);
    chownTree(mHome, mUid, mGid);
    const std::string lockedSocket = (locked / "sock").string();
    HeldManagement user(lockedSocket, mUid, mGid);
    ASSERT_EQ(chown(locked.c_str(), 0, 0), 0);
    fs::permissions(locked, fs::perms::owner_all);
    const struct
    {
        HeldManagement& listener;
        std::string socket;
        std::string error;
    } refused[] = {
        { root, rootSocket, rootSocket + " is not a socket of the caller's" },
        { user, lockedSocket, "cannot reach the management socket " + lockedSocket + ": Permission denied" },
    };
    for (const auto& [listener, socket, error] : refused) {
        std::unique_ptr<RunningProcess> starter = startStarter(starterArgs("conf.plain", socket));
        ASSERT_TRUE(starter->waitForExit(kEndSeconds)) << socket;
        EXPECT_EQ(starter->exitStatus(), 1);
        EXPECT_NE(starter->err().find("morvil_openvpn_tun: " + error), std::string::npos) << starter->err();
        EXPECT_FALSE(listener.accepted(0)) << socket;
    }
}

namespace {

// The program of pid's child, once it runs one (not the copy of pid that fork made).
std::string childProgram(pid_t pid, const std::string& parentProgram)
{
    const std::vector<pid_t> children = childrenOf(pid);
    const std::vector<std::string> args
        = children.size() == 1 ? commandLineOf(children[0]) : std::vector<std::string>();
    return args.empty() || args[0] == parentProgram ? "" : args[0];
}

} // namespace

TEST_F(AsAUserWhoIsNotRoot, OpenVpnRunsWithoutTheStarterWhereNoneIsNeededOrAllowed)
{
    const std::string program = (prefix() / "bin/morvil_openvpn").string();
    // A null device needs no privileges: openvpn runs as the user, and connects.
    std::unique_ptr<RunningProcess> client
        = runAsUser(program, clientArguments(), std::string(kVpnPin) + "\n", { "MORVIL_OPENVPN_DEV=null" });
    ASSERT_TRUE(client->waitForOutput(kInitialised, kConnectSeconds)) << client->out() << client->err();
    const pid_t openVpn = onlyChildOf(client->pid());
    ASSERT_GT(openVpn, 0);
    EXPECT_EQ(commandLineOf(openVpn).at(0), kOpenVpn);
    EXPECT_EQ(userIdsOf(openVpn), (std::vector<uid_t> { mUid, mUid, mUid }));
    client->signal(SIGTERM);
    ASSERT_TRUE(client->waitForExit(kEndSeconds));
    EXPECT_EQ(client->exitStatus(), 0) << client->err();

    // A starter that is not set-user-ID root (here: set-user-ID to the user) is no starter:
    // openvpn itself reads the configuration, as the user, and refuses what it does not know.
    const fs::path other = suite().root / "other-prefix";
    fs::create_directories(other / "bin");
    fs::create_directories(other / "lib/morvil");
    fs::copy_file(program, other / "bin/morvil_openvpn");
    const fs::path starter = other / "lib/morvil/morvil_openvpn_tun";
    fs::copy_file(starterPath(), starter);
    ASSERT_EQ(chown(starter.c_str(), mUid, mGid), 0);
    ASSERT_EQ(chmod(starter.c_str(), 04755), 0);
    writeConf(kTemplate + "no-such-directive 1\n");
    std::unique_ptr<RunningProcess> direct
        = runAsUser((other / "bin/morvil_openvpn").string(), clientArguments(), std::string(kVpnPin) + "\n");
    ASSERT_TRUE(direct->waitForExit(kConnectSeconds));
    EXPECT_EQ(direct->exitStatus(), 1);
    const std::string output = direct->out() + direct->err();
    EXPECT_NE(output.find("Options error: Unrecognized option or missing or extra parameter(s)"), std::string::npos)
        << output;
    EXPECT_EQ(output.find(kRefused), std::string::npos) << output;

    // A starter installed for a group that the user is not in: the user hears why, and the token
    // is not asked.
    ASSERT_EQ(chown(starter.c_str(), 0, 0), 0);
    ASSERT_EQ(chmod(starter.c_str(), 04750), 0);
    writeConf(kTemplate);
    bus().token(mToken).clearLog();
    std::unique_ptr<RunningProcess> outsider
        = runAsUser((other / "bin/morvil_openvpn").string(), clientArguments(), std::string(kVpnPin) + "\n");
    ASSERT_TRUE(outsider->waitForExit(kConnectSeconds));
    EXPECT_EQ(outsider->exitStatus(), 1);
    EXPECT_EQ(outsider->err(),
              "morvil_openvpn: this user may not start the privileged starter " + starter.string()
                  + " (Permission denied), which openvpn needs to make a tun device for a user who is"
                    " not root\n");
    EXPECT_TRUE(bus().token(mToken).log().empty());

    // Root starts openvpn itself, even where the starter is installed.
    RunningProcess asRoot(program, clientArguments(), connectionDir().string(), std::string(kVpnPin) + "\n",
                          { "TMPDIR=" + suite().root.string() });
    std::string started;
    EXPECT_TRUE(waitUntil([&] { return !(started = childProgram(asRoot.pid(), program)).empty(); }, kConnectSeconds))
        << asRoot.err();
    EXPECT_EQ(started, kOpenVpn);
    asRoot.signal(SIGTERM);
    ASSERT_TRUE(asRoot.waitForExit(kEndSeconds));
}
