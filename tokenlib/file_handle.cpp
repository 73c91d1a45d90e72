#include "file_handle.h"

#include <openssl/crypto.h>

#include <cstring>
#include <memory>
#include <new>
#include <unordered_set>

namespace zr40nn::files {

namespace {

// Handles made by create that have not been stored yet. Two creates before a flush pick the same
// free slot, so a flush must know whether the slot is its own or only a guess; the handle record
// has no field for that. The library runs one call at a time per process, so no lock.
std::unordered_set<const DEV_ZR40NN_file_t*>& unstoredHandles()
{
    static std::unordered_set<const DEV_ZR40NN_file_t*> handles;
    return handles;
}

} // namespace

DEV_ZR40NN_file_t* allocateHandle(bool unstored)
{
    std::unique_ptr<DEV_ZR40NN_file_t> file(new (std::nothrow) DEV_ZR40NN_file_t {});
    if (!file) {
        return nullptr;
    }
    if (unstored) {
        try {
            unstoredHandles().insert(file.get());
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    // From here on the caller owns the handle; close or delete gives it back.
    return file.release();
}

void releaseHandle(DEV_ZR40NN_file_t* file)
{
    if (file == nullptr) {
        return;
    }
    unstoredHandles().erase(file);
    // The contents may be a private document: leave nothing of it in freed memory.
    OPENSSL_cleanse(file, sizeof(*file));
    delete file;
}

bool isUnstored(const DEV_ZR40NN_file_t* file)
{
    return unstoredHandles().count(file) != 0;
}

void markStored(const DEV_ZR40NN_file_t* file)
{
    unstoredHandles().erase(file);
}

bool nameFits(const char* name)
{
    return name != nullptr && strnlen(name, DEV_ZR40NN_FILE_NAME_LEN + 1) <= DEV_ZR40NN_FILE_NAME_LEN;
}

const char* cachedName(const DEV_ZR40NN_t* ut, int slot)
{
    return ut->file_names_tb + kNameBufferSize * slot;
}

bool slotUsed(const DEV_ZR40NN_t* ut, int slot)
{
    return ut->file_types[slot] != 0;
}

int slotCount(const DEV_ZR40NN_t* ut)
{
    if (ut->files_no < 0) {
        return 0;
    }
    return ut->files_no < DEV_ZR40NN_FILES ? ut->files_no : DEV_ZR40NN_FILES;
}

int findNamedSlot(const DEV_ZR40NN_t* ut, const char* name, int except)
{
    for (int slot = 0; slot < slotCount(ut); ++slot) {
        if (slot != except && slotUsed(ut, slot) && std::strncmp(cachedName(ut, slot), name, kNameBufferSize) == 0) {
            return slot;
        }
    }
    return -1;
}

int findFreeSlot(const DEV_ZR40NN_t* ut)
{
    for (int slot = 0; slot < slotCount(ut); ++slot) {
        if (!slotUsed(ut, slot)) {
            return slot;
        }
    }
    return -1;
}

} // namespace zr40nn::files
