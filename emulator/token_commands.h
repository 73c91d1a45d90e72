// The token's command set on its stored state: what each request does and answers. The
// bookkeeping around a command (locking, log, injected failures) is TokenModel's.
#pragma once

#include "token_model.h"

#include <functional>
#include <optional>

namespace zr40nn::emu {

// Request lengths a command accepts (equal except for signing, which carries 0..64 digest octets).
struct CommandShape
{
    std::uint8_t code;
    int minLength;
    int maxLength;
};

// The shape of a known command code, or null for an unknown one.
const CommandShape* findCommand(std::uint8_t code);

// Fills the log fields that the request carries (PIN id and PIN, slot, object, counts) from
// whatever octets are present; the request need not be well formed.
void describeRequest(const Bytes& request, LogEntry& entry);

// The two-octet error answer.
Bytes errorAnswer(Status status);

// Brings a configuration into the shapes the token keeps: lengths cut to their fields, public
// memory sized, counters and lock bit consistent.
TokenConfig normaliseConfig(TokenConfig config);

// Runs one request on the token and returns the answer: a frame whose octet 0 is not 0x00 answers
// status 6, an unknown code 0, a wrong length 7. `wait` is called with the command's duration in
// milliseconds before a slow command takes effect.
Bytes runCommand(TokenConfig& token, const Bytes& request, const std::function<void(int)>& wait);

} // namespace zr40nn::emu
