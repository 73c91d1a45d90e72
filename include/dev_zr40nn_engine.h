/* The OpenSSL engine "dev_zr40nn": signing with DEV-ZR40NN token keys from OpenSSL.
 *
 * Programs that link the engine in register it with ENGINE_load_dev_zr40nn(), right after
 * ENGINE_load_builtin_engines(); from then on ENGINE_by_id("dev_zr40nn") finds it. The same
 * sources are also built as the module dev_zr40nn.so, which the openssl program loads by id
 * when OPENSSL_ENGINES names its directory.
 *
 * Keys are named "<token name>/<key name>" (token name at most 10 octets, key name at most 22).
 * Loading a private key checks the user PIN on the token; the PIN comes from the "user_pin"
 * control command or, when that is empty, from the caller's UI method (so "-passin" works). */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#define DEV_ZR40NN_ENGINE_ID "dev_zr40nn"
#define DEV_ZR40NN_ENGINE_NAME "Brenvar Morvil DEV-ZR40NN engine support"

/* Control commands; each takes a string (ENGINE_ctrl_cmd_string with the names in quotes). */
#define DEV_ZR40NN_CMD_LOG_FILE 200 /* "log_file": append engine records to this file */
#define DEV_ZR40NN_CMD_TOKEN_NAME 201 /* "token_name": default token for key loading */
#define DEV_ZR40NN_CMD_KEY_NAME 202 /* "key_name": default key for key loading */
#define DEV_ZR40NN_CMD_USER_PIN 203 /* "user_pin": user PIN for key loading */

/* Creates the engine, binds it and adds it to OpenSSL's engine list. A second call adds
 * nothing (OpenSSL keeps one engine per id) but clears the defaults again. */
void ENGINE_load_dev_zr40nn(void);

#ifdef __cplusplus
}
#endif
