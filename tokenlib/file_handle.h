// Shared helpers of the token file operations: handle allocation, the sector arithmetic and the
// lookups in the device record's cached file table.
#pragma once

#include "dev_zr40nn.h"
#include "fs_entry.h"

namespace zr40nn::files {

using zr40nn::isDataSector;
using zr40nn::kFirstDataSector;

inline constexpr int kNameBufferSize = 32; // one slot's name buffer in file_names_tb

// Number of 128-octet sectors a file of `size` octets occupies.
constexpr int sectorsFor(int size)
{
    return (size + DEV_ZR40NN_SECTOR_SIZE - 1) / DEV_ZR40NN_SECTOR_SIZE;
}

// A zero-filled handle, or null when memory ran out. `unstored` marks a handle made by create:
// it holds no slot on the token until its first successful flush.
DEV_ZR40NN_file_t* allocateHandle(bool unstored);

// Zero-fills and frees a handle (null is ignored).
void releaseHandle(DEV_ZR40NN_file_t* file);

// Whether the handle has never been stored in a table entry (made by create, not yet flushed).
bool isUnstored(const DEV_ZR40NN_file_t* file);

// Records that the handle now owns its table entry.
void markStored(const DEV_ZR40NN_file_t* file);

// Whether `name` fits a table entry (at most 28 octets). Null never fits.
bool nameFits(const char* name);

// The cached name buffer of a slot (always terminated inside its 32 octets).
const char* cachedName(const DEV_ZR40NN_t* ut, int slot);

// Whether the cache shows `slot` used.
bool slotUsed(const DEV_ZR40NN_t* ut, int slot);

// The lowest used slot whose cached name equals `name`, skipping `except`; -1 when none.
int findNamedSlot(const DEV_ZR40NN_t* ut, const char* name, int except = -1);

// The lowest slot the cache shows free; -1 when all are used.
int findFreeSlot(const DEV_ZR40NN_t* ut);

// Number of slots the cache describes (files_no, clamped to the 16 the record holds).
int slotCount(const DEV_ZR40NN_t* ut);

} // namespace zr40nn::files
