// zr40nn-emu's work: start a test bed with the tokens asked for, run the command under umockdev's
// preload library so that it and its children see the tokens, keep serving them until the command
// ends, and save the tokens when a state file is given.
#pragma once

#include "runner_options.h"

#include <ostream>

namespace zr40nn::emu {

// Exit statuses of the runner itself, apart from the command's own.
constexpr int kRunnerFailed = 125; // the emulator could not start or save
constexpr int kCommandNotRunnable = 126;
constexpr int kCommandNotFound = 127;

// Returns the command's exit status (128 + signal when a signal ended it), or one of the above.
int runWithTokens(const RunnerOptions& options, std::ostream& errors);

} // namespace zr40nn::emu
