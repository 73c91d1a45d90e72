// Looks through this process's own writable memory for a secret: what a buffer of ours may have
// left behind once it was freed. Give the secret as a string literal: literals lie in read-only
// memory, which is not searched, so the search never finds its own needle.
#pragma once

#include <QByteArrayView>

#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace morvil::test {

// Whether any writable mapping of this process but the main stack holds `secret`. The stack is left
// out: the vector registers that copied a secret keep it until reused, and the dynamic linker saves
// them there while it binds a function; such garbage is no buffer of ours. So are mappings of
// terabytes, a sanitizer's shadow memory: reserved, not used.
inline bool memoryHolds(QByteArrayView secret)
{
    FILE* maps = std::fopen("/proc/self/maps", "r");
    const int mem = ::open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
    if (maps == nullptr || mem < 0) {
        if (maps != nullptr) {
            std::fclose(maps);
        }
        return true; // cannot look: say the worst
    }
    // Read in pieces that overlap by the secret's length, so none is missed at a seam. The buffer
    // is wiped before it goes: a copy of what it found must not turn up in the next search.
    constexpr std::size_t kPiece = 1 << 20;
    constexpr unsigned long kReservation = 1UL << 40;
    std::vector<char> buffer(kPiece + static_cast<std::size_t>(secret.size()));
    bool found = false;
    char line[512];
    while (!found && std::fgets(line, sizeof(line), maps) != nullptr) {
        unsigned long start = 0;
        unsigned long end = 0;
        char perms[5] = {};
        if (std::sscanf(line, "%lx-%lx %4s", &start, &end, perms) != 3 || perms[0] != 'r' || perms[1] != 'w'
            || end - start > kReservation || std::strstr(line, "[stack]") != nullptr
            || std::strstr(line, "[vvar]") != nullptr || std::strstr(line, "[vsyscall]") != nullptr) {
            continue;
        }
        for (unsigned long at = start; !found && at < end; at += kPiece) {
            const std::size_t want = std::min<std::size_t>(buffer.size(), end - at);
            const ssize_t got = ::pread(mem, buffer.data(), want, static_cast<off_t>(at));
            if (got <= 0) {
                break;
            }
            found
                = std::search(buffer.data(), buffer.data() + got, secret.begin(), secret.end()) != buffer.data() + got;
        }
    }
    explicit_bzero(buffer.data(), buffer.size());
    ::close(mem);
    std::fclose(maps);
    return found;
}

} // namespace morvil::test
