// Public-object and random-octet commands against an emulated token.
#include "command_fixture.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace zr40nn::test {
namespace {

template <std::size_t N> bool untouched(const std::array<unsigned char, N>& buf)
{
    return std::all_of(buf.begin(), buf.end(), [](unsigned char c) { return c == 0xEE; });
}

using ObjectCommands = CommandTest;

TEST_F(ObjectCommands, PublicObjectsRoundTripWithBigEndianNumbers)
{
    emu::TokenConfig config = configuredToken("OBJECTS");
    config.publicMem = 32768;
    DEV_ZR40NN_t* ut = openToken(config);
    ASSERT_NE(ut, nullptr);
    std::array<unsigned char, 64> data;
    std::iota(data.begin(), data.end(), 0xA0);
    ASSERT_EQ(DEV_ZR40NN_cmd_write_public_obj(ut, kUserPin, 1, 0x1FF, data.data()), 0) << ut->err;
    EXPECT_EQ(wire().back(), "2E 77 1 '1234'");
    EXPECT_EQ(log().back().object, 0x1FF);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), token().snapshot().publicMemory.begin() + 0x1FF * 64));

    std::array<unsigned char, 64> back {};
    ASSERT_EQ(DEV_ZR40NN_cmd_read_public_obj(ut, 0x1FF, back.data()), 0) << ut->err;
    EXPECT_EQ(back, data);
    EXPECT_EQ(wire().back(), "04 4");
    EXPECT_EQ(log().back().object, 0x1FF);
}

TEST_F(ObjectCommands, AnswersOfAnotherLengthAreNeverCopied)
{
    DEV_ZR40NN_t* ut = openToken(configuredToken("ANSWERS"));
    ASSERT_NE(ut, nullptr);
    // One octet short: the length octet announces one less, and octet by octet the host stops
    // reading right there. The same with the status octet alone.
    emu::BridgeFaults shorter;
    shorter.answerLengthDelta = -1;
    shorter.splitAnswerAt = 1;
    emu::BridgeFaults empty = shorter;
    empty.answerLengthDelta = -64;
    // Four octets too many in a well-formed frame.
    emu::BridgeFaults longer;
    longer.extraAnswerOctets = 4;
    for (const emu::BridgeFaults& faults : { shorter, empty, longer }) {
        reopenSession();
        setFaults(faults);
        std::array<unsigned char, 64> object;
        object.fill(0xEE);
        EXPECT_EQ(DEV_ZR40NN_cmd_read_public_obj(ut, 0, object.data()), DEV_ZR40NN_ERR_RECEIVE);
        EXPECT_TRUE(untouched(object));
        EXPECT_EQ(entries(ut), Lines { "DEV_ZR40NN_cmd_read_public_obj:received frame syntax error" });
    }

    // The random buffer holds what was asked for and a guard octet behind it.
    for (const emu::BridgeFaults& faults : { shorter, longer }) {
        reopenSession();
        setFaults(faults);
        std::array<unsigned char, 17> random;
        random.fill(0xEE);
        EXPECT_EQ(DEV_ZR40NN_cmd_rbg_generate_bits(ut, random.data(), 16), DEV_ZR40NN_ERR_RECEIVE);
        EXPECT_TRUE(untouched(random));
        EXPECT_EQ(entries(ut), Lines { "DEV_ZR40NN_cmd_rbg_generate_bits:received frame syntax error" });
    }
}

TEST_F(ObjectCommands, RandomOctetsComeInPassesOfAtMost120)
{
    DEV_ZR40NN_t* ut = openToken(configuredToken("RANDOM"));
    ASSERT_NE(ut, nullptr);
    auto counts = [this] {
        std::vector<int> c;
        for (const emu::LogEntry& e : log()) {
            EXPECT_EQ(e.requestLength, 3);
            c.push_back(e.count);
        }
        token().clearLog();
        return c;
    };

    std::array<unsigned char, 301> buf {};
    buf[300] = 0xEE;
    ASSERT_EQ(DEV_ZR40NN_cmd_rbg_generate_bits(ut, buf.data(), 300), 0) << ut->err;
    // The buffer holds the octets the token sent, pass after pass, and nothing behind them.
    std::vector<unsigned char> sent;
    for (const emu::LogEntry& e : log()) {
        ASSERT_FALSE(e.answer.empty());
        EXPECT_EQ(e.answer[0], 0x00);
        sent.insert(sent.end(), e.answer.begin() + 1, e.answer.end());
    }
    EXPECT_EQ(std::vector<unsigned char>(buf.begin(), buf.begin() + 300), sent);
    EXPECT_EQ(counts(), (std::vector<int> { 120, 120, 60 }));
    EXPECT_EQ(buf[300], 0xEE);
    ASSERT_EQ(DEV_ZR40NN_cmd_rbg_generate_bits(ut, buf.data(), 240), 0);
    EXPECT_EQ(counts(), (std::vector<int> { 120, 120 }));
    buf[0] = 0xEE;
    ASSERT_EQ(DEV_ZR40NN_cmd_rbg_generate_bits(ut, buf.data(), 0), 0);
    EXPECT_EQ(counts(), (std::vector<int> { 0 }));
    EXPECT_EQ(buf[0], 0xEE);

    // A pass that the token refuses ends the request with its code.
    token().failCommand(0x05, emu::kStatusOutOfRange);
    EXPECT_EQ(DEV_ZR40NN_cmd_rbg_generate_bits(ut, buf.data(), 200), deviceError(emu::kStatusOutOfRange));
    EXPECT_EQ(counts().size(), 1u);
    EXPECT_EQ(entries(ut).back(), "DEV_ZR40NN_cmd_rbg_generate_bits:arguments sended to device are out of range");
}

} // namespace
} // namespace zr40nn::test
