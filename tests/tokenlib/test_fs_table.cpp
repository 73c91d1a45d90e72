// The file table against an emulated token: listing blank, full and corrupt tables, wiping the
// memory, and the text dump.
#include "command_fixture.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace zr40nn::test {
namespace {

constexpr const char* kUserPin = "1234";

// One 64-octet table entry as the token stores it.
emu::Bytes tableEntry(int type, int size, const std::string& name, const std::vector<int>& sectors)
{
    emu::Bytes e(64, 0);
    e[0] = static_cast<std::uint8_t>(type);
    e[2] = static_cast<std::uint8_t>(size >> 8);
    e[3] = static_cast<std::uint8_t>(size);
    std::memcpy(e.data() + 4, name.data(), std::min<std::size_t>(name.size(), 28));
    for (std::size_t k = 0; k < sectors.size() && k < 32; ++k) {
        e[32 + k] = static_cast<std::uint8_t>(sectors[k]);
    }
    return e;
}

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

TEST_F(FileTable, BlankMemoryListsSixteenFreeSlotsAndEveryDataSector)
{
    DEV_ZR40NN_t* ut = openToken(configuredToken("BLANK"));
    ASSERT_NE(ut, nullptr);
    ut->file_sizes[3] = 77; // whatever a slot held before, a free slot has size 0

    ASSERT_EQ(DEV_ZR40NN_fs_get_file_list(ut), 0) << ut->err;
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(ut->file_types[i], 0);
        EXPECT_EQ(ut->file_sizes[i], 0);
    }
    EXPECT_EQ(freeSectors(ut), 120);
    const std::vector<emu::LogEntry> reads = log();
    ASSERT_EQ(reads.size(), 16u);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(reads[static_cast<std::size_t>(i)].code, 0x04);
        EXPECT_EQ(reads[static_cast<std::size_t>(i)].object, i);
    }
    EXPECT_EQ(ERROR_count(ut->err), 0);
}

TEST_F(FileTable, FullTableIsCachedEntryByEntry)
{
    // Slot 0: a 4096-octet file in 32 sectors, with a 28-octet name; slots 1..11: eight sectors
    // each, listed backwards; slots 12..15: empty files. Every data sector is taken.
    const std::string longName = "abcdefghijklmnopqrstuvwxyz01";
    std::vector<emu::Bytes> table{tableEntry(0x21, 4096, longName, sectorRange(8, 32))};
    for (int i = 1; i <= 11; ++i) {
        std::vector<int> sectors = sectorRange(40 + 8 * (i - 1), 8);
        std::reverse(sectors.begin(), sectors.end());
        table.push_back(tableEntry(0x41, 900 + i, "file" + std::to_string(i), sectors));
    }
    for (int i = 12; i < 16; ++i) {
        table.push_back(tableEntry(0x71, 0, "empty" + std::to_string(i), {}));
    }
    // A last entry that lists 32 sectors has no terminator in its list: nothing past it is read.
    DEV_ZR40NN_t* ut = openToken(tokenWithTable(table));
    ASSERT_NE(ut, nullptr);

    EXPECT_EQ(ERROR_count(ut->err), 0) << ut->err;
    EXPECT_EQ(ut->file_types[0], 0x21);
    EXPECT_EQ(ut->file_sizes[0], 4096);
    ASSERT_NE(ut->file_names[0], nullptr);
    EXPECT_EQ(std::string(ut->file_names[0]), longName) << "a 28-octet name is still terminated";
    for (int i = 1; i <= 11; ++i) {
        EXPECT_EQ(ut->file_types[i], 0x41);
        EXPECT_EQ(ut->file_sizes[i], 900 + i);
        EXPECT_EQ(std::string(ut->file_names[i]), "file" + std::to_string(i));
    }
    for (int i = 12; i < 16; ++i) {
        EXPECT_EQ(ut->file_types[i], 0x71);
        EXPECT_EQ(ut->file_sizes[i], 0);
    }
    EXPECT_EQ(freeSectors(ut), 0);
    EXPECT_EQ(ut->file_names[5], ut->file_names_tb + 5 * 32);
}

