// Device list, library life cycle and sessions, against emulated tokens plugged in and out.
#include "token_fixture.h"

#include <algorithm>

namespace zr40nn::test {
namespace {

using Devices = TokenTest;

TEST_F(Devices, RecordsSurviveSearchesAndVanishWithTheirToken)
{
    const int a = plug(configuredToken("ALPHA"));
    const int b = plug(configuredToken("BETA"));
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 2);
    DEV_ZR40NN_t* recordA = recordOf(a);
    DEV_ZR40NN_t* recordB = recordOf(b);
    ASSERT_NE(recordA, nullptr);
    ASSERT_NE(recordB, nullptr);
    EXPECT_STREQ(recordA->product_string, "DEV-ZR40NN");
    // A new record knows nothing of its token until a refresh.
    EXPECT_STREQ(recordA->info.name, "");
    EXPECT_EQ(recordA->files_no, 16);

    ASSERT_EQ(DEV_ZR40NN_lib_actualize_devices(), 0);
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 2);
    EXPECT_EQ(recordOf(a), recordA);
    EXPECT_EQ(recordOf(b), recordB);
    EXPECT_STREQ(recordA->info.name, "ALPHA") << "a search keeps what a record learnt";

    // Unplugged: the next search frees its record (the sanitizers check nothing reads it after).
    unplug(a);
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 1);
    EXPECT_EQ(DEV_ZR40NN_get_first(), recordB);
    EXPECT_EQ(recordB->next, nullptr);
    EXPECT_EQ(DEV_ZR40NN_find_by_name("ALPHA"), nullptr);

    // A token plugged in anew is appended at the tail.
    const int c = plug(configuredToken("GAMMA"));
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 2);
    EXPECT_EQ(DEV_ZR40NN_find_by_index(0), recordB);
    EXPECT_EQ(DEV_ZR40NN_find_by_index(1), recordOf(c));
    EXPECT_EQ(DEV_ZR40NN_find_index_of(recordOf(c)), 1);
    EXPECT_EQ(DEV_ZR40NN_find_by_index(2), nullptr);
    EXPECT_EQ(DEV_ZR40NN_find_by_index(-1), nullptr);

    // One unplugged in the middle of a session: its record and USB handle are freed too (the
    // sanitizers see a handle left behind).
    ASSERT_EQ(DEV_ZR40NN_session_open(recordB), 0);
    unplug(b);
    unplug(c);
    EXPECT_EQ(DEV_ZR40NN_lib_find_devices(), 0);
    EXPECT_EQ(DEV_ZR40NN_get_first(), nullptr);
    EXPECT_EQ(DEV_ZR40NN_find_by_index(0), nullptr);
    EXPECT_EQ(DEV_ZR40NN_find_index_of(recordB), -1);
    EXPECT_EQ(DEV_ZR40NN_lib_actualize_devices(), 0);
}

TEST_F(Devices, UnopenableDeviceListedWithEmptyStrings)
{
    const int id = plug(blankToken());
    emu::BridgeFaults faults;
    faults.failOpen = true;
    bus().setFaults(id, faults);
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 1);
    DEV_ZR40NN_t* ut = DEV_ZR40NN_find_by_index(0);
    ASSERT_NE(ut, nullptr);
    EXPECT_STREQ(ut->product_string, "");
    EXPECT_STREQ(ut->serial_number, "");
    EXPECT_EQ(ut->handle, nullptr);
}

TEST_F(Devices, RecordFreedInASessionClosesItThroughItsTransport)
{
    const int id = plug(configuredToken("OPEN"));
    libInit();
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 1);
    DEV_ZR40NN_t* ut = recordOf(id);
    ASSERT_EQ(DEV_ZR40NN_session_open(ut), 0) << ut->err;
    // The transport's close resets the bridge before it lets the handle go; libusb alone would not.
    static int closes = 0;
    closes = 0;
    ut->close = [](DEV_ZR40NN_t* record) {
        ++closes;
        return CP210X_DEV_ZR40NN_close(record);
    };
    const int resets = bus().resetCount(id);
    libFinish();
    libFinish();
    EXPECT_EQ(DEV_ZR40NN_get_first(), nullptr);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(bus().resetCount(id), resets + 1);
    EXPECT_FALSE(bus().bridgeReady(id));
}

TEST_F(Devices, FindByNameTakesTheFirstOfElevenOctets)
{
    const int ids[]
        = { plug(configuredToken("TWIN")), plug(configuredToken("TWIN")), plug(configuredToken("ABCDEFGHIJ")) };
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 3);
    ASSERT_EQ(DEV_ZR40NN_lib_actualize_devices(), 0);
    const int twin = std::min(DEV_ZR40NN_find_index_of(recordOf(ids[0])), DEV_ZR40NN_find_index_of(recordOf(ids[1])));
    EXPECT_EQ(DEV_ZR40NN_find_by_name("TWIN"), DEV_ZR40NN_find_by_index(twin));
    EXPECT_EQ(DEV_ZR40NN_find_by_name("ABCDEFGHIJ"), recordOf(ids[2]));
    // The comparison covers the terminator: neither a longer nor a shorter name matches.
    for (const char* name : { "ABCDEFGHIJK", "ABCDEFGHI", "TWI", "" }) {
        EXPECT_EQ(DEV_ZR40NN_find_by_name(name), nullptr) << name;
    }
}

TEST_F(Devices, InitAndFinishAreCounted)
{
    const int id = plug(configuredToken("COUNTED"));
    libInit();
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 1);
    DEV_ZR40NN_t* ut = recordOf(id);
    libFinish();
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

} // namespace
} // namespace zr40nn::test
