#include "key_handle.h"

#include <openssl/crypto.h>

#include <cstring>

namespace zr40nn::engine {

namespace {

constexpr int kNameOctets = 11;
constexpr int kPinOctets = 8;
constexpr int kSlotOffset = 1 + kNameOctets;
constexpr int kPinOffset = kSlotOffset + 1;
static_assert(kPinOffset + kPinOctets == kPrivateValueOctets);

// Appends octets to a DER buffer that has been sized for the largest curve beforehand.
class DerWriter
{
public:
    explicit DerWriter(HandleDer& out)
        : mOut(out)
    {
    }

    void put(std::initializer_list<int> octets)
    {
        for (int octet : octets) {
            mOut[mPos++] = static_cast<unsigned char>(octet);
        }
    }

    void put(const void* data, int n)
    {
        std::memcpy(mOut.data() + mPos, data, static_cast<std::size_t>(n));
        mPos += n;
    }

    void zeros(int n)
    {
        std::memset(mOut.data() + mPos, 0, static_cast<std::size_t>(n));
        mPos += n;
    }

    int size() const { return mPos; }

private:
    HandleDer& mOut;
    int mPos = 0;
};

} // namespace

int encodeKeyHandle(const char (&tokenName)[11], int slot, const char* pin, const DEV_ZR40NN_key_info_t& key,
                    HandleDer& out) noexcept
{
    const DEV_ZR40NN_ecc_params_t* curve = key.ecc_params;
    if (curve == nullptr || curve->asn1_named == nullptr || curve->field_octets <= 0 || curve->field_octets > 32) {
        return 0;
    }
    const int fo = curve->field_octets;
    const int n = curve->asn1_named[1];
    if (curve->asn1_named_octets != n + 2 || 2 * fo + n + 38 > static_cast<int>(out.size())) {
        return 0;
    }

    DerWriter der(out);
    der.put({ 0x30, 2 * fo + n + 36 });
    der.put({ 0x02, 0x01, 0x01 });
    der.put({ 0x04, kPrivateValueOctets, kHandleMarker });
    const int nameLength = static_cast<int>(strnlen(tokenName, kNameOctets));
    der.put(tokenName, nameLength);
    der.zeros(kNameOctets - nameLength);
    der.put({ slot & 0xFF });
    const int pinLength = static_cast<int>(strnlen(pin, kPinOctets));
    der.put(pin, pinLength);
    der.zeros(kPinOctets - pinLength);
    der.put({ 0xA0, n + 2 });
    der.put(curve->asn1_named, n + 2);
    der.put({ 0xA1, 2 * fo + 4, 0x03, 2 * fo + 2, 0x00, 0x04 });
    der.put(key.pub_x, fo);
    der.put(key.pub_y, fo);
    return der.size();
}

bool readKeyHandle(const BIGNUM* priv, HandleContents& contents) noexcept
{
    if (priv == nullptr || BN_num_bytes(priv) != kPrivateValueOctets) {
        return false;
    }
    unsigned char value[kPrivateValueOctets];
    if (BN_bn2binpad(priv, value, sizeof(value)) != kPrivateValueOctets || value[0] != kHandleMarker) {
        OPENSSL_cleanse(value, sizeof(value));
        return false;
    }
    std::memcpy(contents.tokenName, value + 1, kNameOctets);
    contents.slot = value[kSlotOffset];
    // The PIN field ends at its first zero octet or after 8 octets.
    std::memset(contents.pin, 0, sizeof(contents.pin));
    std::memcpy(contents.pin, value + kPinOffset, kPinOctets);
    OPENSSL_cleanse(value, sizeof(value));
    return true;
}

} // namespace zr40nn::engine
