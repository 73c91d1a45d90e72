// Loading token keys through the engine: references, defaults, the PIN from the control command
// and from the prompt, and every refusal with its log record.
#include "engine_fixture.h"

#include <openssl/x509.h>

using namespace zr40nn::test;
namespace emu = zr40nn::emu;

namespace {

// The DER SubjectPublicKeyInfo of a key.
std::vector<unsigned char> publicPoint(EVP_PKEY* key)
{
    unsigned char* der = nullptr;
    const int length = i2d_PUBKEY(key, &der);
    if (length <= 0) {
        return {};
    }
    std::vector<unsigned char> octets(der, der + length);
    OPENSSL_free(der);
    return octets;
}

} // namespace

TEST_F(EngineTest, PrivateKeyByReferenceCarriesTheSlotsPublicPoint)
{
    const int id = plugTokenWithKeys("TOK1", 2560, { "pierwszy", "drugi" });
    ASSERT_TRUE(initEngine());
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "user_pin", kUserPin, 0), 1);
    bus().token(id).clearLog();

    PkeyPtr key(loadPrivate("TOK1/drugi"));
    ASSERT_NE(key, nullptr) << readLog();
    EXPECT_EQ(EVP_PKEY_get_base_id(key.get()), EVP_PKEY_EC);
    PkeyPtr expected = slotPublicKey(id, 1);
    ASSERT_NE(expected, nullptr);
    EXPECT_EQ(publicPoint(key.get()), publicPoint(expected.get()));
    EXPECT_EQ(EVP_PKEY_eq(key.get(), expected.get()), 1);

    // The PIN was checked once, and the session is closed again.
    EXPECT_EQ(countCommands(id, 0x2F), 1);
    EXPECT_EQ(recordOf(id)->session_is_open, 0);
    EXPECT_EQ(maskedLog(),
              "  [T] >> engine initialization with 'dev_zr40nn_init' finished successfully\n"
              "  [T] >> key loading with 'dev_zr40nn_load_private_key' finished successfully\n");
}

TEST_F(EngineTest, PrivateKeyByDefaultsWithThePinFromTheCommand)
{
    plugTokenWithKeys("TOK1", 1920, { "a" });
    plugTokenWithKeys("TOK2", 2560, { "a", "klucz" });
    ASSERT_TRUE(initEngine());
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "token_name", "TOK2", 0), 1);
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "key_name", "klucz", 0), 1);
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "user_pin", kUserPin, 0), 1);
    PromptScript script;
    PkeyPtr key(loadPrivate(nullptr, &script));
    ASSERT_NE(key, nullptr) << readLog();
    EXPECT_EQ(script.prompts, 0);
    EXPECT_EQ(EVP_PKEY_get_bits(key.get()), 256);
}

TEST_F(EngineTest, PinFromThePromptWithTheCallersData)
{
    const int id = plugTokenWithKeys("TOK1", 2560, { "klucz" });
    ASSERT_TRUE(initEngine());
    PromptScript script;
    script.answer = kUserPin;
    PkeyPtr key(loadPrivate("TOK1/klucz", &script));
    ASSERT_NE(key, nullptr) << readLog();
    EXPECT_EQ(script.prompts, 1);
    EXPECT_EQ(script.promptText, "User PIN:");
    EXPECT_EQ(script.maxSize, 8);
    EXPECT_NE(script.flags & UI_INPUT_FLAG_DEFAULT_PWD, 0);
    EXPECT_EQ(script.flags & UI_INPUT_FLAG_ECHO, 0);
    ASSERT_EQ(bus().token(id).log().back().code, 0x2F);
    EXPECT_EQ(bus().token(id).log().back().pin, kUserPin);
}

TEST_F(EngineTest, AnswerLongerThanEightOctetsIsRefusedBeforeTheToken)
{
    const int id = plugTokenWithKeys("TOK1", 2560, { "klucz" });
    ASSERT_TRUE(initEngine());
    bus().token(id).clearLog();
    PromptScript script;
    script.answer = "123456789";
    PkeyPtr key(loadPrivate("TOK1/klucz", &script));
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(countCommands(id, 0x2F), 0);
}

TEST_F(EngineTest, CancelledFailedOrEmptyPromptCostsNoTry)
{
    const int id = plugTokenWithKeys("TOK1", 2560, { "klucz" });
    ASSERT_TRUE(initEngine());
    bus().token(id).clearLog();
    for (int result : { -1, 0, 1 }) {
        SCOPED_TRACE(result);
        PromptScript script;
        script.result = result; // cancelled, failed, answered with nothing
        PkeyPtr key(loadPrivate("TOK1/klucz", &script));
        EXPECT_EQ(key, nullptr);
        EXPECT_EQ(script.prompts, 1);
    }
    EXPECT_EQ(countCommands(id, 0x2F), 0);
    EXPECT_EQ(bus().token(id).snapshot().userPinTries, 0);
    EXPECT_EQ(recordOf(id)->session_is_open, 0);
}

