// The common course of a token command: argument checks, the request payload, one exchange, the
// wipe of the request, and an entry with the code's text when it failed.
#pragma once

#include "dev_zr40nn.h"
#include "wipe.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <source_location>

namespace zr40nn {

// Fills an 8-octet PIN field: the PIN's first 8 octets, zero octets behind (no terminator when the
// PIN has 8 octets). A null PIN is sent as an empty one.
void fillPinField(unsigned char* field, const char* pin);

// Whether a PIN (null counts as empty) has more than 8 octets.
bool pinTooLong(const char* pin);

// One command on one token. The request payload starts as 00, code; the builder calls append the
// arguments in frame order. The payload buffer is wiped right after the exchange and again when
// the command goes out of scope, so a PIN never outlives the command on any path.
class Command
{
public:
    Command(DEV_ZR40NN_t* ut, const char* function, std::uint8_t code);
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

    Command& octet(unsigned value);
    Command& be16(unsigned value);
    Command& pin(const char* pin);
    // `width` octets of text, NUL-padded; longer text is cut.
    Command& text(const char* text, std::size_t width);
    Command& bytes(const unsigned char* data, std::size_t n);

    int length() const { return static_cast<int>(mLength); }

    // Sends the request and receives the answer into `answer` (at most `max` octets). Returns the
    // answer length, or the negative code after pushing the code's text under the command's name.
    int exchange(unsigned char* answer, int max, std::source_location where = std::source_location::current());

    // The exchange of a command whose answer carries nothing but the status: 0 or the code.
    int run(std::source_location where = std::source_location::current());

    // Pushes `message` under the command's name and returns `code` (failed checks, bad answers).
    int fail(int code, const char* message, std::source_location where = std::source_location::current()) const;

private:
    DEV_ZR40NN_t* mUt;
    const char* mFunction;
    // The longest request frame the token takes (payload of a 130-octet frame).
    std::array<unsigned char, 129> mPayload{};
    std::size_t mLength = 0;
    ScopedWipe mWipe{mPayload.data(), mPayload.size()};
};

// Answer buffer for commands whose answers are checked by length rather than cut by the transport.
using FrameBuffer = std::array<unsigned char, 130>;

} // namespace zr40nn
