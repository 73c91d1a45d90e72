// The emulated tokens tests plug: blank ones, each with a serial number of its own so records can
// be told apart, and configured ones with known PINs and retry limits.
#pragma once

#include "token_model.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zr40nn::test {

inline constexpr const char* kSoPin = "87654321";
inline constexpr const char* kUserPin = "1234";
inline constexpr int kSoPinLimit = 5;
inline constexpr int kUserPinLimit = 3;

// Command codes as the token logs them, for the tests that count what a program asked of it.
inline constexpr std::uint8_t kTryPinCode = 0x2F;
inline constexpr std::uint8_t kSignCode = 0x49;

// How many commands with `code` the token received since its log was last cleared.
inline int commandCount(const emu::TokenModel& token, std::uint8_t code)
{
    const std::vector<emu::LogEntry> log = token.log();
    return static_cast<int>(
        std::count_if(log.begin(), log.end(), [code](const emu::LogEntry& entry) { return entry.code == code; }));
}

// A blank token (state 0x00).
inline emu::TokenConfig blankToken()
{
    static int serial = 0;
    emu::TokenConfig config;
    char text[32];
    std::snprintf(text, sizeof(text), "ZR40NN-T%04d", ++serial);
    config.serial = text;
    return config;
}

// A configured, usable token (state 0x02).
inline emu::TokenConfig configuredToken(const std::string& name, int curveId = 2560)
{
    emu::TokenConfig config = blankToken();
    config.state = emu::kInitialised | emu::kConfigured;
    config.name = name;
    config.curveId = curveId;
    config.soPin = kSoPin;
    config.userPin = kUserPin;
    config.soPinLimit = kSoPinLimit;
    config.userPinLimit = kUserPinLimit;
    return config;
}

} // namespace zr40nn::test
