// In-process API of the emulated USB bus: a umockdev test bed whose /dev/bus/usb holds emulated
// DEV-ZR40NN tokens (10C4:82E5 behind a CP210x bridge). The calling process, and every child it
// starts, must run under umockdev's preload library (umockdev-wrapper) to see the devices.
// Create the bus before the first usb_init(): libusb 0.1 looks for /dev/bus/usb only there, and a
// machine without USB has none until the test bed provides it. One bus per process at a time.
#pragma once

#include "cp210x_bridge.h"
#include "token_model.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zr40nn::emu {

class EmulatedBus
{
public:
    EmulatedBus();
    ~EmulatedBus();
    EmulatedBus(const EmulatedBus&) = delete;
    EmulatedBus& operator=(const EmulatedBus&) = delete;

    // Plugs a token in and returns its handle id (stable until unplugged).
    int plug(const TokenConfig& config);
    // Takes the token off the bus; open handles then fail with ENODEV. A no-op for a token that is
    // already gone.
    void unplug(int id);
    std::vector<int> tokens() const;

    // The token model behind a token (its log, failures, snapshot); still there after an unplug,
    // until the bus goes. Throws std::out_of_range for an id never handed out.
    TokenModel& token(int id);
    void setFaults(int id, const BridgeFaults& faults);

    // Whether the host has completed the bridge set-up (four requests, configuration, claim).
    bool bridgeReady(int id) const;
    // Number of usb resets the host sent to this token.
    int resetCount(int id) const;

    // Path of the umockdev test bed (the value of UMOCKDEV_DIR for children).
    std::string testbedDir() const;

    // Device node of a plugged token, "/dev/bus/usb/001/NNN".
    std::string devicePath(int id) const;
    // Delays answers by their time on the UART (off by default); applies to every token.
    void setWireTime(bool enabled);

private:
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

} // namespace zr40nn::emu
