// Token files against an emulated token through the real libusb: sector accounting, names,
// flushing, deleting, and the cases where the token's table and this process's cache disagree.
#include "command_fixture.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace zr40nn::test {
namespace {

using Data = std::vector<unsigned char>;

constexpr char kPin[] = "1234";
constexpr unsigned char kUser = 1;
constexpr int kText = 0x40;
constexpr int kObject = DEV_ZR40NN_OBJ_SIZE;

Data pattern(int size, int seed)
{
    Data data(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i) {
        data[static_cast<std::size_t>(i)] = static_cast<unsigned char>((i * 7 + seed * 31 + 1) & 0xFF);
    }
    return data;
}

class FileTest : public CommandTest
{
protected:
    // Plugs and lists the token and opens a session. The command log is never cleared here: its
    // length is the number of frames the token has taken, which the unplug fault counts too.
    void start(emu::TokenConfig config = configuredToken("FILES"))
    {
        mUt = plugAndRefresh(config, &mId);
        ASSERT_NE(mUt, nullptr);
        ASSERT_EQ(DEV_ZR40NN_session_open(mUt), 0) << mUt->err;
    }

    int freeSectors() const
    {
        return static_cast<int>(std::count_if(std::begin(mUt->free_sectors), std::end(mUt->free_sectors),
                                              [](unsigned char s) { return s != 0; }));
    }

    static std::vector<int> sectorsOf(const DEV_ZR40NN_file_t* file)
    {
        std::vector<int> list;
        for (int s : file->sectors) {
            if (s == 0) {
                break;
            }
            list.push_back(s);
        }
        return list;
    }

    std::string lastEntry() const
    {
        const Lines lines = entries(mUt);
        return lines.empty() ? std::string() : lines.back();
    }

    std::size_t frames() { return log().size(); }

    // Create, write, flush, close; the handle's sectors are returned.
    std::vector<int> store(const char* name, const Data& data)
    {
        DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_create(mUt, name, kText);
        EXPECT_NE(file, nullptr) << mUt->err;
        if (file == nullptr) {
            return {};
        }
        if (!data.empty()) {
            EXPECT_EQ(DEV_ZR40NN_file_write(file, data.data(), static_cast<int>(data.size())),
                      static_cast<int>(data.size()));
        }
        EXPECT_EQ(DEV_ZR40NN_file_flush(file, kPin, kUser), 0) << mUt->err;
        const std::vector<int> sectors = sectorsOf(file);
        EXPECT_EQ(DEV_ZR40NN_file_close(file), 0);
        return sectors;
    }

    // Opens the file and reads it to the end in 100-octet pieces.
    Data readBack(const char* name)
    {
        DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_open(mUt, name);
        EXPECT_NE(file, nullptr) << mUt->err;
        Data data;
        if (file == nullptr) {
            return data;
        }
        unsigned char chunk[100];
        int n = 0;
        while ((n = DEV_ZR40NN_file_read(file, chunk, sizeof(chunk))) > 0) {
            data.insert(data.end(), chunk, chunk + n);
        }
        EXPECT_EQ(n, 0);
        EXPECT_EQ(DEV_ZR40NN_file_close(file), 0);
        return data;
    }

    Data memory() { return token().snapshot().publicMemory; }

    static Data object(const Data& memory, int obj)
    {
        return Data(memory.begin() + obj * kObject, memory.begin() + (obj + 1) * kObject);
    }

    static Data table(const Data& memory) { return Data(memory.begin(), memory.begin() + 16 * kObject); }

    // Another program writing one object of the token's public memory in its own session.
    void writeElsewhere(int obj, const Data& data)
    {
        emu::Bytes request(11, 0);
        request[1] = 0x2E;
        request[2] = kUser;
        std::memcpy(request.data() + 3, kPin, std::strlen(kPin));
        request.push_back(static_cast<unsigned char>(obj >> 8));
        request.push_back(static_cast<unsigned char>(obj));
        request.insert(request.end(), data.begin(), data.end());
        ASSERT_EQ(token().process(request), emu::Bytes { 0x00 });
    }

    static Data entry(int type, int size, const std::string& name, const std::vector<int>& sectors)
    {
        Data e(kObject, 0);
        e[0] = static_cast<unsigned char>(type);
        e[2] = static_cast<unsigned char>(size >> 8);
        e[3] = static_cast<unsigned char>(size);
        std::copy(name.begin(), name.end(), e.begin() + 4);
        for (std::size_t k = 0; k < sectors.size(); ++k) {
            e[32 + k] = static_cast<unsigned char>(sectors[k]);
        }
        return e;
    }

