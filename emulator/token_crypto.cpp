#include "token_crypto.h"

#include "openssl_owner.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/obj_mac.h>
#include <openssl/objects.h>
#include <openssl/param_build.h>

#include <array>
#include <memory>

namespace zr40nn::emu {
namespace {

constexpr std::array<CurveInfo, 4> kCurves { {
    { 1600, 20, 21, "secp160r1" },
    { 1920, 24, 24, "prime192v1" },
    { 2240, 28, 28, "secp224r1" },
    { 2560, 32, 32, "prime256v1" },
} };

using morvil::OpenSslOwner;
using BigNum = OpenSslOwner<BIGNUM, BN_clear_free>;
using BnCtx = OpenSslOwner<BN_CTX, BN_CTX_free>;
using Group = OpenSslOwner<EC_GROUP, EC_GROUP_free>;
using Point = OpenSslOwner<EC_POINT, EC_POINT_free>;
using PKey = OpenSslOwner<EVP_PKEY, EVP_PKEY_free>;
using PKeyCtx = OpenSslOwner<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;
using ParamBuilder = OpenSslOwner<OSSL_PARAM_BLD, OSSL_PARAM_BLD_free>;
using Params = OpenSslOwner<OSSL_PARAM, OSSL_PARAM_free>;

// Failures are answered with an empty result; the reasons OpenSSL queued are of no use to the
// token's caller and must not linger on the worker thread's error queue.
struct ErrorQueueGuard
{
    ~ErrorQueueGuard() { ERR_clear_error(); }
};

std::optional<Bytes> toPadded(const BIGNUM* n, int octets)
{
    Bytes out(static_cast<std::size_t>(octets));
    if (BN_bn2binpad(n, out.data(), octets) != octets) {
        return std::nullopt;
    }
    return out;
}

BigNum getBigNumParam(const EVP_PKEY* pkey, const char* param)
{
    BIGNUM* n = nullptr;
    if (EVP_PKEY_get_bn_param(pkey, param, &n) != 1) {
        return nullptr;
    }
    return BigNum(n);
}

// An EVP key holding the slot's private scalar and public point.
PKey makePrivateKey(const CurveInfo& curve, const KeySlot& key)
{
    if (key.pubX.size() != static_cast<std::size_t>(curve.fieldOctets) || key.pubY.size() != key.pubX.size()) {
        return nullptr;
    }
    BigNum priv(BN_bin2bn(key.privateKey.data(), static_cast<int>(key.privateKey.size()), nullptr));
    Bytes point { 0x04 };
    point.insert(point.end(), key.pubX.begin(), key.pubX.end());
    point.insert(point.end(), key.pubY.begin(), key.pubY.end());
    ParamBuilder builder(OSSL_PARAM_BLD_new());
    if (!priv || !builder
        || OSSL_PARAM_BLD_push_utf8_string(builder.get(), OSSL_PKEY_PARAM_GROUP_NAME, curve.name, 0) != 1
        || OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_PRIV_KEY, priv.get()) != 1
        || OSSL_PARAM_BLD_push_octet_string(builder.get(), OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size()) != 1) {
        return nullptr;
    }
    Params params(OSSL_PARAM_BLD_to_param(builder.get()));
    PKeyCtx ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* pkey = nullptr;
    if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1
        || EVP_PKEY_fromdata(ctx.get(), &pkey, EVP_PKEY_KEYPAIR, params.get()) != 1) {
        return nullptr;
    }
    return PKey(pkey);
}

} // namespace

const CurveInfo* findCurve(int curveId)
{
    for (const CurveInfo& curve : kCurves) {
        if (curve.id == curveId) {
            return &curve;
        }
    }
    return nullptr;
}

