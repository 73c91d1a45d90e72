// The engine's registration, control commands, init and finish, digest names and log.
#include "engine_fixture.h"

#include <openssl/objects.h>
#include <openssl/x509.h>

using namespace zr40nn::test;
namespace emu = zr40nn::emu;

namespace {

int enginesWithOurId()
{
    int count = 0;
    for (ENGINE* e = ENGINE_get_first(); e != nullptr; e = ENGINE_get_next(e)) {
        count += std::string(ENGINE_get_id(e)) == DEV_ZR40NN_ENGINE_ID ? 1 : 0;
    }
    return count;
}

} // namespace

TEST_F(EngineTest, IdentityAndControlTable)
{
    EXPECT_STREQ(ENGINE_get_name(mEngine), "Brenvar Morvil DEV-ZR40NN engine support");
    struct Command
    {
        int number;
        const char* name;
        const char* description;
    };
    const Command commands[] = {
        { 200, "log_file", "Set log file to write engine messages" },
        { 201, "token_name", "Set token name which will be used by default" },
        { 202, "key_name", "Set key name which will be used by default" },
        { 203, "user_pin", "Set User PIN which will be used for authentication" },
    };
    for (const Command& command : commands) {
        SCOPED_TRACE(command.name);
        EXPECT_EQ(ENGINE_ctrl(mEngine, ENGINE_CTRL_GET_CMD_FROM_NAME, 0, const_cast<char*>(command.name), nullptr),
                  command.number);
        EXPECT_EQ(ENGINE_ctrl(mEngine, ENGINE_CTRL_GET_CMD_FLAGS, command.number, nullptr, nullptr),
                  ENGINE_CMD_FLAG_STRING);
        char description[128] = {};
        ENGINE_ctrl(mEngine, ENGINE_CTRL_GET_DESC_FROM_CMD, command.number, description, nullptr);
        EXPECT_STREQ(description, command.description);
    }
    EXPECT_NE(ENGINE_get_EC(mEngine), nullptr);
}

TEST_F(EngineTest, LoadingTwiceKeepsOneEngineAndClearsTheDefaults)
{
    const int id = plugTokenWithKeys("TOK1", 2560, { "klucz" });
    ASSERT_TRUE(initEngine());
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "user_pin", kUserPin, 0), 1);
    ENGINE_load_dev_zr40nn();
    EXPECT_EQ(enginesWithOurId(), 1);

    // The second bind wiped the PIN, so loading asks for it.
    PromptScript script;
    script.answer = kUserPin;
    PkeyPtr key(loadPrivate("TOK1/klucz", &script));
    EXPECT_NE(key, nullptr);
    EXPECT_EQ(script.prompts, 1);
    EXPECT_EQ(countCommands(id, 0x2F), 1);
}

TEST_F(EngineTest, ControlCommandsWithoutStringOrUnknownChangeNothing)
{
    plugTokenWithKeys("TOK1", 2560, { "klucz" });
    ASSERT_TRUE(initEngine());
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "token_name", "TOK1", 0), 1);
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "key_name", "klucz", 0), 1);
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "user_pin", kUserPin, 0), 1);

    for (int command = 200; command <= 203; ++command) {
        EXPECT_EQ(ENGINE_ctrl(mEngine, command, 0, nullptr, nullptr), 0) << command;
    }
    EXPECT_EQ(ENGINE_ctrl(mEngine, 204, 0, const_cast<char*>("TOK2"), nullptr), 0);
    EXPECT_EQ(ENGINE_ctrl(mEngine, 199, 0, const_cast<char*>("TOK2"), nullptr), 0);

    PkeyPtr key(loadPrivate(nullptr));
    EXPECT_NE(key, nullptr) << readLog();
}

TEST_F(EngineTest, LongDefaultsAreCutAndThenMatchNothing)
{
    emu::TokenConfig config = configuredToken("ABCDEFGHIJ");
    config.userPin = "12345678";
    config.keys[0] = *emu::generateKeyPair(2560, "klucz");
    const int id = plug(config);
    ASSERT_TRUE(initEngine());

    // A PIN of nine or more octets keeps nine, of which loading uses eight.
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "user_pin", "123456789xyz", 0), 1);
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "key_name", "klucz", 0), 1);
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "token_name", "ABCDEFGHIJ", 0), 1);
    PkeyPtr key(loadPrivate(nullptr));
    EXPECT_NE(key, nullptr) << readLog();
    EXPECT_EQ(bus().token(id).snapshot().userPinTries, 0);

    // Eleven octets are kept whole: no prefix match with the ten-octet name.
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "token_name", "ABCDEFGHIJK", 0), 1);
    PkeyPtr none(loadPrivate(nullptr));
    EXPECT_EQ(none, nullptr);
    EXPECT_NE(readLog().find(":there is no device with specified name\n"), std::string::npos) << readLog();
}

TEST_F(EngineTest, InitWithoutTokensSucceedsAndLogs)
{
    ASSERT_TRUE(initEngine());
    finishEngine();
    EXPECT_EQ(maskedLog(),
              "  [T] >> engine initialization with 'dev_zr40nn_init' finished successfully\n"
              "  [T] >> engine 'dev_zr40nn' finished successfully\n");
}

TEST_F(EngineTest, InitFailsWhileASessionIsOpenAndGivesItsUserBack)
{
    DEV_ZR40NN_t* ut = plugAndRefresh(configuredToken("TOK1"));
    ASSERT_NE(ut, nullptr);
    ASSERT_EQ(DEV_ZR40NN_session_open(ut), 0);

    EXPECT_FALSE(initEngine());
    EXPECT_EQ(maskedLog(),
              "! [T] >> e_dev_zr40nn.cpp:dev_zr40nn_init:L:session could not be open (perhaps device "
              "was locked by other thread or application)\n");

    // Only the fixture's own user is left: finishing it frees the device list.
    ASSERT_EQ(DEV_ZR40NN_session_close(ut), 0);
    libFinish();
    EXPECT_EQ(DEV_ZR40NN_get_first(), nullptr);
}

TEST_F(EngineTest, FinishWipesThePin)
{
    const int id = plugTokenWithKeys("TOK1", 2560, { "klucz" });
    ASSERT_TRUE(initEngine());
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "user_pin", kUserPin, 0), 1);
    finishEngine();
    ASSERT_TRUE(initEngine());

    PromptScript script;
    script.result = -1;
    PkeyPtr key(loadPrivate("TOK1/klucz", &script));
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(script.prompts, 1);
    EXPECT_EQ(countCommands(id, 0x2F), 0);
}

TEST_F(EngineTest, SecondLogFileTakesOverAndAFailedOneStopsLogging)
{
    const std::string second = mDir + "/second.log";
    ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "log_file", second.c_str(), 0), 1);
    ASSERT_TRUE(initEngine());
    finishEngine();
    EXPECT_EQ(readLog(), "");
    std::ifstream in(second);
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_NE(line.find("engine initialization with 'dev_zr40nn_init' finished successfully"), std::string::npos);

    EXPECT_EQ(ENGINE_ctrl_cmd_string(mEngine, "log_file", (mDir + "/missing/x.log").c_str(), 0), 0);
    const auto sizeBefore = std::filesystem::file_size(second);
    ASSERT_TRUE(initEngine());
    finishEngine();
    EXPECT_EQ(std::filesystem::file_size(second), sizeBefore);
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
