// What each command does once the checks it shares with the others have passed (the state it
// needs, its PIN, its operands in range), and the table that ties the codes to it all.
#include "token_command_set.h"
#include "token_crypto.h"
#include "token_fields.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>

namespace zr40nn::emu {
namespace {

using namespace fields;

constexpr int kMaxRandomOctets = 120;
constexpr int kMaxSlots = static_cast<int>(std::tuple_size_v<decltype(TokenConfig::keys)>);

std::uint8_t octet(int value)
{
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

void wipeKey(KeySlot& key)
{
    OPENSSL_cleanse(key.privateKey.data(), key.privateKey.size());
    key = KeySlot {};
}

void wipeText(std::string& text)
{
    OPENSSL_cleanse(text.data(), text.size());
    text.clear();
}

Bytes initialise(CommandContext& c)
{
    c.wait(c.token.initDelayMs);
    c.token.state = kInitialised;
    return okAnswer();
}

Bytes configure(CommandContext& c)
{
    constexpr std::size_t kFlagsAt = 2, kNameAt = 4, kSoLimitAt = 16, kUserLimitAt = 17;
    constexpr std::size_t kSoPinAt = 18, kUserPinAt = kSoPinAt + kPinOctets;
    const Bytes& r = c.request;
    // A limit of 0 would leave the PIN blocked before its first use.
    if (r[kSoLimitAt] == 0 || r[kUserLimitAt] == 0) {
        return errorAnswer(kStatusOutOfRange);
    }
    TokenConfig& t = c.token;
    t.state = static_cast<std::uint8_t>(kConfigured | (r[kFlagsAt] & kSoMayNotChangeUserPin));
    t.name = unpad(r.data() + kNameAt, kNameOctets);
    t.soPinLimit = r[kSoLimitAt];
    t.userPinLimit = r[kUserLimitAt];
    t.soPin = unpad(r.data() + kSoPinAt, kPinOctets);
    t.userPin = unpad(r.data() + kUserPinAt, kPinOctets);
    t.soPinTries = 0;
    t.userPinTries = 0;
    return okAnswer();
}

Bytes information(CommandContext& c)
{
    const TokenConfig& t = c.token;
    Bytes data;
    data.push_back(t.state);
    data.push_back(0);
    putPadded(data, t.name, kNameOctets);
    for (int value : { t.soPinTries, t.userPinTries, t.soPinLimit, t.userPinLimit, t.mainVer, t.subVer }) {
        data.push_back(octet(value));
    }
    putBigEndian16(data, t.publicMem);
    data.push_back(octet(t.keysNum));
    data.push_back(1); // number of curves the token offers
    putBigEndian16(data, t.curveId);
    return okAnswer(std::move(data));
}

// Slot state, curve, name and public point. The point has the field length of the token's curve;
// a token whose curve it does not know itself sends no point at all.
Bytes keySlot(CommandContext& c)
{
    const KeySlot& key = c.token.keys[static_cast<std::size_t>(c.operands.slot)];
    const CurveInfo* curve = findCurve(c.token.curveId);
    const std::size_t field = curve ? static_cast<std::size_t>(curve->fieldOctets) : 0;
    Bytes data;
    data.push_back(key.present ? 0x01 : 0x00);
    putBigEndian16(data, key.present ? c.token.curveId : 0);
    putPadded(data, key.present ? key.name : std::string(), kKeyNameOctets);
    for (const Bytes* coordinate : { &key.pubX, &key.pubY }) {
        for (std::size_t i = 0; i < field; ++i) {
            data.push_back(key.present && i < coordinate->size() ? (*coordinate)[i] : 0);
        }
    }
    return okAnswer(std::move(data));
}

std::ptrdiff_t objectOffset(int object)
{
    return object * static_cast<std::ptrdiff_t>(kObjectOctets);
}

Bytes readObject(CommandContext& c)
{
    const auto begin = c.token.publicMemory.begin() + objectOffset(c.operands.object);
    return okAnswer(Bytes(begin, begin + kObjectOctets));
}

Bytes randomOctets(CommandContext& c)
{
    const int count = c.operands.count;
    if (count > kMaxRandomOctets) {
        return errorAnswer(kStatusOutOfRange);
    }
    Bytes data(static_cast<std::size_t>(count));
    if (count > 0 && RAND_bytes(data.data(), count) != 1) {
        return errorAnswer(kStatusNotAllowed);
    }
    return okAnswer(std::move(data));
}

Bytes changeUserPin(CommandContext& c)
{
    c.token.userPin = unpad(c.request.data() + kNewPinAt, kPinOctets);
    c.token.userPinTries = 0;
    return okAnswer();
}

Bytes generateKey(CommandContext& c)
{
    KeySlot& key = c.token.keys[static_cast<std::size_t>(c.operands.slot)];
    if (key.present) {
        return errorAnswer(kStatusNotAllowed);
    }
    c.wait(c.token.keygenDelayMs);
    auto generated = generateKeyPair(c.token.curveId, c.operands.keyName);
    if (!generated) {
        return errorAnswer(kStatusNotAllowed);
    }
    key = std::move(*generated);
    return okAnswer();
}

Bytes deleteKey(CommandContext& c)
{
    KeySlot& key = c.token.keys[static_cast<std::size_t>(c.operands.slot)];
    if (!key.present) {
        return errorAnswer(kStatusKeyNotGenerated);
    }
    wipeKey(key);
    return okAnswer();
}

Bytes writeObject(CommandContext& c)
{
    // The object's octets follow its number.
    const auto data = c.request.begin() + c.command.at.object + 2;
    std::copy(data, data + kObjectOctets, c.token.publicMemory.begin() + objectOffset(c.operands.object));
    return okAnswer();
}

// Nothing beyond the PIN check itself, which the shared checks have done.
Bytes tryPin(CommandContext&)
{
    return okAnswer();
}

Bytes sign(CommandContext& c)
{
    const KeySlot& key = c.token.keys[static_cast<std::size_t>(c.operands.slot)];
    if (!key.present) {
        return errorAnswer(kStatusKeyNotGenerated);
    }
    const auto digestAt = static_cast<std::size_t>(c.command.at.digest);
    auto signature = signDigest(c.token.curveId, key, c.request.data() + digestAt, c.request.size() - digestAt);
    if (!signature) {
        return errorAnswer(kStatusNotAllowed);
    }
    return okAnswer(std::move(*signature));
}

Bytes unlock(CommandContext& c)
{
    c.token.state &= static_cast<std::uint8_t>(~kLocked);
    c.token.userPinTries = 0;
    return okAnswer();
}

Bytes erase(CommandContext& c)
{
    TokenConfig& t = c.token;
    for (KeySlot& key : t.keys) {
        wipeKey(key);
    }
    wipeText(t.soPin);
    wipeText(t.userPin);
    t.name.clear();
    t.soPinLimit = t.userPinLimit = 0;
    t.soPinTries = t.userPinTries = 0;
    std::fill(t.publicMemory.begin(), t.publicMemory.end(), 0);
    t.state = kInitialised;
    return okAnswer();
}

Bytes changeSoPin(CommandContext& c)
{
    c.token.soPin = unpad(c.request.data() + kNewPinAt, kPinOctets);
    return okAnswer();
}

// The SO PIN can still be tried on a locked token: unlocking and erasing need nothing else. Only
// the user signs: the administrator manages keys but may not use them. Signing takes 0 to 64
// digest octets; every other command one request length.
constexpr int kDigestAt = 12;
constexpr int kLongestSign = kDigestAt + static_cast<int>(kMaxDigestOctets);

// clang-format off
constexpr std::array<CommandSpec, 15> kCommands { {
    { 0x00, "initialise", 2, 2, Needs::Blank, PinRule::None, {}, initialise },
    { 0x01, "configure", 34, 34, Needs::Initialised, PinRule::None, {}, configure },
    { 0x02, "information", 2, 2, Needs::Nothing, PinRule::None, {}, information },
    { 0x03, "key slot", 3, 3, Needs::Nothing, PinRule::None, { .slot = 2 }, keySlot },
    { 0x04, "read public object", 4, 4, Needs::Nothing, PinRule::None, { .object = 2 }, readObject },
    { 0x05, "random octets", 3, 3, Needs::Nothing, PinRule::None, { .count = 2 }, randomOctets },
    { 0x2B, "change user PIN", 19, 19, Needs::Unlocked, PinRule::UserOrPermittedSo, {}, changeUserPin },
    { 0x2C, "generate key", 36, 36, Needs::Unlocked, PinRule::Either,
      { .slot = 11, .curve = 13, .keyName = 15 }, generateKey },
    { 0x2D, "delete key", 12, 12, Needs::Unlocked, PinRule::Either, { .slot = 11 }, deleteKey },
    { 0x2E, "write public object", 77, 77, Needs::Unlocked, PinRule::Either, { .object = 11 }, writeObject },
    { 0x2F, "try PIN", 11, 11, Needs::Configured, PinRule::Either, {}, tryPin },
    { 0x49, "ECDSA sign", kDigestAt, kLongestSign, Needs::Unlocked, PinRule::UserOnly,
      { .slot = 11, .digest = kDigestAt }, sign },
    { 0x86, "unlock", 11, 11, Needs::Configured, PinRule::SoOnly, {}, unlock },
    { 0x87, "erase", 11, 11, Needs::Configured, PinRule::SoOnly, {}, erase },
    { 0x88, "change SO PIN", 19, 19, Needs::Unlocked, PinRule::SoOnly, {}, changeSoPin },
} };
// clang-format on

} // namespace

int CommandContext::slotCount() const
{
    return std::clamp(token.keysNum, 0, kMaxSlots);
}

int CommandContext::objectCount() const
{
    return token.publicMem / static_cast<int>(kObjectOctets);
}

const CommandSpec* findCommand(std::uint8_t code)
{
    const auto found = std::find_if(kCommands.begin(), kCommands.end(),
                                    [code](const CommandSpec& command) { return command.code == code; });
    return found == kCommands.end() ? nullptr : &*found;
}

} // namespace zr40nn::emu
