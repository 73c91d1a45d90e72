// The key handle's encoding, and how signing tells a handle from an ordinary key.
#include "key_handle.h"

#include <gtest/gtest.h>

#include <vector>

using namespace zr40nn::engine;
using Octets = std::vector<unsigned char>;

TEST(KeyHandle, LayoutOnEveryCurve)
{
    const auto u8 = [](int value) { return static_cast<unsigned char>(value); };
    for (const auto& [curve, length] : { std::pair(1600, 83), { 1920, 94 }, { 2240, 99 }, { 2560, 110 } }) {
        SCOPED_TRACE(curve);
        DEV_ZR40NN_key_info_t key {};
        key.info = 1;
        key.ecc_params = DEV_ZR40NN_get_ecc_params(curve);
        ASSERT_NE(key.ecc_params, nullptr);
        const int fo = key.ecc_params->field_octets;
        const unsigned char* named = key.ecc_params->asn1_named;
        for (int i = 0; i < fo; ++i) {
            key.pub_x[i] = static_cast<char>(i + 1);
            key.pub_y[i] = static_cast<char>(0x80 + i);
        }
        // Version, the private value (marker, name, slot, PIN), the curve, the public point.
        const char privateValue[] = "\x02\x01\x01\x04\x15\x01TOK1\0\0\0\0\0\0\0\x03"
                                    "12345678";
        Octets expected = { 0x30, u8(length - 2) };
        expected.insert(expected.end(), privateValue, privateValue + 26);
        expected.insert(expected.end(), { 0xA0, u8(named[1] + 2) });
        expected.insert(expected.end(), named, named + named[1] + 2);
        expected.insert(expected.end(), { 0xA1, u8(2 * fo + 4), 0x03, u8(2 * fo + 2), 0x00, 0x04 });
        expected.insert(expected.end(), key.pub_x, key.pub_x + fo);
        expected.insert(expected.end(), key.pub_y, key.pub_y + fo);

        HandleDer der {};
        const char tokenName[11] = "TOK1";
        ASSERT_EQ(encodeKeyHandle(tokenName, 3, "12345678", key, der), length);
        EXPECT_EQ(Octets(der.begin(), der.begin() + length), expected);
    }
}

TEST(KeyHandle, OnlyTwentyOneOctetsLedByOneAreHandles)
{
    Octets octets(22, 0x11);
    const auto isHandle = [&](unsigned char first, int length) {
        octets[0] = first;
        BIGNUM* value = BN_bin2bn(octets.data(), length, nullptr);
        HandleContents contents {};
        const bool handle = readKeyHandle(value, contents);
        BN_free(value);
        return handle && contents.slot == 0x11 && contents.pin[8] == '\0';
    };
    EXPECT_TRUE(isHandle(0x01, 21));
    EXPECT_FALSE(isHandle(0x02, 21));
    EXPECT_FALSE(isHandle(0x01, 20));
    EXPECT_FALSE(isHandle(0x01, 22));
    HandleContents contents {};
    EXPECT_FALSE(readKeyHandle(nullptr, contents));
}
