// The process-wide list of tokens on the USB buses and the library's reference-counted life cycle.
#include "dev_zr40nn.h"
#include "files/file_handle.h"

#include <openssl/crypto.h>

#include <cstring>
#include <memory>
#include <new>

namespace {

struct DeviceList
{
    int count = 0; // always the number of records listed
    DEV_ZR40NN_t* first = nullptr;
    DEV_ZR40NN_t* last = nullptr;
};

DeviceList gDevices;
int gConnectedApps = 0;

// Records may hold a configuration with PINs: cleansed before they go back to the heap. A record
// freed while its session is open (unplugged, or the last finish) gives its USB handle back too,
// through its own transport.
void destroyRecord(DEV_ZR40NN_t* ut)
{
    std::unique_ptr<DEV_ZR40NN_t> owner(ut);
    zr40nn::files::forgetHandlesOf(ut);
    if (owner->handle != nullptr && owner->close != nullptr) {
        owner->close(owner.get());
    }
    OPENSSL_cleanse(owner.get(), sizeof(DEV_ZR40NN_t));
}

bool isToken(const struct usb_device* dev)
{
    return dev->descriptor.idVendor == DEV_ZR40NN_VENDOR_ID && dev->descriptor.idProduct == DEV_ZR40NN_PRODUCT_ID;
}

int busNumberOf(const struct usb_device* dev)
{
    return dev->bus != nullptr ? static_cast<int>(dev->bus->location) : 0;
}

// Matches on the numbers the record keeps, never on its libusb device record: libusb frees that
// one when the device vanishes.
DEV_ZR40NN_t* findListed(int busNumber, int devNumber)
{
    for (DEV_ZR40NN_t* ut = gDevices.first; ut != nullptr; ut = ut->next) {
        if (ut->bus_number == busNumber && ut->dev_number == devNumber) {
            return ut;
        }
    }
    return nullptr;
}

void readString(usb_dev_handle* handle, int index, char* out, std::size_t size)
{
    if (index == 0) {
        return; // the device names no such string
    }
    if (usb_get_string_simple(handle, index, out, size) < 0) {
        std::memset(out, 0, size);
    }
}

// A new record: its USB strings, its transport, and nothing of the token yet.
DEV_ZR40NN_t* createRecord(struct usb_device* dev)
{
    DEV_ZR40NN_t* ut = new (std::nothrow) DEV_ZR40NN_t();
    if (ut == nullptr) {
        return nullptr;
    }
    ut->present = 1;
    ut->hw = dev;
    ut->bus_number = busNumberOf(dev);
    ut->dev_number = dev->devnum;
    // A device that cannot be opened keeps empty strings.
    if (usb_dev_handle* handle = usb_open(dev)) {
        readString(handle, dev->descriptor.iProduct, ut->product_string, sizeof(ut->product_string));
        readString(handle, dev->descriptor.iSerialNumber, ut->serial_number, sizeof(ut->serial_number));
        usb_reset(handle);
        usb_close(handle);
    }
    ut->open = CP210X_DEV_ZR40NN_open;
    ut->close = CP210X_DEV_ZR40NN_close;
    ut->read = CP210X_DEV_ZR40NN_read;
    ut->write = CP210X_DEV_ZR40NN_write;
    ut->files_no = DEV_ZR40NN_FILES;
    return ut;
}

void append(DEV_ZR40NN_t* ut)
{
    if (gDevices.last != nullptr) {
        gDevices.last->next = ut;
    } else {
        gDevices.first = ut;
    }
    gDevices.last = ut;
}

// Frees every record the last search did not see; the others keep their order.
void sweepAbsent()
{
    DEV_ZR40NN_t** link = &gDevices.first;
    gDevices.last = nullptr;
    while (*link != nullptr) {
        DEV_ZR40NN_t* ut = *link;
        if (ut->present == 0) {
            *link = ut->next;
            destroyRecord(ut);
        } else {
            gDevices.last = ut;
            link = &ut->next;
        }
    }
}

void freeAll()
{
    DEV_ZR40NN_t* ut = gDevices.first;
    while (ut != nullptr) {
        DEV_ZR40NN_t* next = ut->next;
        destroyRecord(ut);
        ut = next;
    }
    gDevices = DeviceList {};
}

} // namespace

extern "C" {

int DEV_ZR40NN_lib_init(void)
{
    if (++gConnectedApps == 1) {
        usb_init();
    }
    return 0;
}

int DEV_ZR40NN_lib_finish(void)
{
    // An unpaired finish must not drive the count below zero and free the list under a user.
    if (gConnectedApps == 0) {
        return 0;
    }
    if (--gConnectedApps == 0) {
        freeAll();
    }
    return 0;
}

int DEV_ZR40NN_lib_find_devices(void)
{
    gDevices.count = 0;
    for (DEV_ZR40NN_t* ut = gDevices.first; ut != nullptr; ut = ut->next) {
        ut->present = 0;
    }

    usb_find_busses();
    usb_find_devices();
    int found = 0;
    for (struct usb_bus* bus = usb_get_busses(); bus != nullptr; bus = bus->next) {
        for (struct usb_device* dev = bus->devices; dev != nullptr; dev = dev->next) {
            if (!isToken(dev)) {
                continue;
            }
            DEV_ZR40NN_t* ut = findListed(busNumberOf(dev), dev->devnum);
            if (ut != nullptr) {
                // The same bus and device number twice would meet one record: counted once.
                if (ut->present == 0) {
                    ut->present = 1;
                    ut->hw = dev;
                    ++found;
                }
                continue;
            }
            ut = createRecord(dev);
            if (ut == nullptr) {
                continue; // out of memory: the device is skipped, and not counted
            }
            append(ut);
            ++found;
        }
    }

    sweepAbsent();
    gDevices.count = found;
    return found;
}

DEV_ZR40NN_t* DEV_ZR40NN_get_first(void)
{
    return gDevices.first;
}

DEV_ZR40NN_t* DEV_ZR40NN_find_by_index(int i)
{
    if (i < 0 || i >= gDevices.count) {
        return nullptr;
    }
    DEV_ZR40NN_t* ut = gDevices.first;
    while (ut != nullptr && i-- > 0) {
        ut = ut->next;
    }
    return ut;
}

int DEV_ZR40NN_find_index_of(DEV_ZR40NN_t* ut)
{
    int index = 0;
    for (DEV_ZR40NN_t* listed = gDevices.first; listed != nullptr; listed = listed->next, ++index) {
        if (listed == ut) {
            return index;
        }
    }
    return -1;
}

DEV_ZR40NN_t* DEV_ZR40NN_find_by_name(const char* name)
{
    if (name == nullptr) {
        return nullptr;
    }
    for (DEV_ZR40NN_t* ut = gDevices.first; ut != nullptr; ut = ut->next) {
        if (std::strncmp(ut->info.name, name, sizeof(ut->info.name)) == 0) {
            return ut;
        }
    }
    return nullptr;
}

} // extern "C"
