// A session on one token for the length of a scope: opened on construction, closed on every path
// out unless it was closed (or never opened) before.
#pragma once

#include "dev_zr40nn.h"

namespace zr40nn {

class ScopedSession
{
public:
    explicit ScopedSession(DEV_ZR40NN_t* ut) noexcept
        : mUt(ut)
        , mOpened(DEV_ZR40NN_session_open(ut))
    {
    }

    ~ScopedSession() { close(); }

    ScopedSession(const ScopedSession&) = delete;
    ScopedSession& operator=(const ScopedSession&) = delete;

    // 0 when the session opened, else the code the open gave (the session is then not ours).
    int openResult() const noexcept { return mOpened; }

    // Closes the session now and gives the close's code; a session not open here gives 0. The
    // session counts as closed afterwards, whatever the close reported.
    int close() noexcept
    {
        if (mOpened != 0) {
            return 0;
        }
        mOpened = DEV_ZR40NN_ERR_SESSION_NOT_OPEN;
        return DEV_ZR40NN_session_close(mUt);
    }

private:
    DEV_ZR40NN_t* mUt;
    int mOpened;
};

} // namespace zr40nn
