// Exchanges and host CPU time of the library's busiest paths, against emulated tokens.
//
// Run under umockdev's preload: `umockdev-wrapper zr40nn_bench [repeats]`. Exchanges are counted
// in the emulator's command log; CPU time is that of the calling thread only (library, libusb and
// the preload's client side), so the emulator's own work is left out.
#include "dev_zr40nn.h"
#include "usb_testbed.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

using zr40nn::emu::EmulatedBus;
using zr40nn::emu::TokenConfig;

constexpr int kKeySlots = 4;
constexpr int kFileTableObjects = 16;
constexpr int kPinChecks = 1000;
constexpr const char kUserPin[] = "1234";

double threadCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double wallSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

TokenConfig usableToken(int number)
{
    TokenConfig config;
    char text[32];
    std::snprintf(text, sizeof(text), "BENCH-%04d", number);
    config.serial = text;
    std::snprintf(text, sizeof(text), "BENCH%02d", number);
    config.name = text;
    config.state = 0x03; // initialised and configured
    config.keysNum = kKeySlots;
    config.soPin = "87654321";
    config.userPin = kUserPin;
    config.soPinLimit = 5;
    config.userPinLimit = 3;
    return config;
}

std::size_t exchangesSince(EmulatedBus& bus, const std::vector<int>& ids)
{
    std::size_t total = 0;
    for (int id : ids) {
        total += bus.token(id).log().size();
        bus.token(id).clearLog();
    }
    return total;
}

struct Measure
{
    double cpu = 0;
    double wall = 0;
};

template <typename Operation> bool timed(Measure& measure, Operation operation)
{
    const double cpu = threadCpuSeconds();
    const double wall = wallSeconds();
    const bool ok = operation();
    measure.cpu += threadCpuSeconds() - cpu;
    measure.wall += wallSeconds() - wall;
    return ok;
}

// Prints one line; false when the library spent more (or fewer) exchanges than the operation needs.
bool report(const char* what, int operations, std::size_t exchanges, std::size_t expected, const Measure& measure)
{
    const bool asExpected = exchanges == expected * static_cast<std::size_t>(operations);
    const double perOperation = static_cast<double>(exchanges) / operations;
    const double cpuPerExchange = exchanges > 0 ? measure.cpu / static_cast<double>(exchanges) * 1e6 : 0.0;
    const double wallPerExchange = exchanges > 0 ? measure.wall / static_cast<double>(exchanges) * 1e6 : 0.0;
    std::printf("%-22s %8.1f exchanges/op (expected %zu)%s  host CPU %8.1f us/exchange  wall %8.1f us/exchange\n", what,
                perOperation, expected, asExpected ? "" : " MISMATCH", cpuPerExchange, wallPerExchange);
    return asExpected;
}

bool benchRefresh(EmulatedBus& bus, int tokens, int repeats)
{
    std::vector<int> ids;
    for (int i = 0; i < tokens; ++i) {
        ids.push_back(bus.plug(usableToken(i)));
    }
    DEV_ZR40NN_lib_init();
    bool ok = DEV_ZR40NN_lib_find_devices() == tokens;
    exchangesSince(bus, ids);

    Measure measure;
    for (int r = 0; ok && r < repeats; ++r) {
        ok = timed(measure, [] { return DEV_ZR40NN_lib_actualize_devices() == 0; });
    }
    const std::size_t exchanges = exchangesSince(bus, ids);
    if (ok) {
        const std::size_t perToken = 1 + kKeySlots + kFileTableObjects;
        const std::string what = "refresh of " + std::to_string(tokens) + " token" + (tokens > 1 ? "s" : "");
        ok = report(what.c_str(), repeats, exchanges, perToken * static_cast<std::size_t>(tokens), measure);
    } else if (DEV_ZR40NN_t* first = DEV_ZR40NN_get_first()) {
        std::fprintf(stderr, "refresh of %d tokens failed:\n%s", tokens, first->err);
    }
    DEV_ZR40NN_lib_finish();
    for (int id : ids) {
        bus.unplug(id);
    }
    return ok;
}

bool benchPinChecks(EmulatedBus& bus)
{
    const int id = bus.plug(usableToken(99));
    DEV_ZR40NN_lib_init();
    bool ok = DEV_ZR40NN_lib_find_devices() == 1 && DEV_ZR40NN_lib_actualize_devices() == 0;
    DEV_ZR40NN_t* ut = DEV_ZR40NN_get_first();
    ok = ok && ut != nullptr && DEV_ZR40NN_session_open(ut) == 0;
    bus.token(id).clearLog();

    Measure measure;
    if (ok) {
        ok = timed(measure, [ut] {
            for (int i = 0; i < kPinChecks; ++i) {
                if (DEV_ZR40NN_cmd_try_pin(ut, kUserPin, 1) != 0) {
                    return false;
                }
            }
            return true;
        });
    }
    const std::size_t exchanges = exchangesSince(bus, { id });
    if (ok) {
        ok = report("PIN check", kPinChecks, exchanges, 1, measure);
    } else if (ut != nullptr) {
        std::fprintf(stderr, "PIN checks failed:\n%s", ut->err);
    }
    if (ut != nullptr && ut->session_is_open != 0) {
        DEV_ZR40NN_session_close(ut);
    }
    DEV_ZR40NN_lib_finish();
    bus.unplug(id);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    if (std::getenv("UMOCKDEV_DIR") == nullptr && std::getenv("LD_PRELOAD") == nullptr) {
        std::fprintf(stderr, "run under umockdev-wrapper: the tokens are emulated\n");
        return 2;
    }
    EmulatedBus bus;
    std::printf("%d refreshes per token count, %d PIN checks\n", repeats, kPinChecks);
    bool ok = true;
    for (int tokens : { 1, 4, 16 }) {
        ok = benchRefresh(bus, tokens, repeats) && ok;
    }
    ok = benchPinChecks(bus) && ok;
    return ok ? 0 : 1;
}
