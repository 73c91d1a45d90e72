#include "usb_testbed.h"

#include "usbfs_device.h"

#include <glib/gstdio.h>
#include <umockdev.h>

#include <map>
#include <mutex>
#include <stdexcept>

namespace zr40nn::emu {
namespace {

constexpr int kBus = 1;
constexpr int kFirstDevice = 2; // 001 is the root hub's number on a real bus
constexpr int kLastDevice = 127;

// The test bed's root directory (umockdev hands out a copy).
std::string rootOf(UMockdevTestbed* testbed)
{
    gchar* root = umockdev_testbed_get_root_dir(testbed);
    std::string path = root;
    g_free(root);
    return path;
}

} // namespace

struct EmulatedBus::Impl
{
    UMockdevTestbed* testbed = nullptr;
    mutable std::mutex mutex; // guards everything below and every call into the test bed
    std::map<int, std::unique_ptr<UsbfsDevice>> plugged;
    // Unplugged tokens stay until the bus goes: the umockdev worker thread may still be serving a
    // request of theirs, and tests read the log of a token that vanished.
    std::map<int, std::unique_ptr<UsbfsDevice>> gone;
    int nextId = 1;
    bool wireTime = false;
    bool closing = false;

    void keepBusDirectory()
    {
        // libusb 0.1 looks for a non-empty /dev/bus/usb once, in usb_init; umockdev removes the bus
        // directory with its last device node.
        const std::string dir = rootOf(testbed) + "/dev/bus/usb/001";
        g_mkdir_with_parents(dir.c_str(), 0755);
    }

    void removeLocked(int id)
    {
        auto it = plugged.find(id);
        if (closing || it == plugged.end()) {
            return;
        }
        UsbfsDevice& device = *it->second;
        device.bridge().unplug();
        umockdev_testbed_remove_device(testbed, device.sysfsPath().c_str());
        umockdev_testbed_detach_ioctl(testbed, device.devicePath().c_str(), nullptr);
        // The node has no major:minor in the record, so umockdev leaves it behind.
        g_unlink((rootOf(testbed) + device.devicePath()).c_str());
        keepBusDirectory();
        gone.emplace(id, std::move(it->second));
        plugged.erase(it);
    }

    UsbfsDevice& findLocked(int id) const
    {
        if (auto it = plugged.find(id); it != plugged.end()) {
            return *it->second;
        }
        if (auto it = gone.find(id); it != gone.end()) {
            return *it->second;
        }
        throw std::out_of_range("no emulated token " + std::to_string(id));
    }
};

EmulatedBus::EmulatedBus()
    : mImpl(std::make_unique<Impl>())
{
    mImpl->testbed = umockdev_testbed_new();
    mImpl->keepBusDirectory();
}

EmulatedBus::~EmulatedBus()
{
    {
        std::lock_guard lock(mImpl->mutex);
        mImpl->closing = true;
        for (auto& [id, device] : mImpl->plugged) {
            device->bridge().setVanishHandler(nullptr);
            device->bridge().unplug();
        }
    }
    // The test bed stops its worker thread, so no handler runs while the devices are destroyed.
    g_object_unref(mImpl->testbed);
    mImpl->plugged.clear();
    mImpl->gone.clear();
}

int EmulatedBus::plug(const TokenConfig& config)
{
    std::lock_guard lock(mImpl->mutex);
    const int id = mImpl->nextId;
    const int number = kFirstDevice + id - 1;
    if (number > kLastDevice) {
        throw std::runtime_error("the emulated bus has no device number left");
    }
    auto device = std::make_unique<UsbfsDevice>(kBus, number, config);
    device->bridge().setWireTime(mImpl->wireTime);
    Impl* impl = mImpl.get();
    device->bridge().setVanishHandler([impl, id] {
        std::lock_guard vanishLock(impl->mutex);
        impl->removeLocked(id);
    });

    // The handler must be in place before the node appears, or an early open goes unserved.
    GError* error = nullptr;
    const bool attached
        = umockdev_testbed_attach_ioctl(mImpl->testbed, device->devicePath().c_str(), device->handler(), &error);
    if (!attached || !umockdev_testbed_add_from_string(mImpl->testbed, device->record().c_str(), &error)) {
        if (attached) {
            // The handler must not outlive the device it serves.
            umockdev_testbed_detach_ioctl(mImpl->testbed, device->devicePath().c_str(), nullptr);
        }
        std::string message = error ? error->message : "unknown error";
        g_clear_error(&error);
        throw std::runtime_error("cannot plug emulated token: " + message);
    }
    ++mImpl->nextId;
    mImpl->plugged.emplace(id, std::move(device));
    return id;
}

void EmulatedBus::unplug(int id)
{
    std::lock_guard lock(mImpl->mutex);
    mImpl->findLocked(id); // a token that already vanished by itself is simply gone
    mImpl->removeLocked(id);
}

std::vector<int> EmulatedBus::tokens() const
{
    std::lock_guard lock(mImpl->mutex);
    std::vector<int> ids;
    for (const auto& [id, device] : mImpl->plugged) {
        ids.push_back(id);
    }
    return ids;
}

TokenModel& EmulatedBus::token(int id)
{
    std::lock_guard lock(mImpl->mutex);
    return mImpl->findLocked(id).token();
}

void EmulatedBus::setFaults(int id, const BridgeFaults& faults)
{
    std::lock_guard lock(mImpl->mutex);
    mImpl->findLocked(id).bridge().setFaults(faults);
}

bool EmulatedBus::bridgeReady(int id) const
{
    std::lock_guard lock(mImpl->mutex);
    return mImpl->findLocked(id).bridge().ready();
}

int EmulatedBus::resetCount(int id) const
{
    std::lock_guard lock(mImpl->mutex);
    return mImpl->findLocked(id).bridge().resetCount();
}

std::string EmulatedBus::testbedDir() const
{
    return rootOf(mImpl->testbed);
}

std::string EmulatedBus::devicePath(int id) const
{
    std::lock_guard lock(mImpl->mutex);
    return mImpl->findLocked(id).devicePath();
}

void EmulatedBus::setWireTime(bool enabled)
{
    std::lock_guard lock(mImpl->mutex);
    mImpl->wireTime = enabled;
    for (auto& [id, device] : mImpl->plugged) {
        device->bridge().setWireTime(enabled);
    }
}

} // namespace zr40nn::emu
