#include "cp210x_bridge.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace zr40nn::emu {
namespace {

constexpr std::size_t kMaxFrameLength = 255;

} // namespace

Cp210xBridge::Cp210xBridge(TokenModel& token)
    : mToken(token)
    , mWorker([this] { serve(); })
{
}

Cp210xBridge::~Cp210xBridge()
{
    {
        std::lock_guard lock(mMutex);
        mStopping = true;
    }
    mWork.notify_all();
    mWorker.join();
}

int Cp210xBridge::vendorRequest(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                std::uint16_t index)
{
    std::lock_guard lock(mMutex);
    if (mUnplugged) {
        return ENODEV;
    }
    if (requestType != kVendorToInterface || index != 0) {
        return EPIPE;
    }
    Step step;
    bool right;
    switch (request) {
    case kIfcEnable:
        step = kStepUart;
        right = value == 1;
        break;
    case kSetBaudDiv:
        step = kStepBaud;
        right = value == kBaudDivisor;
        break;
    case kSetLineCtl:
        step = kStepLine;
        right = value == 0x0800; // 8 data bits, no parity, 1 stop bit
        break;
    case kSetMhs:
        step = kStepLines;
        right = value == 0x0303; // DTR and RTS on, with their mask bits
        break;
    default:
        return EPIPE;
    }
    if (mFaults.failSetupStep == step + 1) {
        return EPIPE;
    }
    // The chip takes any value; only the right ones let the token understand the line (a wrong
    // divisor or framing garbles every octet, a disabled UART or dropped lines carry nothing).
    mSteps[step] = right;
    if (!right) {
        dropTrafficLocked();
    }
    return 0;
}

int Cp210xBridge::setConfiguration(int value)
{
    std::lock_guard lock(mMutex);
    if (int error = setupRefusalLocked(kStepConfiguration); error != 0) {
        return error;
    }
    if (value != 0 && value != 1) {
        return EINVAL;
    }
    mSteps[kStepConfiguration] = value == 1;
    if (value == 0) {
        mSteps[kStepInterface] = false;
        dropTrafficLocked();
    }
    return 0;
}

int Cp210xBridge::claimInterface(int number)
{
    std::lock_guard lock(mMutex);
    if (int error = setupRefusalLocked(kStepInterface); error != 0) {
        return error;
    }
    if (number != 0) {
        return EINVAL;
    }
    mSteps[kStepInterface] = true;
    return 0;
}

int Cp210xBridge::releaseInterface(int number)
{
    std::lock_guard lock(mMutex);
    if (mUnplugged) {
        return ENODEV;
    }
    if (number != 0 || !mSteps[kStepInterface]) {
        return EINVAL;
    }
    mSteps[kStepInterface] = false;
    return 0;
}

void Cp210xBridge::reset()
{
    std::lock_guard lock(mMutex);
    if (mUnplugged) {
        return;
    }
    // A bus reset returns the chip to its power-on state: the host must set it up again, and
    // whatever was on its way in either direction is lost.
    ++mResets;
    mSteps.fill(false);
    dropTrafficLocked();
}

UsbTransfer Cp210xBridge::bulkOut(std::uint8_t endpoint, const std::uint8_t* data, std::size_t length)
{
    bool vanished = false;
    std::function<void()> onVanish;
    {
        std::lock_guard lock(mMutex);
        if (int error = refusalLocked(); error != 0 || endpoint != kBulkOut) {
            return { UsbTransfer::Outcome::Refused, 0, error != 0 ? error : ENOENT };
        }
        mReceived.insert(mReceived.end(), data, data + length);
        Bytes request;
        while (takeFrameLocked(request)) {
            ++mFrames;
            if (mFaults.unplugAfterFrames >= 0 && mFrames > mFaults.unplugAfterFrames) {
                mUnplugged = vanished = true;
                dropTrafficLocked();
                onVanish = mOnVanish;
                break;
            }
            mJobs.push_back({ std::move(request), mGeneration, mFaults.dropAnswers });
        }
    }
    mWork.notify_one();
    mAnswered.notify_all();
    if (vanished && onVanish) {
        onVanish();
    }
    // The transfer itself went through: a vanishing token took the octets with it.
    return { UsbTransfer::Outcome::Completed, length, 0 };
}

UsbTransfer Cp210xBridge::bulkIn(std::uint8_t endpoint, std::uint8_t* buffer, std::size_t capacity)
{
    std::lock_guard lock(mMutex);
    if (int error = refusalLocked(); error != 0 || endpoint != kBulkIn) {
        return { UsbTransfer::Outcome::Refused, 0, error != 0 ? error : ENOENT };
    }
    if (mFaults.zeroLengthForever || capacity == 0) {
        return { UsbTransfer::Outcome::Completed, 0, 0 };
    }
    if (mAnswers.empty() || mAnswers.front().readyAt > std::chrono::steady_clock::now()) {
        return { UsbTransfer::Outcome::Pending, 0, 0 };
    }
    // One transfer carries at most one packet: the chip hands over what its FIFO holds when the
    // host polls, so a long answer reaches the host in several transfers (64 + 64 + 2 for 130).
    Answer& answer = mAnswers.front();
    std::size_t chunk = std::min(capacity, kPacketSize);
    if (mFaults.splitAnswerAt > 0) {
        chunk = std::min(chunk, static_cast<std::size_t>(mFaults.splitAnswerAt));
    }
    chunk = std::min(chunk, answer.frame.size() - answer.sent);
    std::memcpy(buffer, answer.frame.data() + answer.sent, chunk);
    answer.sent += chunk;
    if (answer.sent == answer.frame.size()) {
        mAnswers.pop_front();
    }
    return { UsbTransfer::Outcome::Completed, chunk, 0 };
}

