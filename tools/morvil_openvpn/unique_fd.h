// A file descriptor that is closed when its owner goes.
#pragma once

#include <unistd.h>

namespace morvil::openvpn_tool {

class UniqueFd
{
public:
    explicit UniqueFd(int fd = -1)
        : mFd(fd)
    {
    }
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return mFd; }
    void reset(int fd = -1)
    {
        if (mFd >= 0) {
            close(mFd);
        }
        mFd = fd;
    }

private:
    int mFd;
};

} // namespace morvil::openvpn_tool
