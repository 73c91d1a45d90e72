// morvil_openvpn: the OpenVPN program that morvil_vpn starts in a connection's directory. It
// runs the system's openvpn with the connection's configuration and signs for it with the token
// key named by the configuration's "key" line, through the dev_zr40nn engine linked in here.
//
//   morvil_openvpn --config conf --dev tun ... --engkey --engine dev_zr40nn:log_file:log
//
// The user PIN comes as one line on standard input, never on the command line. openvpn's output
// goes to our standard error, and its exit status becomes ours; it ends when we do. Our standard
// output carries only the line that says the tunnel is up, each time openvpn reports it so.
// With MORVIL_OPENVPN_DEV=null in the environment (for tests where no tun device can be made)
// "--dev null" replaces the device. We run with our caller's rights only. A user who is not root
// cannot have openvpn make a tun device; where an administrator installed morvil_openvpn_tun for
// that, openvpn starts through it (tun_starter.h), and the configuration may then hold only the
// options that a connection needs.
#include "command_line.h"
#include "connection_config.h"
#include "key_loader.h"
#include "management_dialogue.h"
#include "openvpn_supervisor.h"
#include "openvpn_tool_interface.h"
#include "private_dir.h"
#include "token_key.h"
#include "tun_starter.h"
#include "unique_fd.h"
#include "write_all.h"

#include <fcntl.h>
#include <signal.h>
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

bool readConfig(const std::string& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream contents;
    contents << in.rdbuf();
    text = contents.str();
    return static_cast<bool>(in);
}

// The PIN from standard input: one line, which may be empty (a token may have the empty PIN).
std::optional<Pin> pinFromInput(std::string& error)
{
    std::optional<Pin> pin = Pin::read(STDIN_FILENO, kMaxPinOctets);
    if (!pin) {
        error = "standard input holds no PIN line, or one of more than 8 octets";
    }
    return pin;
}

// From here on descriptor 1, which openvpn inherits, writes to standard error; what standard
// output was goes to the descriptor given, for announcements only. Whatever openvpn prints quotes
// the server at times, and nothing it prints may pass for our word.
UniqueFd takeStandardOutput()
{
    const int announcements = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    // Writing where no one reads any more must not end us before our private directory goes.
    // (openvpn, which inherits this, ignores SIGPIPE itself.)
    signal(SIGPIPE, SIG_IGN);
    return UniqueFd(announcements);
}

void announce(int fd, const std::string& line)
{
    // A reader that went away does not stop us: our end follows, with openvpn's.
    morvil::tools::writeAll(fd, line + '\n');
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
    // Set-user-ID or with file capabilities, we would act for the caller with rights it lacks.
    if (getauxval(AT_SECURE) != 0) {
        return fail("must run with its caller's rights only: morvil_openvpn_tun gives openvpn the privileges it needs");
    }
    Invocation invocation = parseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!invocation.error.empty()) {
        return fail(invocation.error);
    }
    if (!invocation.engineKey) {
        return fail("--engkey is required: the key comes from the token");
    }
    if (const char* device = std::getenv(kDeviceOverride)) {
        if (std::strcmp(device, "null") != 0) {
            return fail(std::string(kDeviceOverride) + " may only be \"null\"");
        }
        replaceDevice(invocation.openVpnArgs, device);
    }

    std::string text;
    if (!readConfig(invocation.configPath, text)) {
        return fail("cannot read the configuration " + invocation.configPath);
    }
    const ConnectionConfig config = prepareConfig(text);
    if (config.keyReference.empty()) {
        return fail(invocation.configPath + " has no key line naming the token key");
    }
    std::string error;
    const std::string starter = tunStarter(invocation.openVpnArgs, error);
    if (!error.empty()) {
        return fail(error);
    }
    if (!starter.empty()) {
        if (const std::string refused = tunStarterRefusal(invocation.configPath, config.text, invocation.openVpnArgs);
            !refused.empty()) {
            return fail(refused);
        }
    }

    std::optional<Pin> pin = pinFromInput(error);
    if (!pin) {
        return fail(error);
    }
    // From here on the signals that end a connection wait for openvpn to take them: nothing we make
    // is left behind by an early one.
    const UniqueFd announcements = takeStandardOutput();
    OpenVpnSupervisor openVpn;
    PrivateDir dir;
    if (!dir.make(error) || !dir.writeFile(kConfigName, config.text, error)) {
        return fail(error);
    }
    // openvpn starts first and the key loads meanwhile; without the key there is no signature, so
    // no tunnel, and openvpn is stopped.
    std::vector<std::string> command = openVpnCommand(invocation, dir);
    if (!starter.empty()) {
        command = throughTunStarter(starter, command);
    }
    if (!openVpn.start(command, dir.path() + "/" + kSocketName, error)) {
        return fail(error);
    }
    KeyLoader loader(invocation.engine, config.keyReference, std::move(*pin));
    bool keyFailed = false;
    const StopCheck keyCheck { loader.readyFd(), [&loader, &keyFailed] {
                                  keyFailed = loader.key() == nullptr;
                                  if (keyFailed) {
                                      fail(loader.error());
                                  }
                                  return keyFailed;
                              } };
    ManagementDialogue dialogue(
        [&loader](const Octets& digest) {
            const TokenKey* key = loader.key();
            return key != nullptr ? key->sign(digest) : std::nullopt;
        },
        [&announcements](const std::string& line) { announce(announcements.get(), line); });
    const int status = openVpn.supervise(dialogue, keyCheck);
    if (status < 0) {
        return fail("lost track of openvpn");
    }
    return keyFailed ? 1 : status;
}
