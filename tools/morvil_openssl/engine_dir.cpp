#include "engine_dir.h"

#include <filesystem>
#include <system_error>

namespace morvil::openssl_tool {

std::string engineDirectory()
{
    const std::filesystem::path fromBin = std::filesystem::path("..") / MORVIL_ENGINES_DIR;
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return fromBin.string();
    }
    return (self.parent_path() / fromBin).lexically_normal().string();
}

} // namespace morvil::openssl_tool
