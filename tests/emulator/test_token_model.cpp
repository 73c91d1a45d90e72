// The token model driven through request payloads: its state machine, PIN counting and locking,
// the error statuses, the public memory, the command log and injected failures.
#include "token_model.h"
#include "token_requests.h"

#include <gtest/gtest.h>

#include <thread>

using namespace zr40nn::emu;
using namespace zr40nn::emu::test;

namespace {

const std::string kName = "TOKEN-NAME"; // the full 10 octets
const std::string kSoPin = "SO-PIN-8"; // the full 8 octets: no terminator in the frame
const std::string kUserPin = "1111";
constexpr int kSoLimit = 2;
constexpr int kUserLimit = 3;

class TokenModelTest : public ::testing::Test
{
protected:
    static void configure(TokenModel& token, std::uint8_t flags = 0)
    {
        ASSERT_EQ(token.process(initRequest()), kOk);
        ASSERT_EQ(token.process(configureRequest(flags, kName, kSoLimit, kUserLimit, kSoPin, kUserPin)), kOk);
    }

    static Info info(TokenModel& token)
    {
        const Bytes answer = token.process(infoRequest());
        EXPECT_EQ(answer.size(), 25u);
        EXPECT_EQ(answer.at(0), 0x00);
        return parseInfo(answer);
    }