TEST_F(FileTable, CorruptEntriesStayListedButCannotBeOpened)
{
    DEV_ZR40NN_t* ut = openToken(configuredToken("CORRUPT"));
    ASSERT_NE(ut, nullptr);
    const std::vector<emu::Bytes> table{
        tableEntry(0x41, 200, "good", {8, 9}),
        tableEntry(0x41, 5000, "huge", {10}),           // above 4096
        tableEntry(0x41, 300, "short", {11, 12}),       // needs three sectors
        tableEntry(0x41, 100, "table", {3}),            // a sector of the table itself
        tableEntry(0x41, 100, "far", {200}),            // beyond the 128-entry map
        tableEntry(0x41, 200, "twice", {13, 13}),       // one sector listed twice
        tableEntry(0x41, 100, "long", {14, 15}),        // more sectors than the size needs
        tableEntry(0x71, 0, "empty", {}),               // a file of size 0
    };
    for (std::size_t i = 0; i < table.size(); ++i) {
        ASSERT_EQ(DEV_ZR40NN_cmd_write_public_obj(ut, kUserPin, 1, static_cast<int>(i), table[i].data()), 0);
    }

    ASSERT_EQ(DEV_ZR40NN_fs_get_file_list(ut), 0) << ut->err;
    const int expectedSizes[] = {200, -1, -1, -1, -1, -1, -1, 0};
    const char* names[] = {"good", "huge", "short", "table", "far", "twice", "long", "empty"};
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(ut->file_types[i], table[static_cast<std::size_t>(i)][0]);
        EXPECT_EQ(ut->file_sizes[i], expectedSizes[i]);
        ASSERT_NE(ut->file_names[i], nullptr);
        EXPECT_STREQ(ut->file_names[i], names[i]);
    }
    Lines expected;
    for (int slot = 1; slot <= 6; ++slot) {
        expected.push_back("DEV_ZR40NN_fs_get_file_list:file information table entry " + std::to_string(slot)
                           + " is corrupt");
    }
    EXPECT_EQ(entries(ut), expected);

    // Sectors that corrupt entries name inside the data area stay taken; the others are ignored.
    for (int s : {8, 9, 10, 11, 12, 13, 14, 15}) {
        EXPECT_EQ(ut->free_sectors[s], 0) << s;
    }
    EXPECT_EQ(freeSectors(ut), 112);

    for (int i = 1; i <= 6; ++i) {
        EXPECT_EQ(DEV_ZR40NN_file_open(ut, names[i]), nullptr) << names[i];
    }
    DEV_ZR40NN_file_t* good = DEV_ZR40NN_file_open(ut, "good");
    ASSERT_NE(good, nullptr) << ut->err;
    EXPECT_EQ(good->size, 200);
    EXPECT_EQ(DEV_ZR40NN_file_close(good), 0);
}

TEST_F(FileTable, FailedReadEndsTheListing)
{
    DEV_ZR40NN_t* ut = openToken(configuredToken("FAIL"));
    ASSERT_NE(ut, nullptr);
    ut->file_types[5] = 0x41;
    ut->file_sizes[5] = 99;
    token().failCommand(0x04, 6);

    EXPECT_EQ(DEV_ZR40NN_fs_get_file_list(ut), -106);
    EXPECT_EQ(entries(ut), (Lines{"DEV_ZR40NN_single_pass:host receive error frame from device",
                                  "DEV_ZR40NN_cmd_read_public_obj:wrong communication frame syntax",
                                  "DEV_ZR40NN_fs_get_file_list:can not read file information table"}));
    EXPECT_EQ(ut->file_types[5], 0x41);
    EXPECT_EQ(ut->file_sizes[5], 99);
    EXPECT_EQ(freeSectors(ut), 120) << "the map is reset before the first read";
}

TEST_F(FileTable, ClearWritesZerosOverAllTwoHundredFiftySixObjects)
{
    emu::TokenConfig config = tokenWithTable({tableEntry(0x41, 10, "x", {8})});
    std::fill(config.publicMemory.begin() + 64 * 16, config.publicMemory.end(), 0x77);
    config.publicMem = 32768;
    config.publicMemory.resize(32768, 0x55);
    DEV_ZR40NN_t* ut = openToken(config);
    ASSERT_NE(ut, nullptr);
    ASSERT_EQ(ut->file_types[0], 0x41);

    ASSERT_EQ(DEV_ZR40NN_fs_clear(ut, kUserPin, 1), 0) << ut->err;
    const std::vector<emu::LogEntry> writes = log();
    ASSERT_EQ(writes.size(), 256u);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(writes[static_cast<std::size_t>(i)].code, 0x2E);
        EXPECT_EQ(writes[static_cast<std::size_t>(i)].object, i);
        EXPECT_EQ(writes[static_cast<std::size_t>(i)].pin, kUserPin);
    }
    const emu::Bytes memory = token().snapshot().publicMemory;
    EXPECT_TRUE(std::all_of(memory.begin(), memory.begin() + 16384, [](std::uint8_t c) { return c == 0; }));
    EXPECT_EQ(memory[16384], 0x55) << "objects past the file system are not touched";
    EXPECT_EQ(ut->file_types[0], 0x41) << "the cache waits for the next listing";

    ASSERT_EQ(DEV_ZR40NN_fs_get_file_list(ut), 0);
    EXPECT_EQ(ut->file_types[0], 0);
    EXPECT_EQ(freeSectors(ut), 120);

    token().clearLog();
    EXPECT_EQ(DEV_ZR40NN_fs_clear(ut, "0000", 1), -102);
    EXPECT_EQ(log().size(), 1u);
    EXPECT_EQ(entries(ut), (Lines{"DEV_ZR40NN_single_pass:host receive error frame from device",
                                  "DEV_ZR40NN_cmd_write_public_obj:wrong PIN, command not allowed",
                                  "DEV_ZR40NN_fs_clear:could not write to device public memory"}));
}

