// What the emulator's fuzz targets hold every answer and every token state to. A broken rule
// aborts with its name, which libFuzzer reports as a crash together with the input.
#pragma once

#include "token_crypto.h"
#include "token_model.h"

#include <cstdio>
#include <cstdlib>

namespace zr40nn::emu::fuzz {

inline void require(bool holds, const char* rule)
{
    if (!holds) {
        std::fprintf(stderr, "broken: %s\n", rule);
        std::abort();
    }
}

// How long the ordinary answer to a well-formed request is (status octet included), or 0 where
// it varies (a signature).
inline std::size_t okAnswerLength(const Bytes& request, const TokenConfig& token)
{
    const CurveInfo* curve = findCurve(token.curveId);
    const std::size_t field = curve ? static_cast<std::size_t>(curve->fieldOctets) : 0;
    switch (request[1]) {
    case 0x02:
        return 25;
    case 0x03:
        return 1 + 24 + 2 * field;
    case 0x04:
        return 65;
    case 0x05:
        return 1 + std::size_t { request[2] };
    case 0x49:
        return 0;
    default:
        return 1;
    }
}

// An error answer is exactly 0x80 and a status the token knows; an ordinary one is 0x00 and the
// data of the command asked for, and only a well-formed request gets one.
inline void checkAnswer(const Bytes& request, const Bytes& answer, const TokenConfig& token)
{
    require(!answer.empty(), "an answer is never empty");
    if (answer[0] == 0x80) {
        require(answer.size() == 2, "an error answer is 0x80, s");
        require(answer[1] <= kStatusFrameSize, "an error status is one the token knows");
        return;
    }
    require(answer[0] == 0x00, "an answer starts with 0x00 or 0x80");
    require(request.size() >= 2 && request[0] == 0x00, "only a well-formed request is answered 0x00");
    const std::size_t length = okAnswerLength(request, token);
    if (length != 0) {
        require(answer.size() == length, "an ordinary answer has its command's length");
    } else {
        // DER SEQUENCE of two INTEGERs, short form: at most 64 + 64 octets of r and s.
        require(answer.size() >= 9 && answer[1] == 0x30 && answer[2] + 3u == answer.size(), "a signature is DER");
    }
}

// The retry counters stay within their limits, and a user counter at its limit means a locked
// token; the state is one a token can be in.
inline void checkPinCounters(const TokenConfig& t)
{
    if (!(t.state & kConfigured)) {
        require(t.state == 0 || t.state == kInitialised, "an unconfigured token is blank or initialised");
        return;
    }
    require((t.state & ~(kConfigured | kLocked | kSoMayNotChangeUserPin)) == 0, "known state bits only");
    require(t.soPinLimit >= 1 && t.userPinLimit >= 1, "a configured token has PIN limits");
    require(t.soPinTries >= 0 && t.soPinTries <= t.soPinLimit, "the SO counter stays within its limit");
    require(t.userPinTries >= 0 && t.userPinTries <= t.userPinLimit, "the user counter stays within its limit");
    require(t.userPinTries < t.userPinLimit || (t.state & kLocked), "a user counter at its limit locks");
}

} // namespace zr40nn::emu::fuzz
