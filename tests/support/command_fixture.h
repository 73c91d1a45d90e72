// Fixture for the token command tests: one emulated token, refreshed, with a session open.
#pragma once

#include "token_fixture.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace zr40nn::test {

using CommandTest = TokenTest;

// One 64-octet file table entry as the token stores it.
inline emu::Bytes tableEntry(int type, int size, const std::string& name, const std::vector<int>& sectors)
{
    emu::Bytes e(64, 0);
    e[0] = static_cast<std::uint8_t>(type);
    e[2] = static_cast<std::uint8_t>(size >> 8);
    e[3] = static_cast<std::uint8_t>(size);
    std::memcpy(e.data() + 4, name.data(), std::min<std::size_t>(name.size(), 28));
    for (std::size_t k = 0; k < sectors.size() && k < 32; ++k) {
        e[32 + k] = static_cast<std::uint8_t>(sectors[k]);
    }
    return e;
}

} // namespace zr40nn::test
