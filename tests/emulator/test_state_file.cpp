// Saving and loading tokens: everything a token stores survives the round trip, saving replaces
// the file whole, and a malformed file is refused with the line at fault.
#include "state_file.h"
#include "token_crypto.h"
#include "token_requests.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace zr40nn::emu;
using namespace zr40nn::emu::test;
namespace fs = std::filesystem;

namespace {

class StateFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "zr40nn-state-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        mDir = pattern;
    }

    void TearDown() override { fs::remove_all(mDir); }

    std::string path(const std::string& name) const { return (mDir / name).string(); }

    static void write(const std::string& file, const std::string& text) { std::ofstream(file) << text; }

    fs::path mDir;
};

// A token with every field away from its default, texts that need escaping and two keys.
TokenConfig configuredToken()
{
    TokenConfig t { .serial = "SN=1\n#x", .product = "Produkt \xC5\xBC", .curveId = 1920, .keysNum = 5,
                    .publicMem = 1024, .mainVer = 3, .subVer = 14, .initDelayMs = 1500, .keygenDelayMs = 2500,
                    .state = kConfigured | kSoMayNotChangeUserPin, .name = "ten octets",
                    .soPin = std::string("s\0o", 3), .userPin = "=user=", .soPinLimit = 7, .userPinLimit = 4,
                    .soPinTries = 2, .userPinTries = 3, .keys = {}, .publicMemory = Bytes(1024, 0) };
    t.keys[1] = *generateKeyPair(1920, "key one");
    t.keys[4] = *generateKeyPair(1920, std::string(21, 'z'));
    t.publicMemory[0] = 0x10;
    t.publicMemory[1023] = 0xFF;
    return t;
}

TEST_F(StateFileTest, EveryFieldSurvivesTheRoundTripInAPrivateFile)
{
    TokenConfig blank;
    blank.serial = "BLANK";
    blank.curveId = 1234;
    const std::vector<TokenConfig> tokens { configuredToken(), blank };
    write(path("state"), "old contents");
    saveStateFile(path("state"), tokens);
    EXPECT_TRUE(loadStateFile(path("state")) == tokens);
    EXPECT_TRUE(parseState(formatState({})).empty());

    // Replaced whole through a temporary file that is gone, readable by the owner only.
    EXPECT_EQ(std::distance(fs::directory_iterator(mDir), fs::directory_iterator()), 1);
    struct stat info
    {
    };
    ASSERT_EQ(::stat(path("state").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

// All-zero memory is left out of the file, so reading it in as no memory keeps a second round trip
// equal to the first.
TEST_F(StateFileTest, AllZeroMemoryReadsBackAsWritten)
{
    const auto tokens = parseState("[token]\npublic_mem=2\npublic_memory=0000\n");
    ASSERT_EQ(tokens.size(), 1u);
    EXPECT_TRUE(tokens[0].publicMemory.empty());
    EXPECT_TRUE(parseState(formatState(tokens)) == tokens);
}

TEST_F(StateFileTest, CommentsBlankLinesAndCrLfAreAccepted)
{
    const auto tokens = parseState("# saved\r\n\r\n[token]\r\n  curve = 2240 \r\nname=414243\r\n# end\r\n");
    ASSERT_EQ(tokens.size(), 1u);
    EXPECT_EQ(tokens[0].curveId, 2240);
    EXPECT_EQ(tokens[0].name, "ABC");
    EXPECT_EQ(tokens[0].keysNum, 4);
}

std::string keyLines(int slot, const KeySlot& key, const std::string& privateHex = {})
{
    auto hex = [](const Bytes& data) {
        std::string out;
        char buffer[3];
        for (std::uint8_t octet : data) {
            std::snprintf(buffer, sizeof buffer, "%02x", octet);
            out += buffer;
        }
        return out;
    };
    const std::string prefix = "key" + std::to_string(slot) + ".";
    return prefix + "private=" + (privateHex.empty() ? hex(key.privateKey) : privateHex) + "\n" + prefix
        + "x=" + hex(key.pubX) + "\n" + prefix + "y=" + hex(key.pubY) + "\n";
}

TEST_F(StateFileTest, MalformedFilesNameTheLineAtFault)
{
    const KeySlot key = *generateKeyPair(2560, "k");
    const KeySlot other = *generateKeyPair(2560, "k");
    const std::string shortPrivate = keyLines(0, key).substr(std::string("key0.private=").size(), 62);
    struct Case
    {
        std::string text;
        std::string where;
        std::string what;
    };
    const std::vector<Case> cases = {
        { "[token]\nhello\n", ":2:", "key=value" },
        { "curve=2560\n", ":1:", "before the first [token]" },
        { "[token]\ncolour=red\n", ":2:", "unknown key" },
        { "[token]\ncurve=2560\ncurve=1920\n", ":3:", "duplicate" },
        { "[token]\ncurve=25x0\n", ":2:", "not a decimal number" },
        { "[token]\nkeys_num=256\n", ":2:", "out of range" },
        { "[token]\nname=abc\n", ":2:", "not hex" },
        { "[token]\nname=zz\n", ":2:", "not hex" },
        { "[token]\nname=6162636465666768696a6b\n", ":2:", "longer than 10" },
        { "[token]\nso_pin=616263646566676869\n", ":2:", "longer than 8" },
        { "[token]\nstate=3\n", ":2:", "not a state" },
        { "[token]\npublic_mem=128\npublic_memory=00\n", ":1:", "public_mem says 128" },
        { "[token]\nstate=2\nso_pin_limit=3\n", ":1:", "PIN limits" },
        { "[token]\nkey7.x=00\n", ":2:", "no key slot" },
        { "[token]\n" + keyLines(0, key, shortPrivate), ":4:", "must have 32, 32 and 32 octets" },
        { "[token]\nkey1.name=6b\n", ":2:", "must have" },
        { "[token]\ncurve=1234\n" + keyLines(2, key), ":5:", "cannot hold keys" },
        { "[token]\n\n" + keyLines(3, KeySlot { true, "k", other.privateKey, key.pubX, key.pubY }),
          ":5:", "does not belong" },
        { "[token]\n[token]\nkeys_num=x\n", ":3:", "decimal" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            parseState(c.text, "demo.state");
            ADD_FAILURE() << "accepted";
        } catch (const StateFileError& error) {
            const std::string message = error.what();
            EXPECT_EQ(message.rfind("demo.state" + c.where, 0), 0u) << message;
            EXPECT_NE(message.find(c.what), std::string::npos) << message;
        }
    }
}

TEST_F(StateFileTest, FileErrorsNameTheFile)
{
    EXPECT_THROW(saveStateFile(path("no-such-dir/state"), {}), StateFileError);
    EXPECT_THROW(loadStateFile(path("missing")), StateFileError);
    write(path("bad"), "[token]\nstate=9\n");
    try {
        loadStateFile(path("bad"));
        ADD_FAILURE() << "accepted";
    } catch (const StateFileError& error) {
        EXPECT_NE(std::string(error.what()).find(path("bad") + ":2:"), std::string::npos) << error.what();
    }
}

} // namespace
