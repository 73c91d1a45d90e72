// How the token's requests and answers lay out their fields: fixed widths, NUL-padded texts and
// big-endian 16-bit numbers.
#pragma once

#include "token_model.h"

#include <cstddef>
#include <string>

namespace zr40nn::emu::fields {

constexpr std::size_t kPinOctets = 8;
constexpr std::size_t kNameOctets = 10;
constexpr std::size_t kKeyNameOctets = 21;
constexpr std::size_t kObjectOctets = 64;
constexpr std::size_t kMaxDigestOctets = 64;

// Every request opens with 0x00 and the command code; a command that takes a PIN carries the PIN id
// and the PIN field right behind them, and a change of PIN the new PIN after that.
constexpr std::size_t kCodeAt = 1;
constexpr std::size_t kPinIdAt = 2;
constexpr std::size_t kPinAt = 3;
constexpr std::size_t kNewPinAt = kPinAt + kPinOctets;

// Text fields travel NUL-padded; the token keeps them without the padding.
inline std::string unpad(const std::uint8_t* field, std::size_t octets)
{
    std::size_t length = octets;
    while (length > 0 && field[length - 1] == 0) {
        --length;
    }
    return std::string(reinterpret_cast<const char*>(field), length);
}

inline void putPadded(Bytes& out, const std::string& text, std::size_t octets)
{
    for (std::size_t i = 0; i < octets; ++i) {
        out.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
    }
}

inline void putBigEndian16(Bytes& out, int value)
{
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

inline int bigEndian16(const Bytes& data, std::size_t at)
{
    return (data[at] << 8) | data[at + 1];
}

} // namespace zr40nn::emu::fields
