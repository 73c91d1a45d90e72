// The engine's registration, control commands, init and finish, digest names and log.
#include "engine_fixture.h"

#include <openssl/err.h>

namespace {

// Whether a descriptor of this process is open on path.
bool openHere(const std::string& path)
{
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(fd.path(), error) == path) {
            return true;
        }
    }
    return false;
}

} // namespace

using namespace zr40nn::test;

TEST_F(EngineTest, ControlCommandsByNumberKeepAsManyOctetsAsTheirFields)
{
    const int id = plugTokenWithKeys("ABCDEFGHIJ", 2560, { "klucz" }, "12345678");
    ASSERT_TRUE(initEngine());
    const auto command = [&](long number, const char* value) {
        return ENGINE_ctrl(mEngine, static_cast<int>(number), 0, const_cast<char*>(value), nullptr);
    };
    // With no defaults the empty names are looked up as such.
    EXPECT_EQ(loadPrivate(nullptr), nullptr);
    EXPECT_NE(maskedLog().find(":there is no device with specified name\n"), std::string::npos);

    // A PIN of nine or more octets keeps nine, of which loading uses eight.
    ASSERT_EQ(command(203, "123456789xyz"), 1);
    ASSERT_EQ(command(202, "klucz"), 1);
    ASSERT_EQ(command(201, "ABCDEFGHIJ"), 1);
    // Without a string, or with another number: refused, nothing changed.
    for (int number : { 200, 201, 202, 203 }) {
        EXPECT_EQ(command(number, nullptr), 0) << number;
    }
    EXPECT_EQ(command(204, "TOK2"), 0);
    EXPECT_EQ(command(199, "TOK2"), 0);
    PkeyPtr key = loadPrivate(nullptr);
    ASSERT_NE(key, nullptr) << maskedLog();
    // The handle carries the whole ten-octet name and eight-octet PIN to the signing.
    EXPECT_TRUE(signs(key.get(), 32)) << maskedLog();
    EXPECT_EQ(bus().token(id).log().back().pin, "12345678");

    // Eleven octets are kept whole: no prefix match with the ten-octet name.
    ASSERT_EQ(command(201, "ABCDEFGHIJK"), 1);
    clearLog();
    EXPECT_EQ(loadPrivate(nullptr), nullptr);
    EXPECT_NE(maskedLog().find(":there is no device with specified name\n"), std::string::npos);
    // The log file by number.
    EXPECT_EQ(command(200, (mDir + "/other.log").c_str()), 1);
    EXPECT_TRUE(std::filesystem::exists(mDir + "/other.log"));
}

TEST_F(EngineTest, ASecondLoadAndTheFinishBothWipeThePin)
{
    const int id = plugTokenWithKeys("TOK1", 2560, { "klucz" });
    ASSERT_TRUE(initEngine());
    ASSERT_TRUE(ctrl("user_pin", kUserPin));
    ERR_clear_error();
    ENGINE_load_dev_zr40nn();
    EXPECT_EQ(ERR_peek_error(), 0ul) << "a second load leaves OpenSSL's error queue empty";
    int engines = 0;
    for (ENGINE* e = ENGINE_get_first(); e != nullptr; e = ENGINE_get_next(e)) {
        engines += std::string(ENGINE_get_id(e)) == DEV_ZR40NN_ENGINE_ID ? 1 : 0;
    }
    EXPECT_EQ(engines, 1);
    PromptScript script; // the PIN is gone, so loading asks for it
    script.answer = kUserPin;
    EXPECT_NE(loadPrivate("TOK1/klucz", &script), nullptr);
    EXPECT_EQ(script.prompts, 1);

    ASSERT_TRUE(ctrl("user_pin", kUserPin));
    finishEngine();
    ASSERT_TRUE(initEngine());
    script.result = -1;
    EXPECT_EQ(loadPrivate("TOK1/klucz", &script), nullptr);
    EXPECT_EQ(script.prompts, 2);
    EXPECT_EQ(countCommands(id, kTryPinCode), 1);
    EXPECT_EQ(maskedLog(),
              "  [T] >> engine initialization with 'dev_zr40nn_init' finished successfully\n"
              "  [T] >> key loading with 'dev_zr40nn_load_private_key' finished successfully\n"
              "  [T] >> engine 'dev_zr40nn' finished successfully\n"
              "  [T] >> engine initialization with 'dev_zr40nn_init' finished successfully\n"
                  + errorRecord("dev_zr40nn_load_private_key", "user PIN was not given"));
}

