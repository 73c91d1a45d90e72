// Signatures through the OpenSSL engine against direct signing commands, on an emulated token.
//
// Run under umockdev's preload: `umockdev-wrapper zr40nn_engine_bench [signatures]`. The engine
// opens and closes a session (the CP210x set-up and release on USB) around every signature;
// direct signing sends the commands one after another in a single session. Both are measured
// without and with the emulated UART's wire time. Exchanges are counted in the emulator's log.
#include "bench_support.h"
#include "dev_zr40nn_engine.h"
#include "openssl_owner.h"
#include "token_crypto.h"

#include <openssl/ec.h>
#include <openssl/ecdsa.h>
#include <openssl/engine.h>
#include <openssl/evp.h>

#include <cstdio>

namespace {

using namespace zr40nn::bench;

constexpr unsigned char kDigest[32]
    = { 0x5a, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f,
        0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x1b, 0x1c, 0x1d, 0x1e, 0x1f };

struct Result
{
    bool ok = false;
    Measure time;
    std::size_t exchanges = 0;
};

TokenConfig benchToken()
{
    TokenConfig config = usableToken("BENCH-ENGINE", "BENCH");
    config.keys[0] = *zr40nn::emu::generateKeyPair(2560, "klucz");
    return config;
}

Result signDirectly(EmulatedBus& bus, int id, int signatures)
{
    Result result;
    const StartedToken started = startOneToken();
    DEV_ZR40NN_t* ut = started.ok ? started.record : nullptr;
    bus.token(id).clearLog();
    // The one session's opening and closing count too, as the engine's do.
    result.ok = timed(result.time, [ut, signatures] {
        bool ok = ut != nullptr && DEV_ZR40NN_session_open(ut) == 0;
        unsigned char signature[128];
        for (int i = 0; ok && i < signatures; ++i) {
            ok = DEV_ZR40NN_cmd_ecdsa_sign(ut, kUserPin, 0, signature, sizeof(signature), kDigest, sizeof(kDigest)) > 0;
        }
        if (ut != nullptr && ut->session_is_open != 0) {
            ok = DEV_ZR40NN_session_close(ut) == 0 && ok;
        }
        return ok;
    });
    result.exchanges = takeExchanges(bus, { id });
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
    morvil::OpenSslOwner<EVP_PKEY, EVP_PKEY_free> key(ENGINE_load_private_key(e, "BENCH/klucz", nullptr, nullptr));
    EC_KEY* ec = key ? const_cast<EC_KEY*>(EVP_PKEY_get0_EC_KEY(key.get())) : nullptr;
    bus.token(id).clearLog();
    result.ok = timed(result.time, [ec, signatures] {
        bool ok = ec != nullptr;
        for (int i = 0; ok && i < signatures; ++i) {
            ECDSA_SIG* sig = ECDSA_do_sign(kDigest, sizeof(kDigest), ec);
            ok = sig != nullptr;
            ECDSA_SIG_free(sig);
        }
        return ok;
    });
    result.exchanges = takeExchanges(bus, { id });
    key.reset(); // the key holds the engine initialised: it goes first, so the finish runs here
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
                signatures / r.time.wall, static_cast<double>(r.exchanges) / signatures,
                microsecondsEach(r.time.cpu, signatures));
}

} // namespace

int main(int argc, char** argv)
{
    const int signatures = countArgument(argc, argv, 200);
    if (!underUmockdev()) {
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
                        microsecondsEach(engine.time.wall - direct.time.wall, signatures),
                        microsecondsEach(engine.time.cpu - direct.time.cpu, signatures));
        }
        ok = ok && direct.ok && engine.ok;
    }
    ENGINE_free(e);
    return ok ? 0 : 1;
}
