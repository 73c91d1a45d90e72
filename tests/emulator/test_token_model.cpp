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
const std::string kSo = "SO-PIN-8"; // the full 8 octets: no terminator in the frame
const std::string kUser = "1111";
constexpr int kSoLimit = 2;
constexpr int kUserLimit = 3;
const Bytes kNotAllowed = errorAnswerOf(kStatusNotAllowed);
const Bytes kWrongPin = errorAnswerOf(kStatusWrongPin);
const Bytes kOutOfRange = errorAnswerOf(kStatusOutOfRange);
const Bytes kNoKey = errorAnswerOf(kStatusKeyNotGenerated);

// One request and the answer it must get.
struct Step
{
    Bytes request;
    Bytes answer;
};

void run(TokenModel& token, const std::vector<Step>& steps)
{
    for (std::size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(token.process(steps[i].request), steps[i].answer)
            << "step " << i << ", command 0x" << std::hex << int(steps[i].request.at(1));
    }
}

// Every request gets the same answer.
void expectAll(TokenModel& token, const std::vector<Bytes>& requests, const Bytes& answer)
{
    for (const Bytes& request : requests) {
        EXPECT_EQ(token.process(request), answer) << "command 0x" << std::hex << int(request.at(1));
    }
}

void expectCounts(TokenModel& token, int state, int soTries, int userTries)
{
    const Bytes info = token.process(infoRequest());
    ASSERT_EQ(info.size(), 25u);
    EXPECT_EQ(info[1], state);
    EXPECT_EQ(info[13], soTries);
    EXPECT_EQ(info[14], userTries);
}

void configure(TokenModel& token, int flags = 0)
{
    run(token, { { initRequest(), kOk }, { configureRequest(flags, kName, kSoLimit, kUserLimit, kSo, kUser), kOk } });
}

void lock(TokenModel& token)
{
    for (int attempt = 0; attempt < kUserLimit; ++attempt) {
        EXPECT_EQ(token.process(tryPinRequest(1, "bad")), kWrongPin);
    }
}

TEST(TokenModel, InformationAnswerLaysOutEveryField)
{
    TokenConfig config;
    config.curveId = 1920;
    config.keysNum = 5;
    config.publicMem = 4096;
    config.mainVer = 2;
    config.subVer = 7;
    TokenModel token(config);
    EXPECT_EQ(token.process(infoRequest()),
              request({ 0, 0, 0, { "", 10 }, 0, 0, 0, 0, 2, 7, { 4096, 2 }, 5, 1, { 1920, 2 } }));
    configure(token, 0xFF); // of the flags only "the SO may not change the user PIN" is kept
    token.process(tryPinRequest(1, "bad"));
    EXPECT_EQ(token.process(infoRequest()),
              request({ 0, 0x12, 0, { kName, 10 }, 0, 1, kSoLimit, kUserLimit, 2, 7, { 4096, 2 }, 5, 1, { 1920, 2 } }));
    const Bytes defaults = TokenModel().process(infoRequest());
    EXPECT_EQ(Bytes(defaults.begin() + 19, defaults.begin() + 21), (Bytes { 0x40, 0x00 })) << "16384 octets";
}

TEST(TokenModel, InitialisesOnlyWhenBlankAndConfiguresOnlyOnce)
{
    TokenModel token;
    const Bytes conf = configureRequest(0, kName, kSoLimit, kUserLimit, kSo, kUser);
    run(token, { { conf, kNotAllowed }, { initRequest(), kOk }, { initRequest(), kNotAllowed } });
    // A limit of 0 would block a PIN before its first use.
    expectAll(token, { configureRequest(0, kName, 0, 3, kSo, kUser), configureRequest(0, kName, 3, 0, kSo, kUser) },
              kOutOfRange);
    expectCounts(token, kInitialised, 0, 0);
    run(token, { { conf, kOk }, { conf, kNotAllowed }, { initRequest(), kNotAllowed } });
    expectCounts(token, kConfigured, 0, 0);
    EXPECT_EQ(token.snapshot().soPin, kSo);
    EXPECT_EQ(token.snapshot().userPin, kUser);
}

