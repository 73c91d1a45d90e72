// A minimal libusb 0.1 client of the emulated tokens for the USB-level tests: scanning, the
// CP210x set-up and frames, written against the wire format only.
#pragma once

#include "token_model.h"

#include <usb.h>

#include <string>
#include <vector>

namespace zr40nn::emu::test {

constexpr int kTimeoutMs = 2000;

// Every 10C4:82E5 device after a fresh scan.
inline std::vector<struct usb_device*> scanTokens()
{
    usb_find_busses();
    usb_find_devices();
    std::vector<struct usb_device*> found;
    for (struct usb_bus* bus = usb_get_busses(); bus; bus = bus->next) {
        for (struct usb_device* device = bus->devices; device; device = device->next) {
            if (device->descriptor.idVendor == 0x10C4 && device->descriptor.idProduct == 0x82E5) {
                found.push_back(device);
            }
        }
    }
    return found;
}

// An open device; closing releases the interface and resets the device, as the library does.
class UsbHandle
{
public:
    explicit UsbHandle(struct usb_device* device) : mHandle(usb_open(device)) { }
    ~UsbHandle()
    {
        if (mHandle) {
            usb_release_interface(mHandle, 0);
            usb_reset(mHandle);
            usb_close(mHandle);
        }
    }
    UsbHandle(const UsbHandle&) = delete;
    UsbHandle& operator=(const UsbHandle&) = delete;

    usb_dev_handle* get() const { return mHandle; }

    // The four CP210x requests, configuration 1 and interface 0; `skip` (1..6) leaves one out.
    // Returns the first negative result, else 0.
    int setUp(int skip = 0)
    {
        const int setup[4][2] = { { 0x00, 1 }, { 0x01, 14 }, { 0x03, 0x0800 }, { 0x07, 0x0303 } };
        int r = 0;
        for (int step = 1; step <= 6 && r >= 0; ++step) {
            if (step == skip) {
                continue;
            }
            r = step <= 4 ? usb_control_msg(mHandle, 0x41, setup[step - 1][0], setup[step - 1][1], 0, nullptr, 0,
                                            kTimeoutMs)
                : step == 5 ? usb_set_configuration(mHandle, 1)
                            : usb_claim_interface(mHandle, 0);
        }
        return r < 0 ? r : 0;
    }

    // Sends one frame; returns usb_bulk_write's result.
    int write(const Bytes& payload)
    {
        Bytes frame { static_cast<std::uint8_t>(payload.size()) };
        frame.insert(frame.end(), payload.begin(), payload.end());
        return usb_bulk_write(mHandle, 0x01, reinterpret_cast<char*>(frame.data()), static_cast<int>(frame.size()),
                              kTimeoutMs);
    }

    int read(std::uint8_t* buffer, int size, int timeoutMs = kTimeoutMs)
    {
        return usb_bulk_read(mHandle, 0x81, reinterpret_cast<char*>(buffer), size, timeoutMs);
    }

    // Reads one answer frame as a host must: 130-octet reads joined until 1 + L octets are there.
    // Returns the payload (empty on a failed read); the transfer sizes go to `sizes`.
    Bytes readAnswer(std::vector<int>* sizes = nullptr)
    {
        std::uint8_t frame[130];
        int got = 0;
        while (got == 0 || got < 1 + frame[0]) {
            const int n = read(frame + got, 130 - got);
            if (n <= 0) {
                return {};
            }
            if (sizes) {
                sizes->push_back(n);
            }
            got += n;
        }
        return Bytes(frame + 1, frame + got);
    }

    Bytes exchange(const Bytes& payload, std::vector<int>* sizes = nullptr)
    {
        return write(payload) == static_cast<int>(payload.size()) + 1 ? readAnswer(sizes) : Bytes {};
    }

    std::string text(int index)
    {
        char buffer[256] = {};
        return usb_get_string_simple(mHandle, index, buffer, sizeof buffer) < 0 ? "<none>" : buffer;
    }

private:
    usb_dev_handle* mHandle;
};

} // namespace zr40nn::emu::test
