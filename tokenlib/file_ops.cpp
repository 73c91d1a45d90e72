// Token files held in memory: create, read, write, seek, rename and close. None of these talks to
// the token; they change the handle and the device record's cached table and free-sector map.
#include "dev_zr40nn.h"
#include "error_entry.h"
#include "file_handle.h"

#include <algorithm>
#include <cstring>

using namespace zr40nn::files;

namespace {

// The table entry keeps only the low octet of the type, and 0 there marks a free slot.
bool typeStorable(int type)
{
    return (type & 0xFF) != 0;
}

// Sectors 0..7 hold the table and are never free; only the data sectors are looked at.
int freeSectorCount(const DEV_ZR40NN_t* ut)
{
    return static_cast<int>(std::count_if(std::begin(ut->free_sectors) + kFirstDataSector, std::end(ut->free_sectors),
                                          [](unsigned char entry) { return entry != 0; }));
}

} // namespace

extern "C" {

DEV_ZR40NN_file_t* DEV_ZR40NN_file_create(DEV_ZR40NN_t* ut, const char* name, int type)
{
    if (ut == nullptr) {
        return nullptr;
    }
    if (!nameFits(name)) {
        DEV_ZR40NN_PUSH(ut, __func__, "new file name is too long");
        return nullptr;
    }
    if (!typeStorable(type)) {
        DEV_ZR40NN_PUSH(ut, __func__, "file type 0 marks a free entry");
        return nullptr;
    }
    if (findNamedSlot(ut, name) >= 0) {
        DEV_ZR40NN_PUSH(ut, __func__, "there exist file with that name");
        return nullptr;
    }
    // Only a guess: the slot is claimed by the flush, which moves on if it was taken meanwhile.
    const int slot = findFreeSlot(ut);
    if (slot < 0) {
        return nullptr;
    }
    DEV_ZR40NN_file_t* file = allocateHandle(true);
    if (file == nullptr) {
        DEV_ZR40NN_PUSH(ut, __func__, "could not allocate memory");
        return nullptr;
    }
    file->ut = ut;
    file->num = slot;
    file->type = type;
    std::strcpy(file->name, name);
    return file;
}

int DEV_ZR40NN_file_read(DEV_ZR40NN_file_t* file, unsigned char* buf, int n)
{
    if (file == nullptr) {
        return -1;
    }
    if (n < 1 || buf == nullptr) {
        DEV_ZR40NN_PUSH(file->ut, __func__, "size have to be positive");
        return -1;
    }
    if (file->fpos >= file->size) {
        return 0;
    }
    const int count = std::min(n, file->size - file->fpos);
    std::memcpy(buf, file->contents + file->fpos, static_cast<std::size_t>(count));
    file->fpos += count;
    return count;
}

int DEV_ZR40NN_file_write(DEV_ZR40NN_file_t* file, const void* buf, int n)
{
    if (file == nullptr) {
        return -1;
    }
    DEV_ZR40NN_t* ut = file->ut;
    if (n < 1 || buf == nullptr) {
        DEV_ZR40NN_PUSH(ut, __func__, "size have to be positive number");
        return -1;
    }
    if (n > DEV_ZR40NN_FILE_MAX - file->fpos) {
        DEV_ZR40NN_PUSH(ut, __func__, "too much data to write");
        return -1;
    }
    const int end = file->fpos + n;
    if (end > file->size) {
        const int held = sectorsFor(file->size);
        const int missing = sectorsFor(end) - held;
        if (freeSectorCount(ut) < missing) {
            DEV_ZR40NN_PUSH(ut, __func__, "there is no enought free memory on device");
            return -1;
        }
        // Claim sectors now, lowest first, so that no other handle of this process can take them.
        int taken = 0;
        for (int sector = kFirstDataSector; sector < DEV_ZR40NN_SECTORS && taken < missing; ++sector) {
            if (ut->free_sectors[sector] != 0) {
                ut->free_sectors[sector] = 0;
                file->sectors[held + taken++] = sector;
            }
        }
        file->size = end;
    }
    std::memcpy(file->contents + file->fpos, buf, static_cast<std::size_t>(n));
    file->fpos = end;
    file->flushed = 0;
    return n;
}

int DEV_ZR40NN_file_set_fpos(DEV_ZR40NN_file_t* file, int pos)
{
    if (file == nullptr) {
        return -1;
    }
    switch (pos) {
    case -1:
        file->fpos = file->size;
        break;
    case -2:
        file->fpos = 0;
        break;
    case -3:
        break;
    default:
        if (pos < 0 || pos >= file->size) {
            DEV_ZR40NN_PUSH(file->ut, __func__, "there is no such position in this file");
            return -1;
        }
        file->fpos = pos;
    }
    return file->fpos;
}

int DEV_ZR40NN_file_rename(DEV_ZR40NN_file_t* file, const char* name, int type)
{
    if (file == nullptr) {
        return -1;
    }
    DEV_ZR40NN_t* ut = file->ut;
    if (!nameFits(name)) {
        DEV_ZR40NN_PUSH(ut, __func__, "new file name is too long");
        return -1;
    }
    if (!typeStorable(type)) {
        DEV_ZR40NN_PUSH(ut, __func__, "file type 0 marks a free entry");
        return -1;
    }
    // Names stay unique: another file may not be given this one's name. A stored handle may keep
    // its own name (only the type changes).
    if (findNamedSlot(ut, name, isUnstored(file) ? -1 : file->num) >= 0) {
        DEV_ZR40NN_PUSH(ut, __func__, "there exist file with that name");
        return -1;
    }
    std::memset(file->name, 0, sizeof(file->name));
    std::strcpy(file->name, name);
    file->type = type;
    file->flushed = 0;
    return 0;
}

int DEV_ZR40NN_file_close(DEV_ZR40NN_file_t* file)
{
    if (file == nullptr) {
        return 0;
    }
    if (!file->flushed) {
        // Sectors taken by writes since the entry was last stored go back to the map; the entry
        // still lists the others. A handle that was never stored has no entry at all.
        DEV_ZR40NN_t* ut = file->ut;
        const int stored = isUnstored(file) ? 0 : sectorsFor(ut->file_sizes[file->num]);
        const int held = sectorsFor(file->size);
        for (int k = std::max(stored, 0); k < held; ++k) {
            const int sector = file->sectors[k];
            if (isDataSector(sector)) {
                ut->free_sectors[sector] = static_cast<unsigned char>(sector);
            }
        }
    }
    releaseHandle(file);
    return 0;
}

} // extern "C"
