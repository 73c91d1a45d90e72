// Owners for the OpenSSL objects the engine creates.
#pragma once

#include <openssl/ec.h>
#include <openssl/evp.h>

#include <memory>

namespace zr40nn::engine {

struct EcKeyFree
{
    void operator()(EC_KEY* key) const noexcept { EC_KEY_free(key); }
};

struct EvpPkeyFree
{
    void operator()(EVP_PKEY* key) const noexcept { EVP_PKEY_free(key); }
};

using EcKeyPtr = std::unique_ptr<EC_KEY, EcKeyFree>;
using EvpPkeyPtr = std::unique_ptr<EVP_PKEY, EvpPkeyFree>;

} // namespace zr40nn::engine
