// Storing and deleting token files: the operations that write the token.
//
// A flush writes the data sectors first and the table entry last, and touches the cache only when
// every write went through. A flush that fails part-way therefore leaves the table (on the token
// and in the cache) describing what it described before: a new file is simply not there, and its
// sectors stay with the handle until it is flushed again or closed.
#include "dev_zr40nn.h"
#include "error_entry.h"
#include "file_handle.h"

#include <array>
#include <cstring>

using namespace zr40nn::files;

namespace {

using Object = std::array<unsigned char, DEV_ZR40NN_OBJ_SIZE>;

constexpr int kNameOffset = 4;
constexpr int kSectorsOffset = 32;

Object buildEntry(const DEV_ZR40NN_file_t* file)
{
    Object entry {};
    entry[0] = static_cast<unsigned char>(file->type & 0xFF);
    entry[2] = static_cast<unsigned char>((file->size >> 8) & 0xFF);
    entry[3] = static_cast<unsigned char>(file->size & 0xFF);
    // A 28-octet name ends where the sector list begins, without a terminator in the entry.
    std::memcpy(entry.data() + kNameOffset, file->name, strnlen(file->name, DEV_ZR40NN_FILE_NAME_LEN));
    for (int k = 0; k < sectorsFor(file->size); ++k) {
        entry[kSectorsOffset + k] = static_cast<unsigned char>(file->sectors[k] & 0xFF);
    }
    return entry;
}

// The slot this flush may write, or -1 after an entry saying why none. A handle from create only
// guessed its slot: another file may have been stored there since, and then the lowest free slot
// is taken instead. Names stay unique whatever the slot.
int targetSlot(const DEV_ZR40NN_file_t* file, bool unstored)
{
    DEV_ZR40NN_t* ut = file->ut;
    if (findNamedSlot(ut, file->name, unstored ? -1 : file->num) >= 0) {
        DEV_ZR40NN_PUSH(ut, "DEV_ZR40NN_file_flush", "there exist file with that name");
        return -1;
    }
    if (!unstored || !slotUsed(ut, file->num)) {
        return file->num;
    }
    const int slot = findFreeSlot(ut);
    if (slot < 0) {
        DEV_ZR40NN_PUSH(ut, "DEV_ZR40NN_file_flush", "there is no free slot in file information table");
    }
    return slot;
}

int writeContents(const DEV_ZR40NN_file_t* file, const char* pin, unsigned char pinId)
{
    const unsigned char* data = reinterpret_cast<const unsigned char*>(file->contents);
    for (int k = 0; k < sectorsFor(file->size); ++k) {
        const int sector = file->sectors[k];
        for (int half = 0; half < 2; ++half) {
            const int result = DEV_ZR40NN_cmd_write_public_obj(file->ut, pin, pinId, 2 * sector + half, data);
            if (result < 0) {
                return result;
            }
            data += DEV_ZR40NN_OBJ_SIZE;
        }
    }
    return 0;
}

void storeInCache(DEV_ZR40NN_t* ut, int slot, const DEV_ZR40NN_file_t* file)
{
    char* name = ut->file_names_tb + kNameBufferSize * slot;
    ut->file_types[slot] = file->type & 0xFF;
    ut->file_sizes[slot] = file->size;
    std::memset(name, 0, kNameBufferSize);
    std::memcpy(name, file->name, strnlen(file->name, DEV_ZR40NN_FILE_NAME_LEN));
    ut->file_names[slot] = name;
}

void clearCache(DEV_ZR40NN_t* ut, int slot)
{
    ut->file_types[slot] = 0;
    ut->file_sizes[slot] = 0;
    std::memset(ut->file_names_tb + kNameBufferSize * slot, 0, kNameBufferSize);
    ut->file_names[slot] = nullptr;
}

} // namespace

extern "C" {

int DEV_ZR40NN_file_flush(DEV_ZR40NN_file_t* file, const char* pin, unsigned char pinId)
{
    if (file == nullptr) {
        return DEV_ZR40NN_ERR_UNDEFINED;
    }
    if (file->flushed) {
        return 0;
    }
    DEV_ZR40NN_t* ut = file->ut;
    // The printable test may have cleared the only bit of a type: such an entry would read as free.
    if ((file->type & 0xFF) == 0) {
        DEV_ZR40NN_PUSH(ut, __func__, "file type 0 marks a free entry");
        return DEV_ZR40NN_ERR_UNDEFINED;
    }
    const bool unstored = isUnstored(file);
    const int slot = targetSlot(file, unstored);
    if (slot < 0) {
        return DEV_ZR40NN_ERR_UNDEFINED;
    }
    int result = writeContents(file, pin, pinId);
    if (result < 0) {
        DEV_ZR40NN_PUSH(ut, __func__, "could not write file contents to device");
        return result;
    }
    const Object entry = buildEntry(file);
    result = DEV_ZR40NN_cmd_write_public_obj(ut, pin, pinId, slot, entry.data());
    if (result < 0) {
        DEV_ZR40NN_PUSH(ut, __func__, "could not write file information to device");
        return result;
    }
    file->num = slot;
    storeInCache(ut, slot, file);
    markStored(file);
    file->flushed = 1;
    return 0;
}

int DEV_ZR40NN_file_delete(DEV_ZR40NN_file_t* file, const char* pin, unsigned char pinId)
{
    if (file == nullptr) {
        return DEV_ZR40NN_ERR_UNDEFINED;
    }
    DEV_ZR40NN_t* ut = file->ut;
    // A handle from create that was never flushed has no entry on the token; its slot may by now
    // hold another file, which zeroing the entry would destroy.
    const bool unstored = isUnstored(file);
    if (!unstored) {
        const Object zeros {};
        const int result = DEV_ZR40NN_cmd_write_public_obj(ut, pin, pinId, file->num, zeros.data());
        if (result < 0) {
            DEV_ZR40NN_PUSH(ut, __func__, "");
            return result;
        }
    }
    // Only the entry is cleared on the token: the sectors keep their octets until reused.
    for (int k = 0; k < sectorsFor(file->size); ++k) {
        const int sector = file->sectors[k];
        if (isDataSector(sector)) {
            ut->free_sectors[sector] = static_cast<unsigned char>(sector);
        }
    }
    if (!unstored) {
        clearCache(ut, file->num);
    }
    releaseHandle(file);
    return 0;
}

} // extern "C"
