// How library code records a failure on a device's error stack.
#pragma once

#include "dev_zr40nn.h"

namespace zr40nn {

// Source name written into every entry; the line number is informative only.
inline constexpr const char* kSourceName = "e_dev_zr40nn.cpp";

// Appends "file(line):function:message\n" to the device's stack (no-op for a null device).
void pushError(DEV_ZR40NN_t* ut, const char* function, int line, const char* message);

} // namespace zr40nn

#define DEV_ZR40NN_PUSH(ut, function, message) ::zr40nn::pushError((ut), (function), __LINE__, (message))
