#include "usbfs_device.h"

#include "hex_text.h"

#include "usb_descriptors.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <deque>

namespace zr40nn::emu {
namespace {

constexpr const char* kUrbsKey = "zr40nn-urbs";

struct ObjectUnref
{
    void operator()(void* object) const { g_object_unref(object); }
};
using Data = std::unique_ptr<UMockdevIoctlData, ObjectUnref>;

// Resolves a pointer inside `parent` into a local copy of `length` octets of the client's memory.
// Changes to the copy go back to the client when the ioctl completes.
Data resolve(UMockdevIoctlData* parent, std::size_t offset, std::size_t length)
{
    GError* error = nullptr;
    Data data(umockdev_ioctl_data_resolve(parent, offset, length, &error));
    if (error) {
        g_error_free(error);
        return nullptr;
    }
    return data;
}

template <typename T> T* as(const Data& data)
{
    return reinterpret_cast<T*>(data->data);
}

void finish(UMockdevIoctlClient* client, long result)
{
    umockdev_ioctl_client_complete(client, result, 0);
}

void fail(UMockdevIoctlClient* client, int error)
{
    umockdev_ioctl_client_complete(client, -1, error);
}

// One "A:" (sysfs attribute) line of a device record, backslashes and line ends escaped.
std::string attribute(const std::string& name, const std::string& value)
{
    std::string escaped;
    for (char c : value) {
        if (c == '\\') {
            escaped += "\\\\";
        } else if (c == '\n') {
            escaped += "\\n";
        } else {
            escaped += c;
        }
    }
    return "A: " + name + "=" + escaped + "\\n\n";
}

} // namespace

// The URBs of one open file descriptor, as usbfs keeps them: submitted ones still waiting for the
// device, and completed ones waiting to be reaped. Held as data of the umockdev client, so they
// go when the descriptor is closed.
class UsbfsDevice::Urbs
{
public:
    struct Urb
    {
        Data urb;
        Data buffer; // null for a zero-length transfer
        usbdevfs_urb* fields() const { return as<usbdevfs_urb>(urb); }
    };

    static Urbs& of(UMockdevIoctlClient* client)
    {
        auto* urbs = static_cast<Urbs*>(g_object_get_data(G_OBJECT(client), kUrbsKey));
        if (!urbs) {
            urbs = new Urbs;
            g_object_set_data_full(G_OBJECT(client), kUrbsKey, urbs, [](gpointer p) { delete static_cast<Urbs*>(p); });
        }
        return *urbs;
    }

    static void complete(Urb& urb, std::size_t length, int status)
    {
        urb.fields()->actual_length = static_cast<int>(length);
        urb.fields()->status = status;
    }

    bool refused = false; // opened while the node could not be opened
    std::deque<Urb> waiting;
    std::deque<Urb> done;
};

UsbfsDevice::UsbfsDevice(int busNumber, int deviceNumber, const TokenConfig& config)
    : mBus(busNumber)
    , mDevice(deviceNumber)
    , mProduct(config.product)
    , mSerial(config.serial)
    , mToken(std::make_unique<TokenModel>(config))
    , mBridge(std::make_unique<Cp210xBridge>(*mToken))
    , mHandler(umockdev_ioctl_base_new())
{
    g_signal_connect(mHandler, "handle-ioctl", G_CALLBACK(onIoctl), this);
    g_signal_connect(mHandler, "client-connected", G_CALLBACK(onConnected), this);
}

UsbfsDevice::~UsbfsDevice()
{
    g_signal_handlers_disconnect_by_data(mHandler, this);
    g_object_unref(mHandler);
}

std::string UsbfsDevice::devicePath() const
{
    char path[64];
    std::snprintf(path, sizeof path, "/dev/bus/usb/%03d/%03d", mBus, mDevice);
    return path;
}

std::string UsbfsDevice::sysfsPath() const
{
    return "/sys/devices/pci0000:00/0000:00:14.0/usb" + std::to_string(mBus) + "/" + std::to_string(mBus) + "-"
        + std::to_string(mDevice);
}

std::string UsbfsDevice::record() const
{
    // libusb 0.1 reads the device and configuration descriptors from the node itself.
    Bytes node = usb::deviceDescriptor();
    const Bytes configuration = usb::configurationDescriptor();
    node.insert(node.end(), configuration.begin(), configuration.end());
    const std::string hex = hexText(node.data(), node.size(), true);
    const std::string devnode = devicePath();
    char busdev[16];
    std::snprintf(busdev, sizeof busdev, "%03d/%03d", mBus, mDevice);
    char ids[32];
    std::snprintf(ids, sizeof ids, "%04x/%04x/100", usb::kVendorId, usb::kProductId);

    std::string r = "P: " + sysfsPath().substr(4) + "\n";
    r += "N: " + devnode.substr(5) + "=" + hex + "\n";
    r += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n";
    r += "E: DEVNAME=" + devnode + "\n";
    r += "E: BUSNUM=" + std::string(busdev, 3) + "\nE: DEVNUM=" + std::string(busdev + 4) + "\n";
    r += "E: PRODUCT=" + std::string(ids) + "\n";
    r += attribute("busnum", std::to_string(mBus));
    r += attribute("devnum", std::to_string(mDevice));
    r += attribute("speed", "12");
    r += attribute("idVendor", std::string(ids, 4));
    r += attribute("idProduct", std::string(ids + 5, 4));
    r += attribute("bcdDevice", "0100");
    r += attribute("bConfigurationValue", "1");
    r += attribute("bNumConfigurations", "1");
    r += attribute("product", mProduct);
    r += attribute("serial", mSerial);
    r += "H: descriptors=" + hex + "\n";
    return r;
}

int UsbfsDevice::onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self)
{
    static_cast<UsbfsDevice*>(self)->serve(client);
    return TRUE;
}

