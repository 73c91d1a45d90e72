#include "openvpn_supervisor.h"

#include "openvpn_tool_interface.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace morvil::openvpn_tool {

namespace {

// The signals we watch through a signalfd: those that end a connection, a restart request and the
// child's end. They stay blocked in us and are unblocked in the child before the exec.
sigset_t watchedSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int sig : { SIGTERM, SIGINT, SIGHUP, SIGCHLD }) {
        sigaddset(&set, sig);
    }
    return set;
}

double now()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Milliseconds for poll until the earliest of the times given (0 for none), rounded up so that
// poll does not wake before it; -1 when there is none.
int millisecondsUntil(std::initializer_list<double> times)
{
    double earliest = 0;
    for (double t : times) {
        if (t > 0 && (earliest == 0 || t < earliest)) {
            earliest = t;
        }
    }
    return earliest > 0 ? static_cast<int>(std::ceil(std::max(0.0, earliest - now()) * 1000)) : -1;
}

int listenOn(const std::string& path, std::string& error)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path)) {
        error = "the management socket path is too long: " + path;
        return -1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 || listen(fd, 1) != 0) {
        error = "cannot listen on " + path + ": " + std::strerror(errno);
        if (fd >= 0) {
            close(fd);
        }
        return -1;
    }
    return fd;
}

void sendAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            pollfd writable { fd, POLLOUT, 0 };
            poll(&writable, 1, 1000);
            continue;
        }
        if (n <= 0) {
            return; // openvpn went away; its end arrives as SIGCHLD
        }
        done += static_cast<std::size_t>(n);
    }
}

// In the child between fork and exec: async-signal-safe calls only.
[[noreturn]] void execOpenVpn(std::vector<char*>& argv, std::vector<char*>& env, int nullFd, pid_t parent)
{
    // openvpn goes down with us, even when we are killed outright.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) {
        _exit(127);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (dup2(nullFd, STDIN_FILENO) == STDIN_FILENO) {
        execve(argv[0], argv.data(), env.data());
    }
    _exit(127);
}

// Our environment less LD_PRELOAD. What a caller preloads is for us and the token library (an
// interposer of the USB device nodes, for one); openvpn never touches the token, and an interposer
// of device ioctls would break its tun device.
std::vector<char*> openVpnEnvironment()
{
    std::vector<char*> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "LD_PRELOAD=", 11) != 0) {
            env.push_back(*entry);
        }
    }
    env.push_back(nullptr);
    return env;
}

int exitStatusOf(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

OpenVpnSupervisor::~OpenVpnSupervisor()
{
    if (mChild > 0) {
        // Never supervised to its end: it must not outlive us.
        kill(mChild, SIGKILL);
        int status = 0;
        waitpid(mChild, &status, 0);
    }
    if (mBlocked) {
        sigprocmask(SIG_SETMASK, &mPrevious, nullptr);
    }
}

OpenVpnSupervisor::OpenVpnSupervisor()
{
    const sigset_t watched = watchedSignals();
    sigprocmask(SIG_BLOCK, &watched, &mPrevious);
    mBlocked = true;
    mSignals.reset(signalfd(-1, &watched, SFD_CLOEXEC | SFD_NONBLOCK));
}

bool OpenVpnSupervisor::start(const std::vector<std::string>& args, const std::string& socketPath, std::string& error)
{
    mListener.reset(listenOn(socketPath, error));
    UniqueFd nullInput(open("/dev/null", O_RDONLY | O_CLOEXEC));
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> env = openVpnEnvironment();
    const pid_t parent = getpid();
    const pid_t child = mSignals.get() >= 0 && mListener.get() >= 0 && nullInput.get() >= 0 ? fork() : -1;
    if (child == 0) {
        execOpenVpn(argv, env, nullInput.get(), parent);
    }
    if (mSignals.get() < 0 && error.empty()) {
        error = "cannot watch signals";
    }
    if (child < 0 && error.empty()) {
        error = std::string("cannot start openvpn: ") + std::strerror(errno);
    }
    mChild = child;
    return child > 0;
}

void OpenVpnSupervisor::stop(int sig)
{
    // kill() with -1 or 0 would signal every process we may reach, or our own group.
    if (mChild <= 0) {
        return;
    }
    kill(mChild, sig);
    if (sig != SIGHUP && mKillAt == 0) {
        mKillAt = now() + kOpenVpnStopSeconds;
    }
}

int OpenVpnSupervisor::supervise(ManagementDialogue& dialogue, const StopCheck& stopCheck)
{
    UniqueFd connection;
    int status = -1;
    int stopFd = stopCheck.fd;
    while (status < 0) {
        // poll skips a negative descriptor.
        pollfd fds[4] = { { mSignals.get(), POLLIN, 0 },
                          { mListener.get(), POLLIN, 0 },
                          { stopFd, POLLIN, 0 },
                          { connection.get(), POLLIN, 0 } };
        const int timeout = millisecondsUntil({ mKillAt, dialogue.nextDue().value_or(0) });
        if (poll(fds, 4, timeout) < 0 && errno != EINTR) {
            return -1; // the destructor kills openvpn
        }
        if (mKillAt > 0 && now() >= mKillAt) {
            kill(mChild, SIGKILL);
            mKillAt = 0;
        }
        if ((fds[2].revents & POLLIN) != 0) {
            stopFd = -1;
            if (stopCheck.check()) {
                stop(SIGTERM);
            }
        }
        signalfd_siginfo info {};
        if ((fds[0].revents & POLLIN) != 0 && read(mSignals.get(), &info, sizeof(info)) == sizeof(info)) {
            const int sig = static_cast<int>(info.ssi_signo);
            if (sig != SIGCHLD) {
                stop(sig);
            }
            int childStatus = 0;
            if (waitpid(mChild, &childStatus, WNOHANG) == mChild) {
                status = exitStatusOf(childStatus);
                mChild = -1;
            }
        }
        if ((fds[1].revents & POLLIN) != 0) {
            // A new connection (openvpn reconnects after a full restart) replaces the old one.
            const int accepted = accept4(mListener.get(), nullptr, nullptr, SOCK_CLOEXEC);
            if (accepted >= 0) {
                connection.reset(accepted);
                dialogue.restart();
                sendAll(connection.get(), ManagementDialogue::greeting());
            }
        }
        if (connection.get() >= 0 && (fds[3].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            char buffer[4096];
            const ssize_t n = recv(connection.get(), buffer, sizeof(buffer), 0);
            if (n > 0) {
                sendAll(connection.get(), dialogue.take(std::string_view(buffer, static_cast<std::size_t>(n)), now()));
            } else if (n == 0 || errno != EINTR) {
                connection.reset();
            }
        }
        if (connection.get() >= 0) {
            sendAll(connection.get(), dialogue.due(now()));
        }
    }
    return status;
}

} // namespace morvil::openvpn_tool
