#include "morvil_state.h"

int MorvilState(const DEV_ZR40NN_t* ut)
{
    const int flags = ut->info.info;
    if ((flags & kMorvilInfoLocked) != 0) {
        return kMorvilLocked;
    }
    if ((flags & kMorvilInfoConfigured) != 0) {
        return kMorvilConfigured;
    }
    return (flags & kMorvilInfoInitialised) != 0 ? kMorvilInitialised : kMorvilBlank;
}
