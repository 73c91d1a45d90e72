// The refresh of every listed token: what is read from which token, and where a failure stops it.
#include "token_fixture.h"

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
    emu::TokenConfig initialised = blankToken();
    initialised.state = emu::kInitialised;
    emu::TokenConfig locked = configuredToken("LOCKED");
    locked.state |= emu::kLocked;
    emu::TokenConfig usable = configuredToken("USABLE", 1600);
    usable.keysNum = 3;
    usable.keys[1].present = true;
    usable.keys[1].name = "signing";

    const int blankId = plug(blankToken());
    const int initialisedId = plug(initialised);
    const int lockedId = plug(locked);
    const int usableId = plug(usable);
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 4);
    // A token that is not usable keeps the key slots and file table its record had.
    recordOf(lockedId)->keys[0].info = 1;
    recordOf(lockedId)->file_types[0] = 0x41;
    ASSERT_EQ(DEV_ZR40NN_lib_actualize_devices(), 0);
    EXPECT_EQ(recordOf(lockedId)->keys[0].info + recordOf(lockedId)->file_types[0], 0x42);

    for (int id : { blankId, initialisedId, lockedId }) {
        EXPECT_EQ(commandCodes(id), Codes { 0x02 });
    }
    EXPECT_EQ(commandCodes(usableId), usableTokenReads(3));
    DEV_ZR40NN_t* ut = recordOf(usableId);
    EXPECT_STREQ(ut->keys[1].name, "signing");
    EXPECT_EQ(ut->keys[1].info & 0x01, 0x01);
    EXPECT_STREQ(recordOf(lockedId)->info.name, "LOCKED");

    // Every session the refresh opened is closed again, with a clean stack.
    for (DEV_ZR40NN_t* listed = DEV_ZR40NN_get_first(); listed != nullptr; listed = listed->next) {
        EXPECT_EQ(listed->session_is_open, 0);
        EXPECT_EQ(listed->handle, nullptr);
        EXPECT_STREQ(listed->err, "");
    }
}

TEST_F(Refresh, MoreThanFourKeySlotsFailAtSlotFour)
{
    emu::TokenConfig config = configuredToken("FIVE");
    config.keysNum = 5;
    const int id = plug(config);
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 1);
    EXPECT_EQ(DEV_ZR40NN_lib_actualize_devices(), DEV_ZR40NN_ERR_KEY_NUMBER);

    DEV_ZR40NN_t* ut = recordOf(id);
    EXPECT_EQ(commandCodes(id), (Codes { 0x02, 0x03, 0x03, 0x03, 0x03 }));
    EXPECT_EQ(ut->session_is_open, 0);
    EXPECT_EQ(entries(ut), Lines { "DEV_ZR40NN_cmd_read_key_info:key number is out of range for this device" });
}

TEST_F(Refresh, FailureOrOpenSessionOnSecondOfThreeLeavesTheThirdAlone)
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
        idAt[position] = *std::find_if(ids, ids + 3, [&](int id) { return recordOf(id) == ut; });
    }

    // The search read the USB strings (and reset each token); from here on the third is not touched.
    const int thirdResets = bus().resetCount(idAt[2]);
    bus().token(idAt[1]).failCommand(0x02, emu::kStatusNotAllowed);
    EXPECT_EQ(DEV_ZR40NN_lib_actualize_devices(), deviceError(emu::kStatusNotAllowed));

    EXPECT_EQ(commandCodes(idAt[0]), usableTokenReads(4));
    DEV_ZR40NN_t* second = DEV_ZR40NN_find_by_index(1);
    EXPECT_EQ(second->session_is_open, 0);
    EXPECT_EQ(entries(second),
              (Lines { "DEV_ZR40NN_single_pass:host receive error frame from device",
                       "DEV_ZR40NN_cmd_read_dev_info:command is not allowed in this state of device" }));
    EXPECT_TRUE(commandCodes(idAt[2]).empty());
    EXPECT_STREQ(DEV_ZR40NN_find_by_index(2)->info.name, "");
    EXPECT_EQ(bus().resetCount(idAt[2]), thirdResets);

    // A session left open on the second token stops the refresh there, without a word on its stack.
    bus().token(idAt[1]).clearFailures();
    ASSERT_EQ(DEV_ZR40NN_session_open(second), 0);
    std::snprintf(second->err, sizeof(second->err), "kept entry\n");
    bus().token(idAt[1]).clearLog();
    EXPECT_EQ(DEV_ZR40NN_lib_actualize_devices(), DEV_ZR40NN_ERR_SESSION_OPEN);
    EXPECT_STREQ(second->err, "kept entry\n");
    EXPECT_TRUE(commandCodes(idAt[1]).empty());
    EXPECT_TRUE(commandCodes(idAt[2]).empty());
    EXPECT_EQ(DEV_ZR40NN_session_close(second), 0);
    EXPECT_EQ(DEV_ZR40NN_session_close(second), DEV_ZR40NN_ERR_SESSION_NOT_OPEN);
    EXPECT_STREQ(second->err, "kept entry\n");
}

} // namespace
} // namespace zr40nn::test
