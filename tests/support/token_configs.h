// The emulated tokens tests plug: blank ones, each with a serial number of its own so records can
// be told apart, and configured ones with known PINs and retry limits.
#pragma once

#include "token_model.h"

#include <cstdio>
#include <string>

namespace zr40nn::test {

inline constexpr const char* kSoPin = "87654321";
inline constexpr const char* kUserPin = "1234";
inline constexpr int kSoPinLimit = 5;
inline constexpr int kUserPinLimit = 3;

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
