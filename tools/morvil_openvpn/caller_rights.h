// For a run with more privileges than the caller: while a CallerRights lives, the process acts
// with the caller's user and group (the real ones), so a file that the caller names, such as the
// engine's log, is opened as the caller could open it, not as we could.
#pragma once

#include <sys/types.h>
#include <unistd.h>

namespace morvil::openvpn_tool {

class CallerRights
{
public:
    // Does nothing unless privileged.
    explicit CallerRights(bool privileged)
    {
        if (privileged) {
            mEuid = geteuid();
            mEgid = getegid();
            mOk = setegid(getgid()) == 0 && seteuid(getuid()) == 0;
            mTaken = true;
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
    bool mTaken = false;
    bool mOk = true;
    uid_t mEuid = 0;
    gid_t mEgid = 0;
};

} // namespace morvil::openvpn_tool
