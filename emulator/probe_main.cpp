// zr40nn-probe [--exercise]: shows what every DEV-ZR40NN token on the USB bus reports. With
// --exercise it also puts each token to work: a blank one is initialised, an unconfigured one is
// configured, then the probe logs in, makes sure slot 0 holds a key, signs a SHA-256 digest and
// checks the signature with OpenSSL against the slot's public point.
#include "probe_token.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <cstdio>
#include <cstring>
#include <memory>

using namespace zr40nn::probe;

namespace {

constexpr const char* kName = "DEMO";
constexpr const char* kDemoSoPin = "12345678";
constexpr const char* kDemoUserPin = "1234";
constexpr int kLimit = 3;
constexpr int kSlot = 0;
constexpr const char* kKeyName = "probe-key";
constexpr const char* kMessage = "signed by zr40nn-probe";

const char* stateText(int state)
{
    if (state & 0x04) {
        return "locked";
    }
    if (state & 0x02) {
        return "configured";
    }
    return (state & 0x01) ? "initialised" : "blank";
}

std::string hex(const Bytes& octets)
{
    std::string out;
    char two[3];
    for (std::uint8_t octet : octets) {
        std::snprintf(two, sizeof two, "%02x", octet);
        out += two;
    }
    return out;
}

void printInfo(const DeviceInfo& info)
{
    std::printf("  state:          0x%02x (%s)\n", info.state, stateText(info.state));
    std::printf("  name:           \"%s\"\n", info.name.c_str());
    std::printf("  PIN tries:      SO %d of %d, user %d of %d\n", info.soTries, info.soLimit, info.userTries,
                info.userLimit);
    std::printf("  version:        %d.%d\n", info.mainVersion, info.subVersion);
    std::printf("  public memory:  %d octets (%d objects)\n", info.publicMemory, info.publicMemory / 64);
    std::printf("  key slots:      %d\n", info.keysNum);
    const Curve* curve = findCurve(info.curveId);
    std::printf("  curve:          %d (%s), %d curve(s)\n", info.curveId, curve ? curve->name : "not supported",
                info.curves);
}

void printKeys(Link& link, const DeviceInfo& info)
{
    if (!findCurve(info.curveId)) {
        std::printf("  keys:           not readable on this curve\n");
        return;
    }
    for (int slot = 0; slot < info.keysNum; ++slot) {
        const KeySlot key = readKeySlot(link, slot, info.curveId);
        if (key.state & 0x01) {
            std::printf("  slot %d:         \"%s\", curve %d, X %s\n", slot, key.name.c_str(), key.curveId,
                        hex(key.x).c_str());
        } else {
            std::printf("  slot %d:         empty\n", slot);
        }
    }
}

struct PkeyFree
{
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct PkeyCtxFree
{
    void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};

// Checks a DER ECDSA signature of `digest` against the public point of a key slot.
bool verify(const KeySlot& key, const Bytes& digest, const Bytes& signature)
{
    const Curve* curve = findCurve(key.curveId);
    if (!curve) {
        return false;
    }
    Bytes point { 0x04 };
    point.insert(point.end(), key.x.begin(), key.x.end());
    point.insert(point.end(), key.y.begin(), key.y.end());
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, const_cast<char*>(curve->group), 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size()),
        OSSL_PARAM_construct_end(),
    };
    std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree> fromData(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* raw = nullptr;
    if (!fromData || EVP_PKEY_fromdata_init(fromData.get()) <= 0
        || EVP_PKEY_fromdata(fromData.get(), &raw, EVP_PKEY_PUBLIC_KEY, params) <= 0) {
        return false;
    }
    std::unique_ptr<EVP_PKEY, PkeyFree> publicKey(raw);
    std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree> ctx(EVP_PKEY_CTX_new(publicKey.get(), nullptr));
    return ctx && EVP_PKEY_verify_init(ctx.get()) > 0
        && EVP_PKEY_verify(ctx.get(), signature.data(), signature.size(), digest.data(), digest.size()) == 1;
}

Bytes sha256(const char* message)
{
    Bytes digest(32);
    unsigned int length = 0;
    EVP_Digest(message, std::strlen(message), digest.data(), &length, EVP_sha256(), nullptr);
    return digest;
}

void step(const char* what)
{
    std::printf("  - %s\n", what);
    std::fflush(stdout);
}

// Puts one token to work; returns false when the token is in no state to do so.
bool exercise(Link& link, DeviceInfo info)
{
    if (!findCurve(info.curveId)) {
        std::printf("  exercise:       skipped, the token's curve is not supported\n");
        return false;
    }
    if (info.state == 0) {
        step("initialising");
        initialise(link);
        info.state = 0x01;
    }
    if (info.state == 0x01) {
        step("configuring: name \"DEMO\", SO PIN and user PIN, limits 3/3");
        configure(link, kName, kDemoSoPin, kDemoUserPin, kLimit, kLimit);
        info = readInfo(link);
        std::printf("    state now 0x%02x (%s), name \"%s\"\n", info.state, stateText(info.state), info.name.c_str());
    }
    if ((info.state & 0x06) != 0x02) {
        std::printf("  exercise:       skipped, the token is %s\n", stateText(info.state));
        return false;
    }
    step("logging in with the user PIN");
    tryPin(link, kUserPinId, kDemoUserPin);
    KeySlot key = readKeySlot(link, kSlot, info.curveId);
    if (!(key.state & 0x01)) {
        step("generating a key in slot 0");
        generateKey(link, kDemoUserPin, kSlot, info.curveId, kKeyName);
        key = readKeySlot(link, kSlot, info.curveId);
    } else {
        std::printf("  - slot 0 already holds \"%s\"\n", key.name.c_str());
    }
    std::printf("    public point X %s\n                 Y %s\n", hex(key.x).c_str(), hex(key.y).c_str());
    const Bytes digest = sha256(kMessage);
    step("signing a SHA-256 digest");
    const Bytes signature = sign(link, kDemoUserPin, kSlot, digest);
    std::printf("    signature (%zu octets) %s\n", signature.size(), hex(signature).c_str());
    const bool good = verify(key, digest, signature);
    std::printf("  - OpenSSL verification against the slot's public point: %s\n", good ? "good" : "BAD");
    return good;
}

} // namespace

int main(int argc, char** argv)
{
    bool doExercise = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--exercise") == 0) {
            doExercise = true;
        } else {
            std::fprintf(stderr, "usage: zr40nn-probe [--exercise]\n");
            return 2;
        }
    }
    const auto tokens = findTokens();
    if (tokens.empty()) {
        std::printf("no DEV-ZR40NN token found\n");
        return 1;
    }
    int failures = 0;
    for (std::size_t n = 0; n < tokens.size(); ++n) {
        std::printf("Token %zu of %zu at %s\n", n + 1, tokens.size(), location(tokens[n]).c_str());
        try {
            Link link(tokens[n]);
            std::printf("  product:        %s\n  serial:         %s\n", link.product().c_str(), link.serial().c_str());
            const DeviceInfo info = readInfo(link);
            printInfo(info);
            if (doExercise && !exercise(link, info)) {
                ++failures;
            }
            printKeys(link, readInfo(link));
        } catch (const std::exception& e) {
            std::printf("  failed: %s\n", e.what());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 2;
}
