// Public-object and random-octet commands against an emulated token.
#include "command_fixture.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace zr40nn::test {
namespace {

constexpr const char* kUserPin = "1234";

Lines syntaxError(const char* function)
{
    return Lines{std::string(function) + ":received frame syntax error"};
}

using ObjectCommands = CommandTest;

TEST_F(ObjectCommands, PublicObjectsRoundTripWithBigEndianNumbers)
{
    emu::TokenConfig config = configuredToken("OBJECTS");
    config.publicMem = 32768;
    DEV_ZR40NN_t* ut = openToken(config);
    ASSERT_NE(ut, nullptr);

    std::array<unsigned char, 64> data;
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<unsigned char>(0xA0 ^ i);
    }
    ASSERT_EQ(DEV_ZR40NN_cmd_write_public_obj(ut, kUserPin, 1, 0x1FF, data.data()), 0) << ut->err;
    const emu::LogEntry written = log().back();
    EXPECT_EQ(written.code, 0x2E);
    EXPECT_EQ(written.object, 0x1FF);
    EXPECT_EQ(written.requestLength, 77);
    EXPECT_EQ(written.pin, kUserPin);
    const emu::Bytes memory = token().snapshot().publicMemory;
    EXPECT_TRUE(std::equal(data.begin(), data.end(), memory.begin() + 0x1FF * 64));

    std::array<unsigned char, 64> back{};
    ASSERT_EQ(DEV_ZR40NN_cmd_read_public_obj(ut, 0x1FF, back.data()), 0) << ut->err;
    EXPECT_EQ(back, data);
    EXPECT_EQ(log().back().code, 0x04);
    EXPECT_EQ(log().back().object, 0x1FF);
    EXPECT_EQ(log().back().requestLength, 4);

    // The token refuses a write with the wrong PIN and a read past its memory.
    EXPECT_EQ(DEV_ZR40NN_cmd_write_public_obj(ut, "9999", 1, 0, data.data()), -102);
    EXPECT_EQ(DEV_ZR40NN_cmd_read_public_obj(ut, 512, back.data()), -105);
    EXPECT_EQ(back, data);
    EXPECT_EQ(entries(ut).back(), "DEV_ZR40NN_cmd_read_public_obj:arguments sended to device are out of range");
}

TEST_F(ObjectCommands, ObjectAnswerMustBeSixtyFiveOctets)
{
    DEV_ZR40NN_t* ut = openToken(configuredToken("OBJLEN"));
    ASSERT_NE(ut, nullptr);
    std::array<unsigned char, 64> buf;
    buf.fill(0xEE);

    // The length octet announces one octet less and the bridge hands over no more than that
    // (split: frame length octet plus the announced payload).
    emu::BridgeFaults shorter;
    shorter.answerLengthDelta = -1;
    shorter.splitAnswerAt = 13; // 5 transfers of 13: the host stops at the announced 65
    bus().setFaults(mId, shorter);
    EXPECT_EQ(DEV_ZR40NN_cmd_read_public_obj(ut, 0, buf.data()), DEV_ZR40NN_ERR_RECEIVE);
    EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](unsigned char c) { return c == 0xEE; }));
    EXPECT_EQ(entries(ut), syntaxError("DEV_ZR40NN_cmd_read_public_obj"));

    // An empty answer (status octet only) copies nothing either.
    shorter.answerLengthDelta = -64;
    shorter.splitAnswerAt = 2;
    bus().setFaults(mId, shorter);
    reopenSession();
    EXPECT_EQ(DEV_ZR40NN_cmd_read_public_obj(ut, 0, buf.data()), DEV_ZR40NN_ERR_RECEIVE);
    EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](unsigned char c) { return c == 0xEE; }));
    EXPECT_EQ(entries(ut), syntaxError("DEV_ZR40NN_cmd_read_public_obj"));
}

