// Storing and deleting token files: the operations that write the token.
//
// A flush writes the data sectors first and the table entry last, and touches the cache only when
// every write went through. A stored file is rewritten into fresh sectors, and its old sectors go
// back to the map only once the new entry is on the token. A flush that fails part-way therefore
// leaves every file the table lists whole: the old version or, when only the answer to the entry
// write was lost, the new one. A failed entry write is read back to tell the two apart.
#include "dev_zr40nn.h"
#include "errors/error_entry.h"
#include "files/file_handle.h"

#include <algorithm>
#include <array>
#include <cstring>

using namespace zr40nn::files;

namespace {

using SectorList = std::array<int, kMaxFileSectors>;

// Only the low octet of a type reaches the table.
int storedType(const DEV_ZR40NN_file_t* file)
{
    return file->type & 0xFF;
}

// The slot this flush writes, or -1 after an entry saying why none. A stored file keeps its slot;
// a new one takes the lowest free slot. Names stay unique whatever the slot.
int targetSlot(DEV_ZR40NN_file_t* file)
{
    DEV_ZR40NN_t* ut = file->ut;
    if (findNamedSlot(ut, file->name, file->num) >= 0) {
        DEV_ZR40NN_PUSH(ut, "DEV_ZR40NN_file_flush", zr40nn::protocol::kMsgNameTaken);
        return -1;
    }
    if (isStored(file)) {
        return file->num;
    }
    const int slot = findFreeSlot(ut);
    if (slot < 0) {
        DEV_ZR40NN_PUSH(ut, "DEV_ZR40NN_file_flush", "there is no free slot in file information table");
    }
    return slot;
}

int writeContents(const DEV_ZR40NN_file_t* file, const SectorList& sectors, const char* pin, unsigned char pinId)
{
    const unsigned char* data = reinterpret_cast<const unsigned char*>(file->contents);
    for (int k = 0; k < sectorsFor(file->size); ++k) {
        for (int half = 0; half < 2; ++half) {
            const int result = DEV_ZR40NN_cmd_write_public_obj(file->ut, pin, pinId, 2 * sectors[k] + half, data);
            if (result < 0) {
                return result;
            }
            data += DEV_ZR40NN_OBJ_SIZE;
        }
    }
    return 0;
}

enum class EntryState
{
    Written,
    NotWritten,
    Unknown,
};

// After a table write that failed: a lost answer looks the same as a refusal, so the entry is read
// back to learn which it was.
EntryState entryOnToken(DEV_ZR40NN_t* ut, int slot, const zr40nn::EntryImage& written)
{
    zr40nn::EntryImage found {};
    if (DEV_ZR40NN_cmd_read_public_obj(ut, slot, found.data()) < 0) {
        return EntryState::Unknown;
    }
    return found == written ? EntryState::Written : EntryState::NotWritten;
}

// The handle now owns `slot` with the sector list `sectors`, and the cache says so.
void adoptEntry(DEV_ZR40NN_file_t* file, int slot, const SectorList& sectors)
{
    std::copy(sectors.begin(), sectors.end(), file->sectors);
    file->num = slot;
    cacheEntry(file->ut, slot, storedType(file), file->size, file->name);
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
    // Only the low octet reaches the table, and 0 there would list the file as a free slot. The
    // printable test may also have cleared the only bit of a type.
    if (storedType(file) == 0) {
        DEV_ZR40NN_PUSH(ut, __func__, "file type 0 marks a free entry");
        return DEV_ZR40NN_ERR_UNDEFINED;
    }
    const int slot = targetSlot(file);
    if (slot < 0) {
        return DEV_ZR40NN_ERR_UNDEFINED;
    }

    // The sectors the stored entry lists come first in the handle's list (a file only grows). A
    // stored file is always rewritten into fresh sectors: a rewrite in place that fails part-way
    // would leave the stored file with mixed contents.
    const int held = sectorsFor(file->size);
    const int stored = isStored(file) ? std::min(sectorsFor(ut->file_sizes[file->num]), held) : 0;
    SectorList sectors {};
    std::copy_n(file->sectors, kMaxFileSectors, sectors.begin());
    if (!claimSectors(ut, sectors.data(), stored)) {
        DEV_ZR40NN_PUSH(ut, __func__, zr40nn::protocol::kMsgNoMemory);
        return DEV_ZR40NN_ERR_UNDEFINED;
    }

    int result = writeContents(file, sectors, pin, pinId);
    if (result < 0) {
        // No entry lists the fresh sectors, whatever reached them.
        releaseSectors(ut, sectors.data(), stored);
        DEV_ZR40NN_PUSH(ut, __func__, "could not write file contents to device");
        return result;
    }
    const zr40nn::EntryImage entry = zr40nn::buildFileEntry(storedType(file), file->size, file->name, sectors.data());
    result = DEV_ZR40NN_cmd_write_public_obj(ut, pin, pinId, slot, entry.data());
    const EntryState state = result < 0 ? entryOnToken(ut, slot, entry) : EntryState::Written;
    if (state == EntryState::NotWritten) {
        releaseSectors(ut, sectors.data(), stored);
    } else if (state == EntryState::Unknown) {
        // The token may list either entry. The handle and the cache take the new one as written,
        // so that the slot stays this file's and every sector either version lists stays taken
        // (the old ones until the next listing); the handle stays unflushed, and the next flush
        // writes everything again.
        adoptEntry(file, slot, sectors);
    }
    if (state != EntryState::Written) {
        DEV_ZR40NN_PUSH(ut, __func__, "could not write file information to device");
        return result;
    }
    releaseSectors(ut, file->sectors, stored);
    adoptEntry(file, slot, sectors);
    file->flushed = 1;
    return 0;
}

int DEV_ZR40NN_file_delete(DEV_ZR40NN_file_t* file, const char* pin, unsigned char pinId)
{
    if (file == nullptr) {
        return DEV_ZR40NN_ERR_UNDEFINED;
    }
    DEV_ZR40NN_t* ut = file->ut;
    // A handle from create that was never flushed has no entry on the token to clear.
    if (isStored(file)) {
        const zr40nn::EntryImage zeros {};
        const int result = DEV_ZR40NN_cmd_write_public_obj(ut, pin, pinId, file->num, zeros.data());
        if (result < 0 && entryOnToken(ut, file->num, zeros) != EntryState::Written) {
            DEV_ZR40NN_PUSH(ut, __func__, "");
            return result;
        }
        forgetEntry(ut, file->num);
    }
    // Only the entry is cleared on the token: the sectors keep their octets until reused.
    releaseSectors(ut, file->sectors, sectorsFor(file->size));
    releaseHandle(file);
    return 0;
}

} // extern "C"
