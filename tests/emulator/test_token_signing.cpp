// Keys made on the token and signatures checked in software: on every curve the token knows, a
// signature over a digest of any accepted length verifies against the public point that the
// key slot answer hands out.
#include "token_model.h"
#include "token_requests.h"

#include <gtest/gtest.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <memory>

using namespace zr40nn::emu;
using namespace zr40nn::emu::test;

namespace {

const std::string kSoPin = "admin";
const std::string kUserPin = "12345678";

struct Curve
{
    int id;
    std::size_t fieldOctets;
    std::size_t orderOctets;
    const char* group;
};

struct PKeyFree
{
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
using PKey = std::unique_ptr<EVP_PKEY, PKeyFree>;

// A public key made from the X and Y octets of a key slot answer.
PKey publicKey(const char* group, const Bytes& x, const Bytes& y)
{
    Bytes point { 0x04 };
    point.insert(point.end(), x.begin(), x.end());
    point.insert(point.end(), y.begin(), y.end());
    OSSL_PARAM_BLD* builder = OSSL_PARAM_BLD_new();
    OSSL_PARAM_BLD_push_utf8_string(builder, OSSL_PKEY_PARAM_GROUP_NAME, group, 0);
    OSSL_PARAM_BLD_push_octet_string(builder, OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size());
    OSSL_PARAM* params = OSSL_PARAM_BLD_to_param(builder);
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr);
    EVP_PKEY* pkey = nullptr;
    if (EVP_PKEY_fromdata_init(ctx) != 1 || EVP_PKEY_fromdata(ctx, &pkey, EVP_PKEY_PUBLIC_KEY, params) != 1) {
        pkey = nullptr;
    }
    EVP_PKEY_CTX_free(ctx);
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(builder);
    return PKey(pkey);
}

bool pointIsOnCurve(EVP_PKEY* pkey)
{
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, pkey, nullptr);
    const bool ok = EVP_PKEY_public_check(ctx) == 1;
    EVP_PKEY_CTX_free(ctx);
    return ok;
}

bool verifies(EVP_PKEY* pkey, const Bytes& signature, const Bytes& digest)
{
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, pkey, nullptr);
    const bool ok = EVP_PKEY_verify_init(ctx) == 1
        && EVP_PKEY_verify(ctx, signature.data(), signature.size(), digest.data(), digest.size()) == 1;
    EVP_PKEY_CTX_free(ctx);
    return ok;
}

// The signature must be one DER ECDSA-Sig-Value and nothing after it.
bool isDerSignature(const Bytes& signature)
{
    const unsigned char* p = signature.data();
    ECDSA_SIG* sig = d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(signature.size()));
    const bool whole = sig && p == signature.data() + signature.size();
    ECDSA_SIG_free(sig);
    return whole;
}

Bytes digestOf(std::size_t length, std::uint8_t seed)
{
    Bytes digest(length);
    for (std::size_t i = 0; i < length; ++i) {
        digest[i] = static_cast<std::uint8_t>(seed + 31 * i);
    }
    return digest;
}

class TokenSigningTest : public ::testing::TestWithParam<Curve>
{
protected:
    void SetUp() override
    {
        TokenConfig config;
        config.curveId = GetParam().id;
        mToken = std::make_unique<TokenModel>(config);
        ASSERT_EQ(mToken->process(initRequest()), kOk);
        ASSERT_EQ(mToken->process(configureRequest(0, "SIGNER", 3, 3, kSoPin, kUserPin)), kOk);
    }

    // Reads the slot as the host does and turns its point into an OpenSSL key.
    PKey slotKey(int slot)
    {
        const std::size_t f = GetParam().fieldOctets;
        const Bytes answer = mToken->process(keySlotRequest(slot));
        EXPECT_EQ(answer.size(), 25 + 2 * f);
        if (answer.size() != 25 + 2 * f) {
            return nullptr;
        }
        EXPECT_EQ(answer[1], 0x01);
        EXPECT_EQ(answer[2] << 8 | answer[3], GetParam().id);
        return publicKey(GetParam().group, Bytes(answer.begin() + 25, answer.begin() + 25 + f),
                         Bytes(answer.begin() + 25 + f, answer.end()));
    }

