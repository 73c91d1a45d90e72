// Work that blocks, such as a token library call, done on a thread of its own while this thread
// waits for it under an InputGuard: the windows keep repainting and timers, sockets and child
// processes are served, but what the user does meanwhile is dropped. Calling such work here
// instead would leave the window dead and let the window system replay the input once it is over.
// As this thread only waits, the worker is the one thread in the library while it runs.
#pragma once

#include <functional>

class QThread;

namespace morvil {

// Starts `worker` and returns once it has finished.
void waitGuarded(QThread& worker);

// Runs `work` on a new thread, waiting for it as waitGuarded() does.
void runGuarded(const std::function<void()>& work);

} // namespace morvil
