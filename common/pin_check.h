// Checking a user PIN on the token that holds a key (an authority's, a VPN connection's): one
// library start, one session, one PIN try, and the library finished again on every path. The check
// runs off the window's thread, the window waiting without input (morvil::runTokenWork).
#pragma once

#include <QByteArray>

enum class PinCheckOutcome
{
    Accepted,
    LibraryFailed, // starting or searching failed; libraryCode says why
    NoToken,
    Locked, // no try is spent on a locked token
    NotConfigured, // nor on one that is not configured
    WrongPin, // tries and limit as read back from the token after the failed try
};

struct PinCheck
{
    PinCheckOutcome outcome = PinCheckOutcome::LibraryFailed;
    int libraryCode = 0;
    int tries = 0;
    int limit = 0;
};

// tokenName and pin are UTF-8, NUL-terminated.
PinCheck checkUserPin(const char* tokenName, const char* pin);
