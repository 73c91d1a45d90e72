// Fuzzes the state file's reader with any text. A text is either refused with a StateFileError
// that names the text and a line, or read into tokens that, written out and read again, come back
// equal, and written again give the same text.
//
// Octets 0x80 to 0x9F of the input stand for the file's words (its keys, "[token]", a whole key
// of the right curve), so the fuzzer reaches past the first line without a dictionary; every
// other octet is taken as it is.
#include "fuzz_checks.h"
#include "state_file.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

using namespace zr40nn::emu;
using namespace zr40nn::emu::fuzz;

namespace {

constexpr std::uint8_t kFirstWord = 0x80;

std::string hex(const Bytes& data)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t octet : data) {
        out += kDigits[octet >> 4];
        out += kDigits[octet & 0x0F];
    }
    return out;
}

const std::vector<std::string>& words()
{
    static const std::vector<std::string> list = [] {
        std::vector<std::string> w { "=", "# ", "key0.", "key4.", std::string(128, '0') };
        std::istringstream keys("serial product curve keys_num public_mem main_ver sub_ver init_delay_ms "
                                "keygen_delay_ms state name so_pin user_pin so_pin_limit user_pin_limit "
                                "so_pin_tries user_pin_tries public_memory private x y");
        for (std::string key; keys >> key;) {
            w.push_back(key + "=");
        }
        for (const char* line : { "[token]", "", "curve=1600", "public_mem=64", "state=2" }) {
            w.push_back(std::string(line) + "\n");
        }
        // A key that belongs to curve 1600, as its three lines.
        const KeySlot key = generateKeyPair(1600, "k").value();
        w.push_back("key1.private=" + hex(key.privateKey) + "\nkey1.x=" + hex(key.pubX) + "\nkey1.y=" + hex(key.pubY)
                    + "\n");
        return w;
    }();
    return list;
}

std::string textFrom(const std::uint8_t* data, std::size_t size)
{
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        const std::size_t word = data[i] - kFirstWord;
        if (data[i] >= kFirstWord && word < words().size()) {
            text += words()[word];
        } else {
            text += static_cast<char>(data[i]);
        }
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text = textFrom(data, size);
    std::vector<TokenConfig> tokens;
    try {
        tokens = parseState(text, "fuzz");
    } catch (const StateFileError& error) {
        const std::string message = error.what();
        require(message.rfind("fuzz:", 0) == 0 && message.size() > 5
                    && std::isdigit(static_cast<unsigned char>(message[5])),
                "a refusal names the text and the line");
        return 0;
    }
    const std::string written = formatState(tokens);
    std::vector<TokenConfig> again;
    try {
        again = parseState(written, "written");
    } catch (const StateFileError&) {
        require(false, "what was written is read back");
    }
    require(again == tokens, "tokens read back equal the tokens written");
    require(formatState(again) == written, "writing is stable");
    return 0;
}
