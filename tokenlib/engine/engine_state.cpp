#include "engine_state.h"

#include <openssl/crypto.h>

#include <cstring>

namespace zr40nn::engine {

char dev_zr40nn_token_name[11];
char dev_zr40nn_key_name[23];
char dev_zr40nn_user_pin[9];
bool dev_zr40nn_user_pin_set = false;

template <std::size_t N> void setDefault(char (&field)[N], const char* value) noexcept
{
    OPENSSL_cleanse(field, N);
    // A value that fills the field stays unterminated: a name that long matches no token or slot.
    std::memcpy(field, value, strnlen(value, N));
}

template void setDefault(char (&)[11], const char*) noexcept;
template void setDefault(char (&)[23], const char*) noexcept;
template void setDefault(char (&)[9], const char*) noexcept;

void setUserPin(const char* value) noexcept
{
    setDefault(dev_zr40nn_user_pin, value);
    dev_zr40nn_user_pin_set = true;
}

void clearDefaults() noexcept
{
    dev_zr40nn_user_pin_set = false;
    OPENSSL_cleanse(dev_zr40nn_token_name, sizeof(dev_zr40nn_token_name));
    OPENSSL_cleanse(dev_zr40nn_key_name, sizeof(dev_zr40nn_key_name));
    OPENSSL_cleanse(dev_zr40nn_user_pin, sizeof(dev_zr40nn_user_pin));
}

} // namespace zr40nn::engine
