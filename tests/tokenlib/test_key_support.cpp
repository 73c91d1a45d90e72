// Key slot look-ups, the SubjectPublicKeyInfo encoding and the printable test: no USB involved.
#include "dev_zr40nn.h"
#include "openssl_owner.h"

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
using Pkey = morvil::OpenSslOwner<EVP_PKEY, EVP_PKEY_free>;

// A slot holding the public half of a freshly generated key on table curve `i`.
DEV_ZR40NN_key_info_t slotWithRealKey(int i, Pkey& generated)
{
    const char* opensslNames[] = { "secp160r1", "prime192v1", "secp224r1", "prime256v1" };
    const DEV_ZR40NN_ecc_params_t& curve = DEV_ZR40NN_ecc_params[i];
    generated.reset(EVP_EC_gen(opensslNames[i]));
    DEV_ZR40NN_key_info_t key {};
    key.info = 1;
    key.ecc_params = &curve;
    unsigned char point[1 + 2 * 32];
    std::size_t len = 0;
    EXPECT_EQ(EVP_PKEY_get_octet_string_param(generated.get(), OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, point, sizeof(point),
                                              &len),
              1);
    EXPECT_EQ(len, 1u + 2u * static_cast<unsigned>(curve.field_octets));
    std::memcpy(key.pub_x, point + 1, static_cast<std::size_t>(curve.field_octets));
    std::memcpy(key.pub_y, point + 1 + curve.field_octets, static_cast<std::size_t>(curve.field_octets));
    return key;
}

TEST(SubjectPublicKeyInfo, EncodesEveryCurveAsOpenSslDoes)
{
    const int expectedLengths[] = { 64, 75, 80, 91 };
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(DEV_ZR40NN_ecc_params[i].name);
        Pkey generated;
        DEV_ZR40NN_key_info_t key = slotWithRealKey(i, generated);
        ASSERT_TRUE(generated);

        // The length alone, then a buffer one octet short, then the encoding.
        const int n = expectedLengths[i];
        EXPECT_EQ(DEV_ZR40NN_subject_public_key_info(&key, nullptr, 0), n);
        Bytes der(128, 0xEE);
        EXPECT_EQ(DEV_ZR40NN_subject_public_key_info(&key, der.data(), n - 1), DEV_ZR40NN_ERR_BUFFER_TOO_SMALL);
        EXPECT_EQ(der, Bytes(128, 0xEE)) << "a refused encoding must not touch the buffer";
        ASSERT_EQ(DEV_ZR40NN_subject_public_key_info(&key, der.data(), 128), n);
        EXPECT_EQ(der[static_cast<std::size_t>(n)], 0xEE) << "wrote past its length";

        // OpenSSL reads it back as the very key that was generated, and writes the same octets.
        const unsigned char* p = der.data();
        Pkey decoded(d2i_PUBKEY(nullptr, &p, n));
        ASSERT_TRUE(decoded);
        EXPECT_EQ(EVP_PKEY_eq(decoded.get(), generated.get()), 1);
        unsigned char* openssl = nullptr;
        ASSERT_EQ(i2d_PUBKEY(generated.get(), &openssl), n);
        EXPECT_EQ(std::memcmp(openssl, der.data(), static_cast<std::size_t>(n)), 0);
        OPENSSL_free(openssl);

        // A slot without a curve (empty, or a curve the library does not know) has nothing to encode.
        key.ecc_params = nullptr;
        EXPECT_EQ(DEV_ZR40NN_subject_public_key_info(&key, der.data(), 128), DEV_ZR40NN_ERR_NOT_INITIALIZED);
    }
}

