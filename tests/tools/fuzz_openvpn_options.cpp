// libFuzzer target for the reading of openvpn's options that morvil_openvpn_tun runs, with
// privileges, on what any user hands it: whatever the text, it is read or refused, never crashes;
// an inline block that is read holds no line that would close it or that openvpn would cut; and
// what is read, written back with every word quoted, reads back the same, so quoting and escapes
// cannot make two readings of one text. The check of the allow list runs on it too.
#include "openvpn_options.h"
#include "tun_request.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace morvil::openvpn_tun;

namespace {

void require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

// The word in double quotes; false when it holds a line end, which no quoting carries.
bool quoted(const std::string& word, std::string& text)
{
    text += '"';
    for (char c : word) {
        if (c == '\\' || c == '"') {
            text += '\\';
        }
        text += c;
    }
    text += "\" ";
    return word.find('\n') == std::string::npos;
}

// The option in openvpn's syntax, each word quoted, the name with a "--" (which reading takes
// off once); false when it cannot be written so.
bool written(const Option& option, std::string& text)
{
    if (option.isInline) {
        const bool ok = quoted("<" + option.name + ">", text);
        text += "\n" + option.params[0] + "</" + option.name + ">\n";
        return ok;
    }
    bool ok = quoted("--" + option.name, text);
    for (const std::string& param : option.params) {
        ok = quoted(param, text) && ok;
    }
    text += '\n';
    return ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const Options read = readConfigText(text);
    checkConfig(text);
    if (!read.error.empty()) {
        require(read.list.empty() || read.list.back().line > 0, "line numbers");
        return 0;
    }
    std::string again;
    bool writable = true;
    for (const Option& option : read.list) {
        if (option.isInline) {
            require(option.params.size() == 1, "an inline block is one text");
            const std::string closing = "</" + option.name + ">";
            for (std::size_t at = 0; at < option.params[0].size();) {
                const std::size_t end = option.params[0].find('\n', at);
                const std::string line = option.params[0].substr(at, end - at);
                require(line.size() <= kLongestLine, "a block line that openvpn would cut");
                require(line.find_first_not_of(" \t\r\v\f") == std::string::npos
                            || line.compare(line.find_first_not_of(" \t\r\v\f"), closing.size(), closing) != 0,
                        "a block line that closes the block");
                at = end == std::string::npos ? option.params[0].size() : end + 1;
            }
        }
        writable = writable && written(option, again);
    }
    // Quoting can make a line longer than openvpn reads: such a text is not compared.
    const Options reread = readConfigText(again);
    if (writable && reread.error.empty()) {
        require(reread.list.size() == read.list.size(), "written back, it reads as other options");
        for (std::size_t i = 0; i < read.list.size(); ++i) {
            require(reread.list[i].name == read.list[i].name && reread.list[i].params == read.list[i].params
                        && reread.list[i].isInline == read.list[i].isInline,
                    "written back, an option reads otherwise");
        }
    }
    return 0;
}
