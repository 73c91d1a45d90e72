// One entry of the on-token file table: where its fields lie, how one is built, and how one is
// taken apart. The table comes from the token and is not trusted: the listing and the file
// operations judge an entry by the same rule.
#pragma once

#include "dev_zr40nn.h"
#include "protocol.h"

#include <array>

namespace zr40nn {

// The file system lies in public objects 0..255, whatever memory the token reports. Sectors
// (two objects each) 0..7 hold the file table; file data lives in sectors 8..127.
inline constexpr int kFsObjects = 256;
inline constexpr int kFirstDataSector = 8;
using protocol::kMaxFileSectors;

// A table entry is one public object: type octet, a reserved octet, the size (two octets,
// big-endian), the name (28 octets, NUL-padded, no terminator when full), and the sector list
// (one octet a sector, in file order, 0 after the last).
inline constexpr int kEntryTypeOffset = 0;
inline constexpr int kEntrySizeOffset = 2;
inline constexpr int kEntryNameOffset = 4;
inline constexpr int kEntrySectorsOffset = 32;
static_assert(kEntrySectorsOffset - kEntryNameOffset == DEV_ZR40NN_FILE_NAME_LEN);
static_assert(kEntrySectorsOffset + kMaxFileSectors == DEV_ZR40NN_OBJ_SIZE);

using EntryImage = std::array<unsigned char, DEV_ZR40NN_OBJ_SIZE>;

inline constexpr bool isDataSector(int sector)
{
    return sector >= kFirstDataSector && sector < DEV_ZR40NN_SECTORS;
}

// Number of 128-octet sectors a file of `size` octets occupies (none for a negative size).
constexpr int sectorsFor(int size)
{
    return size > 0 ? (size + DEV_ZR40NN_SECTOR_SIZE - 1) / DEV_ZR40NN_SECTOR_SIZE : 0;
}

struct FileEntry
{
    int type = 0; // 0: free slot
    int size = 0; // as stored, 0..65535
    std::array<char, DEV_ZR40NN_FILE_NAME_LEN + 1> name {}; // always terminated
    std::array<int, kMaxFileSectors> sectors {}; // listed numbers in file order, 0 after the last
    int sectorCount = 0; // numbers listed before the first zero
    // A used entry whose size is above 4096, whose list is not as long as its size needs, or that
    // lists a sector outside 8..127 or twice: its contents cannot be read back.
    bool corrupt = false;
};

// Parses a 64-octet table entry.
FileEntry parseFileEntry(const unsigned char* entry);

// The entry of a file of `size` octets (at most 4096): the low octet of `type`, the name's first
// 28 octets, and as many numbers of `sectors` as the size needs.
EntryImage buildFileEntry(int type, int size, const char* name, const int* sectors);

} // namespace zr40nn
