// morvil_openvpn_tun: runs /usr/sbin/openvpn as root for morvil_openvpn, so that a user who is not
// root can have openvpn make its tun device. Installed set-user-ID root only when an administrator
// asks for it (the README says how); morvil_openvpn then starts it in openvpn's place.
//
//   morvil_openvpn_tun PID --config FILE --management SOCKET unix ... [openvpn options]
//
// It trusts nothing its caller gives: the command line and the configuration may hold only the
// options a connection needs (allowed_options.h), the files they name are read with the caller's
// rights and handed to openvpn as copies, openvpn gets an environment of our own, and its
// management connection goes only to a socket of the caller's, on which the caller itself listens.
// It runs openvpn as a client only, with no local port, no scripts, none of the caller's open
// descriptors and none of the caller's resource limits. It stays openvpn's parent and passes on
// the signals that end or restart a connection (the caller may signal us, but not a root
// openvpn); it ends when its caller does, and openvpn ends with it.
#include "clean_start.h"
#include "openvpn_tool_interface.h"
#include "tun_request.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace morvil::openvpn_tun;

constexpr const char* kOpenVpn = "/usr/sbin/openvpn";
constexpr const char* kPath = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";

int fail(const std::string& message)
{
    std::fprintf(stderr, "morvil_openvpn_tun: %s\n", message.c_str());
    return 1;
}

// The signals that end or restart a connection, and openvpn's end: blocked and waited for, with
// their default actions (one that the caller had us ignore would never reach the wait).
sigset_t watchSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int sig : { SIGTERM, SIGINT, SIGHUP, SIGCHLD }) {
        signal(sig, SIG_DFL);
        sigaddset(&set, sig);
    }
    sigprocmask(SIG_BLOCK, &set, nullptr);
    return set;
}

// In the child, between fork and exec (we have no threads).
[[noreturn]] void execOpenVpn(const std::vector<std::string>& args, pid_t parent)
{
    // Root through and through: an exec with the real and effective ids apart is a secure one,
    // after which the kernel would forget the parent-death signal again.
    if (setgroups(0, nullptr) != 0 || setresgid(0, 0, 0) != 0 || setresuid(0, 0, 0) != 0) {
        _exit(127);
    }
    // openvpn goes when we go, even killed outright; it cannot outlive a stopped connection.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) {
        _exit(127);
    }
    // What the caller set to be ignored stays ignored across exec: openvpn gets the defaults.
    for (int sig = 1; sig < NSIG; ++sig) {
        signal(sig, SIG_DFL);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    const int nullInput = open("/dev/null", O_RDONLY | O_CLOEXEC);
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    char* env[] = { const_cast<char*>(kPath), nullptr };
    if (nullInput >= 0 && dup2(nullInput, STDIN_FILENO) == STDIN_FILENO) {
        execve(kOpenVpn, argv.data(), env);
    }
    _exit(127);
}

double now()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Passes SIGTERM, SIGINT and SIGHUP on to openvpn until it ends, and kills it when it has not
// ended in time after a stop. Gives its exit status (128 + the signal that ended it).
int relay(pid_t child, const sigset_t& watched)
{
    using morvil::openvpn_tool::kOpenVpnStopSeconds;
    double killAt = 0;
    for (;;) {
        siginfo_t info {};
        int sig = 0;
        if (killAt > 0) {
            const double left = std::max(0.0, killAt - now());
            const timespec wait { static_cast<time_t>(left),
                                  static_cast<long>((left - static_cast<time_t>(left)) * 1e9) };
            sig = sigtimedwait(&watched, &info, &wait);
        } else {
            sig = sigwaitinfo(&watched, &info);
        }
        if (sig < 0 && errno == EAGAIN) {
            kill(child, SIGKILL);
            killAt = 0;
        } else if (sig == SIGCHLD) {
            int status = 0;
            if (waitpid(child, &status, WNOHANG) == child) {
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
        } else if (sig > 0) {
            kill(child, sig);
            if (sig != SIGHUP && killAt == 0) {
                killAt = now() + kOpenVpnStopSeconds;
            }
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    // (A standard descriptor that the caller closed is open on /dev/null already: the C library
    // sees to that in a set-user-ID program, so no file of ours takes its number.)
    umask(077);
    std::string error;
    if (!cleanStart(error)) {
        return fail(error);
    }
    const sigset_t watched = watchSignals();

    const TunRequest request = readRequest(std::vector<std::string>(argv + 1, argv + argc));
    if (!request.error.empty()) {
        return fail(request.error);
    }
    std::string text;
    if (!readAsCaller(request.configPath, text, error)) {
        return fail(error);
    }
    const Options config = checkConfig(text);
    if (!config.error.empty()) {
        return fail(request.configPath + ": " + config.error);
    }
    const passwd* caller = getpwuid(getuid());
    if (caller == nullptr) {
        return fail("user id " + std::to_string(getuid()) + " has no name, which openvpn needs");
    }
    FileCopies copies;
    std::vector<std::string> args = openVpnArgs(config.list, request, caller->pw_name, copies, error);
    if (args.empty()) {
        return fail(error);
    }
    args.insert(args.begin(), kOpenVpn);
    // The kernel forgot the parent-death signal that our caller armed when it ran a set-user-ID
    // program, and forgets it at every change of our effective ids (reading as the caller): arm it
    // again after the last, then make sure that the caller did not die before. A stop that comes
    // from here on reaches openvpn as soon as it runs.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != request.parent) {
        return fail("process " + std::to_string(request.parent) + ", which started us, is gone");
    }
    const pid_t self = getpid();
    const pid_t child = fork();
    if (child == 0) {
        execOpenVpn(args, self);
    }
    if (child < 0) {
        return fail(std::string("cannot start openvpn: ") + std::strerror(errno));
    }
    return relay(child, watched);
}
