// Time to a working VPN connection: morvil_openvpn signing with the key on an emulated token
// (with the UART's wire time) beside plain openvpn with the same kind of key in a file, both
// against a fresh OpenVPN server on 127.0.0.1, alternating, several times; medians compared.
//
// Run under umockdev's preload: `umockdev-wrapper morvil_openvpn_bench [repetitions]`. Two times
// run from starting the client: to the end of the TLS handshake ("Peer Connection Initiated", the
// part the token takes part in) and to "Initialization Sequence Completed". openvpn asks for its
// pushed options about a second after the handshake, on a timer of whole seconds, so the second
// time varies by a good part of a second from run to run: take enough repetitions.
#include "bench_support.h"
#include "vpn_testbed.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>

namespace {

using namespace morvil::test;
namespace fs = std::filesystem;

constexpr double kConnectSeconds = 30;
const std::string kTemplate = "nobind\n";

constexpr const char* kHandshakeDone = "Peer Connection Initiated";

struct Times
{
    double handshake = 0;
    double initialised = 0;
};

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One connection: start the server, then the client, and time the client up to the markers.
std::optional<Times> connectOnce(const fs::path& certDir, const fs::path& work, bool throughToken, bool useTun)
{
    const int port = freeUdpPort();
    std::unique_ptr<RunningProcess> server = startServer(certDir, port);
    // A client that finds no server waits seconds before trying again: start on a bound server.
    if (!server->waitForOutput("link local (bound)", kConnectSeconds)) {
        return std::nullopt;
    }
    const fs::path dir = work / (throughToken ? "token" : "plain");
    makeConnectionDir(dir, certDir, connectionConf(port, throughToken ? kVpnKeyReference : "plain.key", kTemplate));
    if (!throughToken) {
        fs::copy_file(certDir / "plain.pem", dir / "user", fs::copy_options::overwrite_existing);
        fs::copy_file(certDir / "plain.key", dir / "plain.key", fs::copy_options::overwrite_existing);
    }
    std::vector<std::string> args = clientArguments();
    std::vector<std::string> environment;
    if (!useTun) {
        environment.push_back("MORVIL_OPENVPN_DEV=null");
    }
    if (!throughToken) {
        // Plain openvpn as it runs outside the tests, without the emulated bus's preload (which
        // morvil_openvpn drops for its openvpn too).
        environment.push_back("LD_PRELOAD=");
        args.resize(args.size() - 3); // no --engkey, --engine and its argument
        if (!useTun) {
            args[3] = "null";
        }
    }
    const auto start = std::chrono::steady_clock::now();
    RunningProcess client(throughToken ? MORVIL_OPENVPN : kOpenVpn, args, dir.string(),
                          throughToken ? std::string(kVpnPin) + "\n" : "", environment);
    Times times;
    const bool shaken = client.waitForOutput(kHandshakeDone, kConnectSeconds);
    times.handshake = secondsSince(start);
    const bool up = shaken && client.waitForOutput(kInitialised, kConnectSeconds);
    times.initialised = secondsSince(start);
    client.signal(SIGTERM);
    client.waitForExit(15);
    if (!up) {
        std::fprintf(stderr, "no connection:\n%s%s\n", client.out().c_str(), client.err().c_str());
        return std::nullopt;
    }
    return times;
}

double median(const std::vector<Times>& runs, double Times::*field)
{
    std::vector<double> values;
    for (const Times& run : runs) {
        values.push_back(run.*field);
    }
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    const int repetitions = zr40nn::bench::countArgument(argc, argv, 7);
    if (!zr40nn::bench::underUmockdev()) {
        return 2;
    }
    zr40nn::emu::EmulatedBus bus;
    std::string pattern = (fs::temp_directory_path() / "morvil-vpn-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("temporary directory");
        return 1;
    }
    const fs::path work = pattern;
    const std::string publicKey = (work / "token_pub.pem").string();
    const zr40nn::emu::TokenConfig token = makeVpnToken(bus, publicKey);
    std::string err;
    if (!makeCertificates(work, publicKey, err)) {
        std::fprintf(stderr, "certificates: %s\n", err.c_str());
        return 1;
    }
    bus.plug(token);
    bus.setWireTime(true);
    const bool useTun = tunUsable();

    std::vector<Times> plain;
    std::vector<Times> throughToken;
    bool ok = true;
    for (int i = 0; ok && i < repetitions; ++i) {
        const std::optional<Times> p = connectOnce(work, work, false, useTun);
        const std::optional<Times> t = connectOnce(work, work, true, useTun);
        ok = p && t;
        if (ok) {
            plain.push_back(*p);
            throughToken.push_back(*t);
        }
    }
    fs::remove_all(work);
    if (!ok) {
        std::fprintf(stderr, "a connection failed\n");
        return 1;
    }
    std::printf("median of %d connections each, --dev %s, token with UART wire time\n", repetitions,
                useTun ? "tun" : "null");
    std::printf("%-34s %14s %16s\n", "", "to handshake", "to initialised");
    const double plainHandshake = median(plain, &Times::handshake);
    const double tokenHandshake = median(throughToken, &Times::handshake);
    const double plainUp = median(plain, &Times::initialised);
    const double tokenUp = median(throughToken, &Times::initialised);
    std::printf("%-34s %11.1f ms %13.1f ms\n", "plain openvpn, key in a file", plainHandshake * 1000, plainUp * 1000);
    std::printf("%-34s %11.1f ms %13.1f ms\n", "morvil_openvpn, key on the token", tokenHandshake * 1000,
                tokenUp * 1000);
    std::printf("%-34s %+11.1f ms %13.3f (target at most 1.15)\n", "token's cost / ratio",
                (tokenHandshake - plainHandshake) * 1000, tokenUp / plainUp);
    return 0;
}
