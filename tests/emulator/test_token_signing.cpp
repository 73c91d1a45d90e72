// Keys made on the token and signatures checked in software: on every curve the token knows, a
// signature over a digest of any accepted length verifies against the public point that the key
// slot answer hands out, and against no other.
#include "openssl_owner.h"
#include "token_model.h"
#include "token_requests.h"

#include <gtest/gtest.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>

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

using PKey = morvil::OpenSslOwner<EVP_PKEY, EVP_PKEY_free>;
using Ctx = morvil::OpenSslOwner<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;

// The public key of a key slot answer (X and Y behind the 25 octets of state, curve and name).
PKey slotKey(const Curve& curve, const Bytes& answer)
{
    Bytes point { 0x04 };
    point.insert(point.end(), answer.begin() + 25, answer.end());
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, const_cast<char*>(curve.group), 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size()),
        OSSL_PARAM_construct_end(),
    };
    Ctx ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* pkey = nullptr;
    if (!ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1
        || EVP_PKEY_fromdata(ctx.get(), &pkey, EVP_PKEY_PUBLIC_KEY, params) != 1) {
        return nullptr;
    }
    PKey key(pkey);
    Ctx check(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
    return EVP_PKEY_public_check(check.get()) == 1 ? std::move(key) : nullptr;
}

bool verifies(EVP_PKEY* pkey, const Bytes& signature, const Bytes& digest)
{
    Ctx ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, pkey, nullptr));
    return EVP_PKEY_verify_init(ctx.get()) == 1
        && EVP_PKEY_verify(ctx.get(), signature.data(), signature.size(), digest.data(), digest.size()) == 1;
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
        ASSERT_EQ(mToken.process(initRequest()), kOk);
        ASSERT_EQ(mToken.process(configureRequest(0, "SIGNER", 3, 3, kSoPin, kUserPin)), kOk);
    }

    static TokenConfig config()
    {
        TokenConfig c;
        c.curveId = GetParam().id;
        return c;
    }

    // The signature octets behind the status octet. OpenSSL's verification takes nothing but one
    // DER ECDSA-Sig-Value without trailing octets, so verifying also checks the encoding.
    Bytes sign(int slot, const Bytes& digest)
    {
        const Bytes answer = mToken.process(signRequest(kUserPin, slot, digest));
        EXPECT_EQ(answer.at(0), 0x00);
        return Bytes(answer.begin() + 1, answer.end());
    }

    TokenModel mToken { config() };
};

TEST_P(TokenSigningTest, SignaturesVerifyAgainstTheSlotsPoint)
{
    const Curve& curve = GetParam();
    const std::string name(21, 'k');
    ASSERT_EQ(mToken.process(generateKeyRequest(1, kUserPin, 0, curve.id, name)), kOk);
    ASSERT_EQ(mToken.process(generateKeyRequest(0, kSoPin, 3, curve.id, "b")), kOk);
    const Bytes answer = mToken.process(keySlotRequest(0));
    ASSERT_EQ(answer.size(), 25 + 2 * curve.fieldOctets);
    EXPECT_EQ(answer[1], 0x01);
    EXPECT_EQ(answer[2] << 8 | answer[3], curve.id);
    EXPECT_EQ(std::string(answer.begin() + 4, answer.begin() + 25), name);
    PKey key = slotKey(curve, answer);
    PKey other = slotKey(curve, mToken.process(keySlotRequest(3)));
    ASSERT_TRUE(key && other) << "both points lie on the curve";
    EXPECT_EQ(mToken.snapshot().keys[3].privateKey.size(), curve.orderOctets);

    for (std::size_t length : { 20u, 28u, 32u, 48u, 64u }) {
        SCOPED_TRACE(length);
        const Bytes digest = digestOf(length, static_cast<std::uint8_t>(length));
        const Bytes signature = sign(0, digest);
        EXPECT_TRUE(verifies(key.get(), signature, digest));
        EXPECT_FALSE(verifies(other.get(), signature, digest)) << "each slot signs with its own key";
        Bytes altered = digest;
        altered[0] ^= 0x01;
        EXPECT_FALSE(verifies(key.get(), signature, altered));
    }

    // Only the leftmost bits of a digest longer than the order count: the signature verifies over
    // any digest that shares the order's octets with the one signed.
    const Bytes digest = digestOf(64, 3);
    Bytes sameStart(digest.begin(), digest.begin() + static_cast<long>(curve.orderOctets));
    sameStart.resize(64, 0xEE);
    EXPECT_TRUE(verifies(key.get(), sign(0, digest), sameStart));
    EXPECT_TRUE(verifies(key.get(), sign(0, {}), {})) << "an empty digest is signed too";
}

TEST_P(TokenSigningTest, OnlyTheRightUserPinSigns)
{
    ASSERT_EQ(mToken.process(generateKeyRequest(1, kUserPin, 1, GetParam().id, "k")), kOk);
    EXPECT_EQ(mToken.process(signRequest("wrong", 1, digestOf(32, 1))), errorAnswerOf(kStatusWrongPin));
    EXPECT_EQ(mToken.snapshot().userPinTries, 1);
    EXPECT_EQ(mToken.process(signRequest(kSoPin, 1, digestOf(32, 1), 0)), errorAnswerOf(kStatusNotAllowed));
    EXPECT_EQ(mToken.snapshot().soPinTries, 0);
}

INSTANTIATE_TEST_SUITE_P(AllCurves, TokenSigningTest,
                         ::testing::Values(Curve { 1600, 20, 21, "secp160r1" }, Curve { 1920, 24, 24, "prime192v1" },
                                           Curve { 2240, 28, 28, "secp224r1" }, Curve { 2560, 32, 32, "prime256v1" }),
                         [](const auto& info) { return std::to_string(info.param.id); });

} // namespace