TEST(TokenModel, UnconfiguredTokenOnlyAnswersReads)
{
    for (bool initialised : { false, true }) {
        SCOPED_TRACE(initialised ? "initialised" : "blank");
        TokenModel token;
        if (initialised) {
            ASSERT_EQ(token.process(initRequest()), kOk);
        }
        expectAll(token,
                  { tryPinRequest(0, ""), tryPinRequest(1, ""), changeUserPinRequest(1, "", "x"),
                    generateKeyRequest(1, "", 0, 2560, "k"), deleteKeyRequest(1, "", 0),
                    writeObjectRequest(1, "", 0, Bytes(64, 1)), signRequest("", 0, Bytes(32, 1)), unlockRequest(""),
                    eraseRequest(""), changeSoPinRequest("", "x") },
                  kNotAllowed);
        run(token, { { readObjectRequest(0), Bytes(65, 0) }, { keySlotRequest(0), Bytes(25 + 64, 0) } });
        EXPECT_EQ(token.process(randomRequest(16)).size(), 17u);
    }
}

TEST(TokenModel, EachPinCountsItsOwnWrongTries)
{
    TokenModel token;
    configure(token);
    // The whole 8-octet field is compared: no prefix and no extension matches.
    run(token, { { tryPinRequest(1, kUser), kOk }, { tryPinRequest(0, kSo), kOk } });
    expectAll(token, { tryPinRequest(1, "111"), tryPinRequest(1, kUser + "1"), tryPinRequest(0, kSo.substr(0, 7)) },
              kWrongPin);
    expectCounts(token, kConfigured, 1, 2);
    EXPECT_EQ(token.process(tryPinRequest(1, kUser)), kOk);
    expectCounts(token, kConfigured, 1, 0);
    EXPECT_EQ(token.process(tryPinRequest(0, kSo)), kOk);
    expectCounts(token, kConfigured, 0, 0);
}

TEST(TokenModel, UserLimitLocksTheTokenUntilTheSoUnlocks)
{
    TokenModel token;
    configure(token, kSoMayNotChangeUserPin);
    lock(token);
    expectCounts(token, kConfigured | kLocked | kSoMayNotChangeUserPin, 0, kUserLimit);

    // Nothing that needs a usable token runs, whichever PIN comes with it, and nothing is counted.
    expectAll(token,
              { tryPinRequest(1, kUser), changeUserPinRequest(1, kUser, "2222"),
                generateKeyRequest(1, kUser, 0, 2560, "k"), generateKeyRequest(0, kSo, 0, 2560, "k"),
                deleteKeyRequest(0, kSo, 0), writeObjectRequest(0, kSo, 0, Bytes(64, 1)),
                signRequest(kUser, 0, Bytes(32, 1)), changeSoPinRequest(kSo, "new") },
              kNotAllowed);
    EXPECT_EQ(token.process(readObjectRequest(3)).size(), 65u);

    // The SO PIN still works, so an administrator can log in and unlock; the flag stays.
    run(token, { { tryPinRequest(0, kSo), kOk }, { unlockRequest("bad"), kWrongPin } });
    expectCounts(token, kConfigured | kLocked | kSoMayNotChangeUserPin, 1, kUserLimit);
    run(token, { { unlockRequest(kSo), kOk }, { tryPinRequest(1, kUser), kOk } });
    expectCounts(token, kConfigured | kSoMayNotChangeUserPin, 0, 0);

    lock(token);
    EXPECT_EQ(token.process(eraseRequest(kSo)), kOk) << "erase needs only the SO PIN";
    expectCounts(token, kInitialised, 0, 0);
}

TEST(TokenModel, SoLimitRefusesEverySoPinCommand)
{
    TokenModel token;
    configure(token);
    expectAll(token, { tryPinRequest(0, "bad"), tryPinRequest(0, "bad") }, kWrongPin);
    // Even the right SO PIN is refused now, and not counted any further.
    expectAll(token,
              { tryPinRequest(0, kSo), unlockRequest(kSo), eraseRequest(kSo), changeSoPinRequest(kSo, "x"),
                changeUserPinRequest(0, kSo, "x"), generateKeyRequest(0, kSo, 0, 2560, "k"),
                deleteKeyRequest(0, kSo, 0), writeObjectRequest(0, kSo, 0, Bytes(64, 1)) },
              kNotAllowed);
    expectCounts(token, kConfigured, kSoLimit, 0);
    run(token, { { tryPinRequest(1, kUser), kOk }, { writeObjectRequest(1, kUser, 0, Bytes(64, 1)), kOk } });
}

