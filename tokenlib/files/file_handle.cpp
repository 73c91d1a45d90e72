#include "files/file_handle.h"

#include "errors/error_entry.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace zr40nn::files {

namespace {

// Number of slots the cache describes (files_no, clamped to the 16 the record holds).
int slotCount(const DEV_ZR40NN_t* ut)
{
    return std::clamp(ut->files_no, 0, DEV_ZR40NN_FILES);
}

// Every handle between create or open and close or delete. A process keeps a handful at most, and
// the library runs on one thread at a time.
std::vector<DEV_ZR40NN_file_t*> gOpenHandles;

} // namespace

DEV_ZR40NN_file_t* newHandle(DEV_ZR40NN_t* ut, const char* function, int num, int type, const char* name)
{
    auto* file = new (std::nothrow) DEV_ZR40NN_file_t {};
    if (file == nullptr) {
        DEV_ZR40NN_PUSH(ut, function, zr40nn::protocol::kMsgNoAllocation);
        return nullptr;
    }
    try {
        gOpenHandles.push_back(file);
    } catch (const std::bad_alloc&) {
        delete file;
        DEV_ZR40NN_PUSH(ut, function, zr40nn::protocol::kMsgNoAllocation);
        return nullptr;
    }
    // From here on the caller owns the handle; close or delete gives it back.
    file->ut = ut;
    file->num = num;
    file->type = type;
    std::strncpy(file->name, name, DEV_ZR40NN_FILE_NAME_LEN);
    return file;
}

void releaseHandle(DEV_ZR40NN_file_t* file)
{
    if (file == nullptr) {
        return;
    }
    std::erase(gOpenHandles, file);
    // The contents may be a private document: leave nothing of it in freed memory.
    OPENSSL_cleanse(file, sizeof(*file));
    delete file;
}

bool claimSectors(DEV_ZR40NN_t* ut, int* out, int count)
{
    // Sectors 0..7 hold the table and are never free; only the data sectors are looked at.
    unsigned char* const first = ut->free_sectors + kFirstDataSector;
    unsigned char* const last = ut->free_sectors + DEV_ZR40NN_SECTORS;
    if (std::count_if(first, last, [](unsigned char entry) { return entry != 0; }) < count) {
        return false;
    }
    for (int sector = kFirstDataSector, taken = 0; taken < count; ++sector) {
        if (ut->free_sectors[sector] != 0) {
            ut->free_sectors[sector] = 0;
            out[taken++] = sector;
        }
    }
    return true;
}

void releaseSectors(DEV_ZR40NN_t* ut, const int* list, int count)
{
    for (int k = 0; k < count; ++k) {
        if (isDataSector(list[k])) {
            ut->free_sectors[list[k]] = static_cast<unsigned char>(list[k]);
        }
    }
}

bool nameOpen(const DEV_ZR40NN_t* ut, const char* name, const DEV_ZR40NN_file_t* except)
{
    return std::any_of(gOpenHandles.begin(), gOpenHandles.end(), [&](const DEV_ZR40NN_file_t* open) {
        return open != except && open->ut == ut
            && std::strncmp(open->name, name, sizeof(open->name)) == 0;
    });
}

bool slotOpen(const DEV_ZR40NN_t* ut, int slot)
{
    return std::any_of(gOpenHandles.begin(), gOpenHandles.end(),
                       [&](const DEV_ZR40NN_file_t* open) { return open->ut == ut && open->num == slot; });
}

void takeOpenHandleSectors(DEV_ZR40NN_t* ut)
{
    for (const DEV_ZR40NN_file_t* open : gOpenHandles) {
        if (open->ut != ut) {
            continue;
        }
        const int held = std::min(sectorsFor(open->size), kMaxFileSectors);
        for (int k = 0; k < held; ++k) {
            if (isDataSector(open->sectors[k])) {
                ut->free_sectors[open->sectors[k]] = 0;
            }
        }
    }
}

void forgetHandlesOf(const DEV_ZR40NN_t* ut)
{
    std::erase_if(gOpenHandles, [ut](const DEV_ZR40NN_file_t* open) { return open->ut == ut; });
}

bool nameFits(const char* name)
{
    return name != nullptr && strnlen(name, DEV_ZR40NN_FILE_NAME_LEN + 1) <= DEV_ZR40NN_FILE_NAME_LEN;
}

char* cachedName(DEV_ZR40NN_t* ut, int slot)
{
    return ut->file_names_tb + kNameBufferSize * slot;
}

void cacheEntry(DEV_ZR40NN_t* ut, int slot, int type, int size, const char* name)
{
    ut->file_types[slot] = type;
    if (type == 0) {
        ut->file_sizes[slot] = 0;
        return;
    }
    ut->file_sizes[slot] = size;
    char* buffer = cachedName(ut, slot);
    std::memset(buffer, 0, kNameBufferSize);
    std::memcpy(buffer, name, DEV_ZR40NN_FILE_NAME_LEN);
    ut->file_names[slot] = buffer;
}

void forgetEntry(DEV_ZR40NN_t* ut, int slot)
{
    cacheEntry(ut, slot, 0, 0, nullptr);
    std::memset(cachedName(ut, slot), 0, kNameBufferSize);
    ut->file_names[slot] = nullptr;
}

int findNamedSlot(DEV_ZR40NN_t* ut, const char* name, int except)
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
        if (!slotUsed(ut, slot) && !slotOpen(ut, slot)) {
            return slot;
        }
    }
    return -1;
}

} // namespace zr40nn::files
