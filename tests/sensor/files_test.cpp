// The program's files as bytes: number files, the parameter and linearisation file, the recorder
// file's lines, and files that stay whole when writing fails.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <clocale>

#include "files/files_test_util.h"
#include "sensor/files.h"
#include "sensor/vars.h"

namespace {

NumberFile::Status Read(const std::string& path, int n, uint16_t* v, NumRange r) {
    return ReadNumberFile(path, n, v, r).status;
}

// Runs `fn` in a child process whose files may not grow beyond `limit` bytes; the child's exit
// code is fn's result.
int WithFileSizeLimit(rlim_t limit, int (*fn)(const std::string&), const std::string& arg) {
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit then fails as on a full disk
        rlimit rl{limit, limit};
        setrlimit(RLIMIT_FSIZE, &rl);
        _exit(fn(arg));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(NumberFile, ExactlyTheNumbersAskedForSeparatedByAnyWhiteSpace) {
    TempDir dir;
    const std::string path = dir.File("n.txt");
    WriteBytes(path, "  12\r\n34    \r\n\t56\n\n 7 8\f9\v10 \r\n");
    std::array<uint16_t, 7> v{};
    ASSERT_EQ(Read(path, 7, v.data(), NumRange::Low16), NumberFile::Ok);
    EXPECT_EQ(v, (std::array<uint16_t, 7>{12, 34, 56, 7, 8, 9, 10}));

    // One number too many or too few: refused, counted, and nothing taken.
    std::array<uint16_t, 6> six{};
    const NumberFile more = ReadNumberFile(path, 6, six.data(), NumRange::Low16);
    EXPECT_EQ(more.status, NumberFile::WrongCount);
    EXPECT_EQ(more.count, 7);
    EXPECT_EQ(six, (std::array<uint16_t, 6>{}));
    std::array<uint16_t, 8> eight{};
    EXPECT_EQ(ReadNumberFile(path, 8, eight.data(), NumRange::Low16).count, 7);
    WriteBytes(path, "");
    EXPECT_EQ(Read(path, 1, v.data(), NumRange::Strict), NumberFile::WrongCount);
}

TEST(NumberFile, LowSixteenBitsOrStrictRangeAndBrokenFiles) {
    TempDir dir;
    const std::string path = dir.File("n.txt");
    WriteBytes(path, "70000 65535 65536 0 131077 4294967297 99999999999999999999999\r\n");
    std::array<uint16_t, 7> v{};
    ASSERT_EQ(Read(path, 7, v.data(), NumRange::Low16), NumberFile::Ok);
    // 99999999999999999999999 mod 65536 = 65535 (exact long arithmetic, not a clipped value)
    EXPECT_EQ(v, (std::array<uint16_t, 7>{4464, 65535, 0, 0, 5, 1, 65535}));

    std::array<uint16_t, 2> w{};
    for (const char* out : {"1 65536", "1 99999999999999999999", "1 -1"}) {
        WriteBytes(path, out);
        EXPECT_EQ(Read(path, 2, w.data(), NumRange::Strict), NumberFile::OutOfRange) << out;
    }
    // A negative number is refused as such by the 16-bit reading.
    EXPECT_EQ(Read(path, 2, w.data(), NumRange::Low16), NumberFile::Negative);
    std::array<uint16_t, 4> four{};
    for (const char* bad : {"1 2 3x 4", "1 2 3.5 4", "1,2,3,4", "1 2 - 4", "1 2 +3 4", "1 2 0x10 4"}) {
        WriteBytes(path, bad);
        EXPECT_EQ(Read(path, 4, four.data(), NumRange::Low16), NumberFile::NotNumber) << bad;
    }
    EXPECT_EQ(Read(dir.File("missing.txt"), 1, v.data(), NumRange::Strict), NumberFile::Unreadable);
    EXPECT_EQ(Read(dir.path, 1, v.data(), NumRange::Strict), NumberFile::Unreadable);
}

TEST(ParaFile, ThirtyFieldsOfSixCharactersAndClearTextsForWrongFiles) {
    std::array<uint16_t, PARA_FILE_VALUES> values{};
    for (int i = 0; i < PARA_FILE_VALUES; ++i) values[size_t(i)] = uint16_t(i * 2259);
    const std::string text = FormatParaFile(values);
    ASSERT_EQ(text.size(), 240u);
    EXPECT_EQ(text.substr(0, 16), "     0\r\n  2259\r\n");
    EXPECT_EQ(text.substr(232), " 65511\r\n");

    TempDir dir;
    const std::string path = dir.File("p.cfg");
    WriteBytes(path, text);
    std::array<uint16_t, PARA_FILE_VALUES> back{};
    ASSERT_EQ(ReadParaFile(path, back).status, NumberFile::Ok);
    EXPECT_EQ(back, values);

    WriteBytes(path, text + "     1\r\n");
    EXPECT_EQ(ParaFileProblem(ReadParaFile(path, back)),
              "Parameter file holds 31 numbers, 30 are needed - nothing loaded!");
    WriteBytes(path, "1\r\n");
    EXPECT_EQ(ParaFileProblem(ReadParaFile(path, back)),
              "Parameter file holds 1 number, 30 are needed - nothing loaded!");
    EXPECT_EQ(back, values);
}

// What editors put around the numbers, and the first line at fault named in the status text.
TEST(ParaFile, EditorBytesAndTheFirstLineAtFault) {
    auto file = [](int at, const std::string& bad, const std::string& head = "", const std::string& tail = "") {
        std::string t = head;
        for (int i = 1; i <= PARA_FILE_VALUES; ++i) t += (i == at ? bad : std::to_string(i)) + "\r\n";
        return t + tail;
    };
    struct Case {
        std::string bytes;
        NumberFile::Status status;
        std::string text;  // ParaFileProblem, or ParaFileWideNote for a file that loads
        uint16_t word7;    // the seventh value taken
    };
    const Case cases[] = {
        {file(0, "", "\xEF\xBB\xBF"), NumberFile::Ok, "", 7},
        {file(0, "", "", "\x1A"), NumberFile::Ok, "", 7},
        {file(7, "70000"), NumberFile::Ok, "line 7 holds 70000: its low 16 bits, 4464, taken", 4464},
        {file(7, "x.0"), NumberFile::NotNumber, "line 7 holds 'x.0' - nothing loaded!", 0},
        {file(7, "7", "\r\n\n"), NumberFile::Ok, "", 7},
        {file(5, "5\x1A"), NumberFile::NotNumber, "line 5 holds '5\x1A' - nothing loaded!", 0},
        {file(3, "-1", "\n\n"), NumberFile::Negative, "line 5 holds a negative number, -1 - nothing loaded!", 0},
        {std::string("\xFF\xFE" "1\0\r\0\n\0", 8), NumberFile::NotPlainText,
         "Parameter file is not a plain-text file (UTF-16?) - nothing loaded!", 0},
    };
    TempDir dir;
    const std::string path = dir.File("p.cfg");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        WriteBytes(path, c.bytes);
        std::array<uint16_t, PARA_FILE_VALUES> v{};
        const NumberFile f = ReadParaFile(path, v);
        EXPECT_EQ(f.status, c.status);
        EXPECT_EQ(f.status == NumberFile::Ok ? ParaFileWideNote(f) : ParaFileProblem(f), c.text);
        EXPECT_EQ(v[6], c.word7);
    }
}

TEST(LinFile, TheSensorsTableSizeExactlyAndEachValueOffsetBy32767) {
    TempDir dir;
    const std::string path = dir.File("lin.dat");
    auto table = [](int n) {
        std::string t = "0\r\n1\r\n65535\r\n";
        for (int i = 3; i < n; ++i) t += std::to_string(i) + "\r\n";
        return t;
    };
    SetStartValues();
    hwtype = 400;  // a 1024-value table
    WriteBytes(path, table(2048));
    NumberFile f = ReadLinFile(path);
    EXPECT_EQ(LinFileProblem(f), "Linearisation file holds 2048 values, 1024 are needed - nothing written!");
    EXPECT_EQ(linArray[0], 0);
    WriteBytes(path, table(1024));
    ASSERT_EQ(ReadLinFile(path).status, NumberFile::Ok);
    EXPECT_EQ(linArray[0], 0x7FFF);
    EXPECT_EQ(linArray[1], 0x8000);
    EXPECT_EQ(linArray[2], 32766);
    EXPECT_EQ(linArray[1023], 1023 + 32767);

    hwtype = 37;  // 2048 values
    EXPECT_EQ(LinFileProblem(ReadLinFile(path)),
              "Linearisation file holds 1024 values, 2048 are needed - nothing written!");
    WriteBytes(path, table(2049));
    EXPECT_EQ(ReadLinFile(path).status, NumberFile::WrongCount);
    WriteBytes(path, table(2047) + "65536\r\n");
    EXPECT_EQ(LinFileProblem(ReadLinFile(path)),
              "Linearisation file line 2048: 65536 not in 0...65535 - nothing written!");
    EXPECT_EQ(linArray[1], 0x8000);
}

TEST(RecorderFile, HeaderAndDataLinesByteForByte) {
    SetStartValues();
    SetCalOffset(-5);
    SetScaleFactor(17000);
    softversion = 302;  // divided by 16384
    EXPECT_EQ(RecorderHeader("12-08-2026", "14:05:09", 0.25, 40000),
              "Date:\t12-08-2026\r\nTime:\t14:05:09\r\nTime-Increment[s]:\t0.25\r\nNumber of Samples:\t-25536\r\n"
              "Offset-Value [\xB5m]:\t-5\r\nSlope-Value [\xB5m/pixel]:\t1.037598\r\n"
              "E-LEFT\tE-RIGHT\tM-VALUE\tEDGES\tM-VAL[um]\r\n");
    softversion = 303;
    EXPECT_FLOAT_EQ(RecorderSlope(), 17000.0f / 1024.0f);
    Ledge = 120;
    Redge = 65535;
    Mvalue = 150;
    edcnt = 2;
    umValue = 0xFFFFFFFFu;
    EXPECT_EQ(RecorderDataLine(), "120\t65535\t150\t2\t-1\r\n");
}

TEST(TextFile, RealsUseAPointAndDropTrailingZeros) {
    EXPECT_EQ(FormatReal(0.1), "0.1");
    EXPECT_EQ(FormatReal(1.0), "1.0");
    EXPECT_EQ(FormatReal(8642.0), "8642.0");
    EXPECT_EQ(FormatReal(17000.0 / 16384.0), "1.037598");
    EXPECT_EQ(FormatReal(1e20), "100000000000000000000.0");
    // The operator's locale must not turn the point into a comma.
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
        EXPECT_EQ(FormatReal(0.25), "0.25");
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(TextFile, FilesStayWholeWhenTheDiskIsFull) {
    TempDir dir;
    // A replaced file: the write beside it fails, the old file is left as it was.
    const std::string cfg = dir.File("p.cfg");
    WriteBytes(cfg, "old\r\n");
    EXPECT_EQ(WithFileSizeLimit(100, [](const std::string& p) {
                  std::string reason;
                  return WriteFileReplacing(p, std::string(240, 'x'), reason) ? 0 : 1;
              }, cfg), 1);
    EXPECT_EQ(ReadBytes(cfg), "old\r\n");
    std::string reason;
    ASSERT_TRUE(WriteFileReplacing(cfg, "new\r\n", reason));
    EXPECT_EQ(ReadBytes(cfg), "new\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1);  // nothing beside it
    EXPECT_FALSE(WriteFileReplacing(dir.File("no/such/folder/p.cfg"), "x", reason));
    EXPECT_FALSE(reason.empty());

    // Appended lines: a line that does not fit is not left torn.
    const std::string rec = dir.File("r.dat");
    EXPECT_EQ(WithFileSizeLimit(25, [](const std::string& p) {
                  int lines = 0;
                  while (lines < 10 && AppendWhole(p, "2117\t2200\t30\r\n")) ++lines;
                  return lines;
              }, rec), 1);
    EXPECT_EQ(ReadBytes(rec), "2117\t2200\t30\r\n");
    EXPECT_FALSE(AppendWhole(dir.path, "x"));  // a folder in place of the file
}
