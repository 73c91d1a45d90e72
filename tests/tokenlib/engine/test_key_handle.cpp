// The key handle's encoding and how signing tells a handle from an ordinary key.
#include "dev_zr40nn.h"
#include "key_handle.h"

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>

#include <cstring>
#include <memory>

using namespace zr40nn::engine;

namespace {

DEV_ZR40NN_key_info_t slotOnCurve(int curveId)
{
    DEV_ZR40NN_key_info_t key {};
    key.info = 1;
    key.ecc_params = DEV_ZR40NN_get_ecc_params(curveId);
    for (int i = 0; i < 32; ++i) {
        key.pub_x[i] = static_cast<char>(i + 1);
        key.pub_y[i] = static_cast<char>(0x80 + i);
    }
    return key;
}

} // namespace

TEST(KeyHandle, LayoutOnEveryCurve)
{
    const char tokenName[11] = "TOK1";
    const struct
    {
        int curve;
        int length;
    } expected[] = { { 1600, 83 }, { 1920, 94 }, { 2240, 99 }, { 2560, 110 } };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.curve);
        const DEV_ZR40NN_key_info_t key = slotOnCurve(e.curve);
        ASSERT_NE(key.ecc_params, nullptr);
        HandleDer der {};
        ASSERT_EQ(encodeKeyHandle(tokenName, 3, "12345678", key, der), e.length);
        const int fo = key.ecc_params->field_octets;
        const int n = key.ecc_params->asn1_named[1];
        EXPECT_EQ(der[0], 0x30);
        EXPECT_EQ(der[1], e.length - 2);
        EXPECT_EQ(0,
                  std::memcmp(der.data() + 2,
                              "\x02\x01\x01\x04\x15\x01TOK1\0\0\0\0\0\0\0\x03"
                              "12345678",
                              26));
        EXPECT_EQ(der[28], 0xA0);
        EXPECT_EQ(der[29], n + 2);
        EXPECT_EQ(0, std::memcmp(der.data() + 30, key.ecc_params->asn1_named, n + 2));
        const unsigned char bitString[] = { 0xA1, static_cast<unsigned char>(2 * fo + 4),
                                            0x03, static_cast<unsigned char>(2 * fo + 2),
                                            0x00, 0x04 };
        EXPECT_EQ(0, std::memcmp(der.data() + 32 + n, bitString, sizeof(bitString)));
        EXPECT_EQ(0, std::memcmp(der.data() + 38 + n, key.pub_x, fo));
        EXPECT_EQ(0, std::memcmp(der.data() + 38 + n + fo, key.pub_y, fo));
    }
}

TEST(KeyHandle, SlotWithoutCurveIsNotEncoded)
{
    DEV_ZR40NN_key_info_t key = slotOnCurve(2560);
    key.ecc_params = nullptr;
    HandleDer der {};
    const char tokenName[11] = "TOK1";
    EXPECT_EQ(encodeKeyHandle(tokenName, 0, "1", key, der), 0);
}

TEST(KeyHandle, PrivateValueRoundTripsWithShortPins)
{
    // OpenSSL decodes the handle (a real point is needed for that) and re-encodes it padded to the
    // order's length; the private number itself is what signing reads.
    std::unique_ptr<EC_KEY, decltype(&EC_KEY_free)> real(EC_KEY_new_by_curve_name(NID_X9_62_prime256v1), EC_KEY_free);
    ASSERT_EQ(EC_KEY_generate_key(real.get()), 1);
    DEV_ZR40NN_key_info_t key = slotOnCurve(2560);
    BIGNUM* x = BN_new();
    BIGNUM* y = BN_new();
    ASSERT_EQ(EC_POINT_get_affine_coordinates(EC_KEY_get0_group(real.get()), EC_KEY_get0_public_key(real.get()), x, y,
                                              nullptr),
              1);
    BN_bn2binpad(x, reinterpret_cast<unsigned char*>(key.pub_x), 32);
    BN_bn2binpad(y, reinterpret_cast<unsigned char*>(key.pub_y), 32);
    BN_free(x);
    BN_free(y);

    const char tokenName[11] = "ABCDEFGHIJ";
    for (const char* pin : { "", "1", "12345678" }) {
        SCOPED_TRACE(pin);
        HandleDer der {};
        const int length = encodeKeyHandle(tokenName, 2, pin, key, der);
        ASSERT_GT(length, 0);
        const unsigned char* in = der.data();
        std::unique_ptr<EC_KEY, decltype(&EC_KEY_free)> decoded(d2i_ECPrivateKey(nullptr, &in, length), EC_KEY_free);
        ASSERT_NE(decoded, nullptr);
        HandleContents contents {};
        ASSERT_TRUE(readKeyHandle(EC_KEY_get0_private_key(decoded.get()), contents));
        EXPECT_EQ(std::string(contents.tokenName, 10), "ABCDEFGHIJ");
        EXPECT_EQ(contents.tokenName[10], '\0');
        EXPECT_EQ(contents.slot, 2);
        EXPECT_STREQ(contents.pin, pin);
    }
}

TEST(KeyHandle, OrdinaryKeysAreNotHandles)
{
    HandleContents contents {};
    std::unique_ptr<BIGNUM, decltype(&BN_free)> value(BN_new(), BN_free);
    EXPECT_FALSE(readKeyHandle(nullptr, contents));

    // 21 octets led by something other than 0x01, and values one octet too short or long.
    unsigned char octets[22];
    std::memset(octets, 0x11, sizeof(octets));
    octets[0] = 0x02;
    BN_bin2bn(octets, 21, value.get());
    EXPECT_FALSE(readKeyHandle(value.get(), contents));
    octets[0] = 0x01;
    BN_bin2bn(octets, 20, value.get());
    EXPECT_FALSE(readKeyHandle(value.get(), contents));
    BN_bin2bn(octets, 22, value.get());
    EXPECT_FALSE(readKeyHandle(value.get(), contents));
    BN_bin2bn(octets, 21, value.get());
    EXPECT_TRUE(readKeyHandle(value.get(), contents));
    EXPECT_EQ(contents.slot, 0x11);
}
