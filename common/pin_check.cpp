#include "pin_check.h"

#include "dev_zr40nn.h"
#include "library_use.h"
#include "morvil_state.h"
#include "token_work.h"

namespace {

constexpr unsigned char kUserPinId = 1;

PinCheck checkOnToken(const char* tokenName, const char* pin)
{
    PinCheck check;
    const morvil::LibraryUse library;
    if (!library.started()) {
        check.libraryCode = library.result();
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

} // namespace

PinCheck checkUserPin(const char* tokenName, const char* pin)
{
    PinCheck check;
    morvil::runTokenWork([&] { check = checkOnToken(tokenName, pin); });
    return check;
}
