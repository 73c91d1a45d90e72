// Writing a whole text to a descriptor, however many pieces the kernel takes it in.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace morvil::tools {

// False when a write fails (errno says why) or writes nothing.
inline bool writeAll(int fd, std::string_view text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace morvil::tools
