#include "token_frames.h"

#include "token_fields.h"

#include <array>

namespace zr40nn::emu {
namespace {

using namespace fields;

// Request lengths a command accepts (equal except for signing, which carries 0..64 digest octets).
struct CommandShape
{
    std::uint8_t code;
    int minLength;
    int maxLength;
};

constexpr std::array<CommandShape, 15> kCommands { {
    { 0x00, 2, 2 }, // initialise
    { 0x01, 34, 34 }, // configure
    { 0x02, 2, 2 }, // information
    { 0x03, 3, 3 }, // key slot
    { 0x04, 4, 4 }, // read public object
    { 0x05, 3, 3 }, // random octets
    { 0x2B, 19, 19 }, // change user PIN
    { 0x2C, 36, 36 }, // generate key
    { 0x2D, 12, 12 }, // delete key
    { 0x2E, 77, 77 }, // write public object
    { 0x2F, 11, 11 }, // try PIN
    { 0x49, 12, 12 + static_cast<int>(kMaxDigestOctets) }, // ECDSA sign
    { 0x86, 11, 11 }, // unlock
    { 0x87, 11, 11 }, // erase
    { 0x88, 19, 19 }, // change SO PIN
} };

const CommandShape* findCommand(std::uint8_t code)
{
    for (const CommandShape& shape : kCommands) {
        if (shape.code == code) {
            return &shape;
        }
    }
    return nullptr;
}

// Commands whose octets 2..10 are a PIN id and a PIN field.
bool carriesPin(std::uint8_t code)
{
    switch (code) {
    case 0x2B:
    case 0x2C:
    case 0x2D:
    case 0x2E:
    case 0x2F:
    case 0x49:
    case 0x86:
    case 0x87:
    case 0x88:
        return true;
    default:
        return false;
    }
}

} // namespace

std::optional<Status> frameError(const Bytes& request)
{
    if (request.empty()) {
        return kStatusFrameSize;
    }
    if (request[0] != 0x00) {
        return kStatusFrameSyntax;
    }
    if (request.size() < 2) {
        return kStatusFrameSize;
    }
    const CommandShape* shape = findCommand(request[1]);
    if (!shape) {
        return kStatusWrongCommand;
    }
    const int length = static_cast<int>(request.size());
    if (length < shape->minLength || length > shape->maxLength) {
        return kStatusFrameSize;
    }
    return std::nullopt;
}

Bytes errorAnswer(Status status)
{
    return { 0x80, status };
}

void describeRequest(const Bytes& r, LogEntry& entry)
{
    entry.requestLength = static_cast<int>(r.size());
    if (r.size() < 2) {
        return;
    }
    entry.code = r[1];
    auto has = [&](std::size_t octets) { return r.size() >= octets; };
    switch (entry.code) {
    case 0x03:
        if (has(3)) {
            entry.slot = r[2];
        }
        return;
    case 0x04:
        if (has(4)) {
            entry.object = bigEndian16(r, 2);
        }
        return;
    case 0x05:
        if (has(3)) {
            entry.count = r[2];
        }
        return;
    }
    if (!carriesPin(entry.code)) {
        return;
    }
    if (has(3)) {
        entry.pinId = r[2];
    }
    if (has(3 + kPinOctets)) {
        entry.pin = unpad(r.data() + 3, kPinOctets);
    }
    if ((entry.code == 0x2C || entry.code == 0x2D || entry.code == 0x49) && has(12)) {
        entry.slot = r[11];
    }
    if (entry.code == 0x2C && has(36)) {
        entry.curveId = bigEndian16(r, 13);
        entry.keyName = unpad(r.data() + 15, kKeyNameOctets);
    }
    if (entry.code == 0x2E && has(13)) {
        entry.object = bigEndian16(r, 11);
    }
    if (entry.code == 0x49 && has(12)) {
        entry.count = static_cast<int>(r.size() - 12);
    }
}

} // namespace zr40nn::emu
