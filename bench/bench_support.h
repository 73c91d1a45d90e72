// What the benchmark programs share: the emulated bus guard, the token they plug, host time,
// exchange counts from the emulator's command log, and the library's start and tear-down.
#pragma once

#include "dev_zr40nn.h"
#include "usb_testbed.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace zr40nn::bench {

using zr40nn::emu::EmulatedBus;
using zr40nn::emu::TokenConfig;

constexpr const char kUserPin[] = "1234";
constexpr const char kSoPin[] = "87654321";

// The tokens exist only inside umockdev's test bed; without its preload libusb would look at the
// host's own bus. Says so on stderr and returns false when the preload is missing.
inline bool underUmockdev()
{
    if (std::getenv("UMOCKDEV_DIR") == nullptr && std::getenv("LD_PRELOAD") == nullptr) {
        std::fprintf(stderr, "run under umockdev-wrapper: the tokens are emulated\n");
        return false;
    }
    return true;
}

// The first command-line argument as a count of at least 1, or fallback when there is none.
inline int countArgument(int argc, char** argv, int fallback)
{
    return argc > 1 ? std::max(1, std::atoi(argv[1])) : fallback;
}

// A token ready for use: initialised and configured, both PINs set with tries to spare.
inline TokenConfig usableToken(std::string serial, std::string name)
{
    TokenConfig config;
    config.serial = std::move(serial);
    config.name = std::move(name);
    config.state = 0x03; // initialised and configured
    config.soPin = kSoPin;
    config.userPin = kUserPin;
    config.soPinLimit = 5;
    config.userPinLimit = 3;
    return config;
}

inline double clockSeconds(clockid_t clock)
{
    timespec now {};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Host time in seconds: CPU time of the calling thread only (the emulator answers from threads of
// its own, so its work is left out) and wall-clock time.
struct Measure
{
    double cpu = 0;
    double wall = 0;
};

// Runs operation (returning whether it worked), adds the time it took to measure and passes its
// result on.
template <typename Operation> bool timed(Measure& measure, Operation operation)
{
    const double cpu = clockSeconds(CLOCK_THREAD_CPUTIME_ID);
    const double wall = clockSeconds(CLOCK_MONOTONIC);
    const bool ok = operation();
    measure.cpu += clockSeconds(CLOCK_THREAD_CPUTIME_ID) - cpu;
    measure.wall += clockSeconds(CLOCK_MONOTONIC) - wall;
    return ok;
}

// Microseconds per item of a time in seconds; 0 when there are no items.
template <typename Count> double microsecondsEach(double seconds, Count items)
{
    return items > 0 ? seconds / static_cast<double>(items) * 1e6 : 0.0;
}

// Exchanges the tokens have answered since the last call: their command logs, which it empties.
inline std::size_t takeExchanges(EmulatedBus& bus, const std::vector<int>& ids)
{
    std::size_t total = 0;
    for (int id : ids) {
        total += bus.token(id).log().size();
        bus.token(id).clearLog();
    }
    return total;
}

struct StartedToken
{
    bool ok = false; // one token found and refreshed
    DEV_ZR40NN_t* record = nullptr; // the library's first record even when !ok, for its err
};

// Starts the library on a bus that holds exactly one token and refreshes it.
inline StartedToken startOneToken()
{
    DEV_ZR40NN_lib_init();
    const bool ok = DEV_ZR40NN_lib_find_devices() == 1 && DEV_ZR40NN_lib_actualize_devices() == 0;
    return { ok, DEV_ZR40NN_get_first() };
}

// Closes the record's session if one is still open, stops the library and unplugs the tokens, so
// that the next run starts from an empty bus.
inline void finish(EmulatedBus& bus, const std::vector<int>& ids, DEV_ZR40NN_t* record = nullptr)
{
    if (record != nullptr && record->session_is_open != 0) {
        DEV_ZR40NN_session_close(record);
    }
    DEV_ZR40NN_lib_finish();
    for (int id : ids) {
        bus.unplug(id);
    }
}

} // namespace zr40nn::bench
