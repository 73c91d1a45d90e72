#include "files/fs_entry.h"

#include <bitset>
#include <cstring>

namespace zr40nn {

FileEntry parseFileEntry(const unsigned char* entry)
{
    FileEntry e;
    e.type = entry[kEntryTypeOffset];
    e.size = entry[kEntrySizeOffset] << 8 | entry[kEntrySizeOffset + 1];
    std::memcpy(e.name.data(), entry + kEntryNameOffset, DEV_ZR40NN_FILE_NAME_LEN);
    e.name[DEV_ZR40NN_FILE_NAME_LEN] = '\0';
    const unsigned char* list = entry + kEntrySectorsOffset;
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
    e.corrupt = e.size > DEV_ZR40NN_FILE_MAX || e.sectorCount != sectorsFor(e.size);
    return e;
}

EntryImage buildFileEntry(int type, int size, const char* name, const int* sectors)
{
    EntryImage entry {};
    entry[kEntryTypeOffset] = static_cast<unsigned char>(type & 0xFF);
    entry[kEntrySizeOffset] = static_cast<unsigned char>((size >> 8) & 0xFF);
    entry[kEntrySizeOffset + 1] = static_cast<unsigned char>(size & 0xFF);
    // A 28-octet name ends where the sector list begins, without a terminator in the entry.
    std::memcpy(entry.data() + kEntryNameOffset, name, strnlen(name, DEV_ZR40NN_FILE_NAME_LEN));
    for (int k = 0; k < sectorsFor(size); ++k) {
        entry[kEntrySectorsOffset + k] = static_cast<unsigned char>(sectors[k]);
    }
    return entry;
}

} // namespace zr40nn
