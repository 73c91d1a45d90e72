// The whole connect as a desktop user who is not root: the suite installed as an administrator
// installs it, with the component that makes morvil_openvpn_tun set-user-ID root; bin/morvil_openvpn
// run as "nobody", with a home of its own, exactly as the VPN client runs it, against a real
// OpenVPN server on 127.0.0.1 and an emulated token. The tunnel comes up on a real tun device and
// goes down on disconnect and when the client is killed; nothing that a hostile configuration or
// command line asks for runs or writes anything as root. Needs root (to install set-user-ID and
// to become "nobody"), as CI runs.
#include "unprivileged_fixture.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST_F(HeldTunnelTest, TheStarterEndsWithOpenVpnsStatus)
{
    HeldTunnel held;
    ASSERT_NO_FATAL_FAILURE(startHeld(held));
    kill(held.openVpn, SIGKILL);
    // The shell ends with the starter's status, which is openvpn's: 128 + the signal.
    ASSERT_TRUE(held.shell->waitForExit(kEndSeconds));
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
    // Started by some other process than the one named.
    std::vector<std::string> args { "1" };
    const std::vector<std::string> rest = starterArgs("conf.plain", socket);
    args.insert(args.end(), rest.begin(), rest.end());
    std::unique_ptr<RunningProcess> orphan = runAsUser(starterPath(), args);
    ASSERT_TRUE(orphan->waitForExit(kConnectSeconds));
    EXPECT_EQ(orphan->exitStatus(), 1);
    EXPECT_NE(orphan->err().find("morvil_openvpn_tun: process 1, which started us, is gone"), std::string::npos)
        << orphan->err();

    // What the check is for: plain openvpn, as root, writes where the configuration says.
    writeUserFile("conf.plain", keylessConf("log " + w + "\n"));
    RunningProcess plain(kOpenVpn, starterArgs("conf.plain", socket), connectionDir().string(), "");
    ASSERT_TRUE(plain.waitForExit(kConnectSeconds));
    EXPECT_TRUE(fs::exists(written));
}

TEST_F(AsAUserWhoIsNotRoot, OpenVpnTalksOnlyToAManagementSocketOfTheUsers)
{
    // A socket on which root listens, which the user names as its own.
    const std::string socket = (suite().root / "root.sock").string();
    HeldManagement root(socket, 0, 0);
    writeUserFile("conf.plain", keylessConf(kTemplate));
    std::unique_ptr<RunningProcess> starter = startStarter(starterArgs("conf.plain", socket));
    ASSERT_TRUE(root.accepted()) << starter->err();
    EXPECT_TRUE(waitUntil([&root] { return root.ended(); }, kEndSeconds));
    EXPECT_TRUE(root.heardNothing());
    // openvpn, as root, hung up on it unheard and gave up.
    ASSERT_TRUE(starter->waitForExit(kEndSeconds));
    EXPECT_NE((starter->out() + starter->err()).find("doesn't match required value (" + std::to_string(mUid) + ")"),
              std::string::npos)
        << starter->out() << starter->err();
}

TEST_F(AsAUserWhoIsNotRoot, OpenVpnRunsAsTheUserWhereNoStarterIsNeededOrNoneIsInstalled)
{
    // A null device needs no privileges: openvpn runs as the user, and connects.
    const std::string program = (prefix() / "bin/morvil_openvpn").string();
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
}
