// The file table against an emulated token: listing blank, full and corrupt tables, wiping the
// memory, and the text dump.
#include "command_fixture.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace zr40nn::test {
namespace {

emu::TokenConfig tokenWithTable(const std::vector<emu::Bytes>& table)
{
    emu::TokenConfig config = configuredToken("FILES");
    config.publicMemory.assign(16384, 0);
    for (std::size_t i = 0; i < table.size(); ++i) {
        std::copy(table[i].begin(), table[i].end(), config.publicMemory.begin() + static_cast<long>(i) * 64);
    }
    return config;
}

std::vector<int> sectorRange(int first, int count)
{
    std::vector<int> s(static_cast<std::size_t>(count));
    std::iota(s.begin(), s.end(), first);
    return s;
}

// Free sectors of the map; a free entry must hold its own number, and only data sectors are free.
int freeSectors(const DEV_ZR40NN_t* ut)
{
    int n = 0;
    for (int s = 0; s < 128; ++s) {
        if (ut->free_sectors[s] != 0) {
            EXPECT_EQ(ut->free_sectors[s], s);
            EXPECT_GE(s, 8);
            ++n;
        }
    }
    return n;
}

using FileTable = CommandTest;

TEST_F(FileTable, FullTableIsCachedEntryByEntry)
{
    // Slot 0: a 4096-octet file in 32 sectors (no terminator behind the list) with a 28-octet name;
    // slots 1..11: eight sectors each, listed backwards; slots 12..15: empty files.
    const std::string longName = "abcdefghijklmnopqrstuvwxyz01";
    std::vector<emu::Bytes> table { tableEntry(0x21, 4096, longName, sectorRange(8, 32)) };
    for (int i = 1; i <= 11; ++i) {
        std::vector<int> sectors = sectorRange(40 + 8 * (i - 1), 8);
        std::reverse(sectors.begin(), sectors.end());
        table.push_back(tableEntry(0x41, 900 + i, "file" + std::to_string(i), sectors));
    }
    for (int i = 12; i < 16; ++i) {
        table.push_back(tableEntry(0x71, 0, "empty", {}));
    }
    DEV_ZR40NN_t* ut = openToken(tokenWithTable(table));
    ASSERT_NE(ut, nullptr);

    EXPECT_STREQ(ut->err, "");
    EXPECT_EQ(ut->file_sizes[0], 4096);
    EXPECT_STREQ(ut->file_names[0], longName.c_str()) << "a 28-octet name is still terminated";
    for (int i = 1; i < 16; ++i) {
        EXPECT_EQ(ut->file_types[i], i <= 11 ? 0x41 : 0x71);
        EXPECT_EQ(ut->file_sizes[i], i <= 11 ? 900 + i : 0);
        EXPECT_EQ(ut->file_names[i], ut->file_names_tb + 32 * i);
    }
    EXPECT_STREQ(ut->file_names[11], "file11");
    EXPECT_EQ(freeSectors(ut), 0);
}

TEST_F(FileTable, CorruptEntriesStayListedButCannotBeOpened)
{
    const std::vector<emu::Bytes> table {
        tableEntry(0x41, 200, "good", { 8, 9 }),    tableEntry(0x41, 5000, "huge", { 10 }), // above 4096
        tableEntry(0x41, 300, "short", { 11, 12 }), // needs three sectors
        tableEntry(0x41, 100, "table", { 3 }), // a sector of the table itself
        tableEntry(0x41, 100, "far", { 200 }), // beyond the 128-entry map
        tableEntry(0x41, 200, "twice", { 13, 13 }), // one sector listed twice
        tableEntry(0x41, 100, "long", { 14, 15 }), // more sectors than the size needs
        tableEntry(0x71, 0, "empty", {}), // a file of size 0
    };
    DEV_ZR40NN_t* ut = openUnrefreshed(tokenWithTable(table));
    ASSERT_NE(ut, nullptr);

    ASSERT_EQ(DEV_ZR40NN_fs_get_file_list(ut), 0) << ut->err;
    const Lines listed = entries(ut);
    const int expectedSizes[] = { 200, -1, -1, -1, -1, -1, -1, 0 };
    const char* names[] = { "good", "huge", "short", "table", "far", "twice", "long", "empty" };
    Lines expected;
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(ut->file_types[i], table[static_cast<std::size_t>(i)][0]) << names[i];
        EXPECT_EQ(ut->file_sizes[i], expectedSizes[i]) << names[i];
        EXPECT_STREQ(ut->file_names[i], names[i]);
        if (expectedSizes[i] < 0) {
            expected.push_back("DEV_ZR40NN_fs_get_file_list:file information table entry " + std::to_string(i)
                               + " is corrupt");
            EXPECT_EQ(DEV_ZR40NN_file_open(ut, names[i]), nullptr) << names[i];
        }
    }
    EXPECT_EQ(listed, expected);

    // Sectors that corrupt entries name inside the data area stay taken; the others are ignored.
    EXPECT_EQ(freeSectors(ut), 112);
    DEV_ZR40NN_file_t* good = DEV_ZR40NN_file_open(ut, "good");
    ASSERT_NE(good, nullptr) << ut->err;
    EXPECT_EQ(good->size, 200);
    EXPECT_EQ(DEV_ZR40NN_file_close(good), 0);
}

