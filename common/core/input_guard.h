// Keeps the user's input out while the program waits for a command or a child process: the
// windows keep repainting and timers, sockets and child processes are served, but every key, click,
// wheel turn, drag or close request made meanwhile is dropped rather than handed out once the wait
// is over. A local event loop run with QEventLoop::ExcludeUserInputEvents only postpones input:
// the window system's events stay queued and reach the widgets afterwards, so a click made during
// one command starts the next. QtCore only, so the tool runner's core library can use it too.
#pragma once

#include <memory>

class QObject;

namespace morvil {

class InputGuard
{
public:
    // Drops input from now on (nothing when there is no application object).
    InputGuard();
    // Hands out, and so drops, what reached the program while the guard stood but had not come
    // through yet (window-system events are read in batches), then lets input through again.
    ~InputGuard();
    InputGuard(const InputGuard&) = delete;
    InputGuard& operator=(const InputGuard&) = delete;

private:
    std::unique_ptr<QObject> mFilter;
};

} // namespace morvil
