// The CP210x transport and the single exchange, through libusb 0.1 against an emulated token.
#include "command_fixture.h"

#include <array>

namespace zr40nn::test {
namespace {

using Frame = std::array<unsigned char, 130>;

class Transport : public CommandTest
{
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        ASSERT_NE(openToken(configuredToken("TRANSPORT")), nullptr);
    }

    // Command 0x02: a 25-octet answer.
    int readInfo(unsigned char* answer, int max)
    {
        const unsigned char request[] = { 0x00, 0x02 };
        return DEV_ZR40NN_single_pass(mUt, request, 2, answer, max);
    }
};

TEST_F(Transport, FrameOf129OctetsSentAnd130Refused)
{
    Frame request {};
    request[1] = 0x02;
    Frame answer {};
    DEV_ZR40NN_single_pass(mUt, request.data(), 129, answer.data(), 130);
    ASSERT_EQ(log().size(), 1u);
    EXPECT_EQ(log()[0].requestLength, 129);

    // 130 payload octets do not fit a frame: refused before anything reaches the bus.
    mUt->err[0] = '\0';
    EXPECT_EQ(CP210X_DEV_ZR40NN_write(mUt, request.data(), 130), DEV_ZR40NN_ERR_BUFFER_TOO_LARGE);
    EXPECT_EQ(log().size(), 1u);
    EXPECT_EQ(entries(mUt),
              Lines { "CP210X_DEV_ZR40NN_write:given buffer is to large to transmit (larger than 130 octets)" });
    EXPECT_EQ(readInfo(answer.data(), 130), 25) << "a refused write leaves the transport open";
}

TEST_F(Transport, AnswersJoinedFromSplitTransfersAndErrorAnswers)
{
    Frame whole {};
    ASSERT_EQ(readInfo(whole.data(), 130), 25);
    for (int chunk : { 1, 4, 25 }) {
        emu::BridgeFaults faults;
        faults.splitAnswerAt = chunk;
        setFaults(faults);
        Frame joined {};
        EXPECT_EQ(readInfo(joined.data(), 130), 25) << chunk << mUt->err;
        EXPECT_EQ(joined, whole) << chunk;
    }
    // An error answer, also with a status the library has no name for, becomes -100 - s.
    token().failCommand(0x02, 9);
    EXPECT_EQ(readInfo(whole.data(), 130), DEV_ZR40NN_ERR_DEV_BASE - 9);
    EXPECT_EQ(entries(mUt), Lines { "DEV_ZR40NN_single_pass:host receive error frame from device" });
}

TEST_F(Transport, FailureReleasesTheHandleAndLaterExchangesNeverTouchIt)
{
    const int resets = bus().resetCount(mId);
    std::array<unsigned char, 32> answer;
    answer.fill(0xA5);
    const auto untouched = answer;
    EXPECT_EQ(readInfo(answer.data(), 24), DEV_ZR40NN_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(answer, untouched);
    EXPECT_EQ(entries(mUt),
              (Lines { "CP210X_DEV_ZR40NN_read:could not store all data received from CP210X in given buffer",
                       "DEV_ZR40NN_single_pass:could not read from device" }));
    EXPECT_EQ(mUt->handle, nullptr);
    EXPECT_EQ(mUt->session_is_open, 1);
    EXPECT_EQ(bus().resetCount(mId), resets + 1);

    // The next exchange fails in the transport and sends nothing.
    token().clearLog();
    EXPECT_EQ(readInfo(answer.data(), 32), DEV_ZR40NN_ERR_TRANSMIT);
    EXPECT_TRUE(log().empty());
    const Lines after = entries(mUt);
    ASSERT_EQ(after.size(), 4u);
    EXPECT_EQ(after[2], "CP210X_DEV_ZR40NN_write:could not write bulk transfer to CP210X");
    EXPECT_EQ(after[3], "DEV_ZR40NN_single_pass:could not write to device");
    EXPECT_EQ(CP210X_DEV_ZR40NN_read(mUt, answer.data(), 32, 7000), DEV_ZR40NN_ERR_RECEIVE);
    // Without a record there is no handle either: the same code, and nothing to push an entry on.
    EXPECT_EQ(CP210X_DEV_ZR40NN_read(nullptr, answer.data(), 32, 7000), DEV_ZR40NN_ERR_RECEIVE);
    EXPECT_EQ(CP210X_DEV_ZR40NN_write(nullptr, answer.data(), 2), DEV_ZR40NN_ERR_TRANSMIT);

    // Closing the session then succeeds without another reset, and a new session works.
    EXPECT_EQ(DEV_ZR40NN_session_close(mUt), 0);
    EXPECT_EQ(mUt->session_is_open, 0);
    EXPECT_EQ(bus().resetCount(mId), resets + 1);
    ASSERT_EQ(DEV_ZR40NN_session_open(mUt), 0);
    EXPECT_EQ(readInfo(answer.data(), 32), 25);
}

TEST_F(Transport, ZeroLengthReadsEndAtTheTimeOut)
{
    emu::BridgeFaults faults;
    faults.zeroLengthForever = true;
    setFaults(faults);
    Frame answer {};
    EXPECT_EQ(CP210X_DEV_ZR40NN_read(mUt, answer.data(), 130, 200), DEV_ZR40NN_ERR_RECEIVE);
    EXPECT_EQ(entries(mUt), Lines { "CP210X_DEV_ZR40NN_read:could not read bulk transfer from CP210X" });
}

TEST_F(Transport, FailedSetUpReportsItsStepAndKeepsTheSessionClosed)
{
    ASSERT_EQ(DEV_ZR40NN_session_close(mUt), 0);
    const char* const messages[] = {
        "could not enable UART in CP210X",       "could not set up baudrate in CP210X",
        "could not set up data bits for CP210X", "could not set up control lines for CP210X",
        "could not set up cofiguration to 1",    "could not set up interface to 0",
    };
    for (int step = 1; step <= 6; ++step) {
        emu::BridgeFaults faults;
        faults.failSetupStep = step;
        setFaults(faults);
        EXPECT_EQ(DEV_ZR40NN_session_open(mUt), DEV_ZR40NN_ERR_CONFIGURE) << step;
        EXPECT_EQ(mUt->session_is_open, 0);
        EXPECT_EQ(mUt->handle, nullptr);
        EXPECT_EQ(entries(mUt),
                  (Lines { std::string("CP210X_DEV_ZR40NN_open:") + messages[step - 1],
                           "DEV_ZR40NN_session_open:could not open device" }));
    }
    setFaults({});
    ASSERT_EQ(DEV_ZR40NN_session_open(mUt), 0);
    EXPECT_TRUE(bus().bridgeReady(mId));
    EXPECT_STREQ(mUt->err, "");
}

} // namespace
} // namespace zr40nn::test
