#include "probe_token.h"

#include <algorithm>

namespace zr40nn::probe {
namespace {

constexpr std::size_t kPinOctets = 8;
constexpr std::size_t kNameOctets = 10;
constexpr std::size_t kKeyNameOctets = 21;
constexpr std::size_t kInfoAnswer = 25;

// A text field of fixed width, NUL-padded (no terminator when the text fills it).
void append(Bytes& frame, const std::string& text, std::size_t width)
{
    for (std::size_t i = 0; i < width; ++i) {
        frame.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
    }
}

std::string text(const Bytes& answer, std::size_t from, std::size_t width)
{
    std::string out(answer.begin() + static_cast<std::ptrdiff_t>(from),
                    answer.begin() + static_cast<std::ptrdiff_t>(from + width));
    return out.substr(0, out.find('\0'));
}

Bytes command(Link& link, const Bytes& request, int timeoutMs = Link::kTimeoutMs)
{
    Bytes answer = link.exchange(request, timeoutMs);
    if (answer.size() == 2 && answer[0] == 0x80) {
        throw TokenRefused(answer[1]);
    }
    if (answer.empty()) {
        throw LinkError("empty answer");
    }
    return answer;
}

Bytes withPin(std::uint8_t code, int pinId, const std::string& pin)
{
    Bytes request { 0x00, code, static_cast<std::uint8_t>(pinId) };
    append(request, pin, kPinOctets);
    return request;
}

} // namespace

TokenRefused::TokenRefused(int status)
    : std::runtime_error("the token refused with status " + std::to_string(status))
    , mStatus(status)
{
}

int fieldOctets(int curveId)
{
    switch (curveId) {
    case 1600:
        return 20;
    case 1920:
        return 24;
    case 2240:
        return 28;
    case 2560:
        return 32;
    default:
        return 0;
    }
}

const char* curveName(int curveId)
{
    switch (curveId) {
    case 1600:
        return "secp160r1";
    case 1920:
        return "secp192r1";
    case 2240:
        return "secp224r1";
    case 2560:
        return "secp256r1";
    default:
        return "not supported";
    }
}

DeviceInfo readInfo(Link& link)
{
    const Bytes a = command(link, { 0x00, 0x02 });
    if (a.size() != kInfoAnswer) {
        throw LinkError("information answer of " + std::to_string(a.size()) + " octets");
    }
    DeviceInfo info;
    info.state = a[1];
    info.name = text(a, 3, kNameOctets);
    info.soTries = a[13];
    info.userTries = a[14];
    info.soLimit = a[15];
    info.userLimit = a[16];
    info.mainVersion = a[17];
    info.subVersion = a[18];
    info.publicMemory = a[19] << 8 | a[20];
    info.keysNum = a[21];
    info.curves = a[22];
    info.curveId = a[23] << 8 | a[24];
    return info;
}

KeySlot readKeySlot(Link& link, int slot, int curveId)
{
    const Bytes a = command(link, { 0x00, 0x03, static_cast<std::uint8_t>(slot) });
    const auto field = static_cast<std::size_t>(fieldOctets(curveId));
    if (a.size() != 25 + 2 * field) {
        throw LinkError("key slot answer of " + std::to_string(a.size()) + " octets");
    }
    KeySlot key;
    key.state = a[1];
    key.curveId = a[2] << 8 | a[3];
    key.name = text(a, 4, kKeyNameOctets);
    key.x.assign(a.begin() + 25, a.begin() + 25 + static_cast<std::ptrdiff_t>(field));
    key.y.assign(a.begin() + 25 + static_cast<std::ptrdiff_t>(field), a.end());
    return key;
}

void initialise(Link& link)
{
    command(link, { 0x00, 0x00 }, Link::kInitTimeoutMs);
}

void configure(Link& link, const std::string& name, const std::string& soPin, const std::string& userPin, int soLimit,
               int userLimit)
{
    Bytes request { 0x00, 0x01, 0x00, 0x00 };
    append(request, name, kNameOctets);
    request.insert(request.end(),
                   { 0x00, 0x00, static_cast<std::uint8_t>(soLimit), static_cast<std::uint8_t>(userLimit) });
    append(request, soPin, kPinOctets);
    append(request, userPin, kPinOctets);
    command(link, request);
}

void tryPin(Link& link, int pinId, const std::string& pin)
{
    command(link, withPin(0x2F, pinId, pin));
}

void generateKey(Link& link, const std::string& userPin, int slot, int curveId, const std::string& keyName)
{
    Bytes request = withPin(0x2C, kUserPinId, userPin);
    request.insert(request.end(),
                   { static_cast<std::uint8_t>(slot), 0x00, static_cast<std::uint8_t>(curveId >> 8),
                     static_cast<std::uint8_t>(curveId & 0xFF) });
    append(request, keyName, kKeyNameOctets);
    command(link, request);
}

Bytes sign(Link& link, const std::string& userPin, int slot, const Bytes& digest)
{
    Bytes request = withPin(0x49, kUserPinId, userPin);
    request.push_back(static_cast<std::uint8_t>(slot));
    request.insert(request.end(), digest.begin(), digest.begin() + std::min<std::ptrdiff_t>(64, digest.size()));
    const Bytes a = command(link, request);
    return Bytes(a.begin() + 1, a.end());
}

} // namespace zr40nn::probe
