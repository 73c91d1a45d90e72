// The CP210x bridge without USB: its set-up, how frames are joined and answers packetised, and
// the faults it injects.
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
    // All six steps, optionally leaving one out (1..6).
    void setUp(int skip = 0)
    {
        for (int i = 0; i < 4; ++i) {
            if (skip != i + 1) {
                ASSERT_EQ(bridge.vendorRequest(0x41, kSetup[i].request, kSetup[i].value, 0), 0);
            }
        }
        if (skip != 5) {
            ASSERT_EQ(bridge.setConfiguration(1), 0);
        }
        if (skip != 6) {
            ASSERT_EQ(bridge.claimInterface(0), 0);
        }
    }

    UsbTransfer send(const Bytes& payload)
    {
        Bytes frame { static_cast<std::uint8_t>(payload.size()) };
        frame.insert(frame.end(), payload.begin(), payload.end());
        return bridge.bulkOut(Cp210xBridge::kBulkOut, frame.data(), frame.size());
    }

    // One IN transfer of up to `capacity` octets, once the answer is there.
    Bytes read(std::size_t capacity = 130)
    {
        EXPECT_TRUE(bridge.waitForAnswer(kWait));
        Bytes buffer(capacity);
        const UsbTransfer t = bridge.bulkIn(Cp210xBridge::kBulkIn, buffer.data(), capacity);
        EXPECT_EQ(t.outcome, UsbTransfer::Outcome::Completed);
        buffer.resize(t.length);
        return buffer;
    }

    // The transfer sizes in which a whole answer frame arrives.
    std::vector<std::size_t> readFrame(Bytes& frame, std::size_t capacity = 130)
    {
        std::vector<std::size_t> sizes;
        frame.clear();
        while (frame.empty() || frame.size() < 1u + frame[0]) {
            const Bytes part = read(capacity);
            if (part.empty()) {
                break;
            }
            sizes.push_back(part.size());
            frame.insert(frame.end(), part.begin(), part.end());
        }
        return sizes;
    }

    TokenModel token;
    Cp210xBridge bridge { token };
};

TEST_F(BridgeTest, BulkEndpointsStallUntilEverySetupStepIsDone)
{
    for (int skip = 1; skip <= 6; ++skip) {
        SCOPED_TRACE(skip);
        bridge.reset();
        setUp(skip);
        EXPECT_FALSE(bridge.ready());
        const UsbTransfer out = send(infoRequest());
        EXPECT_EQ(out.outcome, UsbTransfer::Outcome::Refused);
        EXPECT_EQ(out.error, EPIPE);
        std::uint8_t buffer[64];
        EXPECT_EQ(bridge.bulkIn(Cp210xBridge::kBulkIn, buffer, sizeof buffer).error, EPIPE);
    }
    bridge.reset();
    setUp();
    EXPECT_TRUE(bridge.ready());
    EXPECT_EQ(send(infoRequest()).outcome, UsbTransfer::Outcome::Completed);
    EXPECT_EQ(read().size(), 26u);
    EXPECT_EQ(token.log().size(), 1u) << "frames sent before the set-up never reach the token";
}

TEST_F(BridgeTest, OnlyTheExactSetupValuesMakeTheLineUsable)
{
    setUp();
    ASSERT_TRUE(bridge.ready());
    EXPECT_EQ(bridge.vendorRequest(0x41, 0x01, 12, 0), 0) << "the chip takes any divisor";
    EXPECT_FALSE(bridge.ready());
    EXPECT_EQ(bridge.vendorRequest(0x41, 0x01, 14, 0), 0);
    EXPECT_TRUE(bridge.ready());
    EXPECT_EQ(bridge.vendorRequest(0x41, 0x00, 0, 0), 0); // UART disabled
    EXPECT_FALSE(bridge.ready());
    EXPECT_EQ(bridge.vendorRequest(0x41, 0x00, 1, 0), 0);
    EXPECT_TRUE(bridge.ready());

    EXPECT_EQ(bridge.vendorRequest(0x40, 0x00, 1, 0), EPIPE) << "device recipient";
    EXPECT_EQ(bridge.vendorRequest(0x41, 0x00, 1, 1), EPIPE) << "no interface 1";
    EXPECT_EQ(bridge.vendorRequest(0x41, 0x12, 0x0F, 0), EPIPE) << "a request the bridge does not take";
    EXPECT_EQ(bridge.claimInterface(1), EINVAL);
    EXPECT_EQ(bridge.setConfiguration(2), EINVAL);
    EXPECT_TRUE(bridge.ready());
}

TEST_F(BridgeTest, ReleaseAndResetEndTheSetup)
{
    setUp();
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
    setUp();
    send(randomRequest(5));
    bridge.reset();
    setUp();
    send(infoRequest());
    Bytes frame;
    readFrame(frame);
    EXPECT_EQ(frame.size(), 26u) << "the next answer is the information, not the random octets";
}

TEST_F(BridgeTest, FrameSplitOverSeveralOutTransfersIsJoined)
{
    setUp();
    Bytes frame { static_cast<std::uint8_t>(3) };
    const Bytes payload = randomRequest(9);
    frame.insert(frame.end(), payload.begin(), payload.end());
    for (std::uint8_t octet : frame) {
        ASSERT_EQ(bridge.bulkOut(Cp210xBridge::kBulkOut, &octet, 1).length, 1u);
    }
    Bytes answer;
    readFrame(answer);
    ASSERT_EQ(answer.size(), 11u);
    EXPECT_EQ(answer[0], 10);
    EXPECT_EQ(bridge.framesReceived(), 1);
}

