// The USB descriptors of an emulated token: a full-speed vendor-specific device 10C4:82E5 with one
// configuration, one interface and the bridge's two bulk endpoints, plus its string descriptors.
#pragma once

#include "token_model.h"

#include <cstdint>
#include <optional>
#include <string>

namespace zr40nn::emu::usb {

constexpr std::uint16_t kVendorId = 0x10C4;
constexpr std::uint16_t kProductId = 0x82E5;
constexpr std::uint8_t kProductStringIndex = 2;
constexpr std::uint8_t kSerialStringIndex = 3;
constexpr std::uint16_t kLanguageUsEnglish = 0x0409;

constexpr std::uint8_t kDescriptorDevice = 1;
constexpr std::uint8_t kDescriptorConfiguration = 2;
constexpr std::uint8_t kDescriptorString = 3;

Bytes deviceDescriptor();
// The configuration descriptor with its interface and endpoint descriptors (wTotalLength octets).
Bytes configurationDescriptor();
// String descriptor `index` (0: the language table); nothing for an index the device lacks.
std::optional<Bytes> stringDescriptor(std::uint8_t index, const std::string& product, const std::string& serial);

} // namespace zr40nn::emu::usb
