// The files of the program, as bytes: the parameter file, the linearisation file and the recorder
// file, with the rules that keep a file on disk whole.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// ---- files of numbers ----
// What reading a file of whitespace-separated decimal numbers found. A UTF-8 byte-order mark at
// the start and Ctrl-Z (0x1A) at the end, as some editors write them, are passed over.
struct NumberFile {
    enum Status {
        Ok,
        Unreadable,    // cannot be opened or read (reason)
        NotPlainText,  // UTF-16 or other bytes with zeros: not a plain-text file
        NotNumber,     // line, text
        Negative,      // a number with a minus sign: line, text
        OutOfRange,    // Strict: a number above 65535 (or below 0): line, text
        WrongCount,    // count; too many: line of the first number beyond those asked for
    } status = Unreadable;
    long count = 0;      // the numbers the file holds (all of them are counted)
    std::string reason;  // Unreadable: the system's reason
    long line = 0;       // the first line at fault (from 1); 0 when no line is
    std::string text;    // what that line holds there (at most 16 characters)
    // Low16: the first number above 65535, its line and the low 16 bits taken for it (the file
    // still loads; line 0 when every number fits)
    long wideLine = 0;
    std::string wideText;
    uint16_t wideTaken = 0;
};
// How a number outside 0 to 65535 is taken.
enum class NumRange {
    Low16,   // unsigned only; the low 16 bits are kept (70000 loads as 4464) and the first such
             // number is reported
    Strict,  // 0 to 65535 only; anything else, a negative number included, is OutOfRange
};
// Reads a file that must hold exactly `count` numbers into out[0..count-1]. On any status but
// Ok, `out` is left as it was.
NumberFile ReadNumberFile(const std::string& path, int count, uint16_t* out, NumRange range);

// ---- parameter file: 30 lines of one number each, right-aligned in 6 characters, CR LF ----
constexpr int PARA_FILE_VALUES = 30;
std::string FormatParaFile(const std::array<uint16_t, PARA_FILE_VALUES>& values);
// Reads a parameter file: exactly 30 unsigned numbers, the low 16 bits of each.
NumberFile ReadParaFile(const std::string& path, std::array<uint16_t, PARA_FILE_VALUES>& values);
// The status text of a parameter file that could not be loaded, naming the first line at fault.
std::string ParaFileProblem(const NumberFile& f);
// For a file that loaded with a number above 65535: which line held what and what was taken,
// e.g. "line 7 holds 70000: its low 16 bits, 4464, taken"; "" when every number fits.
std::string ParaFileWideNote(const NumberFile& f);

// ---- linearisation file: the table's values, 0 to 65535 ----
// Number of table values the connected sensor takes: 1024 for hardware code 400, else 2048.
int LinTableSize();
// Reads the table for the connected sensor into linArray (value v stored as (v + 32767) mod
// 65536); nothing is changed unless the file holds exactly LinTableSize() values.
NumberFile ReadLinFile(const std::string& path);
// The status text of a linearisation file that could not be loaded.
std::string LinFileProblem(const NumberFile& f);

// ---- recorder file ----
// Header lines 1 to 7 (date MM-DD-YYYY, time HH:MM:SS, increment, number of samples, offset,
// slope, column header), each ending with CR LF; the micro sign is the byte 0xB5.
std::string RecorderHeader(const std::string& date, const std::string& time, double increment,
                           uint16_t samples);
// The data line of the measurement last decoded: left and right edge, measured value, edges,
// measured value in micrometres, tab-separated, CR LF.
std::string RecorderDataLine();
// The calibration factor of header line 6: scaleFactor / 1024 for hardware code 500, else / 16384
// below firmware 303, else / 1024.
float RecorderSlope();
// A real number with a point as decimal separator, at most six decimals, trailing zeros dropped
// but at least one decimal ("0.1", "1.0", "1.037598").
std::string FormatReal(double value);

// ---- keeping files whole ----
// Writes `bytes` as the whole file: first into a file beside it, then renamed over it, so that a
// failure leaves the old file as it was. False with the system's reason on failure.
bool WriteFileReplacing(const std::string& path, const std::string& bytes, std::string& reason);
// Appends `bytes` to the file; when they cannot all be written, the file is cut back to its size
// before, so that it ends with its last complete line. False on failure.
bool AppendWhole(const std::string& path, const std::string& bytes);
// Deletes a file; false, with the system's reason, when it is still there.
bool RemoveFile(const std::string& path, std::string& reason);
