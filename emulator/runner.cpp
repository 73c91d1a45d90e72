#include "runner.h"

#include "state_file.h"
#include "usb_testbed.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zr40nn::emu {
namespace {

constexpr const char* kPreload = "libumockdev-preload.so.0";

volatile sig_atomic_t gChild = 0;

void forwardSignal(int signal)
{
    if (gChild > 0) {
        ::kill(gChild, signal);
    }
}

// While the command runs, an interrupt from the terminal reaches it directly and the runner waits
// for it to end, so the tokens are still saved; termination requests are passed on to it.
class SignalGuard
{
public:
    SignalGuard()
    {
        struct sigaction ignore
        {
        };
        ignore.sa_handler = SIG_IGN;
        struct sigaction forward
        {
        };
        forward.sa_handler = forwardSignal;
        sigemptyset(&forward.sa_mask);
        for (std::size_t i = 0; i < kSignals.size(); ++i) {
            const bool forwarded = kSignals[i] == SIGTERM || kSignals[i] == SIGHUP;
            ::sigaction(kSignals[i], forwarded ? &forward : &ignore, &mSaved[i]);
        }
    }
    ~SignalGuard()
    {
        gChild = 0;
        for (std::size_t i = 0; i < kSignals.size(); ++i) {
            ::sigaction(kSignals[i], &mSaved[i], nullptr);
        }
    }
    SignalGuard(const SignalGuard&) = delete;
    SignalGuard& operator=(const SignalGuard&) = delete;

    static constexpr std::array<int, 4> kSignals { SIGINT, SIGQUIT, SIGTERM, SIGHUP };

private:
    std::array<struct sigaction, 4> mSaved {};
};

std::vector<std::string> childEnvironment(const std::string& testbed)
{
    std::vector<std::string> env;
    std::string preload = kPreload;
    for (char** var = environ; *var; ++var) {
        const std::string entry = *var;
        if (entry.rfind("LD_PRELOAD=", 0) == 0) {
            if (entry.size() > 11 && entry.find(kPreload) == std::string::npos) {
                preload += ":" + entry.substr(11);
            }
        } else if (entry.rfind("UMOCKDEV_DIR=", 0) != 0) {
            env.push_back(entry);
        }
    }
    env.push_back("LD_PRELOAD=" + preload);
    env.push_back("UMOCKDEV_DIR=" + testbed);
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& texts)
{
    std::vector<char*> out;
    for (std::string& text : texts) {
        out.push_back(text.data());
    }
    out.push_back(nullptr);
    return out;
}

int exitStatus(int status)
{
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return kRunnerFailed;
}

// Starts the command and waits for it; returns its exit status.
int runCommand(const RunnerOptions& options, const std::string& testbed, std::ostream& errors)
{
    std::vector<std::string> env = childEnvironment(testbed);
    std::vector<std::string> args = options.command;
    std::vector<char*> envp = pointers(env);
    std::vector<char*> argv = pointers(args);

    SignalGuard guard;
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : SignalGuard::kSignals) {
        sigaddset(&defaults, signal);
    }
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], nullptr, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        errors << "zr40nn-emu: cannot run " << options.command[0] << ": " << std::strerror(spawned) << "\n";
        return spawned == ENOENT ? kCommandNotFound : kCommandNotRunnable;
    }
    gChild = child;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            errors << "zr40nn-emu: lost the command: " << std::strerror(errno) << "\n";
            return kRunnerFailed;
        }
    }
    return exitStatus(status);
}

} // namespace

int runWithTokens(const RunnerOptions& options, std::ostream& errors)
{
    std::vector<TokenConfig> tokens;
    if (!options.stateFile.empty() && ::access(options.stateFile.c_str(), F_OK) == 0) {
        tokens = loadStateFile(options.stateFile);
        applyRuntimeOptions(options, tokens);
    } else {
        tokens = blankTokens(options);
    }

    EmulatedBus bus;
    bus.setWireTime(options.wireTime);
    std::vector<int> ids;
    for (const TokenConfig& token : tokens) {
        ids.push_back(bus.plug(token));
    }

    const int status = runCommand(options, bus.testbedDir(), errors);

    if (!options.stateFile.empty()) {
        std::vector<TokenConfig> saved;
        for (int id : ids) {
            saved.push_back(bus.token(id).snapshot());
        }
        try {
            saveStateFile(options.stateFile, saved);
        } catch (const StateFileError& e) {
            errors << "zr40nn-emu: " << e.what() << "\n";
            return status == 0 ? kRunnerFailed : status;
        }
    }
    return status;
}

} // namespace zr40nn::emu
