// What a set-user-ID program inherits from its caller besides its arguments: open descriptors and
// resource limits. The caller chose both; root's openvpn takes neither.
#pragma once

#include <string>

namespace morvil::openvpn_tun {

// Closes every descriptor above the standard ones and sets the resource limits that the caller
// could have set to make openvpn fail or leave a trace: no core file of a process that holds
// keys, no limit on file size, processor time or memory, and a fixed number of descriptors. False
// with error set when a limit cannot be set, or stays lower than openvpn can work with.
bool cleanStart(std::string& error);

} // namespace morvil::openvpn_tun
