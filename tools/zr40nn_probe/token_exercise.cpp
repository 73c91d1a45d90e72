#include "token_exercise.h"

#include "openssl_owner.h"
#include "token_report.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstdio>
#include <cstring>

namespace zr40nn::probe {

namespace {

constexpr const char* kName = "DEMO";
constexpr const char* kDemoSoPin = "12345678";
constexpr const char* kDemoUserPin = "1234";
constexpr unsigned char kUserPinId = 1;
constexpr int kLimit = 3;
constexpr int kSlot = 0;
constexpr const char* kKeyName = "probe-key";
constexpr const char* kMessage = "signed by zr40nn-probe";

void step(const char* what)
{
    std::printf("  - %s\n", what);
    std::fflush(stdout);
}

// The library's result, printed when it is a failure.
bool succeeded(DEV_ZR40NN_t* ut, int rc)
{
    if (rc < 0) {
        printFailure(ut, rc);
        return false;
    }
    return true;
}

bool configure(DEV_ZR40NN_t* ut)
{
    step("configuring: name \"DEMO\", SO PIN and user PIN, limits 3/3");
    // The record's fields are in wire form: zero-padded, a full PIN without a terminator.
    DEV_ZR40NN_conf_t& conf = ut->conf;
    conf = {};
    std::memcpy(conf.name, kName, std::strlen(kName));
    conf.so_pin_limit = kLimit;
    conf.user_pin_limit = kLimit;
    std::memcpy(conf.so_pin, kDemoSoPin, std::strlen(kDemoSoPin));
    std::memcpy(conf.user_pin, kDemoUserPin, std::strlen(kDemoUserPin));
    if (!succeeded(ut, DEV_ZR40NN_cmd_dev_conf(ut)) || !succeeded(ut, DEV_ZR40NN_cmd_read_dev_info(ut))) {
        return false;
    }
    std::printf("    state now 0x%02x (%s), name \"%s\"\n", ut->info.info, stateText(ut->info.info), ut->info.name);
    return true;
}

// The key in the slot, generated first when the slot is empty.
bool keyInSlot(DEV_ZR40NN_t* ut)
{
    if (!succeeded(ut, DEV_ZR40NN_cmd_read_key_info(ut, kSlot))) {
        return false;
    }
    if ((ut->keys[kSlot].info & DEV_ZR40NN_KEY_PRESENT) != 0) {
        std::printf("  - slot 0 already holds \"%s\"\n", ut->keys[kSlot].name);
        return true;
    }
    step("generating a key in slot 0");
    return succeeded(ut, DEV_ZR40NN_cmd_generate_key(ut, kDemoUserPin, kUserPinId, kKeyName, kSlot))
        && succeeded(ut, DEV_ZR40NN_cmd_read_key_info(ut, kSlot));
}

// Checks a DER ECDSA signature of the digest against the slot's public key.
bool verifies(const DEV_ZR40NN_key_info_t& key, const unsigned char* digest, std::size_t digestLength,
              const unsigned char* signature, std::size_t signatureLength)
{
    unsigned char spki[128];
    const int length = DEV_ZR40NN_subject_public_key_info(&key, spki, sizeof(spki));
    const unsigned char* in = spki;
    morvil::OpenSslOwner<EVP_PKEY, EVP_PKEY_free> publicKey(length > 0 ? d2i_PUBKEY(nullptr, &in, length) : nullptr);
    if (!publicKey) {
        return false;
    }
    morvil::OpenSslOwner<EVP_PKEY_CTX, EVP_PKEY_CTX_free> ctx(EVP_PKEY_CTX_new(publicKey.get(), nullptr));
    return ctx && EVP_PKEY_verify_init(ctx.get()) > 0
        && EVP_PKEY_verify(ctx.get(), signature, signatureLength, digest, digestLength) == 1;
}

} // namespace

bool exercise(DEV_ZR40NN_t* ut)
{
    if (ut->info.ecc_params == nullptr) {
        std::printf("  exercise:       skipped, the token's curve is not supported\n");
        return false;
    }
    if (ut->info.info == 0) {
        step("initialising");
        if (!succeeded(ut, DEV_ZR40NN_cmd_dev_init(ut)) || !succeeded(ut, DEV_ZR40NN_cmd_read_dev_info(ut))) {
            return false;
        }
    }
    if (ut->info.info == DEV_ZR40NN_INFO_INITIALISED && !configure(ut)) {
        return false;
    }
    if ((ut->info.info & (DEV_ZR40NN_INFO_CONFIGURED | DEV_ZR40NN_INFO_LOCKED)) != DEV_ZR40NN_INFO_CONFIGURED) {
        std::printf("  exercise:       skipped, the token is %s\n", stateText(ut->info.info));
        return false;
    }
    step("logging in with the user PIN");
    if (!succeeded(ut, DEV_ZR40NN_cmd_try_pin(ut, kDemoUserPin, kUserPinId)) || !keyInSlot(ut)) {
        return false;
    }
    const DEV_ZR40NN_key_info_t& key = ut->keys[kSlot];
    const int fo = key.ecc_params != nullptr ? key.ecc_params->field_octets : 0;
    std::printf("    public point X %s\n                 Y %s\n", hex(key.pub_x, fo).c_str(),
                hex(key.pub_y, fo).c_str());

    unsigned char digest[32];
    unsigned int digestLength = 0;
    EVP_Digest(kMessage, std::strlen(kMessage), digest, &digestLength, EVP_sha256(), nullptr);
    step("signing a SHA-256 digest");
    unsigned char signature[128];
    const int signatureLength = DEV_ZR40NN_cmd_ecdsa_sign(ut, kDemoUserPin, kSlot, signature, sizeof(signature), digest,
                                                          static_cast<int>(digestLength));
    if (!succeeded(ut, signatureLength)) {
        return false;
    }
    std::printf("    signature (%d octets) %s\n", signatureLength,
                hex(reinterpret_cast<const char*>(signature), signatureLength).c_str());
    const bool good = verifies(key, digest, digestLength, signature, static_cast<std::size_t>(signatureLength));
    std::printf("  - OpenSSL verification against the slot's public point: %s\n", good ? "good" : "BAD");
    return good;
}

} // namespace zr40nn::probe
