#include "tun_request.h"

#include "allowed_options.h"
#include "caller_rights.h"
#include "write_all.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace morvil::openvpn_tun {

namespace {

// The options of the management connection, which we set ourselves whatever the caller gives.
constexpr const char* kManagementFlags[] = { "management-client", "management-hold", "management-external-key" };

bool isManagementFlag(const std::string& name)
{
    return std::find(std::begin(kManagementFlags), std::end(kManagementFlags), name) != std::end(kManagementFlags);
}

bool socketPathUsable(const std::string& path)
{
    return path.starts_with('/') && path.size() < sizeof(sockaddr_un::sun_path)
        && std::none_of(path.begin(), path.end(), [](char c) { return std::iscntrl(static_cast<unsigned char>(c)); });
}

// Takes the option's value for a part of the request that may be given once, or sets error.
void takeOnce(const Option& option, std::string& into, std::string& error)
{
    if (!into.empty()) {
        error = "--" + option.name + " is given twice";
    } else {
        into = option.params[0];
    }
}

} // namespace

TunRequest readRequest(const std::vector<std::string>& args)
{
    TunRequest request;
    if (args.empty() || args[0].empty() || args[0].size() > 9
        || !std::all_of(args[0].begin(), args[0].end(),
                        [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
        request.error = "the first argument must be the process id of the caller";
        return request;
    }
    request.parent = static_cast<pid_t>(std::stol(args[0]));
    const Options given = readCommandLine({ args.begin() + 1, args.end() });
    request.error = given.error;
    for (const Option& option : given.list) {
        if (!request.error.empty()) {
            break;
        }
        if (option.name == "config") {
            if (option.params.size() != 1 || option.params[0].empty()) {
                request.error = "--config takes the configuration file";
            } else {
                takeOnce(option, request.configPath, request.error);
            }
        } else if (option.name == "management") {
            if (option.params.size() != 2 || option.params[1] != "unix" || !socketPathUsable(option.params[0])) {
                request.error = "--management takes the absolute path of the caller's socket and \"unix\"";
            } else {
                takeOnce(option, request.socketPath, request.error);
            }
        } else if (isManagementFlag(option.name) && option.params.empty()) {
            continue;
        } else if (std::string reason = refusal(option); !reason.empty()) {
            request.error = reason;
        } else {
            request.options.push_back(option);
        }
    }
    if (request.error.empty() && (request.configPath.empty() || request.socketPath.empty())) {
        request.error = "the command line needs --config FILE and --management SOCKET unix";
    }
    return request;
}

Options checkConfig(const std::string& text)
{
    Options options = readConfigText(text);
    for (const Option& option : options.list) {
        if (!options.error.empty()) {
            break;
        }
        if (std::string reason = refusal(option); !reason.empty()) {
            options.error = "line " + std::to_string(option.line) + ": " + reason;
        }
    }
    if (!options.error.empty()) {
        options.list.clear();
    }
    return options;
}

bool readAsCaller(const std::string& path, std::string& text, std::string& error)
{
    int fd = -1;
    {
        const CallerRights asCaller;
        // Non-blocking: a FIFO must not hold us; it is refused below as what is not a regular file.
        fd = asCaller.ok() ? open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC) : -1;
    }
    if (fd < 0) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info
    {
    };
    text.clear();
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (!ok) {
        error = path + " is not a regular file";
    }
    char buffer[8192];
    while (ok) {
        const ssize_t n = read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0) {
            break;
        }
        if (n < 0) {
            error = "cannot read " + path + ": " + std::strerror(errno);
            ok = false;
        } else if (text.size() + static_cast<std::size_t>(n) > kLargestFile) {
            error = path + " is larger than " + std::to_string(kLargestFile) + " octets";
            ok = false;
        } else {
            text.append(buffer, static_cast<std::size_t>(n));
        }
    }
    close(fd);
    return ok;
}

FileCopies::~FileCopies()
{
    for (int fd : mFds) {
        close(fd);
    }
}

std::string FileCopies::keep(int fd)
{
    mFds.push_back(fd);
    return "/dev/fd/" + std::to_string(fd);
}

std::string FileCopies::ofText(const std::string& text, std::string& error)
{
    // Not closed on exec: openvpn inherits it.
    const int fd = memfd_create("morvil_openvpn_tun", 0);
    if (fd < 0 || fchmod(fd, 0600) != 0 || !tools::writeAll(fd, text)) {
        error = std::string("cannot copy a file for openvpn: ") + std::strerror(errno);
        if (fd >= 0) {
            close(fd);
        }
        return {};
    }
    return keep(fd);
}

std::string FileCopies::ofSocket(const std::string& path, std::string& error)
{
    int fd = -1;
    int reason = 0;
    {
        const CallerRights asCaller;
        // Not closed on exec: openvpn connects through it.
        fd = asCaller.ok() ? open(path.c_str(), O_PATH) : -1;
        reason = errno;
    }
    if (fd < 0) {
        error = "cannot reach the management socket " + path + ": " + std::strerror(reason);
        return {};
    }
    struct stat info
    {
    };
    if (fstat(fd, &info) != 0 || !S_ISSOCK(info.st_mode) || info.st_uid != getuid()) {
        error = path + " is not a socket of the caller's";
        close(fd);
        return {};
    }
    return keep(fd);
}

std::string FileCopies::ofFile(const std::string& path, std::string& error)
{
    std::string text;
    return readAsCaller(path, text, error) ? ofText(text, error) : std::string();
}

std::vector<std::string> openVpnArgs(const std::vector<Option>& config, const TunRequest& request,
                                     const std::string& user, FileCopies& copies, std::string& error)
{
    error = notAClient(config, request.options);
    if (!error.empty()) {
        return {};
    }
    std::vector<std::string> args;
    std::vector<const Option*> all;
    for (const Option& option : config) {
        all.push_back(&option);
    }
    for (const Option& option : request.options) {
        all.push_back(&option);
    }
    for (const Option* option : all) {
        args.push_back("--" + option->name);
        for (std::size_t i = 0; i < option->params.size(); ++i) {
            if (i > 0 || !namesFile(option->name)) {
                args.push_back(option->params[i]);
                continue;
            }
            const std::string copy
                = option->isInline ? copies.ofText(option->params[0], error) : copies.ofFile(option->params[0], error);
            if (copy.empty()) {
                return {};
            }
            args.push_back(copy);
        }
    }
    const std::string socket = copies.ofSocket(request.socketPath, error);
    if (socket.empty()) {
        return {};
    }
    // Last, so that they hold whatever came before: no local port bound, no program run.
    args.insert(args.end(),
                { "--management", socket, "unix", "--management-client", "--management-client-user", user,
                  "--management-hold", "--management-external-key", "--nobind", "--script-security", "0" });
    return args;
}

} // namespace morvil::openvpn_tun
