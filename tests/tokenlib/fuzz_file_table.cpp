// The file-table listing, file open and one flush on arbitrary table and sector contents (the fuzz
// input is the token's file-system memory: table first, then the data sectors). Whatever the memory
// holds: the listing caches what the table says and marks every sector an entry lists as taken, an
// open file reads back exactly what its sectors hold, and a new file never lands on a sector that
// any entry lists.
//
// The record's hooks answer the two public-object commands from the memory image in this process:
// thousands of runs a second, where the full token model would manage a few hundred.
#include "files/fs_entry.h"
#include "hooked_record.h"
#include "protocol.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Data = std::vector<unsigned char>;

constexpr char kPin[] = "1234";
constexpr unsigned char kUserPinId = 1;
constexpr char kNewName[] = "fuzz-new-file";
constexpr int kMemoryOctets = zr40nn::kFsObjects * DEV_ZR40NN_OBJ_SIZE;

// Request layouts: 00 04 object(2); 00 2E pin-id pin(8) object(2) data(64).
constexpr int kReadObjectLength = 4;
constexpr int kWriteObjectLength = 13 + DEV_ZR40NN_OBJ_SIZE;

// The token's public memory and the answer to the last request.
Data gMemory;
Data gAnswer;

int objectAt(const unsigned char* request, int offset)
{
    return request[offset] << 8 | request[offset + 1];
}

int writeHook(DEV_ZR40NN_t*, const unsigned char* request, int n)
{
    using namespace zr40nn::protocol;
    gAnswer = { kErrorAnswer, 0x00 };
    if (n == kReadObjectLength && request[1] == kCmdReadPublicObj && objectAt(request, 2) < zr40nn::kFsObjects) {
        const auto object = gMemory.begin() + objectAt(request, 2) * DEV_ZR40NN_OBJ_SIZE;
        gAnswer = { 0x00 };
        gAnswer.insert(gAnswer.end(), object, object + DEV_ZR40NN_OBJ_SIZE);
    } else if (n == kWriteObjectLength && request[1] == kCmdWritePublicObj
               && objectAt(request, 11) < zr40nn::kFsObjects) {
        std::copy_n(request + 13, DEV_ZR40NN_OBJ_SIZE, gMemory.begin() + objectAt(request, 11) * DEV_ZR40NN_OBJ_SIZE);
        gAnswer = { 0x00 };
    }
    return n;
}

int readHook(DEV_ZR40NN_t*, unsigned char* buf, int max, int)
{
    if (static_cast<int>(gAnswer.size()) > max) {
        return DEV_ZR40NN_ERR_BUFFER_TOO_SMALL;
    }
    std::copy(gAnswer.begin(), gAnswer.end(), buf);
    return static_cast<int>(gAnswer.size());
}

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

const unsigned char* entryOf(const Data& memory, int slot)
{
    return memory.data() + slot * DEV_ZR40NN_OBJ_SIZE;
}

// The contents an entry lists, read straight from the memory's sectors.
Data listedContents(const Data& memory, const zr40nn::FileEntry& entry)
{
    Data data;
    for (int k = 0; k < entry.sectorCount; ++k) {
        const auto sector = memory.begin() + entry.sectors[k] * DEV_ZR40NN_SECTOR_SIZE;
        data.insert(data.end(), sector, sector + DEV_ZR40NN_SECTOR_SIZE);
    }
    data.resize(static_cast<std::size_t>(entry.size));
    return data;
}

void checkListing(DEV_ZR40NN_t* ut, const Data& memory)
{
    for (int s = 0; s < zr40nn::kFirstDataSector; ++s) {
        check(ut->free_sectors[s] == 0);
    }
    for (int s = zr40nn::kFirstDataSector; s < DEV_ZR40NN_SECTORS; ++s) {
        check(ut->free_sectors[s] == 0 || ut->free_sectors[s] == s);
    }
    for (int slot = 0; slot < DEV_ZR40NN_FILES; ++slot) {
        const zr40nn::FileEntry entry = zr40nn::parseFileEntry(entryOf(memory, slot));
        check(ut->file_types[slot] == entry.type);
        if (entry.type == 0) {
            check(ut->file_sizes[slot] == 0);
            continue;
        }
        check(ut->file_sizes[slot] == (entry.corrupt ? -1 : entry.size));
        check(ut->file_names[slot] != nullptr && std::strcmp(ut->file_names[slot], entry.name.data()) == 0);
        for (int k = 0; k < entry.sectorCount; ++k) {
            check(!zr40nn::isDataSector(entry.sectors[k]) || ut->free_sectors[entry.sectors[k]] == 0);
        }
    }
}

