// How library code records a failure on a device's error stack.
#pragma once

#include "dev_zr40nn.h"
#include "protocol.h"

#include <new>

namespace zr40nn {

// Source name written into every entry; the line number is informative only.
inline constexpr const char* kSourceName = "e_dev_zr40nn.cpp";

// Appends "file(line):function:message\n" to the device's stack (no-op for a null device).
void pushError(DEV_ZR40NN_t* ut, const char* function, int line, const char* message);

// Runs `body` (which returns the call's result) so that no exception crosses the C interface: an
// allocation that fails, or anything else thrown, becomes `code` with an entry under `function`.
template <typename Body> int catchAtBoundary(DEV_ZR40NN_t* ut, const char* function, int code, Body&& body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        pushError(ut, function, __LINE__, protocol::kMsgNoAllocation);
    } catch (...) {
        pushError(ut, function, __LINE__, DEV_ZR40NN_lib_error_desc(code));
    }
    return code;
}

} // namespace zr40nn

#define DEV_ZR40NN_PUSH(ut, function, message) ::zr40nn::pushError((ut), (function), __LINE__, (message))
