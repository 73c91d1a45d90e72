#include "token_transactions.h"

#include "admin_texts.h"
#include "dev_zr40nn_threads.h"
#include "morvil_state.h"
#include "transaction_steps.h"

#include <openssl/crypto.h>

#include <cstring>

namespace morvil::admin {
namespace {

// The field is zeroed already: a value of the field's full width goes in without a terminator.
void copyField(char* field, std::size_t width, const char* value)
{
    if (value != nullptr) {
        std::memcpy(field, value, strnlen(value, width));
    }
}

} // namespace

void fillConfiguration(DEV_ZR40NN_conf_t& conf, const char* name, int soPinLim, const char* soPin, int userPinLim,
                       const char* userPin, bool upcna)
{
    OPENSSL_cleanse(&conf, sizeof(conf));
    conf.info = upcna ? kMorvilInfoSoMayNotChangeUserPin : 0;
    copyField(conf.name, sizeof(conf.name), name);
    conf.so_pin_limit = soPinLim;
    conf.user_pin_limit = userPinLim;
    copyField(conf.so_pin, sizeof(conf.so_pin), soPin);
    copyField(conf.user_pin, sizeof(conf.user_pin), userPin);
}

void configureToken(DEV_ZR40NN_t* ut, FailureReport& report)
{
    {
        SessionScope session(ut);
        Steps steps(report);
        if (MorvilState(ut) == kMorvilBlank) {
            steps.run(DEV_ZR40NN_thread_cmd_dev_init(ut), kCommandCursor);
        }
        steps.run(DEV_ZR40NN_thread_cmd_read_dev_info(ut), kCommandCursor);
        if (!steps.failed() && MorvilState(ut) == kMorvilInitialised) {
            steps.run(DEV_ZR40NN_thread_cmd_dev_conf(ut), kCommandCursor);
        }
        steps.run(DEV_ZR40NN_thread_cmd_read_dev_info(ut), kCommandCursor);
    }
    // The library wipes what it sends; a configuration that was never sent is wiped here.
    OPENSSL_cleanse(&ut->conf, sizeof(ut->conf));
}

void unlockToken(DEV_ZR40NN_t* ut, const char* soPin, FailureReport& report)
{
    SessionScope session(ut);
    Steps steps(report);
    // A refused PIN does not stop the transaction: the read shows the counters it left.
    steps.run(DEV_ZR40NN_thread_cmd_dev_unlock(ut, soPin), kPinCheckCursor, false, text::wrongPin());
    steps.run(DEV_ZR40NN_thread_cmd_read_dev_info(ut), kPinCheckCursor);
}

bool loginToken(DEV_ZR40NN_t* ut, const char* pin, int pinId, FailureReport& report)
{
    SessionScope session(ut);
    Steps steps(report);
    const bool correct
        = steps.run(DEV_ZR40NN_thread_cmd_try_pin(ut, pin, pinId), kPinCheckCursor, false, text::wrongPin());
    steps.run(DEV_ZR40NN_thread_cmd_read_dev_info(ut), kPinCheckCursor);
    return correct;
}

void eraseToken(DEV_ZR40NN_t* ut, const char* soPin, FailureReport& report)
{
    SessionScope session(ut);
    Steps steps(report);
    steps.run(DEV_ZR40NN_thread_cmd_dev_erase(ut, soPin), kCommandCursor);
    steps.run(DEV_ZR40NN_thread_cmd_read_dev_info(ut), kCommandCursor);
}

void changeSoPin(DEV_ZR40NN_t* ut, const char* soPin, const char* newPin, FailureReport& report)
{
    SessionScope session(ut);
    Steps steps(report);
    steps.run(DEV_ZR40NN_thread_cmd_change_so_pin(ut, soPin, newPin), kCommandCursor);
    steps.run(DEV_ZR40NN_thread_cmd_read_dev_info(ut), kCommandCursor);
}

void changeUserPin(DEV_ZR40NN_t* ut, const char* pin, int pinId, const char* newPin, FailureReport& report)
{
    SessionScope session(ut);
    Steps steps(report);
    steps.run(DEV_ZR40NN_thread_cmd_change_user_pin(ut, pin, pinId, newPin), kCommandCursor);
    steps.run(DEV_ZR40NN_thread_cmd_read_dev_info(ut), kCommandCursor);
}

} // namespace morvil::admin
