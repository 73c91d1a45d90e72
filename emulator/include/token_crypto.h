// The token's elliptic-curve arithmetic, done with OpenSSL: key pairs on the four curves the
// token knows and ECDSA signatures over digests exactly as the host sends them.
#pragma once

#include "token_model.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace zr40nn::emu {

struct CurveInfo
{
    int id; // wire id: bit length times ten
    int fieldOctets; // length of one public point coordinate
    int orderOctets; // length of the private scalar
    const char* name; // OpenSSL group name
};

// The curve with that wire id, or null for an id the token does not know.
const CurveInfo* findCurve(int curveId);

// A fresh key pair on the curve: private scalar order-sized, X and Y field-sized, all big-endian.
// Empty when the curve is unknown or OpenSSL fails.
std::optional<KeySlot> generateKeyPair(int curveId, const std::string& name);

// The public point X || Y (field-sized each) that belongs to the private scalar; empty when the
// curve is unknown or the scalar is not in [1, order - 1].
std::optional<Bytes> publicPointOf(int curveId, const Bytes& privateKey);

// DER ECDSA-Sig-Value over the digest octets as given (the usual truncation to the order's bit
// length applies); empty on failure.
std::optional<Bytes> signDigest(int curveId, const KeySlot& key, const std::uint8_t* digest, std::size_t length);

} // namespace zr40nn::emu
