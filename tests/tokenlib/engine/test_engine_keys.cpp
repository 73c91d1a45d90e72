// Loading token keys through the engine: references, the PIN from the control command and from
// the prompt, and every refusal with its log record.
#include "console_ui_watch.h"
#include "engine_fixture.h"

using namespace zr40nn::test;

TEST_F(EngineTest, KeysByReferenceCarryTheSlotsPublicPoint)
{
    const int id = plugTokenWithKeys("TOK1", 2240, { "pierwszy", "drugi" });
    ASSERT_TRUE(initEngine());
    ASSERT_TRUE(ctrl("user_pin", kUserPin));
    bus().token(id).clearLog();

    PkeyPtr key = loadPrivate("TOK1/drugi");
    ASSERT_NE(key, nullptr) << maskedLog();
    EXPECT_EQ(EVP_PKEY_eq(key.get(), slotPublicKey(id, 1).get()), 1);
    // The PIN was checked once, and the session is closed again.
    EXPECT_EQ(countCommands(id, kTryPinCode), 1);
    EXPECT_EQ(recordOf(id)->session_is_open, 0);
    // The public key needs neither.
    PkeyPtr pub = loadPublic("TOK1/drugi");
    ASSERT_NE(pub, nullptr);
    EXPECT_EQ(EVP_PKEY_eq(pub.get(), key.get()), 1);
    EXPECT_EQ(countCommands(id, kTryPinCode), 1);
    EXPECT_EQ(maskedLog(),
              "  [T] >> engine initialization with 'dev_zr40nn_init' finished successfully\n"
              "  [T] >> key loading with 'dev_zr40nn_load_private_key' finished successfully\n"
              "  [T] >> key loading with 'dev_zr40nn_load_public_key' finished successfully\n");
}

TEST_F(EngineTest, PromptGetsTheCallersDataAndEveryAnswerReachesTheToken)
{
    const int id = plugTokenWithKeys("TOK1", 2560, { "klucz" });
    ASSERT_TRUE(initEngine());
    const struct
    {
        std::string answer;
        int result;
        bool asked; // the token checked the answer
        bool loads;
    } cases[] = {
        { "", -1, false, false }, // cancelled
        { "", 0, false, false }, // failed
        { "", 1, true, false }, // answered with nothing: not this token's PIN
        { "123456789", 1, false, false }, // longer than a PIN
        { kUserPin, 1, true, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer + " " + std::to_string(c.result));
        bus().token(id).clearLog();
        clearLog();
        PromptScript script;
        script.answer = c.answer;
        script.result = c.result;
        EXPECT_EQ(loadPrivate("TOK1/klucz", &script) != nullptr, c.loads);
        EXPECT_EQ(script.prompts, 1);
        EXPECT_EQ(script.promptText, "User PIN:");
        EXPECT_EQ(script.maxSize, 8);
        EXPECT_EQ(script.flags, UI_INPUT_FLAG_DEFAULT_PWD); // no echo; answered by -passin
        EXPECT_EQ(countCommands(id, kTryPinCode), c.asked ? 1 : 0);
        if (!c.asked) {
            EXPECT_EQ(maskedLog(), errorRecord("dev_zr40nn_load_private_key", "user PIN was not given"));
        }
        EXPECT_EQ(recordOf(id)->session_is_open, 0);
    }
    EXPECT_EQ(bus().token(id).log().back().pin, kUserPin);
    EXPECT_EQ(bus().token(id).snapshot().userPinTries, 0);
}

TEST_F(EngineTest, EmptyUserPinTypedAtThePromptLoadsAndSigns)
{
    const int id = plugTokenWithKeys("TOK1", 2560, { "klucz" }, "");
    ASSERT_TRUE(initEngine());
    PromptScript script; // answers with nothing
    PkeyPtr key = loadPrivate("TOK1/klucz", &script);
    ASSERT_NE(key, nullptr) << maskedLog();
    EXPECT_EQ(script.prompts, 1);
    bus().token(id).clearLog();
    EXPECT_TRUE(signs(key.get(), 32, slotPublicKey(id, 0).get())) << maskedLog();
    EXPECT_EQ(countCommands(id, kSignCode), 1);
    EXPECT_EQ(bus().token(id).log().back().pin, "");
}

TEST_F(EngineTest, AnEmptyPinSetByTheControlIsAPinAndTheConsoleIsNeverAsked)
{
    const int id = plugTokenWithKeys("TOK1", 2560, { "klucz" }, "");
    ASSERT_TRUE(initEngine());
    const morvil::test::ConsoleUiWatch console;

    // No PIN set and no UI method given: there is nobody to ask, and the token is asked nothing.
    bus().token(id).clearLog();
    clearLog();
    EXPECT_EQ(loadPrivate("TOK1/klucz"), nullptr);
    EXPECT_EQ(maskedLog(), errorRecord("dev_zr40nn_load_private_key", "user PIN was not given"));
    EXPECT_EQ(countCommands(id, kTryPinCode), 0);

    // The empty PIN set by "user_pin" is checked and signs as it is, with or without a UI method.
    ASSERT_TRUE(ctrl("user_pin", ""));
    PromptScript script;
    script.answer = "wrong";
    for (PromptScript* prompt : { static_cast<PromptScript*>(nullptr), &script }) {
        bus().token(id).clearLog();
        PkeyPtr key = loadPrivate("TOK1/klucz", prompt);
        ASSERT_NE(key, nullptr) << maskedLog();
        EXPECT_EQ(countCommands(id, kTryPinCode), 1);
        EXPECT_EQ(bus().token(id).log().back().pin, "");
        EXPECT_TRUE(signs(key.get(), 32, slotPublicKey(id, 0).get())) << maskedLog();
        EXPECT_EQ(bus().token(id).log().back().pin, "");
    }
    EXPECT_EQ(script.prompts, 0);

    // Finishing the engine and binding it again both leave it with no PIN set: the given UI asks.
    finishEngine();
    ASSERT_TRUE(initEngine());
    EXPECT_EQ(loadPrivate("TOK1/klucz", &script), nullptr);
    EXPECT_EQ(script.prompts, 1);
    ASSERT_TRUE(ctrl("user_pin", ""));
    ENGINE_load_dev_zr40nn();
    EXPECT_EQ(loadPrivate("TOK1/klucz", &script), nullptr);
    EXPECT_EQ(script.prompts, 2);
    EXPECT_EQ(console.prompts(), 0);
    EXPECT_EQ(bus().token(id).snapshot().userPinTries, 2); // the two "wrong" answers
}

