// Text dump of the whole file-system memory: the 16 table entries, then the 120 data sectors.
#include "errors/error_entry.h"
#include "files/fs_entry.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

using zr40nn::kFirstDataSector;
using zr40nn::kFsObjects;

using MemoryImage = std::array<unsigned char, kFsObjects * DEV_ZR40NN_OBJ_SIZE>;

void appendf(std::string& out, const char* format, int value)
{
    char buf[16];
    const int n = std::snprintf(buf, sizeof(buf), format, value);
    out.append(buf, static_cast<std::size_t>(n));
}

// Octets as ":XX", a new indented line after every 16th, then a final newline.
void appendHex(std::string& out, const unsigned char* data, int n)
{
    for (int i = 0; i < n; ++i) {
        appendf(out, ":%02X", data[i]);
        if ((i + 1) % 16 == 0) {
            out += "\n\t";
        }
    }
    out += '\n';
}

void appendEntry(std::string& out, int n, const unsigned char* raw)
{
    const zr40nn::FileEntry e = zr40nn::parseFileEntry(raw);
    appendf(out, "[%01X] FILE INFO\n", n);
    out += e.type == 0                              ? "\ttype: EMPTY\n"
        : e.type == zr40nn::protocol::kFileTypeCert ? "\ttype: CERT\n"
                                                    : "\ttype: UNKNOWN\n";
    appendf(out, "\tsize: %d\n", e.size);
    out += "\tname: ";
    out += e.name.data();
    out += "\n\tsectors:";
    for (int k = 0; k < e.sectorCount; ++k) {
        appendf(out, " %d", e.sectors[k]);
    }
    out += "\n\t\n\t";
    appendHex(out, raw, DEV_ZR40NN_OBJ_SIZE);
}

int writeDump(const MemoryImage& image, char* out)
{
    std::string text;
    text.reserve(DEV_ZR40NN_FS_SCAN_SIZE);
    for (int n = 0; n < DEV_ZR40NN_FILES; ++n) {
        appendEntry(text, n, image.data() + n * DEV_ZR40NN_OBJ_SIZE);
    }
    for (int s = kFirstDataSector; s < DEV_ZR40NN_SECTORS; ++s) {
        appendf(text, "[%02X] SECTOR\n\t", s);
        appendHex(text, image.data() + s * DEV_ZR40NN_SECTOR_SIZE, DEV_ZR40NN_SECTOR_SIZE);
    }
    // The layout is fixed, so the text always fits the documented size; the copy is bounded anyway.
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(DEV_ZR40NN_FS_SCAN_SIZE - 1));
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
    return 0;
}

} // namespace

extern "C" {

int DEV_ZR40NN_fs_scan(DEV_ZR40NN_t* ut, char* out)
{
    MemoryImage image {};
    for (int obj = 0; obj < kFsObjects; ++obj) {
        const int result = DEV_ZR40NN_cmd_read_public_obj(ut, obj, image.data() + obj * DEV_ZR40NN_OBJ_SIZE);
        if (result < 0) {
            DEV_ZR40NN_PUSH(ut, __func__, "could not read device public memory");
            return result;
        }
    }

    // The text is built on the heap: nothing reaches `out` unless all of it was made.
    return zr40nn::catchAtBoundary(ut, __func__, DEV_ZR40NN_ERR_UNDEFINED, [&] { return writeDump(image, out); });
}

} // extern "C"