TEST_F(FileTable, ScanDumpsTheTableThenTheDataSectors)
{
    std::vector<emu::Bytes> table{tableEntry(0x10, 300, "cert.pem", {8, 9, 10}),
                                  tableEntry(0x11, 4, "abcdefghijklmnopqrstuvwxyz01", {127})};
    emu::TokenConfig config = tokenWithTable(table);
    for (int i = 0; i < 128; ++i) {
        config.publicMemory[8 * 128 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    }
    DEV_ZR40NN_t* ut = openToken(config);
    ASSERT_NE(ut, nullptr);
    token().clearLog();

    std::vector<char> out(DEV_ZR40NN_FS_SCAN_SIZE, 'Z');
    ASSERT_EQ(DEV_ZR40NN_fs_scan(ut, out.data()), 0) << ut->err;
    EXPECT_EQ(log().size(), 256u);
    const std::string text(out.data());

    const std::string entry0 = "[0] FILE INFO\n"
                               "\ttype: CERT\n"
                               "\tsize: 300\n"
                               "\tname: cert.pem\n"
                               "\tsectors: 8 9 10\n"
                               "\t\n"
                               "\t:10:00:01:2C:63:65:72:74:2E:70:65:6D:00:00:00:00\n"
                               "\t:00:00:00:00:00:00:00:00:00:00:00:00:00:00:00:00\n"
                               "\t:08:09:0A:00:00:00:00:00:00:00:00:00:00:00:00:00\n"
                               "\t:00:00:00:00:00:00:00:00:00:00:00:00:00:00:00:00\n"
                               "\t\n";
    EXPECT_TRUE(text.starts_with(entry0)) << text.substr(0, entry0.size());
    // A printable certificate is not a plain certificate; a 28-octet name runs into the list.
    const std::string entry1 = "[1] FILE INFO\n"
                               "\ttype: UNKNOWN\n"
                               "\tsize: 4\n"
                               "\tname: abcdefghijklmnopqrstuvwxyz01\n"
                               "\tsectors: 127\n";
    EXPECT_EQ(text.substr(entry0.size(), entry1.size()), entry1);
    EXPECT_NE(text.find("[F] FILE INFO\n\ttype: EMPTY\n\tsize: 0\n\tname: \n\tsectors:\n\t\n\t:00"),
              std::string::npos);
    const std::string sector8 = "[08] SECTOR\n"
                                "\t:00:01:02:03:04:05:06:07:08:09:0A:0B:0C:0D:0E:0F\n"
                                "\t:10:11:12:13:14:15:16:17:18:19:1A:1B:1C:1D:1E:1F\n";
    EXPECT_NE(text.find(sector8), std::string::npos);
    EXPECT_NE(text.find("[7F] SECTOR\n\t:00:00"), std::string::npos);
    EXPECT_TRUE(text.ends_with(":00\n\t\n"));
    // Blocks: two entries as above, fourteen empty ones, 120 sectors of 414 octets each.
    const std::size_t entry1Size = entry1.size() + 3 + 201;
    EXPECT_EQ(text.size(), entry0.size() + entry1Size + 14 * 258 + 120 * 414);
}

TEST_F(FileTable, ScanOfAFullMemoryFillsTheWholeDocumentedSize)
{
    // The longest dump: every entry with a 5-digit size, a 28-octet name and 32 three-digit
    // sector numbers.
    std::vector<emu::Bytes> table;
    for (int i = 0; i < 16; ++i) {
        table.push_back(tableEntry(0x20, 65535, std::string(28, static_cast<char>('A' + i)), sectorRange(200, 32)));
    }
    DEV_ZR40NN_t* ut = openUnrefreshed(tokenWithTable(table));
    ASSERT_NE(ut, nullptr);

    std::vector<char> out(DEV_ZR40NN_FS_SCAN_SIZE, 'Z');
    ASSERT_EQ(DEV_ZR40NN_fs_scan(ut, out.data()), 0) << ut->err;
    EXPECT_EQ(std::strlen(out.data()), static_cast<std::size_t>(DEV_ZR40NN_FS_SCAN_SIZE - 1));

    // A failed read writes nothing.
    std::fill(out.begin(), out.end(), 'Z');
    token().failCommand(0x04, 1);
    EXPECT_EQ(DEV_ZR40NN_fs_scan(ut, out.data()), -101);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](char c) { return c == 'Z'; }));
    EXPECT_EQ(entries(ut).back(), "DEV_ZR40NN_fs_scan:could not read device public memory");
}

} // namespace
} // namespace zr40nn::test
