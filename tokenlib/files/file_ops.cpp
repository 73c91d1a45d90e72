// Token files held in memory: create, read, write, seek, rename and close. None of these talks to
// the token; they change the handle and the device record's cached table and free-sector map.
#include "dev_zr40nn.h"
#include "errors/error_entry.h"
#include "files/file_handle.h"

#include <algorithm>
#include <cstring>

using namespace zr40nn::files;

extern "C" {

DEV_ZR40NN_file_t* DEV_ZR40NN_file_create(DEV_ZR40NN_t* ut, const char* name, int type)
{
    if (ut == nullptr) {
        return nullptr;
    }
    if (!nameFits(name)) {
        DEV_ZR40NN_PUSH(ut, __func__, zr40nn::protocol::kMsgNameTooLong);
        return nullptr;
    }
    if (findNamedSlot(ut, name) >= 0) {
        DEV_ZR40NN_PUSH(ut, __func__, zr40nn::protocol::kMsgNameTaken);
        return nullptr;
    }
    if (nameOpen(ut, name)) {
        DEV_ZR40NN_PUSH(ut, __func__, kAlreadyOpen);
        return nullptr;
    }
    if (findFreeSlot(ut) < 0) {
        return nullptr;
    }
    // The slot is taken by the first flush, whichever is free then.
    return newHandle(ut, __func__, kNoSlot, type, name);
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
        // Sectors are claimed now, so that no other handle of this process can take them.
        const int held = sectorsFor(file->size);
        if (!claimSectors(ut, file->sectors + held, sectorsFor(end) - held)) {
            DEV_ZR40NN_PUSH(ut, __func__, zr40nn::protocol::kMsgNoMemory);
            return -1;
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
        DEV_ZR40NN_PUSH(ut, __func__, zr40nn::protocol::kMsgNameTooLong);
        return -1;
    }
    // Names stay unique: another file may not be given this one's name. A stored file may keep its
    // own name (only the type changes).
    if (findNamedSlot(ut, name, file->num) >= 0) {
        DEV_ZR40NN_PUSH(ut, __func__, zr40nn::protocol::kMsgNameTaken);
        return -1;
    }
    if (nameOpen(ut, name, file)) {
        DEV_ZR40NN_PUSH(ut, __func__, kAlreadyOpen);
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
        const int stored = isStored(file) ? sectorsFor(file->ut->file_sizes[file->num]) : 0;
        const int held = sectorsFor(file->size);
        if (held > stored) {
            releaseSectors(file->ut, file->sectors + stored, held - stored);
        }
    }
    releaseHandle(file);
    return 0;
}

} // extern "C"
