// The state file's text: one table of fields drives both the writer and the reader, so a field
// saved is a field read back.
#include "state_file.h"

#include "token_crypto.h"
#include "token_fields.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <optional>
#include <sstream>
#include <variant>

namespace zr40nn::emu {
namespace {

constexpr int kSlots = static_cast<int>(std::tuple_size_v<decltype(TokenConfig::keys)>);
constexpr int kMaxDelayMs = 3600 * 1000;
constexpr int kMaxCoordinateOctets = 66;
constexpr int kTextOctets = 255;
constexpr int kNameOctets = static_cast<int>(fields::kNameOctets);
constexpr int kPinOctets = static_cast<int>(fields::kPinOctets);

// One "key=value" line and the member of a token or key slot it stands for. A number is decimal,
// 0 to `max`; a text or binary value is hex of at most `max` octets.
template <class Record> struct Field
{
    using Member = std::variant<std::string Record::*, Bytes Record::*, int Record::*, std::uint8_t Record::*>;

    const char* key;
    Member member;
    int max;
    // Long binary data, all zero by default: written behind the key slots, and left out while it
    // is all zero, which keeps fresh tokens' files short.
    bool bulk = false;
};

const Field<TokenConfig> kTokenFields[] = {
    { "serial", &TokenConfig::serial, kTextOctets },
    { "product", &TokenConfig::product, kTextOctets },
    { "curve", &TokenConfig::curveId, 0xFFFF },
    { "keys_num", &TokenConfig::keysNum, 255 },
    { "public_mem", &TokenConfig::publicMem, 0xFFFF },
    { "main_ver", &TokenConfig::mainVer, 255 },
    { "sub_ver", &TokenConfig::subVer, 255 },
    { "init_delay_ms", &TokenConfig::initDelayMs, kMaxDelayMs },
    { "keygen_delay_ms", &TokenConfig::keygenDelayMs, kMaxDelayMs },
    { "state", &TokenConfig::state, 255 },
    { "name", &TokenConfig::name, kNameOctets },
    { "so_pin", &TokenConfig::soPin, kPinOctets },
    { "user_pin", &TokenConfig::userPin, kPinOctets },
    { "so_pin_limit", &TokenConfig::soPinLimit, 255 },
    { "user_pin_limit", &TokenConfig::userPinLimit, 255 },
    { "so_pin_tries", &TokenConfig::soPinTries, 255 },
    { "user_pin_tries", &TokenConfig::userPinTries, 255 },
    { "public_memory", &TokenConfig::publicMemory, 0xFFFF, true },
};

// A key slot's lines are "key<slot>.<field>=value".
const Field<KeySlot> kKeyFields[] = {
    { "name", &KeySlot::name, static_cast<int>(fields::kKeyNameOctets) },
    { "private", &KeySlot::privateKey, kMaxCoordinateOctets },
    { "x", &KeySlot::pubX, kMaxCoordinateOctets },
    { "y", &KeySlot::pubY, kMaxCoordinateOctets },
};

template <class Record, std::size_t N>
const Field<Record>* findField(const Field<Record> (&table)[N], const std::string& key)
{
    const auto found = std::find_if(std::begin(table), std::end(table),
                                    [&key](const Field<Record>& field) { return key == field.key; });
    return found == std::end(table) ? nullptr : found;
}

std::string hex(const void* data, std::size_t size)
{
    static const char kDigits[] = "0123456789abcdef";
    const auto* octets = static_cast<const std::uint8_t*>(data);
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        out.push_back(kDigits[octets[i] >> 4]);
        out.push_back(kDigits[octets[i] & 0x0F]);
    }
    return out;
}

std::string valueText(const std::string& text)
{
    return hex(text.data(), text.size());
}
std::string valueText(const Bytes& data)
{
    return hex(data.data(), data.size());
}
std::string valueText(int number)
{
    return std::to_string(number);
}

template <class Record> std::string valueText(const Field<Record>& field, const Record& record)
{
    return std::visit([&record](auto member) { return valueText(record.*member); }, field.member);
}

std::optional<Bytes> fromHex(const std::string& text)
{
    if (text.size() % 2 != 0) {
        return std::nullopt;
    }
    Bytes out(text.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const char* digits = text.data() + 2 * i;
        const auto [end, ec] = std::from_chars(digits, digits + 2, out[i], 16);
        if (ec != std::errc() || end != digits + 2) {
            return std::nullopt;
        }
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
    return std::all_of(data.begin(), data.end(), [](std::uint8_t octet) { return octet == 0; });
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
        const Field<TokenConfig>* field = findField(kTokenFields, key);
        if (!field) {
            fail("unknown key \"" + key + "\"");
        }
        read(*field, mToken, value);
        if (field->member == Field<TokenConfig>::Member(&TokenConfig::state) && !validState(mToken.state)) {
            fail("state " + value + " is not a state the token can be in");
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
        // All-zero memory is saved as no memory at all; read back, it is no memory either.
        if (allZero(t.publicMemory)) {
            t.publicMemory.clear();
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

    template <class Record> void read(const Field<Record>& field, Record& record, const std::string& value) const
    {
        std::visit([&](auto member) { assign(record.*member, value, field.max); }, field.member);
    }

    void assign(std::string& to, const std::string& value, int max) const
    {
        const Bytes data = binary(value, max);
        to.assign(data.begin(), data.end());
    }
    void assign(Bytes& to, const std::string& value, int max) const { to = binary(value, max); }
    void assign(int& to, const std::string& value, int max) const { to = number(value, max); }
    void assign(std::uint8_t& to, const std::string& value, int max) const
    {
        to = static_cast<std::uint8_t>(number(value, max));
    }

    int number(const std::string& value, int max) const
    {
        int result = 0;
        const char* end = value.data() + value.size();
        const auto [ptr, ec] = std::from_chars(value.data(), end, result);
        if (value.empty() || ec != std::errc() || ptr != end) {
            fail("\"" + value + "\" is not a decimal number");
        }
        if (result < 0 || result > max) {
            fail(value + " is out of range 0.." + std::to_string(max));
        }
        return result;
    }

    Bytes binary(const std::string& value, int maxOctets) const
    {
        auto data = fromHex(value);
        if (!data) {
            fail("\"" + value.substr(0, 40) + "\" is not hex");
        }
        if (data->size() > static_cast<std::size_t>(maxOctets)) {
            fail("value longer than " + std::to_string(maxOctets) + " octets");
        }
        return std::move(*data);
    }

    void setKeyField(const std::string& key, const std::string& value)
    {
        const int slot = key[3] - '0';
        if (slot < 0 || slot >= kSlots) {
            fail("no key slot \"" + key.substr(0, 4) + "\" (key0 to key" + std::to_string(kSlots - 1) + ")");
        }
        const Field<KeySlot>* field = findField(kKeyFields, key.substr(5));
        if (!field) {
            fail("unknown key \"" + key + "\"");
        }
        KeySlot& k = mToken.keys[static_cast<std::size_t>(slot)];
        read(*field, k, value);
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

} // namespace

std::string formatState(const std::vector<TokenConfig>& tokens)
{
    std::ostringstream out;
    out << "# DEV-ZR40NN emulator state: numbers in decimal, texts and binary data in hex\n";
    for (const TokenConfig& t : tokens) {
        out << "\n[token]\n";
        for (const Field<TokenConfig>& field : kTokenFields) {
            if (!field.bulk) {
                out << field.key << "=" << valueText(field, t) << "\n";
            }
        }
        for (int slot = 0; slot < kSlots; ++slot) {
            const KeySlot& k = t.keys[static_cast<std::size_t>(slot)];
            for (const Field<KeySlot>& field : kKeyFields) {
                if (k.present) {
                    out << "key" << slot << "." << field.key << "=" << valueText(field, k) << "\n";
                }
            }
        }
        for (const Field<TokenConfig>& field : kTokenFields) {
            if (field.bulk && !allZero(t.*std::get<Bytes TokenConfig::*>(field.member))) {
                out << field.key << "=" << valueText(field, t) << "\n";
            }
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

} // namespace zr40nn::emu
