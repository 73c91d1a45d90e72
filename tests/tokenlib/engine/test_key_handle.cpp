// The key handle as OpenSSL reads it back, and how signing tells a handle from an ordinary key.
#include "key_handle.h"
#include "openssl_owner.h"

#include <openssl/ec.h>
#include <openssl/obj_mac.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace zr40nn::engine;
using Octets = std::vector<unsigned char>;
using EcKey = morvil::OpenSslOwner<EC_KEY, EC_KEY_free>;
using BigNum = morvil::OpenSslOwner<BIGNUM, BN_free>;

namespace {

// A slot holding a real key of OpenSSL's making on the curve, so that the handle's public point
// must decode as a point of that curve.
struct Slot
{
    DEV_ZR40NN_key_info_t info {};
    EcKey key;
};

Slot slotOnCurve(int curveId, int nid)
{
    Slot slot { {}, EcKey(EC_KEY_new_by_curve_name(nid)) };
    slot.info.info = 1;
    slot.info.ecc_params = DEV_ZR40NN_get_ecc_params(curveId);
    EXPECT_EQ(EC_KEY_generate_key(slot.key.get()), 1);
    const int fo = slot.info.ecc_params != nullptr ? slot.info.ecc_params->field_octets : 0;
    BigNum x(BN_new());
    BigNum y(BN_new());
    EXPECT_EQ(EC_POINT_get_affine_coordinates(EC_KEY_get0_group(slot.key.get()), EC_KEY_get0_public_key(slot.key.get()),
                                              x.get(), y.get(), nullptr),
              1);
    BN_bn2binpad(x.get(), reinterpret_cast<unsigned char*>(slot.info.pub_x), fo);
    BN_bn2binpad(y.get(), reinterpret_cast<unsigned char*>(slot.info.pub_y), fo);
    return slot;
}

} // namespace

TEST(KeyHandle, DecodesAsAnEcPrivateKeyNamingTokenSlotAndPin)
{
    const struct
    {
        int curveId;
        int nid;
        int length;
    } curves[] = {
        { 1600, NID_secp160r1, 83 },
        { 1920, NID_X9_62_prime192v1, 94 },
        { 2240, NID_secp224r1, 99 },
        { 2560, NID_X9_62_prime256v1, 110 },
    };
    for (const auto& curve : curves) {
        for (const char* pin : { "12345678", "1234", "" }) {
            SCOPED_TRACE(std::to_string(curve.curveId) + " '" + pin + "'");
            const Slot slot = slotOnCurve(curve.curveId, curve.nid);
            ASSERT_NE(slot.info.ecc_params, nullptr);
            HandleDer der {};
            const char tokenName[11] = "TOK1";
            ASSERT_EQ(encodeKeyHandle(tokenName, 3, pin, slot.info, der), curve.length);

            const unsigned char* in = der.data();
            EcKey decoded(d2i_ECPrivateKey(nullptr, &in, curve.length));
            ASSERT_NE(decoded, nullptr);
            EXPECT_EQ(in, der.data() + curve.length) << "every octet belongs to the key";
            EXPECT_EQ(EC_GROUP_get_curve_name(EC_KEY_get0_group(decoded.get())), curve.nid);
            EXPECT_EQ(EC_POINT_cmp(EC_KEY_get0_group(decoded.get()), EC_KEY_get0_public_key(decoded.get()),
                                   EC_KEY_get0_public_key(slot.key.get()), nullptr),
                      0);

            // The private value: marker, name (11 octets, zero-padded), slot, PIN (8, zero-padded).
            Octets value(kPrivateValueOctets);
            ASSERT_EQ(BN_bn2binpad(EC_KEY_get0_private_key(decoded.get()), value.data(), kPrivateValueOctets),
                      kPrivateValueOctets);
            Octets expected { kHandleMarker, 'T', 'O', 'K', '1', 0, 0, 0, 0, 0, 0, 0, 3 };
            expected.resize(kPrivateValueOctets, 0);
            std::memcpy(expected.data() + 13, pin, std::strlen(pin));
            EXPECT_EQ(value, expected);

            // Signing reads the same three back.
            HandleContents contents {};
            ASSERT_TRUE(readKeyHandle(EC_KEY_get0_private_key(decoded.get()), contents));
            EXPECT_STREQ(contents.tokenName, "TOK1");
            EXPECT_EQ(contents.slot, 3);
            EXPECT_STREQ(contents.pin, pin);
        }
    }
}

TEST(KeyHandle, OnlyTwentyOneOctetsLedByOneAreHandles)
{
    Octets octets(22, 0x11);
    const auto isHandle = [&](unsigned char first, int length) {
        octets[0] = first;
        BigNum value(BN_bin2bn(octets.data(), length, nullptr));
        HandleContents contents {};
        return readKeyHandle(value.get(), contents) && contents.slot == 0x11 && contents.pin[8] == '\0';
    };
    EXPECT_TRUE(isHandle(0x01, 21));
    EXPECT_FALSE(isHandle(0x02, 21));
    EXPECT_FALSE(isHandle(0x01, 20));
    EXPECT_FALSE(isHandle(0x01, 22));
    HandleContents contents {};
    EXPECT_FALSE(readKeyHandle(nullptr, contents));
}