std::optional<KeySlot> generateKeyPair(int curveId, const std::string& name)
{
    ErrorQueueGuard clearErrors;
    const CurveInfo* curve = findCurve(curveId);
    if (!curve) {
        return std::nullopt;
    }
    PKey pkey(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", curve->name));
    if (!pkey) {
        return std::nullopt;
    }
    BigNum priv = getBigNumParam(pkey.get(), OSSL_PKEY_PARAM_PRIV_KEY);
    BigNum x = getBigNumParam(pkey.get(), OSSL_PKEY_PARAM_EC_PUB_X);
    BigNum y = getBigNumParam(pkey.get(), OSSL_PKEY_PARAM_EC_PUB_Y);
    if (!priv || !x || !y) {
        return std::nullopt;
    }
    auto privOctets = toPadded(priv.get(), curve->orderOctets);
    auto xOctets = toPadded(x.get(), curve->fieldOctets);
    auto yOctets = toPadded(y.get(), curve->fieldOctets);
    if (!privOctets || !xOctets || !yOctets) {
        return std::nullopt;
    }
    KeySlot slot;
    slot.present = true;
    slot.name = name;
    slot.privateKey = std::move(*privOctets);
    slot.pubX = std::move(*xOctets);
    slot.pubY = std::move(*yOctets);
    return slot;
}

std::optional<Bytes> publicPointOf(int curveId, const Bytes& privateKey)
{
    ErrorQueueGuard clearErrors;
    const CurveInfo* curve = findCurve(curveId);
    if (!curve) {
        return std::nullopt;
    }
    Group group(EC_GROUP_new_by_curve_name(OBJ_sn2nid(curve->name)));
    BnCtx ctx(BN_CTX_new());
    BigNum priv(BN_bin2bn(privateKey.data(), static_cast<int>(privateKey.size()), nullptr));
    BigNum x(BN_new());
    BigNum y(BN_new());
    if (!group || !ctx || !priv || !x || !y) {
        return std::nullopt;
    }
    const BIGNUM* order = EC_GROUP_get0_order(group.get());
    if (BN_is_zero(priv.get()) || BN_cmp(priv.get(), order) >= 0) {
        return std::nullopt;
    }
    Point point(EC_POINT_new(group.get()));
    if (!point || EC_POINT_mul(group.get(), point.get(), priv.get(), nullptr, nullptr, ctx.get()) != 1
        || EC_POINT_get_affine_coordinates(group.get(), point.get(), x.get(), y.get(), ctx.get()) != 1) {
        return std::nullopt;
    }
    auto xOctets = toPadded(x.get(), curve->fieldOctets);
    auto yOctets = toPadded(y.get(), curve->fieldOctets);
    if (!xOctets || !yOctets) {
        return std::nullopt;
    }
    xOctets->insert(xOctets->end(), yOctets->begin(), yOctets->end());
    return xOctets;
}

std::optional<Bytes> signDigest(int curveId, const KeySlot& key, const std::uint8_t* digest, std::size_t length)
{
    ErrorQueueGuard clearErrors;
    const CurveInfo* curve = findCurve(curveId);
    if (!curve) {
        return std::nullopt;
    }
    PKey pkey = makePrivateKey(*curve, key);
    if (!pkey) {
        return std::nullopt;
    }
    // Without a message digest set, the provider signs the octets as they are: exactly what the
    // token does with the digest the host computed.
    PKeyCtx ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, pkey.get(), nullptr));
    static const std::uint8_t kNoDigest = 0;
    const std::uint8_t* input = length > 0 ? digest : &kNoDigest;
    std::size_t size = 0;
    if (!ctx || EVP_PKEY_sign_init(ctx.get()) != 1 || EVP_PKEY_sign(ctx.get(), nullptr, &size, input, length) != 1) {
        return std::nullopt;
    }
    Bytes signature(size);
    if (EVP_PKEY_sign(ctx.get(), signature.data(), &size, input, length) != 1) {
        return std::nullopt;
    }
    signature.resize(size);
    return signature;
}

} // namespace zr40nn::emu