// Opens every listed file by name: the first slot of a name opens when its entry is sound, and
// reads back what its sectors hold.
void checkOpens(DEV_ZR40NN_t* ut, const Data& memory)
{
    for (int slot = 0; slot < DEV_ZR40NN_FILES; ++slot) {
        if (ut->file_types[slot] == 0) {
            continue;
        }
        const char* name = ut->file_names[slot];
        int first = 0;
        while (ut->file_types[first] == 0 || std::strcmp(ut->file_names[first], name) != 0) {
            ++first;
        }
        const zr40nn::FileEntry entry = zr40nn::parseFileEntry(entryOf(memory, first));
        DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_open(ut, name);
        check((file != nullptr) == !entry.corrupt);
        if (file == nullptr) {
            continue;
        }
        check(file->num == first && file->size == entry.size && file->type == entry.type);
        Data contents(static_cast<std::size_t>(entry.size) + 1);
        const int n = entry.size > 0 ? DEV_ZR40NN_file_read(file, contents.data(), entry.size + 1) : 0;
        check(n == entry.size);
        contents.resize(static_cast<std::size_t>(n));
        check(contents == listedContents(memory, entry));
        check(DEV_ZR40NN_file_close(file) == 0);
    }
}

// A new file of 300 octets: where it is stored, no listed sector and no other entry changes.
void checkFlush(DEV_ZR40NN_t* ut, const Data& before)
{
    DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_create(ut, kNewName, 0x40);
    if (file == nullptr) {
        return; // no free slot, or the name is listed already
    }
    const Data contents(300, 0x5A);
    if (DEV_ZR40NN_file_write(file, contents.data(), 300) != 300) {
        check(DEV_ZR40NN_file_close(file) == 0);
        return; // too few free sectors
    }
    check(DEV_ZR40NN_file_flush(file, kPin, kUserPinId) == 0);
    const int stored = file->num;
    check(DEV_ZR40NN_file_close(file) == 0);

    const Data& after = gMemory;
    for (int slot = 0; slot < DEV_ZR40NN_FILES; ++slot) {
        const zr40nn::FileEntry entry = zr40nn::parseFileEntry(entryOf(before, slot));
        if (slot == stored) {
            check(entry.type == 0);
            continue;
        }
        check(std::equal(entryOf(after, slot), entryOf(after, slot) + DEV_ZR40NN_OBJ_SIZE, entryOf(before, slot)));
        for (int k = 0; entry.type != 0 && k < entry.sectorCount; ++k) {
            if (!zr40nn::isDataSector(entry.sectors[k])) {
                continue; // the table's own sectors, or none at all
            }
            const auto offset = static_cast<std::ptrdiff_t>(entry.sectors[k] * DEV_ZR40NN_SECTOR_SIZE);
            check(std::equal(after.begin() + offset, after.begin() + offset + DEV_ZR40NN_SECTOR_SIZE,
                             before.begin() + offset));
        }
    }
    const zr40nn::FileEntry written = zr40nn::parseFileEntry(entryOf(after, stored));
    check(!written.corrupt && written.size == 300 && listedContents(after, written) == contents);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    gMemory.assign(kMemoryOctets, 0);
    std::copy_n(data, std::min(size, gMemory.size()), gMemory.begin());
    const Data memory = gMemory;

    DEV_ZR40NN_t ut {};
    zr40nn::test::attachHooks(ut, readHook, writeHook);
    check(DEV_ZR40NN_session_open(&ut) == 0);
    check(DEV_ZR40NN_fs_get_file_list(&ut) == 0);
    checkListing(&ut, memory);
    checkOpens(&ut, memory);
    checkFlush(&ut, memory);
    check(DEV_ZR40NN_session_close(&ut) == 0);
    return 0;
}
