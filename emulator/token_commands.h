// The token's command set on its stored state: what each request does and answers, and what it
// puts into the command log. The bookkeeping around a command (locking, log, injected failures) is
// TokenModel's.
#pragma once

#include "token_model.h"

#include <functional>

namespace zr40nn::emu {

// Runs one request on the token and returns the answer. A malformed request is refused before any
// command looks at it: octet 0 not 0x00 (status 6), an unknown code (0) or a length the command
// does not take (7); it changes nothing. `wait` is called with the command's duration in
// milliseconds before a slow command takes effect.
Bytes runCommand(TokenConfig& token, const Bytes& request, const std::function<void(int)>& wait);

// Fills the log fields that the request carries (PIN id and PIN, slot, object, counts) from
// whatever octets are present; the request need not be well formed.
void describeRequest(const Bytes& request, LogEntry& entry);

// The two-octet error answer 0x80, status.
Bytes errorAnswer(Status status);

// The ordinary answer: status octet 0x00, then the data.
Bytes okAnswer(Bytes data = {});

} // namespace zr40nn::emu
