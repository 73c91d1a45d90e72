// Signing on the token through the engine: digests of every length on every curve, requests
// signed with "ecdsa-with-sha256", the session rules, and software keys beside the engine.
#include "engine_fixture.h"

#include <openssl/ecdsa.h>
#include <openssl/objects.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

using namespace zr40nn::test;
namespace emu = zr40nn::emu;

namespace {

struct SigFree
{
    void operator()(ECDSA_SIG* sig) const { ECDSA_SIG_free(sig); }
};
using SigPtr = std::unique_ptr<ECDSA_SIG, SigFree>;

std::vector<unsigned char> randomOctets(std::size_t n)
{
    std::vector<unsigned char> octets(n);
    RAND_bytes(octets.data(), static_cast<int>(n));
    return octets;
}

bool verifies(EVP_PKEY* publicKey, const std::vector<unsigned char>& digest, const ECDSA_SIG* sig)
{
    return ECDSA_do_verify(digest.data(), static_cast<int>(digest.size()), sig, ecKeyOf(publicKey)) == 1;
}

} // namespace

TEST_F(EngineTest, DigestsOfTwentyToSixtyFourOctetsOnEveryCurve)
{
    const int curves[] = { 1600, 1920, 2240, 2560 };
    std::vector<int> ids;
    for (int curve : curves) {
        ids.push_back(plugTokenWithKeys("C" + std::to_string(curve), curve, { "k1", "k2" }));
    }
    ASSERT_TRUE(initEngine());
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "user_pin", kUserPin, 0), 1);

    for (std::size_t i = 0; i < ids.size(); ++i) {
        const std::string reference = "C" + std::to_string(curves[i]) + "/k2";
        SCOPED_TRACE(reference);
        PkeyPtr key(loadPrivate(reference.c_str()));
        ASSERT_NE(key, nullptr) << readLog();
        PkeyPtr expected = slotPublicKey(ids[i], 1);
        ASSERT_NE(expected, nullptr);
        bus().token(ids[i]).clearLog();
        int signatures = 0;
        for (std::size_t length : { 20, 28, 32, 48, 64 }) {
            SCOPED_TRACE(length);
            const std::vector<unsigned char> digest = randomOctets(length);
            SigPtr sig(ECDSA_do_sign(digest.data(), static_cast<int>(length), ecKeyOf(key.get())));
            ASSERT_NE(sig, nullptr) << readLog();
            ++signatures;
            EXPECT_TRUE(verifies(expected.get(), digest, sig.get()));
            EXPECT_EQ(bus().token(ids[i]).log().back().slot, 1);
        }
        // One signing command per signature, each in a session of its own.
        EXPECT_EQ(countCommands(ids[i], 0x49), signatures);
        EXPECT_EQ(recordOf(ids[i])->session_is_open, 0);
    }
}

TEST_F(EngineTest, LongDigestIsSignedAsItsFirstSixtyFourOctets)
{
    const int id = plugTokenWithKeys("TOK1", 2560, { "klucz" });
    ASSERT_TRUE(initEngine());
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "user_pin", kUserPin, 0), 1);
    PkeyPtr key(loadPrivate("TOK1/klucz"));
    ASSERT_NE(key, nullptr);
    bus().token(id).clearLog();

    std::vector<unsigned char> digest = randomOctets(100);
    SigPtr sig(ECDSA_do_sign(digest.data(), 100, ecKeyOf(key.get())));
    ASSERT_NE(sig, nullptr) << readLog();
    EXPECT_EQ(bus().token(id).log().back().requestLength, 2 + 1 + 8 + 1 + 64);
    digest.resize(64);
    EXPECT_TRUE(verifies(slotPublicKey(id, 0).get(), digest, sig.get()));
}

