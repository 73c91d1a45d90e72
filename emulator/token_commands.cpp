#include "token_commands.h"

#include "token_crypto.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace zr40nn::emu {
namespace {

constexpr std::size_t kPinOctets = 8;
constexpr std::size_t kNameOctets = 10;
constexpr std::size_t kKeyNameOctets = 21;
constexpr std::size_t kObjectOctets = 64;
constexpr std::size_t kMaxDigestOctets = 64;
constexpr int kMaxRandomOctets = 120;
constexpr int kMaxSlots = static_cast<int>(std::tuple_size_v<decltype(TokenConfig::keys)>);
constexpr std::uint8_t kSoPinId = 0;
constexpr std::uint8_t kUserPinId = 1;

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

// Text fields travel NUL-padded; the token keeps them without the padding.
std::string unpad(const std::uint8_t* field, std::size_t octets)
{
    std::size_t length = octets;
    while (length > 0 && field[length - 1] == 0) {
        --length;
    }
    return std::string(reinterpret_cast<const char*>(field), length);
}

void putPadded(Bytes& out, const std::string& text, std::size_t octets)
{
    for (std::size_t i = 0; i < octets; ++i) {
        out.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
    }
}

void putBigEndian16(Bytes& out, int value)
{
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

std::uint8_t octet(int value)
{
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

int bigEndian16(const Bytes& request, std::size_t at)
{
    return (request[at] << 8) | request[at + 1];
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

Bytes okAnswer(Bytes data = {})
{
    data.insert(data.begin(), 0x00);
    return data;
}

class CommandRunner
{
public:
    CommandRunner(TokenConfig& token, const std::function<void(int)>& wait)
        : mToken(token)
        , mWait(wait)
    {
    }

    Bytes run(const Bytes& r)
    {
        switch (r[1]) {
        case 0x00:
            return initialise();
        case 0x01:
            return configure(r);
        case 0x02:
            return information();
        case 0x03:
            return keySlot(r[2]);
        case 0x04:
            return readObject(bigEndian16(r, 2));
        case 0x05:
            return randomOctets(r[2]);
        case 0x2B:
            return changeUserPin(r);
        case 0x2C:
            return generateKey(r);
        case 0x2D:
            return deleteKey(r);
        case 0x2E:
            return writeObject(r);
        case 0x2F:
            return tryPin(r);
        case 0x49:
            return sign(r);
        case 0x86:
            return unlock(r);
        case 0x87:
            return erase(r);
        case 0x88:
            return changeSoPin(r);
        }
        return errorAnswer(kStatusWrongCommand);
    }

private:
    bool configured() const { return (mToken.state & kConfigured) != 0; }
    bool usable() const { return configured() && (mToken.state & kLocked) == 0; }
    bool soPinBlocked() const { return mToken.soPinTries >= mToken.soPinLimit; }
    int slotCount() const { return std::clamp(mToken.keysNum, 0, kMaxSlots); }
    int objectCount() const { return mToken.publicMem / static_cast<int>(kObjectOctets); }

    // Checks the PIN a command carries and keeps the retry counts: a wrong PIN counts one failed
    // try, a right one clears that PIN's count. The user count reaching its limit locks the token;
    // the SO count reaching its limit refuses every further SO-PIN command.
    std::optional<Status> checkPin(std::uint8_t pinId, const Bytes& r)
    {
        const std::uint8_t* field = r.data() + 3;
        if (pinId == kSoPinId) {
            if (soPinBlocked()) {
                return kStatusNotAllowed;
            }
            if (!pinMatches(mToken.soPin, field)) {
                mToken.soPinTries = std::min(mToken.soPinTries + 1, 255);
                return kStatusWrongPin;
            }
            mToken.soPinTries = 0;
            return std::nullopt;
        }
        if (!pinMatches(mToken.userPin, field)) {
            mToken.userPinTries = std::min(mToken.userPinTries + 1, 255);
            if (mToken.userPinTries >= mToken.userPinLimit) {
                mToken.state |= kLocked;
            }
            return kStatusWrongPin;
        }
        mToken.userPinTries = 0;
        return std::nullopt;
    }

    Bytes initialise()
    {
        if (mToken.state != 0) {
            return errorAnswer(kStatusNotAllowed);
        }
        mWait(mToken.initDelayMs);
        mToken.state = kInitialised;
        return okAnswer();
    }

    Bytes configure(const Bytes& r)
    {
        if (mToken.state != kInitialised) {
            return errorAnswer(kStatusNotAllowed);
        }
        // A limit of 0 would leave the PIN blocked before its first use.
        if (r[16] == 0 || r[17] == 0) {
            return errorAnswer(kStatusOutOfRange);
        }
        mToken.state = static_cast<std::uint8_t>(kConfigured | (r[2] & kSoMayNotChangeUserPin));
        mToken.name = unpad(r.data() + 4, kNameOctets);
        mToken.soPinLimit = r[16];
        mToken.userPinLimit = r[17];
        mToken.soPin = unpad(r.data() + 18, kPinOctets);
        mToken.userPin = unpad(r.data() + 26, kPinOctets);
        mToken.soPinTries = 0;
        mToken.userPinTries = 0;
        return okAnswer();
    }

    Bytes information() const
    {
        Bytes data;
        data.push_back(mToken.state);
        data.push_back(0);
        putPadded(data, mToken.name, kNameOctets);
        data.push_back(octet(mToken.soPinTries));
        data.push_back(octet(mToken.userPinTries));
        data.push_back(octet(mToken.soPinLimit));
        data.push_back(octet(mToken.userPinLimit));
        data.push_back(octet(mToken.mainVer));
        data.push_back(octet(mToken.subVer));
        putBigEndian16(data, mToken.publicMem);
        data.push_back(octet(mToken.keysNum));
        data.push_back(1); // number of curves the token offers
        putBigEndian16(data, mToken.curveId);
        return okAnswer(std::move(data));
    }

    // Slot state, curve, name and public point. The point has the field length of the token's
    // curve; a token whose curve it does not know itself sends no point at all.
    Bytes keySlot(int slot) const
    {
        if (slot >= slotCount()) {
            return errorAnswer(kStatusOutOfRange);
        }
        const KeySlot& key = mToken.keys[static_cast<std::size_t>(slot)];
        const CurveInfo* curve = findCurve(mToken.curveId);
        const std::size_t field = curve ? static_cast<std::size_t>(curve->fieldOctets) : 0;
        Bytes data;
        data.push_back(key.present ? 0x01 : 0x00);
        putBigEndian16(data, key.present ? mToken.curveId : 0);
        putPadded(data, key.present ? key.name : std::string(), kKeyNameOctets);
        for (const Bytes* coordinate : { &key.pubX, &key.pubY }) {
            for (std::size_t i = 0; i < field; ++i) {
                data.push_back(key.present && i < coordinate->size() ? (*coordinate)[i] : 0);
            }
        }
        return okAnswer(std::move(data));
    }

    Bytes readObject(int object) const
    {
        if (object >= objectCount()) {
            return errorAnswer(kStatusOutOfRange);
        }
        const auto begin = mToken.publicMemory.begin() + object * static_cast<std::ptrdiff_t>(kObjectOctets);
        return okAnswer(Bytes(begin, begin + kObjectOctets));
    }

    Bytes randomOctets(int count) const
    {
        if (count > kMaxRandomOctets) {
            return errorAnswer(kStatusOutOfRange);
        }
        Bytes data(static_cast<std::size_t>(count));
        if (count > 0 && RAND_bytes(data.data(), count) != 1) {
            return errorAnswer(kStatusNotAllowed);
        }
        return okAnswer(std::move(data));
    }

    Bytes changeUserPin(const Bytes& r)
    {
        const std::uint8_t pinId = r[2];
        if (!usable()) {
            return errorAnswer(kStatusNotAllowed);
        }
        if (pinId > kUserPinId) {
            return errorAnswer(kStatusOutOfRange);
        }
        if (pinId == kSoPinId && (mToken.state & kSoMayNotChangeUserPin)) {
            return errorAnswer(kStatusNotAllowed);
        }
        if (auto refused = checkPin(pinId, r)) {
            return errorAnswer(*refused);
        }
        mToken.userPin = unpad(r.data() + 11, kPinOctets);
        mToken.userPinTries = 0;
        return okAnswer();
    }

    Bytes generateKey(const Bytes& r)
    {
        const std::uint8_t pinId = r[2];
        const int slot = r[11];
        if (!usable()) {
            return errorAnswer(kStatusNotAllowed);
        }
        // A token whose own curve it cannot compute on accepts no curve at all.
        if (pinId > kUserPinId || slot >= slotCount() || bigEndian16(r, 13) != mToken.curveId
            || !findCurve(mToken.curveId)) {
            return errorAnswer(kStatusOutOfRange);
        }
        if (auto refused = checkPin(pinId, r)) {
            return errorAnswer(*refused);
        }
        KeySlot& key = mToken.keys[static_cast<std::size_t>(slot)];
        if (key.present) {
            return errorAnswer(kStatusNotAllowed);
        }
        mWait(mToken.keygenDelayMs);
        auto generated = generateKeyPair(mToken.curveId, unpad(r.data() + 15, kKeyNameOctets));
        if (!generated) {
            return errorAnswer(kStatusNotAllowed);
        }
        key = std::move(*generated);
        return okAnswer();
    }

    Bytes deleteKey(const Bytes& r)
    {
        const std::uint8_t pinId = r[2];
        const int slot = r[11];
        if (!usable()) {
            return errorAnswer(kStatusNotAllowed);
        }
        if (pinId > kUserPinId || slot >= slotCount()) {
            return errorAnswer(kStatusOutOfRange);
        }
        if (auto refused = checkPin(pinId, r)) {
            return errorAnswer(*refused);
        }
        KeySlot& key = mToken.keys[static_cast<std::size_t>(slot)];
        if (!key.present) {
            return errorAnswer(kStatusKeyNotGenerated);
        }
        OPENSSL_cleanse(key.privateKey.data(), key.privateKey.size());
        key = KeySlot {};
        return okAnswer();
    }

    Bytes writeObject(const Bytes& r)
    {
        const std::uint8_t pinId = r[2];
        const int object = bigEndian16(r, 11);
        if (!usable()) {
            return errorAnswer(kStatusNotAllowed);
        }
        if (pinId > kUserPinId || object >= objectCount()) {
            return errorAnswer(kStatusOutOfRange);
        }
        if (auto refused = checkPin(pinId, r)) {
            return errorAnswer(*refused);
        }
        std::copy(r.begin() + 13, r.begin() + 13 + kObjectOctets,
                  mToken.publicMemory.begin() + object * static_cast<std::ptrdiff_t>(kObjectOctets));
        return okAnswer();
    }

    // The SO PIN can still be tried on a locked token: unlocking and erasing need nothing else.
    Bytes tryPin(const Bytes& r)
    {
        const std::uint8_t pinId = r[2];
        if (!configured()) {
            return errorAnswer(kStatusNotAllowed);
        }
        if (pinId > kUserPinId) {
            return errorAnswer(kStatusOutOfRange);
        }
        if (pinId == kUserPinId && !usable()) {
            return errorAnswer(kStatusNotAllowed);
        }
        if (auto refused = checkPin(pinId, r)) {
            return errorAnswer(*refused);
        }
        return okAnswer();
    }

    // Only the user signs: the administrator manages keys but may not use them.
    Bytes sign(const Bytes& r)
    {
        const std::uint8_t pinId = r[2];
        const int slot = r[11];
        if (!usable()) {
            return errorAnswer(kStatusNotAllowed);
        }
        if (pinId > kUserPinId || slot >= slotCount()) {
            return errorAnswer(kStatusOutOfRange);
        }
        if (pinId != kUserPinId) {
            return errorAnswer(kStatusNotAllowed);
        }
        if (auto refused = checkPin(pinId, r)) {
            return errorAnswer(*refused);
        }
        const KeySlot& key = mToken.keys[static_cast<std::size_t>(slot)];
        if (!key.present) {
            return errorAnswer(kStatusKeyNotGenerated);
        }
        auto signature = signDigest(mToken.curveId, key, r.data() + 12, r.size() - 12);
        if (!signature) {
            return errorAnswer(kStatusNotAllowed);
        }
        return okAnswer(std::move(*signature));
    }

    // The three SO-only commands carry the SO PIN id; any other id is out of range for them.
    std::optional<Status> checkSoCommand(const Bytes& r, bool needsUsable)
    {
        if (needsUsable ? !usable() : !configured()) {
            return kStatusNotAllowed;
        }
        if (r[2] != kSoPinId) {
            return kStatusOutOfRange;
        }
        return checkPin(kSoPinId, r);
    }

    Bytes unlock(const Bytes& r)
    {
        if (auto refused = checkSoCommand(r, false)) {
            return errorAnswer(*refused);
        }
        mToken.state &= static_cast<std::uint8_t>(~kLocked);
        mToken.userPinTries = 0;
        return okAnswer();
    }

    Bytes erase(const Bytes& r)
    {
        if (auto refused = checkSoCommand(r, false)) {
            return errorAnswer(*refused);
        }
        for (KeySlot& key : mToken.keys) {
            OPENSSL_cleanse(key.privateKey.data(), key.privateKey.size());
            key = KeySlot {};
        }
        OPENSSL_cleanse(mToken.soPin.data(), mToken.soPin.size());
        OPENSSL_cleanse(mToken.userPin.data(), mToken.userPin.size());
        mToken.soPin.clear();
        mToken.userPin.clear();
        mToken.name.clear();
        mToken.soPinLimit = mToken.userPinLimit = 0;
        mToken.soPinTries = mToken.userPinTries = 0;
        std::fill(mToken.publicMemory.begin(), mToken.publicMemory.end(), 0);
        mToken.state = kInitialised;
        return okAnswer();
    }

    Bytes changeSoPin(const Bytes& r)
    {
        if (auto refused = checkSoCommand(r, true)) {
            return errorAnswer(*refused);
        }
        mToken.soPin = unpad(r.data() + 11, kPinOctets);
        return okAnswer();
    }

    TokenConfig& mToken;
    const std::function<void(int)>& mWait;
};

// The checks every request passes before its command runs: octet 0 must be 0x00, the code must
// be known and the length must be the command's.
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

} // namespace

const CommandShape* findCommand(std::uint8_t code)
{
    for (const CommandShape& shape : kCommands) {
        if (shape.code == code) {
            return &shape;
        }
    }
    return nullptr;
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
    case 0x2B:
    case 0x2C:
    case 0x2D:
    case 0x2E:
    case 0x2F:
    case 0x49:
    case 0x86:
    case 0x87:
    case 0x88:
        break;
    default:
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

Bytes errorAnswer(Status status)
{
    return { 0x80, status };
}

TokenConfig normaliseConfig(TokenConfig config)
{
    auto cut = [](std::string& text, std::size_t octets) {
        if (text.size() > octets) {
            text.resize(octets);
        }
    };
    cut(config.name, kNameOctets);
    cut(config.soPin, kPinOctets);
    cut(config.userPin, kPinOctets);
    for (KeySlot& key : config.keys) {
        cut(key.name, kKeyNameOctets);
    }
    config.keysNum = std::clamp(config.keysNum, 0, 255);
    // The size travels as 16 bits.
    config.publicMem = std::clamp(config.publicMem, 0, 0xFFFF);
    config.publicMemory.resize(static_cast<std::size_t>(config.publicMem), 0);
    config.initDelayMs = std::max(config.initDelayMs, 0);
    config.keygenDelayMs = std::max(config.keygenDelayMs, 0);
    if (config.state & kConfigured) {
        config.state &= static_cast<std::uint8_t>(kConfigured | kLocked | kSoMayNotChangeUserPin);
        config.soPinLimit = std::clamp(config.soPinLimit, 1, 255);
        config.userPinLimit = std::clamp(config.userPinLimit, 1, 255);
        config.soPinTries = std::clamp(config.soPinTries, 0, config.soPinLimit);
        config.userPinTries = std::clamp(config.userPinTries, 0, config.userPinLimit);
        if (config.userPinTries >= config.userPinLimit) {
            config.state |= kLocked;
        }
    } else if (config.state != 0) {
        config.state = kInitialised;
    }
    return config;
}

Bytes runCommand(TokenConfig& token, const Bytes& request, const std::function<void(int)>& wait)
{
    if (auto error = frameError(request)) {
        return errorAnswer(*error);
    }
    return CommandRunner(token, wait).run(request);
}

} // namespace zr40nn::emu
