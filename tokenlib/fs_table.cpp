// The file table: listing it into the device record's cache, wiping the whole public memory, and
// the type octet of an open file.
#include "error_entry.h"
#include "file_handle.h"
#include "fs_entry.h"

#include <algorithm>
#include <bitset>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace zr40nn {

FileEntry parseFileEntry(const unsigned char* entry)
{
    FileEntry e;
    e.type = entry[0];
    e.size = entry[2] << 8 | entry[3];
    std::memcpy(e.name.data(), entry + 4, DEV_ZR40NN_FILE_NAME_LEN);
    e.name[DEV_ZR40NN_FILE_NAME_LEN] = '\0';
    const unsigned char* list = entry + 32;
    while (e.sectorCount < kMaxFileSectors && list[e.sectorCount] != 0) {
        e.sectors[e.sectorCount] = list[e.sectorCount];
        ++e.sectorCount;
    }
    if (e.type == 0) {
        return e;
    }
    // The same rule the file operations apply before they trust a sector list.
    std::bitset<DEV_ZR40NN_SECTORS> seen;
    for (int k = 0; k < e.sectorCount; ++k) {
        const int sector = e.sectors[k];
        if (!isDataSector(sector) || seen.test(static_cast<std::size_t>(sector))) {
            e.corrupt = true;
            return e;
        }
        seen.set(static_cast<std::size_t>(sector));
    }
    const int needed = (e.size + DEV_ZR40NN_SECTOR_SIZE - 1) / DEV_ZR40NN_SECTOR_SIZE;
    e.corrupt = e.size > DEV_ZR40NN_FILE_MAX || e.sectorCount != needed;
    return e;
}

} // namespace zr40nn

namespace {

constexpr int kNameBufferSize = zr40nn::protocol::kFileNameSlotSize;

void resetFreeMap(DEV_ZR40NN_t* ut)
{
    for (int s = 0; s < DEV_ZR40NN_SECTORS; ++s) {
        ut->free_sectors[s] = zr40nn::isDataSector(s) ? static_cast<unsigned char>(s) : 0;
    }
}

// Brings one slot of the cache in line with its table entry.
void cacheEntry(DEV_ZR40NN_t* ut, int slot, const unsigned char* raw)
{
    const zr40nn::FileEntry entry = zr40nn::parseFileEntry(raw);
    ut->file_types[slot] = entry.type;
    if (entry.type == 0) {
        ut->file_sizes[slot] = 0;
        return;
    }
    char* name = ut->file_names_tb + slot * kNameBufferSize;
    std::memset(name, 0, kNameBufferSize);
    std::memcpy(name, entry.name.data(), DEV_ZR40NN_FILE_NAME_LEN);
    ut->file_names[slot] = name;

    // Sectors of a corrupt entry stay taken too: they may still hold what somebody wants back.
    // Numbers outside the data area are not ours to mark.
    for (int k = 0; k < entry.sectorCount; ++k) {
        if (zr40nn::isDataSector(entry.sectors[k])) {
            ut->free_sectors[entry.sectors[k]] = 0;
        }
    }
    if (entry.corrupt) {
        // The entry stays listed under its type and name so that it can be seen and deleted;
        // a negative size tells the programs and the file operations not to trust it.
        ut->file_sizes[slot] = -1;
        char message[64];
        std::snprintf(message, sizeof(message), "file information table entry %d is corrupt", slot);
        DEV_ZR40NN_PUSH(ut, "DEV_ZR40NN_fs_get_file_list", message);
    } else {
        ut->file_sizes[slot] = entry.size;
    }
}

} // namespace

extern "C" {

int DEV_ZR40NN_fs_get_file_list(DEV_ZR40NN_t* ut)
{
    resetFreeMap(ut);
    const int slots = std::clamp(ut->files_no, 0, DEV_ZR40NN_FILES);
    for (int slot = 0; slot < slots; ++slot) {
        unsigned char raw[DEV_ZR40NN_OBJ_SIZE];
        const int result = DEV_ZR40NN_cmd_read_public_obj(ut, slot, raw);
        if (result < 0) {
            // The entries not read may list any sector: until a listing succeeds, none is free.
            std::fill_n(ut->free_sectors, DEV_ZR40NN_SECTORS, 0);
            DEV_ZR40NN_PUSH(ut, __func__, "can not read file information table");
            return result;
        }
        cacheEntry(ut, slot, raw);
    }
    // The table knows nothing of what open handles took since their last flush.
    zr40nn::files::takeOpenHandleSectors(ut);
    return 0;
}

int DEV_ZR40NN_fs_clear(DEV_ZR40NN_t* ut, const char* pin, unsigned char pinId)
{
    const unsigned char zeros[DEV_ZR40NN_OBJ_SIZE] = {};
    for (int obj = 0; obj < zr40nn::kFsObjects; ++obj) {
        const int result = DEV_ZR40NN_cmd_write_public_obj(ut, pin, pinId, obj, zeros);
        if (result < 0) {
            DEV_ZR40NN_PUSH(ut, __func__, "could not write to device public memory");
            return result;
        }
    }
    return 0;
}

int DEV_ZR40NN_file_type(DEV_ZR40NN_file_t* file)
{
    return file->type;
}

int DEV_ZR40NN_file_type_set_printable_mask(DEV_ZR40NN_file_t* file)
{
    const int size = std::clamp(file->size, 0, DEV_ZR40NN_FILE_MAX);
    for (int i = 0; i < size; ++i) {
        const int c = static_cast<unsigned char>(file->contents[i]);
        if (std::isgraph(c) == 0 && std::isspace(c) == 0) {
            file->type &= ~zr40nn::protocol::kFileTypePrintable;
            return 0;
        }
    }
    file->type |= zr40nn::protocol::kFileTypePrintable;
    return 1;
}

} // extern "C"
