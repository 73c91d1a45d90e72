#include "engine_log.h"

#include "errors/error_entry.h"

#include <cstdio>
#include <ctime>

namespace zr40nn::engine {

namespace {

std::FILE* dev_zr40nn_log = nullptr;
char timeStamp[32];

const char* stampNow() noexcept
{
    std::time_t now = std::time(nullptr);
    std::tm local {};
    if (localtime_r(&now, &local) == nullptr
        || std::strftime(timeStamp, sizeof(timeStamp), "[%d-%m-%Y] %H:%M:%S", &local) == 0) {
        timeStamp[0] = '\0';
    }
    return timeStamp;
}

// Takes the device's entries off its stack, newest first, each on a "! \t" line.
void writeDeviceStack(DEV_ZR40NN_t* device) noexcept
{
    std::fputs("!\n", dev_zr40nn_log);
    for (const char* entry = ERROR_pop(device->err); entry != nullptr; entry = ERROR_pop(device->err)) {
        std::fprintf(dev_zr40nn_log, "! \t%s\n", entry);
    }
    std::fputs("!\n", dev_zr40nn_log);
}

} // namespace

bool openLog(const char* path) noexcept
{
    closeLog();
    dev_zr40nn_log = std::fopen(path, "a+");
    return dev_zr40nn_log != nullptr;
}

void closeLog() noexcept
{
    if (dev_zr40nn_log != nullptr) {
        std::fclose(dev_zr40nn_log);
        dev_zr40nn_log = nullptr;
    }
}

void logSuccess(const char* message) noexcept
{
    if (dev_zr40nn_log == nullptr) {
        return;
    }
    std::fprintf(dev_zr40nn_log, "  %s >> %s\n", stampNow(), message);
    std::fflush(dev_zr40nn_log);
}

void logError(const char* function, int line, const char* message, DEV_ZR40NN_t* device) noexcept
{
    if (dev_zr40nn_log == nullptr) {
        return;
    }
    std::fprintf(dev_zr40nn_log, "! %s >> %s:%s:%d:%s\n", stampNow(), kSourceName, function, line, message);
    if (device != nullptr) {
        writeDeviceStack(device);
    }
    std::fflush(dev_zr40nn_log);
}

} // namespace zr40nn::engine
