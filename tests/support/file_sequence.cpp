#include "file_sequence.h"

#include "byte_stream.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <vector>

namespace zr40nn::test {
namespace {

using Data = std::vector<unsigned char>;

constexpr char kPin[] = "1234";
constexpr unsigned char kUserPinId = 1;
constexpr std::uint8_t kReadObject = 0x04;
constexpr std::uint8_t kWriteObject = 0x2E;
constexpr int kHandles = 3;
constexpr std::array<const char*, 4> kNames = { "a", "bb", "ccc", "dddd" };
constexpr const char* kEntryWriteFailed = "DEV_ZR40NN_file_flush:could not write file information to device";

// What the token may hold under one name. After a lost answer the library cannot know whether the
// write landed: such a name may then hold any contents written under it, or nothing, or even
// appear twice.
struct Expectation
{
    bool present = false;
    Data contents;
    bool uncertain = false;
    std::vector<Data> attempts;

    bool allows(const Data& found) const
    {
        return (present && found == contents)
            || (uncertain && std::find(attempts.begin(), attempts.end(), found) != attempts.end());
    }
};

struct Handle
{
    DEV_ZR40NN_file_t* file = nullptr;
    std::string storedName; // the name its table entry carries; empty until stored
};

using Script = ByteStream;

class SequenceRun
{
public:
    explicit SequenceRun(const SequenceTarget& target)
        : mTarget(target)
        , mUt(target.ut)
    {
    }

    ~SequenceRun()
    {
        for (Handle& h : mHandles) {
            DEV_ZR40NN_file_close(h.file);
        }
        mTarget.token->clearFailures();
    }

    std::string run(Script& script)
    {
        while (!script.done()) {
            step(script);
            const std::string broken = check();
            if (!broken.empty()) {
                return broken + "\nafter:\n" + mSteps.str();
            }
        }
        return {};
    }

private:
    void step(Script& script)
    {
        const int op = script.next(12);
        const int index = script.next(kHandles);
        Handle& h = mHandles[static_cast<std::size_t>(index)];
        mSteps << "  [" << index << "]";
        const int arg = script.next(256);
        const char* name = kNames[static_cast<std::size_t>(arg % kNames.size())];
        switch (op) {
        case 0:
            if (h.file == nullptr) {
                h = { DEV_ZR40NN_file_create(mUt, name, 0x40 | (arg & 0x31)), {} };
                log("create", name, h.file != nullptr);
            }
            break;
        case 1:
            if (h.file == nullptr) {
                h = { DEV_ZR40NN_file_open(mUt, name), {} };
                if (h.file != nullptr) {
                    h.storedName = name;
                }
                log("open", name, h.file != nullptr);
            }
            break;
        case 2:
            if (h.file != nullptr) {
                const Data data(static_cast<std::size_t>(1 + arg * 19 % 700), static_cast<unsigned char>(arg));
                log("write", std::to_string(data.size()),
                    DEV_ZR40NN_file_write(h.file, data.data(), int(data.size())) > 0);
            }
            break;
        case 3:
            if (h.file != nullptr) {
                const int pos = arg % 4 == 0 ? -1 : arg % 4 == 1 ? -2 : arg * 13 % 4096;
                log("seek", std::to_string(pos), DEV_ZR40NN_file_set_fpos(h.file, pos) >= 0);
            }
            break;
        case 4:
            if (h.file != nullptr) {
                flush(h);
            }
            break;
        case 5:
            if (h.file != nullptr) {
                log("rename", name, DEV_ZR40NN_file_rename(h.file, name, 0x40) == 0);
            }
            break;
        case 6:
            if (h.file != nullptr) {
                remove(h);
            }
            break;
        case 7:
            if (h.file != nullptr) {
                DEV_ZR40NN_file_close(h.file);
                h = {};
                log("close", "", true);
            }
            break;
        case 8:
            log("listing", "", DEV_ZR40NN_fs_get_file_list(mUt) == 0);
            break;
        case 9:
            mTarget.refresh();
            log("refresh", "", true);
            break;
        case 10:
            mTarget.token->failNth(kWriteObject, 1 + arg % 12, emu::kStatusNotAllowed, (arg & 0x80) != 0);
            log("fail write", std::to_string(1 + arg % 12) + ((arg & 0x80) != 0 ? " after running" : ""), true);
            break;
        default:
            mTarget.token->failNth(kReadObject, 1 + arg % 20, emu::kStatusFrameSyntax);
            log("fail read", std::to_string(1 + arg % 20), true);
            break;
        }
    }

    void flush(Handle& h)
    {
        DEV_ZR40NN_file_t* file = h.file;
        const bool wasFlushed = file->flushed != 0;
        const Data contents(file->contents, file->contents + file->size);
        // The stack fills up over a long run; the flush's own entry must be the last one.
        std::memset(mUt->err, 0, sizeof(mUt->err));
        const int result = DEV_ZR40NN_file_flush(file, kPin, kUserPinId);
        log("flush", file->name, result == 0);
        if (wasFlushed) {
            return;
        }
        if (result == 0) {
            if (!h.storedName.empty() && h.storedName != file->name && !storedElsewhere(h)) {
                mExpected[h.storedName].present = false;
            }
            Expectation& e = mExpected[file->name];
            e.present = true;
            e.contents = contents;
            h.storedName = file->name;
        } else if (lastEntry() == kEntryWriteFailed) {
            Expectation& e = mExpected[file->name];
            e.uncertain = true;
            e.attempts.push_back(contents);
            if (e.present) {
                e.attempts.push_back(e.contents);
            }
            if (!h.storedName.empty()) {
                markUncertain(h.storedName);
            }
        }
    }