TEST(TokenModel, EraseClearsEverythingButTheHardware)
{
    TokenModel token;
    configure(token);
    run(token, { { generateKeyRequest(1, kUser, 2, 2560, "key"), kOk },
                 { writeObjectRequest(1, kUser, 255, Bytes(64, 0xAB)), kOk }, { tryPinRequest(1, "bad"), kWrongPin },
                 { eraseRequest("bad"), kWrongPin }, { eraseRequest(kSo), kOk },
                 { infoRequest(), request({ 0, kInitialised, 0, { "", 10 }, 0, 0, 0, 0, 1, 0, { 16384, 2 }, 4, 1,
                                            { 2560, 2 } }) },
                 { keySlotRequest(2), Bytes(25 + 64, 0) }, { readObjectRequest(255), Bytes(65, 0) },
                 // Configurable again, with the new PINs only.
                 { configureRequest(0, "NEW", 5, 5, "so2", "user2"), kOk }, { tryPinRequest(1, kUser), kWrongPin },
                 { tryPinRequest(1, "user2"), kOk } });
    EXPECT_TRUE(token.snapshot().keys[2].privateKey.empty());
}

TEST(TokenModel, PinChanges)
{
    TokenModel token;
    configure(token);
    // The SO may set the user PIN, which also clears its count.
    run(token, { { changeUserPinRequest(1, kUser, "22222222"), kOk }, { tryPinRequest(1, kUser), kWrongPin },
                 { changeUserPinRequest(0, kSo, "3"), kOk }, { changeUserPinRequest(1, "bad", "4"), kWrongPin },
                 { changeUserPinRequest(0, "bad", "4"), kWrongPin } });
    expectCounts(token, kConfigured, 1, 1);
    run(token, { { tryPinRequest(1, "3"), kOk }, { changeSoPinRequest(kSo, ""), kOk },
                 { tryPinRequest(0, kSo), kWrongPin }, { tryPinRequest(0, ""), kOk } });

    // With the flag set the SO may not, and its PIN is not even checked.
    TokenModel flagged;
    configure(flagged, kSoMayNotChangeUserPin);
    expectAll(flagged, { changeUserPinRequest(0, kSo, "9"), changeUserPinRequest(0, "bad", "9") }, kNotAllowed);
    run(flagged, { { changeUserPinRequest(1, kUser, "9"), kOk }, { tryPinRequest(1, "9"), kOk } });
    expectCounts(flagged, kConfigured | kSoMayNotChangeUserPin, 0, 0);
}

TEST(TokenModel, MalformedFramesChangeNothing)
{
    TokenModel token;
    configure(token);
    std::vector<Step> steps = {
        { { 0x01, 0x02 }, errorAnswerOf(kStatusFrameSyntax) },
        { { 0xFF }, errorAnswerOf(kStatusFrameSyntax) },
        { {}, errorAnswerOf(kStatusFrameSize) },
        { { 0x00 }, errorAnswerOf(kStatusFrameSize) },
        { signRequest(kUser, 0, Bytes(65, 1)), errorAnswerOf(kStatusFrameSize) },
    };
    for (std::uint8_t code : { 0x06, 0x2A, 0x30, 0x48, 0x4A, 0x85, 0x89, 0xFF }) {
        steps.push_back({ { 0x00, code }, errorAnswerOf(kStatusWrongCommand) });
    }
    // Every command one octet short and one octet long (signing takes 0..64 digest octets).
    for (Bytes r : { initRequest(), configureRequest(0, kName, 1, 1, "", ""), infoRequest(), keySlotRequest(0),
                     readObjectRequest(0), randomRequest(1), changeUserPinRequest(1, kUser, "x"),
                     generateKeyRequest(1, kUser, 0, 2560, "k"), deleteKeyRequest(1, kUser, 0),
                     writeObjectRequest(1, kUser, 0, Bytes(64, 7)), tryPinRequest(1, kUser), signRequest(kUser, 0, {}),
                     unlockRequest(kSo), eraseRequest(kSo), changeSoPinRequest(kSo, "x") }) {
        if (r[1] != 0x49) {
            r.push_back(0);
            steps.push_back({ r, errorAnswerOf(kStatusFrameSize) });
            r.pop_back();
        }
        r.pop_back();
        steps.push_back({ r, errorAnswerOf(kStatusFrameSize) });
    }
    const TokenConfig before = token.snapshot();
    run(token, steps);
    EXPECT_TRUE(token.snapshot() == before);
}

