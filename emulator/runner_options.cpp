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
           "Plugs emulated DEV-ZR40NN tokens (USB 10C4:82E5) into a private USB bus, runs COMMAND on it\n"
           "and exits with COMMAND's status. COMMAND and every program it starts reach the tokens through\n"
           "libusb 0.1 and /dev/bus/usb under umockdev's preload library.\n"
           "\n"
           "New tokens are blank (state 0x00: not initialised, no PINs, no keys).\n"
           "  --tokens N            how many tokens, 0 to 126 (default 1)\n"
           "  --curve ID            their curve: 1600 secp160r1, 1920 secp192r1, 2240 secp224r1,\n"
           "                        2560 secp256r1 (default); any other id makes a token with an\n"
           "                        unsupported curve\n"
           "  --keys-num N          key slots, 0 to 5 (default 4)\n"
           "  --public-mem OCTETS   public memory, 64 octets per object (default 16384)\n"
           "  --serial-prefix TEXT  serial numbers TEXT0001, TEXT0002, ... (default ZR40NN-)\n"
           "\n"
           "  --state-file PATH     when PATH exists, plug the tokens saved in it instead (the options\n"
           "                        above are then ignored); at exit save every token to PATH, so keys,\n"
           "                        PINs and files survive between runs. The file holds the PINs and\n"
           "                        private keys in clear and is written readable by its owner only.\n"
           "\n"
           "  --init-delay-ms MS    initialisation takes MS milliseconds (default 0, saved tokens keep\n"
           "                        their own unless given)\n"
           "  --keygen-delay-ms MS  key generation takes MS milliseconds (same)\n"
           "  --wire-time           hold each answer back for the time its frames take on the token's\n"
           "                        263314-baud UART\n"
           "  -h, --help            show this text\n"
           "\n"
           "Ctrl-C goes to COMMAND; zr40nn-emu waits for it and still saves the state file.\n"
           "Exit status: COMMAND's, 128 + N when signal N ended it, 125 when zr40nn-emu itself failed\n"
           "(bad options, a state file that cannot be read, or one that cannot be saved after COMMAND\n"
           "succeeded), 126 when COMMAND cannot be run, 127 when it is not found.\n"
           "\n"
           "Example: zr40nn-emu --state-file demo.state -- zr40nn-probe --exercise\n";
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
            throw UsageError(arg.rfind("-", 0) == 0 ? "unknown option " + arg
                                                    : "the command goes after --, as in: zr40nn-emu -- " + arg);
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
