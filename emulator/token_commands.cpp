// The checks every command shares, run from the command table: the frame, the token's state, the
// PIN id, the operands' ranges and the PIN itself, in the order the token makes them.
#include "token_command_set.h"
#include "token_crypto.h"
#include "token_fields.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

namespace zr40nn::emu {
namespace {

using namespace fields;

constexpr std::uint8_t kSoPinId = 0;
constexpr std::uint8_t kUserPinId = 1;

// Why a request is refused before any command looks at it, or nothing for a well-formed one.
std::optional<Status> frameError(const Bytes& request, const CommandSpec*& command)
{
    if (request.empty()) {
        return kStatusFrameSize;
    }
    if (request[0] != 0x00) {
        return kStatusFrameSyntax;
    }
    if (request.size() <= kCodeAt) {
        return kStatusFrameSize;
    }
    command = findCommand(request[kCodeAt]);
    if (!command) {
        return kStatusWrongCommand;
    }
    const int length = static_cast<int>(request.size());
    if (length < command->minLength || length > command->maxLength) {
        return kStatusFrameSize;
    }
    return std::nullopt;
}

bool meets(const TokenConfig& token, Needs needs)
{
    const bool configured = (token.state & kConfigured) != 0;
    switch (needs) {
    case Needs::Nothing:
        return true;
    case Needs::Blank:
        return token.state == 0;
    case Needs::Initialised:
        return token.state == kInitialised;
    case Needs::Configured:
        return configured;
    case Needs::Unlocked:
        return configured && (token.state & kLocked) == 0;
    }
    return false;
}

bool pinIdInRange(PinRule rule, int pinId)
{
    return rule == PinRule::SoOnly ? pinId == kSoPinId : pinId <= kUserPinId;
}

// A PIN id in range that this command still refuses. The user PIN opens nothing on a locked token.
bool pinIdRefused(const TokenConfig& token, PinRule rule, int pinId)
{
    if (pinId == kUserPinId) {
        return (token.state & kLocked) != 0;
    }
    return rule == PinRule::UserOnly
        || (rule == PinRule::UserOrPermittedSo && (token.state & kSoMayNotChangeUserPin) != 0);
}

bool operandsInRange(const CommandContext& c)
{
    const Operands& at = c.command.at;
    const LogEntry& in = c.operands;
    if (at.slot >= 0 && in.slot >= c.slotCount()) {
        return false;
    }
    if (at.object >= 0 && in.object >= c.objectCount()) {
        return false;
    }
    // A token whose own curve it cannot compute on accepts no curve at all.
    return at.curve < 0 || (in.curveId == c.token.curveId && findCurve(c.token.curveId));
}

// A PIN as the token stores it compared with the 8-octet field of a request: the stored PIN is
// NUL-padded the same way, so "ab" matches "ab\0\0\0\0\0\0" and nothing else.
bool pinMatches(const std::string& stored, const std::uint8_t* field)
{
    std::array<std::uint8_t, kPinOctets> expected {};
    std::memcpy(expected.data(), stored.data(), std::min(stored.size(), kPinOctets));
    const bool same = CRYPTO_memcmp(expected.data(), field, kPinOctets) == 0;
    OPENSSL_cleanse(expected.data(), expected.size());
    return same;
}

// Checks the PIN a command carries and keeps the retry counts: a wrong PIN counts one failed try, a
// right one clears that PIN's count. The user count reaching its limit locks the token; the SO
// count reaching its limit refuses every further SO-PIN command.
std::optional<Status> checkPin(TokenConfig& token, int pinId, const std::uint8_t* field)
{
    if (pinId == kSoPinId) {
        if (token.soPinTries >= token.soPinLimit) {
            return kStatusNotAllowed;
        }
        if (!pinMatches(token.soPin, field)) {
            token.soPinTries = std::min(token.soPinTries + 1, 255);
            return kStatusWrongPin;
        }
        token.soPinTries = 0;
        return std::nullopt;
    }
    if (!pinMatches(token.userPin, field)) {
        token.userPinTries = std::min(token.userPinTries + 1, 255);
        if (token.userPinTries >= token.userPinLimit) {
            token.state |= kLocked;
        }
        return kStatusWrongPin;
    }
    token.userPinTries = 0;
    return std::nullopt;
}

std::optional<Status> sharedChecks(CommandContext& c)
{
    const CommandSpec& command = c.command;
    if (!meets(c.token, command.needs)) {
        return kStatusNotAllowed;
    }
    const bool takesPin = command.pin != PinRule::None;
    const int pinId = c.operands.pinId;
    if ((takesPin && !pinIdInRange(command.pin, pinId)) || !operandsInRange(c)) {
        return kStatusOutOfRange;
    }
    if (!takesPin) {
        return std::nullopt;
    }
    if (pinIdRefused(c.token, command.pin, pinId)) {
        return kStatusNotAllowed;
    }
    return checkPin(c.token, pinId, c.request.data() + kPinAt);
}

} // namespace

Bytes errorAnswer(Status status)
{
    return { 0x80, status };
}

Bytes okAnswer(Bytes data)
{
    data.insert(data.begin(), 0x00);
    return data;
}

Bytes runCommand(TokenConfig& token, const Bytes& request, const std::function<void(int)>& wait)
{
    const CommandSpec* command = nullptr;
    if (auto error = frameError(request, command)) {
        return errorAnswer(*error);
    }
    LogEntry operands;
    describeRequest(request, operands);
    CommandContext context { token, wait, *command, request, operands };
    if (auto refused = sharedChecks(context)) {
        return errorAnswer(*refused);
    }
    return command->run(context);
}

void describeRequest(const Bytes& r, LogEntry& entry)
{
    entry.requestLength = static_cast<int>(r.size());
    if (r.size() <= kCodeAt) {
        return;
    }
    entry.code = r[kCodeAt];
    const CommandSpec* command = findCommand(entry.code);
    if (!command) {
        return;
    }
    // An operand at `at` of `octets` octets, when the request reaches that far.
    auto holds
        = [&r](int at, std::size_t octets) { return at >= 0 && r.size() >= static_cast<std::size_t>(at) + octets; };
    const Operands& at = command->at;
    if (command->pin != PinRule::None) {
        if (holds(kPinIdAt, 1)) {
            entry.pinId = r[kPinIdAt];
        }
        if (holds(kPinAt, kPinOctets)) {
            entry.pin = unpad(r.data() + kPinAt, kPinOctets);
        }
    }
    if (holds(at.slot, 1)) {
        entry.slot = r[static_cast<std::size_t>(at.slot)];
    }
    if (holds(at.object, 2)) {
        entry.object = bigEndian16(r, static_cast<std::size_t>(at.object));
    }
    if (holds(at.curve, 2)) {
        entry.curveId = bigEndian16(r, static_cast<std::size_t>(at.curve));
    }
    if (holds(at.keyName, kKeyNameOctets)) {
        entry.keyName = unpad(r.data() + at.keyName, kKeyNameOctets);
    }
    if (holds(at.count, 1)) {
        entry.count = r[static_cast<std::size_t>(at.count)];
    }
    if (holds(at.digest, 0)) {
        entry.count = static_cast<int>(r.size()) - at.digest;
    }
}

} // namespace zr40nn::emu
