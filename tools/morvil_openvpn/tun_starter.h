// Whether openvpn starts through morvil_openvpn_tun, which makes a user who is not root able to
// have openvpn make its tun device: only when an administrator installed it set-user-ID root
// beside us. Root, and a connection without a tun device, start openvpn themselves.
#pragma once

#include <string>
#include <vector>

namespace morvil::openvpn_tool {

// <our directory>/../MORVIL_TUN_DIR/morvil_openvpn_tun when openvpn, with these arguments, must
// start through it; empty otherwise, with error set when it must but this user may not run it.
std::string tunStarter(const std::vector<std::string>& openVpnArgs, std::string& error);

// Why the starter would refuse the configuration (text, read from configPath) or openvpn's
// arguments; empty when it would not. Told before the token is asked for anything.
std::string tunStarterRefusal(const std::string& configPath, const std::string& text,
                              const std::vector<std::string>& openVpnArgs);

// openvpn's command (argv[0] first) as the starter runs it for us.
std::vector<std::string> throughTunStarter(const std::string& starter, const std::vector<std::string>& openVpnCommand);

} // namespace morvil::openvpn_tool
