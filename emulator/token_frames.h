// The checks in front of the token's command set: which codes it knows and how long each request
// must be, the two-octet error answer, and what a request puts into the command log.
#pragma once

#include "token_model.h"

#include <optional>

namespace zr40nn::emu {

// Why a request is refused before any command looks at it: octet 0 not 0x00 (status 6), an
// unknown code (0) or a length the command does not take (7). Nothing for a well-formed request.
std::optional<Status> frameError(const Bytes& request);

// The two-octet error answer 0x80, status.
Bytes errorAnswer(Status status);

// Fills the log fields that the request carries (PIN id and PIN, slot, object, counts) from
// whatever octets are present; the request need not be well formed.
void describeRequest(const Bytes& request, LogEntry& entry);

} // namespace zr40nn::emu
