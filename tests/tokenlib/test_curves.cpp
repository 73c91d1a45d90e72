// The curve table, checked against OpenSSL's own definitions of the four curves.
#include "dev_zr40nn.h"
#include "openssl_owner.h"

#include <gtest/gtest.h>

#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/ec.h>
#include <openssl/obj_mac.h>

#include <memory>
#include <vector>

namespace {

using GroupPtr = morvil::OpenSslOwner<EC_GROUP, EC_GROUP_free>;
using Der = std::vector<unsigned char>;

struct Expected
{
    int id;
    const char* name;
    int nid;
    int named;
    int alg;
    int specified;
};

constexpr Expected kExpected[] = {
    { 1600, "secp160r1", NID_secp160r1, 7, 18, 178 },
    { 1920, "secp192r1", NID_X9_62_prime192v1, 10, 21, 202 },
    { 2240, "secp224r1", NID_secp224r1, 7, 18, 226 },
    { 2560, "secp256r1", NID_X9_62_prime256v1, 10, 21, 250 },
};

GroupPtr decodeGroup(const unsigned char* der, int length)
{
    const unsigned char* p = der;
    GroupPtr group(d2i_ECPKParameters(nullptr, &p, length));
    // The whole encoding and nothing more is one ECPKParameters.
    EXPECT_EQ(p, der + length);
    return group;
}

// ECParameters with the prime, coefficients, seed, base point, order and cofactor written out.
Der explicitEncoding(EC_GROUP* group)
{
    EC_GROUP_set_asn1_flag(group, OPENSSL_EC_EXPLICIT_CURVE);
    EC_GROUP_set_point_conversion_form(group, POINT_CONVERSION_UNCOMPRESSED);
    unsigned char* der = nullptr;
    const int n = i2d_ECPKParameters(group, &der);
    Der out = n > 0 ? Der(der, der + n) : Der {};
    OPENSSL_free(der);
    return out;
}

TEST(Curves, TableMatchesOpenSslCurvesAndIsLookedUpById)
{
    for (int i = 0; i < 4; ++i) {
        const Expected& want = kExpected[i];
        const DEV_ZR40NN_ecc_params_t& curve = DEV_ZR40NN_ecc_params[i];
        SCOPED_TRACE(want.name);
        EXPECT_EQ(curve.id, want.id);
        EXPECT_STREQ(curve.name, want.name);
        ASSERT_EQ(curve.asn1_named_octets, want.named);
        ASSERT_EQ(curve.asn1_named_alg[1] + 2, want.alg);
        ASSERT_EQ(curve.asn1_specified_octets, want.specified);

        GroupPtr reference(EC_GROUP_new_by_curve_name(want.nid));
        ASSERT_NE(reference, nullptr);

        GroupPtr named = decodeGroup(curve.asn1_named, curve.asn1_named_octets);
        ASSERT_NE(named, nullptr);
        EXPECT_EQ(EC_GROUP_get_curve_name(named.get()), want.nid);

        GroupPtr specified = decodeGroup(curve.asn1_specified, curve.asn1_specified_octets);
        ASSERT_NE(specified, nullptr);
        EXPECT_EQ(EC_GROUP_cmp(specified.get(), reference.get(), nullptr), 0);
        EXPECT_EQ(EC_GROUP_get_seed_len(specified.get()), 20u);
        EXPECT_EQ(EC_GROUP_get_asn1_flag(specified.get()) & OPENSSL_EC_NAMED_CURVE, 0);

        EXPECT_EQ(curve.field_octets, (EC_GROUP_get_degree(reference.get()) + 7) / 8);
        EXPECT_EQ(curve.order_octets, BN_num_bytes(EC_GROUP_get0_order(reference.get())));

        // OpenSSL's own explicit encoding of the curve (seed included) is ours to the octet.
        EXPECT_EQ(explicitEncoding(reference.get()),
                  Der(curve.asn1_specified, curve.asn1_specified + curve.asn1_specified_octets));

        // The AlgorithmIdentifier is checked octet for octet by the SubjectPublicKeyInfo test.
        EXPECT_EQ(DEV_ZR40NN_get_ecc_params(want.id), &curve);
    }
    for (int id : { 0, 160, 1601, 2559, 0x0A01, 3840 }) {
        EXPECT_EQ(DEV_ZR40NN_get_ecc_params(id), nullptr) << id;
    }
}

} // namespace
