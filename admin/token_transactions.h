// The device transactions of a token node, free of widgets: open the session, run the commands
// one worker at a time, report each failing step once, close the session. What follows (refresh,
// forced logout) belongs to the node. Tests call these directly.
#pragma once

#include "dev_zr40nn.h"

#include <QString>
#include <Qt>

namespace morvil::admin {

// PIN ids of the token.
inline constexpr int kSoPinId = 0;
inline constexpr int kUserPinId = 1;

// The user waits on most commands; the PIN checks of the logins and of unlocking, and the reads
// that follow them, keep the arrow.
inline constexpr Qt::CursorShape kCommandCursor = Qt::WaitCursor;
inline constexpr Qt::CursorShape kPinCheckCursor = Qt::ArrowCursor;

// Receives the text of every failing step, at once, in order.
class FailureReport
{
public:
    virtual ~FailureReport() = default;
    virtual void failed(const QString& text) = 0;
};

// Fills the configuration a blank token receives; the record is zeroed first. Name and PINs are
// cut to their fields, NUL-filled after shorter values.
void fillConfiguration(DEV_ZR40NN_conf_t& conf, const char* name, int soPinLim, const char* soPin, int userPinLim,
                       const char* userPin, bool upcna);

// Initialises a blank token, then configures an initialised one, from the record's conf, which is
// wiped on every path out.
void configureToken(DEV_ZR40NN_t* ut, FailureReport& report);
// Tries the administrator PIN on a locked token; the information is read again in any case.
void unlockToken(DEV_ZR40NN_t* ut, const char* soPin, FailureReport& report);
// Tries a PIN and reads the information again; true when the token accepted the PIN.
bool loginToken(DEV_ZR40NN_t* ut, const char* pin, int pinId, FailureReport& report);
void eraseToken(DEV_ZR40NN_t* ut, const char* soPin, FailureReport& report);
void changeSoPin(DEV_ZR40NN_t* ut, const char* soPin, const char* newPin, FailureReport& report);
void changeUserPin(DEV_ZR40NN_t* ut, const char* pin, int pinId, const char* newPin, FailureReport& report);

} // namespace morvil::admin
