// The token's transport: a CP210x USB-to-UART bridge driven through libusb 0.1.
//
// A frame (its length octet, then the payload) goes out in one bulk write and comes back in as many
// bulk reads as the bridge needs to hand the whole answer over.
#include "dev_zr40nn.h"
#include "errors/error_entry.h"
#include "protocol.h"
#include "wipe.h"

#include <array>
#include <chrono>
#include <cstring>

namespace {

using zr40nn::protocol::kFrameSize;
using zr40nn::protocol::kMaxPayload;
using zr40nn::protocol::kUsbTimeoutMs;

constexpr int kEndpointOut = 0x01;
constexpr int kEndpointIn = 0x81;

// Vendor request to the bridge: host to device, vendor type, recipient interface.
constexpr int kVendorInterfaceOut = 0x41;

struct BridgeRequest
{
    int request;
    int value;
    const char* failure;
};

// Enable the UART, 3686400 / 14 baud, 8N1, DTR and RTS on (with their mask bits).
constexpr std::array<BridgeRequest, 4> kBridgeSetup = { {
    { 0x00, 1, "could not enable UART in CP210X" },
    { 0x01, 14, "could not set up baudrate in CP210X" },
    { 0x03, 0x0800, "could not set up data bits for CP210X" },
    { 0x07, 0x0303, "could not set up control lines for CP210X" },
} };

constexpr const char kOpen[] = "CP210X_DEV_ZR40NN_open";
constexpr const char kRead[] = "CP210X_DEV_ZR40NN_read";
constexpr const char kWrite[] = "CP210X_DEV_ZR40NN_write";
constexpr const char kReadFailed[] = "could not read bulk transfer from CP210X";
constexpr const char kWriteFailed[] = "could not write bulk transfer to CP210X";

int failSetup(DEV_ZR40NN_t* ut, const char* message)
{
    // A half set-up bridge is of no use; release the handle rather than leave it behind.
    if (ut->handle != nullptr) {
        usb_close(ut->handle);
        ut->handle = nullptr;
    }
    zr40nn::pushError(ut, kOpen, __LINE__, message);
    return DEV_ZR40NN_ERR_CONFIGURE;
}

} // namespace

extern "C" {

int CP210X_DEV_ZR40NN_open(DEV_ZR40NN_t* ut)
{
    if (ut == nullptr) {
        return DEV_ZR40NN_ERR_CONFIGURE;
    }
    if (ut->handle != nullptr) {
        // Left open by an earlier session: start again from a fresh handle.
        CP210X_DEV_ZR40NN_close(ut);
    }
    ut->handle = ut->hw != nullptr ? usb_open(ut->hw) : nullptr;
    if (ut->handle == nullptr) {
        return failSetup(ut, "usb_open failed");
    }
    for (const BridgeRequest& step : kBridgeSetup) {
        if (usb_control_msg(ut->handle, kVendorInterfaceOut, step.request, step.value, 0, nullptr, 0, kUsbTimeoutMs)
            < 0) {
            return failSetup(ut, step.failure);
        }
    }
    if (usb_set_configuration(ut->handle, 1) < 0) {
        return failSetup(ut, "could not set up cofiguration to 1");
    }
    const int claimed = usb_claim_interface(ut->handle, 0);
    if (claimed < 0) {
        return failSetup(ut, "could not set up interface to 0");
    }
    return claimed;
}

int CP210X_DEV_ZR40NN_close(DEV_ZR40NN_t* ut)
{
    if (ut != nullptr && ut->handle != nullptr) {
        usb_release_interface(ut->handle, 0);
        // The reset ends the token's side of the session as well.
        usb_reset(ut->handle);
        usb_close(ut->handle);
        ut->handle = nullptr;
    }
    return 0;
}

int CP210X_DEV_ZR40NN_write(DEV_ZR40NN_t* ut, const unsigned char* buf, int n)
{
    if (ut == nullptr) {
        return DEV_ZR40NN_ERR_TRANSMIT;
    }
    if (n > kMaxPayload) {
        zr40nn::pushError(ut, kWrite, __LINE__, "given buffer is to large to transmit (larger than 130 octets)");
        return DEV_ZR40NN_ERR_BUFFER_TOO_LARGE;
    }
    // A handle released by an earlier failure is never used again; nor is a nonsensical payload.
    if (ut->handle == nullptr || n < 0 || (buf == nullptr && n > 0)) {
        zr40nn::pushError(ut, kWrite, __LINE__, kWriteFailed);
        return DEV_ZR40NN_ERR_TRANSMIT;
    }
    // The frame carries PINs for several commands: it is wiped however the write ends.
    unsigned char frame[kFrameSize];
    zr40nn::ScopedWipe wipeFrame(frame);
    frame[0] = static_cast<unsigned char>(n);
    if (n > 0) {
        std::memcpy(frame + 1, buf, static_cast<std::size_t>(n));
    }
    const int sent
        = usb_bulk_write(ut->handle, kEndpointOut, reinterpret_cast<const char*>(frame), n + 1, kUsbTimeoutMs);
    if (sent != n + 1) {
        zr40nn::pushError(ut, kWrite, __LINE__, kWriteFailed);
        return DEV_ZR40NN_ERR_TRANSMIT;
    }
    return n;
}

int CP210X_DEV_ZR40NN_read(DEV_ZR40NN_t* ut, unsigned char* buf, int max, int timeout_ms)
{
    if (ut == nullptr) {
        return DEV_ZR40NN_ERR_RECEIVE;
    }
    if (ut->handle == nullptr) {
        zr40nn::pushError(ut, kRead, __LINE__, kReadFailed);
        return DEV_ZR40NN_ERR_RECEIVE;
    }
    unsigned char frame[kFrameSize];
    char* const frameChars = reinterpret_cast<char*>(frame);

    // The bridge may complete reads with nothing while the token is still busy. Keep asking, but
    // only until the read's time-out has passed, so a bridge that never answers cannot hang us.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    int got = usb_bulk_read(ut->handle, kEndpointIn, frameChars, kFrameSize, timeout_ms);
    while (got == 0) {
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        if (elapsed >= timeout_ms) {
            got = -1;
            break;
        }
        got = usb_bulk_read(ut->handle, kEndpointIn, frameChars, kFrameSize, timeout_ms - static_cast<int>(elapsed));
    }
    if (got < 0) {
        zr40nn::pushError(ut, kRead, __LINE__, kReadFailed);
        return DEV_ZR40NN_ERR_RECEIVE;
    }

    // Join transfers until the length octet's worth of payload is in.
    const int wanted = frame[0] + 1;
    while (got < wanted) {
        if (got >= kFrameSize) {
            // A length octet of 130 or more announces more than any frame holds.
            zr40nn::pushError(ut, kRead, __LINE__, kReadFailed);
            return DEV_ZR40NN_ERR_RECEIVE;
        }
        const int more = usb_bulk_read(ut->handle, kEndpointIn, frameChars + got, kFrameSize - got, timeout_ms);
        if (more <= 0) {
            zr40nn::pushError(ut, kRead, __LINE__, kReadFailed);
            return DEV_ZR40NN_ERR_RECEIVE;
        }
        got += more;
    }

    const int payload = got - 1;
    if (payload > max) {
        zr40nn::pushError(ut, kRead, __LINE__, "could not store all data received from CP210X in given buffer");
        return DEV_ZR40NN_ERR_BUFFER_TOO_SMALL;
    }
    if (payload > 0) {
        std::memcpy(buf, frame + 1, static_cast<std::size_t>(payload));
    }
    return payload;
}

} // extern "C"
