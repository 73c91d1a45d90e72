// Device list, library life cycle and sessions, against emulated tokens plugged in and out.
#include "fixture.h"

#include <algorithm>
#include <set>

namespace zr40nn::test {
namespace {

using Devices = TokenTest;

TEST_F(Devices, NoTokenFindsNothing)
{
    EXPECT_EQ(DEV_ZR40NN_lib_find_devices(), 0);
    EXPECT_EQ(DEV_ZR40NN_get_first(), nullptr);
    EXPECT_EQ(DEV_ZR40NN_find_by_index(0), nullptr);
    EXPECT_EQ(DEV_ZR40NN_find_index_of(nullptr), -1);
    EXPECT_EQ(DEV_ZR40NN_find_by_name(""), nullptr);
    EXPECT_EQ(DEV_ZR40NN_lib_actualize_devices(), 0);
}

TEST_F(Devices, RecordsSurviveSearchesAndVanishWithTheirToken)
{
    const int a = plug(configuredToken("ALPHA"));
    const int b = plug(configuredToken("BETA"));
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 2);
    DEV_ZR40NN_t* recordA = recordOf(a);
    DEV_ZR40NN_t* recordB = recordOf(b);
    ASSERT_NE(recordA, nullptr);
    ASSERT_NE(recordB, nullptr);
    EXPECT_NE(recordA, recordB);
    EXPECT_STREQ(recordA->product_string, "DEV-ZR40NN");
    EXPECT_NE(recordA->dev_number, 0);
    EXPECT_FALSE(recordA->bus_number == recordB->bus_number && recordA->dev_number == recordB->dev_number);
    // A new record knows nothing of its token until a refresh.
    EXPECT_STREQ(recordA->info.name, "");
    EXPECT_EQ(recordA->info.ecc_params, nullptr);
    EXPECT_EQ(recordA->files_no, 16);

    ASSERT_EQ(DEV_ZR40NN_lib_actualize_devices(), 0) << errorsOfAll();
    EXPECT_STREQ(recordA->info.name, "ALPHA");

    // Searching again keeps the same records with what they learnt.
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 2);
    EXPECT_EQ(recordOf(a), recordA);
    EXPECT_EQ(recordOf(b), recordB);
    EXPECT_STREQ(recordA->info.name, "ALPHA");

    // Unplugged: the next search frees its record (ASan checks that nothing reads it after).
    unplug(a);
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 1);
    EXPECT_EQ(DEV_ZR40NN_get_first(), recordB);
    EXPECT_EQ(DEV_ZR40NN_find_index_of(recordB), 0);
    EXPECT_EQ(recordB->next, nullptr);
    EXPECT_EQ(DEV_ZR40NN_find_by_index(1), nullptr);
    EXPECT_EQ(DEV_ZR40NN_find_by_name("ALPHA"), nullptr);

    // A token plugged in anew is appended at the tail.
    const int c = plug(configuredToken("GAMMA"));
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 2);
    EXPECT_EQ(DEV_ZR40NN_find_by_index(0), recordB);
    DEV_ZR40NN_t* recordC = DEV_ZR40NN_find_by_index(1);
    ASSERT_NE(recordC, nullptr);
    EXPECT_EQ(recordC, recordOf(c));
    EXPECT_EQ(recordB->next, recordC);
    EXPECT_EQ(DEV_ZR40NN_find_index_of(recordC), 1);
    EXPECT_EQ(DEV_ZR40NN_find_by_index(2), nullptr);
    EXPECT_EQ(DEV_ZR40NN_find_by_index(-1), nullptr);

    // With every token gone the list is empty.
    unplug(b);
    unplug(c);
    EXPECT_EQ(DEV_ZR40NN_lib_find_devices(), 0);
    EXPECT_EQ(DEV_ZR40NN_get_first(), nullptr);
}

TEST_F(Devices, CountAgreesWithRecordsForManyTokens)
{
    std::set<std::string> serials;
    for (int i = 0; i < 6; ++i) {
        serials.insert(bus().token(plug(blankToken())).snapshot().serial);
    }
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 6);
    std::set<std::string> listed;
    for (int i = 0; i < 6; ++i) {
        DEV_ZR40NN_t* ut = DEV_ZR40NN_find_by_index(i);
        ASSERT_NE(ut, nullptr) << i;
        EXPECT_EQ(DEV_ZR40NN_find_index_of(ut), i);
        listed.insert(ut->serial_number);
    }
    EXPECT_EQ(listed, serials);
    EXPECT_EQ(DEV_ZR40NN_find_by_index(6), nullptr);
}

TEST_F(Devices, UnopenableDeviceListedWithEmptyStrings)
{
    const int id = plug(blankToken());
    emu::BridgeFaults faults;
    faults.failOpen = true;
    bus().setFaults(id, faults);
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 1);
    DEV_ZR40NN_t* ut = DEV_ZR40NN_get_first();
    ASSERT_NE(ut, nullptr);
    EXPECT_STREQ(ut->product_string, "");
    EXPECT_STREQ(ut->serial_number, "");
    EXPECT_EQ(ut->handle, nullptr);
    EXPECT_EQ(DEV_ZR40NN_find_by_index(0), ut);
    bus().setFaults(id, {});
}

