// The per-device error stack: newline-terminated entries in a fixed text buffer, newest last.
#include "dev_zr40nn.h"
#include "errors/error_entry.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace {

constexpr char kMarker[] = "...\n";
constexpr std::size_t kMarkerLength = sizeof(kMarker) - 1;
// Separators, newline and terminator of one entry, with room to spare.
constexpr std::size_t kEntryOverhead = 32;

bool endsWithMarker(const char* stack, std::size_t length)
{
    // The marker line is "...\n" behind the newline of the entry before it.
    return length > 4 && std::memcmp(stack + length - 5, "\n...\n", 5) == 0;
}

} // namespace

extern "C" {

int ERROR_push(char* stack, int size, const char* file, const char* function, const char* line, const char* message)
{
    if (stack == nullptr || size <= 0) {
        return -1;
    }
    file = file != nullptr ? file : "";
    function = function != nullptr ? function : "";
    line = line != nullptr ? line : "";
    message = message != nullptr ? message : "";

    const std::size_t capacity = static_cast<std::size_t>(size);
    const std::size_t used = strnlen(stack, capacity);
    if (used == capacity) {
        return -1; // not a terminated stack: touch nothing
    }
    const std::size_t needed
        = used + std::strlen(file) + std::strlen(function) + std::strlen(line) + std::strlen(message) + kEntryOverhead;
    if (capacity >= needed) {
        std::snprintf(stack + used, capacity - used, "%s(%s):%s:%s\n", file, line, function, message);
        return 0;
    }
    // Full: leave one marker line, and only where it fits with its terminator.
    if (used > 4 && !endsWithMarker(stack, used) && used + kMarkerLength + 1 <= capacity) {
        std::memcpy(stack + used, kMarker, kMarkerLength + 1);
    }
    return -1;
}

char* ERROR_pop(char* stack)
{
    if (stack == nullptr) {
        return nullptr;
    }
    std::size_t length = std::strlen(stack);
    while (length > 0) {
        // The last entry starts behind the last newline that has a character after it.
        std::size_t start = 0;
        for (std::size_t i = length - 1; i > 0; --i) {
            if (stack[i - 1] == '\n') {
                start = i;
                break;
            }
        }
        if (stack[length - 1] != '\n') {
            // A fragment without its newline (no push writes one) has no room to be moved into:
            // drop it and pop the entry before it.
            stack[start] = '\0';
            length = start;
            continue;
        }
        // Shift the entry's text one place right over its newline; the old terminator ends it.
        std::memmove(stack + start + 1, stack + start, length - 1 - start);
        stack[start] = '\0';
        return stack + start + 1;
    }
    return nullptr;
}

int ERROR_count(const char* stack)
{
    if (stack == nullptr) {
        return 0;
    }
    int count = 0;
    for (const char* c = stack; *c != '\0'; ++c) {
        count += *c == '\n' ? 1 : 0;
    }
    return count;
}

const char* DEV_ZR40NN_lib_detail_error_desc(DEV_ZR40NN_t* ut)
{
    return ut != nullptr ? ut->err : "";
}

int DEV_ZR40NN_lib_detail_error_desc_to_file(DEV_ZR40NN_t* ut, const char* format, FILE* file)
{
    if (ut == nullptr || format == nullptr || file == nullptr) {
        return 0;
    }
    // Popping works on a copy, so the device keeps its stack.
    std::array<char, DEV_ZR40NN_ERR_SIZE> copy {};
    std::memcpy(copy.data(), ut->err, copy.size() - 1);
    while (const char* entry = ERROR_pop(copy.data())) {
        std::fprintf(file, format, entry);
    }
    return 0;
}

} // extern "C"

namespace zr40nn {

void pushError(DEV_ZR40NN_t* ut, const char* function, int line, const char* message)
{
    if (ut == nullptr) {
        return;
    }
    char lineText[16];
    std::snprintf(lineText, sizeof(lineText), "%d", line);
    ERROR_push(ut->err, DEV_ZR40NN_ERR_SIZE, kSourceName, function, lineText, message);
}

} // namespace zr40nn
