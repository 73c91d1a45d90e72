#include "token_model.h"

#include "token_commands.h"
#include "token_fields.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace zr40nn::emu {
namespace {

// Brings a configuration into the shapes the token keeps: texts cut to their fields, public
// memory sized, counters and lock bit consistent with the limits.
TokenConfig normaliseConfig(TokenConfig config)
{
    auto cut = [](std::string& text, std::size_t octets) {
        if (text.size() > octets) {
            text.resize(octets);
        }
    };
    cut(config.name, fields::kNameOctets);
    cut(config.soPin, fields::kPinOctets);
    cut(config.userPin, fields::kPinOctets);
    for (KeySlot& key : config.keys) {
        cut(key.name, fields::kKeyNameOctets);
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

} // namespace

TokenModel::TokenModel(TokenConfig config)
    : mConfig(normaliseConfig(std::move(config)))
{
}

Bytes TokenModel::process(const Bytes& request)
{
    std::lock_guard serial(mCommandMutex);
    LogEntry entry;
    describeRequest(request, entry);

    std::unique_lock lock(mMutex);
    Bytes answer;
    const bool wellFormed = request.size() >= 2 && request[0] == 0x00;
    if (wellFormed && mHoldCode == request[1]) {
        mHoldCode.reset();
        mHolding = true;
        mHoldReleased.wait(lock, [this] { return !mHolding; });
    }
    // An injected failure answers in place of the command, which does not run; a scheduled one
    // may let it run first.
    const auto injected = wellFormed ? mFailures.find(request[1]) : mFailures.end();
    std::optional<ScheduledFailure> scheduled;
    for (ScheduledFailure& failure : mScheduled) {
        if (wellFormed && failure.code == request[1] && --failure.remaining == 0 && !scheduled) {
            scheduled = failure;
        }
    }
    std::erase_if(mScheduled, [](const ScheduledFailure& failure) { return failure.remaining <= 0; });
    if (injected != mFailures.end()) {
        answer = errorAnswer(static_cast<Status>(injected->second));
    } else if (scheduled && !scheduled->afterRunning) {
        answer = errorAnswer(static_cast<Status>(scheduled->status));
    } else {
        // Slow commands sleep without the state lock, so the log and snapshots stay readable;
        // mCommandMutex keeps any other command out meanwhile.
        const auto wait = [&lock](int milliseconds) {
            if (milliseconds <= 0) {
                return;
            }
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
            lock.lock();
        };
        answer = runCommand(mConfig, request, wait);
        if (scheduled) {
            answer = errorAnswer(static_cast<Status>(scheduled->status));
        }
    }
    if (answer.size() == 2 && answer[0] == 0x80) {
        entry.status = answer[1];
    }
    entry.answer = answer;
    mLog.push_back(std::move(entry));
    return answer;
}

std::vector<LogEntry> TokenModel::log() const
{
    std::lock_guard lock(mMutex);
    return mLog;
}

void TokenModel::clearLog()
{
    std::lock_guard lock(mMutex);
    mLog.clear();
}

void TokenModel::failCommand(std::uint8_t code, std::uint8_t status)
{
    std::lock_guard lock(mMutex);
    mFailures[code] = status;
}

void TokenModel::failNth(std::uint8_t code, int nth, std::uint8_t status, bool afterRunning)
{
    std::lock_guard lock(mMutex);
    mScheduled.push_back({ code, std::max(nth, 1), status, afterRunning });
}

void TokenModel::clearFailures()
{
    std::lock_guard lock(mMutex);
    mFailures.clear();
    mScheduled.clear();
}

void TokenModel::holdNext(std::uint8_t code)
{
    std::lock_guard lock(mMutex);
    mHoldCode = code;
}

bool TokenModel::holding() const
{
    std::lock_guard lock(mMutex);
    return mHolding;
}

void TokenModel::releaseHeld()
{
    {
        std::lock_guard lock(mMutex);
        mHoldCode.reset();
        mHolding = false;
    }
    mHoldReleased.notify_all();
}

TokenConfig TokenModel::snapshot() const
{
    std::lock_guard lock(mMutex);
    return mConfig;
}

} // namespace zr40nn::emu
