// Having the token sign a digest with the key that a handle names.
#pragma once

#include "key_handle.h"

#include <openssl/ecdsa.h>

namespace zr40nn::engine {

// Signs the digest (at most its first 64 octets) on the token in a session of its own. The
// device list is not refreshed: the token must be listed as it was when the key was loaded.
ECDSA_SIG* signOnToken(const unsigned char* digest, int digestLength, const HandleContents& handle) noexcept;

} // namespace zr40nn::engine
