// The refresh of every listed token: what is read from which token, and where a failure stops it.
#include "fixture.h"

#include <algorithm>

namespace zr40nn::test {
namespace {

using Codes = std::vector<std::uint8_t>;
using Refresh = TokenTest;

// Information, every key slot, then the 16 file table objects.
Codes usableTokenReads(int keySlots)
{
    Codes codes { 0x02 };
    codes.insert(codes.end(), static_cast<std::size_t>(keySlots), 0x03);
    codes.insert(codes.end(), 16, 0x04);
    return codes;
}

TEST_F(Refresh, ReadsKeysAndFilesOnlyOfUsableTokens)
{
    emu::TokenConfig blank = blankToken();
    emu::TokenConfig initialised = blankToken();
    initialised.state = emu::kInitialised;
    emu::TokenConfig locked = configuredToken("LOCKED");
    locked.state |= emu::kLocked;
    emu::TokenConfig usable = configuredToken("USABLE", 1600);
    usable.keysNum = 3;
    usable.keys[1].present = true;
    usable.keys[1].name = "signing";

    const int blankId = plug(blank);
    const int initialisedId = plug(initialised);
    const int lockedId = plug(locked);
    const int usableId = plug(usable);
    findAndRefresh(4);

    EXPECT_EQ(commandCodes(blankId), Codes { 0x02 });
    EXPECT_EQ(commandCodes(initialisedId), Codes { 0x02 });
    EXPECT_EQ(commandCodes(lockedId), Codes { 0x02 });
    EXPECT_EQ(commandCodes(usableId), usableTokenReads(3));

    DEV_ZR40NN_t* ut = recordOf(usableId);
    ASSERT_NE(ut, nullptr);
    EXPECT_STREQ(ut->info.name, "USABLE");
    EXPECT_EQ(ut->info.ecc_params, DEV_ZR40NN_get_ecc_params(1600));
    EXPECT_EQ(ut->keys[1].info & 0x01, 0x01);
    EXPECT_STREQ(ut->keys[1].name, "signing");
    EXPECT_EQ(ut->keys[3].info, 0);
    EXPECT_EQ(recordOf(lockedId)->info.info & 0x04, 0x04);
    EXPECT_STREQ(recordOf(lockedId)->info.name, "LOCKED");

    // Every session the refresh opened is closed again, with a clean stack.
    for (DEV_ZR40NN_t* listed = DEV_ZR40NN_get_first(); listed != nullptr; listed = listed->next) {
        EXPECT_EQ(listed->session_is_open, 0);
        EXPECT_EQ(listed->handle, nullptr);
        EXPECT_STREQ(listed->err, "");
    }
}

TEST_F(Refresh, TokenLockedAfterwardsKeepsCachedKeysAndFiles)
{
    emu::TokenConfig config = configuredToken("KEEP");
    config.keys[0].present = true;
    config.keys[0].name = "first";
    int id = -1;
    DEV_ZR40NN_t* ut = plugAndRefresh(config, &id);
    ASSERT_NE(ut, nullptr);
    ASSERT_STREQ(ut->keys[0].name, "first");

    // Wrong user PINs up to the limit lock the token; the next refresh reads only its information.
    ASSERT_EQ(DEV_ZR40NN_session_open(ut), 0);
    const unsigned char wrongPin[] = { 0x00, 0x2F, 0x01, 'x', 0, 0, 0, 0, 0, 0, 0 };
    unsigned char answer[130];
    for (int i = 0; i < 5; ++i) {
        DEV_ZR40NN_single_pass(ut, wrongPin, sizeof(wrongPin), answer, 130);
    }
    ASSERT_EQ(DEV_ZR40NN_session_close(ut), 0);
    bus().token(id).clearLog();
    ASSERT_EQ(DEV_ZR40NN_lib_actualize_devices(), 0) << ut->err;
    ASSERT_NE(ut->info.info & 0x04, 0) << "token did not lock";
    EXPECT_EQ(commandCodes(id), Codes { 0x02 });
    EXPECT_STREQ(ut->keys[0].name, "first");
}

TEST_F(Refresh, MoreThanFourKeySlotsFailAtSlotFour)
{
    emu::TokenConfig config = configuredToken("FIVE");
    config.keysNum = 5;
    const int id = plug(config);
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 1);
    EXPECT_EQ(DEV_ZR40NN_lib_actualize_devices(), -10);