TEST_F(EngineTest, RequestSignedWithEcdsaWithSha256)
{
    const int id = plugTokenWithKeys("TOK1", 2560, { "klucz" });
    ASSERT_TRUE(initEngine());
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "token_name", "TOK1", 0), 1);
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "key_name", "klucz", 0), 1);
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "user_pin", kUserPin, 0), 1);
    PkeyPtr key(loadPrivate(nullptr));
    ASSERT_NE(key, nullptr) << readLog();

    std::unique_ptr<X509_REQ, decltype(&X509_REQ_free)> req(X509_REQ_new(), X509_REQ_free);
    X509_NAME* name = X509_REQ_get_subject_name(req.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("Użytkownik"), -1, -1,
                               0);
    ASSERT_EQ(X509_REQ_set_pubkey(req.get(), key.get()), 1);
    const EVP_MD* md = EVP_get_digestbyname("ecdsa-with-sha256");
    ASSERT_NE(md, nullptr);
    bus().token(id).clearLog();
    ASSERT_GT(X509_REQ_sign(req.get(), key.get(), md), 0) << readLog();
    EXPECT_EQ(countCommands(id, 0x49), 1);

    const X509_ALGOR* algorithm = nullptr;
    X509_REQ_get0_signature(req.get(), nullptr, &algorithm);
    const ASN1_OBJECT* oid = nullptr;
    X509_ALGOR_get0(&oid, nullptr, nullptr, algorithm);
    char text[64] = {};
    OBJ_obj2txt(text, sizeof(text), oid, 1);
    EXPECT_STREQ(text, "1.2.840.10045.4.3.2");

    PkeyPtr expected = slotPublicKey(id, 0);
    EXPECT_EQ(X509_REQ_verify(req.get(), expected.get()), 1);
}

TEST_F(EngineTest, SigningWhileTheProgramHoldsASessionFailsAndKeepsIt)
{
    const int id = plugTokenWithKeys("TOK1", 2560, { "klucz" });
    ASSERT_TRUE(initEngine());
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "user_pin", kUserPin, 0), 1);
    PkeyPtr key(loadPrivate("TOK1/klucz"));
    ASSERT_NE(key, nullptr);
    DEV_ZR40NN_t* ut = recordOf(id);
    ASSERT_EQ(DEV_ZR40NN_session_open(ut), 0);
    bus().token(id).clearLog();
    std::filesystem::resize_file(mLogPath, 0);

    const std::vector<unsigned char> digest = randomOctets(32);
    SigPtr sig(ECDSA_do_sign(digest.data(), 32, ecKeyOf(key.get())));
    EXPECT_EQ(sig, nullptr);
    EXPECT_EQ(ut->session_is_open, 1);
    EXPECT_EQ(countCommands(id, 0x49), 0);
    EXPECT_EQ(maskedLog(),
              "! [T] >> e_dev_zr40nn.cpp:dev_zr40nn_ecdsa_do_sign:L:session could not be open (perhaps "
              "device was locked by other thread or application)\n!\n!\n");
    ASSERT_EQ(DEV_ZR40NN_session_close(ut), 0);

    SigPtr later(ECDSA_do_sign(digest.data(), 32, ecKeyOf(key.get())));
    EXPECT_NE(later, nullptr);
}

TEST_F(EngineTest, TokenRefusalIsLoggedWithTheStackAndClosesTheSession)
{
    const int id = plugTokenWithKeys("TOK1", 2560, { "klucz" });
    ASSERT_TRUE(initEngine());
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "user_pin", kUserPin, 0), 1);
    PkeyPtr key(loadPrivate("TOK1/klucz"));
    ASSERT_NE(key, nullptr);
    bus().token(id).failCommand(0x49, emu::kStatusKeyNotGenerated);
    std::filesystem::resize_file(mLogPath, 0);

    const std::vector<unsigned char> digest = randomOctets(32);
    SigPtr sig(ECDSA_do_sign(digest.data(), 32, ecKeyOf(key.get())));
    EXPECT_EQ(sig, nullptr);
    bus().token(id).clearFailures();
    EXPECT_EQ(recordOf(id)->session_is_open, 0);
    EXPECT_EQ(maskedLog(),
              "! [T] >> e_dev_zr40nn.cpp:dev_zr40nn_ecdsa_do_sign:L:key you are trying to use is not generated\n"
              "!\n"
              "! \te_dev_zr40nn.cpp(L):DEV_ZR40NN_cmd_ecdsa_sign:key you are trying to use is not generated\n"
              "! \te_dev_zr40nn.cpp(L):DEV_ZR40NN_single_pass:host receive error frame from device\n"
              "!\n");
}

