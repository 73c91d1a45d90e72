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

const Curve* findCurve(int curveId)
{
    static constexpr Curve kCurves[] = {
        { 1600, 20, "secp160r1", "secp160r1" },
        { 1920, 24, "secp192r1", "prime192v1" },
        { 2240, 28, "secp224r1", "secp224r1" },
        { 2560, 32, "secp256r1", "prime256v1" },
    };
    for (const Curve& curve : kCurves) {
        if (curve.id == curveId) {
            return &curve;
        }
    }
    return nullptr;
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
    const Curve* curve = findCurve(curveId);
    const auto field = static_cast<std::size_t>(curve ? curve->fieldOctets : 0);
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
