// Octets as hex text, two digits each: the state file writes lower case, umockdev wants the
// contents of a device node in upper case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zr40nn::emu {

inline std::string hexText(const void* data, std::size_t size, bool upperCase = false)
{
    const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    const auto* octets = static_cast<const std::uint8_t*>(data);
    std::string out;
    out.reserve(2 * size);
    for (std::size_t i = 0; i < size; ++i) {
        out.push_back(digits[octets[i] >> 4]);
        out.push_back(digits[octets[i] & 0x0F]);
    }
    return out;
}

} // namespace zr40nn::emu