TEST_F(EngineTest, HandleOfAnUnpluggedTokenFindsNoDevice)
{
    const int id = plugTokenWithKeys("TOK1", 2560, { "klucz" });
    plugTokenWithKeys("TOK2", 2560, { "klucz" });
    ASSERT_TRUE(initEngine());
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "user_pin", kUserPin, 0), 1);
    PkeyPtr key(loadPrivate("TOK1/klucz"));
    ASSERT_NE(key, nullptr);
    unplug(id);
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 1);
    std::filesystem::resize_file(mLogPath, 0);

    const std::vector<unsigned char> digest = randomOctets(32);
    SigPtr sig(ECDSA_do_sign(digest.data(), 32, ecKeyOf(key.get())));
    EXPECT_EQ(sig, nullptr);
    EXPECT_EQ(maskedLog(), "! [T] >> e_dev_zr40nn.cpp:dev_zr40nn_ecdsa_do_sign:L:could not find device\n");
}

TEST_F(EngineTest, SoftwareKeysSignInSoftwareWhileTheEngineIsTheDefault)
{
    const int id = plugTokenWithKeys("TOK1", 2560, { "klucz" });
    ASSERT_TRUE(initEngine());
    // Registered and initialised, the engine is still nobody's default until a program says so.
    std::unique_ptr<EC_KEY, decltype(&EC_KEY_free)> before(EC_KEY_new_by_curve_name(NID_X9_62_prime256v1), EC_KEY_free);
    EXPECT_EQ(EC_KEY_get0_engine(before.get()), nullptr);
    ASSERT_EQ(ENGINE_set_default(mEngine, ENGINE_METHOD_ALL), 1);
    struct DefaultGuard
    {
        ENGINE* e;
        ~DefaultGuard() { ENGINE_unregister_EC(e); }
    } stopBeingTheDefault { mEngine };
    bus().token(id).clearLog();

    for (const int nid : { NID_secp160r1, NID_X9_62_prime256v1, NID_secp384r1 }) {
        SCOPED_TRACE(nid);
        std::unique_ptr<EC_KEY, decltype(&EC_KEY_free)> ec(EC_KEY_new_by_curve_name(nid), EC_KEY_free);
        ASSERT_NE(ec, nullptr);
        // The new key took the engine's method, so its signing does pass through the engine.
        EXPECT_EQ(EC_KEY_get0_engine(ec.get()), mEngine);
        ASSERT_EQ(EC_KEY_generate_key(ec.get()), 1);
        const std::vector<unsigned char> digest = randomOctets(32);
        SigPtr sig(ECDSA_do_sign(digest.data(), 32, ec.get()));
        ASSERT_NE(sig, nullptr);
        EXPECT_EQ(ECDSA_do_verify(digest.data(), 32, sig.get(), ec.get()), 1);

        // And through EVP, as X.509 code signs.
        PkeyPtr pkey(EVP_PKEY_new());
        ASSERT_EQ(EVP_PKEY_set1_EC_KEY(pkey.get(), ec.get()), 1);
        std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
        unsigned char der[160];
        std::size_t length = sizeof(der);
        const unsigned char message[] = "software";
        ASSERT_EQ(EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, pkey.get()), 1);
        ASSERT_EQ(EVP_DigestSign(ctx.get(), der, &length, message, sizeof(message)), 1);
        ctx.reset(EVP_MD_CTX_new());
        ASSERT_EQ(EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, pkey.get()), 1);
        EXPECT_EQ(EVP_DigestVerify(ctx.get(), der, length, message, sizeof(message)), 1);
    }
    EXPECT_EQ(countCommands(id, 0x49), 0);
}
