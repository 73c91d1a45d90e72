// Key slot commands against an emulated token: generation, slot reads, signatures that verify in
// OpenSSL, deletion, and the checks that keep bad arguments off the wire.
#include "command_fixture.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

#include <cstring>
#include <memory>

namespace zr40nn::test {
namespace {

constexpr const char* kUserPin = "1234";

struct PkeyFree
{
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

// The slot's public key as OpenSSL reads it from the library's SubjectPublicKeyInfo.
Pkey publicKeyOf(const DEV_ZR40NN_key_info_t& key)
{
    unsigned char der[128];
    const int n = DEV_ZR40NN_subject_public_key_info(&key, der, sizeof(der));
    if (n <= 0) {
        return nullptr;
    }
    const unsigned char* p = der;
    return Pkey(d2i_PUBKEY(nullptr, &p, n));
}

bool verifies(EVP_PKEY* pub, const unsigned char* sig, int sigLen, const unsigned char* digest, int digestLen)
{
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(pub, nullptr),
                                                                    EVP_PKEY_CTX_free);
    return ctx && EVP_PKEY_verify_init(ctx.get()) == 1
           && EVP_PKEY_verify(ctx.get(), sig, static_cast<std::size_t>(sigLen), digest,
                              static_cast<std::size_t>(digestLen))
                  == 1;
}

using KeyCommands = CommandTest;

TEST_F(KeyCommands, GenerateReadSignAndDeleteOnEveryCurve)
{
    const int curveIds[] = {1600, 1920, 2240, 2560};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(curveIds[i]);
        DEV_ZR40NN_t* ut = openToken(configuredToken("KEYS", curveIds[i]));
        ASSERT_NE(ut, nullptr);
        const DEV_ZR40NN_ecc_params_t* curve = &DEV_ZR40NN_ecc_params[i];
        const std::string name = "key-" + std::to_string(curveIds[i]);

        const int slot = DEV_ZR40NN_find_free_key(ut);
        ASSERT_EQ(slot, 0);
        ASSERT_EQ(DEV_ZR40NN_cmd_generate_key(ut, kUserPin, 1, name.c_str(), slot), 0) << ut->err;
        const emu::LogEntry generated = log().back();
        EXPECT_EQ(generated.code, 0x2C);
        EXPECT_EQ(generated.requestLength, 36);
        EXPECT_EQ(generated.curveId, curveIds[i]);
        EXPECT_EQ(generated.keyName, name);
        EXPECT_EQ(generated.pin, kUserPin);
        EXPECT_EQ(ut->keys[slot].info, 0) << "generating does not read the slot";

        ASSERT_EQ(DEV_ZR40NN_cmd_read_key_info(ut, slot), 0) << ut->err;
        const DEV_ZR40NN_key_info_t& key = ut->keys[slot];
        EXPECT_EQ(key.info & 1, 1);
        EXPECT_EQ(key.ecc_params, curve);
        EXPECT_EQ(key.name, name);
        const emu::TokenConfig stored = token().snapshot();
        const emu::KeySlot& onToken = stored.keys[0];
        const auto field = static_cast<std::size_t>(curve->field_octets);
        EXPECT_EQ(std::memcmp(key.pub_x, onToken.pubX.data(), field), 0);
        EXPECT_EQ(std::memcmp(key.pub_y, onToken.pubY.data(), field), 0);
        for (std::size_t k = field; k < 32; ++k) {
            EXPECT_EQ(key.pub_x[k] | key.pub_y[k], 0);
        }
        EXPECT_EQ(DEV_ZR40NN_find_key_by_name(ut, name.c_str()), slot);
        EXPECT_EQ(DEV_ZR40NN_find_free_key(ut), 1);

        Pkey pub = publicKeyOf(key);
        ASSERT_TRUE(pub);
        unsigned char digest[100];
        ASSERT_EQ(RAND_bytes(digest, sizeof(digest)), 1);
        unsigned char sig[130];
        const int sigLen = DEV_ZR40NN_cmd_ecdsa_sign(ut, kUserPin, slot, sig, sizeof(sig), digest, 32);
        ASSERT_GT(sigLen, 0) << ut->err;
        EXPECT_EQ(log().back().requestLength, 44);
        EXPECT_TRUE(verifies(pub.get(), sig, sigLen, digest, 32));

        // A 100-octet digest is signed as its first 64 octets.
        const int longLen = DEV_ZR40NN_cmd_ecdsa_sign(ut, kUserPin, slot, sig, sizeof(sig), digest, 100);
        ASSERT_GT(longLen, 0) << ut->err;
        EXPECT_EQ(log().back().requestLength, 76);
        EXPECT_EQ(log().back().count, 64);
        EXPECT_TRUE(verifies(pub.get(), sig, longLen, digest, 64));

        ASSERT_EQ(DEV_ZR40NN_cmd_delete_key(ut, kUserPin, 1, slot), 0) << ut->err;
        EXPECT_EQ(log().back().requestLength, 12);
        EXPECT_EQ(log().back().slot, slot);
        ASSERT_EQ(DEV_ZR40NN_cmd_read_key_info(ut, slot), 0);
        EXPECT_EQ(ut->keys[slot].info, 0);
        EXPECT_EQ(ut->keys[slot].ecc_params, nullptr);
        EXPECT_EQ(DEV_ZR40NN_subject_public_key_info(&ut->keys[slot], nullptr, 0), DEV_ZR40NN_ERR_NOT_INITIALIZED);
        EXPECT_EQ(DEV_ZR40NN_find_free_key(ut), 0);
        EXPECT_EQ(ERROR_count(ut->err), 0) << ut->err;
        ASSERT_EQ(DEV_ZR40NN_session_close(ut), 0);
    }
}

TEST_F(KeyCommands, SignatureBufferTooSmallCopiesNothing)
{
    DEV_ZR40NN_t* ut = openToken(configuredToken("SMALL"));
    ASSERT_NE(ut, nullptr);
    ASSERT_EQ(DEV_ZR40NN_cmd_generate_key(ut, kUserPin, 1, "k", 0), 0);
    const unsigned char digest[32] = {1, 2, 3};

    unsigned char sig[64];
    std::memset(sig, 0xEE, sizeof(sig));
    EXPECT_EQ(DEV_ZR40NN_cmd_ecdsa_sign(ut, kUserPin, 0, sig, 8, digest, 32), DEV_ZR40NN_ERR_BUFFER_TOO_SMALL);
    for (unsigned char c : sig) {
        ASSERT_EQ(c, 0xEE);
    }
    EXPECT_EQ(entries(ut), (Lines{"DEV_ZR40NN_cmd_ecdsa_sign:buffer for signature is too small"}));

    // A wrong PIN and a slot without a key come back as the token's codes.
    EXPECT_EQ(DEV_ZR40NN_cmd_ecdsa_sign(ut, "4321", 0, sig, 64, digest, 32), -102);
    EXPECT_EQ(DEV_ZR40NN_cmd_ecdsa_sign(ut, kUserPin, 1, sig, 64, digest, 32), -104);
    EXPECT_EQ(entries(ut).back(), "DEV_ZR40NN_cmd_ecdsa_sign:key you are trying to use is not generated");
}

TEST_F(KeyCommands, ArgumentChecksKeepRequestsOffTheWire)
{
    emu::TokenConfig config = configuredToken("CHECKS");
    config.keysNum = 2;
    DEV_ZR40NN_t* ut = openToken(config);
    ASSERT_NE(ut, nullptr);
    unsigned char buf[130] = {};
    const std::string name21(21, 'n');
    const std::string name22(22, 'n');

    EXPECT_EQ(DEV_ZR40NN_cmd_generate_key(ut, kUserPin, 1, name22.c_str(), 0), DEV_ZR40NN_ERR_RANGE);
    EXPECT_EQ(DEV_ZR40NN_cmd_generate_key(ut, kUserPin, 2, "k", 0), DEV_ZR40NN_ERR_RANGE);
    EXPECT_EQ(DEV_ZR40NN_cmd_generate_key(ut, "123456789", 1, "k", 0), DEV_ZR40NN_ERR_RANGE);
    EXPECT_EQ(DEV_ZR40NN_cmd_generate_key(ut, kUserPin, 1, "k", 2), DEV_ZR40NN_ERR_KEY_NUMBER);
    EXPECT_EQ(DEV_ZR40NN_cmd_generate_key(ut, kUserPin, 1, "k", -1), DEV_ZR40NN_ERR_KEY_NUMBER);
    EXPECT_EQ(DEV_ZR40NN_cmd_delete_key(ut, kUserPin, 2, 0), DEV_ZR40NN_ERR_RANGE);
    EXPECT_EQ(DEV_ZR40NN_cmd_delete_key(ut, kUserPin, 1, 2), DEV_ZR40NN_ERR_KEY_NUMBER);
    EXPECT_EQ(DEV_ZR40NN_cmd_ecdsa_sign(ut, "123456789", 0, buf, 130, buf, 32), DEV_ZR40NN_ERR_RANGE);
    EXPECT_EQ(DEV_ZR40NN_cmd_ecdsa_sign(ut, kUserPin, 4, buf, 130, buf, 32), DEV_ZR40NN_ERR_KEY_NUMBER);
    EXPECT_EQ(DEV_ZR40NN_cmd_ecdsa_sign(ut, kUserPin, 0, buf, 130, buf, -1), DEV_ZR40NN_ERR_RANGE);
    EXPECT_EQ(DEV_ZR40NN_cmd_read_key_info(ut, 2), DEV_ZR40NN_ERR_KEY_NUMBER);
    EXPECT_EQ(DEV_ZR40NN_cmd_read_key_info(ut, 4), DEV_ZR40NN_ERR_KEY_NUMBER);
    EXPECT_TRUE(log().empty());

    const std::string generateRange = "PIN is too long or its id is wrong or key name is too long";
    const std::string slotRange = "key number is out of range for this device";
    EXPECT_EQ(entries(ut), (Lines{
                               "DEV_ZR40NN_cmd_generate_key:" + generateRange,
                               "DEV_ZR40NN_cmd_generate_key:" + generateRange,
                               "DEV_ZR40NN_cmd_generate_key:" + generateRange,
                               "DEV_ZR40NN_cmd_generate_key:" + slotRange,
                               "DEV_ZR40NN_cmd_generate_key:" + slotRange,
                               "DEV_ZR40NN_cmd_delete_key:PIN is too long or its id is wrong",
                               "DEV_ZR40NN_cmd_delete_key:key of this number is out of range for this device",
                               "DEV_ZR40NN_cmd_ecdsa_sign:PIN is too long (at most 8 characters)",
                               "DEV_ZR40NN_cmd_ecdsa_sign:" + slotRange,
                               "DEV_ZR40NN_cmd_ecdsa_sign:digest length is out of range",
                               "DEV_ZR40NN_cmd_read_key_info:" + slotRange,
                               "DEV_ZR40NN_cmd_read_key_info:" + slotRange,
                           }));

    // A 21-character name is the longest that goes out, whole.
    EXPECT_EQ(DEV_ZR40NN_cmd_generate_key(ut, kUserPin, 1, name21.c_str(), 1), 0) << ut->err;
    EXPECT_EQ(log().back().keyName, name21);
    ASSERT_EQ(DEV_ZR40NN_cmd_read_key_info(ut, 1), 0);
    EXPECT_EQ(ut->keys[1].name, name21);
}

TEST_F(KeyCommands, WithoutTheDeviceCurveNothingIsSent)
{
    emu::TokenConfig config = configuredToken("NOCURVE", 1234);
    DEV_ZR40NN_t* ut = openUnrefreshed(config);
    ASSERT_NE(ut, nullptr);
    ASSERT_EQ(DEV_ZR40NN_cmd_read_dev_info(ut), DEV_ZR40NN_ERR_NOT_SUPPORTED);
    ASSERT_EQ(ut->info.keys_num, 4);
    token().clearLog();

    EXPECT_EQ(DEV_ZR40NN_cmd_read_key_info(ut, 0), DEV_ZR40NN_ERR_NOT_INITIALIZED);
    EXPECT_EQ(DEV_ZR40NN_cmd_generate_key(ut, kUserPin, 1, "k", 0), DEV_ZR40NN_ERR_NOT_INITIALIZED);
    EXPECT_TRUE(log().empty());
    const Lines all = entries(ut);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[1], "DEV_ZR40NN_cmd_read_key_info:ecc_params field is not initialized");
    EXPECT_EQ(all[2], "DEV_ZR40NN_cmd_generate_key:ecc_params field is not initialized");
}

