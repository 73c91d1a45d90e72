// Loads the token key on a thread of its own while openvpn starts: the engine's device refreshes
// and the PIN check then overlap openvpn's start and first handshake steps, and the first
// signing request waits only for what is left of the loading.
#pragma once

#include "token_key.h"

#include <memory>
#include <string>
#include <thread>

namespace morvil::openvpn_tool {

class KeyLoader
{
public:
    // Starts loading; the PIN is taken over and wiped once the engine has it.
    KeyLoader(EngineSetting engine, std::string keyReference, Pin pin);
    ~KeyLoader();
    KeyLoader(const KeyLoader&) = delete;
    KeyLoader& operator=(const KeyLoader&) = delete;

    // Readable once the loading has ended, either way.
    int readyFd() const { return mReady[0]; }
    // Waits for the loading to end: the key, or null with error() saying why.
    const TokenKey* key();
    const std::string& error();

private:
    void wait();

    int mReady[2] = { -1, -1 };
    std::unique_ptr<TokenKey> mKey;
    std::string mError;
    std::thread mThread;
};

} // namespace morvil::openvpn_tool