    // The token vanishes once it has taken `more` further frames.
    void unplugAfter(int more)
    {
        emu::BridgeFaults faults;
        faults.unplugAfterFrames = static_cast<int>(frames()) + more;
        bus().setFaults(mId, faults);
        std::erase(mPlugged, mId); // it unplugs itself
    }
};

TEST_F(FileTest, WritesClaimLowestFreeSectorsAndCloseGivesUnstoredOnesBack)
{
    start();
    ASSERT_EQ(freeSectors(), 120);
    DEV_ZR40NN_file_t* a = DEV_ZR40NN_file_create(mUt, "a", kText);
    DEV_ZR40NN_file_t* b = DEV_ZR40NN_file_create(mUt, "b", kText);
    ASSERT_TRUE(a != nullptr && b != nullptr);
    const Data data = pattern(300, 1);

    EXPECT_EQ(DEV_ZR40NN_file_write(a, data.data(), 1), 1);
    EXPECT_EQ(DEV_ZR40NN_file_write(a, data.data(), 127), 127); // ends on the sector boundary
    EXPECT_EQ(sectorsOf(a), (std::vector<int> { 8 }));
    EXPECT_EQ(DEV_ZR40NN_file_write(b, data.data(), 200), 200);
    EXPECT_EQ(DEV_ZR40NN_file_write(a, data.data(), 1), 1);
    EXPECT_EQ(DEV_ZR40NN_file_set_fpos(a, -2), 0);
    EXPECT_EQ(DEV_ZR40NN_file_write(a, data.data(), 129), 129); // within the size: no sector
    EXPECT_EQ(DEV_ZR40NN_file_write(b, data.data(), 100), 100);
    EXPECT_EQ(sectorsOf(a), (std::vector<int> { 8, 11 }));
    EXPECT_EQ(sectorsOf(b), (std::vector<int> { 9, 10, 12 }));
    EXPECT_EQ(a->fpos, 129);
    EXPECT_EQ(freeSectors(), 115);
    for (int s : { 8, 9, 10, 11, 12 }) {
        EXPECT_EQ(mUt->free_sectors[s], 0) << s;
    }

    EXPECT_EQ(DEV_ZR40NN_file_close(a), 0);
    EXPECT_EQ(freeSectors(), 117);
    EXPECT_EQ(mUt->free_sectors[11], 11);
    EXPECT_EQ(DEV_ZR40NN_file_close(b), 0);
    EXPECT_EQ(freeSectors(), 120);
    EXPECT_EQ(frames(), 21u) << "nothing but the refresh reached the token";
}

TEST_F(FileTest, ClosingAnOpenedFileGivesBackOnlyTheSectorsItAdded)
{
    start();
    const std::vector<int> stored = store("a", pattern(200, 2));
    ASSERT_EQ(stored, (std::vector<int> { 8, 9 }));
    ASSERT_EQ(freeSectors(), 118);

    DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_open(mUt, "a");
    ASSERT_NE(file, nullptr) << mUt->err;
    EXPECT_EQ(DEV_ZR40NN_file_write(file, pattern(100, 3).data(), 100), 100);
    EXPECT_EQ(DEV_ZR40NN_file_close(file), 0);
    EXPECT_EQ(freeSectors(), 118);

    file = DEV_ZR40NN_file_open(mUt, "a");
    ASSERT_NE(file, nullptr) << mUt->err;
    EXPECT_EQ(DEV_ZR40NN_file_set_fpos(file, -1), 200);
    EXPECT_EQ(DEV_ZR40NN_file_write(file, pattern(100, 3).data(), 100), 100);
    EXPECT_EQ(sectorsOf(file), (std::vector<int> { 8, 9, 10 }));
    EXPECT_EQ(DEV_ZR40NN_file_close(file), 0);
    EXPECT_EQ(freeSectors(), 118);
    EXPECT_EQ(mUt->free_sectors[10], 10);
    EXPECT_EQ(readBack("a"), pattern(200, 2)) << "unflushed changes are lost";
}

TEST_F(FileTest, SizeLimitAndFreeMemoryRefusalsChangeNothing)
{
    start();
    const Data big = pattern(DEV_ZR40NN_FILE_MAX + 1, 4);
    DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_create(mUt, "big", kText);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(DEV_ZR40NN_file_write(file, big.data(), 4096), 4096);
    EXPECT_EQ(sectorsOf(file).size(), 32u);
    EXPECT_EQ(DEV_ZR40NN_file_write(file, big.data(), 1), -1);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_write:too much data to write");
    EXPECT_EQ(file->size, 4096);
    EXPECT_EQ(file->fpos, 4096);
    EXPECT_EQ(freeSectors(), 88);
    ASSERT_EQ(DEV_ZR40NN_file_flush(file, kPin, kUser), 0) << mUt->err;
    EXPECT_EQ(DEV_ZR40NN_file_close(file), 0);
    EXPECT_EQ(readBack("big"), Data(big.begin(), big.begin() + 4096));

    DEV_ZR40NN_file_t* refused = DEV_ZR40NN_file_create(mUt, "over", kText);
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(DEV_ZR40NN_file_write(refused, big.data(), 4097), -1);
    EXPECT_EQ(refused->size, 0);

    // 88 sectors are left: two files take 64, then 24 sectors plus one octet are too much.
    store("b", pattern(4096, 5));
    store("c", pattern(4096, 6));
    ASSERT_EQ(freeSectors(), 24);
    EXPECT_EQ(DEV_ZR40NN_file_write(refused, big.data(), 24 * 128 + 1), -1);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_write:there is no enought free memory on device");
    EXPECT_EQ(refused->size, 0);
    EXPECT_EQ(refused->fpos, 0);
    EXPECT_EQ(freeSectors(), 24);
    EXPECT_EQ(DEV_ZR40NN_file_write(refused, big.data(), 24 * 128), 24 * 128);
    EXPECT_EQ(freeSectors(), 0);
    EXPECT_EQ(DEV_ZR40NN_file_close(refused), 0);
    EXPECT_EQ(freeSectors(), 24);
}

TEST_F(FileTest, ReadAndPositionStayWithinTheFile)
{
    start();
    DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_create(mUt, "pos", kText);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(DEV_ZR40NN_file_set_fpos(file, 0), -1) << "an empty file has no position";
    const Data data = pattern(10, 7);
    ASSERT_EQ(DEV_ZR40NN_file_write(file, data.data(), 10), 10);
    unsigned char buf[16] = {};
    EXPECT_EQ(DEV_ZR40NN_file_read(file, buf, 16), 0) << "the write left the position at the end";
    EXPECT_EQ(DEV_ZR40NN_file_set_fpos(file, 10), -1);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_set_fpos:there is no such position in this file");
    EXPECT_EQ(DEV_ZR40NN_file_set_fpos(file, 7), 7);
    EXPECT_EQ(DEV_ZR40NN_file_read(file, buf, 16), 3);
    EXPECT_TRUE(std::equal(buf, buf + 3, data.begin() + 7));
    EXPECT_EQ(DEV_ZR40NN_file_read(file, buf, 0), -1);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_read:size have to be positive");
    EXPECT_EQ(DEV_ZR40NN_file_close(file), 0);
}

TEST_F(FileTest, NamesOf28OctetsFitAndLongerOnesAreRefused)
{
    start();
    const std::string name28(28, 'n');
    const std::string name29(29, 'n');
    EXPECT_EQ(DEV_ZR40NN_file_create(mUt, name29.c_str(), kText), nullptr);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_create:new file name is too long");

    DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_create(mUt, "short", kText);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(DEV_ZR40NN_file_rename(file, name29.c_str(), kText), -1);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_rename:new file name is too long");
    EXPECT_STREQ(file->name, "short");
    EXPECT_EQ(DEV_ZR40NN_file_rename(file, name28.c_str(), 0x71), 0);
    ASSERT_EQ(DEV_ZR40NN_file_write(file, "abc", 3), 3);
    ASSERT_EQ(DEV_ZR40NN_file_flush(file, kPin, kUser), 0) << mUt->err;
    EXPECT_EQ(DEV_ZR40NN_file_close(file), 0);

    const Data entry = object(memory(), 0);
    EXPECT_EQ(std::string(entry.begin() + 4, entry.begin() + 32), name28);
    EXPECT_EQ(entry[32], 8) << "the sector list follows the name without a terminator";
    ASSERT_EQ(DEV_ZR40NN_fs_get_file_list(mUt), 0);
    EXPECT_STREQ(mUt->file_names[0], name28.c_str());
    EXPECT_EQ(mUt->file_types[0], 0x71);
    EXPECT_EQ(readBack(name28.c_str()), (Data { 'a', 'b', 'c' }));
    EXPECT_EQ(DEV_ZR40NN_file_create(mUt, name28.c_str(), kText), nullptr);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_create:there exist file with that name");
    DEV_ZR40NN_file_t* other = DEV_ZR40NN_file_create(mUt, "other", kText);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(DEV_ZR40NN_file_rename(other, name28.c_str(), kText), -1);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_rename:there exist file with that name");
    EXPECT_EQ(DEV_ZR40NN_file_close(other), 0);
}

TEST_F(FileTest, FlushOfAnUnchangedFileSendsNothing)
{
    start();
    store("a", pattern(300, 8));
    DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_open(mUt, "a");
    ASSERT_NE(file, nullptr) << mUt->err;
    const std::size_t before = frames();
    EXPECT_EQ(DEV_ZR40NN_file_flush(file, kPin, kUser), 0);
    EXPECT_EQ(frames(), before);

    ASSERT_EQ(DEV_ZR40NN_file_write(file, "x", 1), 1);
    EXPECT_EQ(DEV_ZR40NN_file_flush(file, kPin, kUser), 0);
    EXPECT_EQ(frames(), before + 7) << "three sectors and the entry";
    EXPECT_EQ(DEV_ZR40NN_file_flush(file, kPin, kUser), 0);
    EXPECT_EQ(frames(), before + 7);
    EXPECT_EQ(DEV_ZR40NN_file_close(file), 0);
}

TEST_F(FileTest, DeleteClearsOnlyTheEntry)
{
    start();
    const Data data = pattern(200, 9);
    const std::vector<int> sectors = store("gone", data);
    store("kept", pattern(10, 10));
    DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_open(mUt, "gone");
    ASSERT_NE(file, nullptr) << mUt->err;
    ASSERT_EQ(DEV_ZR40NN_file_delete(file, kPin, kUser), 0) << mUt->err;

    const Data after = memory();
    EXPECT_EQ(object(after, 0), Data(kObject, 0));
    Data stillThere;
    for (int obj : { 2 * sectors[0], 2 * sectors[0] + 1, 2 * sectors[1], 2 * sectors[1] + 1 }) {
        const Data more = object(after, obj);
        stillThere.insert(stillThere.end(), more.begin(), more.end());
    }
    EXPECT_TRUE(std::equal(data.begin(), data.end(), stillThere.begin()));
    EXPECT_EQ(mUt->file_types[0], 0);
    EXPECT_EQ(mUt->file_names[0], nullptr);
    EXPECT_EQ(mUt->free_sectors[sectors[0]], sectors[0]);
    EXPECT_EQ(mUt->free_sectors[sectors[1]], sectors[1]);
    EXPECT_EQ(freeSectors(), 119);
    EXPECT_EQ(DEV_ZR40NN_file_open(mUt, "gone"), nullptr);
    EXPECT_EQ(readBack("kept"), pattern(10, 10));
}

TEST_F(FileTest, SecondCreateOfTheSameSlotMovesToTheNextFreeSlot)
{
    start();
    DEV_ZR40NN_file_t* first = DEV_ZR40NN_file_create(mUt, "first", kText);
    DEV_ZR40NN_file_t* second = DEV_ZR40NN_file_create(mUt, "second", kText);
    ASSERT_TRUE(first != nullptr && second != nullptr);
    EXPECT_EQ(first->num, second->num);
    ASSERT_EQ(DEV_ZR40NN_file_write(first, pattern(150, 11).data(), 150), 150);
    ASSERT_EQ(DEV_ZR40NN_file_write(second, pattern(90, 12).data(), 90), 90);
    ASSERT_EQ(DEV_ZR40NN_file_flush(first, kPin, kUser), 0) << mUt->err;
    ASSERT_EQ(DEV_ZR40NN_file_flush(second, kPin, kUser), 0) << mUt->err;
    EXPECT_EQ(second->num, 1);
    EXPECT_EQ(DEV_ZR40NN_file_close(first), 0);
    EXPECT_EQ(DEV_ZR40NN_file_close(second), 0);

    ASSERT_EQ(DEV_ZR40NN_fs_get_file_list(mUt), 0);
    EXPECT_STREQ(mUt->file_names[0], "first");
    EXPECT_STREQ(mUt->file_names[1], "second");
    EXPECT_EQ(freeSectors(), 117);
    EXPECT_EQ(readBack("first"), pattern(150, 11));
    EXPECT_EQ(readBack("second"), pattern(90, 12));
}

TEST_F(FileTest, SecondCreateFailsWhenItsNameOrTheLastSlotWasTaken)
{
    start();
    for (int i = 0; i < 15; ++i) {
        store(("f" + std::to_string(i)).c_str(), pattern(1, i));
    }
    DEV_ZR40NN_file_t* same1 = DEV_ZR40NN_file_create(mUt, "same", kText);
    DEV_ZR40NN_file_t* same2 = DEV_ZR40NN_file_create(mUt, "same", kText);
    DEV_ZR40NN_file_t* other = DEV_ZR40NN_file_create(mUt, "other", kText);
    ASSERT_TRUE(same1 != nullptr && same2 != nullptr && other != nullptr);
    ASSERT_EQ(DEV_ZR40NN_file_write(same1, "one", 3), 3);
    ASSERT_EQ(DEV_ZR40NN_file_write(same2, "two", 3), 3);
    ASSERT_EQ(DEV_ZR40NN_file_write(other, "three", 5), 5);
    ASSERT_EQ(DEV_ZR40NN_file_flush(same1, kPin, kUser), 0) << mUt->err;
    const Data before = memory();
    const std::size_t framesBefore = frames();

    EXPECT_EQ(DEV_ZR40NN_file_flush(same2, kPin, kUser), DEV_ZR40NN_ERR_UNDEFINED);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_flush:there exist file with that name");
    EXPECT_EQ(DEV_ZR40NN_file_flush(other, kPin, kUser), DEV_ZR40NN_ERR_UNDEFINED);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_flush:there is no free slot in file information table");
    EXPECT_EQ(frames(), framesBefore);
    EXPECT_EQ(memory(), before);

    // The refused handle never held the slot: deleting it leaves the stored file alone.
    EXPECT_EQ(DEV_ZR40NN_file_delete(same2, kPin, kUser), 0);
    EXPECT_EQ(DEV_ZR40NN_file_close(other), 0);
    EXPECT_EQ(DEV_ZR40NN_file_close(same1), 0);
    EXPECT_EQ(freeSectors(), 120 - 16);
    EXPECT_EQ(frames(), framesBefore);
    EXPECT_EQ(readBack("same"), (Data { 'o', 'n', 'e' }));
}

TEST_F(FileTest, FailedFlushLeavesTableAndCacheAsTheyWere)
{
    start();
    store("old", pattern(130, 13));
    DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_create(mUt, "new", kText);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(DEV_ZR40NN_file_write(file, pattern(300, 14).data(), 300), 300);
    const Data before = memory();

    token().failCommand(0x2E, emu::kStatusNotAllowed);
    EXPECT_EQ(DEV_ZR40NN_file_flush(file, kPin, kUser), -101);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_flush:could not write file contents to device");
    EXPECT_EQ(memory(), before);
    EXPECT_EQ(mUt->file_types[1], 0);
    EXPECT_EQ(file->flushed, 0);

    token().clearFailures();
    ASSERT_EQ(DEV_ZR40NN_file_flush(file, kPin, kUser), 0) << mUt->err;
    EXPECT_EQ(DEV_ZR40NN_file_close(file), 0);
    ASSERT_EQ(DEV_ZR40NN_fs_get_file_list(mUt), 0);
    EXPECT_EQ(readBack("new"), pattern(300, 14));
}

TEST_F(FileTest, FlushCutOffBeforeTheEntryLeavesNoTraceInTheTable)
{
    start();
    store("old", pattern(130, 15));
    DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_create(mUt, "new", kText);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(DEV_ZR40NN_file_write(file, pattern(300, 16).data(), 300), 300);
    const Data before = memory();
    const int typesBefore = mUt->file_types[1];

    unplugAfter(6); // every data object goes through, the entry does not
    EXPECT_LT(DEV_ZR40NN_file_flush(file, kPin, kUser), 0);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_flush:could not write file information to device");
    const Data after = memory();
    EXPECT_EQ(table(after), table(before));
    for (int obj = 2 * 8; obj < 2 * 10; ++obj) {
        EXPECT_EQ(object(after, obj), object(before, obj)) << "the old file's sectors are untouched";
    }
    EXPECT_NE(object(after, 2 * 10), object(before, 2 * 10)) << "the new file's data went out first";
    EXPECT_EQ(mUt->file_types[1], typesBefore);
    EXPECT_EQ(mUt->file_sizes[1], 0);
    EXPECT_EQ(DEV_ZR40NN_file_close(file), 0);
    EXPECT_EQ(freeSectors(), 118);
}

TEST_F(FileTest, OpenRefusesAFileChangedOrDeletedElsewhere)
{
    start();
    store("deleted", pattern(200, 17));
    store("replaced", pattern(200, 18));
    store("broken", pattern(200, 19));
    writeElsewhere(0, Data(kObject, 0));
    writeElsewhere(1, entry(kText, 200, "intruder", { 10, 11 }));
    writeElsewhere(2, entry(kText, 200, "broken", { 12, 5 }));

    const std::size_t before = frames();
    EXPECT_EQ(DEV_ZR40NN_file_open(mUt, "deleted"), nullptr);
    EXPECT_EQ(lastEntry(),
              "DEV_ZR40NN_file_open:file was changed or deleted by another program, read the file list again");
    EXPECT_EQ(DEV_ZR40NN_file_open(mUt, "replaced"), nullptr);
    EXPECT_EQ(lastEntry(),
              "DEV_ZR40NN_file_open:file was changed or deleted by another program, read the file list again");
    EXPECT_EQ(DEV_ZR40NN_file_open(mUt, "broken"), nullptr);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_open:file information table entry is corrupt");
    EXPECT_EQ(frames(), before + 3) << "only the entries were read";

    ASSERT_EQ(DEV_ZR40NN_fs_get_file_list(mUt), 0);
    EXPECT_EQ(readBack("intruder"), pattern(200, 18));
}

TEST_F(FileTest, OpenRefusesCorruptEntriesFoundByTheListing)
{
    emu::TokenConfig config = configuredToken("CORRUPT");
    config.publicMemory.assign(16384, 0);
    const auto put = [&config](int slot, const Data& e) {
        std::copy(e.begin(), e.end(), config.publicMemory.begin() + slot * kObject);
    };
    put(0, entry(kText, 300, "short", { 8, 9 }));
    put(1, entry(kText, 10, "table", { 3 }));
    put(2, entry(kText, 5000, "huge", {}));
    put(3, entry(kText, 10, "twice", { 10, 10 }));
    put(4, entry(kText, 3, "fine", { 11 }));
    std::copy_n("abc", 3, config.publicMemory.begin() + 2 * 11 * kObject);
    start(config);

    for (const char* name : { "short", "table", "huge", "twice" }) {
        EXPECT_EQ(DEV_ZR40NN_file_open(mUt, name), nullptr) << name;
        EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_open:file information table entry is corrupt") << name;
    }
    EXPECT_EQ(readBack("fine"), (Data { 'a', 'b', 'c' }));
}

TEST_F(FileTest, SixteenFilesOfMixedSizesFillTheMemoryAndComeBack)
{
    start();
    const std::vector<int> sizes = { 0, 1, 64, 127, 128, 129, 300, 1000, 4096, 2048, 777, 640, 1500, 999, 2, 2700 };
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        store(("file-" + std::to_string(i)).c_str(), pattern(sizes[i], static_cast<int>(i)));
    }
    EXPECT_EQ(freeSectors(), 0);
    EXPECT_EQ(DEV_ZR40NN_file_create(mUt, "seventeenth", kText), nullptr);

