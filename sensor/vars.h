// The sensor's data as the program holds them: the parameter words of the three firmware
// variants, the frame value buffer, the decoded measurement, the identification of the connected
// sensor, the lines drawn with the curves, the memory target and the stop request.
#pragma once

#include <array>
#include <cstdint>
#include <string>

extern std::array<uint16_t, 64> parameter;  // words 0-2 frame head, 3/18/33 blocks, 48-63 extension
extern std::array<uint16_t, 16> pp;         // value words of the frame being built or last received

// decoded measurement frame
extern uint16_t Ledge, Redge;
extern uint32_t Mvalue, umValue;
extern uint16_t tol, edcnt, mvstart;
extern uint32_t mvend, dynpow;
extern uint16_t anaMax, anaMin;
extern uint32_t in0, videoMax, raw15;

// identification of the connected sensor
extern uint16_t ccdtype, ccdmaxpixel, ccdresolution, pcbtype, ccdvirtpixel, ccdsubpixel, ccdpixB,
    ccdpixE, softversion, hwtype, adcmax;
extern int HWTYPE, ADCMAX, YAXISMAX;
extern uint16_t pixB, pixE;
extern std::string szVersion;

// memory targets and fixed values
constexpr int RAM = 1;
constexpr int EEPROM = 2;
constexpr int DATFILE = 3;
constexpr uint32_t YOFFSET = 30000;

extern int target;     // RAM, EEPROM or DATFILE
extern int stop_flag;  // 1 ends RUN, VIDEO, the recorder and the X-FLASH write

// series of 256 entries drawn with the curves
extern std::array<double, 256> xArray, xArray256;
extern std::array<uint16_t, 256> adcbuf, thdArray, trgArray, REFArray, upTHDArray, loTHDArray;
extern std::array<uint16_t, 2050> linArray;

extern std::string szSoftVersion;  // "Version 3.09"
extern std::string szSoftName;     // "KRYTA-LT-Scope"

// Start values of the parameter words (the three blocks, the extension block, words 0-2).
void SetParameterStartValues(std::array<uint16_t, 64>& words);
// Everything of this file at its start value: the parameter words, the state, the
// identification as before any sensor answered, the measurement, the series and the table.
void SetStartValues();

// Firmware variant rule.
enum class Variant { Standard, V303, CL };
// Test 1, for parameter handling: CL when hwtype > 20000, else V303 when softversion >= 303.
Variant ParamVariant();
// Test 2, for measurement and display: CL when HWTYPE == 3, else V303 when softversion >= 303.
Variant DisplayVariant();
// First word of the variant's block: 3, 18 or 33.
int BlockStart(Variant v);
// The storage factor of the scale factor: 16384 (standard) or 1024 (V303, CL).
double ScaleUnit(Variant v);

// parameter words 60-61 (scaleFactor) and 62-63 (calOffset) as 32-bit values, low word first
uint32_t ScaleFactor();
void SetScaleFactor(uint32_t value);
int32_t CalOffset();
void SetCalOffset(int32_t value);

// Fills all 256 entries of a line with one value.
void FillLine(std::array<uint16_t, 256>& line, uint16_t value);
