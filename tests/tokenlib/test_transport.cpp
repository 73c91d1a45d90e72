// The CP210x transport and the single exchange, through libusb 0.1 against an emulated token.
#include "fixture.h"

#include <array>
#include <vector>

namespace zr40nn::test {
namespace {

using Strings = std::vector<std::string>;

constexpr std::array<unsigned char, 2> kReadInfo = { 0x00, 0x02 };

class Transport : public TokenTest
{
protected:
    // A configured token, searched and refreshed, with its session open and its log cleared.
    DEV_ZR40NN_t* openToken(const emu::TokenConfig& config = configuredToken("TRANSPORT"))
    {
        DEV_ZR40NN_t* ut = plugAndRefresh(config, &mId);
        if (ut == nullptr || DEV_ZR40NN_session_open(ut) != 0) {
            ADD_FAILURE() << "no session: " << errorsOfAll();
            return nullptr;
        }
        bus().token(mId).clearLog();
        return ut;
    }

    int readInfo(DEV_ZR40NN_t* ut, unsigned char* answer, int max)
    {
        return DEV_ZR40NN_single_pass(ut, kReadInfo.data(), static_cast<int>(kReadInfo.size()), answer, max);
    }

    int mId = -1;
};

TEST_F(Transport, FrameOf129OctetsSentAnd130Refused)
{
    DEV_ZR40NN_t* ut = openToken();
    ASSERT_NE(ut, nullptr);

    std::array<unsigned char, 130> request {};
    request[1] = 0x02;
    std::array<unsigned char, 130> answer {};
    DEV_ZR40NN_single_pass(ut, request.data(), 129, answer.data(), 130);
    auto log = bus().token(mId).log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].requestLength, 129);
    ASSERT_NE(ut->handle, nullptr) << ut->err;

    // 130 payload octets do not fit a frame: refused before anything reaches the bus.
    ut->err[0] = '\0';
    EXPECT_EQ(CP210X_DEV_ZR40NN_write(ut, request.data(), 130), -8);
    EXPECT_EQ(bus().token(mId).log().size(), 1u);
    EXPECT_EQ(stackEntries(ut),
              Strings { "CP210X_DEV_ZR40NN_write:given buffer is to large to transmit (larger than 130 octets)" });
    EXPECT_NE(ut->handle, nullptr);
    EXPECT_EQ(readInfo(ut, answer.data(), 130), 25);
}

TEST_F(Transport, AnswerJoinedFromSplitTransfers)
{
    DEV_ZR40NN_t* ut = openToken();
    ASSERT_NE(ut, nullptr);
    std::array<unsigned char, 130> whole {};
    ASSERT_EQ(readInfo(ut, whole.data(), 130), 25);

    for (int chunk : { 1, 4, 25 }) {
        SCOPED_TRACE(chunk);
        emu::BridgeFaults faults;
        faults.splitAnswerAt = chunk;
        bus().setFaults(mId, faults);
        std::array<unsigned char, 130> joined {};
        ASSERT_EQ(readInfo(ut, joined.data(), 130), 25) << ut->err;
        EXPECT_EQ(joined, whole);
    }
    bus().setFaults(mId, {});
    EXPECT_STREQ(ut->err, "");
}

TEST_F(Transport, ErrorAnswersBecomeDeviceCodes)
{
    DEV_ZR40NN_t* ut = openToken();
    ASSERT_NE(ut, nullptr);
    std::array<unsigned char, 130> answer {};

    bus().token(mId).failCommand(0x02, emu::kStatusWrongPin);
    EXPECT_EQ(readInfo(ut, answer.data(), 130), -102);
    EXPECT_EQ(stackEntries(ut), Strings { "DEV_ZR40NN_single_pass:host receive error frame from device" });

    // A status the library has no name for still becomes -100 - s.
    bus().token(mId).failCommand(0x02, 9);
    EXPECT_EQ(readInfo(ut, answer.data(), 130), -109);
    EXPECT_STREQ(DEV_ZR40NN_lib_error_desc(-109), "unknown error");

    // Error answers leave the transport open.
    bus().token(mId).clearFailures();
    EXPECT_NE(ut->handle, nullptr);
    EXPECT_EQ(readInfo(ut, answer.data(), 130), 25);
}

