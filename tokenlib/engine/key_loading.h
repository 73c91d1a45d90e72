// Loading token keys for OpenSSL: the private key as a key handle, or the slot's public key.
#pragma once

#include <openssl/engine.h>

namespace zr40nn::engine {

// keyId is "<token>/<key>", or null for the "token_name" and "key_name" defaults. The PIN is the
// "user_pin" default or, when none was set, asked through ui with callbackData; without a ui
// nobody is asked and no key comes back. The handle is an EC key of engine e, so that its
// signing always comes back to the engine.
EVP_PKEY* loadPrivateKey(ENGINE* e, const char* keyId, UI_METHOD* ui, void* callbackData) noexcept;

// The slot's public key; no session is opened and no PIN asked for.
EVP_PKEY* loadPublicKey(const char* keyId) noexcept;

} // namespace zr40nn::engine
