#include "private_dir.h"

#include "write_all.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace morvil::openvpn_tool {

PrivateDir::~PrivateDir()
{
    if (!mPath.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(mPath, ignored);
    }
}

bool PrivateDir::make(std::string& error)
{
    // secure_getenv: a caller cannot steer a privileged run to a directory of its choice.
    const char* tmp = secure_getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp == '/' ? tmp : "/tmp") + "/morvil_openvpn-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
        error = "cannot make a private directory in " + pattern + ": " + std::strerror(errno);
        return false;
    }
    mPath = name.data();
    return true;
}

bool PrivateDir::writeFile(const std::string& name, const std::string& text, std::string& error) const
{
    const std::string path = mPath + "/" + name;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const bool ok = fd >= 0 && tools::writeAll(fd, text);
    if (!ok) {
        error = "cannot write " + path + ": " + std::strerror(errno);
    }
    if (fd >= 0) {
        close(fd);
    }
    return ok;
}

} // namespace morvil::openvpn_tool
