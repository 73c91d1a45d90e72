// The options openvpn may be given when it runs with privileges for a user who has none: those
// that the VPN client's connections use and a client connection plainly needs, with the values
// they take. Nothing here runs a program, loads code, reads more configuration, makes openvpn
// write a file, binds a local port, serves peers, or leaves the data channel in clear text; files
// that an option names (certificates, keys for the control channel) are read with the user's
// rights and handed to openvpn as copies.
#pragma once

#include "openvpn_options.h"

#include <string>
#include <vector>

namespace morvil::openvpn_tun {

// Why the option cannot be given (a sentence for the user), or empty when it can.
std::string refusal(const Option& option);

// Why openvpn, given the configuration's options and then the command line's, would not run as a
// client (which "client", or "pull" with "tls-client", makes it); empty when it would.
std::string notAClient(const std::vector<Option>& config, const std::vector<Option>& commandLine);

// Whether the option's first parameter names a file, or is the file's text when it comes inline.
bool namesFile(const std::string& name);

} // namespace morvil::openvpn_tun