    reopenSession();
    ASSERT_EQ(DEV_ZR40NN_fs_get_file_list(mUt), 0) << mUt->err;
    EXPECT_EQ(freeSectors(), 0);
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::string name = "file-" + std::to_string(i);
        EXPECT_EQ(mUt->file_sizes[i], sizes[i]);
        EXPECT_EQ(readBack(name.c_str()), pattern(sizes[i], static_cast<int>(i))) << name;
    }
}

TEST_F(FileTest, TypeZeroWouldReadAsAFreeEntryAndIsRefused)
{
    start();
    EXPECT_EQ(DEV_ZR40NN_file_create(mUt, "zero", 0x100), nullptr);
    DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_create(mUt, "odd", 0x01);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(DEV_ZR40NN_file_write(file, "\x01", 1), 1);
    EXPECT_EQ(DEV_ZR40NN_file_type_set_printable_mask(file), 0);
    EXPECT_EQ(DEV_ZR40NN_file_flush(file, kPin, kUser), DEV_ZR40NN_ERR_UNDEFINED);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_flush:file type 0 marks a free entry");
    EXPECT_EQ(DEV_ZR40NN_file_close(file), 0);
    EXPECT_EQ(freeSectors(), 120);
}

} // namespace
} // namespace zr40nn::test
