// Engine-wide defaults set by the control commands. Plain globals without a lock: one
// process uses the engine from one thread at a time, and every ENGINE object shares them.
#pragma once

#include <cstddef>

namespace zr40nn::engine {

extern char dev_zr40nn_token_name[11];
extern char dev_zr40nn_key_name[23];
extern char dev_zr40nn_user_pin[9];
// Whether "user_pin" was given since the last bind, finish or clearing. An empty PIN is a PIN
// (the token may have one): only an unset PIN sends key loading to the prompt.
extern bool dev_zr40nn_user_pin_set;

// Keeps the first sizeof(field) octets of value, zero-padded (the old content is wiped first).
template <std::size_t N> void setDefault(char (&field)[N], const char* value) noexcept;

// Keeps the user PIN as setDefault does and marks it set.
void setUserPin(const char* value) noexcept;

// Wipes the three defaults (the user PIN among them); the PIN is unset again.
void clearDefaults() noexcept;

} // namespace zr40nn::engine
