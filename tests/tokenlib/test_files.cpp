// Token files against an emulated token through the real libusb: sector accounting, names,
// flushing, deleting, and the cases where a flush fails or the token's table and this process's
// cache disagree.
#include "file_fixture.h"

#include <tuple>

namespace zr40nn::test {
namespace {

constexpr int kObject = DEV_ZR40NN_OBJ_SIZE;

Data pattern(int size, int seed)
{
    Data data(static_cast<std::size_t>(size));
    std::generate(data.begin(), data.end(), [i = seed * 31]() mutable { return static_cast<unsigned char>(i += 7); });
    return data;
}

// The contents that table entry `slot` of a memory image lists, read straight from its sectors:
// what any later listing and open would give back.
Data listedContents(const Data& memory, int slot)
{
    const auto e = memory.begin() + slot * kObject;
    Data data;
    for (int k = 0; k < 32 && e[32 + k] != 0; ++k) {
        const auto sector = memory.begin() + e[32 + k] * 2 * kObject;
        data.insert(data.end(), sector, sector + 2 * kObject);
    }
    data.resize(static_cast<std::size_t>(e[2] << 8 | e[3]));
    return data;
}

class FileTest : public FileFixture
{
protected:
    std::size_t frames() { return log().size(); }

    Data memory() { return token().snapshot().publicMemory; } // every test reads it after a write

    DEV_ZR40NN_file_t* createWith(const char* name, const Data& data)
    {
        DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_create(mUt, name, kText);
        EXPECT_NE(file, nullptr) << mUt->err;
        const int n = static_cast<int>(data.size());
        EXPECT_TRUE(file == nullptr || n == 0 || DEV_ZR40NN_file_write(file, data.data(), n) == n) << mUt->err;
        return file;
    }

