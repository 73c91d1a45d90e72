// What morvil_openvpn promises the program that starts it, written once for both sides.
#pragma once

namespace morvil::openvpn_tool {

// The line that morvil_openvpn writes on its standard output each time openvpn reports the tunnel
// up, and nothing else goes there: openvpn's own output, which quotes what the server sends
// (the subject of a certificate it refuses, say), goes to standard error. A line that begins with
// it and goes on (" With Errors": some of the settings failed) says the tunnel is up all the same.
inline constexpr char kUpAnnouncement[] = "Initialization Sequence Completed";

// After a SIGTERM, openvpn gets this long to take its tunnel down (and to tell the server it goes,
// with explicit-exit-notify) before it is killed.
inline constexpr int kOpenVpnStopSeconds = 5;
// By then, and a little more, morvil_openvpn has ended too and removed its private directory.
// Whoever kills it outright before this leaves that directory, the configuration and the
// management socket, behind.
inline constexpr int kStopSeconds = kOpenVpnStopSeconds + 2;

} // namespace morvil::openvpn_tool