TEST_F(EngineTest, WrongPinCostsOneTryAndLeavesNoSession)
{
    const int id = plugTokenWithKeys("TOK1", 2560, { "klucz" });
    ASSERT_TRUE(initEngine());
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "user_pin", "9999", 0), 1);
    bus().token(id).clearLog();
    std::filesystem::resize_file(mLogPath, 0);

    PkeyPtr key(loadPrivate("TOK1/klucz"));
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(countCommands(id, 0x2F), 1);
    EXPECT_EQ(bus().token(id).snapshot().userPinTries, 1);
    DEV_ZR40NN_t* ut = recordOf(id);
    ASSERT_NE(ut, nullptr);
    EXPECT_EQ(ut->session_is_open, 0);
    // The token's entries went into the log, newest first, and left the stack empty.
    EXPECT_EQ(maskedLog(),
              "! [T] >> e_dev_zr40nn.cpp:dev_zr40nn_load_private_key:L:wrong PIN, command not allowed\n"
              "!\n"
              "! \te_dev_zr40nn.cpp(L):DEV_ZR40NN_cmd_try_pin:wrong PIN, command not allowed\n"
              "! \te_dev_zr40nn.cpp(L):DEV_ZR40NN_single_pass:host receive error frame from device\n"
              "!\n");
    EXPECT_STREQ(ut->err, "");

    // The token is free at once: the right PIN loads.
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "user_pin", kUserPin, 0), 1);
    PkeyPtr good(loadPrivate("TOK1/klucz"));
    EXPECT_NE(good, nullptr);
}

TEST_F(EngineTest, ReferenceRefusals)
{
    emu::TokenConfig config = configuredToken("TOK1");
    config.userPin = kUserPin;
    config.keys[0] = *emu::generateKeyPair(2560, "klucz");
    const int id = plug(config);
    ASSERT_TRUE(initEngine());
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "user_pin", kUserPin, 0), 1);
    bus().token(id).clearLog();

    const std::string key22(22, 'k');
    struct Case
    {
        std::string reference;
        std::string record;
    };
    const Case cases[] = {
        { "TOK1",
          "key name is not in the form <dev_name>/<key_name>, where <dev_name> has at most 10 characters and "
          "<key_name> has at most 22 characters\n" },
        { "ABCDEFGHIJK/klucz", "device name is too long, it must have at most 10 characters\n" },
        { "TOK1/" + key22 + "k", "key name is too long, it must have at most 22 characters\n" },
        { "TOK9/klucz", "there is no device with specified name\n" },
        { "TOK1/" + key22,
          "undefined error (error specification is not compleat)\n!\n"
          "! \te_dev_zr40nn.cpp(L):DEV_ZR40NN_find_key_by_name:there is no key of given name\n!\n" },
        // Slots without a key have empty names: the empty key name finds slot 1, which holds nothing.
        { "TOK1/", "key you are trying to use is not generated\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reference);
        std::filesystem::resize_file(mLogPath, 0);
        PkeyPtr key(loadPrivate(c.reference.c_str()));
        EXPECT_EQ(key, nullptr);
        EXPECT_EQ(maskedLog(), "! [T] >> e_dev_zr40nn.cpp:dev_zr40nn_load_private_key:L:" + c.record);

        std::filesystem::resize_file(mLogPath, 0);
        PkeyPtr pub(ENGINE_load_public_key(mEngine, c.reference.c_str(), nullptr, nullptr));
        EXPECT_EQ(pub, nullptr);
        EXPECT_EQ(maskedLog(), "! [T] >> e_dev_zr40nn.cpp:dev_zr40nn_load_public_key:L:" + c.record);
    }
    // No refusal reached the PIN check.
    EXPECT_EQ(countCommands(id, 0x2F), 0);
}

TEST_F(EngineTest, EmptyDefaultsLookUpAnEmptyName)
{
    const int id = plugTokenWithKeys("TOK1", 2560, { "klucz" });
    ASSERT_TRUE(initEngine());
    bus().token(id).clearLog();
    PkeyPtr key(loadPrivate(nullptr));
    EXPECT_EQ(key, nullptr);
    EXPECT_NE(readLog().find(":there is no device with specified name\n"), std::string::npos);
}

TEST_F(EngineTest, PublicKeyNeedsNoSessionAndNoPin)
{
    const int id = plugTokenWithKeys("TOK1", 2240, { "klucz" });
    ASSERT_TRUE(initEngine());
    bus().token(id).clearLog();
    std::filesystem::resize_file(mLogPath, 0);
    PkeyPtr key(ENGINE_load_public_key(mEngine, "TOK1/klucz", nullptr, nullptr));
    ASSERT_NE(key, nullptr) << readLog();
    PkeyPtr expected = slotPublicKey(id, 0);
    EXPECT_EQ(EVP_PKEY_eq(key.get(), expected.get()), 1);
    EXPECT_EQ(countCommands(id, 0x2F), 0);
    EXPECT_EQ(maskedLog(), "  [T] >> key loading with 'dev_zr40nn_load_public_key' finished successfully\n");
}

TEST_F(EngineTest, RefreshFailureStopsOnlyThePrivateKeyLoading)
{
    const int held = plugTokenWithKeys("TOK1", 2560, {"klucz"});
    const int id = plugTokenWithKeys("TOK2", 2560, {"klucz"});
    ASSERT_TRUE(initEngine());
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "user_pin", kUserPin, 0), 1);
    // A session the program holds on the first token makes the refresh fail with -2.
    ASSERT_EQ(DEV_ZR40NN_session_open(recordOf(held)), 0);
    bus().token(id).clearLog();
    std::filesystem::resize_file(mLogPath, 0);

    PkeyPtr key(loadPrivate("TOK2/klucz"));
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(maskedLog(), "! [T] >> e_dev_zr40nn.cpp:dev_zr40nn_load_private_key:L:session could not be open "
                           "(perhaps device was locked by other thread or application)\n");
    EXPECT_EQ(countCommands(id, 0x2F), 0);

    PkeyPtr pub(ENGINE_load_public_key(mEngine, "TOK2/klucz", nullptr, nullptr));
    EXPECT_NE(pub, nullptr);
    ASSERT_EQ(DEV_ZR40NN_session_close(recordOf(held)), 0);
}
