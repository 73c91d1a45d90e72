// Opening a token file: the only file operation that reads the token. The cached table says which
// slot holds the name; the entry read back must still describe that file before its sectors are
// trusted, because another program may have changed the table since our last listing.
#include "dev_zr40nn.h"
#include "errors/error_entry.h"
#include "files/file_handle.h"

#include <algorithm>
#include <array>
#include <cstring>

using namespace zr40nn::files;

namespace {

// Whether the entry read back is still the file the cache describes: used, same type, size and name.
bool matchesCache(const zr40nn::FileEntry& entry, DEV_ZR40NN_t* ut, int slot)
{
    return entry.type != 0 && entry.type == ut->file_types[slot] && entry.size == ut->file_sizes[slot]
        && std::strncmp(entry.name.data(), cachedName(ut, slot), DEV_ZR40NN_FILE_NAME_LEN) == 0;
}

// Reads the file's sectors, two objects each, into the contents in list order.
int readContents(DEV_ZR40NN_file_t* file)
{
    unsigned char* out = reinterpret_cast<unsigned char*>(file->contents);
    for (int k = 0; k < sectorsFor(file->size); ++k) {
        const int sector = file->sectors[k];
        for (int half = 0; half < 2; ++half) {
            const int result = DEV_ZR40NN_cmd_read_public_obj(file->ut, 2 * sector + half, out);
            if (result < 0) {
                return result;
            }
            out += DEV_ZR40NN_OBJ_SIZE;
        }
    }
    return 0;
}

} // namespace

extern "C" DEV_ZR40NN_file_t* DEV_ZR40NN_file_open(DEV_ZR40NN_t* ut, const char* name)
{
    if (ut == nullptr || name == nullptr) {
        return nullptr;
    }
    const int slot = findNamedSlot(ut, name);
    if (slot < 0) {
        return nullptr;
    }
    if (nameOpen(ut, name) || slotOpen(ut, slot)) {
        DEV_ZR40NN_PUSH(ut, __func__, kAlreadyOpen);
        return nullptr;
    }
    std::array<unsigned char, DEV_ZR40NN_OBJ_SIZE> raw {};
    if (DEV_ZR40NN_cmd_read_public_obj(ut, slot, raw.data()) < 0) {
        DEV_ZR40NN_PUSH(ut, __func__, "could not read file information table");
        return nullptr;
    }
    const zr40nn::FileEntry entry = zr40nn::parseFileEntry(raw.data());
    // The listing caches a corrupt entry with a negative size; the entry may also have turned
    // corrupt since. Either way its sectors cannot be trusted.
    if (entry.corrupt || ut->file_sizes[slot] < 0) {
        DEV_ZR40NN_PUSH(ut, __func__, "file information table entry is corrupt");
        return nullptr;
    }
    if (!matchesCache(entry, ut, slot)) {
        DEV_ZR40NN_PUSH(ut, __func__, "file was changed or deleted by another program, read the file list again");
        return nullptr;
    }
    DEV_ZR40NN_file_t* file = newHandle(ut, __func__, slot, entry.type, cachedName(ut, slot));
    if (file == nullptr) {
        return nullptr;
    }
    file->size = entry.size;
    std::copy(entry.sectors.begin(), entry.sectors.end(), file->sectors);
    if (readContents(file) < 0) {
        DEV_ZR40NN_PUSH(ut, __func__, "could not read file contents");
        releaseHandle(file);
        return nullptr;
    }
    file->flushed = 1;
    return file;
}
