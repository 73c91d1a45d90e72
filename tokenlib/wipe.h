// Wiping of buffers that held secrets (PINs, frames carrying PINs).
#pragma once

#include <openssl/crypto.h>

#include <cstddef>

namespace zr40nn {

// Cleanses a buffer when the scope ends, whichever path leaves it.
class ScopedWipe
{
public:
    ScopedWipe(void* buffer, std::size_t size) noexcept
        : mBuffer(buffer)
        , mSize(size)
    {
    }

    template <typename T, std::size_t N>
    explicit ScopedWipe(T (&array)[N]) noexcept
        : ScopedWipe(array, sizeof(array))
    {
    }

    ~ScopedWipe()
    {
        if (mBuffer != nullptr && mSize > 0) {
            OPENSSL_cleanse(mBuffer, mSize);
        }
    }

    ScopedWipe(const ScopedWipe&) = delete;
    ScopedWipe& operator=(const ScopedWipe&) = delete;

private:
    void* mBuffer;
    std::size_t mSize;
};

} // namespace zr40nn
