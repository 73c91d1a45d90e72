// One use of the token library: started (init, enumeration, refresh) on construction, finished on
// destruction, whether it started or not, so every init has its finish.
#pragma once

namespace morvil {

class LibraryUse
{
public:
    LibraryUse();
    ~LibraryUse();
    LibraryUse(const LibraryUse&) = delete;
    LibraryUse& operator=(const LibraryUse&) = delete;

    // False when init, enumeration or refresh failed.
    bool started() const { return mResult >= 0; }
    // The failed call's code, or the last call's result when all succeeded.
    int result() const { return mResult; }
    // The number of tokens the enumeration reported (0 until then, negative when it failed).
    int deviceCount() const { return mDeviceCount; }

private:
    int mResult = 0;
    int mDeviceCount = 0;
};

} // namespace morvil
