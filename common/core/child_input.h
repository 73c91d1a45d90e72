// A child process's whole standard input, put into a pipe of its own before the child starts and
// straight from the caller's buffer. QProcess::write would copy it into the process object's write
// buffer, which is freed unwiped once written: no place for a PIN.
#pragma once

#include <QByteArrayView>

#include <functional>

class QProcess;

namespace morvil {

class ChildInput
{
public:
    ChildInput() = default;
    ChildInput(const ChildInput&) = delete;
    ChildInput& operator=(const ChildInput&) = delete;
    ~ChildInput();

    // Puts all of input into a new pipe and closes the pipe's writing end, so the child reads
    // input and then its end. Input larger than a pipe holds is refused rather than waited for.
    bool fill(QByteArrayView input);
    // Makes the pipe the standard input of the child that `child` starts next. What the process
    // object was to do in the child before its program runs (a parent-death signal, say) is done
    // first, as before.
    void handTo(QProcess& child);
    // Once the child started (or failed to), the pipe is the child's alone and ends with it; the
    // process object does in its next child what it did before.
    void close();

private:
    int mRead = -1;
    int mWrite = -1;
    QProcess* mChild = nullptr;
    std::function<void()> mEarlier;
};

} // namespace morvil
