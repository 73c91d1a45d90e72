// The common course of a token command: argument checks, the request payload, one exchange, the
// wipe of the request, and an entry with the code's text when it failed.
#pragma once

#include "dev_zr40nn.h"
#include "protocol.h"
#include "wipe.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <source_location>

namespace zr40nn {

// Answer buffer of a whole frame: answers are checked by length here rather than refused by the
// transport (-7), which would also release the USB handle.
using FrameBuffer = std::array<unsigned char, protocol::kFrameSize>;

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

    // Sends the request and receives the answer into `answer` (at most `max` octets). Returns the
    // answer length, or the negative code after pushing the code's text under the command's name.
    int exchange(unsigned char* answer, int max, std::source_location where = std::source_location::current());

    // The exchange of a command whose answer carries nothing but the status: 0 or the code.
    int run(std::source_location where = std::source_location::current());

    // The exchange of a command whose answer has exactly one valid length (status octet included).
    // An answer of any other length is refused with -5 before a single octet of it is used.
    int exchangeExact(FrameBuffer& answer, int length, std::source_location where = std::source_location::current());

    // Pushes `message` under the command's name and returns `code` (failed checks, bad answers).
    int fail(int code, const char* message, std::source_location where = std::source_location::current()) const;

private:
    DEV_ZR40NN_t* mUt;
    const char* mFunction;
    // The longest request the token takes: the payload of a whole frame.
    std::array<unsigned char, protocol::kMaxPayload> mPayload {};
    std::size_t mLength = 0;
    ScopedWipe mWipe { mPayload.data(), mPayload.size() };
};

} // namespace zr40nn
