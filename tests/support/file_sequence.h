// Random sequences of token file operations, checked after every step against the token's own
// memory: no table entry is corrupt, no sector is listed twice or handed out while listed, and
// every file reads back what its last successful flush wrote.
//
// A script is a string of octets that picks the operations, their handles, names and sizes, and
// failures injected into the token: refused writes and reads, and writes that take effect but
// whose answer is lost. The same runner serves a test over USB and a fuzz target in-process.
#pragma once

#include "dev_zr40nn.h"
#include "token_model.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace zr40nn::test {

struct SequenceTarget
{
    DEV_ZR40NN_t* ut = nullptr; // a listed record with a session open
    emu::TokenModel* token = nullptr;
    std::function<void()> refresh; // reads the device again the way the programs do
};

// Runs the script; returns an empty string, or the broken invariant with the steps that led to it.
std::string runFileSequence(const SequenceTarget& target, const std::uint8_t* script, std::size_t size);

} // namespace zr40nn::test
