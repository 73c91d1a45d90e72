// What morvil_openvpn_tun is asked to do, checked: its command line (the caller's process id, then
// the command line that the caller would give openvpn itself), the configuration file it names,
// read with the caller's rights, and openvpn's command line made from both, in which every file
// that an option names is a copy of ours that the caller cannot change.
//
//   morvil_openvpn_tun PID --config FILE --management SOCKET unix [--management-client]
//                      [--management-hold] [--management-external-key] [openvpn options...]
#pragma once

#include "openvpn_options.h"

#include <sys/types.h>

#include <string>
#include <vector>

namespace morvil::openvpn_tun {

struct TunRequest
{
    pid_t parent = 0; // the process that started us, which we end with
    std::string configPath;
    std::string socketPath; // the caller's management socket, which openvpn connects to
    std::vector<Option> options; // the rest of the command line, each accepted
    std::string error; // set when the command line is refused
};

TunRequest readRequest(const std::vector<std::string>& args);

// The configuration's options, each accepted; or error set, with the line, at the first refused.
Options checkConfig(const std::string& text);

// The text of the file at path as the caller may read it (a regular file of at most kLargestFile
// octets); false with error set otherwise.
bool readAsCaller(const std::string& path, std::string& text, std::string& error);
inline constexpr std::size_t kLargestFile = 1 << 20;

// Copies of files in memory, and the caller's management socket as reached with the caller's
// rights, which openvpn inherits and opens as /dev/fd/N: once taken, what the caller does to the
// file, the socket's path or the folders on it is nothing to openvpn.
class FileCopies
{
public:
    FileCopies() = default;
    ~FileCopies();
    FileCopies(const FileCopies&) = delete;
    FileCopies& operator=(const FileCopies&) = delete;

    // The copy's name for openvpn; empty with error set when it cannot be made.
    std::string ofText(const std::string& text, std::string& error);
    std::string ofFile(const std::string& path, std::string& error);
    // A socket that the caller owns and can reach; root itself connects to nothing else.
    std::string ofSocket(const std::string& path, std::string& error);

private:
    std::string keep(int fd);

    std::vector<int> mFds;
};

// openvpn's arguments (without the program): the configuration's options, then the command line's,
// then the management connection to the caller's socket, which openvpn refuses unless user (the
// caller's name) listens on it, then no local port and no scripts. Empty with error set when the
// options do not make openvpn a client, or a file or the socket cannot be taken.
std::vector<std::string> openVpnArgs(const std::vector<Option>& config, const TunRequest& request,
                                     const std::string& user, FileCopies& copies, std::string& error);

} // namespace morvil::openvpn_tun
