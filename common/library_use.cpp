#include "library_use.h"

#include "dev_zr40nn.h"

namespace morvil {

LibraryUse::LibraryUse()
{
    mResult = DEV_ZR40NN_lib_init();
    if (mResult >= 0) {
        mResult = mDeviceCount = DEV_ZR40NN_lib_find_devices();
    }
    if (mResult >= 0) {
        mResult = DEV_ZR40NN_lib_actualize_devices();
    }
}

LibraryUse::~LibraryUse()
{
    DEV_ZR40NN_lib_finish();
}

} // namespace morvil
