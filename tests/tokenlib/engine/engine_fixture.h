// Fixture for the engine in-process: the token library's fixture (emulated tokens through the
// real libusb), plus the engine registered, a log file of its own per test, a scripted PIN
// prompt and helpers to plug tokens with keys.
#pragma once

#include "../fixture.h"
#include "dev_zr40nn_engine.h"
#include "token_crypto.h"

#include <openssl/ec.h>
#include <openssl/engine.h>
#include <openssl/evp.h>
#include <openssl/ui.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <unistd.h>

namespace zr40nn::test {

// The EC key inside an EVP_PKEY, for the ECDSA calls that want it writable.
inline EC_KEY* ecKeyOf(EVP_PKEY* key)
{
    return const_cast<EC_KEY*>(EVP_PKEY_get0_EC_KEY(key));
}

struct PkeyFree
{
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;

// What the scripted prompt answers, and what it saw. Passed as the callback data of a key
// loading, so a prompt that does not receive the caller's data cannot answer.
struct PromptScript
{
    std::string answer;
    int result = 1; // the reader's result: 1 answered, 0 error, -1 cancelled
    int prompts = 0;
    std::string promptText;
    int flags = 0;
    int maxSize = -1;
};

class EngineTest : public TokenTest
{
protected:
    static constexpr const char* kUserPin = "1234";

    void SetUp() override
    {
        TokenTest::SetUp();
        ENGINE_load_dev_zr40nn();
        mEngine = ENGINE_by_id(DEV_ZR40NN_ENGINE_ID);
        ASSERT_NE(mEngine, nullptr);
        char dir[] = "/tmp/zr40nn-engine-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        mDir = dir;
        mLogPath = mDir + "/engine.log";
        ASSERT_EQ(ENGINE_ctrl_cmd_string(mEngine, "log_file", mLogPath.c_str(), 0), 1);
    }

    void TearDown() override
    {
        // The engine's users of the library go before the fixture finishes its own.
        while (mEngineInits > 0) {
            finishEngine();
        }
        // No log from here on: the next test opens its own.
        ENGINE_ctrl_cmd_string(mEngine, "log_file", (mDir + "/gone/engine.log").c_str(), 0);
        ENGINE_free(mEngine);
        std::filesystem::remove_all(mDir);
        TokenTest::TearDown();
    }

    bool initEngine()
    {
        if (ENGINE_init(mEngine) != 1) {
            return false;
        }
        ++mEngineInits;
        return true;
    }

    void finishEngine()
    {
        ENGINE_finish(mEngine);
        --mEngineInits;
    }

    // A configured token with the user PIN kUserPin and a generated key in each named slot.
    int plugTokenWithKeys(const std::string& name, int curveId, const std::vector<std::string>& keyNames)
    {
        emu::TokenConfig config = configuredToken(name, curveId);
        config.userPin = kUserPin;
        for (std::size_t slot = 0; slot < keyNames.size(); ++slot) {
            std::optional<emu::KeySlot> key = emu::generateKeyPair(curveId, keyNames[slot]);
            EXPECT_TRUE(key.has_value());
            if (key) {
                config.keys[slot] = *key;
            }
        }
        return plug(config);
    }

    EVP_PKEY* loadPrivate(const char* keyId, PromptScript* script = nullptr)
    {
        return ENGINE_load_private_key(mEngine, keyId, script != nullptr ? promptMethod() : nullptr, script);
    }

    // The slot's public key as the token holds it, built from the emulator's own key slot.
    PkeyPtr slotPublicKey(int tokenId, int slot)
    {
        const emu::KeySlot key = bus().token(tokenId).snapshot().keys[slot];
        const int curveId = bus().token(tokenId).snapshot().curveId;
        const emu::CurveInfo* curve = emu::findCurve(curveId);
        if (curve == nullptr) {
            return nullptr;
        }
        std::unique_ptr<EC_KEY, decltype(&EC_KEY_free)> ec(EC_KEY_new_by_curve_name(OBJ_sn2nid(curve->name)),
                                                           EC_KEY_free);
        std::vector<unsigned char> point { 0x04 };
        point.insert(point.end(), key.pubX.begin(), key.pubX.end());
        point.insert(point.end(), key.pubY.begin(), key.pubY.end());
        if (!ec || EC_KEY_oct2key(ec.get(), point.data(), point.size(), nullptr) != 1) {
            return nullptr;
        }
        PkeyPtr pkey(EVP_PKEY_new());
        EVP_PKEY_set1_EC_KEY(pkey.get(), ec.get());
        return pkey;
    }

    int countCommands(int tokenId, std::uint8_t code)
    {
        int count = 0;
        for (std::uint8_t c : commandCodes(tokenId)) {
            count += c == code ? 1 : 0;
        }
        return count;
    }

    std::string readLog() const
    {
        std::ifstream in(mLogPath);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The log with its time stamps and source line numbers masked: "[T]" and "(L)" / ":L:".
    std::string maskedLog() const
    {
        std::string log = std::regex_replace(readLog(), std::regex(R"(\[\d\d-\d\d-\d{4}\] \d\d:\d\d:\d\d)"), "[T]");
        log = std::regex_replace(log, std::regex(R"(\(\d+\):)"), "(L):");
        return std::regex_replace(log, std::regex(R"(^(! \[T\] >> [^:]+:[^:]+):\d+:)", std::regex::multiline), "$1:L:");
    }

    static UI_METHOD* promptMethod()
    {
        static UI_METHOD* method = [] {
            UI_METHOD* m = UI_create_method("scripted PIN prompt");
            UI_method_set_reader(m, [](UI* ui, UI_STRING* uis) -> int {
                auto* script = static_cast<PromptScript*>(UI_get0_user_data(ui));
                if (script == nullptr || UI_get_string_type(uis) != UIT_PROMPT) {
                    return 0;
                }
                ++script->prompts;
                script->promptText = UI_get0_output_string(uis);
                script->flags = UI_get_input_flags(uis);
                script->maxSize = UI_get_result_maxsize(uis);
                if (script->result != 1) {
                    return script->result;
                }
                return UI_set_result(ui, uis, script->answer.c_str()) == 0 ? 1 : 0;
            });
            return m;
        }();
        return method;
    }

    ENGINE* mEngine = nullptr;
    int mEngineInits = 0;
    std::string mDir;
    std::string mLogPath;
};

} // namespace zr40nn::test
