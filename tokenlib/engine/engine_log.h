// The engine's log file: one text record per event, appended and flushed at once.
#pragma once

#include "dev_zr40nn.h"

namespace zr40nn::engine {

// Opens path for appending ("a+") and makes it the log; an earlier log is closed either way.
// False (and no log from then on) when the file cannot be opened.
bool openLog(const char* path) noexcept;

// Closes the log, if one is open; records are written nowhere until the next openLog.
void closeLog() noexcept;

// "  <time stamp> >> <message>"
void logSuccess(const char* message) noexcept;

// "! <time stamp> >> e_dev_zr40nn.cpp:<function>:<line>:<message>"; with a device, its error
// stack follows between two "!" lines, newest entry first, and is left empty.
void logError(const char* function, int line, const char* message, DEV_ZR40NN_t* device = nullptr) noexcept;

} // namespace zr40nn::engine

#define DEV_ZR40NN_LOG_ERROR(function, ...) ::zr40nn::engine::logError((function), __LINE__, __VA_ARGS__)