    // Create, write, flush, close; the handle's sectors are returned.
    Sectors store(const char* name, const Data& data)
    {
        DEV_ZR40NN_file_t* file = createWith(name, data);
        EXPECT_TRUE(file != nullptr && DEV_ZR40NN_file_flush(file, kUserPin, kUser) == 0) << mUt->err;
        const Sectors sectors = file != nullptr ? sectorsOf(file) : Sectors {};
        EXPECT_EQ(DEV_ZR40NN_file_close(file), 0);
        return sectors;
    }
};

TEST_F(FileTest, WritesClaimLowestFreeSectorsAndCloseGivesUnstoredOnesBack)
{
    start();
    const std::size_t afterRefresh = frames();
    ASSERT_EQ(freeSectors(), 120);
    DEV_ZR40NN_file_t* a = DEV_ZR40NN_file_create(mUt, "a", kText);
    DEV_ZR40NN_file_t* b = DEV_ZR40NN_file_create(mUt, "b", kText);
    ASSERT_TRUE(a != nullptr && b != nullptr);
    const Data data = pattern(300, 1);
    EXPECT_EQ(DEV_ZR40NN_file_set_fpos(a, 0), -1) << "an empty file has no position";
    EXPECT_EQ(DEV_ZR40NN_file_write(a, data.data(), 1), 1);
    EXPECT_EQ(DEV_ZR40NN_file_write(a, data.data(), 127), 127); // ends on the sector boundary
    EXPECT_EQ(DEV_ZR40NN_file_write(b, data.data(), 200), 200);
    EXPECT_EQ(DEV_ZR40NN_file_write(a, data.data(), 1), 1);
    EXPECT_EQ(DEV_ZR40NN_file_set_fpos(a, DEV_ZR40NN_ERR_SESSION_OPEN), 0);
    EXPECT_EQ(DEV_ZR40NN_file_write(a, data.data() + 1, 127), 127); // within the size: no sector
    EXPECT_EQ(DEV_ZR40NN_file_write(b, data.data(), 100), 100);
    EXPECT_EQ(sectorsOf(a), (Sectors { 8, 11 }));
    EXPECT_EQ(sectorsOf(b), (Sectors { 9, 10, 12 }));
    EXPECT_EQ(freeSectors(), 115);

    // Reading: the position stays inside 0..size-1, -1 reaches the end.
    unsigned char buf[200] = {};
    EXPECT_EQ(DEV_ZR40NN_file_read(a, buf, 200), 2) << "the write left the position at 127";
    EXPECT_TRUE(buf[0] == data[126] && buf[1] == data[0]) << "what the earlier writes left there";
    EXPECT_EQ(DEV_ZR40NN_file_read(a, buf, 200), 0);
    EXPECT_EQ(DEV_ZR40NN_file_set_fpos(a, 129), -1);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_set_fpos:there is no such position in this file");
    EXPECT_EQ(DEV_ZR40NN_file_set_fpos(a, -1), 129);
    EXPECT_EQ(DEV_ZR40NN_file_read(a, buf, 0), -1);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_read:size have to be positive");

    EXPECT_EQ(DEV_ZR40NN_file_close(a), 0);
    EXPECT_EQ(DEV_ZR40NN_file_close(b), 0);
    EXPECT_EQ(freeSectors(), 120);
    EXPECT_EQ(frames(), afterRefresh) << "nothing reached the token";

    // An opened file gives back only the sectors it added since its entry was stored.
    ASSERT_EQ(store("c", pattern(200, 2)), (Sectors { 8, 9 }));
    DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_open(mUt, "c");
    ASSERT_NE(file, nullptr) << mUt->err;
    EXPECT_EQ(DEV_ZR40NN_file_set_fpos(file, -1), 200);
    EXPECT_EQ(DEV_ZR40NN_file_write(file, data.data(), 100), 100);
    EXPECT_EQ(sectorsOf(file), (Sectors { 8, 9, 10 }));
    EXPECT_EQ(DEV_ZR40NN_file_close(file), 0);
    EXPECT_EQ(freeSectors(), 118);
    EXPECT_EQ(readBack("c"), pattern(200, 2)) << "unflushed changes are lost";
}

TEST_F(FileTest, NamesOf28OctetsFitLongerOnesAndDuplicatesAreRefused)
{
    start();
    const std::size_t afterRefresh = frames();
    const std::string name28(28, 'n');
    const std::string name29(29, 'n');
    EXPECT_EQ(DEV_ZR40NN_file_create(mUt, name29.c_str(), kText), nullptr);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_create:new file name is too long");
    DEV_ZR40NN_file_t* file = createWith("short", { 'a', 'b', 'c' });
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(DEV_ZR40NN_file_rename(file, name29.c_str(), kText), -1);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_rename:new file name is too long");
    // Only the type's low octet is stored, and 0 there would read as a free slot.
    EXPECT_EQ(DEV_ZR40NN_file_rename(file, "short", 0x100), 0);
    EXPECT_EQ(DEV_ZR40NN_file_flush(file, kUserPin, kUser), DEV_ZR40NN_ERR_UNDEFINED);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_flush:file type 0 marks a free entry");
    EXPECT_EQ(frames(), afterRefresh) << "nothing reached the token";
    EXPECT_EQ(DEV_ZR40NN_file_rename(file, name28.c_str(), 0x71), 0);
    ASSERT_EQ(DEV_ZR40NN_file_flush(file, kUserPin, kUser), 0) << mUt->err;
    EXPECT_EQ(DEV_ZR40NN_file_close(file), 0);

    const Data memory = this->memory();
    EXPECT_EQ(Data(memory.begin(), memory.begin() + kObject), tableEntry(0x71, 3, name28, { 8 }));
    ASSERT_EQ(DEV_ZR40NN_fs_get_file_list(mUt), 0);
    EXPECT_EQ(readBack(name28.c_str()), (Data { 'a', 'b', 'c' }));
    EXPECT_EQ(DEV_ZR40NN_file_create(mUt, name28.c_str(), kText), nullptr);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_create:there exist file with that name");
    file = DEV_ZR40NN_file_create(mUt, "other", kText);
    EXPECT_EQ(DEV_ZR40NN_file_rename(file, name28.c_str(), kText), -1);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_rename:there exist file with that name");
    EXPECT_EQ(DEV_ZR40NN_file_close(file), 0);
}

TEST_F(FileTest, OddTypesAreStoredAndListedAsGiven)
{
    start();
    const int types[] = { 0x41, 0x01 };
    for (int type : types) {
        const std::string name = "type-" + std::to_string(type);
        DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_create(mUt, name.c_str(), type);
        ASSERT_NE(file, nullptr) << mUt->err;
        ASSERT_EQ(DEV_ZR40NN_file_write(file, "odd", 3), 3);
        ASSERT_EQ(DEV_ZR40NN_file_flush(file, kUserPin, kUser), 0) << mUt->err;
        EXPECT_EQ(mUt->file_types[file->num], type) << "cache after the flush";
        EXPECT_EQ(memory()[static_cast<std::size_t>(file->num * kObject)], type) << "entry on the token";
        EXPECT_EQ(DEV_ZR40NN_file_close(file), 0);
    }
    ASSERT_EQ(DEV_ZR40NN_fs_get_file_list(mUt), 0) << mUt->err;
    EXPECT_TRUE(mUt->file_types[0] == types[0] && mUt->file_types[1] == types[1]) << "cache after a listing";
    DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_open(mUt, "type-1");
    ASSERT_NE(file, nullptr) << mUt->err;
    EXPECT_EQ(DEV_ZR40NN_file_type(file), 0x01);
    EXPECT_EQ(DEV_ZR40NN_file_close(file), 0);
}

TEST_F(FileTest, FilesCreatedBeforeAFlushEachFindTheirOwnSlot)
{
    start();
    for (int i = 0; i < 14; ++i) {
        store(("f" + std::to_string(i)).c_str(), pattern(1, i));
    }
    // Every one of these saw slot 14 free when it was made. One file is open once at a time.
    std::vector<DEV_ZR40NN_file_t*> files;
    for (const char* name : { "first", "second", "third" }) {
        files.push_back(createWith(name, pattern(150, static_cast<int>(files.size()))));
        ASSERT_NE(files.back(), nullptr);
    }
    EXPECT_EQ(DEV_ZR40NN_file_create(mUt, "first", kText), nullptr);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_create:file is already open");
    ASSERT_EQ(DEV_ZR40NN_file_flush(files[0], kUserPin, kUser), 0) << mUt->err;
    ASSERT_EQ(DEV_ZR40NN_file_flush(files[1], kUserPin, kUser), 0) << mUt->err;
    EXPECT_EQ(files[1]->num, 15);
    const Data before = memory();
    const std::size_t framesBefore = frames();
    EXPECT_EQ(DEV_ZR40NN_file_flush(files[2], kUserPin, kUser), DEV_ZR40NN_ERR_UNDEFINED);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_flush:there is no free slot in file information table");
    // The refused handle never held a slot: deleting it writes nothing and gives its sectors back.
    EXPECT_EQ(DEV_ZR40NN_file_delete(files[2], kUserPin, kUser), 0);
    EXPECT_EQ(frames(), framesBefore);
    EXPECT_EQ(memory(), before);
    EXPECT_EQ(DEV_ZR40NN_file_close(files[0]), 0);
    EXPECT_EQ(DEV_ZR40NN_file_close(files[1]), 0);
    EXPECT_EQ(freeSectors(), 120 - 14 - 4);
    ASSERT_EQ(DEV_ZR40NN_fs_get_file_list(mUt), 0);
    EXPECT_EQ(readBack("first"), pattern(150, 0));
    EXPECT_EQ(readBack("second"), pattern(150, 1));
}

TEST_F(FileTest, FlushWritesChangedFilesIntoFreshSectorsAndDeleteClearsOnlyTheEntry)
{
    start();
    store("doc", pattern(300, 20)); // sectors 8, 9, 10
    store("next", pattern(10, 21)); // sector 11
    DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_open(mUt, "doc");
    ASSERT_NE(file, nullptr) << mUt->err;
    std::size_t before = frames();
    EXPECT_EQ(DEV_ZR40NN_file_flush(file, kUserPin, kUser), 0);
    EXPECT_EQ(frames(), before) << "an unchanged file is not written";

    const Data second = pattern(400, 22);
    ASSERT_EQ(DEV_ZR40NN_file_write(file, second.data(), 400), 400); // grows into sector 12
    ASSERT_EQ(DEV_ZR40NN_fs_get_file_list(mUt), 0); // which a listing reads as free again
    const Data image = memory();
    token().failCommand(0x2E, emu::kStatusNotAllowed);
    EXPECT_EQ(DEV_ZR40NN_file_flush(file, kUserPin, kUser), deviceError(emu::kStatusNotAllowed));
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_flush:could not write file contents to device");
    EXPECT_EQ(memory(), image);
    EXPECT_EQ(freeSectors(), 115) << "the fresh sectors went back";
    token().clearFailures();

    before = frames();
    ASSERT_EQ(DEV_ZR40NN_file_flush(file, kUserPin, kUser), 0) << mUt->err;
    EXPECT_EQ(frames(), before + 9) << "four sectors and the entry";
    EXPECT_EQ(sectorsOf(file), (Sectors { 13, 14, 15, 12 }));
    EXPECT_EQ(freeSectors(), 115);
    EXPECT_TRUE(mUt->free_sectors[8] == 8 && mUt->free_sectors[9] == 9 && mUt->free_sectors[10] == 10);
    EXPECT_EQ(DEV_ZR40NN_file_flush(file, kUserPin, kUser), 0);
    EXPECT_EQ(frames(), before + 9);
    EXPECT_EQ(DEV_ZR40NN_file_close(file), 0);
    ASSERT_EQ(DEV_ZR40NN_fs_get_file_list(mUt), 0);
    EXPECT_EQ(readBack("doc"), second);

    Data expected = memory();
    std::fill_n(expected.begin(), kObject, 0);
    file = DEV_ZR40NN_file_open(mUt, "doc");
    ASSERT_EQ(DEV_ZR40NN_file_delete(file, kUserPin, kUser), 0) << mUt->err;
    EXPECT_EQ(memory(), expected) << "only the entry is cleared";
    EXPECT_TRUE(mUt->file_types[0] == 0 && mUt->file_names[0] == nullptr);
    EXPECT_EQ(freeSectors(), 119);
    EXPECT_EQ(DEV_ZR40NN_file_open(mUt, "doc"), nullptr);
    EXPECT_EQ(readBack("next"), pattern(10, 21));
}

// The token vanishes part-way through a flush: the table it keeps lists what it listed before, and
// every listed file still reads back whole.
TEST_F(FileTest, FlushCutOffPartWayLeavesEveryListedFileWhole)
{
    // A new file whose data all went out but not its entry; a rewrite cut in its data, and before its entry.
    const std::string contents = "could not write file contents to device";
    const std::string information = "could not write file information to device";
    for (const auto& [rewrite, more, failure] : std::vector<std::tuple<bool, int, std::string>> {
             { false, 8, information }, { true, 4, contents }, { true, 8, information } }) {
        SCOPED_TRACE(std::string(rewrite ? "rewrite" : "new file") + " cut after " + std::to_string(more));
        start();
        const Data old = pattern(300, more);
        store("old", old);
        DEV_ZR40NN_file_t* file = rewrite ? DEV_ZR40NN_file_open(mUt, "old") : createWith("new", {});
        ASSERT_NE(file, nullptr) << mUt->err;
        ASSERT_EQ(DEV_ZR40NN_file_write(file, pattern(400, 99).data(), 400), 400);
        const Data before = memory();

        emu::BridgeFaults faults; // the token takes this many more frames, then leaves the bus
        faults.unplugAfterFrames = static_cast<int>(frames()) + more;
        bus().setFaults(mId, faults);
        std::erase(mPlugged, mId);
        EXPECT_LT(DEV_ZR40NN_file_flush(file, kUserPin, kUser), 0);
        EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_flush:" + failure);
        const Data after = memory();
        EXPECT_TRUE(std::equal(after.begin(), after.begin() + 16 * kObject, before.begin())) << "table unchanged";
        EXPECT_EQ(listedContents(after, 0), old);
        // Without the answer to the entry write, the token may hold the new entry: the cache takes
        // it as written, and every sector either version lists stays taken until the next
        // listing. Sectors no entry can list go back.
        const bool uncertain = failure == information;
        const int slot = rewrite ? 0 : 1;
        EXPECT_EQ(mUt->file_sizes[slot], uncertain ? 400 : 300);
        EXPECT_EQ(mUt->file_types[1] != 0, uncertain && !rewrite);
        EXPECT_EQ(DEV_ZR40NN_file_close(file), 0);
        EXPECT_EQ(freeSectors(), uncertain ? 113 : 117);
    }
}

TEST_F(FileTest, OpenRefusesEntriesThatNoLongerDescribeTheListedFile)
{
    start();
    for (const char* name : { "deleted", "replaced", "broken", "short", "fine" }) {
        store(name, pattern(3, 0)); // sectors 8 to 12
    }
    // Another program rewrites entries: one before our next listing, the others after it.
    const auto writeElsewhere = [this](int slot, const Data& e) {
        emu::Bytes request { 0x00, 0x2E, kUser, '1', '2', '3', '4', 0, 0, 0, 0, 0, static_cast<unsigned char>(slot) };
        request.insert(request.end(), e.begin(), e.end());
        ASSERT_EQ(token().process(request), emu::Bytes { 0x00 });
    };
    writeElsewhere(3, tableEntry(kText, 300, "short", { 11 }));
    ASSERT_EQ(DEV_ZR40NN_fs_get_file_list(mUt), 0);
    writeElsewhere(0, Data(kObject, 0));
    writeElsewhere(1, tableEntry(kText, 3, "intruder", { 9 }));
    writeElsewhere(2, tableEntry(kText, 3, "broken", { 5 }));

    const std::string changed = "file was changed or deleted by another program, read the file list again";
    const std::string corrupt = "file information table entry is corrupt";
    for (const auto& [name, message] : std::vector<std::pair<const char*, std::string>> {
             { "deleted", changed }, { "replaced", changed }, { "broken", corrupt }, { "short", corrupt } }) {
        const std::size_t before = frames();
        EXPECT_EQ(DEV_ZR40NN_file_open(mUt, name), nullptr) << name;
        EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_open:" + message) << name;
        EXPECT_EQ(frames(), before + 1) << name << ": only the entry was read";
    }
    EXPECT_EQ(readBack("fine"), pattern(3, 0));
}

TEST_F(FileTest, SixteenFilesOfMixedSizesFillTheMemoryAndComeBack)
{
    start();
    DEV_ZR40NN_file_t* file = createWith("big", pattern(4096, 8)); // takes 32 sectors
    EXPECT_EQ(DEV_ZR40NN_file_write(file, "x", 1), -1);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_write:too much data to write");
    EXPECT_TRUE(file->size == 4096 && freeSectors() == 88);
    EXPECT_EQ(DEV_ZR40NN_file_close(file), 0);
    std::vector<int> sizes = { 0, 1, 64, 127, 128, 129, 300, 1000, 4096, 2048, 777, 640, 1500, 999, 2, 2700 };
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        store(("file-" + std::to_string(i)).c_str(), pattern(sizes[i], static_cast<int>(i)));
    }
    EXPECT_EQ(freeSectors(), 0);
    EXPECT_EQ(DEV_ZR40NN_file_create(mUt, "seventeenth", kText), nullptr);
    file = DEV_ZR40NN_file_open(mUt, "file-1"); // one octet in one sector
    ASSERT_NE(file, nullptr) << mUt->err;
    EXPECT_EQ(DEV_ZR40NN_file_set_fpos(file, -1), 1);
    EXPECT_EQ(DEV_ZR40NN_file_write(file, pattern(128, 0).data(), 128), -1);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_write:there is no enought free memory on device");
    EXPECT_TRUE(file->size == 1 && file->fpos == 1 && sectorsOf(file).size() == 1);
    EXPECT_EQ(DEV_ZR40NN_file_write(file, pattern(128, 1).data() + 1, 127), 127) << "fills its own sector";
    // A stored file is never rewritten in place, where a failure would mix old and new contents.
    EXPECT_EQ(DEV_ZR40NN_file_flush(file, kUserPin, kUser), DEV_ZR40NN_ERR_UNDEFINED);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_flush:there is no enought free memory on device");
    EXPECT_EQ(DEV_ZR40NN_file_close(file), 0);

    reopenSession();
    ASSERT_EQ(DEV_ZR40NN_fs_get_file_list(mUt), 0) << mUt->err;
    EXPECT_EQ(freeSectors(), 0);
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::string name = "file-" + std::to_string(i);
        EXPECT_EQ(mUt->file_sizes[i], sizes[i]);
        EXPECT_EQ(readBack(name.c_str()), pattern(sizes[i], static_cast<int>(i))) << name;
    }
}

} // namespace
} // namespace zr40nn::test
