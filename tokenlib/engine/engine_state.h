// Engine-wide defaults set by the control commands. Plain globals without a lock: one
// process uses the engine from one thread at a time, and every ENGINE object shares them.
#pragma once

#include <cstddef>

namespace zr40nn::engine {

extern char dev_zr40nn_token_name[11];
extern char dev_zr40nn_key_name[23];
extern char dev_zr40nn_user_pin[9];

// Keeps the first sizeof(field) octets of value, zero-padded (the old content is wiped first).
template <std::size_t N> void setDefault(char (&field)[N], const char* value) noexcept;

// Wipes the three defaults (the user PIN among them).
void clearDefaults() noexcept;

} // namespace zr40nn::engine
