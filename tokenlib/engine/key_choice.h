// Finding the token and key slot that a key reference (or the defaults) names.
#pragma once

#include "dev_zr40nn.h"

namespace zr40nn::engine {

struct KeyChoice
{
    DEV_ZR40NN_t* token = nullptr;
    int slot = -1;
};

// Parses the reference, refreshes the device list and looks the token and slot up, logging
// each refusal under function. A refresh failure ends the search only when stopOnRefreshFailure.
// The slot found holds a generated key on a known curve.
bool chooseKey(const char* function, const char* keyId, bool stopOnRefreshFailure, KeyChoice& choice) noexcept;

} // namespace zr40nn::engine
