// Token files when listings fail, run while files are being written, or meet a file that is open
// already; and random sequences of file operations with failures injected into the token.
#include "file_fixture.h"
#include "file_sequence.h"

#include <random>

namespace zr40nn::test {
namespace {

constexpr std::uint8_t kReadObject = 0x04;

class FileSequences : public FileFixture
{
protected:
    DEV_ZR40NN_file_t* written(const char* name, int size)
    {
        DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_create(mUt, name, kText);
        EXPECT_NE(file, nullptr) << mUt->err;
        const Data data(static_cast<std::size_t>(size), static_cast<unsigned char>(name[0]));
        EXPECT_TRUE(file == nullptr || DEV_ZR40NN_file_write(file, data.data(), size) == size) << mUt->err;
        return file;
    }

    // The refresh every program runs: it needs every session closed.
    void refresh()
    {
        ASSERT_EQ(DEV_ZR40NN_session_close(mUt), 0);
        ASSERT_EQ(DEV_ZR40NN_lib_actualize_devices(), 0) << mUt->err;
        ASSERT_EQ(DEV_ZR40NN_session_open(mUt), 0) << mUt->err;
    }
};

// A table read fails part-way: the entries not read may list any sector, so nothing is handed out
// until a listing succeeds.
TEST_F(FileSequences, AFailedListingLeavesNoSectorFree)
{
    start();
    DEV_ZR40NN_file_t* alpha = written("alpha", 100);
    ASSERT_EQ(DEV_ZR40NN_file_flush(alpha, kUserPin, kUser), 0) << mUt->err;
    ASSERT_EQ(sectorsOf(alpha), std::vector<int> { 8 });
    DEV_ZR40NN_file_close(alpha);

    token().failNth(kReadObject, 1, emu::kStatusFrameSyntax);
    EXPECT_EQ(DEV_ZR40NN_fs_get_file_list(mUt), deviceError(emu::kStatusFrameSyntax));
    DEV_ZR40NN_file_t* beta = DEV_ZR40NN_file_create(mUt, "beta", kText);
    ASSERT_NE(beta, nullptr);
    EXPECT_EQ(DEV_ZR40NN_file_write(beta, "b", 1), -1);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_write:there is no enought free memory on device");

    ASSERT_EQ(DEV_ZR40NN_fs_get_file_list(mUt), 0) << mUt->err;
    EXPECT_EQ(DEV_ZR40NN_file_write(beta, "b", 1), 1);
    ASSERT_EQ(DEV_ZR40NN_file_flush(beta, kUserPin, kUser), 0) << mUt->err;
    EXPECT_EQ(sectorsOf(beta), std::vector<int> { 9 });
    DEV_ZR40NN_file_close(beta);
    EXPECT_EQ(readBack("alpha"), Data(100, 'a'));
    EXPECT_EQ(readBack("beta"), Data(1, 'b'));
}

// A refresh while a file is being written: the sectors its handle took stay its own.
TEST_F(FileSequences, ARefreshKeepsTheSectorsOfOpenHandles)
{
    start();
    DEV_ZR40NN_file_t* one = written("one", 200);
    ASSERT_EQ(sectorsOf(one), (std::vector<int> { 8, 9 }));
    refresh();
    DEV_ZR40NN_file_t* two = written("two", 200);
    EXPECT_EQ(sectorsOf(two), (std::vector<int> { 10, 11 }));
    ASSERT_EQ(DEV_ZR40NN_file_flush(two, kUserPin, kUser), 0) << mUt->err;
    ASSERT_EQ(DEV_ZR40NN_file_flush(one, kUserPin, kUser), 0) << mUt->err;
    DEV_ZR40NN_file_close(one);
    DEV_ZR40NN_file_close(two);
    refresh();
    EXPECT_EQ(readBack("one"), Data(200, 'o'));
    EXPECT_EQ(readBack("two"), Data(200, 't'));
    EXPECT_EQ(std::count(mUt->free_sectors, mUt->free_sectors + 128, 0), 8 + 4);
}

// Deleting through one handle while another holds the file would free sectors the other lists.
TEST_F(FileSequences, AFileIsOpenThroughOneHandleAtATime)
{
    start();
    DEV_ZR40NN_file_t* doc = written("doc", 300);
    EXPECT_EQ(DEV_ZR40NN_file_create(mUt, "doc", kText), nullptr);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_create:file is already open");
    ASSERT_EQ(DEV_ZR40NN_file_flush(doc, kUserPin, kUser), 0) << mUt->err;
    EXPECT_EQ(DEV_ZR40NN_file_open(mUt, "doc"), nullptr);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_open:file is already open");
    DEV_ZR40NN_file_t* other = written("other", 10);
    EXPECT_EQ(DEV_ZR40NN_file_rename(other, "doc", kText), -1) << "the name is stored";
    DEV_ZR40NN_file_close(other);
    // Renamed but not flushed, the handle still holds the stored file.
    ASSERT_EQ(DEV_ZR40NN_file_rename(doc, "renamed", kText), 0);
    EXPECT_EQ(DEV_ZR40NN_file_open(mUt, "doc"), nullptr);
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_open:file is already open");
    DEV_ZR40NN_file_close(doc);

    doc = DEV_ZR40NN_file_open(mUt, "doc");
    ASSERT_NE(doc, nullptr) << mUt->err;
    ASSERT_EQ(DEV_ZR40NN_file_delete(doc, kUserPin, kUser), 0) << mUt->err;
    doc = written("doc", 400);
    ASSERT_EQ(DEV_ZR40NN_file_flush(doc, kUserPin, kUser), 0) << mUt->err;
    DEV_ZR40NN_file_close(doc);
    refresh();
    EXPECT_EQ(readBack("doc"), Data(400, 'd'));
}

// A failed entry write is read back: a lost answer is a flush that took effect, a refusal one that
// did not; only when the read fails too does the handle keep every sector either entry lists.
TEST_F(FileSequences, AFailedEntryWriteIsReadBack)
{
    constexpr std::uint8_t kWriteObject = 0x2E;
    start();
    DEV_ZR40NN_file_t* lost = written("lost", 200); // sectors 8, 9: the entry is the fifth write
    token().failNth(kWriteObject, 5, emu::kStatusNotAllowed, true);
    EXPECT_EQ(DEV_ZR40NN_file_flush(lost, kUserPin, kUser), 0) << mUt->err;
    EXPECT_EQ(lost->flushed, 1);
    DEV_ZR40NN_file_close(lost);

    DEV_ZR40NN_file_t* refused = written("refused", 200); // sectors 10, 11
    token().failNth(kWriteObject, 5, emu::kStatusNotAllowed);
    EXPECT_EQ(DEV_ZR40NN_file_flush(refused, kUserPin, kUser), deviceError(emu::kStatusNotAllowed));
    EXPECT_EQ(lastEntry(), "DEV_ZR40NN_file_flush:could not write file information to device");
    EXPECT_EQ(refused->num, -1) << "the token kept its table";
    DEV_ZR40NN_file_close(refused);
    EXPECT_EQ(std::count(mUt->free_sectors, mUt->free_sectors + 128, 0), 8 + 2);

    DEV_ZR40NN_file_t* unknown = written("unknown", 200); // sectors 10, 11
    token().failNth(kWriteObject, 5, emu::kStatusNotAllowed);
    token().failNth(kReadObject, 1, emu::kStatusFrameSyntax);
    EXPECT_LT(DEV_ZR40NN_file_flush(unknown, kUserPin, kUser), 0);
    EXPECT_EQ(unknown->num, 1) << "the slot stays the handle's";
    DEV_ZR40NN_file_close(unknown);
    EXPECT_EQ(std::count(mUt->free_sectors, mUt->free_sectors + 128, 0), 8 + 4);
    refresh();
    EXPECT_EQ(std::count(mUt->free_sectors, mUt->free_sectors + 128, 0), 8 + 2);
    EXPECT_EQ(readBack("lost"), Data(200, 'l'));
}

// Random sequences over up to three handles, every step checked against the token's memory.
TEST_F(FileSequences, RandomSequencesWithFailuresNeverShareASector)
{
    std::mt19937 random(20261208);
    for (int run = 0; run < 30; ++run) {
        start();
        std::vector<std::uint8_t> script(150);
        std::generate(script.begin(), script.end(), [&random] { return static_cast<std::uint8_t>(random()); });
        // The refresh itself may meet an injected failure; the session is opened again regardless.
        const SequenceTarget target { mUt, &token(), [this] {
                                         DEV_ZR40NN_session_close(mUt);
                                         DEV_ZR40NN_lib_actualize_devices();
                                         EXPECT_EQ(DEV_ZR40NN_session_open(mUt), 0) << mUt->err;
                                     } };
        const std::string broken = runFileSequence(target, script.data(), script.size());
        ASSERT_EQ(broken, "") << "run " << run;
        DEV_ZR40NN_session_close(mUt);
        unplug(mId);
    }
}

} // namespace
} // namespace zr40nn::test
