// The token's command set on its stored state: what each request does and answers. The
// bookkeeping around a command (locking, log, injected failures) is TokenModel's.
#pragma once

#include "token_model.h"

#include <functional>

namespace zr40nn::emu {

// Runs one request on the token and returns the answer. A malformed request is refused with the
// status of frameError() and changes nothing. `wait` is called with the command's duration in
// milliseconds before a slow command takes effect.
Bytes runCommand(TokenConfig& token, const Bytes& request, const std::function<void(int)>& wait);

} // namespace zr40nn::emu