    DEV_ZR40NN_t* ut = recordOf(id);
    ASSERT_NE(ut, nullptr);
    EXPECT_EQ(commandCodes(id), (Codes { 0x02, 0x03, 0x03, 0x03, 0x03 }));
    EXPECT_EQ(ut->session_is_open, 0);
    EXPECT_EQ(ut->handle, nullptr);
    const auto entries = stackEntries(ut);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back(), "DEV_ZR40NN_cmd_read_key_info:key number is out of range for this device");
}

TEST_F(Refresh, FailureOnSecondOfThreeLeavesTheThirdAlone)
{
    int ids[3];
    for (int i = 0; i < 3; ++i) {
        ids[i] = plug(configuredToken("THREE" + std::to_string(i)));
    }
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 3);
    // List order is the order libusb reported the devices in: map positions to tokens.
    int idAt[3];
    for (int position = 0; position < 3; ++position) {
        DEV_ZR40NN_t* ut = DEV_ZR40NN_find_by_index(position);
        ASSERT_NE(ut, nullptr);
        idAt[position] = *std::find_if(ids, ids + 3, [&](int id) { return recordOf(id) == ut; });
    }

    // The search read the USB strings (and reset each token); from here on the third is not touched.
    const int thirdResets = bus().resetCount(idAt[2]);
    bus().token(idAt[1]).failCommand(0x02, emu::kStatusNotAllowed);
    EXPECT_EQ(DEV_ZR40NN_lib_actualize_devices(), -101);

    EXPECT_EQ(std::string(DEV_ZR40NN_find_by_index(0)->info.name), bus().token(idAt[0]).snapshot().name);
    EXPECT_EQ(commandCodes(idAt[0]), usableTokenReads(4));

    DEV_ZR40NN_t* second = DEV_ZR40NN_find_by_index(1);
    EXPECT_STREQ(second->info.name, "");
    EXPECT_EQ(second->session_is_open, 0);
    EXPECT_EQ(stackEntries(second),
              (std::vector<std::string> {
                  "DEV_ZR40NN_single_pass:host receive error frame from device",
                  "DEV_ZR40NN_cmd_read_dev_info:command is not allowed in this state of device",
              }));

    // The third was never opened: nothing sent, nothing learnt.
    DEV_ZR40NN_t* third = DEV_ZR40NN_find_by_index(2);
    EXPECT_TRUE(commandCodes(idAt[2]).empty());
    EXPECT_STREQ(third->info.name, "");
    EXPECT_EQ(third->info.ecc_params, nullptr);
    EXPECT_EQ(bus().resetCount(idAt[2]), thirdResets);
    EXPECT_FALSE(bus().bridgeReady(idAt[2]));
}

TEST_F(Refresh, OpenSessionStopsTheRefresh)
{
    int ids[2];
    for (int i = 0; i < 2; ++i) {
        ids[i] = plug(configuredToken("OPEN" + std::to_string(i)));
    }
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 2);
    DEV_ZR40NN_t* first = DEV_ZR40NN_find_by_index(0);
    DEV_ZR40NN_t* second = DEV_ZR40NN_find_by_index(1);

    ASSERT_EQ(DEV_ZR40NN_session_open(second), 0);
    std::snprintf(second->err, sizeof(second->err), "kept entry\n");
    for (int id : ids) {
        bus().token(id).clearLog();
    }

    EXPECT_EQ(DEV_ZR40NN_lib_actualize_devices(), -2);
    EXPECT_NE(std::string(first->info.name), "");
    EXPECT_STREQ(second->info.name, "");
    EXPECT_STREQ(second->err, "kept entry\n");
    EXPECT_EQ(second->session_is_open, 1);
    const int secondId = recordOf(ids[0]) == second ? ids[0] : ids[1];
    EXPECT_TRUE(commandCodes(secondId).empty());
}

TEST_F(Refresh, UnsupportedCurveFailsWithItsCode)
{
    emu::TokenConfig config = configuredToken("ODDCURVE");
    config.curveId = 3840;
    const int id = plug(config);
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 1);
    EXPECT_EQ(DEV_ZR40NN_lib_actualize_devices(), -11);
    DEV_ZR40NN_t* ut = recordOf(id);
    EXPECT_EQ(ut->session_is_open, 0);
    EXPECT_EQ(ut->info.ecc_params, nullptr);
    EXPECT_STREQ(ut->info.name, "ODDCURVE");
    EXPECT_EQ(commandCodes(id), Codes { 0x02 });
}

} // namespace
} // namespace zr40nn::test
