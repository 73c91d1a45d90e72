#include "usb_descriptors.h"

#include "cp210x_bridge.h"

namespace zr40nn::emu::usb {
namespace {

constexpr std::uint8_t lo(std::uint16_t value)
{
    return static_cast<std::uint8_t>(value & 0xFF);
}

constexpr std::uint8_t hi(std::uint16_t value)
{
    return static_cast<std::uint8_t>(value >> 8);
}

// Decodes one UTF-8 sequence at text[i], advancing i; malformed input gives U+FFFD.
std::uint32_t nextCodePoint(const std::string& text, std::size_t& i)
{
    const auto lead = static_cast<std::uint8_t>(text[i++]);
    if (lead < 0x80) {
        return lead;
    }
    const std::size_t extra = (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : 0;
    if (extra == 0) {
        return 0xFFFD;
    }
    std::uint32_t cp = lead & (0x3F >> extra);
    for (std::size_t k = 0; k < extra; ++k) {
        if (i >= text.size() || (static_cast<std::uint8_t>(text[i]) & 0xC0) != 0x80) {
            return 0xFFFD;
        }
        cp = (cp << 6) | (static_cast<std::uint8_t>(text[i++]) & 0x3F);
    }
    return cp;
}

// UTF-8 to UTF-16LE code units. A string descriptor holds at most 126 units.
Bytes utf16le(const std::string& text)
{
    constexpr std::size_t kMaxOctets = 2 * 126;
    Bytes out;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::uint32_t cp = nextCodePoint(text, i);
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            if (out.size() + 4 > kMaxOctets) {
                break;
            }
            const std::uint32_t v = cp - 0x10000;
            const auto high = static_cast<std::uint16_t>(0xD800 + (v >> 10));
            const auto low = static_cast<std::uint16_t>(0xDC00 + (v & 0x3FF));
            out.insert(out.end(), { lo(high), hi(high), lo(low), hi(low) });
        } else {
            if (out.size() + 2 > kMaxOctets) {
                break;
            }
            const auto unit = static_cast<std::uint16_t>(cp > 0xFFFF ? 0xFFFD : cp);
            out.insert(out.end(), { lo(unit), hi(unit) });
        }
    }
    return out;
}

} // namespace

// clang-format off
Bytes deviceDescriptor()
{
    return {
        18, kDescriptorDevice,
        0x00, 0x02,                     // USB 2.0
        0x00, 0x00, 0x00,               // class given by the interface
        64,                             // control endpoint packet size
        lo(kVendorId), hi(kVendorId),
        lo(kProductId), hi(kProductId),
        0x00, 0x01,                     // device release 1.00
        0,                              // no manufacturer string
        kProductStringIndex,
        kSerialStringIndex,
        1,                              // one configuration
    };
}

Bytes configurationDescriptor()
{
    constexpr std::uint16_t total = 9 + 9 + 7 + 7;
    constexpr auto packet = static_cast<std::uint16_t>(Cp210xBridge::kPacketSize);
    return {
        // configuration 1: one interface, bus powered, 100 mA
        9, kDescriptorConfiguration, lo(total), hi(total), 1, 1, 0, 0x80, 50,
        // interface 0: two endpoints, vendor specific
        9, 4, 0, 0, 2, 0xFF, 0x00, 0x00, 0,
        // bulk IN 0x81 and bulk OUT 0x01
        7, 5, Cp210xBridge::kBulkIn, 0x02, lo(packet), hi(packet), 0,
        7, 5, Cp210xBridge::kBulkOut, 0x02, lo(packet), hi(packet), 0,
    };
}
// clang-format on

std::optional<Bytes> stringDescriptor(std::uint8_t index, const std::string& product, const std::string& serial)
{
    Bytes units;
    if (index == 0) {
        units = { lo(kLanguageUsEnglish), hi(kLanguageUsEnglish) };
    } else if (index == kProductStringIndex) {
        units = utf16le(product);
    } else if (index == kSerialStringIndex) {
        units = utf16le(serial);
    } else {
        return std::nullopt;
    }
    Bytes descriptor { static_cast<std::uint8_t>(2 + units.size()), kDescriptorString };
    descriptor.insert(descriptor.end(), units.begin(), units.end());
    return descriptor;
}

} // namespace zr40nn::emu::usb
