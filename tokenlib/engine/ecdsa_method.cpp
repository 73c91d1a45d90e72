#include "engine_front.h"
#include "engine_log.h"
#include "key_handle.h"
#include "token_signing.h"
#include "wipe.h"

#include <openssl/err.h>

namespace zr40nn::engine {

namespace {

EC_KEY_METHOD* dev_zr40nn_ecdsa_method = nullptr;
int methodUsers = 0;

using SignSetup = int (*)(EC_KEY*, BN_CTX*, BIGNUM**, BIGNUM**);
using SignSig = ECDSA_SIG* (*)(const unsigned char*, int, const BIGNUM*, const BIGNUM*, EC_KEY*);

SignSetup softwareSignSetup() noexcept
{
    SignSetup setup = nullptr;
    EC_KEY_METHOD_get_sign(EC_KEY_OpenSSL(), nullptr, &setup, nullptr);
    return setup;
}

SignSig softwareSignSig() noexcept
{
    SignSig sign = nullptr;
    EC_KEY_METHOD_get_sign(EC_KEY_OpenSSL(), nullptr, nullptr, &sign);
    return sign;
}

bool isHandle(const EC_KEY* eckey) noexcept
{
    HandleContents contents;
    ScopedWipe wipe(&contents, sizeof(contents));
    return readKeyHandle(EC_KEY_get0_private_key(eckey), contents);
}

} // namespace

EC_KEY_METHOD* acquireEcdsaMethod() noexcept
{
    if (dev_zr40nn_ecdsa_method == nullptr) {
        // A copy of OpenSSL's method keeps its verification, key generation and ECDH; only
        // signing is ours, and the DER-producing sign of OpenSSL ends in our sign_sig.
        EC_KEY_METHOD* method = EC_KEY_METHOD_new(EC_KEY_OpenSSL());
        if (method == nullptr) {
            return nullptr;
        }
        int (*sign)(int, const unsigned char*, int, unsigned char*, unsigned int*, const BIGNUM*, const BIGNUM*,
                    EC_KEY*)
            = nullptr;
        EC_KEY_METHOD_get_sign(EC_KEY_OpenSSL(), &sign, nullptr, nullptr);
        EC_KEY_METHOD_set_sign(method, sign, dev_zr40nn_ecdsa_sign_setup, dev_zr40nn_ecdsa_do_sign);
        dev_zr40nn_ecdsa_method = method;
    }
    ++methodUsers;
    return dev_zr40nn_ecdsa_method;
}

bool releaseEcdsaMethod() noexcept
{
    if (methodUsers > 0 && --methodUsers == 0) {
        EC_KEY_METHOD_free(dev_zr40nn_ecdsa_method);
        dev_zr40nn_ecdsa_method = nullptr;
        return true;
    }
    return false;
}

int dev_zr40nn_ecdsa_sign_setup(EC_KEY* eckey, BN_CTX* ctx, BIGNUM** kinvp, BIGNUM** rp) noexcept
{
    // The token draws its own nonce: nothing to precompute for a handle.
    if (isHandle(eckey)) {
        return 1;
    }
    SignSetup setup = softwareSignSetup();
    return setup != nullptr ? setup(eckey, ctx, kinvp, rp) : 0;
}

ECDSA_SIG* dev_zr40nn_ecdsa_do_sign(const unsigned char* dgst, int dgst_len, const BIGNUM* kinv, const BIGNUM* rp,
                                    EC_KEY* eckey) noexcept
{
    const BIGNUM* priv = EC_KEY_get0_private_key(eckey);
    if (priv == nullptr) {
        DEV_ZR40NN_LOG_ERROR("dev_zr40nn_ecdsa_do_sign", "could not convert private key");
        return nullptr;
    }
    HandleContents handle;
    ScopedWipe wipe(&handle, sizeof(handle));
    if (!readKeyHandle(priv, handle)) {
        // Any other EC key (the engine may be everyone's default) is signed as OpenSSL would.
        SignSig sign = softwareSignSig();
        return sign != nullptr ? sign(dgst, dgst_len, kinv, rp, eckey) : nullptr;
    }
    ERR_set_mark();
    ECDSA_SIG* signature = signOnToken(dgst, dgst_len, handle);
    ERR_pop_to_mark();
    return signature;
}

} // namespace zr40nn::engine
