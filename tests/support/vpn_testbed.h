// What the morvil_openvpn tests and its benchmark stand on: a test authority and an OpenVPN server
// on 127.0.0.1 whose certificate it issued, a token configured through the library with a P-256
// key generated on it, the user certificate for that key, and connection directories laid out as
// the VPN client writes them.
#pragma once

#include "running_process.h"
#include "usb_testbed.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace morvil::test {

inline constexpr const char* kVpnTokenName = "VPNTOK";
inline constexpr const char* kVpnKeyName = "vpn";
inline constexpr const char* kVpnKeyReference = "VPNTOK/vpn";
// The user PIN holds ':', the engine argument's separator: it must travel whole.
inline constexpr const char* kVpnPin = "24:68:13";
inline constexpr const char* kVpnUserCn = "vpn-user-0042";
inline constexpr const char* kInitialised = "Initialization Sequence Completed";
inline constexpr const char* kOpenVpn = "/usr/sbin/openvpn";

// Runs a command, true when it exits with 0; its output goes to err on failure.
bool runQuietly(const std::vector<std::string>& argv, const std::string& dir, std::string& err);

// The token configured through the library on a bus (plugged, configured, key generated, saved,
// unplugged): the state to plug in again, and the key's public half as PEM in keyPath.
zr40nn::emu::TokenConfig makeVpnToken(zr40nn::emu::EmulatedBus& bus, const std::string& publicKeyPath);

// The authority, server and user certificates in dir: ca.pem, server.pem, server.key, user.pem
// (for the public key in publicKeyPath) and, for plain openvpn, plain.pem and plain.key; for the
// hostile server, hostile.pem and hostile.key (self-signed, subject kHostileSubject) and the FIFO
// hostile.fifo that its subject names; stranger.pem, an authority that issued none of them.
bool makeCertificates(const std::filesystem::path& dir, const std::string& publicKeyPath, std::string& err);

// The hostile server's subject as openvpn prints it, with FIFO for the path of hostile.fifo: markup
// that restyles a rich-text pane, images that would read endlessly or block for good, and the line
// that says a tunnel is up.
std::string hostileSubject(const std::filesystem::path& certDir);

// A UDP port of 127.0.0.1 that was free a moment ago.
int freeUdpPort();

// Whether this process can make a tun device (CAP_NET_ADMIN and /dev/net/tun).
bool tunUsable();

// A point-to-point TLS server on 127.0.0.1:port with --dev null, logging to its output. With a
// revocation list (PEM), it refuses the clients whose certificates the list names.
std::unique_ptr<RunningProcess> startServer(const std::filesystem::path& certDir, int port,
                                            const std::filesystem::path& crl = {});
// The same server with the self-signed hostile certificate, which no client trusts.
std::unique_ptr<RunningProcess> startHostileServer(const std::filesystem::path& certDir, int port);
// The same server trusting only the stranger authority: it refuses every client of ours.
std::unique_ptr<RunningProcess> startRefusingServer(const std::filesystem::path& certDir, int port);

// The "conf" that the VPN client writes: header, template marker, then template.
std::string connectionConf(int port, const std::string& keyReference, const std::string& templateText,
                           const std::string& name = "Test VPN");

// A connection directory with "conf", "ca" and "user" made from the certificates in certDir.
void makeConnectionDir(const std::filesystem::path& dir, const std::filesystem::path& certDir, const std::string& conf);

// The exact arguments the VPN client gives morvil_openvpn.
std::vector<std::string> clientArguments();

} // namespace morvil::test