TEST_F(KeyCommands, SlotAnswerOfTheWrongLengthClearsTheSlotState)
{
    DEV_ZR40NN_t* ut = openToken(configuredToken("SHAPE", 2560));
    ASSERT_NE(ut, nullptr);
    ASSERT_EQ(DEV_ZR40NN_cmd_generate_key(ut, kUserPin, 1, "kept", 0), 0);
    ASSERT_EQ(DEV_ZR40NN_cmd_read_key_info(ut, 0), 0);
    const DEV_ZR40NN_key_info_t before = ut->keys[0];

    // The record believes in a 20-octet field; the token answers with 32-octet coordinates.
    ut->info.ecc_params = &DEV_ZR40NN_ecc_params[0];
    EXPECT_EQ(DEV_ZR40NN_cmd_read_key_info(ut, 0), DEV_ZR40NN_ERR_RECEIVE);
    EXPECT_EQ(ut->keys[0].info, 0);
    EXPECT_STREQ(ut->keys[0].name, before.name);
    EXPECT_EQ(std::memcmp(ut->keys[0].pub_x, before.pub_x, 32), 0);
    EXPECT_EQ(entries(ut), (Lines{"DEV_ZR40NN_cmd_read_key_info:host received wrong number of key octets"}));
}

} // namespace
} // namespace zr40nn::test
