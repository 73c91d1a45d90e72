// Fixture for the token command tests: one emulated token, refreshed, with a session open.
#pragma once

#include "token_fixture.h"

namespace zr40nn::test {

using CommandTest = TokenTest;

} // namespace zr40nn::test
