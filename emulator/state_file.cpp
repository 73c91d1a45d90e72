// Saving and loading the state file as a whole; its text is state_text.cpp's.
#include "state_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace zr40nn::emu {
namespace {

void writeAll(int fd, const std::string& text, const std::string& path)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw StateFileError(path + ": cannot write: " + std::strerror(errno));
        }
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

std::vector<TokenConfig> loadStateFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw StateFileError(path + ": cannot open: " + std::strerror(errno));
    }
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad()) {
        throw StateFileError(path + ": cannot read");
    }
    return parseState(content.str(), path);
}

void saveStateFile(const std::string& path, const std::vector<TokenConfig>& tokens)
{
    const std::string text = formatState(tokens);
    // mkstemp creates the file readable by its owner only: it holds PINs and private keys.
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        throw StateFileError(path + ": cannot create a temporary file: " + std::strerror(errno));
    }
    try {
        writeAll(fd, text, temp);
        if (::fsync(fd) != 0) {
            throw StateFileError(temp + ": cannot flush: " + std::strerror(errno));
        }
    } catch (...) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw;
    }
    if (::close(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        ::unlink(temp.c_str());
        throw StateFileError(path + ": cannot replace: " + reason);
    }
}

} // namespace zr40nn::emu
