// Signing on the token through the engine: digests of every length on every curve, requests
// signed with "ecdsa-with-sha256", the session rules, and software keys beside the engine.
#include "engine_fixture.h"

#include <openssl/x509.h>

#include <map>

using namespace zr40nn::test;

TEST_F(EngineTest, DigestsOfTwentyToSixtyFourOctetsOnEveryCurve)
{
    std::map<std::string, int> tokens;
    for (int curve : { 1600, 1920, 2240, 2560 }) {
        const std::string name = "C" + std::to_string(curve);
        tokens[name] = plugTokenWithKeys(name, curve, { "k1", "k2" });
    }
    ASSERT_TRUE(initEngine());
    ASSERT_TRUE(ctrl("user_pin", kUserPin));
    for (const auto& [name, id] : tokens) {
        SCOPED_TRACE(name);
        PkeyPtr key = loadPrivate((name + "/k2").c_str());
        ASSERT_NE(key, nullptr) << maskedLog();
        PkeyPtr expected = slotPublicKey(id, 1);
        bus().token(id).clearLog();
        // A digest longer than 64 octets is signed as its first 64.
        for (int length : { 20, 28, 32, 48, 64, 100 }) {
            EXPECT_TRUE(signs(key.get(), length, expected.get())) << length << maskedLog();
            EXPECT_EQ(bus().token(id).log().back().slot, 1);
            EXPECT_EQ(bus().token(id).log().back().count, std::min(length, 64));
        }
        // One signing command per signature, each in a session of its own.
        EXPECT_EQ(countCommands(id, kSignCode), 6);
        EXPECT_EQ(recordOf(id)->session_is_open, 0);
    }
}

TEST_F(EngineTest, RequestSignedWithEcdsaWithSha256)
{
    const int id = plugTokenWithKeys("TOK1", 2560, { "klucz" });
    ASSERT_TRUE(initEngine());
    ASSERT_TRUE(ctrl("token_name", "TOK1"));
    ASSERT_TRUE(ctrl("key_name", "klucz"));
    ASSERT_TRUE(ctrl("user_pin", kUserPin));
    PkeyPtr key = loadPrivate(nullptr);
    ASSERT_NE(key, nullptr) << maskedLog();

    morvil::OpenSslOwner<X509_REQ, X509_REQ_free> req(X509_REQ_new());
    X509_NAME_add_entry_by_txt(X509_REQ_get_subject_name(req.get()), "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>("Użytkownik"), -1, -1, 0);
    ASSERT_EQ(X509_REQ_set_pubkey(req.get(), key.get()), 1);
    const EVP_MD* md = EVP_get_digestbyname("ecdsa-with-sha256");
    ASSERT_NE(md, nullptr);
    bus().token(id).clearLog();
    ASSERT_GT(X509_REQ_sign(req.get(), key.get(), md), 0) << maskedLog();
    EXPECT_EQ(countCommands(id, kSignCode), 1);

    const X509_ALGOR* algorithm = nullptr;
    X509_REQ_get0_signature(req.get(), nullptr, &algorithm);
    const ASN1_OBJECT* oid = nullptr;
    X509_ALGOR_get0(&oid, nullptr, nullptr, algorithm);
    char text[64] = {};
    OBJ_obj2txt(text, sizeof(text), oid, 1);
    EXPECT_STREQ(text, "1.2.840.10045.4.3.2");
    EXPECT_EQ(X509_REQ_verify(req.get(), slotPublicKey(id, 0).get()), 1);
}

TEST_F(EngineTest, SigningFailuresAreLoggedAndLeaveTheProgramsSessionAlone)
{
    const int id = plugTokenWithKeys("TOK1", 2560, { "klucz" });
    const int other = plugTokenWithKeys("TOK2", 2560, { "klucz" });
    ASSERT_TRUE(initEngine());
    ASSERT_TRUE(ctrl("user_pin", kUserPin));
    PkeyPtr key = loadPrivate("TOK1/klucz");
    PkeyPtr gone = loadPrivate("TOK2/klucz");
    ASSERT_TRUE(key && gone);

    // A session that the program holds: refused with -2, and the session stays the program's.
    DEV_ZR40NN_t* ut = recordOf(id);
    ASSERT_EQ(DEV_ZR40NN_session_open(ut), 0);
    clearLog();
    EXPECT_FALSE(signs(key.get(), 32));
    EXPECT_EQ(ut->session_is_open, 1);
    EXPECT_EQ(maskedLog(), errorRecord("dev_zr40nn_ecdsa_do_sign", DEV_ZR40NN_ERR_SESSION_OPEN) + "!\n!\n");
    ASSERT_EQ(DEV_ZR40NN_session_close(ut), 0);

    // The token refuses: its entries are logged and the session is closed.
    bus().token(id).failCommand(kSignCode, zr40nn::emu::kStatusKeyNotGenerated);
    clearLog();
    EXPECT_FALSE(signs(key.get(), 32));
    bus().token(id).clearFailures();
    EXPECT_EQ(ut->session_is_open, 0);
    const int notGenerated = refusedWith(zr40nn::emu::kStatusKeyNotGenerated);
    EXPECT_EQ(maskedLog(),
              errorRecord("dev_zr40nn_ecdsa_do_sign", notGenerated) + "!\n"
                  + stackEntry("DEV_ZR40NN_cmd_ecdsa_sign", notGenerated)
                  + stackEntry("DEV_ZR40NN_single_pass", "host receive error frame from device") + "!\n");
    EXPECT_TRUE(signs(key.get(), 32));

    // A handle whose token has left the device list.
    unplug(other);
    ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), 1);
    clearLog();
    EXPECT_FALSE(signs(gone.get(), 32));
    EXPECT_EQ(maskedLog(), errorRecord("dev_zr40nn_ecdsa_do_sign", "could not find device"));
}

TEST_F(EngineTest, SoftwareKeysSignInSoftwareWhileTheEngineIsTheDefault)
{
    const int id = plugTokenWithKeys("TOK1", 2560, { "klucz" });
    ASSERT_TRUE(initEngine());
    // Registered and initialised, the engine is still nobody's default until a program says so.
    morvil::OpenSslOwner<EC_KEY, EC_KEY_free> before(EC_KEY_new_by_curve_name(NID_X9_62_prime256v1));
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
        EC_KEY* ec = EC_KEY_new_by_curve_name(nid);
        PkeyPtr key(EVP_PKEY_new());
        ASSERT_EQ(EVP_PKEY_assign_EC_KEY(key.get(), ec), 1);
        EXPECT_EQ(EC_KEY_get0_engine(ec), mEngine); // its signing does pass through the engine
        ASSERT_EQ(EC_KEY_generate_key(ec), 1);
        EXPECT_TRUE(signs(key.get(), 32, key.get()));
    }
    EXPECT_EQ(countCommands(id, kSignCode), 0);
}
