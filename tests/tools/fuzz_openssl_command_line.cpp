// libFuzzer target for morvil_openssl's rewriting of command lines and configurations: whatever
// the arguments and the configuration text, translate() refuses clearly or gives a command that
// keeps what it must keep; the configuration reader and its string_mask rewrite never fail.
//
// Input: pieces separated by NUL octets. The first piece is the text of every configuration file
// that the command line names; the others are the arguments. A piece "\x01<n>" stands for word n
// of a vocabulary of the options and values that matter, so the fuzzer combines them at once.
#include "command_line.h"
#include "openssl_config.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace morvil::openssl_tool;
using Args = std::vector<std::string>;

namespace {

constexpr std::array<std::string_view, 36> kWords = {
    "req",
    "ca",
    "x509",
    "crl",
    "-md",
    "-config",
    "-section",
    "-name",
    "-utf8",
    "-subject",
    "-nameopt",
    "compat",
    "-infiles",
    "-passin",
    "stdin",
    "-engctrl",
    "--engctrl",
    "-engctrl=user_pin:1",
    "user_pin:1234",
    "-engine",
    "dev_zr40nn",
    "-keyform",
    "ENGINE",
    "ecdsa-with-sha256",
    "ECDSA-with-SHA1",
    "ecdsa-with-sha3",
    "sha256",
    "-sha384",
    "-CAcreateserial",
    "-in",
    "-subj",
    "-out",
    "-batch",
    "-gencrl",
    "CA.conf",
    "-key",
};

void require(bool holds, const char* invariant)
{
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %s\n", invariant);
        std::abort();
    }
}

std::vector<std::string> splitInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> pieces(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            pieces.emplace_back();
        } else {
            pieces.back().push_back(static_cast<char>(data[i]));
        }
    }
    for (std::string& piece : pieces) {
        if (piece.size() == 2 && piece[0] == '\x01') {
            piece = kWords[static_cast<std::uint8_t>(piece[1]) % kWords.size()];
        }
    }
    return pieces;
}

bool isEngineControlSpelling(const std::string& arg)
{
    std::string_view name(arg);
    name = name.substr(0, name.find('='));
    return name == "-engctrl" || name == "--engctrl";
}

// How often "-passin stdin" stands in args as two neighbours, not as the value of -md (whose value
// is the one argument that is rewritten).
std::size_t passinStdinPairs(const Args& args)
{
    std::size_t pairs = 0;
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "-passin" && args[i + 1] == "stdin" && (i == 0 || args[i - 1] != "-md")) {
            ++pairs;
        }
    }
    return pairs;
}

void checkTranslation(const Args& args, const std::string& configText)
{
    const Translation t = translate(args, [&](const std::string&) { return configText; });
    if (args.empty()) {
        require(t.args.empty() && t.error.empty(), "nothing in, nothing out");
        return;
    }
    const bool engineControl = std::any_of(args.begin(), args.end(), isEngineControlSpelling);
    require(engineControl == !t.error.empty(), "refused exactly when -engctrl is given");
    if (engineControl) {
        require(t.args.empty(), "a refusal runs nothing");
        return;
    }
    require(!t.args.empty() && t.args[0] == args[0], "the command stays first");
    require(t.args.size() + 1 >= args.size() && t.args.size() <= args.size() + 2, "at most two arguments added");
    require(std::none_of(t.args.begin(), t.args.end(), isEngineControlSpelling), "no -engctrl passes");
    require(passinStdinPairs(t.args) >= passinStdinPairs(args), "-passin stdin is kept");
    if (t.config) {
        require(t.configArg > 0 && t.configArg < t.args.size() && t.args[t.configArg - 1] == "-config",
                "the replaced configuration is the value of -config");
        const OpenSslConfig rewritten = OpenSslConfig::parse(*t.config);
        for (const char* section : { "default", "req" }) {
            require(rewritten.value(section, "string_mask") != "nombstr", "no nombstr mask is left");
        }
    }
    // Nothing is added behind ca's -infiles, which takes every later argument as a file.
    const auto infilesIn = std::find(args.begin(), args.end(), "-infiles");
    const auto infilesOut = std::find(t.args.begin(), t.args.end(), "-infiles");
    // (-md's value is the one argument rewritten, so a "-infiles" there or a -md behind is no case.)
    const bool valueOfMd = infilesIn != args.end() && infilesIn != args.begin() && *(infilesIn - 1) == "-md";
    if (infilesIn != args.end() && !valueOfMd && std::find(infilesIn, args.end(), "-md") == args.end()) {
        require(infilesOut != t.args.end() && Args(infilesOut, t.args.end()) == Args(infilesIn, args.end()),
                "the files after -infiles are left alone");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> pieces = splitInput(data, size);
    const std::string configText = pieces.front();
    const Args args(pieces.begin() + 1, pieces.end());
    checkTranslation(args, configText);

    // The reader alone: any text parses, and the mask rewrite changes only mask lines.
    const OpenSslConfig parsed = OpenSslConfig::parse(configText);
    if (const auto rewritten = withUtf8StringMask(configText)) {
        require(OpenSslConfig::parse(*rewritten).value("default", "string_mask") != "nombstr",
                "the rewrite leaves no nombstr mask");
        require(std::count(rewritten->begin(), rewritten->end(), '\n')
                    == std::count(configText.begin(), configText.end(), '\n') + (configText.ends_with('\n') ? 0 : 1),
                "the rewrite keeps every line");
    } else {
        require(parsed.value("default", "string_mask") != "nombstr", "an unchanged text had no nombstr mask");
    }
    return 0;
}
