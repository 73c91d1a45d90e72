// Shared helpers of the token file operations: handles, the free-sector map and the lookups in the
// device record's cached file table.
#pragma once

#include "dev_zr40nn.h"
#include "files/fs_entry.h"
#include "protocol.h"

namespace zr40nn::files {

using zr40nn::isDataSector;
using zr40nn::kFirstDataSector;
using zr40nn::kMaxFileSectors;
using zr40nn::sectorsFor;

inline constexpr int kNameBufferSize = protocol::kFileNameSlotSize;

// One file is open through one handle at a time: two handles of one file would each give back
// sectors the other still lists.
inline constexpr const char* kAlreadyOpen = "file is already open";

// `num` of a handle made by create until its first successful flush: it owns no table entry yet.
// Two creates before a flush would otherwise both believe the same free slot theirs; the flush
// takes the lowest slot that is free when it runs.
inline constexpr int kNoSlot = -1;

inline bool isStored(const DEV_ZR40NN_file_t* file)
{
    return file->num != kNoSlot;
}

// A zero-filled handle on `ut` with the given slot, type and name (which must fit); null after the
// entry "could not allocate memory" under `function`.
DEV_ZR40NN_file_t* newHandle(DEV_ZR40NN_t* ut, const char* function, int num, int type, const char* name);

// Zero-fills and frees a handle (null is ignored).
void releaseHandle(DEV_ZR40NN_file_t* file);

// The library keeps a list of the handles that are open, so that a listing never frees a sector a
// handle holds and one file is never open twice on one record.

// Whether an open handle of `ut` other than `except` holds `name`.
bool nameOpen(const DEV_ZR40NN_t* ut, const char* name, const DEV_ZR40NN_file_t* except = nullptr);

// Whether an open handle of `ut` holds table slot `slot` (it may have been renamed since).
bool slotOpen(const DEV_ZR40NN_t* ut, int slot);

// Marks every sector an open handle of `ut` holds as taken in the record's map.
void takeOpenHandleSectors(DEV_ZR40NN_t* ut);

// Drops the handles of a record that is being freed from the list (they must not be used again).
void forgetHandlesOf(const DEV_ZR40NN_t* ut);

// Takes `count` free data sectors from the map, lowest first, into `out`. When fewer are free,
// takes none and returns false.
bool claimSectors(DEV_ZR40NN_t* ut, int* out, int count);

// Gives the first `count` sectors of `list` back to the map.
void releaseSectors(DEV_ZR40NN_t* ut, const int* list, int count);

// Whether `name` fits a table entry (at most 28 octets). Null never fits.
bool nameFits(const char* name);

// The cached name buffer of a slot (always terminated inside its 32 octets).
char* cachedName(DEV_ZR40NN_t* ut, int slot);

// Brings one slot of the record's cached table in line with its entry: type and size, and for a
// used slot (type not 0) the 28 name octets at `name` (an entry's or a handle's name field),
// terminated. A free slot keeps whatever its name buffer held: names of used slots only count.
void cacheEntry(DEV_ZR40NN_t* ut, int slot, int type, int size, const char* name);

// The slot of an entry this process cleared: free, with no name.
void forgetEntry(DEV_ZR40NN_t* ut, int slot);

// Whether the cache shows `slot` used.
inline bool slotUsed(const DEV_ZR40NN_t* ut, int slot)
{
    return ut->file_types[slot] != 0;
}

// The lowest used slot whose cached name equals `name`, skipping `except`; -1 when none.
int findNamedSlot(DEV_ZR40NN_t* ut, const char* name, int except = kNoSlot);

// The lowest slot the cache shows free and no open handle holds; -1 when there is none.
int findFreeSlot(const DEV_ZR40NN_t* ut);

} // namespace zr40nn::files
