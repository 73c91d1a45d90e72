// For a run with more privileges than the caller: while a CallerRights lives, the process acts
// with the caller's user and group (the real ones), so a file that the caller names is opened as
// the caller could open it, not as we could. In a run without privileges it changes nothing.
#pragma once

#include <sys/types.h>
#include <unistd.h>

namespace morvil::openvpn_tun {

class CallerRights
{
public:
    CallerRights()
        : mEuid(geteuid())
        , mEgid(getegid())
        , mTaken(mEuid != getuid() || mEgid != getgid())
    {
        if (mTaken) {
            mOk = setegid(getgid()) == 0 && seteuid(getuid()) == 0;
        }
    }
    ~CallerRights()
    {
        if (mTaken) {
            // The saved set-user-ID allows taking our own rights back.
            [[maybe_unused]] const int user = seteuid(mEuid);
            [[maybe_unused]] const int group = setegid(mEgid);
        }
    }
    CallerRights(const CallerRights&) = delete;
    CallerRights& operator=(const CallerRights&) = delete;

    // False when the caller's rights could not be taken: nothing may then be done for the caller.
    bool ok() const { return mOk; }

private:
    uid_t mEuid;
    gid_t mEgid;
    bool mTaken;
    bool mOk = true;
};

} // namespace morvil::openvpn_tun
