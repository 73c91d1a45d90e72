#include "openvpn_supervisor.h"

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
#include <cstring>

namespace morvil::openvpn_tool {

namespace {

// Closes a descriptor when it goes out of scope.
class Fd
{
public:
    explicit Fd(int fd = -1)
        : mFd(fd)
    {
    }
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return mFd; }
    void reset(int fd = -1)
    {
        if (mFd >= 0) {
            close(mFd);
        }
        mFd = fd;
    }

private:
    int mFd;
};

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
[[noreturn]] void execOpenVpn(std::vector<char*>& argv, int nullFd, pid_t parent)
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
        execv(argv[0], argv.data());
    }
    _exit(127);
}

int exitStatusOf(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

int superviseOpenVpn(const std::vector<std::string>& args, const std::string& socketPath, ManagementDialogue& dialogue,
                     std::string& error)
{
    const sigset_t watched = watchedSignals();
    sigset_t previous;
    sigprocmask(SIG_BLOCK, &watched, &previous);
    Fd signals(signalfd(-1, &watched, SFD_CLOEXEC));
    Fd listener(listenOn(socketPath, error));
    Fd nullInput(open("/dev/null", O_RDONLY | O_CLOEXEC));
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t child = signals.get() >= 0 && listener.get() >= 0 && nullInput.get() >= 0 ? fork() : -1;
    if (child == 0) {
        execOpenVpn(argv, nullInput.get(), parent);
    }
    if (child < 0) {
        if (error.empty()) {
            error = std::string("cannot start openvpn: ") + std::strerror(errno);
        }
        sigprocmask(SIG_SETMASK, &previous, nullptr);
        return -1;
    }

    Fd connection;
    double killAt = 0; // when a stop was asked for: the moment openvpn is killed outright
    int status = -1;
    while (status < 0) {
        pollfd fds[3]
            = { { signals.get(), POLLIN, 0 }, { listener.get(), POLLIN, 0 }, { connection.get(), POLLIN, 0 } };
        const int timeout = killAt > 0 ? std::max(0, static_cast<int>((killAt - now()) * 1000)) : -1;
        if (poll(fds, connection.get() >= 0 ? 3 : 2, timeout) < 0 && errno != EINTR) {
            break;
        }
        if (killAt > 0 && now() >= killAt) {
            kill(child, SIGKILL);
            killAt = 0;
        }
        signalfd_siginfo info {};
        if ((fds[0].revents & POLLIN) != 0 && read(signals.get(), &info, sizeof(info)) == sizeof(info)) {
            const int sig = static_cast<int>(info.ssi_signo);
            if (sig != SIGCHLD) {
                kill(child, sig);
                if (sig != SIGHUP && killAt == 0) {
                    killAt = now() + kStopGraceSeconds;
                }
            }
            int childStatus = 0;
            if (waitpid(child, &childStatus, WNOHANG) == child) {
                status = exitStatusOf(childStatus);
            }
        }
        if ((fds[1].revents & POLLIN) != 0) {
            // A new connection (openvpn reconnects after a full restart) replaces the old one.
            const int accepted = accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC);
            if (accepted >= 0) {
                connection.reset(accepted);
                dialogue.restart();
                sendAll(connection.get(), ManagementDialogue::greeting());
            }
        }
        if (connection.get() >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            char buffer[4096];
            const ssize_t n = recv(connection.get(), buffer, sizeof(buffer), 0);
            if (n > 0) {
                sendAll(connection.get(), dialogue.take(std::string_view(buffer, static_cast<std::size_t>(n))));
            } else if (n == 0 || errno != EINTR) {
                connection.reset();
            }
        }
    }
    if (status < 0) {
        // poll failed: do not leave openvpn behind.
        kill(child, SIGKILL);
        int childStatus = 0;
        waitpid(child, &childStatus, 0);
        status = exitStatusOf(childStatus);
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return status;
}

} // namespace morvil::openvpn_tool
