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
inline constexpr int kMorvilInfoInitialised = DEV_ZR40NN_INFO_INITIALISED;
inline constexpr int kMorvilInfoConfigured = DEV_ZR40NN_INFO_CONFIGURED;
inline constexpr int kMorvilInfoLocked = DEV_ZR40NN_INFO_LOCKED;
inline constexpr int kMorvilInfoSoMayNotChangeUserPin = DEV_ZR40NN_INFO_SO_MAY_NOT_CHANGE_USER_PIN;

// Locked wins over configured: a locked token offers nothing but unlocking.
int MorvilState(const DEV_ZR40NN_t* ut);
