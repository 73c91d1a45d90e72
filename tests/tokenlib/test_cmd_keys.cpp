// Key slot commands against an emulated token: generation, slot reads, signatures that verify in
// OpenSSL, deletion, and the checks that keep bad arguments off the wire.
#include "command_fixture.h"
#include "openssl_owner.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <array>
#include <cstring>
#include <memory>

namespace zr40nn::test {
namespace {

using Pkey = morvil::OpenSslOwner<EVP_PKEY, EVP_PKEY_free>;

// The slot's public key as OpenSSL reads it from the library's SubjectPublicKeyInfo.
Pkey publicKeyOf(const DEV_ZR40NN_key_info_t& key)
{
    unsigned char der[128];
    const int n = DEV_ZR40NN_subject_public_key_info(&key, der, sizeof(der));
    const unsigned char* p = der;
    return Pkey(n > 0 ? d2i_PUBKEY(nullptr, &p, n) : nullptr);
}

bool verifies(EVP_PKEY* pub, const unsigned char* sig, int sigLen, const unsigned char* digest, int digestLen)
{
    morvil::OpenSslOwner<EVP_PKEY_CTX, EVP_PKEY_CTX_free> ctx(EVP_PKEY_CTX_new(pub, nullptr));
    return ctx && EVP_PKEY_verify_init(ctx.get()) == 1
        && EVP_PKEY_verify(ctx.get(), sig, static_cast<std::size_t>(sigLen), digest,
                           static_cast<std::size_t>(digestLen))
        == 1;
}

using KeyCommands = CommandTest;

TEST_F(KeyCommands, GenerateReadSignAndDeleteOnEveryCurve)
{
    for (int i = 0; i < 4; ++i) {
        const DEV_ZR40NN_ecc_params_t* curve = &DEV_ZR40NN_ecc_params[i];
        SCOPED_TRACE(curve->name);
        DEV_ZR40NN_t* ut = openToken(configuredToken("KEYS", curve->id));
        ASSERT_NE(ut, nullptr);
        const std::string name = std::string("key-") + curve->name;

        ASSERT_EQ(DEV_ZR40NN_cmd_generate_key(ut, kUserPin, 1, name.c_str(), 0), 0) << ut->err;
        EXPECT_EQ(wire().back(), "2C 36 1 '1234'");
        EXPECT_EQ(log().back().curveId, curve->id);
        EXPECT_EQ(log().back().keyName, name);
        ASSERT_EQ(DEV_ZR40NN_cmd_read_key_info(ut, 0), 0) << ut->err;
        const DEV_ZR40NN_key_info_t& key = ut->keys[0];
        EXPECT_EQ(key.info & 1, 1);
        EXPECT_EQ(key.ecc_params, curve);
        EXPECT_EQ(key.name, name);
        EXPECT_EQ(DEV_ZR40NN_find_key_by_name(ut, name.c_str()), 0);

        // The point read from the slot is the token's key: its signatures verify. A 100-octet digest
        // is signed as its first 64 octets.
        Pkey pub = publicKeyOf(key);
        ASSERT_TRUE(pub);
        unsigned char digest[100];
        for (int k = 0; k < 100; ++k) {
            digest[k] = static_cast<unsigned char>(k * 37 + i);
        }
        for (const auto& [given, signedOctets] : { std::pair(32, 32), std::pair(100, 64) }) {
            unsigned char sig[130];
            const int sigLen = DEV_ZR40NN_cmd_ecdsa_sign(ut, kUserPin, 0, sig, sizeof(sig), digest, given);
            ASSERT_GT(sigLen, 0) << ut->err;
            EXPECT_EQ(log().back().requestLength, 12 + signedOctets);
            EXPECT_TRUE(verifies(pub.get(), sig, sigLen, digest, signedOctets)) << given;
        }
        ASSERT_EQ(DEV_ZR40NN_cmd_delete_key(ut, kUserPin, 1, 0), 0) << ut->err;
        EXPECT_EQ(wire().back(), "2D 12 1 '1234'");
        ASSERT_EQ(DEV_ZR40NN_cmd_read_key_info(ut, 0), 0);
        EXPECT_EQ(ut->keys[0].info, 0);
        EXPECT_STREQ(ut->err, "");
        ASSERT_EQ(DEV_ZR40NN_session_close(ut), 0);
    }
}

TEST_F(KeyCommands, SignatureBufferTooSmallCopiesNothing)
{
    DEV_ZR40NN_t* ut = openToken(configuredToken("SMALL"));
    ASSERT_NE(ut, nullptr);
    ASSERT_EQ(DEV_ZR40NN_cmd_generate_key(ut, kUserPin, 1, "k", 0), 0);
    const unsigned char digest[32] = { 1, 2, 3 };
    std::array<unsigned char, 64> sig;
    sig.fill(0xEE);
    const auto untouched = sig;
    EXPECT_EQ(DEV_ZR40NN_cmd_ecdsa_sign(ut, kUserPin, 0, sig.data(), 8, digest, 32), DEV_ZR40NN_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(sig, untouched);
    EXPECT_EQ(entries(ut), Lines { "DEV_ZR40NN_cmd_ecdsa_sign:buffer for signature is too small" });
}

TEST_F(KeyCommands, ArgumentChecksKeepRequestsOffTheWire)
{
    emu::TokenConfig config = configuredToken("CHECKS");
    config.keysNum = 2;
    DEV_ZR40NN_t* ut = openToken(config);
    ASSERT_NE(ut, nullptr);
    unsigned char buf[130] = {};
    const std::string slotRange = ":key number is out of range for this device";
    constexpr int kRange = DEV_ZR40NN_ERR_RANGE;
    constexpr int kSlot = DEV_ZR40NN_ERR_KEY_NUMBER;
    const std::string generate = "DEV_ZR40NN_cmd_generate_key";
    const std::string generateRange = generate + ":PIN is too long or its id is wrong or key name is too long";
    const int results[] = { DEV_ZR40NN_cmd_generate_key(ut, kUserPin, 1, std::string(22, 'n').c_str(), 0),
                            DEV_ZR40NN_cmd_generate_key(ut, kUserPin, 2, "k", 0),
                            DEV_ZR40NN_cmd_generate_key(ut, "123456789", 1, "k", 0),
                            DEV_ZR40NN_cmd_generate_key(ut, kUserPin, 1, "k", 2),
                            DEV_ZR40NN_cmd_generate_key(ut, kUserPin, 1, "k", -1),
                            DEV_ZR40NN_cmd_delete_key(ut, kUserPin, 2, 0),
                            DEV_ZR40NN_cmd_delete_key(ut, kUserPin, 1, 2),
                            DEV_ZR40NN_cmd_ecdsa_sign(ut, "123456789", 0, buf, 130, buf, 32),
                            DEV_ZR40NN_cmd_ecdsa_sign(ut, kUserPin, 4, buf, 130, buf, 32),
                            DEV_ZR40NN_cmd_read_key_info(ut, 2) };
    EXPECT_EQ(std::vector<int>(std::begin(results), std::end(results)),
              (std::vector<int> { kRange, kRange, kRange, kSlot, kSlot, kRange, kSlot, kRange, kSlot, kSlot }));
    EXPECT_EQ(entries(ut),
              (Lines { generateRange, generateRange, generateRange, generate + slotRange, generate + slotRange,
                       "DEV_ZR40NN_cmd_delete_key:PIN is too long or its id is wrong",
                       "DEV_ZR40NN_cmd_delete_key:key of this number is out of range for this device",
                       "DEV_ZR40NN_cmd_ecdsa_sign:PIN is too long (at most 8 characters)",
                       "DEV_ZR40NN_cmd_ecdsa_sign" + slotRange, "DEV_ZR40NN_cmd_read_key_info" + slotRange }));
    EXPECT_TRUE(log().empty());

    // A 21-character name is the longest that goes out, whole.
    const std::string name21(21, 'n');
    EXPECT_EQ(DEV_ZR40NN_cmd_generate_key(ut, kUserPin, 1, name21.c_str(), 1), 0) << ut->err;
    ASSERT_EQ(DEV_ZR40NN_cmd_read_key_info(ut, 1), 0);
    EXPECT_EQ(ut->keys[1].name, name21);
}

TEST_F(KeyCommands, WithoutTheDeviceCurveNothingIsSent)
{
    DEV_ZR40NN_t* ut = openUnrefreshed(configuredToken("NOCURVE", 1234));
    ASSERT_NE(ut, nullptr);
    ASSERT_EQ(DEV_ZR40NN_cmd_read_dev_info(ut), DEV_ZR40NN_ERR_NOT_SUPPORTED);
    ASSERT_EQ(ut->info.keys_num, 4);
    token().clearLog();
    ut->err[0] = '\0';

    EXPECT_EQ(DEV_ZR40NN_cmd_read_key_info(ut, 0), DEV_ZR40NN_ERR_NOT_INITIALIZED);
    EXPECT_EQ(DEV_ZR40NN_cmd_generate_key(ut, kUserPin, 1, "k", 0), DEV_ZR40NN_ERR_NOT_INITIALIZED);
    EXPECT_TRUE(log().empty());
    EXPECT_EQ(entries(ut),
              (Lines { "DEV_ZR40NN_cmd_read_key_info:ecc_params field is not initialized",
                       "DEV_ZR40NN_cmd_generate_key:ecc_params field is not initialized" }));
}

TEST_F(KeyCommands, SlotAnswerOfTheWrongLengthClearsTheSlotState)
{
    DEV_ZR40NN_t* ut = openToken(configuredToken("SHAPE", 2560));
    ASSERT_NE(ut, nullptr);
    ASSERT_EQ(DEV_ZR40NN_cmd_generate_key(ut, kUserPin, 1, "kept", 0), 0);
    ASSERT_EQ(DEV_ZR40NN_cmd_read_key_info(ut, 0), 0);
    const DEV_ZR40NN_key_info_t before = ut->keys[0];

    // A secp256r1 slot answer must be 89 octets; one more is refused.
    emu::BridgeFaults longer;
    longer.extraAnswerOctets = 1;
    setFaults(longer);
    EXPECT_EQ(DEV_ZR40NN_cmd_read_key_info(ut, 0), DEV_ZR40NN_ERR_RECEIVE);
    EXPECT_EQ(ut->keys[0].info, 0);
    EXPECT_STREQ(ut->keys[0].name, before.name);
    EXPECT_EQ(std::memcmp(ut->keys[0].pub_x, before.pub_x, 32), 0);
    EXPECT_EQ(entries(ut), Lines { "DEV_ZR40NN_cmd_read_key_info:host received wrong number of key octets" });
}

} // namespace
} // namespace zr40nn::test
