// The DEV-ZR40NN token itself, as a plain state machine: request payload in, answer payload out.
// No USB here; the CP210x bridge and the usbfs handler sit on top of it.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zr40nn::emu {

using Bytes = std::vector<std::uint8_t>;

// Token state bits as the information command reports them.
enum StateBits : std::uint8_t
{
    kInitialised = 0x01,
    kConfigured = 0x02,
    kLocked = 0x04,
    kSoMayNotChangeUserPin = 0x10,
};

// Error statuses carried by the two-octet answer 0x80, s.
enum Status : std::uint8_t
{
    kStatusWrongCommand = 0,
    kStatusNotAllowed = 1,
    kStatusWrongPin = 2,
    kStatusPointNotOnCurve = 3,
    kStatusKeyNotGenerated = 4,
    kStatusOutOfRange = 5,
    kStatusFrameSyntax = 6,
    kStatusFrameSize = 7,
};

struct KeySlot
{
    bool present = false;
    std::string name;   // at most 21 octets
    Bytes privateKey;   // big-endian scalar, order-sized
    Bytes pubX, pubY;   // field-sized, big-endian

    bool operator==(const KeySlot&) const = default;
};

// Everything that makes one token: identity, hardware parameters and the stored state.
struct TokenConfig
{
    std::string serial = "ZR40NN-0001";
    std::string product = "DEV-ZR40NN";
    int curveId = 2560;            // 1600, 1920, 2240, 2560, or anything else for an unsupported curve
    int keysNum = 4;
    int publicMem = 16384;         // octets; 64 per object
    int mainVer = 1;
    int subVer = 0;
    int initDelayMs = 0;           // how long command 0x00 takes
    int keygenDelayMs = 0;         // how long command 0x2C takes

    // Stored state.
    std::uint8_t state = 0;        // StateBits; 0 = blank
    std::string name;              // at most 10 octets
    std::string soPin, userPin;    // at most 8 octets each
    int soPinLimit = 0, userPinLimit = 0;
    int soPinTries = 0, userPinTries = 0;
    std::array<KeySlot, 5> keys{}; // up to keysNum are used
    Bytes publicMemory;            // publicMem octets; empty = all zero

    bool operator==(const TokenConfig&) const = default;
};

// One line of the command log.
struct LogEntry
{
    std::uint8_t code = 0;
    int pinId = -1;          // -1 when the command carries no PIN
    std::string pin;         // the PIN field as received, NUL padding removed
    int slot = -1;
    int object = -1;
    int requestLength = 0;
    int status = -1;         // -1 = ordinary answer, else the error status answered
    int count = -1;          // random octets asked for (0x05), digest octets (0x49)
    int curveId = -1;        // curve id asked for by key generation (0x2C)
    std::string keyName;     // key name sent with key generation, NUL padding removed
    Bytes answer;            // the answer payload the token gave, status octet first
};

class TokenModel
{
public:
    explicit TokenModel(TokenConfig config = {});

    // Runs one request payload and returns the answer payload (status octet first). Thread-safe:
    // commands run one after another, and log() / snapshot() stay responsive while a command
    // sleeps through initDelayMs or keygenDelayMs.
    Bytes process(const Bytes& request);

    // Test hooks.
    std::vector<LogEntry> log() const;
    void clearLog();
    void failCommand(std::uint8_t code, std::uint8_t status);   // answer 0x80, status next time (every time)
    // Once: the nth command with `code` from now (1: the next one) answers 0x80, status. With
    // `afterRunning` the command runs first, as when its answer is lost on the way back: the host
    // sees a failure of a command that took effect.
    void failNth(std::uint8_t code, int nth, std::uint8_t status, bool afterRunning = false);
    void clearFailures(); // both kinds
    // Once: the next command with `code` waits, once received, until releaseHeld(); holding()
    // tells whether it waits now. Lets a test act while a program is inside that command.
    void holdNext(std::uint8_t code);
    bool holding() const;
    void releaseHeld(); // also drops a hold that has not caught its command yet

    // A consistent snapshot of the token's state (for saving and for assertions).
    TokenConfig snapshot() const;

private:
    std::mutex mCommandMutex;   // one command at a time, held across the simulated delays
    mutable std::mutex mMutex;  // guards the fields below; never held while sleeping
    TokenConfig mConfig;
    std::vector<LogEntry> mLog;
    std::map<std::uint8_t, std::uint8_t> mFailures;
    struct ScheduledFailure
    {
        std::uint8_t code;
        int remaining;
        std::uint8_t status;
        bool afterRunning;
    };
    std::vector<ScheduledFailure> mScheduled;
    std::optional<std::uint8_t> mHoldCode;
    bool mHolding = false;
    std::condition_variable mHoldReleased;
};

} // namespace zr40nn::emu