TEST_F(EngineTest, InitFailsWhileASessionIsOpenAndGivesItsUserBack)
{
    DEV_ZR40NN_t* ut = plugAndRefresh(configuredToken("TOK1"));
    ASSERT_EQ(DEV_ZR40NN_session_open(ut), 0);
    EXPECT_FALSE(initEngine());
    EXPECT_EQ(maskedLog(), errorRecord("dev_zr40nn_init", DEV_ZR40NN_ERR_SESSION_OPEN));
    // Only the fixture's own user is left: finishing it frees the device list.
    ASSERT_EQ(DEV_ZR40NN_session_close(ut), 0);
    libFinish();
    EXPECT_EQ(DEV_ZR40NN_get_first(), nullptr);
}

TEST_F(EngineTest, SecondLogFileTakesOverAndAFailedOneStopsLogging)
{
    const std::string second = mDir + "/second.log";
    ASSERT_TRUE(ctrl("log_file", second.c_str()));
    ASSERT_TRUE(initEngine());
    EXPECT_EQ(maskedLog(), "");
    const auto written = std::filesystem::file_size(second);
    EXPECT_GT(written, 0u);
    EXPECT_FALSE(ctrl("log_file", (mDir + "/missing/x.log").c_str()));
    finishEngine();
    EXPECT_EQ(std::filesystem::file_size(second), written);
}

TEST_F(EngineTest, DestroyingTheLastEngineClosesTheLog)
{
    EXPECT_TRUE(openHere(mLogPath));
    ENGINE_load_dev_zr40nn(); // its ENGINE object is refused and destroyed at once
    EXPECT_TRUE(openHere(mLogPath));
    ASSERT_EQ(ENGINE_remove(mEngine), 1);
    ENGINE_free(mEngine); // the last reference
    EXPECT_FALSE(openHere(mLogPath));

    ENGINE_load_dev_zr40nn();
    mEngine = ENGINE_by_id(DEV_ZR40NN_ENGINE_ID);
    ASSERT_NE(mEngine, nullptr);
}

TEST_F(EngineTest, EcdsaDigestNamesAreTheShaDigests)
{
    const std::pair<const char*, int> names[] = {
        { "ecdsa-with-sha1", NID_sha1 },     { "ecdsa-with-sha224", NID_sha224 }, { "ecdsa-with-sha256", NID_sha256 },
        { "ecdsa-with-sha384", NID_sha384 }, { "ecdsa-with-sha512", NID_sha512 },
    };
    for (const auto& [name, nid] : names) {
        const EVP_MD* md = EVP_get_digestbyname(name);
        ASSERT_NE(md, nullptr) << name;
        EXPECT_EQ(EVP_MD_get_type(md), nid) << name;
    }
}

TEST_F(EngineTest, FinishWipesTheKeyNameDefault)
{
    // One key in slot 0: the empty name of slot 1 is what an empty default finds.
    plugTokenWithKeys("TOK1", 2560, { "klucz" });
    ASSERT_TRUE(initEngine());
    ASSERT_TRUE(ctrl("token_name", "TOK1"));
    ASSERT_TRUE(ctrl("key_name", "klucz"));
    ASSERT_TRUE(ctrl("user_pin", kUserPin));
    ASSERT_NE(loadPrivate(nullptr), nullptr) << maskedLog();

    finishEngine();
    ASSERT_TRUE(initEngine());
    ASSERT_TRUE(ctrl("token_name", "TOK1"));
    ASSERT_TRUE(ctrl("user_pin", kUserPin));
    clearLog();
    EXPECT_EQ(loadPrivate(nullptr), nullptr);
    EXPECT_EQ(maskedLog(),
              errorRecord("dev_zr40nn_load_private_key", refusedWith(zr40nn::emu::kStatusKeyNotGenerated)));
}

TEST_F(EngineTest, KeyNameDefaultThatFillsItsFieldIsReadNoFurther)
{
    // 23 octets are kept without a terminator; the lookup must stop there (the sanitizer build
    // sees any read past the field) and find no slot of that name.
    const int id = plugTokenWithKeys("TOK1", 2560, { std::string(21, 'k') });
    ASSERT_TRUE(initEngine());
    ASSERT_TRUE(ctrl("token_name", "TOK1"));
    ASSERT_TRUE(ctrl("key_name", std::string(30, 'k').c_str()));
    ASSERT_TRUE(ctrl("user_pin", kUserPin));
    clearLog();
    EXPECT_EQ(loadPrivate(nullptr), nullptr);
    EXPECT_EQ(maskedLog(),
              errorRecord("dev_zr40nn_load_private_key", DEV_ZR40NN_ERR_UNDEFINED) + "!\n"
                  + stackEntry("DEV_ZR40NN_find_key_by_name", "there is no key of given name") + "!\n");
    EXPECT_EQ(countCommands(id, kTryPinCode), 0);
}
