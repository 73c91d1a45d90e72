// A device record whose transport is two functions of the test: `write` takes each request and
// `read` gives its answer, with no USB behind them. Open and close have nothing to do.
#pragma once

#include "dev_zr40nn.h"

namespace zr40nn::test {

using ReadHook = int (*)(DEV_ZR40NN_t* ut, unsigned char* buf, int max, int timeout_ms);
using WriteHook = int (*)(DEV_ZR40NN_t* ut, const unsigned char* buf, int n);

// Fills `ut` as the device list would for a fresh token: all 16 file slots, these two hooks.
inline void attachHooks(DEV_ZR40NN_t& ut, ReadHook read, WriteHook write)
{
    ut.open = [](DEV_ZR40NN_t*) { return 0; };
    ut.close = [](DEV_ZR40NN_t*) { return 0; };
    ut.read = read;
    ut.write = write;
    ut.files_no = DEV_ZR40NN_FILES;
}

} // namespace zr40nn::test
