// The connection's configuration file as openvpn gets it: the token key reference taken out of
// its "key" line, and, when this program runs with more privileges than its caller, the
// directives that would run programs or write files for the caller refused.
#pragma once

#include <string>
#include <vector>

namespace morvil::openvpn_tool {

struct ConnectionConfig
{
    std::string text; // the configuration without its key lines
    std::string keyReference; // "token/key" from the last key line; empty when there is none
    std::string error; // set when the configuration is refused
};

// With privileged set, a directive that runs a program, loads a plugin, reads another
// configuration or writes a file is refused (see kPrivilegedRefusals).
ConnectionConfig prepareConfig(const std::string& text, bool privileged);

// When an openvpn option (without its "--") cannot be accepted from an unprivileged caller, the
// reason; empty otherwise. value is the option's first argument, if any.
std::string privilegedRefusal(const std::string& option, const std::string& value);

// Command-line options for openvpn checked the same way: the first refused one's reason.
std::string refusedArgument(const std::vector<std::string>& openVpnArgs);

} // namespace morvil::openvpn_tool
