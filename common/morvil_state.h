// The token state the programs derive from the information flags of a device record.
#pragma once

#include "dev_zr40nn.h"

// Token states: only a configured token has keys, files and logins.
enum MorvilTokenState
{
    kMorvilBlank = 0,
    kMorvilInitialised = 1,
    kMorvilConfigured = 2,
    kMorvilLocked = 3,
};

// Information flags the state is read from.
inline constexpr int kMorvilInfoInitialised = 0x01;
inline constexpr int kMorvilInfoConfigured = 0x02;
inline constexpr int kMorvilInfoLocked = 0x04;
inline constexpr int kMorvilInfoSoMayNotChangeUserPin = 0x10;

// Locked wins over configured: a locked token offers nothing but unlocking.
int MorvilState(const DEV_ZR40NN_t* ut);