TEST_F(EngineTest, WrongPinCostsOneTryAndLeavesNoSession)
{
    const int id = plugTokenWithKeys("TOK1", 2560, { "klucz" });
    ASSERT_TRUE(initEngine());
    ASSERT_TRUE(ctrl("user_pin", "9999"));
    bus().token(id).clearLog();
    clearLog();

    EXPECT_EQ(loadPrivate("TOK1/klucz"), nullptr);
    EXPECT_EQ(countCommands(id, kTryPinCode), 1);
    EXPECT_EQ(bus().token(id).snapshot().userPinTries, 1);
    DEV_ZR40NN_t* ut = recordOf(id);
    EXPECT_EQ(ut->session_is_open, 0);
    // The token's entries went into the log, newest first, and left the stack empty.
    const int wrongPin = refusedWith(zr40nn::emu::kStatusWrongPin);
    EXPECT_EQ(maskedLog(),
              errorRecord("dev_zr40nn_load_private_key", wrongPin) + "!\n"
                  + stackEntry("DEV_ZR40NN_cmd_try_pin", wrongPin)
                  + stackEntry("DEV_ZR40NN_single_pass", "host receive error frame from device") + "!\n");
    EXPECT_STREQ(ut->err, "");

    ASSERT_TRUE(ctrl("user_pin", kUserPin)); // the token is free at once
    EXPECT_NE(loadPrivate("TOK1/klucz"), nullptr);
}

TEST_F(EngineTest, ReferenceRefusalsOfBothLoaders)
{
    const int id = plugTokenWithKeys("TOK1", 2560, { "klucz" });
    ASSERT_TRUE(initEngine());
    ASSERT_TRUE(ctrl("user_pin", kUserPin));
    bus().token(id).clearLog();

    const std::string key22(22, 'k');
    // What follows the function's name: the message, or a library code's text and the stack.
    const std::string noKey = std::string(DEV_ZR40NN_lib_error_desc(DEV_ZR40NN_ERR_UNDEFINED)) + "\n!\n"
        + stackEntry("DEV_ZR40NN_find_key_by_name", "there is no key of given name") + "!";
    const std::pair<std::string, std::string> cases[] = {
        { "TOK1",
          "key name is not in the form <dev_name>/<key_name>, where <dev_name> has at most 10 characters "
          "and <key_name> has at most 22 characters" },
        { "ABCDEFGHIJK/klucz", "device name is too long, it must have at most 10 characters" },
        { "TOK1/" + key22 + "k", "key name is too long, it must have at most 22 characters" },
        { "TOK9/klucz", "there is no device with specified name" },
        { "TOK1/" + key22, noKey },
        // Empty slots have empty names: "" finds slot 1, which holds no key.
        { "TOK1/", DEV_ZR40NN_lib_error_desc(refusedWith(zr40nn::emu::kStatusKeyNotGenerated)) },
    };
    for (const auto& [reference, record] : cases) {
        SCOPED_TRACE(reference);
        clearLog();
        EXPECT_EQ(loadPrivate(reference.c_str()), nullptr);
        EXPECT_EQ(maskedLog(), errorRecord("dev_zr40nn_load_private_key", record));
        clearLog();
        EXPECT_EQ(loadPublic(reference.c_str()), nullptr);
        EXPECT_EQ(maskedLog(), errorRecord("dev_zr40nn_load_public_key", record));
    }
    EXPECT_EQ(countCommands(id, kTryPinCode), 0);
}

TEST_F(EngineTest, OnlyThePrivateKeyLoadingStopsOnAFailedRefresh)
{
    const int held = plugTokenWithKeys("TOK1", 2560, { "klucz" });
    plugTokenWithKeys("TOK2", 2560, { "klucz" });
    ASSERT_TRUE(initEngine());
    ASSERT_TRUE(ctrl("user_pin", kUserPin));
    // A session that the program holds on the first token makes the refresh fail with -2.
    ASSERT_EQ(DEV_ZR40NN_session_open(recordOf(held)), 0);
    clearLog();
    EXPECT_EQ(loadPrivate("TOK2/klucz"), nullptr);
    EXPECT_NE(loadPublic("TOK2/klucz"), nullptr);
    EXPECT_EQ(maskedLog(),
              errorRecord("dev_zr40nn_load_private_key", DEV_ZR40NN_ERR_SESSION_OPEN)
                  + "  [T] >> key loading with 'dev_zr40nn_load_public_key' finished successfully\n");
}
