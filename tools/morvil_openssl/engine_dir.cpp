#include "engine_dir.h"

#include <filesystem>
#include <system_error>

namespace morvil::openssl_tool {

std::string engineDirectory()
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return "../lib/morvil/engines";
    }
    return (self.parent_path() / ".." / "lib" / "morvil" / "engines").lexically_normal().string();
}

} // namespace morvil::openssl_tool
