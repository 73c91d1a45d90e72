// Key slot look-ups, the SubjectPublicKeyInfo encoding and the printable test: no USB involved.
#include "dev_zr40nn.h"

#include <gtest/gtest.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <clocale>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

struct PkeyFree
{
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

std::unique_ptr<DEV_ZR40NN_t> blankDevice()
{
    auto ut = std::make_unique<DEV_ZR40NN_t>();
    std::memset(ut.get(), 0, sizeof(DEV_ZR40NN_t));
    ut->files_no = 16;
    return ut;
}

std::string stack(const DEV_ZR40NN_t& ut)
{
    return ut.err;
}

// OpenSSL's names of the four curves, in table order.
const char* opensslName(const DEV_ZR40NN_ecc_params_t& curve)
{
    switch (curve.id) {
    case 1600:
        return "secp160r1";
    case 1920:
        return "prime192v1";
    case 2240:
        return "secp224r1";
    default:
        return "prime256v1";
    }
}

// A slot holding the public half of a freshly generated key on `curve`.
DEV_ZR40NN_key_info_t slotWithRealKey(const DEV_ZR40NN_ecc_params_t& curve, Pkey& generated)
{
    generated.reset(EVP_EC_gen(opensslName(curve)));
    EXPECT_NE(generated, nullptr) << curve.name;
    DEV_ZR40NN_key_info_t key{};
    key.info = 1;
    key.ecc_params = &curve;
    if (!generated) {
        return key;
    }
    unsigned char point[1 + 2 * 32];
    std::size_t len = 0;
    EXPECT_EQ(EVP_PKEY_get_octet_string_param(generated.get(), OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, point,
                                              sizeof(point), &len),
              1);
    EXPECT_EQ(len, 1u + 2u * static_cast<unsigned>(curve.field_octets));
    std::memcpy(key.pub_x, point + 1, static_cast<std::size_t>(curve.field_octets));
    std::memcpy(key.pub_y, point + 1 + curve.field_octets, static_cast<std::size_t>(curve.field_octets));
    return key;
}

TEST(SubjectPublicKeyInfo, EncodesEveryCurveAsOpenSslDoes)
{
    const int expectedLengths[] = {64, 75, 80, 91};
    for (int i = 0; i < 4; ++i) {
        const DEV_ZR40NN_ecc_params_t& curve = DEV_ZR40NN_ecc_params[i];
        SCOPED_TRACE(curve.name);
        Pkey generated;
        const DEV_ZR40NN_key_info_t key = slotWithRealKey(curve, generated);
        ASSERT_TRUE(generated);

        EXPECT_EQ(DEV_ZR40NN_subject_public_key_info(&key, nullptr, 0), expectedLengths[i]);
        Bytes der(128, 0xEE);
        const int n = DEV_ZR40NN_subject_public_key_info(&key, der.data(), static_cast<int>(der.size()));
        ASSERT_EQ(n, expectedLengths[i]);
        EXPECT_EQ(der[static_cast<std::size_t>(n)], 0xEE) << "wrote past its length";

        // OpenSSL reads it back as the very key that was generated ...
        const unsigned char* p = der.data();
        Pkey decoded(d2i_PUBKEY(nullptr, &p, n));
        ASSERT_TRUE(decoded);
        EXPECT_EQ(p, der.data() + n);
        EXPECT_EQ(EVP_PKEY_eq(decoded.get(), generated.get()), 1);

        // ... and writes the same octets for it.
        unsigned char* openssl = nullptr;
        const int m = i2d_PUBKEY(generated.get(), &openssl);
        ASSERT_EQ(m, n);
        EXPECT_EQ(std::memcmp(openssl, der.data(), static_cast<std::size_t>(n)), 0);
        OPENSSL_free(openssl);
    }
}

TEST(SubjectPublicKeyInfo, RefusesSmallBuffersAndSlotsWithoutCurve)
{
    Pkey generated;
    DEV_ZR40NN_key_info_t key = slotWithRealKey(DEV_ZR40NN_ecc_params[3], generated);

    Bytes out(90, 0xEE);
    EXPECT_EQ(DEV_ZR40NN_subject_public_key_info(&key, out.data(), 90), DEV_ZR40NN_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(out, Bytes(90, 0xEE)) << "a refused encoding must not touch the buffer";

    key.ecc_params = nullptr;
    EXPECT_EQ(DEV_ZR40NN_subject_public_key_info(&key, nullptr, 0), DEV_ZR40NN_ERR_NOT_INITIALIZED);
    EXPECT_EQ(DEV_ZR40NN_subject_public_key_info(&key, out.data(), 90), DEV_ZR40NN_ERR_NOT_INITIALIZED);
    EXPECT_EQ(out, Bytes(90, 0xEE));
}

TEST(FindKeyByName, MatchesWholeNamesWithinTheClaimedSlots)
{
    auto ut = blankDevice();
    ut->info.keys_num = 4;
    std::strcpy(ut->keys[0].name, "alpha");
    std::strcpy(ut->keys[1].name, "");
    std::strcpy(ut->keys[2].name, "abcdefghijklmnopqrstu"); // 21 characters
    std::strcpy(ut->keys[3].name, "alphabet");
    ut->keys[3].info = 1;

    EXPECT_EQ(DEV_ZR40NN_find_key_by_name(ut.get(), "alpha"), 0);
    EXPECT_EQ(DEV_ZR40NN_find_key_by_name(ut.get(), "alphabet"), 3);
    EXPECT_EQ(DEV_ZR40NN_find_key_by_name(ut.get(), ""), 1) << "empty names match, generated or not";
    EXPECT_EQ(DEV_ZR40NN_find_key_by_name(ut.get(), "abcdefghijklmnopqrstu"), 2);
    EXPECT_EQ(stack(*ut), "");

    EXPECT_EQ(DEV_ZR40NN_find_key_by_name(ut.get(), "alph"), -1);
    EXPECT_EQ(DEV_ZR40NN_find_key_by_name(ut.get(), "abcdefghijklmnopqrstuv"), -1);
    ut->info.keys_num = 3;
    EXPECT_EQ(DEV_ZR40NN_find_key_by_name(ut.get(), "alphabet"), -1) << "slot 3 is beyond what the token offers";

    const std::string entry = ":DEV_ZR40NN_find_key_by_name:there is no key of given name\n";
    EXPECT_EQ(ERROR_count(ut->err), 3);
    EXPECT_TRUE(stack(*ut).ends_with(entry)) << stack(*ut);
    EXPECT_TRUE(stack(*ut).starts_with("e_dev_zr40nn.cpp(")) << stack(*ut);
}

TEST(FindKeyByName, NeverLooksPastTheFourSlotsOfTheRecord)
{
    auto ut = blankDevice();
    ut->info.keys_num = 200;
    for (auto& key : ut->keys) {
        std::strcpy(key.name, "taken");
    }
    // Where a fifth slot's name would lie, the record holds other fields: plant a name there.
    const std::size_t ghost = offsetof(DEV_ZR40NN_t, keys) + 4 * sizeof(DEV_ZR40NN_key_info_t)
                              + offsetof(DEV_ZR40NN_key_info_t, name);
    ASSERT_LE(ghost + 6, sizeof(DEV_ZR40NN_t));
    std::memcpy(reinterpret_cast<unsigned char*>(ut.get()) + ghost, "ghost", 6);

    EXPECT_EQ(DEV_ZR40NN_find_key_by_name(ut.get(), "ghost"), -1);
    EXPECT_EQ(DEV_ZR40NN_find_key_by_name(ut.get(), "taken"), 0);
}

TEST(FindFreeKey, FirstClearSlotBelowTheClaimedCountAndFour)
{
    auto ut = blankDevice();
    ut->info.keys_num = 4;
    ut->keys[1].info = 1;
    ut->keys[2].info = 1;
    EXPECT_EQ(DEV_ZR40NN_find_free_key(ut.get()), 0) << "slot 0 is free even though later ones are taken";

    ut->keys[0].info = 0x03;
    EXPECT_EQ(DEV_ZR40NN_find_free_key(ut.get()), 3);
    ut->keys[3].info = 0x02; // other state bits do not make a key
    EXPECT_EQ(DEV_ZR40NN_find_free_key(ut.get()), 3);
    EXPECT_EQ(stack(*ut), "");

    ut->info.keys_num = 3;
    EXPECT_EQ(DEV_ZR40NN_find_free_key(ut.get()), -1);
    ut->info.keys_num = 0;
    EXPECT_EQ(DEV_ZR40NN_find_free_key(ut.get()), -1);

    // A token claiming nine slots with all four of the record's taken has none free, whatever
    // follows the fourth slot in the record (files_no, whose bit 0 is clear).
    ut->info.keys_num = 9;
    ut->keys[3].info = 1;
    EXPECT_EQ(DEV_ZR40NN_find_free_key(ut.get()), -1);

    EXPECT_EQ(ERROR_count(ut->err), 3);
    EXPECT_TRUE(stack(*ut).ends_with(":DEV_ZR40NN_find_free_key:there is no free key\n")) << stack(*ut);
}

TEST(PrintableMask, SetsTheBitOnlyForGraphicAndWhiteSpaceContents)
{
    std::setlocale(LC_CTYPE, "C");
    auto file = std::make_unique<DEV_ZR40NN_file_t>();
    std::memset(file.get(), 0, sizeof(DEV_ZR40NN_file_t));
    auto check = [&](const std::string& contents, int type) {
        std::memcpy(file->contents, contents.data(), contents.size());
        file->size = static_cast<int>(contents.size());
        file->type = type;
        file->flushed = 1;
        const int printable = DEV_ZR40NN_file_type_set_printable_mask(file.get());
        EXPECT_EQ(printable, DEV_ZR40NN_file_type(file.get()) & 0x01) << contents;
        EXPECT_EQ(file->flushed, 1);
        return std::pair(printable, DEV_ZR40NN_file_type(file.get()));
    };

    EXPECT_EQ(check("-----BEGIN CERTIFICATE-----\r\nMIIB\tx y\v\f\n", 0x10), std::pair(1, 0x11));
    EXPECT_EQ(check(" \t\n", 0x40), std::pair(1, 0x41));
    EXPECT_EQ(check("", 0x70), std::pair(1, 0x71)) << "an empty file is printable";
    EXPECT_EQ(check(std::string("ab\x01", 3), 0x41), std::pair(0, 0x40));
    EXPECT_EQ(check("text\x80", 0x31), std::pair(0, 0x30)) << "octets from 0x80 up are not text in C";
    EXPECT_EQ(check(std::string("a\0b", 3), 0x21), std::pair(0, 0x20));

    // Only the first `size` octets count, and a size beyond the buffer is not followed.
    std::memset(file->contents, 'x', sizeof(file->contents));
    file->contents[10] = '\x02';
    file->size = 10;
    file->type = 0x70;
    EXPECT_EQ(DEV_ZR40NN_file_type_set_printable_mask(file.get()), 1);
    file->contents[10] = 'x';
    file->size = 1 << 20;
    EXPECT_EQ(DEV_ZR40NN_file_type_set_printable_mask(file.get()), 1);
    file->size = -5;
    EXPECT_EQ(DEV_ZR40NN_file_type_set_printable_mask(file.get()), 1);
}

} // namespace
