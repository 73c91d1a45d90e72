// Device management commands against an emulated token: what goes on the wire, what the record
// keeps, and the entries a failure leaves.
#include "command_fixture.h"

#include <array>
#include <cstring>
#include <functional>

namespace zr40nn::test {
namespace {

constexpr const char* kSoPin = "87654321";
constexpr const char* kUserPin = "1234";

template <typename T>
bool allZero(const T& record)
{
    static const T zero{};
    return std::memcmp(&record, &zero, sizeof(T)) == 0;
}

using DeviceCommands = CommandTest;

TEST_F(DeviceCommands, WrongPinLeavesTheExchangeEntryThenTheCommandEntry)
{
    DEV_ZR40NN_t* ut = openToken(configuredToken("PINS"));
    ASSERT_NE(ut, nullptr);

    EXPECT_EQ(DEV_ZR40NN_cmd_try_pin(ut, "0000", 1), -102);
    EXPECT_EQ(entries(ut), (Lines{"DEV_ZR40NN_single_pass:host receive error frame from device",
                                  "DEV_ZR40NN_cmd_try_pin:wrong PIN, command not allowed"}));

    // The session stays usable, and later failures pile up behind the first ones.
    EXPECT_EQ(DEV_ZR40NN_cmd_try_pin(ut, kUserPin, 1), 0);
    EXPECT_EQ(DEV_ZR40NN_cmd_change_so_pin(ut, "1111", "2222"), -102);
    EXPECT_EQ(ERROR_count(ut->err), 4);
    EXPECT_EQ(entries(ut).back(), "DEV_ZR40NN_cmd_change_so_pin:wrong PIN, command not allowed");
    EXPECT_EQ(ut->session_is_open, 1);
}

TEST_F(DeviceCommands, PinFieldsOnTheWire)
{
    DEV_ZR40NN_t* ut = openToken(configuredToken("WIRE"));
    ASSERT_NE(ut, nullptr);

    // try_pin checks nothing: a long PIN is cut to 8 octets, an empty one sends no octet of PIN.
    EXPECT_EQ(DEV_ZR40NN_cmd_try_pin(ut, "0123456789", 1), -102);
    EXPECT_EQ(DEV_ZR40NN_cmd_try_pin(ut, "", 1), -102);
    EXPECT_EQ(DEV_ZR40NN_cmd_try_pin(ut, kSoPin, 0), 0);
    std::vector<emu::LogEntry> sent = log();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].pin, "01234567");
    EXPECT_EQ(sent[1].pin, "");
    EXPECT_EQ(sent[2].pin, kSoPin);
    for (const emu::LogEntry& e : sent) {
        EXPECT_EQ(e.code, 0x2F);
        EXPECT_EQ(e.requestLength, 11);
    }
    EXPECT_EQ(sent[0].pinId, 1);
    EXPECT_EQ(sent[2].pinId, 0);

    // PIN changes, unlock and erase refuse a ninth octet before anything is sent.
    reopenSession();
    const std::string nine = "123456789";
    EXPECT_EQ(DEV_ZR40NN_cmd_change_user_pin(ut, kSoPin, 0, nine.c_str()), DEV_ZR40NN_ERR_RANGE);
    EXPECT_EQ(DEV_ZR40NN_cmd_change_user_pin(ut, nine.c_str(), 1, "1"), DEV_ZR40NN_ERR_RANGE);
    EXPECT_EQ(DEV_ZR40NN_cmd_change_so_pin(ut, kSoPin, nine.c_str()), DEV_ZR40NN_ERR_RANGE);
    EXPECT_EQ(DEV_ZR40NN_cmd_change_so_pin(ut, nine.c_str(), "1"), DEV_ZR40NN_ERR_RANGE);
    EXPECT_EQ(DEV_ZR40NN_cmd_dev_unlock(ut, nine.c_str()), DEV_ZR40NN_ERR_RANGE);
    EXPECT_EQ(DEV_ZR40NN_cmd_dev_erase(ut, nine.c_str()), DEV_ZR40NN_ERR_RANGE);
    EXPECT_TRUE(log().empty());
    const std::string tooLong = "PIN is too long (at most 8 characters)";
    EXPECT_EQ(entries(ut), (Lines{"DEV_ZR40NN_cmd_change_user_pin:" + tooLong,
                                  "DEV_ZR40NN_cmd_change_user_pin:" + tooLong,
                                  "DEV_ZR40NN_cmd_change_so_pin:" + tooLong,
                                  "DEV_ZR40NN_cmd_change_so_pin:" + tooLong,
                                  "DEV_ZR40NN_cmd_dev_unlock:" + tooLong,
                                  "DEV_ZR40NN_cmd_dev_erase:" + tooLong}));