    TokenModel mToken;
};

TEST_F(TokenModelTest, BlankTokenReportsItsHardware)
{
    TokenConfig config;
    config.curveId = 1920;
    config.keysNum = 5;
    config.publicMem = 4096;
    config.mainVer = 2;
    config.subVer = 7;
    TokenModel token(config);
    const Info i = info(token);
    EXPECT_EQ(i.state, 0);
    EXPECT_EQ(i.name, "");
    EXPECT_EQ(i.curveId, 1920);
    EXPECT_EQ(i.keysNum, 5);
    EXPECT_EQ(i.eccNum, 1);
    EXPECT_EQ(i.publicMem, 4096);
    EXPECT_EQ(i.mainVer, 2);
    EXPECT_EQ(i.subVer, 7);
    EXPECT_EQ(parseInfo(TokenModel().process(infoRequest())).publicMem, 16384);
}

TEST_F(TokenModelTest, InitialisesOnlyWhenBlankAndConfiguresOnlyOnce)
{
    const Bytes conf = configureRequest(0, kName, kSoLimit, kUserLimit, kSoPin, kUserPin);
    EXPECT_EQ(mToken.process(conf), errorAnswerOf(kStatusNotAllowed));
    EXPECT_EQ(mToken.process(initRequest()), kOk);
    EXPECT_EQ(info(mToken).state, kInitialised);
    EXPECT_EQ(mToken.process(initRequest()), errorAnswerOf(kStatusNotAllowed));

    EXPECT_EQ(mToken.process(conf), kOk);
    const Info i = info(mToken);
    EXPECT_EQ(i.state, kConfigured);
    EXPECT_EQ(i.name, kName);
    EXPECT_EQ(i.soLimit, kSoLimit);
    EXPECT_EQ(i.userLimit, kUserLimit);
    EXPECT_EQ(i.soTries, 0);
    EXPECT_EQ(i.userTries, 0);

    EXPECT_EQ(mToken.process(conf), errorAnswerOf(kStatusNotAllowed));
    EXPECT_EQ(mToken.process(initRequest()), errorAnswerOf(kStatusNotAllowed));
    EXPECT_EQ(mToken.snapshot().userPin, kUserPin);
    EXPECT_EQ(mToken.snapshot().soPin, kSoPin);

    // Of the flags only "the SO may not change the user PIN" is kept.
    TokenModel flagged;
    configure(flagged, 0xFF);
    EXPECT_EQ(info(flagged).state, kConfigured | kSoMayNotChangeUserPin);
}

TEST_F(TokenModelTest, ConfigurationRefusesAZeroLimit)
{
    ASSERT_EQ(mToken.process(initRequest()), kOk);
    EXPECT_EQ(mToken.process(configureRequest(0, kName, 0, 3, kSoPin, kUserPin)), errorAnswerOf(kStatusOutOfRange));
    EXPECT_EQ(mToken.process(configureRequest(0, kName, 3, 0, kSoPin, kUserPin)), errorAnswerOf(kStatusOutOfRange));
    EXPECT_EQ(info(mToken).state, kInitialised);
}

TEST_F(TokenModelTest, UnconfiguredTokenOnlyAnswersReads)
{
    for (bool initialised : { false, true }) {
        SCOPED_TRACE(initialised ? "initialised" : "blank");
        TokenModel token;
        if (initialised) {
            ASSERT_EQ(token.process(initRequest()), kOk);
        }
        for (const Bytes& request : { tryPinRequest(0, ""), tryPinRequest(1, ""), changeUserPinRequest(1, "", "x"),
                                      generateKeyRequest(1, "", 0, 2560, "k"), deleteKeyRequest(1, "", 0),
                                      writeObjectRequest(1, "", 0, Bytes(64, 1)), signRequest("", 0, Bytes(32, 1)),
                                      unlockRequest(""), eraseRequest(""), changeSoPinRequest("", "x") }) {
            EXPECT_EQ(token.process(request), errorAnswerOf(kStatusNotAllowed)) << int(request[1]);
        }
        EXPECT_EQ(token.process(readObjectRequest(0)).size(), 65u);
        EXPECT_EQ(token.process(randomRequest(16)).size(), 17u);
        EXPECT_EQ(token.process(keySlotRequest(0)).size(), 25u + 64u);
        EXPECT_EQ(token.snapshot().publicMemory, Bytes(16384, 0));
    }
}

TEST_F(TokenModelTest, PinsAreComparedOverTheWholeField)
{
    configure(mToken);
    EXPECT_EQ(mToken.process(tryPinRequest(1, kUserPin)), kOk);
    EXPECT_EQ(mToken.process(tryPinRequest(0, kSoPin)), kOk);
    EXPECT_EQ(mToken.process(tryPinRequest(1, kUserPin + "1")), errorAnswerOf(kStatusWrongPin));
    EXPECT_EQ(mToken.process(tryPinRequest(1, "111")), errorAnswerOf(kStatusWrongPin));
    EXPECT_EQ(mToken.process(tryPinRequest(0, kSoPin.substr(0, 7))), errorAnswerOf(kStatusWrongPin));
    // Each PIN keeps its own count.
    const Info i = info(mToken);
    EXPECT_EQ(i.userTries, 2);
    EXPECT_EQ(i.soTries, 1);
}

TEST_F(TokenModelTest, RightPinClearsOnlyItsOwnCount)
{
    configure(mToken);
    mToken.process(tryPinRequest(1, "bad"));
    mToken.process(tryPinRequest(0, "bad"));
    EXPECT_EQ(mToken.process(tryPinRequest(1, kUserPin)), kOk);
    Info i = info(mToken);
    EXPECT_EQ(i.userTries, 0);
    EXPECT_EQ(i.soTries, 1);
    EXPECT_EQ(mToken.process(tryPinRequest(0, kSoPin)), kOk);
    EXPECT_EQ(info(mToken).soTries, 0);
}

TEST_F(TokenModelTest, UserLimitLocksTokenUntilSoUnlocks)
{
    configure(mToken);
    for (int attempt = 1; attempt <= kUserLimit; ++attempt) {
        EXPECT_EQ(mToken.process(tryPinRequest(1, "bad")), errorAnswerOf(kStatusWrongPin));
        EXPECT_EQ(info(mToken).userTries, attempt);
    }
    EXPECT_EQ(info(mToken).state, kConfigured | kLocked);

    // Locked: the right user PIN no longer counts, nothing that needs it runs, and nothing is counted.
    for (const Bytes& request :
         { tryPinRequest(1, kUserPin), changeUserPinRequest(1, kUserPin, "2222"),
           changeUserPinRequest(0, kSoPin, "2222"), generateKeyRequest(1, kUserPin, 0, 2560, "k"),
           generateKeyRequest(0, kSoPin, 0, 2560, "k"), deleteKeyRequest(0, kSoPin, 0),
           writeObjectRequest(0, kSoPin, 0, Bytes(64, 1)), signRequest(kUserPin, 0, Bytes(32, 1)),
           changeSoPinRequest(kSoPin, "new") }) {
        EXPECT_EQ(mToken.process(request), errorAnswerOf(kStatusNotAllowed)) << int(request[1]);
    }
    EXPECT_EQ(info(mToken).userTries, kUserLimit);
    EXPECT_EQ(info(mToken).soTries, 0);
    EXPECT_EQ(mToken.process(readObjectRequest(3)).size(), 65u);
    EXPECT_EQ(mToken.process(randomRequest(8)).size(), 9u);

    // The SO PIN still works, so an administrator can log in to unlock.
    EXPECT_EQ(mToken.process(tryPinRequest(0, kSoPin)), kOk);
    EXPECT_EQ(mToken.process(unlockRequest("bad")), errorAnswerOf(kStatusWrongPin));
    EXPECT_EQ(info(mToken).soTries, 1);
    EXPECT_EQ(info(mToken).state, kConfigured | kLocked);
    EXPECT_EQ(mToken.process(unlockRequest(kSoPin)), kOk);
    const Info i = info(mToken);
    EXPECT_EQ(i.state, kConfigured);
    EXPECT_EQ(i.userTries, 0);
    EXPECT_EQ(i.soTries, 0);
    EXPECT_EQ(mToken.process(tryPinRequest(1, kUserPin)), kOk);
}

TEST_F(TokenModelTest, UnlockKeepsTheUserPinFlag)
{
    configure(mToken, kSoMayNotChangeUserPin);
    for (int attempt = 0; attempt < kUserLimit; ++attempt) {
        mToken.process(tryPinRequest(1, "bad"));
    }
    EXPECT_EQ(info(mToken).state, kConfigured | kLocked | kSoMayNotChangeUserPin);
    EXPECT_EQ(mToken.process(unlockRequest(kSoPin)), kOk);
    EXPECT_EQ(info(mToken).state, kConfigured | kSoMayNotChangeUserPin);
}

TEST_F(TokenModelTest, SoLimitRefusesEverySoPinCommand)
{
    configure(mToken);
    for (int attempt = 0; attempt < kSoLimit; ++attempt) {
        EXPECT_EQ(mToken.process(tryPinRequest(0, "bad")), errorAnswerOf(kStatusWrongPin));
    }
    EXPECT_EQ(info(mToken).soTries, kSoLimit);
    // Even the right SO PIN is refused now, and not counted any further.
    for (const Bytes& request :
         { tryPinRequest(0, kSoPin), unlockRequest(kSoPin), eraseRequest(kSoPin), changeSoPinRequest(kSoPin, "x"),
           changeUserPinRequest(0, kSoPin, "x"), generateKeyRequest(0, kSoPin, 0, 2560, "k"),
           deleteKeyRequest(0, kSoPin, 0), writeObjectRequest(0, kSoPin, 0, Bytes(64, 1)) }) {
        EXPECT_EQ(mToken.process(request), errorAnswerOf(kStatusNotAllowed)) << int(request[1]);
    }
    EXPECT_EQ(info(mToken).soTries, kSoLimit);
    EXPECT_EQ(info(mToken).state, kConfigured);
    // The user keeps working.
    EXPECT_EQ(mToken.process(tryPinRequest(1, kUserPin)), kOk);
    EXPECT_EQ(mToken.process(writeObjectRequest(1, kUserPin, 0, Bytes(64, 1))), kOk);
}

TEST_F(TokenModelTest, EraseClearsEverythingButTheHardware)
{
    configure(mToken);
    ASSERT_EQ(mToken.process(generateKeyRequest(1, kUserPin, 2, 2560, "key")), kOk);
    ASSERT_EQ(mToken.process(writeObjectRequest(1, kUserPin, 255, Bytes(64, 0xAB))), kOk);
    mToken.process(tryPinRequest(1, "bad"));

    EXPECT_EQ(mToken.process(eraseRequest("bad")), errorAnswerOf(kStatusWrongPin));
    EXPECT_EQ(mToken.process(keySlotRequest(2)).at(1), 0x01);

    EXPECT_EQ(mToken.process(eraseRequest(kSoPin)), kOk);
    const Info i = info(mToken);
    EXPECT_EQ(i.state, kInitialised);
    EXPECT_EQ(i.name, "");
    EXPECT_EQ(i.soTries + i.userTries + i.soLimit + i.userLimit, 0);
    EXPECT_EQ(i.publicMem, 16384);
    EXPECT_EQ(mToken.process(keySlotRequest(2)), Bytes(1 + 24 + 64, 0));
    EXPECT_EQ(mToken.process(readObjectRequest(255)), Bytes(65, 0));
    EXPECT_TRUE(mToken.snapshot().keys[2].privateKey.empty());

    // Configurable again, with new PINs only.
    ASSERT_EQ(mToken.process(configureRequest(0, "NEW", 5, 5, "so2", "user2")), kOk);
    EXPECT_EQ(mToken.process(tryPinRequest(1, kUserPin)), errorAnswerOf(kStatusWrongPin));
    EXPECT_EQ(mToken.process(tryPinRequest(1, "user2")), kOk);
    EXPECT_EQ(mToken.process(keySlotRequest(2)).at(1), 0x00);
}

TEST_F(TokenModelTest, EraseWorksOnALockedToken)
{
    configure(mToken);
    for (int attempt = 0; attempt < kUserLimit; ++attempt) {
        mToken.process(tryPinRequest(1, "bad"));
    }
    EXPECT_EQ(mToken.process(eraseRequest(kSoPin)), kOk);
    EXPECT_EQ(info(mToken).state, kInitialised);
}

TEST_F(TokenModelTest, UserPinChangedByUserOrSo)
{
    configure(mToken);
    EXPECT_EQ(mToken.process(changeUserPinRequest(1, kUserPin, "22222222")), kOk);
    EXPECT_EQ(mToken.process(tryPinRequest(1, kUserPin)), errorAnswerOf(kStatusWrongPin));
    EXPECT_EQ(mToken.process(tryPinRequest(1, "22222222")), kOk);

    mToken.process(tryPinRequest(1, "bad"));
    EXPECT_EQ(mToken.process(changeUserPinRequest(0, kSoPin, "3")), kOk);
    EXPECT_EQ(info(mToken).userTries, 0);
    EXPECT_EQ(mToken.process(tryPinRequest(1, "3")), kOk);

    EXPECT_EQ(mToken.process(changeUserPinRequest(1, "bad", "4")), errorAnswerOf(kStatusWrongPin));
    EXPECT_EQ(mToken.process(changeUserPinRequest(0, "bad", "4")), errorAnswerOf(kStatusWrongPin));
    const Info i = info(mToken);
    EXPECT_EQ(i.userTries, 1);
    EXPECT_EQ(i.soTries, 1);
    EXPECT_EQ(mToken.snapshot().userPin, "3");
}

TEST_F(TokenModelTest, FlagStopsSoFromChangingUserPin)
{
    configure(mToken, kSoMayNotChangeUserPin);
    EXPECT_EQ(mToken.process(changeUserPinRequest(0, kSoPin, "9")), errorAnswerOf(kStatusNotAllowed));
    EXPECT_EQ(mToken.process(changeUserPinRequest(0, "bad", "9")), errorAnswerOf(kStatusNotAllowed));
    EXPECT_EQ(info(mToken).soTries, 0);
    EXPECT_EQ(mToken.process(changeUserPinRequest(1, kUserPin, "9")), kOk);
    EXPECT_EQ(mToken.process(tryPinRequest(1, "9")), kOk);
}

TEST_F(TokenModelTest, SoPinChange)
{
    configure(mToken);
    EXPECT_EQ(mToken.process(changeSoPinRequest("bad", "x")), errorAnswerOf(kStatusWrongPin));
    EXPECT_EQ(mToken.process(changeSoPinRequest(kSoPin, "")), kOk);
    EXPECT_EQ(mToken.process(tryPinRequest(0, kSoPin)), errorAnswerOf(kStatusWrongPin));
    EXPECT_EQ(mToken.process(tryPinRequest(0, "")), kOk);
}

TEST_F(TokenModelTest, MalformedFramesAnswerSyntaxCodeOrSize)
{
    configure(mToken);
    EXPECT_EQ(mToken.process({ 0x01, 0x02 }), errorAnswerOf(kStatusFrameSyntax));
    EXPECT_EQ(mToken.process({ 0xFF }), errorAnswerOf(kStatusFrameSyntax));
    EXPECT_EQ(mToken.process({}), errorAnswerOf(kStatusFrameSize));
    EXPECT_EQ(mToken.process({ 0x00 }), errorAnswerOf(kStatusFrameSize));
    for (std::uint8_t code : { 0x06, 0x2A, 0x30, 0x48, 0x4A, 0x85, 0x89, 0xFF }) {
        EXPECT_EQ(mToken.process({ 0x00, code }), errorAnswerOf(kStatusWrongCommand)) << int(code);
    }
}

TEST_F(TokenModelTest, EveryCommandWantsItsExactLength)
{
    configure(mToken);
    const std::vector<Bytes> requests = {
        initRequest(),
        configureRequest(0, kName, 1, 1, "", ""),
        infoRequest(),
        keySlotRequest(0),
        readObjectRequest(0),
        randomRequest(1),
        changeUserPinRequest(1, kUserPin, "x"),
        generateKeyRequest(1, kUserPin, 0, 2560, "k"),
        deleteKeyRequest(1, kUserPin, 0),
        writeObjectRequest(1, kUserPin, 0, Bytes(64, 7)),
        tryPinRequest(1, kUserPin),
        unlockRequest(kSoPin),
        eraseRequest(kSoPin),
        changeSoPinRequest(kSoPin, "x"),
    };
    const TokenConfig before = mToken.snapshot();
    for (Bytes request : requests) {
        Bytes longer = request;
        longer.push_back(0);
        request.pop_back();
        EXPECT_EQ(mToken.process(request), errorAnswerOf(kStatusFrameSize)) << int(longer[1]);
        EXPECT_EQ(mToken.process(longer), errorAnswerOf(kStatusFrameSize)) << int(longer[1]);
    }
    Bytes shortSign = signRequest(kUserPin, 0, {});
    shortSign.pop_back();
    EXPECT_EQ(mToken.process(shortSign), errorAnswerOf(kStatusFrameSize));
    EXPECT_EQ(mToken.process(signRequest(kUserPin, 0, Bytes(65, 1))), errorAnswerOf(kStatusFrameSize));
    // None of them ran.
    const TokenConfig after = mToken.snapshot();
    EXPECT_EQ(after.state, before.state);
    EXPECT_EQ(after.userPin, before.userPin);
    EXPECT_EQ(after.userPinTries, 0);
    EXPECT_FALSE(after.keys[0].present);
    EXPECT_EQ(after.publicMemory, before.publicMemory);
}

TEST_F(TokenModelTest, ArgumentsOutOfRangeAnswerFiveWithoutCountingThePin)
{
    configure(mToken);
    const std::vector<Bytes> requests = {
        keySlotRequest(4),
        generateKeyRequest(1, "bad", 4, 2560, "k"),
        generateKeyRequest(1, "bad", 0, 1920, "k"),
        deleteKeyRequest(1, "bad", 4),
        signRequest("bad", 4, Bytes(32, 1)),
        readObjectRequest(256),
        readObjectRequest(0xFFFF),
        writeObjectRequest(1, "bad", 256, Bytes(64, 1)),
        randomRequest(121),
        randomRequest(255),
        tryPinRequest(2, "bad"),
        changeUserPinRequest(2, "bad", "x"),
        generateKeyRequest(2, "bad", 0, 2560, "k"),
        deleteKeyRequest(2, "bad", 0),
        writeObjectRequest(0xFF, "bad", 0, Bytes(64, 1)),
        signRequest("bad", 0, Bytes(32, 1), 2),
        withPin(0x86, 1, kUserPin),
        withPin(0x87, 1, kUserPin),
    };
    for (const Bytes& request : requests) {
        EXPECT_EQ(mToken.process(request), errorAnswerOf(kStatusOutOfRange)) << int(request[1]);
    }
    const Info i = info(mToken);
    EXPECT_EQ(i.userTries, 0);
    EXPECT_EQ(i.soTries, 0);
    EXPECT_EQ(mToken.process(readObjectRequest(255)).size(), 65u);
    EXPECT_EQ(mToken.process(randomRequest(120)).size(), 121u);
    EXPECT_EQ(mToken.process(randomRequest(0)), kOk);
}

TEST_F(TokenModelTest, SlotContentsDecideOneOrFour)
{
    configure(mToken);
    EXPECT_EQ(mToken.process(deleteKeyRequest(1, kUserPin, 1)), errorAnswerOf(kStatusKeyNotGenerated));
    EXPECT_EQ(mToken.process(signRequest(kUserPin, 1, Bytes(32, 1))), errorAnswerOf(kStatusKeyNotGenerated));
    ASSERT_EQ(mToken.process(generateKeyRequest(1, kUserPin, 1, 2560, "first")), kOk);
    EXPECT_EQ(mToken.process(generateKeyRequest(0, kSoPin, 1, 2560, "second")), errorAnswerOf(kStatusNotAllowed));
    EXPECT_EQ(mToken.snapshot().keys[1].name, "first");
    // A wrong PIN is answered before the slot is looked at.
    EXPECT_EQ(mToken.process(deleteKeyRequest(1, "bad", 3)), errorAnswerOf(kStatusWrongPin));
    EXPECT_EQ(mToken.process(deleteKeyRequest(0, kSoPin, 1)), kOk);
    EXPECT_EQ(mToken.process(keySlotRequest(1)).at(1), 0x00);
    EXPECT_EQ(mToken.process(generateKeyRequest(1, kUserPin, 1, 2560, "again")), kOk);
}

TEST_F(TokenModelTest, FiveSlotTokenServesSlotFour)
{
    TokenConfig config;
    config.keysNum = 5;
    TokenModel token(config);
    configure(token);
    EXPECT_EQ(info(token).keysNum, 5);
    EXPECT_EQ(token.process(generateKeyRequest(1, kUserPin, 4, 2560, "fifth")), kOk);
    const Bytes slot = token.process(keySlotRequest(4));
    ASSERT_EQ(slot.size(), 25u + 64u);
    EXPECT_EQ(slot[1], 0x01);
    EXPECT_EQ(token.process(signRequest(kUserPin, 4, Bytes(32, 9))).at(0), 0x00);
    EXPECT_EQ(token.process(keySlotRequest(5)), errorAnswerOf(kStatusOutOfRange));
}

TEST_F(TokenModelTest, UnsupportedCurveStillAnswersInformation)
{
    TokenConfig config;
    config.curveId = 1234;
    TokenModel token(config);
    configure(token);
    EXPECT_EQ(info(token).curveId, 1234);
    EXPECT_EQ(token.process(generateKeyRequest(1, kUserPin, 0, 1234, "k")), errorAnswerOf(kStatusOutOfRange));
    EXPECT_EQ(token.process(generateKeyRequest(1, kUserPin, 0, 2560, "k")), errorAnswerOf(kStatusOutOfRange));
    EXPECT_EQ(token.process(keySlotRequest(0)), Bytes(25, 0));
    EXPECT_EQ(token.process(signRequest(kUserPin, 0, Bytes(32, 1))), errorAnswerOf(kStatusKeyNotGenerated));
}

TEST_F(TokenModelTest, PublicObjectsRoundTripWithEitherPin)
{
    TokenConfig config;
    config.publicMem = 128;
    TokenModel token(config);
    configure(token);
    Bytes first(64), second(64);
    for (int i = 0; i < 64; ++i) {
        first[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
        second[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(0xFF - i);
    }
    EXPECT_EQ(token.process(writeObjectRequest(1, kUserPin, 0, first)), kOk);
    EXPECT_EQ(token.process(writeObjectRequest(0, kSoPin, 1, second)), kOk);
    EXPECT_EQ(token.process(writeObjectRequest(1, "bad", 1, first)), errorAnswerOf(kStatusWrongPin));
    EXPECT_EQ(token.process(writeObjectRequest(1, kUserPin, 2, first)), errorAnswerOf(kStatusOutOfRange));

    Bytes expected { 0x00 };
    expected.insert(expected.end(), first.begin(), first.end());
    EXPECT_EQ(token.process(readObjectRequest(0)), expected);
    expected.resize(1);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(token.process(readObjectRequest(1)), expected);
    EXPECT_EQ(token.process(readObjectRequest(2)), errorAnswerOf(kStatusOutOfRange));
}

TEST_F(TokenModelTest, RandomOctetsAreFresh)
{
    const Bytes a = mToken.process(randomRequest(120));
    const Bytes b = mToken.process(randomRequest(120));
    ASSERT_EQ(a.size(), 121u);
    EXPECT_EQ(a[0], 0x00);
    EXPECT_NE(a, b);
    EXPECT_NE(Bytes(a.begin() + 1, a.end()), Bytes(120, 0));
}

TEST_F(TokenModelTest, LogRecordsEveryRequestAndItsStatus)
{
    configure(mToken);
    mToken.clearLog();
    mToken.process(tryPinRequest(1, "12"));
    mToken.process(generateKeyRequest(0, kSoPin, 3, 2560, "my key"));
    mToken.process(writeObjectRequest(1, kUserPin, 300, Bytes(64)));
    mToken.process(readObjectRequest(17));
    mToken.process(signRequest(kUserPin, 3, Bytes(20, 5)));
    mToken.process(randomRequest(33));
    mToken.process({ 0x05, 0x02 });

    const std::vector<LogEntry> log = mToken.log();
    ASSERT_EQ(log.size(), 7u);
    EXPECT_EQ(log[0].code, 0x2F);
    EXPECT_EQ(log[0].pinId, 1);
    EXPECT_EQ(log[0].pin, "12");
    EXPECT_EQ(log[0].requestLength, 11);
    EXPECT_EQ(log[0].status, kStatusWrongPin);

    EXPECT_EQ(log[1].code, 0x2C);
    EXPECT_EQ(log[1].pinId, 0);
    EXPECT_EQ(log[1].pin, kSoPin);
    EXPECT_EQ(log[1].slot, 3);
    EXPECT_EQ(log[1].curveId, 2560);
    EXPECT_EQ(log[1].keyName, "my key");
    EXPECT_EQ(log[1].status, -1);

    EXPECT_EQ(log[2].object, 300);
    EXPECT_EQ(log[2].status, kStatusOutOfRange);
    EXPECT_EQ(log[3].code, 0x04);
    EXPECT_EQ(log[3].object, 17);
    EXPECT_EQ(log[3].pinId, -1);
    EXPECT_EQ(log[4].code, 0x49);
    EXPECT_EQ(log[4].slot, 3);
    EXPECT_EQ(log[4].count, 20);
    EXPECT_EQ(log[4].requestLength, 32);
    EXPECT_EQ(log[4].status, -1);
    EXPECT_EQ(log[5].count, 33);
    EXPECT_EQ(log[6].status, kStatusFrameSyntax);

    mToken.clearLog();
    EXPECT_TRUE(mToken.log().empty());
}

TEST_F(TokenModelTest, InjectedFailureAnswersWithoutRunningTheCommand)
{
    configure(mToken);
    mToken.failCommand(0x2F, kStatusWrongPin);
    mToken.failCommand(0x02, 0x42);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(mToken.process(tryPinRequest(1, kUserPin)), errorAnswerOf(kStatusWrongPin));
        EXPECT_EQ(mToken.process(infoRequest()), (Bytes { 0x80, 0x42 }));
    }
    EXPECT_EQ(mToken.process(tryPinRequest(0, kSoPin)), errorAnswerOf(kStatusWrongPin));
    EXPECT_EQ(mToken.snapshot().userPinTries, 0);
    EXPECT_EQ(mToken.snapshot().soPinTries, 0);
    EXPECT_EQ(mToken.process(randomRequest(4)).size(), 5u);
    EXPECT_EQ(mToken.log().back().code, 0x05);
    EXPECT_EQ(mToken.log()[mToken.log().size() - 2].status, kStatusWrongPin);

    mToken.clearFailures();
    EXPECT_EQ(mToken.process(tryPinRequest(1, kUserPin)), kOk);
    EXPECT_EQ(info(mToken).state, kConfigured);
}

TEST_F(TokenModelTest, ConcurrentCommandsAreAllLogged)
{
    configure(mToken);
    mToken.clearLog();
    constexpr int kThreads = 4;
    constexpr int kRounds = 50;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < kRounds; ++i) {
                mToken.process(writeObjectRequest(1, kUserPin, t, Bytes(64, static_cast<std::uint8_t>(i))));
                mToken.log();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const std::vector<LogEntry> log = mToken.log();
    ASSERT_EQ(log.size(), static_cast<std::size_t>(kThreads * kRounds));
    for (const LogEntry& entry : log) {
        EXPECT_EQ(entry.status, -1);
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(mToken.process(readObjectRequest(t)).at(64), kRounds - 1);
    }
}

} // namespace
