#include "token_commands.h"

#include "token_crypto.h"
#include "token_fields.h"
#include "token_frames.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace zr40nn::emu {
namespace {

using namespace fields;

constexpr int kMaxRandomOctets = 120;
constexpr int kMaxSlots = static_cast<int>(std::tuple_size_v<decltype(TokenConfig::keys)>);
constexpr std::uint8_t kSoPinId = 0;
constexpr std::uint8_t kUserPinId = 1;

std::uint8_t octet(int value)
{
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
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

} // namespace

Bytes runCommand(TokenConfig& token, const Bytes& request, const std::function<void(int)>& wait)
{
    if (auto error = frameError(request)) {
        return errorAnswer(*error);
    }
    return CommandRunner(token, wait).run(request);
}

} // namespace zr40nn::emu