TEST(TokenModel, ArgumentsOutOfRangeAnswerFiveWithoutCountingThePin)
{
    TokenModel token;
    configure(token);
    expectAll(token,
              { keySlotRequest(4), generateKeyRequest(1, "bad", 4, 2560, "k"),
                generateKeyRequest(1, "bad", 0, 1920, "k"), deleteKeyRequest(1, "bad", 4),
                signRequest("bad", 4, Bytes(32, 1)), readObjectRequest(256), readObjectRequest(0xFFFF),
                writeObjectRequest(1, "bad", 256, Bytes(64, 1)), randomRequest(121), randomRequest(255),
                tryPinRequest(2, "bad"), changeUserPinRequest(2, "bad", "x"),
                generateKeyRequest(2, "bad", 0, 2560, "k"), deleteKeyRequest(2, "bad", 0),
                writeObjectRequest(0xFF, "bad", 0, Bytes(64, 1)), signRequest("bad", 0, Bytes(32, 1), 2),
                request({ 0, 0x86, 1, pin(kUser) }), request({ 0, 0x87, 1, pin(kUser) }) },
              kOutOfRange);
    expectCounts(token, kConfigured, 0, 0);
    run(token, { { randomRequest(0), kOk }, { readObjectRequest(255), Bytes(65, 0) } });
    const Bytes a = token.process(randomRequest(120));
    ASSERT_EQ(a.size(), 121u);
    EXPECT_NE(a, token.process(randomRequest(120))) << "random octets are fresh";
}

TEST(TokenModel, SlotContentsDecideOneOrFour)
{
    TokenConfig config;
    config.keysNum = 5;
    TokenModel token(config);
    configure(token);
    run(token, { { deleteKeyRequest(1, kUser, 1), kNoKey }, { signRequest(kUser, 1, Bytes(32, 1)), kNoKey },
                 { generateKeyRequest(1, kUser, 1, 2560, "first"), kOk },
                 { generateKeyRequest(0, kSo, 1, 2560, "second"), kNotAllowed },
                 // A wrong PIN is answered before the slot is looked at.
                 { deleteKeyRequest(1, "bad", 3), kWrongPin }, { deleteKeyRequest(0, kSo, 1), kOk },
                 { generateKeyRequest(1, kUser, 1, 2560, "again"), kOk },
                 // The fifth slot of a five-slot token is served, a sixth is not.
                 { generateKeyRequest(1, kUser, 4, 2560, "fifth"), kOk }, { keySlotRequest(5), kOutOfRange } });
    EXPECT_EQ(token.snapshot().keys[1].name, "again");
    const Bytes slot = token.process(keySlotRequest(4));
    ASSERT_EQ(slot.size(), 25u + 64u);
    EXPECT_EQ(Bytes(slot.begin(), slot.begin() + 9), request({ 0, 1, { 2560, 2 }, { "fifth", 5 } }));
    EXPECT_EQ(token.process(signRequest(kUser, 4, Bytes(32, 9))).at(0), 0x00);

    // A token on a curve it does not know holds no keys, and its slots carry no point.
    config.curveId = 1234;
    TokenModel unknown(config);
    configure(unknown);
    run(unknown, { { generateKeyRequest(1, kUser, 0, 1234, "k"), kOutOfRange },
                   { generateKeyRequest(1, kUser, 0, 2560, "k"), kOutOfRange }, { keySlotRequest(0), Bytes(25, 0) },
                   { signRequest(kUser, 0, Bytes(32, 1)), kNoKey } });
}

TEST(TokenModel, PublicObjectsRoundTripWithEitherPin)
{
    TokenConfig config;
    config.publicMem = 128;
    TokenModel token(config);
    configure(token);
    Bytes data(64);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i + 1);
    }
    Bytes answer = kOk;
    answer.insert(answer.end(), data.begin(), data.end());
    run(token, { { writeObjectRequest(1, kUser, 0, Bytes(64, 0xEE)), kOk },
                 { writeObjectRequest(0, kSo, 1, data), kOk }, { writeObjectRequest(1, "bad", 0, data), kWrongPin },
                 { writeObjectRequest(1, kUser, 2, data), kOutOfRange }, { readObjectRequest(1), answer },
                 { readObjectRequest(0), request({ 0, { std::string(64, '\xEE'), 64 } }) },
                 { readObjectRequest(2), kOutOfRange } });
}

