// The error stack and the error texts: pure functions on buffers, no device needed.
#include "dev_zr40nn.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

int push(char* stack, int size, const char* function, const std::string& message)
{
    return ERROR_push(stack, size, "e_dev_zr40nn.cpp", function, "42", message.c_str());
}

TEST(ErrorStack, EntriesPopNewestFirst)
{
    std::array<char, 4096> stack {};
    EXPECT_EQ(push(stack.data(), 4096, "DEV_ZR40NN_single_pass", "host receive error frame from device"), 0);
    EXPECT_EQ(push(stack.data(), 4096, "DEV_ZR40NN_cmd_try_pin", "wrong PIN, command not allowed"), 0);
    EXPECT_STREQ(stack.data(),
                 "e_dev_zr40nn.cpp(42):DEV_ZR40NN_single_pass:host receive error frame from device\n"
                 "e_dev_zr40nn.cpp(42):DEV_ZR40NN_cmd_try_pin:wrong PIN, command not allowed\n");
    EXPECT_EQ(ERROR_count(stack.data()), 2);
    EXPECT_STREQ(ERROR_pop(stack.data()), "e_dev_zr40nn.cpp(42):DEV_ZR40NN_cmd_try_pin:wrong PIN, command not allowed");
    EXPECT_STREQ(ERROR_pop(stack.data()),
                 "e_dev_zr40nn.cpp(42):DEV_ZR40NN_single_pass:host receive error frame from device");
    EXPECT_STREQ(stack.data(), "");
    EXPECT_EQ(ERROR_pop(stack.data()), nullptr);

    // A fragment without its newline (no push writes one) is popped safely.
    std::memcpy(stack.data(), "a\nb", 4);
    EXPECT_STREQ(ERROR_pop(stack.data()), "a");
    EXPECT_EQ(ERROR_pop(stack.data()), nullptr);
}

TEST(ErrorStack, FullStackCarriesOneMarkerWhereItFits)
{
    // Room for one entry of this size (46 octets; 73 needed to push), not for two.
    std::array<char, 100> stack {};
    ASSERT_EQ(push(stack.data(), 100, "DEV_ZR40NN_cmd_x", "message"), 0);
    const std::string first = stack.data();
    EXPECT_EQ(push(stack.data(), 100, "DEV_ZR40NN_cmd_x", "message"), -1);
    EXPECT_EQ(push(stack.data(), 100, "DEV_ZR40NN_cmd_x", "a longer message"), -1);
    EXPECT_EQ(stack.data(), first + "...\n");
    EXPECT_EQ(ERROR_count(stack.data()), 2);
    EXPECT_STREQ(ERROR_pop(stack.data()), "...");
    EXPECT_EQ(stack.data(), first);

    // A shorter entry that fits still goes behind the marker.
    std::array<char, 200> roomy {};
    ASSERT_EQ(push(roomy.data(), 200, "f", std::string(100, 'a')), 0);
    EXPECT_EQ(push(roomy.data(), 200, "f", std::string(100, 'b')), -1);
    EXPECT_EQ(push(roomy.data(), 200, "f", "m"), 0);
    EXPECT_STREQ(ERROR_pop(roomy.data()), "e_dev_zr40nn.cpp(42):f:m");
    EXPECT_STREQ(ERROR_pop(roomy.data()), "...");

    // The marker needs room for itself and the terminator; a stack of four characters gets none.
    using Case = std::pair<const char*, const char*>;
    for (const auto& [before, after] :
         { Case { "abcd\n", "abcd\n...\n" }, Case { "abcde\n", "abcde\n" }, Case { "abc\n", "abc\n" } }) {
        std::array<char, 16> small {};
        std::strcpy(small.data(), before);
        EXPECT_EQ(push(small.data(), 10, "f", "m"), -1) << before;
        EXPECT_STREQ(small.data(), after);
    }
}

TEST(ErrorStack, NoStackOrNoRoomRefusesThePush)
{
    std::array<char, 8> stack {};
    EXPECT_EQ(push(nullptr, 4096, "f", "m"), -1);
    for (int size : { 0, -1, -4096 }) {
        EXPECT_EQ(push(stack.data(), size, "f", "m"), -1) << size;
    }
    EXPECT_STREQ(stack.data(), "");
    // A buffer without a terminator inside its size is no stack: it is left as it is.
    stack.fill('x');
    EXPECT_EQ(push(stack.data(), 8, "f", "m"), -1);
    EXPECT_TRUE(std::all_of(stack.begin(), stack.end(), [](char c) { return c == 'x'; }));
}

TEST(ErrorStack, DeviceStackPrintedNewestFirstAndKept)
{
    DEV_ZR40NN_t ut {};
    push(ut.err, 4096, "first", "one");
    push(ut.err, 4096, "second", "two");
    const std::string before = ut.err;

    char* text = nullptr;
    std::size_t length = 0;
    FILE* out = open_memstream(&text, &length);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(DEV_ZR40NN_lib_detail_error_desc_to_file(&ut, "[%s]\n", out), 0);
    std::fclose(out);
    EXPECT_EQ(std::string(text, length), "[e_dev_zr40nn.cpp(42):second:two]\n[e_dev_zr40nn.cpp(42):first:one]\n");
    std::free(text);
    EXPECT_EQ(ut.err, before);
    EXPECT_EQ(DEV_ZR40NN_lib_detail_error_desc(&ut), ut.err);
}

// The texts themselves are data; what can go wrong is the lookup at the ends of each range.
TEST(ErrorTexts, EachRangeIsLookedUpToItsEnds)
{
    EXPECT_STREQ(DEV_ZR40NN_lib_error_desc(DEV_ZR40NN_ERR_UNDEFINED),
                 "undefined error (error specification is not compleat)");
    EXPECT_STREQ(DEV_ZR40NN_lib_error_desc(DEV_ZR40NN_ERR_NOT_INITIALIZED), "not initialized parameter");
    EXPECT_STREQ(DEV_ZR40NN_lib_error_desc(DEV_ZR40NN_ERR_DEV_BASE), "wrong command sended to device");
    EXPECT_STREQ(DEV_ZR40NN_lib_error_desc(DEV_ZR40NN_ERR_DEV_BASE - 7), "wrong size of communication frame");
    for (int code : { 0, 1, DEV_ZR40NN_ERR_NOT_INITIALIZED - 1, DEV_ZR40NN_ERR_DEV_BASE + 1,
                      DEV_ZR40NN_ERR_DEV_BASE - 8, DEV_ZR40NN_ERR_DEV_BASE - 9 }) {
        EXPECT_STREQ(DEV_ZR40NN_lib_error_desc(code), "unknown error") << code;
    }
}

} // namespace
