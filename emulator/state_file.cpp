#include "state_file.h"

#include "token_crypto.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

namespace zr40nn::emu {
namespace {

constexpr int kSlots = static_cast<int>(std::tuple_size_v<decltype(TokenConfig::keys)>);
constexpr int kMaxDelayMs = 3600 * 1000;

std::string toHex(const void* data, std::size_t size)
{
    static const char kDigits[] = "0123456789abcdef";
    const auto* octets = static_cast<const std::uint8_t*>(data);
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out.push_back(kDigits[octets[i] >> 4]);
        out.push_back(kDigits[octets[i] & 0x0F]);
    }
    return out;
}

std::string toHex(const std::string& text)
{
    return toHex(text.data(), text.size());
}
std::string toHex(const Bytes& data)
{
    return toHex(data.data(), data.size());
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<Bytes> fromHex(const std::string& text)
{
    if (text.size() % 2 != 0) {
        return std::nullopt;
    }
    Bytes out;
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = hexDigit(text[i]);
        const int low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return out;
}

std::string trim(const std::string& text)
{
    const auto begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) {
        return {};
    }
    const auto end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

bool allZero(const Bytes& data)
{
    for (std::uint8_t octet : data) {
        if (octet != 0) {
            return false;
        }
    }
    return true;
}

// Reads one token's lines; every failure is reported with the line it happened on.
class TokenParser
{
public:
    TokenParser(std::string origin, int line)
        : mOrigin(std::move(origin))
        , mStartLine(line)
    {
    }

    void set(const std::string& key, const std::string& value, int line)
    {
        mLine = line;
        if (!mSeen.emplace(key, line).second) {
            fail("duplicate key \"" + key + "\"");
        }
        if (key.rfind("key", 0) == 0 && key.size() > 4 && key[4] == '.') {
            setKeyField(key, value);
            return;
        }
        TokenConfig& t = mToken;
        if (key == "serial") {
            t.serial = text(value, 255);
        } else if (key == "product") {
            t.product = text(value, 255);
        } else if (key == "curve") {
            t.curveId = number(value, 0, 0xFFFF);
        } else if (key == "keys_num") {
            t.keysNum = number(value, 0, 255);
        } else if (key == "public_mem") {
            t.publicMem = number(value, 0, 0xFFFF);
        } else if (key == "main_ver") {
            t.mainVer = number(value, 0, 255);
        } else if (key == "sub_ver") {
            t.subVer = number(value, 0, 255);
        } else if (key == "init_delay_ms") {
            t.initDelayMs = number(value, 0, kMaxDelayMs);
        } else if (key == "keygen_delay_ms") {
            t.keygenDelayMs = number(value, 0, kMaxDelayMs);
        } else if (key == "state") {
            t.state = static_cast<std::uint8_t>(number(value, 0, 255));
            if (!validState(t.state)) {
                fail("state " + value + " is not a state the token can be in");
            }
        } else if (key == "name") {
            t.name = text(value, 10);
        } else if (key == "so_pin") {
            t.soPin = text(value, 8);
        } else if (key == "user_pin") {
            t.userPin = text(value, 8);
        } else if (key == "so_pin_limit") {
            t.soPinLimit = number(value, 0, 255);
        } else if (key == "user_pin_limit") {
            t.userPinLimit = number(value, 0, 255);
        } else if (key == "so_pin_tries") {
            t.soPinTries = number(value, 0, 255);
        } else if (key == "user_pin_tries") {
            t.userPinTries = number(value, 0, 255);
        } else if (key == "public_memory") {
            t.publicMemory = binary(value, 0xFFFF);
        } else {
            fail("unknown key \"" + key + "\"");
        }
    }

    // Checks what only the whole token shows and hands it out.
    TokenConfig finish()
    {
        mLine = mStartLine;
        TokenConfig& t = mToken;
        if (!t.publicMemory.empty() && t.publicMemory.size() != static_cast<std::size_t>(t.publicMem)) {
            fail("public_memory holds " + std::to_string(t.publicMemory.size()) + " octets, public_mem says "
                 + std::to_string(t.publicMem));
        }
        if ((t.state & kConfigured) && (t.soPinLimit == 0 || t.userPinLimit == 0)) {
            fail("a configured token needs PIN limits of at least 1");
        }
        for (int slot = 0; slot < kSlots; ++slot) {
            checkKey(slot);
        }
        return t;
    }

private:
    [[noreturn]] void fail(const std::string& message) const
    {
        throw StateFileError(mOrigin + ":" + std::to_string(mLine) + ": " + message);
    }

    static bool validState(std::uint8_t state)
    {
        const std::uint8_t configuredBits = state & static_cast<std::uint8_t>(~(kLocked | kSoMayNotChangeUserPin));
        return state == 0 || state == kInitialised || configuredBits == kConfigured;
    }

    int number(const std::string& value, int low, int high) const
    {
        int result = 0;
        const char* end = value.data() + value.size();
        const auto [ptr, ec] = std::from_chars(value.data(), end, result);
        if (value.empty() || ec != std::errc() || ptr != end) {
            fail("\"" + value + "\" is not a decimal number");
        }
        if (result < low || result > high) {
            fail(value + " is out of range " + std::to_string(low) + ".." + std::to_string(high));
        }
        return result;
    }

    Bytes binary(const std::string& value, std::size_t maxOctets) const
    {
        auto data = fromHex(value);
        if (!data) {
            fail("\"" + value.substr(0, 40) + "\" is not hex");
        }
        if (data->size() > maxOctets) {
            fail("value longer than " + std::to_string(maxOctets) + " octets");
        }
        return std::move(*data);
    }

    std::string text(const std::string& value, std::size_t maxOctets) const
    {
        const Bytes data = binary(value, maxOctets);
        return std::string(data.begin(), data.end());
    }

    void setKeyField(const std::string& key, const std::string& value)
    {
        const int slot = key[3] - '0';
        if (slot < 0 || slot >= kSlots) {
            fail("no key slot \"" + key.substr(0, 4) + "\" (key0 to key" + std::to_string(kSlots - 1) + ")");
        }
        KeySlot& k = mToken.keys[static_cast<std::size_t>(slot)];
        const std::string field = key.substr(5);
        if (field == "name") {
            k.name = text(value, 21);
        } else if (field == "private") {
            k.privateKey = binary(value, 66);
        } else if (field == "x") {
            k.pubX = binary(value, 66);
        } else if (field == "y") {
            k.pubY = binary(value, 66);
        } else {
            fail("unknown key \"" + key + "\"");
        }
        k.present = true;
        mKeyLines[slot] = mLine;
    }

    // A stored key must be whole and really belong to the token's curve: a key that cannot sign
    // would only show up later as a signature no one can verify.
    void checkKey(int slot)
    {
        const KeySlot& k = mToken.keys[static_cast<std::size_t>(slot)];
        if (!k.present) {
            return;
        }
        mLine = mKeyLines[slot];
        const std::string which = "key" + std::to_string(slot);
        const CurveInfo* curve = findCurve(mToken.curveId);
        if (!curve) {
            fail(which + ": the token's curve " + std::to_string(mToken.curveId) + " cannot hold keys");
        }
        if (k.privateKey.size() != static_cast<std::size_t>(curve->orderOctets)
            || k.pubX.size() != static_cast<std::size_t>(curve->fieldOctets)
            || k.pubY.size() != static_cast<std::size_t>(curve->fieldOctets)) {
            fail(which + ": private, x and y must have " + std::to_string(curve->orderOctets) + ", "
                 + std::to_string(curve->fieldOctets) + " and " + std::to_string(curve->fieldOctets) + " octets");
        }
        Bytes point = k.pubX;
        point.insert(point.end(), k.pubY.begin(), k.pubY.end());
        if (publicPointOf(mToken.curveId, k.privateKey) != point) {
            fail(which + ": the public point does not belong to the private key");
        }
    }

    std::string mOrigin;
    int mStartLine;
    int mLine = 0;
    TokenConfig mToken;
    std::map<std::string, int> mSeen;
    std::map<int, int> mKeyLines;
};

void writeAll(int fd, const std::string& text, const std::string& path)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw StateFileError(path + ": cannot write: " + std::strerror(errno));
        }
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

std::string formatState(const std::vector<TokenConfig>& tokens)
{
    std::ostringstream out;
    out << "# DEV-ZR40NN emulator state: numbers in decimal, texts and binary data in hex\n";
    for (const TokenConfig& t : tokens) {
        out << "\n[token]\n"
            << "serial=" << toHex(t.serial) << "\n"
            << "product=" << toHex(t.product) << "\n"
            << "curve=" << t.curveId << "\n"
            << "keys_num=" << t.keysNum << "\n"
            << "public_mem=" << t.publicMem << "\n"
            << "main_ver=" << t.mainVer << "\n"
            << "sub_ver=" << t.subVer << "\n"
            << "init_delay_ms=" << t.initDelayMs << "\n"
            << "keygen_delay_ms=" << t.keygenDelayMs << "\n"
            << "state=" << int(t.state) << "\n"
            << "name=" << toHex(t.name) << "\n"
            << "so_pin=" << toHex(t.soPin) << "\n"
            << "user_pin=" << toHex(t.userPin) << "\n"
            << "so_pin_limit=" << t.soPinLimit << "\n"
            << "user_pin_limit=" << t.userPinLimit << "\n"
            << "so_pin_tries=" << t.soPinTries << "\n"
            << "user_pin_tries=" << t.userPinTries << "\n";
        for (int slot = 0; slot < kSlots; ++slot) {
            const KeySlot& k = t.keys[static_cast<std::size_t>(slot)];
            if (k.present) {
                const std::string prefix = "key" + std::to_string(slot) + ".";
                out << prefix << "name=" << toHex(k.name) << "\n"
                    << prefix << "private=" << toHex(k.privateKey) << "\n"
                    << prefix << "x=" << toHex(k.pubX) << "\n"
                    << prefix << "y=" << toHex(k.pubY) << "\n";
            }
        }
        // An all-zero memory is the default; leaving it out keeps fresh tokens' files short.
        if (!allZero(t.publicMemory)) {
            out << "public_memory=" << toHex(t.publicMemory) << "\n";
        }
    }
    return out.str();
}

std::vector<TokenConfig> parseState(const std::string& text, const std::string& origin)
{
    std::vector<TokenConfig> tokens;
    std::optional<TokenParser> current;
    std::istringstream in(text);
    std::string raw;
    int line = 0;
    while (std::getline(in, raw)) {
        ++line;
        const std::string content = trim(raw);
        if (content.empty() || content[0] == '#') {
            continue;
        }
        if (content == "[token]") {
            if (current) {
                tokens.push_back(current->finish());
            }
            current.emplace(origin, line);
            continue;
        }
        const auto equals = content.find('=');
        if (equals == std::string::npos) {
            throw StateFileError(origin + ":" + std::to_string(line) + ": expected \"key=value\" or \"[token]\"");
        }
        if (!current) {
            throw StateFileError(origin + ":" + std::to_string(line) + ": \"" + trim(content.substr(0, equals))
                                 + "\" before the first [token]");
        }
        current->set(trim(content.substr(0, equals)), trim(content.substr(equals + 1)), line);
    }
    if (current) {
        tokens.push_back(current->finish());
    }
    return tokens;
}

std::vector<TokenConfig> loadStateFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw StateFileError(path + ": cannot open: " + std::strerror(errno));
    }
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad()) {
        throw StateFileError(path + ": cannot read");
    }
    return parseState(content.str(), path);
}

void saveStateFile(const std::string& path, const std::vector<TokenConfig>& tokens)
{
    const std::string text = formatState(tokens);
    // mkstemp creates the file readable by its owner only: it holds PINs and private keys.
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        throw StateFileError(path + ": cannot create a temporary file: " + std::strerror(errno));
    }
    try {
        writeAll(fd, text, temp);
        if (::fsync(fd) != 0) {
            throw StateFileError(temp + ": cannot flush: " + std::strerror(errno));
        }
    } catch (...) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw;
    }
    if (::close(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        ::unlink(temp.c_str());
        throw StateFileError(path + ": cannot replace: " + reason);
    }
}

} // namespace zr40nn::emu
