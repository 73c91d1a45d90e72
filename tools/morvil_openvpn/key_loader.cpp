#include "key_loader.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace morvil::openvpn_tool {

KeyLoader::KeyLoader(EngineSetting engine, std::string keyReference, Pin pin)
{
    if (pipe2(mReady, O_CLOEXEC) != 0) {
        mError = "cannot make a pipe for the key loading";
        return;
    }
    // The thread takes no signals: they all go to the main thread, which watches them.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    mThread = std::thread(
        [this, engine = std::move(engine), keyReference = std::move(keyReference), pin = std::move(pin)]() mutable {
            mKey = TokenKey::load(engine, keyReference, pin, mError);
            pin = Pin();
            const char done = 1;
            [[maybe_unused]] const ssize_t written = write(mReady[1], &done, 1);
        });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

KeyLoader::~KeyLoader()
{
    wait();
    // The key goes before the engine state it uses is left to the process's end.
    mKey.reset();
    for (int fd : mReady) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

void KeyLoader::wait()
{
    if (mThread.joinable()) {
        mThread.join();
    }
}

const TokenKey* KeyLoader::key()
{
    wait();
    return mKey.get();
}

const std::string& KeyLoader::error()
{
    wait();
    return mError;
}

} // namespace morvil::openvpn_tool