void UsbfsDevice::onConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self)
{
    Urbs::of(client).refused = static_cast<UsbfsDevice*>(self)->mBridge->faults().failOpen;
}

void UsbfsDevice::serve(UMockdevIoctlClient* client)
{
    Urbs& urbs = Urbs::of(client);
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    if (urbs.refused) {
        // libusb 0.1 hands out a handle even when open() failed; every request on it then fails.
        fail(client, EACCES);
        return;
    }
    // A vanished device still lets a reap collect the transfers it cut short.
    if (mBridge->unplugged() && request != USBDEVFS_REAPURB && request != USBDEVFS_REAPURBNDELAY) {
        fail(client, ENODEV);
        return;
    }
    switch (request) {
    case USBDEVFS_CONTROL:
        control(client);
        return;
    case USBDEVFS_SUBMITURB:
        submit(client, urbs);
        return;
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
        reap(client, urbs);
        return;
    case USBDEVFS_DISCARDURB:
        discard(client, urbs);
        return;
    case USBDEVFS_SETCONFIGURATION:
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE:
        setup(client, request);
        return;
    case USBDEVFS_RESET:
        mBridge->reset();
        finish(client, 0);
        return;
    case USBDEVFS_CONNECTINFO:
        connectInfo(client);
        return;
    case USBDEVFS_SETINTERFACE:
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESETEP:
        finish(client, 0);
        return;
    case USBDEVFS_GETDRIVER:
        fail(client, ENODATA); // no kernel driver is bound to the bridge
        return;
    case USBDEVFS_IOCTL:
        fail(client, ENOSYS); // not a hub, no driver to disconnect
        return;
    default:
        fail(client, ENOTTY);
        return;
    }
}

void UsbfsDevice::control(UMockdevIoctlClient* client)
{
    Data transfer = resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(usbdevfs_ctrltransfer));
    if (!transfer) {
        fail(client, EFAULT);
        return;
    }
    const auto* ct = as<usbdevfs_ctrltransfer>(transfer);
    Data payload;
    if (ct->wLength > 0) {
        payload = resolve(transfer.get(), offsetof(usbdevfs_ctrltransfer, data), ct->wLength);
        if (!payload) {
            fail(client, EFAULT);
            return;
        }
    }
    int result;
    if ((ct->bRequestType & 0x60) == 0x40) {
        // Vendor requests go to the bridge; it takes none with a data stage.
        const int error
            = ct->wLength == 0 ? mBridge->vendorRequest(ct->bRequestType, ct->bRequest, ct->wValue, ct->wIndex) : EPIPE;
        result = error == 0 ? 0 : -error;
    } else {
        result = standardRequest(ct->bRequestType, ct->bRequest, ct->wValue, ct->wIndex,
                                 payload ? payload->data : nullptr, ct->wLength);
    }
    if (result < 0) {
        fail(client, -result);
    } else {
        finish(client, result);
    }
}

int UsbfsDevice::standardRequest(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                 std::uint16_t index, std::uint8_t* data, std::uint16_t length)
{
    constexpr std::uint8_t kGetStatus = 0x00;
    constexpr std::uint8_t kGetDescriptor = 0x06;
    constexpr std::uint8_t kSetConfiguration = 0x09;
    const auto reply = [data, length](const Bytes& octets) {
        const std::size_t n = std::min<std::size_t>(length, octets.size());
        if (n > 0) {
            std::memcpy(data, octets.data(), n);
        }
        return static_cast<int>(n);
    };

    if (requestType == 0x80 && request == kGetDescriptor) {
        const auto type = static_cast<std::uint8_t>(value >> 8);
        const auto which = static_cast<std::uint8_t>(value & 0xFF);
        if (type == usb::kDescriptorDevice) {
            return reply(usb::deviceDescriptor());
        }
        if (type == usb::kDescriptorConfiguration && which == 0) {
            return reply(usb::configurationDescriptor());
        }
        if (type == usb::kDescriptorString && (which == 0 || index == usb::kLanguageUsEnglish)) {
            if (auto descriptor = usb::stringDescriptor(which, mProduct, mSerial)) {
                return reply(*descriptor);
            }
        }
        return -EPIPE;
    }
    if (requestType == 0x80 && request == kGetStatus) {
        return reply({ 0x00, 0x00 });
    }
    if (requestType == 0x00 && request == kSetConfiguration) {
        return -mBridge->setConfiguration(value);
    }
    return -EPIPE;
}

