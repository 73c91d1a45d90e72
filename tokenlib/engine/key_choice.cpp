#include "key_choice.h"

#include "engine_log.h"
#include "engine_state.h"
#include "protocol.h"

#include <cstring>

namespace zr40nn::engine {

namespace {

constexpr std::size_t kMaxTokenName = 10;
constexpr std::size_t kMaxKeyName = 22;

struct KeyNames
{
    char token[12] = {};
    char key[24] = {};
};

bool parseReference(const char* function, const char* keyId, KeyNames& names) noexcept
{
    const char* slash = std::strchr(keyId, '/');
    if (slash == nullptr) {
        DEV_ZR40NN_LOG_ERROR(function,
                             "key name is not in the form <dev_name>/<key_name>, where <dev_name> has at most "
                             "10 characters and <key_name> has at most 22 characters");
        return false;
    }
    const std::size_t tokenLength = static_cast<std::size_t>(slash - keyId);
    if (tokenLength > kMaxTokenName) {
        DEV_ZR40NN_LOG_ERROR(function, "device name is too long, it must have at most 10 characters");
        return false;
    }
    const std::size_t keyLength = std::strlen(slash + 1);
    if (keyLength > kMaxKeyName) {
        DEV_ZR40NN_LOG_ERROR(function, "key name is too long, it must have at most 22 characters");
        return false;
    }
    std::memcpy(names.token, keyId, tokenLength);
    std::memcpy(names.key, slash + 1, keyLength);
    return true;
}

// The defaults are taken as they are: a name that fills its buffer simply matches nothing.
void takeDefaults(KeyNames& names) noexcept
{
    std::memcpy(names.token, dev_zr40nn_token_name, sizeof(dev_zr40nn_token_name));
    std::memcpy(names.key, dev_zr40nn_key_name, sizeof(dev_zr40nn_key_name));
}

bool refreshDevices(const char* function, bool stopOnFailure) noexcept
{
    int rc = DEV_ZR40NN_lib_find_devices();
    if (rc >= 0) {
        rc = DEV_ZR40NN_lib_actualize_devices();
    }
    if (rc < 0 && stopOnFailure) {
        DEV_ZR40NN_LOG_ERROR(function, DEV_ZR40NN_lib_error_desc(rc));
        return false;
    }
    return true;
}

} // namespace

bool chooseKey(const char* function, const char* keyId, bool stopOnRefreshFailure, KeyChoice& choice) noexcept
{
    KeyNames names;
    if (keyId != nullptr) {
        if (!parseReference(function, keyId, names)) {
            return false;
        }
    } else {
        takeDefaults(names);
    }
    if (!refreshDevices(function, stopOnRefreshFailure)) {
        return false;
    }

    DEV_ZR40NN_t* token = DEV_ZR40NN_find_by_name(names.token);
    if (token == nullptr) {
        DEV_ZR40NN_LOG_ERROR(function, "there is no device with specified name");
        return false;
    }
    const int slot = DEV_ZR40NN_find_key_by_name(token, names.key);
    if (slot < 0 || slot >= DEV_ZR40NN_KEY_SLOTS) {
        // The lookup has pushed "there is no key of given name" on the token's stack.
        DEV_ZR40NN_LOG_ERROR(function, DEV_ZR40NN_lib_error_desc(DEV_ZR40NN_ERR_UNDEFINED), token);
        return false;
    }
    // A slot is matched by name whatever its state; an empty slot or one on a curve we cannot
    // encode has no key to hand out.
    const DEV_ZR40NN_key_info_t& key = token->keys[slot];
    if ((key.info & zr40nn::protocol::kKeySlotUsed) == 0 || key.ecc_params == nullptr) {
        DEV_ZR40NN_LOG_ERROR(function,
                             DEV_ZR40NN_lib_error_desc(zr40nn::protocol::deviceError(zr40nn::protocol::kStatusKeyNotGenerated)));
        return false;
    }
    choice.token = token;
    choice.slot = slot;
    return true;
}

} // namespace zr40nn::engine
