// Runs openvpn as our child and stays with it: answers its management connection, passes the
// signals that end a connection on to it, and makes sure it never outlives us.
#pragma once

#include "management_dialogue.h"
#include "unique_fd.h"

#include <signal.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace morvil::openvpn_tool {

// A descriptor that becomes readable once; then check() says whether openvpn must stop.
struct StopCheck
{
    int fd = -1;
    std::function<bool()> check;
};

// openvpn as our child: started with its standard input on /dev/null and its output on ours,
// then talked to through its management connection on socketPath until it ends.
class OpenVpnSupervisor
{
public:
    // Holds back SIGTERM, SIGINT and SIGHUP (and SIGCHLD) for the signal descriptor.
    OpenVpnSupervisor();
    // Kills openvpn if it was started and never supervised to its end.
    ~OpenVpnSupervisor();
    OpenVpnSupervisor(const OpenVpnSupervisor&) = delete;
    OpenVpnSupervisor& operator=(const OpenVpnSupervisor&) = delete;

    // Listens on socketPath and starts argv (argv[0] the program's path); false with error set
    // when it cannot. A SIGTERM, SIGINT or SIGHUP that came since construction reaches openvpn.
    bool start(const std::vector<std::string>& argv, const std::string& socketPath, std::string& error);

    // Answers openvpn through dialogue, and stops it when a signal or stop says so, until it ends.
    // Gives openvpn's exit status (128 + the signal when a signal ended it), or -1 when watching
    // failed (openvpn is then killed).
    int supervise(ManagementDialogue& dialogue, const StopCheck& stop);

private:
    void stop(int sig);

    sigset_t mPrevious {};
    bool mBlocked = false;
    UniqueFd mSignals;
    UniqueFd mListener;
    pid_t mChild = -1;
    double mKillAt = 0; // after a stop request: when openvpn is killed outright (kOpenVpnStopSeconds)
};

} // namespace morvil::openvpn_tool
