#include "token_model.h"

#include "token_commands.h"

#include <chrono>
#include <thread>

namespace zr40nn::emu {

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
    // An injected failure answers in place of the command, which does not run.
    const auto injected = request.size() >= 2 && request[0] == 0x00 ? mFailures.find(request[1]) : mFailures.end();
    if (injected != mFailures.end()) {
        answer = errorAnswer(static_cast<Status>(injected->second));
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
    }
    if (answer.size() == 2 && answer[0] == 0x80) {
        entry.status = answer[1];
    }
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

void TokenModel::clearFailures()
{
    std::lock_guard lock(mMutex);
    mFailures.clear();
}

TokenConfig TokenModel::snapshot() const
{
    std::lock_guard lock(mMutex);
    return mConfig;
}

} // namespace zr40nn::emu
