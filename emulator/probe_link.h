// The probe's USB side: finds DEV-ZR40NN tokens with libusb 0.1, sets up their CP210x bridge and
// exchanges frames (a length octet, then the payload) over the bulk endpoints.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

struct usb_device;
struct usb_dev_handle;

namespace zr40nn::probe {

using Bytes = std::vector<std::uint8_t>;

class LinkError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Every 10C4:82E5 device on every bus, after a fresh scan.
std::vector<struct usb_device*> findTokens();
// "BBB/DDD" of a device.
std::string location(const struct usb_device* device);

class Link
{
public:
    static constexpr int kTimeoutMs = 7000;
    static constexpr int kInitTimeoutMs = 40000;

    // Opens the device and sets up the bridge; throws LinkError naming the step that failed.
    explicit Link(struct usb_device* device);
    // Releases the interface and resets the device, which ends the bridge's set-up.
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    std::string product() const { return mProduct; }
    std::string serial() const { return mSerial; }

    // Sends one request payload and returns the answer payload.
    Bytes exchange(const Bytes& request, int timeoutMs = kTimeoutMs);

private:
    std::string text(int index);

    usb_dev_handle* mHandle = nullptr;
    std::string mProduct;
    std::string mSerial;
};

} // namespace zr40nn::probe
