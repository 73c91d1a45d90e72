// What token files cost on the wire: exchanges and octets to write files and to read them back,
// beside the least the on-token layout allows (one 64-octet object per 64 octets of data, plus
// the table entry).
//
// Run under umockdev's preload: `umockdev-wrapper zr40nn_file_bench`. Octets are counted at the
// device record's transport, so they are the frames as they cross USB (length octet included).
#include "bench_support.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace zr40nn::bench;

constexpr unsigned char kUserPinId = 1;
constexpr int kText = 0x40;

struct Wire
{
    long exchanges = 0;
    long octets = 0; // both directions
};

Wire gWire;
int (*gWrite)(DEV_ZR40NN_t*, const unsigned char*, int) = nullptr;
int (*gRead)(DEV_ZR40NN_t*, unsigned char*, int, int) = nullptr;

int countingWrite(DEV_ZR40NN_t* ut, const unsigned char* buf, int n)
{
    const int result = gWrite(ut, buf, n);
    if (result >= 0) {
        ++gWire.exchanges;
        gWire.octets += n + 1;
    }
    return result;
}

int countingRead(DEV_ZR40NN_t* ut, unsigned char* buf, int max, int timeoutMs)
{
    const int result = gRead(ut, buf, max, timeoutMs);
    if (result >= 0) {
        gWire.octets += result + 1;
    }
    return result;
}

void countWire(DEV_ZR40NN_t* ut)
{
    gWrite = ut->write;
    gRead = ut->read;
    ut->write = countingWrite;
    ut->read = countingRead;
}

Wire takeWire()
{
    const Wire wire = gWire;
    gWire = {};
    return wire;
}

long minimumExchanges(const std::vector<int>& sizes)
{
    long total = 0;
    for (int size : sizes) {
        total += (size + DEV_ZR40NN_OBJ_SIZE - 1) / DEV_ZR40NN_OBJ_SIZE + 1;
    }
    return total;
}

void report(const std::string& what, const Wire& wire, long minimum)
{
    // Every exchange of one of these runs carries one object, so the least octets scale alike.
    const long minOctets = wire.exchanges > 0 ? wire.octets / wire.exchanges * minimum : 0;
    std::printf("%-46s %5ld exchanges (least %5ld)  %6ld wire octets (least %6ld)\n", what.c_str(), wire.exchanges,
                minimum, wire.octets, minOctets);
}

bool writeFiles(DEV_ZR40NN_t* ut, const std::vector<int>& sizes)
{
    std::vector<char> data(DEV_ZR40NN_FILE_MAX, 'x');
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::string name = "bench-" + std::to_string(i);
        DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_create(ut, name.c_str(), kText);
        if (file == nullptr) {
            return false;
        }
        const bool ok = (sizes[i] == 0 || DEV_ZR40NN_file_write(file, data.data(), sizes[i]) == sizes[i])
            && DEV_ZR40NN_file_flush(file, kUserPin, kUserPinId) == 0;
        DEV_ZR40NN_file_close(file);
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool readFiles(DEV_ZR40NN_t* ut, const std::vector<int>& sizes)
{
    unsigned char buf[DEV_ZR40NN_FILE_MAX];
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::string name = "bench-" + std::to_string(i);
        DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_open(ut, name.c_str());
        if (file == nullptr) {
            return false;
        }
        const int n = sizes[i] > 0 ? DEV_ZR40NN_file_read(file, buf, sizeof(buf)) : 0;
        DEV_ZR40NN_file_close(file);
        if (n != sizes[i]) {
            return false;
        }
    }
    return true;
}

// Writes the files onto a blank token, lists its table afresh and reads them all back.
bool run(EmulatedBus& bus, const std::string& what, const std::vector<int>& sizes)
{
    const int id = bus.plug(usableToken("BENCH-FILES", "FILES"));
    const StartedToken started = startOneToken();
    DEV_ZR40NN_t* ut = started.record;
    bool ok = started.ok && ut != nullptr && DEV_ZR40NN_session_open(ut) == 0;
    if (ok) {
        countWire(ut);
        takeWire();
        ok = writeFiles(ut, sizes);
        const Wire written = takeWire();
        ok = ok && DEV_ZR40NN_fs_get_file_list(ut) == 0;
        const Wire listed = takeWire();
        ok = ok && readFiles(ut, sizes);
        const Wire read = takeWire();
        if (ok) {
            report(what + ": write", written, minimumExchanges(sizes));
            report(what + ": list the table", listed, DEV_ZR40NN_FILES);
            report(what + ": read back", read, minimumExchanges(sizes));
        }
    }
    if (!ok && ut != nullptr) {
        std::fprintf(stderr, "%s failed:\n%s", what.c_str(), ut->err);
    }
    finish(bus, { id }, ut);
    return ok;
}

} // namespace

int main()
{
    if (!underUmockdev()) {
        return 2;
    }
    EmulatedBus bus;
    bool ok = run(bus, "one 4096-octet file", { DEV_ZR40NN_FILE_MAX });
    // 8 files of 8 sectors and 8 of 7: all 120 data sectors.
    std::vector<int> filling(8, 1024);
    filling.insert(filling.end(), 8, 896);
    ok = run(bus, "16 files filling the memory", filling) && ok;
    // Sizes that end in the first half of a sector: the second half goes over the wire anyway.
    ok = run(bus, "16 files of 800 octets", std::vector<int>(16, 800)) && ok;
    return ok ? 0 : 1;
}
