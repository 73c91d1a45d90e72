// openvpn's command line made from a checked configuration and the starter's command line, with
// copies of the files they name and of the caller's management socket.
#include "openvpn_options.h"
#include "tun_request.h"
#include "tun_test_words.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>

using namespace morvil::openvpn_tun;
using namespace morvil::test;
namespace fs = std::filesystem;

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