    // Eight octets are accepted; the administrator may set the user PIN (PIN id 0).
    EXPECT_EQ(DEV_ZR40NN_cmd_change_user_pin(ut, kSoPin, 0, "abcdefgh"), 0);
    EXPECT_EQ(DEV_ZR40NN_cmd_try_pin(ut, "abcdefgh", 1), 0);
    EXPECT_EQ(DEV_ZR40NN_cmd_change_so_pin(ut, kSoPin, "s"), 0);
    sent = log();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].requestLength, 19);
    EXPECT_EQ(sent[0].pinId, 0);
    EXPECT_EQ(sent[0].pin, kSoPin);
    EXPECT_EQ(sent[2].code, 0x88);
    EXPECT_EQ(sent[2].requestLength, 19);
    EXPECT_EQ(sent[2].pinId, 0);
    EXPECT_EQ(token().snapshot().userPin, "abcdefgh");
    EXPECT_EQ(token().snapshot().soPin, "s");
}

TEST_F(DeviceCommands, EveryCommandNeedsASession)
{
    DEV_ZR40NN_t* ut = openToken(configuredToken("CLOSED"));
    ASSERT_NE(ut, nullptr);
    ASSERT_EQ(DEV_ZR40NN_session_close(ut), 0);

    unsigned char buf[130] = {};
    const std::vector<std::pair<std::string, std::function<int()>>> commands = {
        {"DEV_ZR40NN_cmd_dev_init", [&] { return DEV_ZR40NN_cmd_dev_init(ut); }},
        {"DEV_ZR40NN_cmd_dev_conf", [&] { return DEV_ZR40NN_cmd_dev_conf(ut); }},
        {"DEV_ZR40NN_cmd_read_dev_info", [&] { return DEV_ZR40NN_cmd_read_dev_info(ut); }},
        {"DEV_ZR40NN_cmd_try_pin", [&] { return DEV_ZR40NN_cmd_try_pin(ut, kUserPin, 1); }},
        {"DEV_ZR40NN_cmd_change_user_pin", [&] { return DEV_ZR40NN_cmd_change_user_pin(ut, kUserPin, 1, "1"); }},
        {"DEV_ZR40NN_cmd_change_so_pin", [&] { return DEV_ZR40NN_cmd_change_so_pin(ut, kSoPin, "1"); }},
        {"DEV_ZR40NN_cmd_dev_unlock", [&] { return DEV_ZR40NN_cmd_dev_unlock(ut, kSoPin); }},
        {"DEV_ZR40NN_cmd_dev_erase", [&] { return DEV_ZR40NN_cmd_dev_erase(ut, kSoPin); }},
        {"DEV_ZR40NN_cmd_read_key_info", [&] { return DEV_ZR40NN_cmd_read_key_info(ut, 0); }},
        {"DEV_ZR40NN_cmd_generate_key", [&] { return DEV_ZR40NN_cmd_generate_key(ut, kUserPin, 1, "k", 0); }},
        {"DEV_ZR40NN_cmd_delete_key", [&] { return DEV_ZR40NN_cmd_delete_key(ut, kUserPin, 1, 0); }},
        {"DEV_ZR40NN_cmd_ecdsa_sign", [&] { return DEV_ZR40NN_cmd_ecdsa_sign(ut, kUserPin, 0, buf, 130, buf, 32); }},
        {"DEV_ZR40NN_cmd_read_public_obj", [&] { return DEV_ZR40NN_cmd_read_public_obj(ut, 0, buf); }},
        {"DEV_ZR40NN_cmd_write_public_obj", [&] { return DEV_ZR40NN_cmd_write_public_obj(ut, kUserPin, 1, 0, buf); }},
        {"DEV_ZR40NN_cmd_rbg_generate_bits", [&] { return DEV_ZR40NN_cmd_rbg_generate_bits(ut, buf, 16); }},
    };
    for (const auto& [name, run] : commands) {
        EXPECT_EQ(run(), DEV_ZR40NN_ERR_SESSION_CLOSED) << name;
        EXPECT_EQ(entries(ut).back(), name + ":session is closed");
    }
    EXPECT_EQ(ERROR_count(ut->err), 15);
    EXPECT_TRUE(log().empty());
    EXPECT_EQ(ut->keys[0].info, 0);
}