TEST_F(Devices, FindByNameTakesTheFirstMatch)
{
    const int first = plug(configuredToken("TWIN"));
    const int second = plug(configuredToken("TWIN"));
    const int other = plug(configuredToken("ABCDEFGHIJ"));
    findAndRefresh(3);

    DEV_ZR40NN_t* found = DEV_ZR40NN_find_by_name("TWIN");
    ASSERT_NE(found, nullptr);
    const int firstIndex
        = std::min(DEV_ZR40NN_find_index_of(recordOf(first)), DEV_ZR40NN_find_index_of(recordOf(second)));
    EXPECT_EQ(DEV_ZR40NN_find_index_of(found), firstIndex);

    // Ten characters are a whole name; the comparison covers the terminator too.
    EXPECT_EQ(DEV_ZR40NN_find_by_name("ABCDEFGHIJ"), recordOf(other));
    EXPECT_EQ(DEV_ZR40NN_find_by_name("ABCDEFGHIJK"), nullptr);
    EXPECT_EQ(DEV_ZR40NN_find_by_name("ABCDEFGHI"), nullptr);
    EXPECT_EQ(DEV_ZR40NN_find_by_name("TWI"), nullptr);
    EXPECT_EQ(DEV_ZR40NN_find_by_name(nullptr), nullptr);
}

TEST_F(Devices, SecondSessionRefusedKeepingTheStack)
{
    int id = -1;
    DEV_ZR40NN_t* ut = plugAndRefresh(configuredToken("SESSION"), &id);
    ASSERT_NE(ut, nullptr);
    ASSERT_EQ(DEV_ZR40NN_session_open(ut), 0);
    EXPECT_EQ(ut->session_is_open, 1);
    EXPECT_TRUE(bus().bridgeReady(id));

    // An entry left by the open session's first command.
    bus().token(id).failCommand(0x02, emu::kStatusNotAllowed);
    const unsigned char request[] = { 0x00, 0x02 };
    unsigned char answer[130];
    EXPECT_EQ(DEV_ZR40NN_single_pass(ut, request, 2, answer, 130), -101);
    const std::string stack = ut->err;
    ASSERT_FALSE(stack.empty());

    EXPECT_EQ(DEV_ZR40NN_session_open(ut), -2);
    EXPECT_EQ(std::string(ut->err), stack);
    EXPECT_EQ(ut->session_is_open, 1);

    const int resets = bus().resetCount(id);
    EXPECT_EQ(DEV_ZR40NN_session_close(ut), 0);
    EXPECT_EQ(ut->session_is_open, 0);
    EXPECT_EQ(ut->handle, nullptr);
    EXPECT_EQ(bus().resetCount(id), resets + 1);
    EXPECT_EQ(DEV_ZR40NN_session_close(ut), -3);
    EXPECT_EQ(std::string(ut->err), stack);

    // The next session starts with an empty stack.
    bus().token(id).clearFailures();
    ASSERT_EQ(DEV_ZR40NN_session_open(ut), 0);
    EXPECT_STREQ(ut->err, "");
}

TEST_F(Devices, InitAndFinishAreCounted)
{
    const int id = plug(configuredToken("COUNTED"));
    libInit();
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 1);
    DEV_ZR40NN_t* ut = recordOf(id);
    ASSERT_NE(ut, nullptr);

    libFinish();
    EXPECT_EQ(DEV_ZR40NN_get_first(), ut);
    EXPECT_EQ(DEV_ZR40NN_find_by_index(0), ut);

    libFinish();
    EXPECT_EQ(DEV_ZR40NN_get_first(), nullptr);
    EXPECT_EQ(DEV_ZR40NN_find_by_index(0), nullptr);

    // An unpaired finish changes nothing; the library starts again afterwards.
    EXPECT_EQ(DEV_ZR40NN_lib_finish(), 0);
    libInit();
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 1);
    ASSERT_EQ(DEV_ZR40NN_lib_actualize_devices(), 0);
    EXPECT_STREQ(DEV_ZR40NN_get_first()->info.name, "COUNTED");
}

TEST_F(Devices, TokenUnpluggedDuringSessionIsReleased)
{
    int id = -1;
    DEV_ZR40NN_t* ut = plugAndRefresh(configuredToken("GONE"), &id);
    ASSERT_NE(ut, nullptr);
    ASSERT_EQ(DEV_ZR40NN_session_open(ut), 0);
    unplug(id);
    // The record and its USB handle are freed (LeakSanitizer would see a handle left behind).
    EXPECT_EQ(DEV_ZR40NN_lib_find_devices(), 0);
    EXPECT_EQ(DEV_ZR40NN_get_first(), nullptr);
}

} // namespace
} // namespace zr40nn::test
