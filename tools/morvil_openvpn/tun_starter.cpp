#include "tun_starter.h"

#include "allowed_options.h"
#include "tun_request.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace morvil::openvpn_tool {

namespace {

// A tun device, as the VPN client asks for: "--dev null" (for tests) needs no privileges.
bool wantsTun(const std::vector<std::string>& args)
{
    const auto dev = std::find(args.begin(), args.end(), "--dev");
    return dev != args.end() && dev + 1 != args.end() && *(dev + 1) == "tun";
}

} // namespace

std::string tunStarter(const std::vector<std::string>& openVpnArgs, std::string& error)
{
    if (geteuid() == 0 || !wantsTun(openVpnArgs)) {
        return {};
    }
    std::error_code noSelf;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", noSelf);
    if (noSelf) {
        return {};
    }
    const std::string path
        = (self.parent_path() / ".." / MORVIL_TUN_DIR / "morvil_openvpn_tun").lexically_normal().string();
    // Anything else there (a copy of the build, say) could not make the device either.
    struct stat info
    {
    };
    const bool installed
        = stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == 0 && (info.st_mode & S_ISUID) != 0;
    if (!installed) {
        return {};
    }
    // Installed for a group (mode 4750) that this user is not in.
    if (access(path.c_str(), X_OK) != 0) {
        error = "this user may not start the privileged starter " + path + " (" + std::strerror(errno)
            + "), which openvpn needs to make a tun device for a user who is not root";
        return {};
    }
    return path;
}

std::string tunStarterRefusal(const std::string& configPath, const std::string& text,
                              const std::vector<std::string>& openVpnArgs)
{
    const openvpn_tun::Options config = openvpn_tun::checkConfig(text);
    if (!config.error.empty()) {
        return configPath + ": " + config.error;
    }
    const openvpn_tun::Options given = openvpn_tun::readCommandLine(openVpnArgs);
    if (!given.error.empty()) {
        return given.error;
    }
    for (const openvpn_tun::Option& option : given.list) {
        if (std::string reason = openvpn_tun::refusal(option); !reason.empty()) {
            return reason;
        }
    }
    return openvpn_tun::notAClient(config.list, given.list);
}

std::vector<std::string> throughTunStarter(const std::string& starter, const std::vector<std::string>& openVpnCommand)
{
    std::vector<std::string> command { starter, std::to_string(getpid()) };
    command.insert(command.end(), openVpnCommand.begin() + 1, openVpnCommand.end());
    return command;
}

} // namespace morvil::openvpn_tool