    Bytes sign(int slot, const Bytes& digest)
    {
        const Bytes answer = mToken->process(signRequest(kUserPin, slot, digest));
        EXPECT_GE(answer.size(), 2u);
        EXPECT_EQ(answer.at(0), 0x00);
        return Bytes(answer.begin() + 1, answer.end());
    }

    std::unique_ptr<TokenModel> mToken;
};

TEST_P(TokenSigningTest, SignaturesVerifyAgainstTheSlotsPoint)
{
    const std::string name(21, 'k');
    ASSERT_EQ(mToken->process(generateKeyRequest(1, kUserPin, 0, GetParam().id, name)), kOk);
    const Bytes answer = mToken->process(keySlotRequest(0));
    EXPECT_EQ(std::string(answer.begin() + 4, answer.begin() + 25), name);
    PKey key = slotKey(0);
    ASSERT_TRUE(key);
    EXPECT_TRUE(pointIsOnCurve(key.get()));

    for (std::size_t length : { 20u, 28u, 32u, 48u, 64u }) {
        SCOPED_TRACE(length);
        const Bytes digest = digestOf(length, static_cast<std::uint8_t>(length));
        const Bytes signature = sign(0, digest);
        EXPECT_TRUE(isDerSignature(signature));
        EXPECT_TRUE(verifies(key.get(), signature, digest));
        Bytes altered = digest;
        altered[0] ^= 0x01;
        EXPECT_FALSE(verifies(key.get(), signature, altered));
    }
}

TEST_P(TokenSigningTest, LongDigestIsCutToTheOrdersLength)
{
    // Only the leftmost bits of a digest longer than the order count: a signature over 64 octets
    // verifies over any digest that shares the order's octets with it.
    ASSERT_EQ(mToken->process(generateKeyRequest(1, kUserPin, 0, GetParam().id, "cut")), kOk);
    PKey key = slotKey(0);
    ASSERT_TRUE(key);
    const Bytes digest = digestOf(64, 3);
    const Bytes signature = sign(0, digest);
    Bytes sameStart(digest.begin(), digest.begin() + static_cast<long>(GetParam().orderOctets));
    sameStart.resize(64, 0xEE);
    EXPECT_TRUE(verifies(key.get(), signature, sameStart));
}

TEST_P(TokenSigningTest, EachSlotSignsWithItsOwnKey)
{
    ASSERT_EQ(mToken->process(generateKeyRequest(1, kUserPin, 0, GetParam().id, "a")), kOk);
    ASSERT_EQ(mToken->process(generateKeyRequest(0, kSoPin, 3, GetParam().id, "b")), kOk);
    PKey first = slotKey(0);
    PKey last = slotKey(3);
    ASSERT_TRUE(first && last);
    const Bytes digest = digestOf(32, 77);
    const Bytes signature = sign(3, digest);
    EXPECT_TRUE(verifies(last.get(), signature, digest));
    EXPECT_FALSE(verifies(first.get(), signature, digest));
    EXPECT_EQ(mToken->snapshot().keys[3].privateKey.size(), GetParam().orderOctets);
}

TEST_P(TokenSigningTest, OnlyTheRightUserPinSigns)
{
    ASSERT_EQ(mToken->process(generateKeyRequest(1, kUserPin, 1, GetParam().id, "k")), kOk);
    EXPECT_EQ(mToken->process(signRequest("wrong", 1, digestOf(32, 1))), errorAnswerOf(kStatusWrongPin));
    EXPECT_EQ(mToken->snapshot().userPinTries, 1);
    EXPECT_EQ(mToken->process(signRequest(kSoPin, 1, digestOf(32, 1), 0)), errorAnswerOf(kStatusNotAllowed));
    EXPECT_EQ(mToken->snapshot().soPinTries, 0);
    const Bytes signature = sign(1, {});
    EXPECT_TRUE(isDerSignature(signature));
}

INSTANTIATE_TEST_SUITE_P(AllCurves, TokenSigningTest,
                         ::testing::Values(Curve { 1600, 20, 21, "secp160r1" }, Curve { 1920, 24, 24, "prime192v1" },
                                           Curve { 2240, 28, 28, "secp224r1" }, Curve { 2560, 32, 32, "prime256v1" }),
                         [](const auto& info) { return std::to_string(info.param.id); });

} // namespace
