// The engine's face towards OpenSSL: the bind and the callbacks it installs. Each callback is
// thin; the work is done by the key loading, signing, state and log files.
#pragma once

#include <openssl/ec.h>
#include <openssl/engine.h>

namespace zr40nn::engine {

// Fills e with the engine's identity, methods and control commands; 0 when id names another
// engine or a setter fails.
int dev_zr40nn_bind(ENGINE* e, const char* id) noexcept;

// OpenSSL calls these from C: none of them lets an exception out.
int dev_zr40nn_init(ENGINE* e) noexcept;
int dev_zr40nn_finish(ENGINE* e) noexcept;
int dev_zr40nn_destroy(ENGINE* e) noexcept;
int dev_zr40nn_ctrl(ENGINE* e, int cmd, long i, void* p, void (*f)()) noexcept;
EVP_PKEY* dev_zr40nn_load_private_key(ENGINE* e, const char* key_id, UI_METHOD* ui_method,
                                      void* callback_data) noexcept;
EVP_PKEY* dev_zr40nn_load_public_key(ENGINE* e, const char* key_id, UI_METHOD* ui_method, void* callback_data) noexcept;

// The ECDSA method: OpenSSL's own, except that keys which are handles sign on the token.
// Shared by every ENGINE object of the process, created by the first bind and freed when the
// last of them is destroyed; release says whether that was the last.
EC_KEY_METHOD* acquireEcdsaMethod() noexcept;
bool releaseEcdsaMethod() noexcept;

int dev_zr40nn_ecdsa_sign_setup(EC_KEY* eckey, BN_CTX* ctx, BIGNUM** kinvp, BIGNUM** rp) noexcept;
ECDSA_SIG* dev_zr40nn_ecdsa_do_sign(const unsigned char* dgst, int dgst_len, const BIGNUM* kinv, const BIGNUM* rp,
                                    EC_KEY* eckey) noexcept;

// Makes "ecdsa-with-sha1" ... "ecdsa-with-sha512" digest names of SHA-1 ... SHA-512.
void registerDigestNames() noexcept;

} // namespace zr40nn::engine
