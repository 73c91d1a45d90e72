#include "probe_link.h"

#include <usb.h>

#include <cstdio>
#include <cstring>

namespace zr40nn::probe {
namespace {

constexpr int kVendor = 0x10C4;
constexpr int kProduct = 0x82E5;
constexpr int kOut = 0x01;
constexpr int kIn = 0x81;
constexpr int kFrameMax = 130;
constexpr int kZeroReadsMax = 1000;

struct SetupRequest
{
    int request;
    int value;
    const char* what;
};

// The CP210x's UART: enabled, 3686400 / 14 baud, 8N1, DTR and RTS on.
constexpr SetupRequest kSetup[] = {
    { 0x00, 1, "enable the UART" },
    { 0x01, 14, "set the baud rate divisor" },
    { 0x03, 0x0800, "set 8 data bits, no parity, 1 stop bit" },
    { 0x07, 0x0303, "raise DTR and RTS" },
};

} // namespace

std::vector<struct usb_device*> findTokens()
{
    usb_init();
    usb_find_busses();
    usb_find_devices();
    std::vector<struct usb_device*> tokens;
    for (struct usb_bus* bus = usb_get_busses(); bus; bus = bus->next) {
        for (struct usb_device* device = bus->devices; device; device = device->next) {
            if (device->descriptor.idVendor == kVendor && device->descriptor.idProduct == kProduct) {
                tokens.push_back(device);
            }
        }
    }
    return tokens;
}

std::string location(const struct usb_device* device)
{
    return std::string(device->bus->dirname) + "/" + device->filename;
}

Link::Link(struct usb_device* device)
    : mHandle(usb_open(device))
{
    if (!mHandle) {
        throw LinkError("cannot open the device");
    }
    mProduct = text(device->descriptor.iProduct);
    mSerial = text(device->descriptor.iSerialNumber);
    for (const SetupRequest& step : kSetup) {
        if (usb_control_msg(mHandle, 0x41, step.request, step.value, 0, nullptr, 0, kTimeoutMs) < 0) {
            usb_close(mHandle);
            throw LinkError(std::string("cannot ") + step.what + ": " + usb_strerror());
        }
    }
    if (usb_set_configuration(mHandle, 1) < 0 || usb_claim_interface(mHandle, 0) < 0) {
        usb_close(mHandle);
        throw LinkError(std::string("cannot claim the bridge's interface: ") + usb_strerror());
    }
}

Link::~Link()
{
    usb_release_interface(mHandle, 0);
    usb_reset(mHandle);
    usb_close(mHandle);
}

std::string Link::text(int index)
{
    char buffer[256] = {};
    if (index == 0 || usb_get_string_simple(mHandle, index, buffer, sizeof buffer) < 0) {
        return "";
    }
    return buffer;
}

Bytes Link::exchange(const Bytes& request, int timeoutMs)
{
    if (request.size() + 1 > kFrameMax) {
        throw LinkError("request too long for one frame");
    }
    Bytes frame { static_cast<std::uint8_t>(request.size()) };
    frame.insert(frame.end(), request.begin(), request.end());
    const int size = static_cast<int>(frame.size());
    if (usb_bulk_write(mHandle, kOut, reinterpret_cast<char*>(frame.data()), size, kTimeoutMs) != size) {
        throw LinkError(std::string("cannot send the frame: ") + usb_strerror());
    }

    // The bridge hands the answer over in USB packets: read until the length octet is covered.
    std::uint8_t answer[kFrameMax];
    int got = 0;
    int zeroReads = 0;
    while (got == 0 || got < 1 + answer[0]) {
        const int n = usb_bulk_read(mHandle, kIn, reinterpret_cast<char*>(answer + got), kFrameMax - got, timeoutMs);
        if (n < 0) {
            throw LinkError(std::string("cannot read the answer: ") + usb_strerror());
        }
        if (n == 0 && ++zeroReads > kZeroReadsMax) {
            throw LinkError("the device keeps sending empty packets");
        }
        got += n;
        if (got == kFrameMax && got < 1 + answer[0]) {
            throw LinkError("answer longer than a frame");
        }
    }
    return Bytes(answer + 1, answer + got);
}

} // namespace zr40nn::probe