TEST_F(FileTable, ClearedMemoryListsSixteenFreeSlotsAndAFailedReadEndsTheListing)
{
    emu::TokenConfig config = tokenWithTable({ tableEntry(0x41, 10, "x", { 8 }) });
    config.publicMem = 32768;
    config.publicMemory.resize(32768, 0x55);
    DEV_ZR40NN_t* ut = openToken(config);
    ASSERT_NE(ut, nullptr);

    // The wipe writes zeros over objects 0..255 only, in order, and leaves the cache alone.
    ASSERT_EQ(DEV_ZR40NN_fs_clear(ut, kUserPin, 1), 0) << ut->err;
    const std::vector<emu::LogEntry> writes = log();
    ASSERT_EQ(writes.size(), 256u);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(writes[static_cast<std::size_t>(i)].object, i);
    }
    EXPECT_EQ(wire().back(), "2E 77 1 '1234'");
    const emu::Bytes memory = token().snapshot().publicMemory;
    EXPECT_TRUE(std::all_of(memory.begin(), memory.begin() + 16384, [](std::uint8_t c) { return c == 0; }));
    EXPECT_EQ(memory[16384], 0x55);
    EXPECT_EQ(ut->file_types[0], 0x41) << "the cache waits for the next listing";

    // A blank table lists as sixteen free slots and 120 free sectors, in 16 reads.
    token().clearLog();
    ASSERT_EQ(DEV_ZR40NN_fs_get_file_list(ut), 0) << ut->err;
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(ut->file_types[i] + ut->file_sizes[i], 0);
        EXPECT_EQ(log()[static_cast<std::size_t>(i)].object, i);
    }
    EXPECT_EQ(log().size(), 16u);
    EXPECT_EQ(freeSectors(ut), 120);
    EXPECT_STREQ(ut->err, "");

    // A failed read ends the listing: slots not read keep their values, and since they may list
    // any sector, none is free until a listing succeeds.
    ut->file_types[5] = 0x41;
    token().failCommand(0x04, emu::kStatusFrameSyntax);
    EXPECT_EQ(DEV_ZR40NN_fs_get_file_list(ut), deviceError(emu::kStatusFrameSyntax));
    EXPECT_EQ(entries(ut),
              (Lines { "DEV_ZR40NN_single_pass:host receive error frame from device",
                       "DEV_ZR40NN_cmd_read_public_obj:wrong communication frame syntax",
                       "DEV_ZR40NN_fs_get_file_list:can not read file information table" }));
    EXPECT_EQ(ut->file_types[5], 0x41);
    EXPECT_EQ(freeSectors(ut), 0);
    EXPECT_EQ(DEV_ZR40NN_fs_clear(ut, "0000", 1), deviceError(emu::kStatusWrongPin));
    EXPECT_EQ(entries(ut).back(), "DEV_ZR40NN_fs_clear:could not write to device public memory");
}

TEST_F(FileTable, ScanDumpsTheTableThenTheDataSectors)
{
    // Entry 0 as a certificate; entries 1..15 as long as a dump line gets: a 5-digit size, a
    // 28-octet name and 32 three-digit numbers. A printable certificate (0x11) is not a "CERT".
    std::vector<emu::Bytes> table { tableEntry(0x10, 300, "cert.pem", { 8, 9, 10 }) };
    for (int i = 1; i < 16; ++i) {
        table.push_back(tableEntry(0x11, 65535, std::string(28, static_cast<char>('A' + i)), sectorRange(200, 32)));
    }
    emu::TokenConfig config = tokenWithTable(table);
    for (int i = 0; i < 128; ++i) {
        config.publicMemory[8 * 128 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    }
    DEV_ZR40NN_t* ut = openUnrefreshed(config);
    ASSERT_NE(ut, nullptr);

    std::vector<char> out(DEV_ZR40NN_FS_SCAN_SIZE, 'Z');
    ASSERT_EQ(DEV_ZR40NN_fs_scan(ut, out.data()), 0) << ut->err;
    const std::string text(out.data());
    const std::string entry0 = "[0] FILE INFO\n\ttype: CERT\n\tsize: 300\n\tname: cert.pem\n\tsectors: 8 9 10\n\t\n"
                               "\t:10:00:01:2C:63:65:72:74:2E:70:65:6D:00:00:00:00\n"
                               "\t:00:00:00:00:00:00:00:00:00:00:00:00:00:00:00:00\n"
                               "\t:08:09:0A:00:00:00:00:00:00:00:00:00:00:00:00:00\n"
                               "\t:00:00:00:00:00:00:00:00:00:00:00:00:00:00:00:00\n\t\n";
    EXPECT_TRUE(text.starts_with(entry0)) << text.substr(0, entry0.size());
    const std::string entry1 = "[1] FILE INFO\n\ttype: UNKNOWN\n\tsize: 65535\n\tname: BBBBBBBBBBBBBBBBBBBBBBBBBBBB\n";
    EXPECT_EQ(text.substr(entry0.size(), entry1.size()), entry1);
    const std::string sector8 = "[08] SECTOR\n"
                                "\t:00:01:02:03:04:05:06:07:08:09:0A:0B:0C:0D:0E:0F\n"
                                "\t:10:11:12:13:14:15:16:17:18:19:1A:1B:1C:1D:1E:1F\n";
    EXPECT_NE(text.find(sector8), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 414, 13), "[7F] SECTOR\n\t") << "the last block is sector 127";
    EXPECT_TRUE(text.ends_with(":00\n\t\n"));
    // Fifteen entry blocks of the longest form fill the documented size but for entry 0's.
    EXPECT_EQ(text.size() + 1, DEV_ZR40NN_FS_SCAN_SIZE - (420 - entry0.size()));

    // A failed read writes nothing.
    std::fill(out.begin(), out.end(), 'Z');
    token().failCommand(0x04, emu::kStatusNotAllowed);
    EXPECT_EQ(DEV_ZR40NN_fs_scan(ut, out.data()), deviceError(emu::kStatusNotAllowed));
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](char c) { return c == 'Z'; }));
    EXPECT_EQ(entries(ut).back(), "DEV_ZR40NN_fs_scan:could not read device public memory");
}

} // namespace
} // namespace zr40nn::test
