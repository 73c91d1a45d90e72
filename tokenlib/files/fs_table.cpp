// The file table: listing it into the device record's cache, wiping the whole public memory, and
// the type octet of an open file.
#include "errors/error_entry.h"
#include "files/file_handle.h"
#include "files/fs_entry.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

void resetFreeMap(DEV_ZR40NN_t* ut)
{
    for (int s = 0; s < DEV_ZR40NN_SECTORS; ++s) {
        ut->free_sectors[s] = zr40nn::isDataSector(s) ? static_cast<unsigned char>(s) : 0;
    }
}

// Brings one slot of the cache and the free map in line with its table entry.
void listEntry(DEV_ZR40NN_t* ut, int slot, const unsigned char* raw)
{
    const zr40nn::FileEntry entry = zr40nn::parseFileEntry(raw);
    // A corrupt entry stays listed under its type and name so that it can be seen and deleted;
    // a negative size tells the programs and the file operations not to trust it.
    zr40nn::files::cacheEntry(ut, slot, entry.type, entry.corrupt ? -1 : entry.size, entry.name.data());
    if (entry.type == 0) {
        return;
    }
    // Sectors of a corrupt entry stay taken too: they may still hold what somebody wants back.
    // Numbers outside the data area are not ours to mark.
    for (int k = 0; k < entry.sectorCount; ++k) {
        if (zr40nn::isDataSector(entry.sectors[k])) {
            ut->free_sectors[entry.sectors[k]] = 0;
        }
    }
    if (entry.corrupt) {
        char message[64];
        std::snprintf(message, sizeof(message), "file information table entry %d is corrupt", slot);
        DEV_ZR40NN_PUSH(ut, "DEV_ZR40NN_fs_get_file_list", message);
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
        listEntry(ut, slot, raw);
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
