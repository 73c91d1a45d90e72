// Key slot look-ups and the DER encoding of a slot's public key. No exchange, no session.
#include "errors/error_entry.h"
#include "protocol.h"

#include <algorithm>
#include <cstring>

namespace {

// Slots worth looking at: what the token claims, but never past the record's four.
int usableSlots(const DEV_ZR40NN_t* ut)
{
    return std::clamp(ut->info.keys_num, 0, DEV_ZR40NN_KEY_SLOTS);
}

bool sameName(const DEV_ZR40NN_key_info_t& key, const char* name)
{
    const std::size_t n = strnlen(key.name, sizeof(key.name));
    return std::strlen(name) == n && std::memcmp(key.name, name, n) == 0;
}

} // namespace

extern "C" {

int DEV_ZR40NN_find_key_by_name(DEV_ZR40NN_t* ut, const char* name)
{
    if (name != nullptr) {
        for (int slot = 0; slot < usableSlots(ut); ++slot) {
            if (sameName(ut->keys[slot], name)) {
                return slot;
            }
        }
    }
    DEV_ZR40NN_PUSH(ut, "DEV_ZR40NN_find_key_by_name", "there is no key of given name");
    return DEV_ZR40NN_ERR_UNDEFINED;
}

int DEV_ZR40NN_find_free_key(DEV_ZR40NN_t* ut)
{
    for (int slot = 0; slot < usableSlots(ut); ++slot) {
        if ((ut->keys[slot].info & zr40nn::protocol::kKeySlotUsed) == 0) {
            return slot;
        }
    }
    DEV_ZR40NN_PUSH(ut, "DEV_ZR40NN_find_free_key", "there is no free key");
    return DEV_ZR40NN_ERR_UNDEFINED;
}

// SEQUENCE { AlgorithmIdentifier, BIT STRING { 00, 04, X, Y } }, every length in short form.
int DEV_ZR40NN_subject_public_key_info(const DEV_ZR40NN_key_info_t* key, unsigned char* out, int size)
{
    // An empty slot or an unknown curve has nothing to encode.
    if (key == nullptr || key->ecc_params == nullptr) {
        return DEV_ZR40NN_ERR_NOT_INITIALIZED;
    }
    const unsigned char* alg = key->ecc_params->asn1_named_alg;
    const int field = key->ecc_params->field_octets;
    const int algLength = alg[1] + 2;
    const int needed = algLength + 2 * field + 6;
    if (out == nullptr) {
        return needed;
    }
    if (size < needed) {
        return DEV_ZR40NN_ERR_BUFFER_TOO_SMALL;
    }
    unsigned char* p = out;
    *p++ = 0x30;
    *p++ = static_cast<unsigned char>(needed - 2);
    std::memcpy(p, alg, static_cast<std::size_t>(algLength));
    p += algLength;
    *p++ = 0x03;
    *p++ = static_cast<unsigned char>(2 * field + 2);
    *p++ = 0x00;
    *p++ = 0x04;
    std::memcpy(p, key->pub_x, static_cast<std::size_t>(field));
    p += field;
    std::memcpy(p, key->pub_y, static_cast<std::size_t>(field));
    return needed;
}

} // extern "C"
