// Runs openvpn as our child and stays with it: answers its management connection, passes the
// signals that end a connection on to it, and makes sure it never outlives us.
#pragma once

#include "management_dialogue.h"

#include <string>
#include <vector>

namespace morvil::openvpn_tool {

// Seconds that openvpn gets to close its tunnel after a SIGTERM or SIGINT before it is killed.
inline constexpr int kStopGraceSeconds = 10;

// Starts argv (argv[0] the program's path) with its standard input on /dev/null and its output
// on ours, listens for its management connection on socketPath and talks to it through dialogue
// until openvpn ends. Gives openvpn's exit status (128 + the signal when a signal ended it), or -1
// with error set when openvpn could not be started.
int superviseOpenVpn(const std::vector<std::string>& argv, const std::string& socketPath, ManagementDialogue& dialogue,
                     std::string& error);

} // namespace morvil::openvpn_tool
