// Command line of zr40nn-emu: `zr40nn-emu [options] -- COMMAND [ARGS...]`.
#pragma once

#include "token_model.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zr40nn::emu {

struct RunnerOptions
{
    int tokens = 1;
    int curveId = 2560;
    std::string stateFile; // empty: no state kept
    std::optional<int> initDelayMs; // unset: 0 for new tokens, the saved value for loaded ones
    std::optional<int> keygenDelayMs;
    std::string serialPrefix = "ZR40NN-";
    int keysNum = 4;
    int publicMem = 16384;
    bool wireTime = false;
    bool help = false;
    std::vector<std::string> command;
};

// Thrown for a command line that cannot be run; what() says why.
class UsageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Parses argv[1..argc-1]. Throws UsageError.
RunnerOptions parseRunnerOptions(int argc, const char* const* argv);
std::string runnerUsage();

// The blank tokens the options ask for: serial numbers prefix + 0001, 0002, ...
std::vector<TokenConfig> blankTokens(const RunnerOptions& options);
// Applies the options that hold for loaded tokens too (the durations of slow commands).
void applyRuntimeOptions(const RunnerOptions& options, std::vector<TokenConfig>& tokens);

} // namespace zr40nn::emu
