// The error stack and the error texts: pure functions on buffers, no device needed.
#include "dev_zr40nn.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

int push(char* stack, int size, const char* function, const char* message)
{
    return ERROR_push(stack, size, "e_dev_zr40nn.cpp", function, "42", message);
}

// Everything a FILE* received, via a memory stream.
std::string printToString(DEV_ZR40NN_t* ut, const char* format)
{
    char* text = nullptr;
    std::size_t length = 0;
    FILE* out = open_memstream(&text, &length);
    EXPECT_NE(out, nullptr);
    EXPECT_EQ(DEV_ZR40NN_lib_detail_error_desc_to_file(ut, format, out), 0);
    std::fclose(out);
    std::string result(text, length);
    std::free(text);
    return result;
}

TEST(ErrorStack, EntryFormatAndPopOrder)
{
    std::array<char, 4096> stack {};
    EXPECT_EQ(push(stack.data(), 4096, "DEV_ZR40NN_single_pass", "host receive error frame from device"), 0);
    EXPECT_EQ(push(stack.data(), 4096, "DEV_ZR40NN_cmd_try_pin", "wrong PIN, command not allowed"), 0);
    EXPECT_STREQ(stack.data(),
                 "e_dev_zr40nn.cpp(42):DEV_ZR40NN_single_pass:host receive error frame from device\n"
                 "e_dev_zr40nn.cpp(42):DEV_ZR40NN_cmd_try_pin:wrong PIN, command not allowed\n");
    EXPECT_EQ(ERROR_count(stack.data()), 2);

    const char* newest = ERROR_pop(stack.data());
    ASSERT_NE(newest, nullptr);
    EXPECT_STREQ(newest, "e_dev_zr40nn.cpp(42):DEV_ZR40NN_cmd_try_pin:wrong PIN, command not allowed");
    EXPECT_STREQ(stack.data(), "e_dev_zr40nn.cpp(42):DEV_ZR40NN_single_pass:host receive error frame from device\n");
    EXPECT_EQ(ERROR_count(stack.data()), 1);

    const char* oldest = ERROR_pop(stack.data());
    ASSERT_NE(oldest, nullptr);
    EXPECT_STREQ(oldest, "e_dev_zr40nn.cpp(42):DEV_ZR40NN_single_pass:host receive error frame from device");
    EXPECT_STREQ(stack.data(), "");
    EXPECT_EQ(ERROR_pop(stack.data()), nullptr);
    EXPECT_EQ(ERROR_count(stack.data()), 0);
}

TEST(ErrorStack, FullStackCarriesOneMarker)
{
    // Room for one entry of this size (46 octets; 73 needed to push), not for two.
    constexpr int kSize = 100;
    std::array<char, kSize> stack {};
    ASSERT_EQ(push(stack.data(), kSize, "DEV_ZR40NN_cmd_x", "message"), 0);
    const std::string first = stack.data();

    EXPECT_EQ(push(stack.data(), kSize, "DEV_ZR40NN_cmd_x", "message"), -1);
    EXPECT_EQ(std::string(stack.data()), first + "...\n");
    EXPECT_EQ(push(stack.data(), kSize, "DEV_ZR40NN_cmd_x", "a longer message that cannot fit"), -1);
    EXPECT_EQ(std::string(stack.data()), first + "...\n");
    EXPECT_EQ(ERROR_count(stack.data()), 2);

    const char* marker = ERROR_pop(stack.data());
    ASSERT_NE(marker, nullptr);
    EXPECT_STREQ(marker, "...");
    EXPECT_EQ(std::string(stack.data()), first);
}

TEST(ErrorStack, ShorterEntryStillFitsBehindMarker)
{
    constexpr int kSize = 200;
    std::array<char, kSize> stack {};
    ASSERT_EQ(push(stack.data(), kSize, "f", std::string(100, 'a').c_str()), 0);
    EXPECT_EQ(push(stack.data(), kSize, "f", std::string(100, 'b').c_str()), -1);
    EXPECT_EQ(push(stack.data(), kSize, "f", "m"), 0);
    EXPECT_EQ(ERROR_count(stack.data()), 3);
    EXPECT_STREQ(ERROR_pop(stack.data()), "e_dev_zr40nn.cpp(42):f:m");
    EXPECT_STREQ(ERROR_pop(stack.data()), "...");
}

