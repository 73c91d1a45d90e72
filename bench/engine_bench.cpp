// Signatures through the OpenSSL engine against direct signing commands, on an emulated token.
//
// Run under umockdev's preload: `umockdev-wrapper zr40nn_engine_bench [signatures]`. The engine
// opens and closes a session (the CP210x set-up and release on USB) around every signature;
// direct signing sends the commands one after another in a single session. Both are measured
// without and with the emulated UART's wire time. Exchanges are counted in the emulator's log.
#include "dev_zr40nn.h"
#include "dev_zr40nn_engine.h"
#include "token_crypto.h"
#include "usb_testbed.h"

#include <openssl/ec.h>
#include <openssl/ecdsa.h>
#include <openssl/engine.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

using zr40nn::emu::EmulatedBus;
using zr40nn::emu::TokenConfig;

constexpr const char kUserPin[] = "1234";
constexpr unsigned char kDigest[32]
    = { 0x5a, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f,
        0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x1b, 0x1c, 0x1d, 0x1e, 0x1f };

struct Clock
{
    double cpu;
    double wall;

    static Clock now()
    {
        timespec cpu {};
        timespec wall {};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
        clock_gettime(CLOCK_MONOTONIC, &wall);
        return { static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) / 1e9,
                 static_cast<double>(wall.tv_sec) + static_cast<double>(wall.tv_nsec) / 1e9 };
    }
};

struct Result
{
    bool ok = false;
    double cpu = 0;
    double wall = 0;
    std::size_t exchanges = 0;
};

TokenConfig benchToken()
{
    TokenConfig config;
    config.serial = "BENCH-ENGINE";
    config.name = "BENCH";
    config.state = 0x03;
    config.userPin = kUserPin;
    config.soPin = "87654321";
    config.userPinLimit = 3;
    config.soPinLimit = 5;
    config.keys[0] = *zr40nn::emu::generateKeyPair(2560, "klucz");
    return config;
}

Result signDirectly(EmulatedBus& bus, int id, int signatures)
{
    Result result;
    DEV_ZR40NN_lib_init();
    DEV_ZR40NN_t* ut = DEV_ZR40NN_lib_find_devices() == 1 && DEV_ZR40NN_lib_actualize_devices() == 0
        ? DEV_ZR40NN_get_first()
        : nullptr;
    bus.token(id).clearLog();
    const Clock start = Clock::now();
    result.ok = ut != nullptr && DEV_ZR40NN_session_open(ut) == 0;
    unsigned char signature[128];
    for (int i = 0; result.ok && i < signatures; ++i) {
        result.ok
            = DEV_ZR40NN_cmd_ecdsa_sign(ut, kUserPin, 0, signature, sizeof(signature), kDigest, sizeof(kDigest)) > 0;
    }
    if (ut != nullptr && ut->session_is_open != 0) {
        result.ok = DEV_ZR40NN_session_close(ut) == 0 && result.ok;
    }
    const Clock end = Clock::now();
    result.cpu = end.cpu - start.cpu;
    result.wall = end.wall - start.wall;
    result.exchanges = bus.token(id).log().size();
    DEV_ZR40NN_lib_finish();
    return result;
}

Result signThroughEngine(EmulatedBus& bus, int id, ENGINE* e, int signatures)
{
    Result result;
    if (ENGINE_init(e) != 1) {
        return result;
    }
    ENGINE_ctrl_cmd_string(e, "user_pin", kUserPin, 0);
    EVP_PKEY* key = ENGINE_load_private_key(e, "BENCH/klucz", nullptr, nullptr);
    EC_KEY* ec = key != nullptr ? const_cast<EC_KEY*>(EVP_PKEY_get0_EC_KEY(key)) : nullptr;
    bus.token(id).clearLog();
    const Clock start = Clock::now();
    result.ok = ec != nullptr;
    for (int i = 0; result.ok && i < signatures; ++i) {
        ECDSA_SIG* sig = ECDSA_do_sign(kDigest, sizeof(kDigest), ec);
        result.ok = sig != nullptr;
        ECDSA_SIG_free(sig);
    }
    const Clock end = Clock::now();
    result.cpu = end.cpu - start.cpu;
    result.wall = end.wall - start.wall;
    result.exchanges = bus.token(id).log().size();
    EVP_PKEY_free(key);
    ENGINE_finish(e);
    return result;
}

void report(const char* what, const Result& r, int signatures)
{
    if (!r.ok) {
        std::printf("%-28s failed\n", what);
        return;
    }
    std::printf("%-28s %9.1f signatures/s  %5.2f exchanges/signature  host CPU %7.1f us/signature\n", what,
                signatures / r.wall, static_cast<double>(r.exchanges) / signatures, r.cpu / signatures * 1e6);
}

} // namespace

int main(int argc, char** argv)
{
    const int signatures = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    if (std::getenv("UMOCKDEV_DIR") == nullptr && std::getenv("LD_PRELOAD") == nullptr) {
        std::fprintf(stderr, "run under umockdev-wrapper: the tokens are emulated\n");
        return 2;
    }
    EmulatedBus bus;
    const int id = bus.plug(benchToken());
    ENGINE_load_dev_zr40nn();
    ENGINE* e = ENGINE_by_id(DEV_ZR40NN_ENGINE_ID);
    if (e == nullptr) {
        std::fprintf(stderr, "engine not found\n");
        return 1;
    }

    bool ok = true;
    std::printf("%d signatures of a 32-octet digest on secp256r1\n", signatures);
    for (bool wireTime : { false, true }) {
        bus.setWireTime(wireTime);
        std::printf("%s\n", wireTime ? "with UART wire time:" : "without wire time:");
        const Result direct = signDirectly(bus, id, signatures);
        const Result engine = signThroughEngine(bus, id, e, signatures);
        report("  direct, one session", direct, signatures);
        report("  engine, session each", engine, signatures);
        if (direct.ok && engine.ok) {
            std::printf("  session open and close per engine signature: %.1f us wall, %.1f us host CPU\n",
                        (engine.wall - direct.wall) / signatures * 1e6, (engine.cpu - direct.cpu) / signatures * 1e6);
        }
        ok = ok && direct.ok && engine.ok;
    }
    ENGINE_free(e);
    return ok ? 0 : 1;
}