TEST(KeySlots, FindByNameAndFindFreeStayWithinFourSlots)
{
    DEV_ZR40NN_t ut {};
    ut.info.keys_num = 4;
    std::strcpy(ut.keys[0].name, "alpha");
    std::strcpy(ut.keys[2].name, "alphabet");
    std::strcpy(ut.keys[3].name, "alphabet");
    ut.keys[1].info = 1;
    ut.keys[2].info = 1;

    EXPECT_EQ(DEV_ZR40NN_find_key_by_name(&ut, "alphabet"), 2);
    EXPECT_EQ(DEV_ZR40NN_find_key_by_name(&ut, ""), 1) << "empty names match, generated or not";
    EXPECT_EQ(DEV_ZR40NN_find_free_key(&ut), 0) << "slot 0 is free even though later ones are taken";
    ut.keys[0].info = 0x03;
    ut.keys[3].info = 0x02; // other state bits do not make a key
    EXPECT_EQ(DEV_ZR40NN_find_free_key(&ut), 3);
    EXPECT_STREQ(ut.err, "");

    EXPECT_EQ(DEV_ZR40NN_find_key_by_name(&ut, "alph"), -1);
    ut.info.keys_num = 3;
    EXPECT_EQ(DEV_ZR40NN_find_free_key(&ut), -1) << "slot 3 is beyond what the token offers";

    // A token claiming more slots than the record's four: where a fifth slot would lie, the record
    // holds other fields. Plant a name and a clear state bit there; neither may be found.
    ut.info.keys_num = 200;
    ut.keys[3].info = 1;
    const std::size_t ghost = offsetof(DEV_ZR40NN_t, keys) + 4 * sizeof(DEV_ZR40NN_key_info_t);
    ASSERT_LE(ghost + offsetof(DEV_ZR40NN_key_info_t, name) + 6, sizeof(DEV_ZR40NN_t));
    std::memcpy(reinterpret_cast<char*>(&ut) + ghost + offsetof(DEV_ZR40NN_key_info_t, name), "ghost", 6);
    EXPECT_EQ(DEV_ZR40NN_find_key_by_name(&ut, "ghost"), -1);
    EXPECT_EQ(DEV_ZR40NN_find_free_key(&ut), -1);

    const std::string stack = ut.err;
    EXPECT_EQ(ERROR_count(ut.err), 4);
    EXPECT_NE(stack.find(":DEV_ZR40NN_find_key_by_name:there is no key of given name\n"), std::string::npos);
    EXPECT_TRUE(stack.ends_with(":DEV_ZR40NN_find_free_key:there is no free key\n")) << stack;
}

TEST(PrintableMask, SetsTheBitOnlyForGraphicAndWhiteSpaceContents)
{
    std::setlocale(LC_CTYPE, "C");
    auto file = std::make_unique<DEV_ZR40NN_file_t>();
    auto check = [&](const std::string& contents, int type) {
        std::memcpy(file->contents, contents.data(), contents.size());
        file->size = static_cast<int>(contents.size());
        file->type = type;
        file->flushed = 1;
        const int printable = DEV_ZR40NN_file_type_set_printable_mask(file.get());
        EXPECT_EQ(file->flushed, 1);
        return std::pair(printable, DEV_ZR40NN_file_type(file.get()));
    };
    EXPECT_EQ(check("-----BEGIN CERTIFICATE-----\r\nMIIB\tx y\v\f\n", 0x10), std::pair(1, 0x11));
    EXPECT_EQ(check("", 0x70), std::pair(1, 0x71)) << "an empty file is printable";
    EXPECT_EQ(check(std::string("ab\x01", 3), 0x41), std::pair(0, 0x40));
    EXPECT_EQ(check("text\x80", 0x31), std::pair(0, 0x30)) << "octets from 0x80 up are not text in C";
    // Only the first `size` octets count, and a size beyond the buffer is not followed.
    std::memset(file->contents, 'x', sizeof(file->contents));
    file->contents[3] = '\x02';
    file->size = 3;
    EXPECT_EQ(DEV_ZR40NN_file_type_set_printable_mask(file.get()), 1);
    file->contents[3] = 'x';
    file->size = 1 << 20;
    EXPECT_EQ(DEV_ZR40NN_file_type_set_printable_mask(file.get()), 1);
}

} // namespace