TEST(ErrorStack, MarkerOnlyWhereItFits)
{
    // The stack ends three octets short of its size: the marker and its terminator would not fit.
    constexpr int kSize = 120;
    std::array<char, kSize> stack {};
    const std::string text(kSize - 28, 'x'); // "e_dev_zr40nn.cpp(42):f:" + text + "\n" = 116 octets
    std::snprintf(stack.data(), kSize, "e_dev_zr40nn.cpp(42):f:%s\n", text.c_str());
    const std::string before = stack.data();
    ASSERT_EQ(before.size(), static_cast<std::size_t>(kSize - 4));
    EXPECT_EQ(push(stack.data(), kSize, "f", "m"), -1);
    EXPECT_EQ(std::string(stack.data()), before);

    // With just room for the marker it is appended.
    std::array<char, 64> small {};
    std::memcpy(small.data(), "abcd\n", 6);
    EXPECT_EQ(push(small.data(), 10, "f", "m"), -1);
    EXPECT_STREQ(small.data(), "abcd\n...\n");
    // A stack of four characters or fewer gets no marker.
    std::array<char, 64> tiny {};
    std::memcpy(tiny.data(), "ab\n", 4);
    EXPECT_EQ(push(tiny.data(), 10, "f", "m"), -1);
    EXPECT_STREQ(tiny.data(), "ab\n");
}

TEST(ErrorStack, PopOfFragmentWithoutNewlineIsSafe)
{
    std::array<char, 16> stack {};
    std::memcpy(stack.data(), "a\nb", 4);
    const char* entry = ERROR_pop(stack.data());
    ASSERT_NE(entry, nullptr);
    EXPECT_STREQ(entry, "a");
    EXPECT_STREQ(stack.data(), "");

    std::memcpy(stack.data(), "x", 2);
    EXPECT_EQ(ERROR_pop(stack.data()), nullptr);
    EXPECT_STREQ(stack.data(), "");
}

TEST(ErrorStack, DeviceStackPrintedNewestFirstAndKept)
{
    DEV_ZR40NN_t ut {};
    ERROR_push(ut.err, 4096, "e_dev_zr40nn.cpp", "first", "1", "one");
    ERROR_push(ut.err, 4096, "e_dev_zr40nn.cpp", "second", "2", "two");
    ERROR_push(ut.err, 4096, "e_dev_zr40nn.cpp", "third", "3", "three");
    const std::string before = ut.err;

    EXPECT_EQ(printToString(&ut, "%s\n"),
              "e_dev_zr40nn.cpp(3):third:three\n"
              "e_dev_zr40nn.cpp(2):second:two\n"
              "e_dev_zr40nn.cpp(1):first:one\n");
    EXPECT_EQ(std::string(ut.err), before);
    EXPECT_EQ(DEV_ZR40NN_lib_detail_error_desc(&ut), ut.err);
}

TEST(ErrorStack, FullDeviceStackPrintsMarkerFirst)
{
    DEV_ZR40NN_t ut {};
    int pushed = 0;
    while (ERROR_push(ut.err, 4096, "e_dev_zr40nn.cpp", "DEV_ZR40NN_single_pass", "123", "could not read from device")
           == 0) {
        ++pushed;
    }
    ERROR_push(ut.err, 4096, "e_dev_zr40nn.cpp", "DEV_ZR40NN_single_pass", "123", "could not read from device");
    EXPECT_LT(std::strlen(ut.err), 4096u);
    EXPECT_EQ(ERROR_count(ut.err), pushed + 1);

    const std::string printed = printToString(&ut, "[%s]");
    EXPECT_EQ(printed.rfind("[...][e_dev_zr40nn.cpp(123):DEV_ZR40NN_single_pass:could not read from device]", 0), 0u);
}

TEST(ErrorTexts, CodesAndUnknowns)
{
    EXPECT_STREQ(DEV_ZR40NN_lib_error_desc(-1), "undefined error (error specification is not compleat)");
    EXPECT_STREQ(DEV_ZR40NN_lib_error_desc(-2),
                 "session could not be open (perhaps device was locked by other thread or application)");
    EXPECT_STREQ(DEV_ZR40NN_lib_error_desc(-6), "message transmition error");
    EXPECT_STREQ(DEV_ZR40NN_lib_error_desc(-13), "not initialized parameter");
    EXPECT_STREQ(DEV_ZR40NN_lib_error_desc(-102), "wrong PIN, command not allowed");
    EXPECT_STREQ(DEV_ZR40NN_lib_error_desc(-107), "wrong size of communication frame");
    for (int code : { 0, 1, -14, -99, -108, -109, -1000 }) {
        EXPECT_STREQ(DEV_ZR40NN_lib_error_desc(code), "unknown error") << code;
    }
    // Every named code has a text of its own.
    for (int code = -1; code >= -13; --code) {
        EXPECT_STRNE(DEV_ZR40NN_lib_error_desc(code), "unknown error") << code;
    }
    for (int code = -100; code >= -107; --code) {
        EXPECT_STRNE(DEV_ZR40NN_lib_error_desc(code), "unknown error") << code;
    }
}

} // namespace
