// The CP210x USB-to-UART bridge in front of the token: the set-up the host must do before the UART
// carries anything, the frames that arrive on bulk OUT 0x01 and the answers that leave on bulk
// IN 0x81 in full-speed packets. Plain C++: the usbfs handler drives it, and tests can drive it
// directly.
#pragma once

#include "token_model.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace zr40nn::emu {

// Faults the bridge injects, for tests of the host side. All default to "none".
struct BridgeFaults
{
    // 1..4: that CP210x set-up request stalls (EPIPE); 5: set configuration fails, 6: the claim
    // fails (both EBUSY).
    int failSetupStep = 0;
    // > 0: hand the answer frame out in transfers of at most this many octets.
    int splitAnswerAt = 0;
    // Added to the length octet of every answer frame made while set.
    int answerLengthDelta = 0;
    // > 0: every answer made while set carries this many extra zero octets behind its payload,
    // counted in its length octet: a well-formed frame that is longer than the command's answer.
    int extraAnswerOctets = 0;
    // Frames that arrive while set are run by the token but never answered (bulk reads time out).
    bool dropAnswers = false;
    // Every bulk read completes at once with zero octets.
    bool zeroLengthForever = false;
    // >= 0: the frame after this many leaves the token unanswered and the token leaves the bus.
    int unplugAfterFrames = -1;
    // The device node cannot be opened: libusb 0.1 still hands out a handle, but every request on
    // a descriptor opened while this is set fails with EACCES. Enumeration still lists the token.
    bool failOpen = false;
};

// What became of one USB transfer.
struct UsbTransfer
{
    enum class Outcome
    {
        Completed, // `length` octets moved
        Pending, // an IN transfer with nothing to give yet: ask again later
        Refused, // the transfer fails with errno `error`
    };
    Outcome outcome = Outcome::Completed;
    std::size_t length = 0;
    int error = 0;
};

class Cp210xBridge
{
public:
    static constexpr std::uint8_t kBulkOut = 0x01;
    static constexpr std::uint8_t kBulkIn = 0x81;
    static constexpr std::size_t kPacketSize = 64; // full-speed bulk packets
    static constexpr std::uint8_t kVendorToInterface = 0x41;
    static constexpr int kUartClock = 3686400; // the baud rate is this divided by the divisor
    static constexpr int kBaudDivisor = 14;

    // Vendor requests of the set-up, with the only values that make the UART talk to the token.
    static constexpr std::uint8_t kIfcEnable = 0x00;
    static constexpr std::uint8_t kSetBaudDiv = 0x01;
    static constexpr std::uint8_t kSetLineCtl = 0x03;
    static constexpr std::uint8_t kSetMhs = 0x07;

    explicit Cp210xBridge(TokenModel& token);
    ~Cp210xBridge();
    Cp210xBridge(const Cp210xBridge&) = delete;
    Cp210xBridge& operator=(const Cp210xBridge&) = delete;

    // Control side. Each returns 0 or the errno the request fails with (EPIPE: the control pipe
    // stalls, as the chip does for a request it does not take).
    int vendorRequest(std::uint8_t requestType, std::uint8_t request, std::uint16_t value, std::uint16_t index);
    int setConfiguration(int value);
    int claimInterface(int number);
    int releaseInterface(int number);
    void reset();

    // Bulk side. Until the set-up is complete both endpoints refuse transfers with EPIPE.
    UsbTransfer bulkOut(std::uint8_t endpoint, const std::uint8_t* data, std::size_t length);
    UsbTransfer bulkIn(std::uint8_t endpoint, std::uint8_t* buffer, std::size_t capacity);

    // The token leaves the bus: every later request fails with ENODEV.
    void unplug();
    bool unplugged() const;
    // Called once, outside the bridge's lock, when a fault makes the token vanish by itself.
    void setVanishHandler(std::function<void()> handler);

    bool ready() const;
    int resetCount() const;
    int framesReceived() const;
    void setFaults(const BridgeFaults& faults);
    BridgeFaults faults() const;
    // Delay every answer by the time its request and answer octets take on the 8N1 UART.
    void setWireTime(bool enabled);
    static std::chrono::microseconds wireTime(std::size_t octets);

    // Waits until an answer is queued for the host; false when `limit` passes first.
    bool waitForAnswer(std::chrono::milliseconds limit);

private:
    enum Step
    {
        kStepUart,
        kStepBaud,
        kStepLine,
        kStepLines,
        kStepConfiguration,
        kStepInterface,
        kStepCount
    };

    struct Job
    {
        Bytes request;
        std::uint64_t generation = 0;
        bool unanswered = false; // arrived while answers were dropped
    };

    struct Answer
    {
        Bytes frame;
        std::size_t sent = 0;
        std::chrono::steady_clock::time_point readyAt;
    };

    bool readyLocked() const;
    int refusalLocked() const;
    int setupRefusalLocked(Step step) const;
    bool takeFrameLocked(Bytes& request);
    void dropTrafficLocked();
    void serve();

    TokenModel& mToken;
    mutable std::mutex mMutex;
    std::condition_variable mWork;
    std::condition_variable mAnswered;
    std::array<bool, kStepCount> mSteps {};
    BridgeFaults mFaults;
    bool mWireTime = false;
    bool mUnplugged = false;
    bool mStopping = false;
    int mResets = 0;
    int mFrames = 0;
    std::uint64_t mGeneration = 0;
    Bytes mReceived; // UART octets of a frame still coming in
    std::deque<Job> mJobs; // complete frames waiting for the token
    std::deque<Answer> mAnswers; // answer frames waiting for the host
    std::function<void()> mOnVanish;
    std::thread mWorker; // the token's side: runs the commands, which may take seconds
};

} // namespace zr40nn::emu