    void remove(Handle& h)
    {
        const int result = DEV_ZR40NN_file_delete(h.file, kPin, kUserPinId);
        log("delete", h.storedName, result == 0);
        if (result == 0) {
            if (!h.storedName.empty() && !storedElsewhere(h)) {
                mExpected[h.storedName].present = false;
            }
            h = {};
        } else if (!h.storedName.empty()) {
            markUncertain(h.storedName);
        }
    }

    // Whether another handle's stored file carries `h`'s stored name: after an uncertain write a
    // name may be listed twice.
    bool storedElsewhere(const Handle& h) const
    {
        return std::any_of(mHandles.begin(), mHandles.end(),
                           [&h](const Handle& other) { return &other != &h && other.storedName == h.storedName; });
    }

    void markUncertain(const std::string& name)
    {
        Expectation& e = mExpected[name];
        e.uncertain = true;
        if (e.present) {
            e.attempts.push_back(e.contents);
        }
    }

    std::string lastEntry() const
    {
        std::string stack(mUt->err);
        if (!stack.empty() && stack.back() == '\n') {
            stack.pop_back();
        }
        const std::size_t line = stack.rfind('\n');
        const std::string last = stack.substr(line == std::string::npos ? 0 : line + 1);
        const std::size_t close = last.find("):");
        return close == std::string::npos ? last : last.substr(close + 2);
    }

    std::string check()
    {
        const emu::Bytes memory = mTarget.token->snapshot().publicMemory;
        std::set<int> listed;
        std::map<std::string, int> names;
        for (int slot = 0; slot < DEV_ZR40NN_FILES; ++slot) {
            const std::uint8_t* entry = memory.data() + slot * DEV_ZR40NN_OBJ_SIZE;
            if (entry[0] == 0) {
                continue;
            }
            const int size = entry[2] << 8 | entry[3];
            const std::string name(reinterpret_cast<const char*>(entry + 4),
                                   strnlen(reinterpret_cast<const char*>(entry + 4), 28));
            int count = 0;
            while (count < 32 && entry[32 + count] != 0) {
                ++count;
            }
            if (size > DEV_ZR40NN_FILE_MAX || count != (size + 127) / 128) {
                return "entry " + std::to_string(slot) + " is corrupt";
            }
            Data contents;
            for (int k = 0; k < count; ++k) {
                const int sector = entry[32 + k];
                if (sector < 8 || sector > 127 || !listed.insert(sector).second) {
                    return "sector " + std::to_string(sector) + " of entry " + std::to_string(slot)
                        + " is out of range or shared";
                }
                contents.insert(contents.end(), memory.begin() + sector * 128, memory.begin() + sector * 128 + 128);
            }
            contents.resize(static_cast<std::size_t>(size));
            const auto expected = mExpected.find(name);
            if (expected == mExpected.end() || !expected->second.allows(contents)) {
                return "file \"" + name + "\" in entry " + std::to_string(slot) + " holds what no flush wrote";
            }
            if (++names[name] > 1 && !expected->second.uncertain) {
                return "file \"" + name + "\" is listed twice";
            }
        }
        for (const auto& [name, expected] : mExpected) {
            if (expected.present && !expected.uncertain && names.count(name) == 0) {
                return "file \"" + name + "\" is gone";
            }
        }
        // The library may hand out a sector only when neither the table nor an open handle has it.
        for (int sector = 8; sector < DEV_ZR40NN_SECTORS; ++sector) {
            if (mUt->free_sectors[sector] == 0) {
                continue;
            }
            if (listed.count(sector) != 0) {
                return "sector " + std::to_string(sector) + " is listed by the table but free in the map";
            }
            for (const Handle& h : mHandles) {
                if (h.file != nullptr
                    && std::count(h.file->sectors, h.file->sectors + (h.file->size + 127) / 128, sector) != 0) {
                    return "sector " + std::to_string(sector) + " is held by a handle but free in the map";
                }
            }
        }
        return {};
    }

    void log(const std::string& op, const std::string& arg, bool ok)
    {
        mSteps << ' ' << op << ' ' << arg << (ok ? "" : " -> failed") << '\n';
    }

    const SequenceTarget& mTarget;
    DEV_ZR40NN_t* mUt;
    std::array<Handle, kHandles> mHandles {};
    std::map<std::string, Expectation> mExpected;
    std::ostringstream mSteps;
};

} // namespace

std::string runFileSequence(const SequenceTarget& target, const std::uint8_t* script, std::size_t size)
{
    Script steps(script, size);
    SequenceRun run(target);
    return run.run(steps);
}

} // namespace zr40nn::test
