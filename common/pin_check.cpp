#include "pin_check.h"

#include "dev_zr40nn.h"
#include "morvil_state.h"

namespace {

constexpr unsigned char kUserPinId = 1;

// Finishes the library when the check is over, whichever way it ends.
class LibraryUse
{
public:
    LibraryUse() = default;
    ~LibraryUse() { DEV_ZR40NN_lib_finish(); }
    LibraryUse(const LibraryUse&) = delete;
    LibraryUse& operator=(const LibraryUse&) = delete;
};

} // namespace

PinCheck checkUserPin(const char* tokenName, const char* pin)
{
    PinCheck check;
    LibraryUse library;
    int code = DEV_ZR40NN_lib_init();
    if (code >= 0) {
        code = DEV_ZR40NN_lib_find_devices();
    }
    if (code >= 0) {
        code = DEV_ZR40NN_lib_actualize_devices();
    }
    if (code < 0) {
        check.libraryCode = code;
        return check;
    }
    DEV_ZR40NN_t* ut = DEV_ZR40NN_find_by_name(tokenName);
    if (ut == nullptr) {
        check.outcome = PinCheckOutcome::NoToken;
        return check;
    }
    const int state = MorvilState(ut);
    if (state != kMorvilConfigured) {
        check.outcome = state == kMorvilLocked ? PinCheckOutcome::Locked : PinCheckOutcome::NotConfigured;
        return check;
    }
    DEV_ZR40NN_session_open(ut);
    if (DEV_ZR40NN_cmd_try_pin(ut, pin, kUserPinId) < 0) {
        DEV_ZR40NN_cmd_read_dev_info(ut);
        check.outcome = PinCheckOutcome::WrongPin;
        check.tries = ut->info.user_pin_trys;
        check.limit = ut->info.user_pin_limit;
    } else {
        check.outcome = PinCheckOutcome::Accepted;
    }
    DEV_ZR40NN_session_close(ut);
    return check;
}