void UsbfsDevice::submit(UMockdevIoctlClient* client, Urbs& urbs)
{
    Urbs::Urb urb { resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(usbdevfs_urb)), nullptr };
    if (!urb.urb) {
        fail(client, EFAULT);
        return;
    }
    usbdevfs_urb* fields = urb.fields();
    if (fields->type != USBDEVFS_URB_TYPE_BULK || fields->buffer_length < 0) {
        fail(client, EINVAL);
        return;
    }
    const auto length = static_cast<std::size_t>(fields->buffer_length);
    if (length > 0) {
        urb.buffer = resolve(urb.urb.get(), offsetof(usbdevfs_urb, buffer), length);
        if (!urb.buffer) {
            fail(client, EFAULT);
            return;
        }
    }
    std::uint8_t* octets = urb.buffer ? urb.buffer->data : nullptr;
    const UsbTransfer transfer = (fields->endpoint & 0x80) ? mBridge->bulkIn(fields->endpoint, octets, length)
                                                           : mBridge->bulkOut(fields->endpoint, octets, length);
    switch (transfer.outcome) {
    case UsbTransfer::Outcome::Refused:
        // Failing the submission itself: libusb 0.1 ignores the status of a reaped URB, so a stall
        // reported there would look like a transfer of zero octets.
        fail(client, transfer.error);
        return;
    case UsbTransfer::Outcome::Pending:
        urbs.waiting.push_back(std::move(urb));
        break;
    case UsbTransfer::Outcome::Completed:
        Urbs::complete(urb, transfer.length, 0);
        urbs.done.push_back(std::move(urb));
        break;
    }
    finish(client, 0);
}

void UsbfsDevice::reap(UMockdevIoctlClient* client, Urbs& urbs)
{
    // IN transfers complete when the bridge has answer octets for them, oldest first. libusb 0.1
    // polls with REAPURBNDELAY until its time-out, so nothing needs to wake it.
    while (!urbs.waiting.empty()) {
        Urbs::Urb& urb = urbs.waiting.front();
        if (mBridge->unplugged()) {
            Urbs::complete(urb, 0, -ENODEV);
        } else {
            const auto length = static_cast<std::size_t>(urb.fields()->buffer_length);
            const UsbTransfer transfer
                = mBridge->bulkIn(urb.fields()->endpoint, urb.buffer ? urb.buffer->data : nullptr, length);
            if (transfer.outcome == UsbTransfer::Outcome::Pending) {
                break;
            }
            Urbs::complete(urb, transfer.length,
                           transfer.outcome == UsbTransfer::Outcome::Refused ? -transfer.error : 0);
        }
        urbs.done.push_back(std::move(urb));
        urbs.waiting.pop_front();
    }
    if (urbs.done.empty()) {
        fail(client, mBridge->unplugged() ? ENODEV : EAGAIN);
        return;
    }
    Data slot = resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(void*));
    if (!slot) {
        fail(client, EFAULT);
        return;
    }
    // The client gets back the address of its own URB, whose fields and buffer are written back.
    umockdev_ioctl_data_set_ptr(slot.get(), 0, urbs.done.front().urb.get());
    urbs.done.pop_front();
    finish(client, 0);
}

void UsbfsDevice::discard(UMockdevIoctlClient* client, Urbs& urbs)
{
    const auto address = *reinterpret_cast<const gulong*>(umockdev_ioctl_client_get_arg(client)->data);
    for (auto it = urbs.waiting.begin(); it != urbs.waiting.end(); ++it) {
        if (it->urb->client_addr == address) {
            // A discarded URB completes with -ENOENT and must still be reaped, as in usbfs.
            Urbs::complete(*it, 0, -ENOENT);
            urbs.done.push_back(std::move(*it));
            urbs.waiting.erase(it);
            finish(client, 0);
            return;
        }
    }
    fail(client, EINVAL);
}

void UsbfsDevice::setup(UMockdevIoctlClient* client, unsigned long request)
{
    Data value = resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(unsigned int));
    if (!value) {
        fail(client, EFAULT);
        return;
    }
    const int number = static_cast<int>(*as<unsigned int>(value));
    int error;
    if (request == USBDEVFS_SETCONFIGURATION) {
        error = mBridge->setConfiguration(number);
    } else if (request == USBDEVFS_CLAIMINTERFACE) {
        error = mBridge->claimInterface(number);
    } else {
        error = mBridge->releaseInterface(number);
    }
    if (error != 0) {
        fail(client, error);
    } else {
        finish(client, 0);
    }
}

void UsbfsDevice::connectInfo(UMockdevIoctlClient* client)
{
    Data info = resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(usbdevfs_connectinfo));
    if (!info) {
        fail(client, EFAULT);
        return;
    }
    as<usbdevfs_connectinfo>(info)->devnum = static_cast<unsigned int>(mDevice);
    as<usbdevfs_connectinfo>(info)->slow = 0; // full speed
    finish(client, 0);
}

} // namespace zr40nn::emu