TEST_F(DeviceCommands, ConfigurationIsSentAndWipedWhetherOrNotTheTokenTakesIt)
{
    DEV_ZR40NN_t* ut = openToken(blankToken());
    ASSERT_NE(ut, nullptr);
    auto fill = [ut] {
        ut->conf.info = 0x13; // only bit 0x10 travels
        std::memcpy(ut->conf.name, "TEN_CHARSX", 11);
        ut->conf.so_pin_limit = 4;
        ut->conf.user_pin_limit = 0x106; // the low octet travels
        std::memcpy(ut->conf.so_pin, "12345678", 8);
        std::memcpy(ut->conf.user_pin, "4321\0\0\0\0", 8);
    };

    EXPECT_EQ(DEV_ZR40NN_cmd_dev_init(ut), 0);
    fill();
    EXPECT_EQ(DEV_ZR40NN_cmd_dev_conf(ut), 0) << ut->err;
    EXPECT_TRUE(allZero(ut->conf));
    const emu::TokenConfig stored = token().snapshot();
    EXPECT_EQ(stored.state, emu::kConfigured | emu::kSoMayNotChangeUserPin);
    EXPECT_EQ(stored.name, "TEN_CHARSX");
    EXPECT_EQ(stored.soPin, "12345678");
    EXPECT_EQ(stored.userPin, "4321");
    EXPECT_EQ(stored.soPinLimit, 4);
    EXPECT_EQ(stored.userPinLimit, 6);
    const std::vector<emu::LogEntry> sent = log();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].code, 0x00);
    EXPECT_EQ(sent[0].requestLength, 2);
    EXPECT_EQ(sent[1].code, 0x01);
    EXPECT_EQ(sent[1].requestLength, 34);

    // The token is configured now and refuses a second configuration: the PINs are wiped anyway.
    fill();
    EXPECT_EQ(DEV_ZR40NN_cmd_dev_conf(ut), -101);
    EXPECT_TRUE(allZero(ut->conf));
    EXPECT_EQ(entries(ut).back(), "DEV_ZR40NN_cmd_dev_conf:command is not allowed in this state of device");

    // Also without a session.
    ASSERT_EQ(DEV_ZR40NN_session_close(ut), 0);
    fill();
    EXPECT_EQ(DEV_ZR40NN_cmd_dev_conf(ut), DEV_ZR40NN_ERR_SESSION_CLOSED);
    EXPECT_TRUE(allZero(ut->conf));
}

