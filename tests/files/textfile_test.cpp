// Number lists, appended lines and real numbers of the program's text files.
#include <gtest/gtest.h>

#include <array>
#include <clocale>

#include "files/files.h"
#include "files_test_util.h"

TEST(NumberFile, ReadsNumbersSeparatedByAnyWhiteSpace) {
    TempDir dir;
    const std::string path = dir.File("n.txt");
    WriteBytes(path, "  12\r\n34    \r\n\t56\n\n 7 8\f9\v10 \r\n");
    std::array<uint16_t, 7> v{};
    ASSERT_EQ(ReadNumberFile(path, 7, v.data(), NumRange::Low16), NumFileResult::Ok);
    EXPECT_EQ(v, (std::array<uint16_t, 7>{12, 34, 56, 7, 8, 9, 10}));

    // Only as many numbers as asked for are read; what follows is not looked at.
    std::array<uint16_t, 3> three{9, 9, 9};
    WriteBytes(path, "1 2 3 4 garbage");
    EXPECT_EQ(ReadNumberFile(path, 3, three.data(), NumRange::Strict), NumFileResult::Ok);
    EXPECT_EQ(three, (std::array<uint16_t, 3>{1, 2, 3}));
}

TEST(NumberFile, LowSixteenBitsOrStrictRange) {
    TempDir dir;
    const std::string path = dir.File("n.txt");
    WriteBytes(path, "70000 65535 65536 0 131077 4294967297 99999999999999999999999\r\n");
    std::array<uint16_t, 7> v{};
    ASSERT_EQ(ReadNumberFile(path, 7, v.data(), NumRange::Low16), NumFileResult::Ok);
    // 99999999999999999999999 mod 65536 = 65535 (exact long arithmetic, not a clipped value)
    EXPECT_EQ(v, (std::array<uint16_t, 7>{4464, 65535, 0, 0, 5, 1, 65535}));

    std::array<uint16_t, 2> w{};
    WriteBytes(path, "65535 0");
    EXPECT_EQ(ReadNumberFile(path, 2, w.data(), NumRange::Strict), NumFileResult::Ok);
    EXPECT_EQ(w, (std::array<uint16_t, 2>{65535, 0}));
    WriteBytes(path, "1 65536");
    EXPECT_EQ(ReadNumberFile(path, 2, w.data(), NumRange::Strict), NumFileResult::OutOfRange);
    WriteBytes(path, "1 99999999999999999999");
    EXPECT_EQ(ReadNumberFile(path, 2, w.data(), NumRange::Strict), NumFileResult::OutOfRange);
    WriteBytes(path, "1 -1");
    EXPECT_EQ(ReadNumberFile(path, 2, w.data(), NumRange::Strict), NumFileResult::OutOfRange);
    // A negative number is not an unsigned value at all for the 16-bit reading.
    EXPECT_EQ(ReadNumberFile(path, 2, w.data(), NumRange::Low16), NumFileResult::NotNumber);
}

TEST(NumberFile, ShortBrokenAndUnreadableFiles) {
    TempDir dir;
    const std::string path = dir.File("n.txt");
    std::array<uint16_t, 4> v{};
    for (const char* bad : {"1 2 3x 4", "1 2 3.5 4", "1,2,3,4", "1 2 - 4", "1 2 +3 4", "1 2 0x10 4"}) {
        WriteBytes(path, bad);
        EXPECT_EQ(ReadNumberFile(path, 4, v.data(), NumRange::Low16), NumFileResult::NotNumber) << bad;
        EXPECT_EQ(ReadNumberFile(path, 4, v.data(), NumRange::Strict), NumFileResult::NotNumber) << bad;
    }
    WriteBytes(path, "1 2 3\r\n   \r\n");
    EXPECT_EQ(ReadNumberFile(path, 4, v.data(), NumRange::Low16), NumFileResult::TooShort);
    WriteBytes(path, "");
    EXPECT_EQ(ReadNumberFile(path, 1, v.data(), NumRange::Strict), NumFileResult::TooShort);
    EXPECT_EQ(ReadNumberFile(dir.File("missing.txt"), 1, v.data(), NumRange::Strict), NumFileResult::Unreadable);
    EXPECT_EQ(ReadNumberFile(dir.path, 1, v.data(), NumRange::Strict), NumFileResult::Unreadable);
}

TEST(TextFile, AppendAddsToTheEndAndReportsFailure) {
    TempDir dir;
    const std::string path = dir.File("a.dat");
    ASSERT_TRUE(AppendToFile(path, "one\r\n"));
    ASSERT_TRUE(AppendToFile(path, std::string("t\xB5o\r\n")));
    EXPECT_EQ(ReadBytes(path), std::string("one\r\nt\xB5o\r\n"));
    EXPECT_FALSE(AppendToFile(dir.File("no/such/folder/a.dat"), "x"));
    EXPECT_FALSE(AppendToFile(dir.path, "x"));  // a folder in place of the file
}

TEST(TextFile, RealsUseAPointAndDropTrailingZeros) {
    EXPECT_EQ(FormatReal(0.1), "0.1");
    EXPECT_EQ(FormatReal(1.0), "1.0");
    EXPECT_EQ(FormatReal(0.0), "0.0");
    EXPECT_EQ(FormatReal(8642.0), "8642.0");
    EXPECT_EQ(FormatReal(17000.0 / 16384.0), "1.037598");
    EXPECT_EQ(FormatReal(2.5), "2.5");
    EXPECT_EQ(FormatReal(1e20), "100000000000000000000.0");
    // The operator's locale must not turn the point into a comma.
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
        EXPECT_EQ(FormatReal(0.25), "0.25");
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
}
