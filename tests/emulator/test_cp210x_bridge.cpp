// The CP210x bridge without USB: its set-up, how frames are joined and answers packetised, and
// the faults that shape answers. What the host sees of stalls, drops and vanishing tokens is
// tested through libusb in test_usb_bus.
#include "cp210x_bridge.h"
#include "token_requests.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace zr40nn::emu;
using namespace zr40nn::emu::test;

namespace {

constexpr auto kWait = std::chrono::seconds(10); // upper bound only: answers come in microseconds

struct SetupCall
{
    std::uint8_t request;
    std::uint16_t value;
};
constexpr SetupCall kSetup[] = { { 0x00, 1 }, { 0x01, 14 }, { 0x03, 0x0800 }, { 0x07, 0x0303 } };

class BridgeTest : public ::testing::Test
{
protected:
    // The six set-up steps; true when each call succeeded.
    bool setUp()
    {
        bool all = true;
        for (const SetupCall& call : kSetup) {
            all &= bridge.vendorRequest(0x41, call.request, call.value, 0) == 0;
        }
        all &= bridge.setConfiguration(1) == 0;
        return bridge.claimInterface(0) == 0 && all;
    }

    void send(const Bytes& payload)
    {
        Bytes frame { static_cast<std::uint8_t>(payload.size()) };
        frame.insert(frame.end(), payload.begin(), payload.end());
        ASSERT_EQ(bridge.bulkOut(Cp210xBridge::kBulkOut, frame.data(), frame.size()).length, frame.size());
    }

    // Reads one whole answer frame, in as many IN transfers as it takes.
    Bytes readFrame()
    {
        Bytes frame;
        while (frame.empty() || frame.size() < 1u + frame[0]) {
            EXPECT_TRUE(bridge.waitForAnswer(kWait));
            std::uint8_t part[64];
            const UsbTransfer t = bridge.bulkIn(Cp210xBridge::kBulkIn, part, sizeof part);
            if (t.outcome != UsbTransfer::Outcome::Completed || t.length == 0) {
                ADD_FAILURE() << "transfer did not complete";
                break;
            }
            frame.insert(frame.end(), part, part + t.length);
        }
        return frame;
    }

    TokenModel token;
    Cp210xBridge bridge { token };
};

TEST_F(BridgeTest, SetupNeedsEveryStepWithItsExactValue)
{
    EXPECT_EQ(bridge.bulkOut(Cp210xBridge::kBulkOut, nullptr, 0).error, EPIPE) << "no traffic before the set-up";
    ASSERT_TRUE(setUp());
    ASSERT_TRUE(bridge.ready());
    // The chip takes any value, but only the right ones make the line usable.
    EXPECT_EQ(bridge.vendorRequest(0x41, 0x01, 12, 0), 0);
    EXPECT_FALSE(bridge.ready()) << "wrong divisor";
    EXPECT_EQ(bridge.vendorRequest(0x41, 0x01, 14, 0), 0);
    EXPECT_EQ(bridge.vendorRequest(0x41, 0x00, 0, 0), 0);
    EXPECT_FALSE(bridge.ready()) << "UART disabled";
    EXPECT_EQ(bridge.vendorRequest(0x41, 0x00, 1, 0), 0);
    EXPECT_TRUE(bridge.ready());

    EXPECT_EQ(bridge.vendorRequest(0x40, 0x00, 1, 0), EPIPE) << "device recipient";
    EXPECT_EQ(bridge.vendorRequest(0x41, 0x00, 1, 1), EPIPE) << "no interface 1";
    EXPECT_EQ(bridge.vendorRequest(0x41, 0x12, 0x0F, 0), EPIPE) << "a request the bridge does not take";
    EXPECT_EQ(bridge.claimInterface(1), EINVAL);
    EXPECT_EQ(bridge.setConfiguration(2), EINVAL);
    EXPECT_TRUE(bridge.ready());

    EXPECT_EQ(bridge.releaseInterface(0), 0);
    EXPECT_FALSE(bridge.ready());
    EXPECT_EQ(bridge.claimInterface(0), 0);
    EXPECT_TRUE(bridge.ready());
    bridge.reset();
    EXPECT_FALSE(bridge.ready());
    EXPECT_EQ(bridge.resetCount(), 1);
}

TEST_F(BridgeTest, ResetLosesTheAnswerStillOnItsWay)
{
    ASSERT_TRUE(setUp());
    send(randomRequest(5));
    bridge.reset();
    ASSERT_TRUE(setUp());
    send(infoRequest());
    EXPECT_EQ(readFrame().size(), 26u) << "the next answer is the information, not the random octets";
}

TEST_F(BridgeTest, FramesAreCutOutOfTheOctetStreamByTheirLength)
{
    ASSERT_TRUE(setUp());
    // One frame an octet at a time, then two frames in one transfer.
    const Bytes first { 3, 0x00, 0x05, 9 };
    for (std::uint8_t octet : first) {
        ASSERT_EQ(bridge.bulkOut(Cp210xBridge::kBulkOut, &octet, 1).length, 1u);
    }
    const Bytes both { 2, 0x00, 0x02, 3, 0x00, 0x05, 4 };
    bridge.bulkOut(Cp210xBridge::kBulkOut, both.data(), both.size());
    for (std::size_t expected : { 11u, 26u, 6u }) {
        EXPECT_EQ(readFrame().size(), expected);
    }
    EXPECT_EQ(bridge.framesReceived(), 3);
}

TEST_F(BridgeTest, LengthFaultsShapeTheFrame)
{
    ASSERT_TRUE(setUp());
    struct Case
    {
        int delta, extra;
        Bytes request;
        std::size_t octets; // what the bridge sends, whatever the length octet says
        std::uint8_t lengthOctet;
    };
    const Case cases[] = {
        // 25 payload octets announced as 22: a host stops early and leaves octets behind.
        { -3, 0, infoRequest(), 26, 22 },
        // Well-formed but too long: a 26-octet information answer, a random answer 3 octets over.
        { 0, 1, infoRequest(), 27, 26 },
        { 0, 3, randomRequest(5), 10, 9 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.lengthOctet));
        BridgeFaults faults;
        faults.answerLengthDelta = c.delta;
        faults.extraAnswerOctets = c.extra;
        bridge.setFaults(faults);
        send(c.request);
        ASSERT_TRUE(bridge.waitForAnswer(kWait));
        Bytes frame(64, 0xEE);
        const UsbTransfer t = bridge.bulkIn(Cp210xBridge::kBulkIn, frame.data(), frame.size());
        ASSERT_EQ(t.length, c.octets);
        EXPECT_EQ(frame[0], c.lengthOctet);
        const auto end = frame.begin() + static_cast<long>(c.octets);
        EXPECT_EQ(Bytes(end - c.extra, end), Bytes(static_cast<std::size_t>(c.extra), 0)) << "extra octets are zero";
    }
}

TEST(BridgeWireTime, OctetsTakeTenBitTimesAtTheDividedClock)
{
    // 3686400 / 14 = 263314 baud: 130 octets take 4.94 ms.
    EXPECT_EQ(Cp210xBridge::wireTime(130).count(), 4937);
    EXPECT_EQ(Cp210xBridge::wireTime(0).count(), 0);
}

} // namespace