// A log line with the fields that are set.
std::string describe(const LogEntry& l)
{
    char code[3];
    std::snprintf(code, sizeof code, "%02x", l.code);
    std::string out = code;
    auto add = [&out](const char* name, int value) {
        out += value < 0 ? "" : std::string(" ") + name + "=" + std::to_string(value);
    };
    out += l.pinId < 0 ? "" : " pin=" + std::to_string(l.pinId) + ":" + l.pin;
    add("slot", l.slot);
    add("object", l.object);
    add("count", l.count);
    add("curve", l.curveId);
    out += l.keyName.empty() ? "" : " key=" + l.keyName;
    add("len", l.requestLength);
    add("status", l.status);
    return out;
}

TEST(TokenModel, LogRecordsEveryRequestAndItsStatus)
{
    TokenModel token;
    configure(token);
    token.clearLog();
    for (const Bytes& r : { tryPinRequest(1, "12"), generateKeyRequest(0, kSo, 3, 2560, "my key"),
                            writeObjectRequest(1, kUser, 300, Bytes(64)), readObjectRequest(17),
                            signRequest(kUser, 3, Bytes(20, 5)), randomRequest(33), Bytes { 0x05, 0x02 } }) {
        token.process(r);
    }
    std::vector<std::string> lines;
    for (const LogEntry& l : token.log()) {
        lines.push_back(describe(l));
    }
    EXPECT_EQ(lines, (std::vector<std::string> { "2f pin=1:12 len=11 status=2",
                                                 "2c pin=0:SO-PIN-8 slot=3 curve=2560 key=my key len=36",
                                                 "2e pin=1:1111 object=300 len=77 status=5", "04 object=17 len=4",
                                                 "49 pin=1:1111 slot=3 count=20 len=32", "05 count=33 len=3",
                                                 "02 len=2 status=6" }));
    token.clearLog();
    EXPECT_TRUE(token.log().empty());
}

TEST(TokenModel, InjectedFailureAnswersWithoutRunningTheCommand)
{
    TokenModel token;
    configure(token);
    token.failCommand(0x2F, kStatusWrongPin);
    token.failCommand(0x02, 0x42);
    run(token, { { tryPinRequest(1, kUser), kWrongPin }, { infoRequest(), errorAnswerOf(0x42) },
                 { tryPinRequest(0, kSo), kWrongPin }, { tryPinRequest(1, "bad"), kWrongPin } });
    EXPECT_EQ(token.log().back().status, kStatusWrongPin);
    EXPECT_EQ(token.snapshot().userPinTries + token.snapshot().soPinTries, 0) << "no PIN was checked";
    token.clearFailures();
    EXPECT_EQ(token.process(tryPinRequest(1, kUser)), kOk);
}

TEST(TokenModel, HeldCommandRunsOnceReleasedAndTheHoldCatchesOneCommand)
{
    TokenModel token;
    configure(token);
    token.clearLog();
    token.holdNext(0x02);
    std::thread caller([&token] { token.process(infoRequest()); });
    while (!token.holding()) {
        std::this_thread::yield();
    }
    EXPECT_TRUE(token.log().empty()) << "a held command has not run";
    EXPECT_EQ(token.snapshot().name, kName) << "the state stays readable meanwhile";
    token.releaseHeld();
    caller.join();
    EXPECT_FALSE(token.holding());
    token.process(infoRequest());
    EXPECT_EQ(token.log().size(), 2u);
}

TEST(TokenModel, ConcurrentCommandsAreAllLogged)
{
    TokenModel token;
    configure(token);
    token.clearLog();
    constexpr int kThreads = 4;
    constexpr int kRounds = 50;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&token, t] {
            for (int i = 0; i < kRounds; ++i) {
                token.process(writeObjectRequest(1, kUser, t, Bytes(64, static_cast<std::uint8_t>(i))));
                token.log();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(token.log().size(), static_cast<std::size_t>(kThreads * kRounds));
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(token.process(readObjectRequest(t)).at(64), kRounds - 1);
    }
}

} // namespace
