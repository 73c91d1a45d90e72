// Exchanges and host CPU time of the library's busiest paths, against emulated tokens.
//
// Run under umockdev's preload: `umockdev-wrapper zr40nn_bench [repeats]`. Exchanges are counted
// in the emulator's command log; CPU time is that of the calling thread only (library, libusb and
// the preload's client side), so the emulator's own work is left out.
#include "bench_support.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace zr40nn::bench;

constexpr int kKeySlots = 4;
constexpr int kFileTableObjects = 16;
constexpr int kPinChecks = 1000;

TokenConfig numberedToken(int number)
{
    char serial[32];
    char name[32];
    std::snprintf(serial, sizeof(serial), "BENCH-%04d", number);
    std::snprintf(name, sizeof(name), "BENCH%02d", number);
    TokenConfig config = usableToken(serial, name);
    config.keysNum = kKeySlots; // the refresh reads every key slot
    return config;
}

// Prints one line; false when the library spent more (or fewer) exchanges than the operation needs.
bool report(const char* what, int operations, std::size_t exchanges, std::size_t expected, const Measure& measure)
{
    const bool asExpected = exchanges == expected * static_cast<std::size_t>(operations);
    const double perOperation = static_cast<double>(exchanges) / operations;
    const double cpuPerExchange = microsecondsEach(measure.cpu, exchanges);
    const double wallPerExchange = microsecondsEach(measure.wall, exchanges);
    std::printf("%-22s %8.1f exchanges/op (expected %zu)%s  host CPU %8.1f us/exchange  wall %8.1f us/exchange\n", what,
                perOperation, expected, asExpected ? "" : " MISMATCH", cpuPerExchange, wallPerExchange);
    return asExpected;
}

bool benchRefresh(EmulatedBus& bus, int tokens, int repeats)
{
    std::vector<int> ids;
    for (int i = 0; i < tokens; ++i) {
        ids.push_back(bus.plug(numberedToken(i)));
    }
    DEV_ZR40NN_lib_init();
    bool ok = DEV_ZR40NN_lib_find_devices() == tokens;
    takeExchanges(bus, ids); // finding the tokens is not what is measured

    Measure measure;
    for (int r = 0; ok && r < repeats; ++r) {
        ok = timed(measure, [] { return DEV_ZR40NN_lib_actualize_devices() == 0; });
    }
    const std::size_t exchanges = takeExchanges(bus, ids);
    if (ok) {
        const std::size_t perToken = 1 + kKeySlots + kFileTableObjects;
        const std::string what = "refresh of " + std::to_string(tokens) + " token" + (tokens > 1 ? "s" : "");
        ok = report(what.c_str(), repeats, exchanges, perToken * static_cast<std::size_t>(tokens), measure);
    } else if (DEV_ZR40NN_t* first = DEV_ZR40NN_get_first()) {
        std::fprintf(stderr, "refresh of %d tokens failed:\n%s", tokens, first->err);
    }
    finish(bus, ids);
    return ok;
}

bool benchPinChecks(EmulatedBus& bus)
{
    const int id = bus.plug(numberedToken(99));
    const StartedToken started = startOneToken();
    DEV_ZR40NN_t* ut = started.record;
    bool ok = started.ok && ut != nullptr && DEV_ZR40NN_session_open(ut) == 0;
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
    const std::size_t exchanges = takeExchanges(bus, { id });
    if (ok) {
        ok = report("PIN check", kPinChecks, exchanges, 1, measure);
    } else if (ut != nullptr) {
        std::fprintf(stderr, "PIN checks failed:\n%s", ut->err);
    }
    finish(bus, { id }, ut);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    const int repeats = countArgument(argc, argv, 5);
    if (!underUmockdev()) {
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
