// One emulated token on the USB bus: its model, its CP210x bridge, and the usbfs ioctl handler
// that answers what libusb asks of /dev/bus/usb/BBB/DDD through umockdev's preload library.
#pragma once

#include "cp210x_bridge.h"
#include "token_model.h"

#include <memory>
#include <string>

typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;

namespace zr40nn::emu {

class UsbfsDevice
{
public:
    UsbfsDevice(int busNumber, int deviceNumber, const TokenConfig& config);
    ~UsbfsDevice();
    UsbfsDevice(const UsbfsDevice&) = delete;
    UsbfsDevice& operator=(const UsbfsDevice&) = delete;

    TokenModel& token() { return *mToken; }
    Cp210xBridge& bridge() { return *mBridge; }
    const Cp210xBridge& bridge() const { return *mBridge; }

    // The handler to attach to devicePath() before the device record is added.
    UMockdevIoctlBase* handler() const { return mHandler; }
    std::string devicePath() const;
    std::string sysfsPath() const;
    // The umockdev device record: sysfs attributes, udev properties and the node's descriptors.
    std::string record() const;

private:
    class Urbs;

    static int onIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, void* self);
    static void onConnected(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, void* self);
    void serve(UMockdevIoctlClient* client);
    void control(UMockdevIoctlClient* client);
    void submit(UMockdevIoctlClient* client, Urbs& urbs);
    void reap(UMockdevIoctlClient* client, Urbs& urbs);
    void discard(UMockdevIoctlClient* client, Urbs& urbs);
    void setup(UMockdevIoctlClient* client, unsigned long request);
    void connectInfo(UMockdevIoctlClient* client);
    int standardRequest(std::uint8_t requestType, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                        std::uint8_t* data, std::uint16_t length);

    int mBus;
    int mDevice;
    std::string mProduct;
    std::string mSerial;
    std::unique_ptr<TokenModel> mToken;
    std::unique_ptr<Cp210xBridge> mBridge;
    UMockdevIoctlBase* mHandler = nullptr;
};

} // namespace zr40nn::emu
