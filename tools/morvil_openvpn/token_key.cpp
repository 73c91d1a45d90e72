#include "token_key.h"

#include "dev_zr40nn_engine.h"
#include "openssl_owner.h"

#include <openssl/crypto.h>
#include <openssl/ec.h>
#include <openssl/ecdsa.h>
#include <openssl/engine.h>
#include <openssl/err.h>
#include <openssl/evp.h>

namespace morvil::openvpn_tool {

struct TokenKey::Handles
{
    morvil::OpenSslOwner<ENGINE, ENGINE_free> engine; // the structural reference
    bool initialised = false; // a functional reference is held too
    morvil::OpenSslOwner<EVP_PKEY, EVP_PKEY_free> key;

    ~Handles()
    {
        key.reset();
        // The engine's finish wipes the PIN it kept.
        if (initialised) {
            ENGINE_finish(engine.get());
        }
    }
};

namespace {

std::string openSslError()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) {
        return {};
    }
    char text[256];
    ERR_error_string_n(code, text, sizeof(text));
    return std::string(": ") + text;
}

} // namespace

TokenKey::TokenKey(std::unique_ptr<Handles> handles)
    : mHandles(std::move(handles))
{
}

TokenKey::~TokenKey() = default;

std::unique_ptr<TokenKey> TokenKey::load(const EngineSetting& engine, const std::string& keyReference, const Pin& pin,
                                         std::string& error)
{
    ENGINE_load_dev_zr40nn();
    auto handles = std::make_unique<Handles>();
    handles->engine.reset(ENGINE_by_id(engine.id.c_str()));
    if (handles->engine == nullptr) {
        error = "the engine " + engine.id + " cannot be found" + openSslError();
        return nullptr;
    }
    for (const auto& [name, value] : engine.controls) {
        if (ENGINE_ctrl_cmd_string(handles->engine.get(), name.c_str(), value.c_str(), 0) != 1) {
            error = "the engine refused \"" + name + ":" + value + "\"" + openSslError();
            return nullptr;
        }
    }
    if (ENGINE_init(handles->engine.get()) != 1) {
        error = "the engine " + engine.id + " cannot start (is the token library usable?)" + openSslError();
        return nullptr;
    }
    handles->initialised = true;
    if (ENGINE_ctrl_cmd_string(handles->engine.get(), kPinControl, pin.c_str(), 0) != 1) {
        error = "the engine refused the PIN" + openSslError();
        return nullptr;
    }
    handles->key.reset(ENGINE_load_private_key(handles->engine.get(), keyReference.c_str(), nullptr, nullptr));
    if (handles->key == nullptr || EVP_PKEY_get0_EC_KEY(handles->key.get()) == nullptr) {
        ERR_clear_error();
        error = "the key \"" + keyReference
            + "\" cannot be loaded from the token: the token is missing, the key does not exist or the PIN is wrong"
              " (the engine log says which)";
        return nullptr;
    }
    return std::unique_ptr<TokenKey>(new TokenKey(std::move(handles)));
}

std::optional<Octets> TokenKey::sign(const Octets& digest) const
{
    EC_KEY* key = const_cast<EC_KEY*>(EVP_PKEY_get0_EC_KEY(mHandles->key.get()));
    Octets signature(static_cast<std::size_t>(ECDSA_size(key)));
    unsigned int length = 0;
    if (ECDSA_sign(0, digest.data(), static_cast<int>(digest.size()), signature.data(), &length, key) != 1) {
        ERR_clear_error();
        return std::nullopt;
    }
    signature.resize(length);
    return signature;
}

} // namespace morvil::openvpn_tool
