#include "runner_options.h"

#include <charconv>
#include <cstdio>

namespace zr40nn::emu {
namespace {

int number(const std::string& option, const std::string& text, int low, int high)
{
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || rest != end || value < low || value > high) {
        throw UsageError(option + " wants a number from " + std::to_string(low) + " to " + std::to_string(high)
                         + ", not \"" + text + "\"");
    }
    return value;
}

} // namespace

std::string runnerUsage()
{
    return "usage: zr40nn-emu [options] -- COMMAND [ARGS...]\n"
           "Runs COMMAND with emulated DEV-ZR40NN tokens on its USB bus and exits with its status.\n"
           "\n"
           "  --tokens N            number of blank tokens (default 1)\n"
           "  --curve ID            curve of new tokens: 1600, 1920, 2240, 2560 (default) or another id\n"
           "  --keys-num N          key slots of new tokens (default 4)\n"
           "  --public-mem OCTETS   public memory of new tokens (default 16384)\n"
           "  --serial-prefix TEXT  serial numbers are TEXT0001, TEXT0002, ... (default ZR40NN-)\n"
           "  --state-file PATH     load the tokens from PATH when it exists, save them there at exit;\n"
           "                        loaded tokens keep their own curve, slots and memory\n"
           "  --init-delay-ms MS    how long initialisation takes (default 0)\n"
           "  --keygen-delay-ms MS  how long key generation takes (default 0)\n"
           "  --wire-time           delay answers by their time on the bridge's UART\n"
           "  --help                show this text\n";
}

RunnerOptions parseRunnerOptions(int argc, const char* const* argv)
{
    RunnerOptions options;
    int i = 1;
    auto value = [&](const std::string& option) -> std::string {
        if (i + 1 >= argc) {
            throw UsageError(option + " needs a value");
        }
        return argv[++i];
    };
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--tokens") {
            options.tokens = number(arg, value(arg), 0, 126);
        } else if (arg == "--curve") {
            options.curveId = number(arg, value(arg), 0, 0xFFFF);
        } else if (arg == "--keys-num") {
            options.keysNum = number(arg, value(arg), 0, 5);
        } else if (arg == "--public-mem") {
            options.publicMem = number(arg, value(arg), 0, 0xFFFF);
        } else if (arg == "--serial-prefix") {
            options.serialPrefix = value(arg);
        } else if (arg == "--state-file") {
            options.stateFile = value(arg);
        } else if (arg == "--init-delay-ms") {
            options.initDelayMs = number(arg, value(arg), 0, 600000);
        } else if (arg == "--keygen-delay-ms") {
            options.keygenDelayMs = number(arg, value(arg), 0, 600000);
        } else if (arg == "--wire-time") {
            options.wireTime = true;
        } else {
            throw UsageError("unknown option " + arg);
        }
    }
    for (; i < argc; ++i) {
        options.command.emplace_back(argv[i]);
    }
    if (options.command.empty() && !options.help) {
        throw UsageError("no command given after --");
    }
    return options;
}

std::vector<TokenConfig> blankTokens(const RunnerOptions& options)
{
    std::vector<TokenConfig> tokens;
    for (int n = 1; n <= options.tokens; ++n) {
        TokenConfig token;
        char number[16];
        std::snprintf(number, sizeof number, "%04d", n);
        token.serial = options.serialPrefix + number;
        token.curveId = options.curveId;
        token.keysNum = options.keysNum;
        token.publicMem = options.publicMem;
        tokens.push_back(std::move(token));
    }
    applyRuntimeOptions(options, tokens);
    return tokens;
}

void applyRuntimeOptions(const RunnerOptions& options, std::vector<TokenConfig>& tokens)
{
    for (TokenConfig& token : tokens) {
        if (options.initDelayMs) {
            token.initDelayMs = *options.initDelayMs;
        }
        if (options.keygenDelayMs) {
            token.keygenDelayMs = *options.keygenDelayMs;
        }
    }
}

} // namespace zr40nn::emu
