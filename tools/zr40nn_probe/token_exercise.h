// zr40nn-probe --exercise: puts one token to work through the token library.
#pragma once

#include "dev_zr40nn.h"

namespace zr40nn::probe {

// With a session open on ut and its information read: a blank token is initialised, an
// unconfigured one configured (name "DEMO", PINs and limits 3/3); then the user PIN is checked,
// slot 0 gets a key unless it holds one, a SHA-256 digest is signed and the signature checked with
// OpenSSL against the slot's public key. False when the token is in no state for it or a step fails.
bool exercise(DEV_ZR40NN_t* ut);

} // namespace zr40nn::probe