TEST_F(Transport, TooSmallBufferLeavesItUntouchedAndClosesTransport)
{
    DEV_ZR40NN_t* ut = openToken();
    ASSERT_NE(ut, nullptr);
    const int resetsBefore = bus().resetCount(mId);

    std::array<unsigned char, 32> answer;
    answer.fill(0xA5);
    EXPECT_EQ(readInfo(ut, answer.data(), 24), -7);
    for (unsigned char octet : answer) {
        ASSERT_EQ(octet, 0xA5);
    }
    EXPECT_EQ(stackEntries(ut),
              (Strings {
                  "CP210X_DEV_ZR40NN_read:could not store all data received from CP210X in given buffer",
                  "DEV_ZR40NN_single_pass:could not read from device",
              }));
    EXPECT_EQ(ut->handle, nullptr);
    EXPECT_EQ(ut->session_is_open, 1);
    EXPECT_EQ(bus().resetCount(mId), resetsBefore + 1);

    // The next exchange fails in the transport and sends nothing on the released handle.
    bus().token(mId).clearLog();
    EXPECT_EQ(readInfo(ut, answer.data(), 32), -6);
    EXPECT_TRUE(bus().token(mId).log().empty());
    const Strings entries = stackEntries(ut);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[2], "CP210X_DEV_ZR40NN_write:could not write bulk transfer to CP210X");
    EXPECT_EQ(entries[3], "DEV_ZR40NN_single_pass:could not write to device");

    // Reading on the released handle fails the same way.
    EXPECT_EQ(CP210X_DEV_ZR40NN_read(ut, answer.data(), 32, 7000), -5);

    // Closing the session after the failure succeeds without another reset.
    EXPECT_EQ(DEV_ZR40NN_session_close(ut), 0);
    EXPECT_EQ(ut->session_is_open, 0);
    EXPECT_EQ(bus().resetCount(mId), resetsBefore + 1);

    // And the token is usable again in a new session.
    ASSERT_EQ(DEV_ZR40NN_session_open(ut), 0);
    EXPECT_EQ(readInfo(ut, answer.data(), 32), 25);
}

TEST_F(Transport, ZeroLengthReadsEndAtTheTimeOut)
{
    DEV_ZR40NN_t* ut = openToken();
    ASSERT_NE(ut, nullptr);
    emu::BridgeFaults faults;
    faults.zeroLengthForever = true;
    bus().setFaults(mId, faults);

    std::array<unsigned char, 130> answer {};
    EXPECT_EQ(readInfo(ut, answer.data(), 130), -5);
    EXPECT_EQ(stackEntries(ut),
              (Strings {
                  "CP210X_DEV_ZR40NN_read:could not read bulk transfer from CP210X",
                  "DEV_ZR40NN_single_pass:could not read from device",
              }));
    EXPECT_EQ(ut->handle, nullptr);
    bus().setFaults(mId, {});
}

TEST_F(Transport, FailedSetUpReportsStepAndKeepsSessionClosed)
{
    DEV_ZR40NN_t* ut = plugAndRefresh(configuredToken("SETUP"), &mId);
    ASSERT_NE(ut, nullptr);
    const char* const messages[] = {
        "could not enable UART in CP210X",       "could not set up baudrate in CP210X",
        "could not set up data bits for CP210X", "could not set up control lines for CP210X",
        "could not set up cofiguration to 1",    "could not set up interface to 0",
    };
    for (int step = 1; step <= 6; ++step) {
        SCOPED_TRACE(step);
        emu::BridgeFaults faults;
        faults.failSetupStep = step;
        bus().setFaults(mId, faults);
        EXPECT_EQ(DEV_ZR40NN_session_open(ut), -9);
        EXPECT_EQ(ut->session_is_open, 0);
        EXPECT_EQ(ut->handle, nullptr);
        EXPECT_EQ(stackEntries(ut),
                  (Strings { std::string("CP210X_DEV_ZR40NN_open:") + messages[step - 1],
                             "DEV_ZR40NN_session_open:could not open device" }));
        EXPECT_FALSE(bus().bridgeReady(mId));
    }

    emu::BridgeFaults faults;
    faults.failOpen = true;
    bus().setFaults(mId, faults);
    // Whether libusb refuses the handle or the first request on it fails depends on libusb.
    EXPECT_EQ(DEV_ZR40NN_session_open(ut), -9);
    EXPECT_EQ(ut->session_is_open, 0);
    EXPECT_EQ(ut->handle, nullptr);
    const Strings entries = stackEntries(ut);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_TRUE(entries[0] == "CP210X_DEV_ZR40NN_open:usb_open failed"
                || entries[0] == "CP210X_DEV_ZR40NN_open:could not enable UART in CP210X")
        << entries[0];
    EXPECT_EQ(entries[1], "DEV_ZR40NN_session_open:could not open device");

    bus().setFaults(mId, {});
    ASSERT_EQ(DEV_ZR40NN_session_open(ut), 0);
    EXPECT_TRUE(bus().bridgeReady(mId));
    EXPECT_STREQ(ut->err, "");
}

TEST_F(Transport, ExchangeNeedsSession)
{
    DEV_ZR40NN_t* ut = plugAndRefresh(configuredToken("NOSESSION"), &mId);
    ASSERT_NE(ut, nullptr);
    bus().token(mId).clearLog();
    std::array<unsigned char, 130> answer {};
    EXPECT_EQ(readInfo(ut, answer.data(), 130), -4);
    EXPECT_STREQ(ut->err, "");
    EXPECT_TRUE(bus().token(mId).log().empty());
    EXPECT_EQ(DEV_ZR40NN_session_close(ut), -3);
    EXPECT_STREQ(ut->err, "");
}

} // namespace
} // namespace zr40nn::test
