// Fuzzes the token's request dispatch: a token picked by the first input octets, then the rest of
// the input as length-prefixed request payloads, each run through TokenModel::process. Every
// answer must be well formed, the PIN counters stay within their limits, an error answer changes
// nothing but the PIN counters and the lock, and every request is logged with its status.
#include "fuzz_checks.h"

#include <array>
#include <cstddef>
#include <cstdint>

using namespace zr40nn::emu;
using namespace zr40nn::emu::fuzz;

namespace {

constexpr std::size_t kHeaderOctets = 6;
// Enough requests to take a token from blank to signing and locking; more only slow the fuzzer.
constexpr std::size_t kMaxRequests = 32;
constexpr std::array<int, 5> kCurves { 1600, 1920, 2240, 2560, 1234 };

// One key pair per curve the token knows, made once: generating keys for every input would make
// the fuzzer a benchmark of key generation.
const KeySlot& storedKey(int curveIndex)
{
    static const auto keys = [] {
        std::array<KeySlot, 4> made;
        for (std::size_t i = 0; i < made.size(); ++i) {
            made[i] = generateKeyPair(kCurves[i], "stored").value();
        }
        return made;
    }();
    return keys[static_cast<std::size_t>(curveIndex)];
}

// The PINs are short and often empty: the token compares them in constant time, so the fuzzer
// cannot learn them from the comparison, but it easily sends an all-zero PIN field.
TokenConfig tokenFrom(const std::uint8_t* h)
{
    static const char* const kPins[] = { "", "", "1", "12345678" };
    TokenConfig t;
    const int curveIndex = (h[0] >> 3) % static_cast<int>(kCurves.size());
    t.curveId = kCurves[static_cast<std::size_t>(curveIndex)];
    t.keysNum = h[1] & 0x07;
    t.publicMem = (h[2] & 0x07) * 64 + ((h[2] & 0x80) ? 17 : 0);
    t.soPinLimit = 1 + (h[3] & 0x03);
    t.userPinLimit = 1 + ((h[3] >> 2) & 0x03);
    t.soPinTries = (h[3] >> 4) & 0x03;
    t.userPinTries = (h[3] >> 6) & 0x03;
    t.soPin = kPins[h[4] & 0x03];
    t.userPin = kPins[(h[4] >> 2) & 0x03];
    static const std::uint8_t kStates[] = { 0, kInitialised, kConfigured, kConfigured | kLocked };
    t.state = kStates[h[0] & 0x03];
    if (h[0] & 0x04) {
        t.state |= kSoMayNotChangeUserPin;
    }
    if ((h[4] & 0x10) && curveIndex < 4) {
        t.keys[(h[4] >> 5) & 0x03] = storedKey(curveIndex);
    }
    return t;
}

// Whether `after` differs from `before` at most in what an error answer may change: the PIN
// counters and the lock. Takes `before` over, to spare a copy per request.
bool changedOnlyPinCounters(TokenConfig& before, const TokenConfig& after)
{
    before.soPinTries = after.soPinTries;
    before.userPinTries = after.userPinTries;
    before.state = static_cast<std::uint8_t>((before.state & ~kLocked) | (after.state & kLocked));
    return before == after;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < kHeaderOctets) {
        return 0;
    }
    TokenModel token(tokenFrom(data));
    // Octet 5, when set, makes one command answer an injected failure instead of running.
    if (data[5] & 0x80) {
        token.failCommand(data[5] & 0x7F, kStatusWrongPin);
    }
    std::size_t at = kHeaderOctets;
    std::vector<LogEntry> expected;
    TokenConfig before = token.snapshot();
    while (at < size && expected.size() < kMaxRequests) {
        const std::size_t length = std::min<std::size_t>(data[at], size - at - 1);
        const Bytes request(data + at + 1, data + at + 1 + length);
        at += 1 + length;

        const Bytes answer = token.process(request);
        TokenConfig after = token.snapshot();
        checkAnswer(request, answer, after);
        checkPinCounters(after);
        const bool refused = answer[0] == 0x80;
        if (refused) {
            require(changedOnlyPinCounters(before, after), "a refusal changes only PIN counters");
        }
        expected.push_back({ .requestLength = static_cast<int>(request.size()), .status = refused ? answer[1] : -1 });
        before = std::move(after);
    }
    const std::vector<LogEntry> log = token.log();
    require(log.size() == expected.size(), "every request is logged");
    for (std::size_t i = 0; i < log.size(); ++i) {
        require(log[i].status == expected[i].status, "the log has the answer's status");
        require(log[i].requestLength == expected[i].requestLength, "the log has the request's length");
    }
    return 0;
}
