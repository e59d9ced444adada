// Files and sensor memory: parameter file, data recorder, linearisation table and X-FLASH.
#pragma once

#include <cstdint>
#include <string>

#include "params/settings.h"  // KRYTA_CB

extern std::string file_name;  // last chosen parameter or linearisation file

// parameter file
void SendParaToFile();
void ReadParaFromFile();

// data recorder
KRYTA_CB(CC_CMDBTNrecfile);
KRYTA_CB(CC_CBTNStartRecord);
KRYTA_CB(CC_CBTNStopRecord);
KRYTA_CB(CC_NUMsample);
KRYTA_CB(CC_NUMinctime);
void writeFileHeader();
void CalcRecTime(int32_t seconds);

// linearisation table and X-FLASH
KRYTA_CB(CC_WriteXFLASH);
KRYTA_CB(CC_ReadXFLASH);
int ReadLinDataFromFile();
int ClearXFLASH();
void WriteXFLASH(uint16_t offset, uint16_t page);

// ---- helpers of the file readers and writers (also used by the tests) ----
// Outcome of reading whitespace-separated decimal numbers from a text file.
enum class NumFileResult { Ok, Unreadable, TooShort, NotNumber, OutOfRange };
// How a number outside 0 to 65535 is taken.
enum class NumRange {
    Low16,   // unsigned only; the low 16 bits of the value are kept (70000 -> 4464)
    Strict,  // 0 to 65535 only; anything else, a negative number included, is OutOfRange
};
// Reads the first `count` numbers of the file into `out` (at most `count` entries are written;
// the rest of the file is not looked at). On any result but Ok, `out` may hold a part.
NumFileResult ReadNumberFile(const std::string& path, int count, uint16_t* out, NumRange range);
// A real number as the recorder header shows it: point as decimal separator, at most six
// decimals, trailing zeros dropped but at least one decimal ("0.1", "1.0", "1.037598").
std::string FormatReal(double value);
// Appends bytes to a file (opened, written and closed again); false when that failed.
bool AppendToFile(const std::string& path, const std::string& bytes);