TEST_F(ObjectCommands, RandomOctetsComeInPassesOfAtMost120)
{
    DEV_ZR40NN_t* ut = openToken(configuredToken("RANDOM"));
    ASSERT_NE(ut, nullptr);
    auto counts = [this] {
        std::vector<int> c;
        for (const emu::LogEntry& e : log()) {
            EXPECT_EQ(e.code, 0x05);
            EXPECT_EQ(e.requestLength, 3);
            c.push_back(e.count);
        }
        token().clearLog();
        return c;
    };

    std::array<unsigned char, 301> buf{};
    buf[300] = 0xEE;
    ASSERT_EQ(DEV_ZR40NN_cmd_rbg_generate_bits(ut, buf.data(), 300), 0) << ut->err;
    EXPECT_EQ(counts(), (std::vector<int>{120, 120, 60}));
    EXPECT_EQ(buf[300], 0xEE);
    // Each pass lands in its own part of the buffer: none of the three parts stays blank.
    for (int part : {0, 120, 240}) {
        EXPECT_FALSE(std::all_of(buf.begin() + part, buf.begin() + part + 60, [](unsigned char c) { return c == 0; }));
    }

    ASSERT_EQ(DEV_ZR40NN_cmd_rbg_generate_bits(ut, buf.data(), 240), 0);
    EXPECT_EQ(counts(), (std::vector<int>{120, 120}));

    buf.fill(0xEE);
    ASSERT_EQ(DEV_ZR40NN_cmd_rbg_generate_bits(ut, buf.data(), 0), 0);
    EXPECT_EQ(counts(), (std::vector<int>{0}));
    EXPECT_EQ(buf[0], 0xEE);

    EXPECT_EQ(DEV_ZR40NN_cmd_rbg_generate_bits(ut, buf.data(), -1), DEV_ZR40NN_ERR_RANGE);
    EXPECT_TRUE(counts().empty());
    EXPECT_EQ(entries(ut), (Lines{"DEV_ZR40NN_cmd_rbg_generate_bits:number of octets is out of range"}));
}

TEST_F(ObjectCommands, RandomAnswerMustHoldExactlyTheCountAsked)
{
    DEV_ZR40NN_t* ut = openToken(configuredToken("RNDLEN"));
    ASSERT_NE(ut, nullptr);
    std::array<unsigned char, 16> buf;
    buf.fill(0xEE);

    emu::BridgeFaults shorter;
    shorter.answerLengthDelta = -1;
    shorter.splitAnswerAt = 17;
    bus().setFaults(mId, shorter);
    EXPECT_EQ(DEV_ZR40NN_cmd_rbg_generate_bits(ut, buf.data(), 16), DEV_ZR40NN_ERR_RECEIVE);
    EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](unsigned char c) { return c == 0xEE; }));
    EXPECT_EQ(entries(ut), syntaxError("DEV_ZR40NN_cmd_rbg_generate_bits"));
    bus().setFaults(mId, {});

    // More octets than asked for never reach past the caller's buffer.
    reopenSession();
    std::array<unsigned char, 17> guarded;
    guarded.fill(0xEE);
    ut->read = [](DEV_ZR40NN_t* dev, unsigned char* out, int max, int timeout) {
        const int n = CP210X_DEV_ZR40NN_read(dev, out, max, timeout);
        if (n > 0 && n + 4 <= max) {
            std::memset(out + n, 0x5A, 4);
            return n + 4;
        }
        return n;
    };
    EXPECT_EQ(DEV_ZR40NN_cmd_rbg_generate_bits(ut, guarded.data(), 16), DEV_ZR40NN_ERR_RECEIVE);
    ut->read = CP210X_DEV_ZR40NN_read;
    EXPECT_TRUE(std::all_of(guarded.begin(), guarded.end(), [](unsigned char c) { return c == 0xEE; }));
    EXPECT_EQ(entries(ut), syntaxError("DEV_ZR40NN_cmd_rbg_generate_bits"));

    // A pass that the token refuses ends the request with its code.
    token().failCommand(0x05, 5);
    EXPECT_EQ(DEV_ZR40NN_cmd_rbg_generate_bits(ut, buf.data(), 200), -105);
    EXPECT_EQ(log().size(), 2u);
    EXPECT_EQ(entries(ut).back(), "DEV_ZR40NN_cmd_rbg_generate_bits:arguments sended to device are out of range");
}

} // namespace
} // namespace zr40nn::test
