// morvil_openvpn: the OpenVPN program that morvil_vpn starts in a connection's directory. It
// runs the system's openvpn with the connection's configuration and signs for it with the token
// key named by the configuration's "key" line, through the dev_zr40nn engine linked in here.
//
//   morvil_openvpn --config conf --dev tun ... --engkey --engine dev_zr40nn:log_file:log
//
// The user PIN comes as one line on standard input, never on the command line. openvpn's output
// is ours, its exit status becomes ours, and it ends when we do. With MORVIL_OPENVPN_DEV=null in
// the environment (for tests where no tun device can be made) "--dev null" replaces the device;
// a run with more privileges than its caller ignores that, and refuses scripts and plugins.
#include "caller_rights.h"
#include "command_line.h"
#include "connection_config.h"
#include "key_loader.h"
#include "management_dialogue.h"
#include "openvpn_supervisor.h"
#include "private_dir.h"
#include "token_key.h"

#include <sys/auxv.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>

namespace {

using namespace morvil::openvpn_tool;

constexpr const char* kOpenVpn = "/usr/sbin/openvpn";
constexpr const char* kDeviceOverride = "MORVIL_OPENVPN_DEV";
constexpr const char* kSocketName = "sock";
constexpr const char* kConfigName = "conf";
// The token takes PINs of at most 8 octets.
constexpr std::size_t kMaxPinOctets = 8;

int fail(const std::string& message)
{
    std::fprintf(stderr, "morvil_openvpn: %s\n", message.c_str());
    return 1;
}

// The configuration file's text; a privileged run reads only what its caller may read.
bool readConfig(const std::string& path, bool privileged, std::string& text)
{
    const CallerRights asCaller(privileged);
    std::ifstream in(path, std::ios::binary);
    if (!asCaller.ok() || !in) {
        return false;
    }
    std::ostringstream contents;
    contents << in.rdbuf();
    text = contents.str();
    return static_cast<bool>(in);
}

// The PIN from standard input; error set when there is none or it is too long for the token.
std::optional<Pin> pinFromInput(std::string& error)
{
    std::optional<Pin> pin = Pin::read(STDIN_FILENO, kMaxPinOctets);
    if (!pin) {
        error = "the PIN on standard input cannot be read or has more than 8 octets";
    } else if (pin->empty()) {
        error = "no PIN on standard input";
        pin.reset();
    }
    return pin;
}

std::vector<std::string> openVpnCommand(const Invocation& invocation, const PrivateDir& dir)
{
    std::vector<std::string> argv = { kOpenVpn, "--config", dir.path() + "/" + kConfigName };
    argv.insert(argv.end(), invocation.openVpnArgs.begin(), invocation.openVpnArgs.end());
    argv.insert(argv.end(),
                { "--management", dir.path() + "/" + kSocketName, "unix", "--management-client", "--management-hold",
                  "--management-external-key" });
    return argv;
}

} // namespace

int main(int argc, char** argv)
{
    // Set-user-ID or with file capabilities: the caller must not gain what we have.
    const bool privileged = getauxval(AT_SECURE) != 0;
    Invocation invocation = parseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!invocation.error.empty()) {
        return fail(invocation.error);
    }
    if (!invocation.engineKey) {
        return fail("--engkey is required: the key comes from the token");
    }
    if (privileged) {
        if (const std::string refused = refusedArgument(invocation.openVpnArgs); !refused.empty()) {
            return fail(refused);
        }
    } else if (const char* device = std::getenv(kDeviceOverride)) {
        if (std::strcmp(device, "null") != 0) {
            return fail(std::string(kDeviceOverride) + " may only be \"null\"");
        }
        replaceDevice(invocation.openVpnArgs, device);
    }

    std::string text;
    if (!readConfig(invocation.configPath, privileged, text)) {
        return fail("cannot read the configuration " + invocation.configPath);
    }
    const ConnectionConfig config = prepareConfig(text, privileged);
    if (!config.error.empty()) {
        return fail(invocation.configPath + ": " + config.error);
    }
    if (config.keyReference.empty()) {
        return fail(invocation.configPath + " has no key line naming the token key");
    }

    std::string error;
    std::optional<Pin> pin = pinFromInput(error);
    if (!pin) {
        return fail(error);
    }
    // From here on the signals that end a connection wait for openvpn to take them: nothing we make
    // is left behind by an early one.
    OpenVpnSupervisor openVpn;
    PrivateDir dir;
    if (!dir.make(error) || !dir.writeFile(kConfigName, config.text, error)) {
        return fail(error);
    }
    // openvpn starts first and the key loads meanwhile; without the key there is no signature, so
    // no tunnel, and openvpn is stopped.
    if (!openVpn.start(openVpnCommand(invocation, dir), dir.path() + "/" + kSocketName, error)) {
        return fail(error);
    }
    KeyLoader loader(invocation.engine, config.keyReference, std::move(*pin), privileged);
    bool keyFailed = false;
    const StopCheck keyCheck { loader.readyFd(), [&loader, &keyFailed] {
                                  keyFailed = loader.key() == nullptr;
                                  if (keyFailed) {
                                      fail(loader.error());
                                  }
                                  return keyFailed;
                              } };
    ManagementDialogue dialogue([&loader](const Octets& digest) {
        const TokenKey* key = loader.key();
        return key != nullptr ? key->sign(digest) : std::nullopt;
    });
    const int status = openVpn.supervise(dialogue, keyCheck);
    if (status < 0) {
        return fail("lost track of openvpn");
    }
    return keyFailed ? 1 : status;
}
