// The key handle: an EC private key whose 21-octet private value names a token, a key slot and
// the user PIN instead of holding a secret. OpenSSL keeps it like any EC key, its public point
// is the slot's real public key, and the engine's signing reads the three back out of it.
#pragma once

#include "dev_zr40nn.h"

#include <openssl/bn.h>

#include <array>

namespace zr40nn::engine {

// What a handle's private value carries.
struct HandleContents
{
    char tokenName[11]; // as the device information holds it, zero-padded
    int slot;
    char pin[9]; // at most 8 octets, terminated
};

// The private value: 0x01, token name (11), slot (1), PIN (8). The leading 0x01 keeps all
// 21 octets significant, which is also what tells a handle from an ordinary EC key.
inline constexpr int kPrivateValueOctets = 21;
inline constexpr unsigned char kHandleMarker = 0x01;

// Large enough for every supported curve (110 octets for secp256r1).
using HandleDer = std::array<unsigned char, 128>;

// Encodes the handle as a DER ECPrivateKey (version 1, named curve, public point) into out and
// returns its length, or 0 when the slot has no usable curve. The caller wipes out.
int encodeKeyHandle(const char (&tokenName)[11], int slot, const char* pin, const DEV_ZR40NN_key_info_t& key,
                    HandleDer& out) noexcept;

// True when priv is a handle's private value; contents then holds what it names.
// The caller wipes contents.
bool readKeyHandle(const BIGNUM* priv, HandleContents& contents) noexcept;

} // namespace zr40nn::engine
