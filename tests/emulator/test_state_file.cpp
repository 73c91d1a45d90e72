// Saving and loading tokens: everything a token stores survives the round trip, a saved token
// still signs with its key, saving replaces the file whole, and a malformed file is refused with
// the line at fault.
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

TokenConfig configuredToken()
{
    TokenConfig t;
    t.serial = "SN=1\n#x";
    t.product = "Produkt \xC5\xBC";
    t.curveId = 1920;
    t.keysNum = 5;
    t.publicMem = 1024;
    t.mainVer = 3;
    t.subVer = 14;
    t.initDelayMs = 1500;
    t.keygenDelayMs = 2500;
    t.state = kConfigured | kSoMayNotChangeUserPin;
    t.name = "ten octets";
    t.soPin = std::string("s\0o", 3);
    t.userPin = "=user=";
    t.soPinLimit = 7;
    t.userPinLimit = 4;
    t.soPinTries = 2;
    t.userPinTries = 3;
    t.keys[1] = *generateKeyPair(1920, "key one");
    t.keys[4] = *generateKeyPair(1920, std::string(21, 'z'));
    t.publicMemory.assign(1024, 0);
    t.publicMemory[0] = 0x10;
    t.publicMemory[1023] = 0xFF;
    return t;
}

void expectSameToken(const TokenConfig& a, const TokenConfig& b)
{
    EXPECT_EQ(a.serial, b.serial);
    EXPECT_EQ(a.product, b.product);
    EXPECT_EQ(a.curveId, b.curveId);
    EXPECT_EQ(a.keysNum, b.keysNum);
    EXPECT_EQ(a.publicMem, b.publicMem);
    EXPECT_EQ(a.mainVer, b.mainVer);
    EXPECT_EQ(a.subVer, b.subVer);
    EXPECT_EQ(a.initDelayMs, b.initDelayMs);
    EXPECT_EQ(a.keygenDelayMs, b.keygenDelayMs);
    EXPECT_EQ(a.state, b.state);
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.soPin, b.soPin);
    EXPECT_EQ(a.userPin, b.userPin);
    EXPECT_EQ(a.soPinLimit, b.soPinLimit);
    EXPECT_EQ(a.userPinLimit, b.userPinLimit);
    EXPECT_EQ(a.soPinTries, b.soPinTries);
    EXPECT_EQ(a.userPinTries, b.userPinTries);
    for (std::size_t slot = 0; slot < a.keys.size(); ++slot) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(a.keys[slot].present, b.keys[slot].present);
        EXPECT_EQ(a.keys[slot].name, b.keys[slot].name);
        EXPECT_EQ(a.keys[slot].privateKey, b.keys[slot].privateKey);
        EXPECT_EQ(a.keys[slot].pubX, b.keys[slot].pubX);
        EXPECT_EQ(a.keys[slot].pubY, b.keys[slot].pubY);
    }
    EXPECT_EQ(a.publicMemory.size() == 0 ? Bytes(static_cast<std::size_t>(a.publicMem)) : a.publicMemory,
              b.publicMemory.size() == 0 ? Bytes(static_cast<std::size_t>(b.publicMem)) : b.publicMemory);
}

TEST_F(StateFileTest, EveryFieldSurvivesTheRoundTrip)
{
    TokenConfig blank;
    blank.serial = "BLANK";
    blank.curveId = 1234;
    const std::vector<TokenConfig> tokens { configuredToken(), blank };
    saveStateFile(path("state"), tokens);
    const std::vector<TokenConfig> loaded = loadStateFile(path("state"));
    ASSERT_EQ(loaded.size(), 2u);
    expectSameToken(tokens[0], loaded[0]);
    expectSameToken(tokens[1], loaded[1]);
    EXPECT_TRUE(parseState(formatState({})).empty());
}

TEST_F(StateFileTest, SavedTokenKeepsItsPinsKeysAndFiles)
{
    TokenModel token;
    ASSERT_EQ(token.process(initRequest()), kOk);
    ASSERT_EQ(token.process(configureRequest(0, "DEMO", 3, 3, "so", "user")), kOk);
    ASSERT_EQ(token.process(generateKeyRequest(1, "user", 2, 2560, "vpn")), kOk);
    ASSERT_EQ(token.process(writeObjectRequest(1, "user", 9, Bytes(64, 0x5A))), kOk);
    const Bytes slotBefore = token.process(keySlotRequest(2));
    saveStateFile(path("demo"), { token.snapshot() });

    TokenModel restored(loadStateFile(path("demo")).at(0));
    EXPECT_EQ(restored.process(keySlotRequest(2)), slotBefore);
    EXPECT_EQ(restored.process(readObjectRequest(9)).at(64), 0x5A);
    EXPECT_EQ(restored.process(tryPinRequest(0, "so")), kOk);
    EXPECT_EQ(restored.process(signRequest("user", 2, Bytes(32, 1))).at(0), 0x00);
}

TEST_F(StateFileTest, SaveReplacesTheFileWholeAndPrivately)
{
    write(path("state"), "old contents");
    saveStateFile(path("state"), { TokenConfig {} });
    EXPECT_EQ(loadStateFile(path("state")).size(), 1u);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(mDir)) {
        ++files;
    }
    EXPECT_EQ(files, 1u);
    struct stat info
    {
    };
    ASSERT_EQ(::stat(path("state").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(StateFileTest, UnwritableOrMissingFileIsAnError)
{
    EXPECT_THROW(saveStateFile(path("no-such-dir/state"), {}), StateFileError);
    EXPECT_THROW(loadStateFile(path("missing")), StateFileError);
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
        { "[token]\ncurve=\n", ":2:", "not a decimal number" },
        { "[token]\nkeys_num=256\n", ":2:", "out of range" },
        { "[token]\npublic_mem=-64\n", ":2:", "out of range" },
        { "[token]\nname=abc\n", ":2:", "not hex" },
        { "[token]\nname=zz\n", ":2:", "not hex" },
        { "[token]\nname=6162636465666768696a6b\n", ":2:", "longer than 10" },
        { "[token]\nso_pin=616263646566676869\n", ":2:", "longer than 8" },
        { "[token]\nstate=3\n", ":2:", "not a state" },
        { "[token]\npublic_mem=128\npublic_memory=00\n", ":1:", "public_mem says 128" },
        { "[token]\nstate=2\nso_pin_limit=3\n", ":1:", "PIN limits" },
        { "[token]\nkey7.x=00\n", ":2:", "no key slot" },
        { "[token]\nkey0.colour=00\n", ":2:", "unknown key" },
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

TEST_F(StateFileTest, MalformedFileOnDiskNamesTheFile)
{
    write(path("bad"), "[token]\nstate=9\n");
    try {
        loadStateFile(path("bad"));
        ADD_FAILURE() << "accepted";
    } catch (const StateFileError& error) {
        EXPECT_NE(std::string(error.what()).find(path("bad") + ":2:"), std::string::npos) << error.what();
    }
}

} // namespace
