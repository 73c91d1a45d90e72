// One entry of the on-token file table, taken apart. The table comes from the token and is not
// trusted: the listing and the file operations judge an entry by the same rule.
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

inline constexpr bool isDataSector(int sector)
{
    return sector >= kFirstDataSector && sector < DEV_ZR40NN_SECTORS;
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

} // namespace zr40nn
