#include "engine_front.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>

namespace zr40nn::engine {

void registerDigestNames() noexcept
{
    // The ecdsa-with-SHA objects exist in OpenSSL already (under upper-case names), so no object
    // is created: the lower-case names that the programs and configurations use become aliases
    // of the hashes, and a signature with them carries the matching ecdsa-with-SHA OID.
    static constexpr struct
    {
        const char* name;
        int hash;
    } kNames[] = {
        { "ecdsa-with-sha1", NID_sha1 },     { "ecdsa-with-sha224", NID_sha224 }, { "ecdsa-with-sha256", NID_sha256 },
        { "ecdsa-with-sha384", NID_sha384 }, { "ecdsa-with-sha512", NID_sha512 },
    };
    ERR_set_mark();
    for (const auto& entry : kNames) {
        EVP_add_digest_alias(OBJ_nid2sn(entry.hash), entry.name);
    }
    ERR_pop_to_mark();
}

} // namespace zr40nn::engine