TEST_F(DeviceCommands, InformationIsStoredFieldByFieldForEveryCurve)
{
    const int curveIds[] = {1600, 1920, 2240, 2560};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(curveIds[i]);
        emu::TokenConfig config = configuredToken("ABCDEFGHIJ", curveIds[i]);
        config.soPinTries = 1;
        config.userPinTries = 2;
        config.mainVer = 3;
        config.subVer = 7;
        config.publicMem = 20000;
        config.keysNum = 3;
        DEV_ZR40NN_t* ut = openToken(config);
        ASSERT_NE(ut, nullptr);

        ASSERT_EQ(DEV_ZR40NN_cmd_read_dev_info(ut), 0) << ut->err;
        EXPECT_EQ(ut->info.info, emu::kConfigured);
        EXPECT_STREQ(ut->info.name, "ABCDEFGHIJ");
        EXPECT_EQ(ut->info.so_pin_trys, 1);
        EXPECT_EQ(ut->info.user_pin_trys, 2);
        EXPECT_EQ(ut->info.so_pin_limit, 5);
        EXPECT_EQ(ut->info.user_pin_limit, 3);
        EXPECT_EQ(ut->info.main_ver, 3);
        EXPECT_EQ(ut->info.sub_ver, 7);
        EXPECT_EQ(ut->info.public_mem, 20000);
        EXPECT_EQ(ut->info.public_objs, 312);
        EXPECT_EQ(ut->info.keys_num, 3);
        EXPECT_EQ(ut->info.ecc_params, &DEV_ZR40NN_ecc_params[i]);
        EXPECT_EQ(log().size(), 1u);
        EXPECT_EQ(DEV_ZR40NN_session_close(ut), 0);
    }
}

TEST_F(DeviceCommands, UnsupportedCurveStillUpdatesEveryOtherField)
{
    emu::TokenConfig config = configuredToken("ODD", 1234);
    config.keysNum = 2;
    DEV_ZR40NN_t* ut = openUnrefreshed(config);
    ASSERT_NE(ut, nullptr);
    ut->info.ecc_params = &DEV_ZR40NN_ecc_params[3];

    EXPECT_EQ(DEV_ZR40NN_cmd_read_dev_info(ut), DEV_ZR40NN_ERR_NOT_SUPPORTED);
    EXPECT_EQ(ut->info.ecc_params, nullptr);
    EXPECT_STREQ(ut->info.name, "ODD");
    EXPECT_EQ(ut->info.keys_num, 2);
    EXPECT_EQ(ut->info.ecc_num, 1);
    EXPECT_EQ(entries(ut),
              (Lines{"DEV_ZR40NN_cmd_read_dev_info:received ECC domain paramethers are not supported"}));
}

TEST_F(DeviceCommands, InformationAnswerOfAnotherLengthLeavesTheRecordAlone)
{
    DEV_ZR40NN_t* ut = openToken(configuredToken("LENGTH"));
    ASSERT_NE(ut, nullptr);
    const DEV_ZR40NN_info_t before = ut->info;
    const Lines refused{"DEV_ZR40NN_cmd_read_dev_info:received frame syntax error"};

    // 24 octets: the length octet announces one less, and the bridge hands over no more.
    emu::BridgeFaults shorter;
    shorter.answerLengthDelta = -1;
    shorter.splitAnswerAt = 25;
    bus().setFaults(mId, shorter);
    EXPECT_EQ(DEV_ZR40NN_cmd_read_dev_info(ut), DEV_ZR40NN_ERR_RECEIVE);
    EXPECT_EQ(std::memcmp(&before, &ut->info, sizeof(before)), 0);
    EXPECT_EQ(entries(ut), refused);
    bus().setFaults(mId, {});

    // 26 octets: a trailing octet that the token appends to its answer.
    reopenSession();
    ut->read = [](DEV_ZR40NN_t* dev, unsigned char* buf, int max, int timeout) {
        const int n = CP210X_DEV_ZR40NN_read(dev, buf, max, timeout);
        if (n > 0 && n < max) {
            buf[n] = 0x5A;
            return n + 1;
        }
        return n;
    };
    EXPECT_EQ(DEV_ZR40NN_cmd_read_dev_info(ut), DEV_ZR40NN_ERR_RECEIVE);
    ut->read = CP210X_DEV_ZR40NN_read;
    EXPECT_EQ(std::memcmp(&before, &ut->info, sizeof(before)), 0);
    EXPECT_EQ(entries(ut), refused);
    EXPECT_NE(ut->handle, nullptr) << "a long answer is the token's fault, not the transport's";
    EXPECT_EQ(DEV_ZR40NN_cmd_read_dev_info(ut), 0);
}