void Cp210xBridge::unplug()
{
    std::lock_guard lock(mMutex);
    mUnplugged = true;
    dropTrafficLocked();
}

bool Cp210xBridge::unplugged() const
{
    std::lock_guard lock(mMutex);
    return mUnplugged;
}

void Cp210xBridge::setVanishHandler(std::function<void()> handler)
{
    std::lock_guard lock(mMutex);
    mOnVanish = std::move(handler);
}

bool Cp210xBridge::ready() const
{
    std::lock_guard lock(mMutex);
    return readyLocked();
}

int Cp210xBridge::resetCount() const
{
    std::lock_guard lock(mMutex);
    return mResets;
}

int Cp210xBridge::framesReceived() const
{
    std::lock_guard lock(mMutex);
    return mFrames;
}

void Cp210xBridge::setFaults(const BridgeFaults& faults)
{
    std::lock_guard lock(mMutex);
    mFaults = faults;
}

BridgeFaults Cp210xBridge::faults() const
{
    std::lock_guard lock(mMutex);
    return mFaults;
}

void Cp210xBridge::setWireTime(bool enabled)
{
    std::lock_guard lock(mMutex);
    mWireTime = enabled;
}

std::chrono::microseconds Cp210xBridge::wireTime(std::size_t octets)
{
    // 8N1: ten bit times per octet.
    const auto bits = static_cast<long long>(octets) * 10;
    return std::chrono::microseconds(bits * 1000000LL * kBaudDivisor / kUartClock);
}

bool Cp210xBridge::waitForAnswer(std::chrono::milliseconds limit)
{
    std::unique_lock lock(mMutex);
    return mAnswered.wait_for(lock, limit, [this] { return !mAnswers.empty() || mUnplugged; }) && !mAnswers.empty();
}

bool Cp210xBridge::readyLocked() const
{
    return std::all_of(mSteps.begin(), mSteps.end(), [](bool done) { return done; });
}

int Cp210xBridge::setupRefusalLocked(Step step) const
{
    if (mUnplugged) {
        return ENODEV;
    }
    // An injected failure of a USB-level step: the device is busy.
    return mFaults.failSetupStep == step + 1 ? EBUSY : 0;
}

int Cp210xBridge::refusalLocked() const
{
    if (mUnplugged) {
        return ENODEV;
    }
    // Until the UART is set up and the interface claimed, the bulk endpoints stall. The host sees
    // the transfer fail at once rather than a frame silently lost and a read that times out.
    return readyLocked() ? 0 : EPIPE;
}

bool Cp210xBridge::takeFrameLocked(Bytes& request)
{
    if (mReceived.empty() || mReceived.size() < 1u + mReceived[0]) {
        return false;
    }
    const std::size_t length = mReceived[0];
    request.assign(mReceived.begin() + 1, mReceived.begin() + 1 + static_cast<std::ptrdiff_t>(length));
    mReceived.erase(mReceived.begin(), mReceived.begin() + 1 + static_cast<std::ptrdiff_t>(length));
    return true;
}

void Cp210xBridge::dropTrafficLocked()
{
    // Answers of commands still running belong to the old generation and are thrown away.
    ++mGeneration;
    mReceived.clear();
    mJobs.clear();
    mAnswers.clear();
}

void Cp210xBridge::serve()
{
    std::unique_lock lock(mMutex);
    for (;;) {
        mWork.wait(lock, [this] { return mStopping || !mJobs.empty(); });
        if (mStopping) {
            return;
        }
        Job job = std::move(mJobs.front());
        mJobs.pop_front();
        lock.unlock();
        const Bytes answer = mToken.process(job.request);
        // Bridges may outlive OpenSSL's own clean-up at exit (a bus kept in a static), so the
        // per-thread state that key generation and signing created is given back per job.
        OPENSSL_thread_stop();
        lock.lock();
        if (job.generation != mGeneration || job.unanswered) {
            continue;
        }
        Answer out;
        Bytes payload = answer;
        payload.resize(
            std::min(answer.size() + static_cast<std::size_t>(std::max(mFaults.extraAnswerOctets, 0)), kMaxFrameLength),
            0x00);
        const int announced
            = std::clamp(static_cast<int>(payload.size()) + mFaults.answerLengthDelta, 0, int(kMaxFrameLength));
        out.frame.reserve(1 + payload.size());
        out.frame.push_back(static_cast<std::uint8_t>(announced));
        out.frame.insert(out.frame.end(), payload.begin(), payload.end());
        out.readyAt = std::chrono::steady_clock::now();
        if (mWireTime) {
            out.readyAt += wireTime(1 + job.request.size() + out.frame.size());
        }
        mAnswers.push_back(std::move(out));
        mAnswered.notify_all();
    }
}

} // namespace zr40nn::emu
