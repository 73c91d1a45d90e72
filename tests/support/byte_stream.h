// Octets of a fuzz input or a test script, taken one after another. Past the end every read gives
// 0 and takes nothing, so a short input simply ends what it drives.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zr40nn::test {

class ByteStream
{
public:
    ByteStream(const std::uint8_t* data, std::size_t size)
        : mData(data)
        , mSize(size)
    {
    }

    bool done() const { return mPos >= mSize; }
    // The next octet without taking it; -1 at the end.
    int peek() const { return mPos < mSize ? mData[mPos] : -1; }
    int next() { return mPos < mSize ? mData[mPos++] : 0; }
    // The next octet modulo `bound` (which must be positive).
    int next(int bound) { return next() % bound; }
    // Copies up to `n` octets into `out`; returns how many there were.
    std::size_t take(unsigned char* out, std::size_t n)
    {
        n = std::min(n, mSize - mPos);
        std::memcpy(out, mData + mPos, n);
        mPos += n;
        return n;
    }

private:
    const std::uint8_t* mData;
    std::size_t mSize;
    std::size_t mPos = 0;
};

} // namespace zr40nn::test
