#include "key_loading.h"

#include "engine_log.h"
#include "engine_state.h"
#include "key_choice.h"
#include "key_handle.h"
#include "openssl_owner.h"
#include "pin_prompt.h"
#include "protocol.h"
#include "session_guard.h"
#include "wipe.h"

#include <openssl/x509.h>

#include <cstring>

namespace zr40nn::engine {

namespace {

// The user PIN for loading: the "user_pin" default when one was set, even an empty one (a token
// may well have an empty user PIN: the token decides), else the answer to a prompt through the
// caller's UI. Only a prompt that fails or is cancelled, or a caller with no UI to ask through,
// ends the loading before the token is asked.
bool takeUserPin(const char* function, UI_METHOD* ui, void* callbackData, char (&pin)[9]) noexcept
{
    if (dev_zr40nn_user_pin_set) {
        std::memcpy(pin, dev_zr40nn_user_pin, 8);
        pin[8] = '\0';
        return true;
    }
    if (!promptUserPin(ui, callbackData, pin)) {
        DEV_ZR40NN_LOG_ERROR(function, "user PIN was not given");
        return false;
    }
    return true;
}

// Checks the PIN on the token in a session of its own; the session is closed again however
// the check ends.
bool checkUserPin(const char* function, DEV_ZR40NN_t* token, const char* pin) noexcept
{
    zr40nn::ScopedSession session(token);
    if (session.openResult() < 0) {
        DEV_ZR40NN_LOG_ERROR(function, DEV_ZR40NN_lib_error_desc(session.openResult()));
        return false;
    }
    const int rc = DEV_ZR40NN_cmd_try_pin(token, pin, zr40nn::protocol::kUserPinId);
    if (rc < 0) {
        DEV_ZR40NN_LOG_ERROR(function, DEV_ZR40NN_lib_error_desc(rc), token);
        return false;
    }
    // A failed close has pushed its entry; the key is still good.
    return true;
}

// Decodes the handle into an EC key bound to the engine: a key decoded the ordinary way would
// belong to the default provider and be signed in software with the handle's fake secret.
EVP_PKEY* decodeHandle(ENGINE* e, const unsigned char* der, int length) noexcept
{
    morvil::OpenSslOwner<EC_KEY, EC_KEY_free> ecKey(EC_KEY_new_method(e));
    if (!ecKey) {
        return nullptr;
    }
    EC_KEY* target = ecKey.get();
    if (d2i_ECPrivateKey(&target, &der, length) == nullptr) {
        return nullptr;
    }
    morvil::OpenSslOwner<EVP_PKEY, EVP_PKEY_free> key(EVP_PKEY_new());
    if (!key || EVP_PKEY_assign_EC_KEY(key.get(), ecKey.get()) != 1) {
        return nullptr;
    }
    ecKey.release();
    return key.release();
}

} // namespace

EVP_PKEY* loadPrivateKey(ENGINE* e, const char* keyId, UI_METHOD* ui, void* callbackData) noexcept
{
    static constexpr const char* kFunction = "dev_zr40nn_load_private_key";
    KeyChoice choice;
    if (!chooseKey(kFunction, keyId, true, choice)) {
        return nullptr;
    }
    char pin[9];
    ScopedWipe wipePin(pin);
    if (!takeUserPin(kFunction, ui, callbackData, pin) || !checkUserPin(kFunction, choice.token, pin)) {
        return nullptr;
    }

    HandleDer der;
    ScopedWipe wipeDer(der.data(), der.size());
    const int length = encodeKeyHandle(choice.token->info.name, choice.slot, pin, choice.token->keys[choice.slot], der);
    EVP_PKEY* key = length > 0 ? decodeHandle(e, der.data(), length) : nullptr;
    if (key == nullptr) {
        DEV_ZR40NN_LOG_ERROR(kFunction, "OpenSSL internal error");
        return nullptr;
    }
    logSuccess("key loading with 'dev_zr40nn_load_private_key' finished successfully");
    return key;
}

EVP_PKEY* loadPublicKey(const char* keyId) noexcept
{
    static constexpr const char* kFunction = "dev_zr40nn_load_public_key";
    KeyChoice choice;
    if (!chooseKey(kFunction, keyId, false, choice)) {
        return nullptr;
    }
    unsigned char spki[128];
    const int length = DEV_ZR40NN_subject_public_key_info(&choice.token->keys[choice.slot], spki, sizeof(spki));
    const unsigned char* in = spki;
    EVP_PKEY* key = length > 0 ? d2i_PUBKEY(nullptr, &in, length) : nullptr;
    if (key == nullptr) {
        DEV_ZR40NN_LOG_ERROR(kFunction, "OpenSSL internal error");
        return nullptr;
    }
    logSuccess("key loading with 'dev_zr40nn_load_public_key' finished successfully");
    return key;
}

} // namespace zr40nn::engine
