// Device management commands against an emulated token: what goes on the wire, what the record
// keeps, and the entries a failure leaves.
#include "command_fixture.h"

#include <cstddef>
#include <cstring>
#include <functional>

namespace zr40nn::test {
namespace {

template <typename T> bool allZero(const T& record)
{
    static const T zero {};
    return std::memcmp(&record, &zero, sizeof(T)) == 0;
}

using DeviceCommands = CommandTest;

TEST_F(DeviceCommands, PinFieldsOnTheWireAndTheEntriesOfAWrongPin)
{
    DEV_ZR40NN_t* ut = openToken(configuredToken("WIRE"));
    ASSERT_NE(ut, nullptr);
    // try_pin checks nothing: a long PIN is cut to 8 octets, an empty one is eight zero octets.
    EXPECT_EQ(DEV_ZR40NN_cmd_try_pin(ut, "0123456789", 1), deviceError(emu::kStatusWrongPin));
    EXPECT_EQ(entries(ut),
              (Lines { "DEV_ZR40NN_single_pass:host receive error frame from device",
                       "DEV_ZR40NN_cmd_try_pin:wrong PIN, command not allowed" }));
    EXPECT_EQ(DEV_ZR40NN_cmd_try_pin(ut, "", 1), deviceError(emu::kStatusWrongPin));
    EXPECT_EQ(DEV_ZR40NN_cmd_try_pin(ut, kSoPin, 0), 0);
    // The administrator may set the user PIN (PIN id 0); eight octets are accepted.
    EXPECT_EQ(DEV_ZR40NN_cmd_change_user_pin(ut, kSoPin, 0, "abcdefgh"), 0);
    EXPECT_EQ(DEV_ZR40NN_cmd_change_so_pin(ut, kSoPin, "s"), 0);
    EXPECT_EQ(DEV_ZR40NN_cmd_dev_unlock(ut, "s"), 0);
    EXPECT_EQ(wire(),
              (Lines { "2F 11 1 '01234567'", "2F 11 1 ''", "2F 11 0 '87654321'", "2B 19 0 '87654321'",
                       "88 19 0 '87654321'", "86 11 0 's'" }));
    EXPECT_EQ(token().snapshot().userPin, "abcdefgh");

    // PIN changes, unlock and erase refuse a ninth octet before anything is sent.
    reopenSession();
    const char* nine = "123456789";
    for (int result : { DEV_ZR40NN_cmd_change_user_pin(ut, "s", 0, nine),
                        DEV_ZR40NN_cmd_change_user_pin(ut, nine, 1, "1"), DEV_ZR40NN_cmd_change_so_pin(ut, nine, "1"),
                        DEV_ZR40NN_cmd_dev_unlock(ut, nine), DEV_ZR40NN_cmd_dev_erase(ut, nine) }) {
        EXPECT_EQ(result, DEV_ZR40NN_ERR_RANGE);
    }
    EXPECT_TRUE(log().empty());
    EXPECT_EQ(ERROR_count(ut->err), 5);
    EXPECT_EQ(entries(ut)[1], "DEV_ZR40NN_cmd_change_user_pin:PIN is too long (at most 8 characters)");
}

TEST_F(DeviceCommands, EveryCommandNeedsASession)
{
    DEV_ZR40NN_t* ut = openToken(configuredToken("CLOSED"));
    ASSERT_NE(ut, nullptr);
    ASSERT_EQ(DEV_ZR40NN_session_close(ut), 0);

    unsigned char buf[130] = {};
    // Every command takes this path through the same exchange; a few stand for all of them.
    const std::vector<std::pair<std::string, std::function<int()>>> commands
        = { { "DEV_ZR40NN_cmd_dev_init", [&] { return DEV_ZR40NN_cmd_dev_init(ut); } },
            { "DEV_ZR40NN_cmd_read_dev_info", [&] { return DEV_ZR40NN_cmd_read_dev_info(ut); } },
            { "DEV_ZR40NN_cmd_try_pin", [&] { return DEV_ZR40NN_cmd_try_pin(ut, kUserPin, 1); } },
            { "DEV_ZR40NN_cmd_read_key_info", [&] { return DEV_ZR40NN_cmd_read_key_info(ut, 0); } },
            { "DEV_ZR40NN_cmd_ecdsa_sign",
              [&] { return DEV_ZR40NN_cmd_ecdsa_sign(ut, kUserPin, 0, buf, 130, buf, 32); } },
            { "DEV_ZR40NN_cmd_read_public_obj", [&] { return DEV_ZR40NN_cmd_read_public_obj(ut, 0, buf); } },
            { "DEV_ZR40NN_cmd_rbg_generate_bits", [&] { return DEV_ZR40NN_cmd_rbg_generate_bits(ut, buf, 16); } } };
    for (const auto& [name, run] : commands) {
        EXPECT_EQ(run(), DEV_ZR40NN_ERR_SESSION_CLOSED) << name;
        EXPECT_EQ(entries(ut).back(), name + ":session is closed");
    }
    // One entry each: the exchange itself adds none.
    EXPECT_EQ(ERROR_count(ut->err), static_cast<int>(commands.size()));
    EXPECT_TRUE(log().empty());
}

TEST_F(DeviceCommands, ConfigurationIsSentAndWipedWhetherOrNotTheTokenTakesIt)
{
    DEV_ZR40NN_t* ut = openToken(blankToken());
    ASSERT_NE(ut, nullptr);
    auto fill = [ut] {
        ut->conf = { 0x13, "TEN_CHARSX", 4, 0x106, { '1', '2', '3', '4', '5', '6', '7', '8' }, { '4', '3', '2', '1' } };
    };
    EXPECT_EQ(DEV_ZR40NN_cmd_dev_init(ut), 0);
    fill();
    EXPECT_EQ(DEV_ZR40NN_cmd_dev_conf(ut), 0) << ut->err;
    EXPECT_TRUE(allZero(ut->conf));
    // Only bit 0x10 of the flags and the low octets of the limits travel.
    const emu::TokenConfig stored = token().snapshot();
    EXPECT_EQ(stored.state, emu::kConfigured | emu::kSoMayNotChangeUserPin);
    EXPECT_EQ(stored.name + "/" + stored.soPin + "/" + stored.userPin, "TEN_CHARSX/12345678/4321");
    EXPECT_EQ(stored.soPinLimit * 100 + stored.userPinLimit, 406);
    EXPECT_EQ(log()[0].requestLength, 2);
    EXPECT_EQ(log()[1].requestLength, 34);

    // Configured now, the token refuses a second configuration: the PINs are wiped anyway.
    fill();
    EXPECT_EQ(DEV_ZR40NN_cmd_dev_conf(ut), deviceError(emu::kStatusNotAllowed));
    EXPECT_TRUE(allZero(ut->conf));
    ASSERT_EQ(DEV_ZR40NN_session_close(ut), 0);
    fill();
    EXPECT_EQ(DEV_ZR40NN_cmd_dev_conf(ut), DEV_ZR40NN_ERR_SESSION_CLOSED);
    EXPECT_TRUE(allZero(ut->conf));
}

TEST_F(DeviceCommands, InformationIsStoredFieldByFieldFromAnswersOf25OctetsOnly)
{
    emu::TokenConfig config = configuredToken("ABCDEFGHIJ", 1600);
    config.soPinTries = 1;
    config.userPinTries = 2;
    config.mainVer = 3;
    config.subVer = 7;
    config.publicMem = 20000;
    config.keysNum = 3;
    DEV_ZR40NN_t* ut = openToken(config);
    ASSERT_NE(ut, nullptr);
    const DEV_ZR40NN_info_t before = ut->info;
    EXPECT_EQ((std::vector<int> { before.info, before.so_pin_trys, before.user_pin_trys, before.so_pin_limit,
                                  before.user_pin_limit, before.main_ver, before.sub_ver, before.public_mem,
                                  before.public_objs, before.keys_num }),
              (std::vector<int> { emu::kConfigured, 1, 2, 5, 3, 3, 7, 20000, 312, 3 }));
    EXPECT_STREQ(before.name, "ABCDEFGHIJ");
    EXPECT_EQ(before.ecc_params, &DEV_ZR40NN_ecc_params[0]);

    // 24 octets: the length octet announces one less, and octet by octet the host stops there.
    // 26 octets: a well-formed frame with one octet too many.
    emu::BridgeFaults shorter;
    shorter.answerLengthDelta = -1;
    shorter.splitAnswerAt = 1;
    emu::BridgeFaults longer;
    longer.extraAnswerOctets = 1;
    for (const emu::BridgeFaults& faults : { shorter, longer }) {
        reopenSession();
        setFaults(faults);
        EXPECT_EQ(DEV_ZR40NN_cmd_read_dev_info(ut), DEV_ZR40NN_ERR_RECEIVE);
        EXPECT_EQ(std::memcmp(&before, &ut->info, sizeof(before)), 0);
        EXPECT_EQ(entries(ut), Lines { "DEV_ZR40NN_cmd_read_dev_info:received frame syntax error" });
        EXPECT_NE(ut->handle, nullptr) << "a wrong answer is the token's fault, not the transport's";
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
    EXPECT_EQ(entries(ut), Lines { "DEV_ZR40NN_cmd_read_dev_info:received ECC domain paramethers are not supported" });
}

TEST_F(DeviceCommands, EraseEmptiesTheKeySlotsButNotTheFileTable)
{
    emu::TokenConfig config = configuredToken("ERASE");
    config.publicMemory.assign(16384, 0);
    const unsigned char entry[] = { 0x41, 0, 0, 10, 'a', '.', 't', 'x', 't' };
    std::memcpy(config.publicMemory.data(), entry, sizeof(entry));
    config.publicMemory[32] = 8;
    config.keys[1] = { true, "doomed", {}, {}, {} };
    DEV_ZR40NN_t* ut = openToken(config);
    ASSERT_NE(ut, nullptr);
    ASSERT_EQ(ut->keys[1].info & 1, 1);
    ASSERT_EQ(ut->file_types[0], 0x41);
    const DEV_ZR40NN_t before = *ut;

    EXPECT_EQ(DEV_ZR40NN_cmd_dev_erase(ut, "wrong"), deviceError(emu::kStatusWrongPin));
    EXPECT_EQ(std::memcmp(before.keys, ut->keys, sizeof(ut->keys)), 0) << "a refused erase keeps the slots";
    EXPECT_EQ(DEV_ZR40NN_cmd_dev_erase(ut, kSoPin), 0);
    EXPECT_TRUE(allZero(ut->keys));
    EXPECT_EQ(wire().back(), "87 11 0 '87654321'");
    // Everything from the file count to the session flag is the file table cache.
    const std::size_t from = offsetof(DEV_ZR40NN_t, files_no);
    const std::size_t to = offsetof(DEV_ZR40NN_t, session_is_open);
    EXPECT_EQ(
        std::memcmp(reinterpret_cast<const char*>(&before) + from, reinterpret_cast<const char*>(ut) + from, to - from),
        0);
}

} // namespace
} // namespace zr40nn::test