TEST_F(DeviceCommands, EraseEmptiesTheKeySlotsButNotTheFileTable)
{
    emu::TokenConfig config = configuredToken("ERASE");
    config.publicMemory.assign(16384, 0);
    const unsigned char entry[] = {0x41, 0, 0, 10, 'a', '.', 't', 'x', 't'};
    std::memcpy(config.publicMemory.data(), entry, sizeof(entry));
    config.publicMemory[32] = 8;
    DEV_ZR40NN_t* ut = openToken(config);
    ASSERT_NE(ut, nullptr);
    ASSERT_EQ(DEV_ZR40NN_cmd_generate_key(ut, kUserPin, 1, "doomed", 1), 0) << ut->err;
    ASSERT_EQ(DEV_ZR40NN_cmd_read_key_info(ut, 1), 0);
    ASSERT_EQ(ut->keys[1].info & 1, 1);
    ASSERT_EQ(ut->file_types[0], 0x41);

    struct FileCache
    {
        unsigned char freeSectors[128];
        int types[16];
        int sizes[16];
        char names[512];
    };
    auto cache = [ut] {
        FileCache c;
        std::memcpy(c.freeSectors, ut->free_sectors, sizeof(c.freeSectors));
        std::memcpy(c.types, ut->file_types, sizeof(c.types));
        std::memcpy(c.sizes, ut->file_sizes, sizeof(c.sizes));
        std::memcpy(c.names, ut->file_names_tb, sizeof(c.names));
        return c;
    };
    const FileCache before = cache();
    DEV_ZR40NN_key_info_t keysBefore[4];
    std::memcpy(keysBefore, ut->keys, sizeof(keysBefore));

    EXPECT_EQ(DEV_ZR40NN_cmd_dev_erase(ut, "wrong"), -102);
    EXPECT_EQ(std::memcmp(keysBefore, ut->keys, sizeof(keysBefore)), 0) << "a refused erase keeps the slots";

    EXPECT_EQ(DEV_ZR40NN_cmd_dev_erase(ut, kSoPin), 0);
    for (const DEV_ZR40NN_key_info_t& key : ut->keys) {
        EXPECT_TRUE(allZero(key));
    }
    const FileCache after = cache();
    EXPECT_EQ(std::memcmp(&before, &after, sizeof(FileCache)), 0);
    EXPECT_EQ(log().back().code, 0x87);
    EXPECT_EQ(log().back().requestLength, 11);
    EXPECT_EQ(log().back().pinId, 0);
}

TEST_F(DeviceCommands, UnlockClearsTheLock)
{
    emu::TokenConfig config = configuredToken("LOCKED");
    config.userPinTries = config.userPinLimit;
    DEV_ZR40NN_t* ut = openToken(config);
    ASSERT_NE(ut, nullptr);
    EXPECT_EQ(ut->info.info & emu::kLocked, emu::kLocked);

    EXPECT_EQ(DEV_ZR40NN_cmd_dev_unlock(ut, kSoPin), 0) << ut->err;
    ASSERT_EQ(DEV_ZR40NN_cmd_read_dev_info(ut), 0);
    EXPECT_EQ(ut->info.info & emu::kLocked, 0);
    EXPECT_EQ(ut->info.user_pin_trys, 0);
    EXPECT_EQ(DEV_ZR40NN_cmd_try_pin(ut, kUserPin, 1), 0);
    EXPECT_EQ(log()[0].code, 0x86);
    EXPECT_EQ(log()[0].pin, kSoPin);
}

} // namespace
} // namespace zr40nn::test
