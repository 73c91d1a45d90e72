// Fixture for the engine in-process: the token library's fixture (emulated tokens through the
// real libusb), plus the engine registered with a log file of its own per test, a scripted PIN
// prompt and helpers to plug tokens with keys.
#pragma once

#include "dev_zr40nn_engine.h"
#include "openssl_owner.h"
#include "token_crypto.h"
#include "token_fixture.h"

#include <openssl/ec.h>
#include <openssl/engine.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/ui.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <unistd.h>

namespace zr40nn::test {

using PkeyPtr = morvil::OpenSslOwner<EVP_PKEY, EVP_PKEY_free>;

inline EC_KEY* ecKeyOf(EVP_PKEY* key)
{
    return const_cast<EC_KEY*>(EVP_PKEY_get0_EC_KEY(key));
}

// The library's code for a token's error answer with that status.
inline int refusedWith(emu::Status status)
{
    return DEV_ZR40NN_ERR_DEV_BASE - static_cast<int>(status);
}

// An error record of an engine function as EngineTest::maskedLog shows it: with an engine
// message, or with the text of a library error code.
inline std::string errorRecord(const char* function, const std::string& message)
{
    return std::string("! [T] >> e_dev_zr40nn.cpp:") + function + ":L:" + message + "\n";
}

inline std::string errorRecord(const char* function, int code)
{
    return errorRecord(function, std::string(DEV_ZR40NN_lib_error_desc(code)));
}

// One entry of a token's error stack under an error record, as maskedLog shows it.
inline std::string stackEntry(const char* function, const std::string& message)
{
    return std::string("! \te_dev_zr40nn.cpp(L):") + function + ":" + message + "\n";
}

inline std::string stackEntry(const char* function, int code)
{
    return stackEntry(function, std::string(DEV_ZR40NN_lib_error_desc(code)));
}

// Has key sign a digest of that many octets through OpenSSL's ECDSA. False when no signature
// comes; otherwise whether it verifies (over at most the first 64 octets) against pub, if given.
inline bool signs(EVP_PKEY* key, std::size_t octets, EVP_PKEY* pub = nullptr)
{
    std::vector<unsigned char> digest(octets);
    for (std::size_t i = 0; i < octets; ++i) {
        digest[i] = static_cast<unsigned char>(i * 7 + octets);
    }
    ECDSA_SIG* sig = ECDSA_do_sign(digest.data(), static_cast<int>(octets), ecKeyOf(key));
    const int verified = sig == nullptr || pub == nullptr
        ? 1
        : ECDSA_do_verify(digest.data(), static_cast<int>(std::min<std::size_t>(octets, 64)), sig, ecKeyOf(pub));
    ECDSA_SIG_free(sig);
    return sig != nullptr && verified == 1;
}

// What the scripted prompt answers and what it saw. It is the loading's callback data, so a
// prompt that does not pass the caller's data on cannot answer.
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
        ASSERT_TRUE(ctrl("log_file", mLogPath.c_str()));
    }

    void TearDown() override
    {
        // The engine's library users go before the fixture finishes its own.
        while (mEngineInits > 0) {
            finishEngine();
        }
        ctrl("log_file", (mDir + "/gone/engine.log").c_str()); // no log until the next test opens one
        ENGINE_free(mEngine);
        std::filesystem::remove_all(mDir);
        TokenTest::TearDown();
    }

    bool initEngine()
    {
        const bool ok = ENGINE_init(mEngine) == 1;
        mEngineInits += ok ? 1 : 0;
        return ok;
    }

    void finishEngine()
    {
        ENGINE_finish(mEngine);
        --mEngineInits;
    }

    bool ctrl(const char* name, const char* value) { return ENGINE_ctrl_cmd_string(mEngine, name, value, 0) == 1; }

    // A configured token with the user PIN and a generated key in each named slot.
    int plugTokenWithKeys(const std::string& name, int curveId, const std::vector<std::string>& keyNames,
                          const char* userPin = kUserPin)
    {
        emu::TokenConfig config = configuredToken(name, curveId);
        config.userPin = userPin;
        for (std::size_t slot = 0; slot < keyNames.size(); ++slot) {
            config.keys[slot] = emu::generateKeyPair(curveId, keyNames[slot]).value();
        }
        return plug(config);
    }

    PkeyPtr loadPrivate(const char* keyId, PromptScript* script = nullptr)
    {
        return PkeyPtr(ENGINE_load_private_key(mEngine, keyId, script != nullptr ? promptMethod() : nullptr, script));
    }

    PkeyPtr loadPublic(const char* keyId) { return PkeyPtr(ENGINE_load_public_key(mEngine, keyId, nullptr, nullptr)); }

    // The slot's public key as the emulated token holds it.
    PkeyPtr slotPublicKey(int tokenId, int slot)
    {
        const emu::TokenConfig token = bus().token(tokenId).snapshot();
        std::vector<unsigned char> point { 0x04 };
        point.insert(point.end(), token.keys[slot].pubX.begin(), token.keys[slot].pubX.end());
        point.insert(point.end(), token.keys[slot].pubY.begin(), token.keys[slot].pubY.end());
        EC_KEY* ec = EC_KEY_new_by_curve_name(OBJ_sn2nid(emu::findCurve(token.curveId)->name));
        PkeyPtr key(EVP_PKEY_new());
        EXPECT_EQ(EC_KEY_oct2key(ec, point.data(), point.size(), nullptr), 1);
        EVP_PKEY_assign_EC_KEY(key.get(), ec);
        return key;
    }

    int countCommands(int tokenId, std::uint8_t code) { return commandCount(bus().token(tokenId), code); }

    void clearLog() const { std::filesystem::resize_file(mLogPath, 0); }

    // The log with time stamps shown as "[T]" and source lines as "(L)" and ":L:".
    std::string maskedLog() const
    {
        std::ostringstream text;
        text << std::ifstream(mLogPath).rdbuf();
        std::string log = std::regex_replace(text.str(), std::regex(R"(\[\d\d-\d\d-\d{4}\] \d\d:\d\d:\d\d)"), "[T]");
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
