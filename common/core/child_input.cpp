#include "child_input.h"

#include <QProcess>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace morvil {
namespace {

void closeEnd(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

} // namespace

ChildInput::~ChildInput()
{
    close();
}

bool ChildInput::fill(QByteArrayView input)
{
    close();
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return false;
    }
    mRead = ends[0];
    mWrite = ends[1];
    // Nothing reads yet: a write that does not fit must fail rather than wait.
    if (fcntl(mWrite, F_SETFL, O_NONBLOCK) != 0) {
        close();
        return false;
    }
    ssize_t written = 0;
    do {
        written = write(mWrite, input.data(), static_cast<std::size_t>(input.size()));
    } while (written < 0 && errno == EINTR);
    closeEnd(mWrite);
    if (written != input.size()) {
        close();
        return false;
    }
    return true;
}

void ChildInput::handTo(QProcess& child)
{
    mChild = &child;
    mEarlier = child.childProcessModifier();
    // Runs in the child between fork and exec, after QProcess set up its channels.
    child.setChildProcessModifier([earlier = mEarlier, fd = mRead] {
        if (earlier) {
            earlier();
        }
        dup2(fd, STDIN_FILENO);
    });
}

void ChildInput::close()
{
    closeEnd(mRead);
    closeEnd(mWrite);
    if (mChild != nullptr) {
        mChild->setChildProcessModifier(mEarlier);
        mChild = nullptr;
        mEarlier = {};
    }
}

} // namespace morvil