TEST_F(BridgeTest, TwoFramesInOneTransferGetTwoAnswers)
{
    setUp();
    Bytes both { 2, 0x00, 0x02, 3, 0x00, 0x05, 4 };
    bridge.bulkOut(Cp210xBridge::kBulkOut, both.data(), both.size());
    Bytes first, second;
    readFrame(first);
    readFrame(second);
    EXPECT_EQ(first.size(), 26u);
    EXPECT_EQ(second.size(), 6u);
    EXPECT_EQ(bridge.framesReceived(), 2);
}

TEST_F(BridgeTest, LongAnswerLeavesInPacketsOfAtMost64Octets)
{
    setUp();
    send(randomRequest(120)); // frame: length, status, 120 octets = 122
    Bytes frame;
    EXPECT_EQ(readFrame(frame), (std::vector<std::size_t> { 64, 58 }));
    EXPECT_EQ(frame[0], 121);

    send(randomRequest(120));
    EXPECT_EQ(readFrame(frame, 50), (std::vector<std::size_t> { 50, 50, 22 })) << "a smaller buffer gets less";
}

TEST_F(BridgeTest, InTransferWithNothingToGiveStaysPending)
{
    setUp();
    std::uint8_t buffer[64];
    EXPECT_EQ(bridge.bulkIn(Cp210xBridge::kBulkIn, buffer, sizeof buffer).outcome, UsbTransfer::Outcome::Pending);
    EXPECT_EQ(bridge.bulkIn(0x82, buffer, sizeof buffer).error, ENOENT);
    EXPECT_EQ(bridge.bulkOut(0x02, buffer, 1).error, ENOENT);
}

TEST_F(BridgeTest, SetupStepFaultFailsThatStepOnly)
{
    for (int step = 1; step <= 6; ++step) {
        SCOPED_TRACE(step);
        bridge.reset();
        BridgeFaults faults;
        faults.failSetupStep = step;
        bridge.setFaults(faults);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(bridge.vendorRequest(0x41, kSetup[i].request, kSetup[i].value, 0) != 0, i + 1 == step);
        }
        EXPECT_EQ(bridge.setConfiguration(1) != 0, step == 5);
        EXPECT_EQ(bridge.claimInterface(0) != 0, step == 6);
        EXPECT_FALSE(bridge.ready());
    }
}

TEST_F(BridgeTest, SplitAndLengthFaultsShapeTheAnswer)
{
    setUp();
    BridgeFaults faults;
    faults.splitAnswerAt = 7;
    faults.answerLengthDelta = -3;
    bridge.setFaults(faults);
    send(infoRequest());
    std::vector<std::size_t> sizes;
    Bytes frame;
    while (frame.size() < 26) {
        const Bytes part = read();
        sizes.push_back(part.size());
        frame.insert(frame.end(), part.begin(), part.end());
    }
    EXPECT_EQ(sizes, (std::vector<std::size_t> { 7, 7, 7, 5 }));
    EXPECT_EQ(frame[0], 22) << "25 payload octets announced as 22";
}

TEST_F(BridgeTest, DroppedAnswerNeverComes)
{
    setUp();
    BridgeFaults faults;
    faults.dropAnswers = true;
    bridge.setFaults(faults);
    send(randomRequest(5));
    bridge.setFaults({});
    send(infoRequest());
    Bytes frame;
    readFrame(frame);
    EXPECT_EQ(frame.size(), 26u) << "the first answer to arrive is the second command's";
    EXPECT_EQ(token.log().size(), 2u) << "the token ran both commands";
}

TEST_F(BridgeTest, ZeroLengthFaultCompletesEveryReadEmpty)
{
    setUp();
    BridgeFaults faults;
    faults.zeroLengthForever = true;
    bridge.setFaults(faults);
    send(infoRequest());
    ASSERT_TRUE(bridge.waitForAnswer(kWait));
    std::uint8_t buffer[64];
    for (int i = 0; i < 3; ++i) {
        const UsbTransfer t = bridge.bulkIn(Cp210xBridge::kBulkIn, buffer, sizeof buffer);
        EXPECT_EQ(t.outcome, UsbTransfer::Outcome::Completed);
        EXPECT_EQ(t.length, 0u);
    }
}

TEST_F(BridgeTest, TokenVanishesAfterTheGivenNumberOfFrames)
{
    int vanished = 0;
    bridge.setVanishHandler([&vanished] { ++vanished; });
    setUp();
    BridgeFaults faults;
    faults.unplugAfterFrames = 1;
    bridge.setFaults(faults);
    send(infoRequest());
    Bytes frame;
    readFrame(frame);
    EXPECT_EQ(frame.size(), 26u);
    EXPECT_EQ(vanished, 0);

    EXPECT_EQ(send(infoRequest()).outcome, UsbTransfer::Outcome::Completed);
    EXPECT_EQ(vanished, 1);
    EXPECT_TRUE(bridge.unplugged());
    std::uint8_t buffer[64];
    EXPECT_EQ(bridge.bulkIn(Cp210xBridge::kBulkIn, buffer, sizeof buffer).error, ENODEV);
    EXPECT_EQ(send(infoRequest()).error, ENODEV);
    EXPECT_EQ(bridge.vendorRequest(0x41, 0x00, 1, 0), ENODEV);
    EXPECT_EQ(token.log().size(), 1u) << "the frame that made it vanish never reached the token";
}

TEST(BridgeWireTime, OctetsTakeTenBitTimesAtTheDividedClock)
{
    // 3686400 / 14 = 263314 baud: 130 octets take 4.94 ms.
    EXPECT_EQ(Cp210xBridge::wireTime(130).count(), 4937);
    EXPECT_EQ(Cp210xBridge::wireTime(0).count(), 0);
}

} // namespace
