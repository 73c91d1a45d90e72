#include "engine_front.h"

#include "dev_zr40nn.h"
#include "dev_zr40nn_engine.h"
#include "engine_log.h"
#include "engine_state.h"
#include "key_loading.h"

#include <openssl/err.h>

#include <cstring>

namespace zr40nn::engine {

namespace {

const ENGINE_CMD_DEFN dev_zr40nn_cmd_defns[] = {
    { DEV_ZR40NN_CMD_LOG_FILE, "log_file", "Set log file to write engine messages", ENGINE_CMD_FLAG_STRING },
    { DEV_ZR40NN_CMD_TOKEN_NAME, "token_name", "Set token name which will be used by default", ENGINE_CMD_FLAG_STRING },
    { DEV_ZR40NN_CMD_KEY_NAME, "key_name", "Set key name which will be used by default", ENGINE_CMD_FLAG_STRING },
    { DEV_ZR40NN_CMD_USER_PIN, "user_pin", "Set User PIN which will be used for authentication",
      ENGINE_CMD_FLAG_STRING },
    { 0, nullptr, nullptr, 0 },
};

} // namespace

int dev_zr40nn_bind(ENGINE* e, const char* id) noexcept
{
    if (id != nullptr && std::strcmp(id, DEV_ZR40NN_ENGINE_ID) != 0) {
        return 0;
    }
    clearDefaults();
    EC_KEY_METHOD* method = acquireEcdsaMethod();
    if (method == nullptr) {
        return 0;
    }
    // ENGINE_by_id in OpenSSL 3.0 registers every listed engine without NO_REGISTER_ALL as a
    // candidate default (ENGINE_register_all_complete). This one would then take every new EC
    // key, initialise itself for it (a USB scan, a library user, the stored PIN) and stay
    // initialised to the end of the process. It is a default only where a program makes it one.
    const bool bound = ENGINE_set_id(e, DEV_ZR40NN_ENGINE_ID) && ENGINE_set_name(e, DEV_ZR40NN_ENGINE_NAME)
        && ENGINE_set_EC(e, method) && ENGINE_set_init_function(e, dev_zr40nn_init)
        && ENGINE_set_finish_function(e, dev_zr40nn_finish) && ENGINE_set_destroy_function(e, dev_zr40nn_destroy)
        && ENGINE_set_ctrl_function(e, dev_zr40nn_ctrl)
        && ENGINE_set_load_privkey_function(e, dev_zr40nn_load_private_key)
        && ENGINE_set_load_pubkey_function(e, dev_zr40nn_load_public_key)
        && ENGINE_set_cmd_defns(e, dev_zr40nn_cmd_defns) && ENGINE_set_flags(e, ENGINE_FLAGS_NO_REGISTER_ALL);
    if (!bound) {
        // Once the destroy function is in place, destroying the ENGINE gives the method back.
        if (ENGINE_get_destroy_function(e) != dev_zr40nn_destroy) {
            releaseEcdsaMethod();
        }
        return 0;
    }
    registerDigestNames();
    return 1;
}

int dev_zr40nn_init(ENGINE*) noexcept
{
    // Every initialisation counts as one user of the library, like DEV_ZR40NN_lib_init.
    DEV_ZR40NN_lib_init();
    int rc = DEV_ZR40NN_lib_find_devices();
    if (rc >= 0) {
        rc = DEV_ZR40NN_lib_actualize_devices();
    }
    if (rc < 0) {
        DEV_ZR40NN_LOG_ERROR("dev_zr40nn_init", DEV_ZR40NN_lib_error_desc(rc));
        // OpenSSL calls no finish after a failed init: give the user back here.
        DEV_ZR40NN_lib_finish();
        return 0;
    }
    logSuccess("engine initialization with 'dev_zr40nn_init' finished successfully");
    return 1;
}

int dev_zr40nn_finish(ENGINE*) noexcept
{
    clearDefaults();
    DEV_ZR40NN_lib_finish();
    logSuccess("engine 'dev_zr40nn' finished successfully");
    return 1;
}

int dev_zr40nn_destroy(ENGINE*) noexcept
{
    // A program that never finishes the engine still leaves no PIN behind.
    clearDefaults();
    // The log belongs to the engine, not to one ENGINE object: a second load's object is
    // destroyed at once while the listed one goes on logging. The last one closes it.
    if (releaseEcdsaMethod()) {
        closeLog();
    }
    return 1;
}

int dev_zr40nn_ctrl(ENGINE*, int cmd, long, void* p, void (*)()) noexcept
{
    const char* value = static_cast<const char*>(p);
    if (value == nullptr) {
        return 0;
    }
    switch (cmd) {
    case DEV_ZR40NN_CMD_LOG_FILE:
        return openLog(value) ? 1 : 0;
    case DEV_ZR40NN_CMD_TOKEN_NAME:
        setDefault(dev_zr40nn_token_name, value);
        return 1;
    case DEV_ZR40NN_CMD_KEY_NAME:
        setDefault(dev_zr40nn_key_name, value);
        return 1;
    case DEV_ZR40NN_CMD_USER_PIN:
        setUserPin(value);
        return 1;
    default:
        return 0;
    }
}

// Failures are reported in the engine's log and on the token's error stack; OpenSSL's error
// queue gets nothing from inside the loaders.
EVP_PKEY* dev_zr40nn_load_private_key(ENGINE* e, const char* key_id, UI_METHOD* ui_method, void* callback_data) noexcept
{
    ERR_set_mark();
    EVP_PKEY* key = loadPrivateKey(e, key_id, ui_method, callback_data);
    ERR_pop_to_mark();
    return key;
}

EVP_PKEY* dev_zr40nn_load_public_key(ENGINE*, const char* key_id, UI_METHOD*, void*) noexcept
{
    ERR_set_mark();
    EVP_PKEY* key = loadPublicKey(key_id);
    ERR_pop_to_mark();
    return key;
}

} // namespace zr40nn::engine

// Everything it calls is C or noexcept: nothing can throw across this C entry point.
extern "C" void ENGINE_load_dev_zr40nn(void)
{
    ENGINE* e = ENGINE_new();
    if (e == nullptr) {
        return;
    }
    if (zr40nn::engine::dev_zr40nn_bind(e, DEV_ZR40NN_ENGINE_ID)) {
        // A second load is refused by OpenSSL (one engine per id); that refusal is no error.
        ERR_set_mark();
        ENGINE_add(e);
        ERR_pop_to_mark();
    }
    ENGINE_free(e);
}
