#include "token_signing.h"

#include "engine_log.h"
#include "session_guard.h"

#include <algorithm>
#include <cstring>

namespace zr40nn::engine {

namespace {

constexpr const char* kFunction = "dev_zr40nn_ecdsa_do_sign";
constexpr int kMaxDigest = 64;

} // namespace

ECDSA_SIG* signOnToken(const unsigned char* digest, int digestLength, const HandleContents& handle) noexcept
{
    char tokenName[12] = {};
    std::memcpy(tokenName, handle.tokenName, sizeof(handle.tokenName));
    DEV_ZR40NN_t* token = DEV_ZR40NN_find_by_name(tokenName);
    if (token == nullptr) {
        DEV_ZR40NN_LOG_ERROR(kFunction, "could not find device");
        return nullptr;
    }
    zr40nn::ScopedSession session(token);
    if (session.openResult() < 0) {
        DEV_ZR40NN_LOG_ERROR(kFunction, DEV_ZR40NN_lib_error_desc(session.openResult()), token);
        return nullptr;
    }

    unsigned char signature[128];
    const int length = DEV_ZR40NN_cmd_ecdsa_sign(token, handle.pin, handle.slot, signature, sizeof(signature), digest,
                                                 std::clamp(digestLength, 0, kMaxDigest));
    if (length < 0) {
        DEV_ZR40NN_LOG_ERROR(kFunction, DEV_ZR40NN_lib_error_desc(length), token);
        return nullptr;
    }
    if (const int rc = session.close(); rc < 0) {
        DEV_ZR40NN_LOG_ERROR(kFunction, DEV_ZR40NN_lib_error_desc(rc), token);
        return nullptr;
    }

    const unsigned char* in = signature;
    ECDSA_SIG* result = d2i_ECDSA_SIG(nullptr, &in, std::min<int>(length, sizeof(signature)));
    if (result == nullptr) {
        DEV_ZR40NN_LOG_ERROR(kFunction, "could not convert device signature to OpenSSL ECDSA_SIG form");
        return nullptr;
    }
    logSuccess("ECDSA signature with 'dev_zr40nn_ecdsa_do_sign' finished successfully");
    return result;
}

} // namespace zr40nn::engine
