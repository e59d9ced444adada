// The sensor's data and their start values, and the firmware variant rule.
#include "sensor/vars.h"

#include <algorithm>

#include "sensor/frame.h"

std::array<uint16_t, 64> parameter{};
std::array<uint16_t, 16> pp{};

uint16_t Ledge = 0, Redge = 0;
uint32_t Mvalue = 0, umValue = 0;
uint16_t tol = 0, edcnt = 0, mvstart = 0;
uint32_t mvend = 0, dynpow = 0;
uint16_t anaMax = 0, anaMin = 0;
uint32_t in0 = 0, videoMax = 1, raw15 = 0;

uint16_t ccdtype = 1, ccdmaxpixel = 1024, ccdresolution = 0, pcbtype = 101, ccdvirtpixel = 4096,
         ccdsubpixel = 0, ccdpixB = 0, ccdpixE = 0, softversion = 0, hwtype = 37, adcmax = 0;
int HWTYPE = 0, ADCMAX = 255, YAXISMAX = 2048;
uint16_t pixB = 1, pixE = 1024;
std::string szVersion;

int target = RAM;
int stop_flag = 1;

std::array<double, 256> xArray{}, xArray256{};
std::array<uint16_t, 256> adcbuf{}, thdArray{}, trgArray{}, REFArray{}, upTHDArray{}, loTHDArray{};
std::array<uint16_t, 2050> linArray{};

std::string szSoftVersion = "Version 3.09";
std::string szSoftName = "KRYTA-LT-Scope";

namespace {

// Start values of a 15-word block, per variant.
constexpr std::array<uint16_t, 15> kStandardBlock = {500, 1, 1, 1, 1, 1024, 512, 100, 1, 0, 0, 0, 0, 1, 40};
constexpr std::array<uint16_t, 15> kV303Block = {500, 1, 1, 1, 1, 1024, 512, 100, 100, 1, 0, 0, 0, 1, 40};
constexpr std::array<uint16_t, 15> kCLBlock = {500, 1, 1, 1, 1, 1024, 512, 100, 100, 1, 0, 0, 65535, 40, 0};

void SetWide(std::array<uint16_t, 64>& words, int low, uint32_t value) {
    words[low] = uint16_t(value & 0xFFFF);
    words[low + 1] = uint16_t(value >> 16);
}

}  // namespace

void SetParameterStartValues(std::array<uint16_t, 64>& words) {
    words.fill(0);
    words[0] = SYNC_PROGRAM;
    words[1] = 1;
    words[2] = 0;
    std::copy(kStandardBlock.begin(), kStandardBlock.end(), words.begin() + 3);
    std::copy(kV303Block.begin(), kV303Block.end(), words.begin() + 18);
    std::copy(kCLBlock.begin(), kCLBlock.end(), words.begin() + 33);
    words[48] = 256;
    SetWide(words, 60, 16384);
    SetWide(words, 62, YOFFSET);
}

void SetStartValues() {
    SetParameterStartValues(parameter);
    target = RAM;
    stop_flag = 1;
    pixB = 1;
    pixE = 1024;
    ccdmaxpixel = 1024;
    ccdvirtpixel = 4096;
    videoMax = 1;
    pcbtype = 101;
    hwtype = 37;
    YAXISMAX = 2048;
    ADCMAX = 255;
    HWTYPE = 0;
    // the identification as before any sensor answered (a process may connect more than once)
    softversion = 0;
    ccdtype = 1;
    ccdresolution = ccdsubpixel = ccdpixB = ccdpixE = adcmax = 0;
    szVersion.clear();
    pp.fill(0);
    adcbuf.fill(0);
    Ledge = Redge = tol = edcnt = mvstart = anaMax = anaMin = 0;
    Mvalue = umValue = mvend = dynpow = in0 = raw15 = 0;
    for (int i = 0; i < 256; ++i) {
        xArray256[i] = i;
        xArray[i] = 4.0 * i;
    }
    FillLine(thdArray, uint16_t(int32_t(ADCMAX) * parameter[17] / 100));
    std::fill(linArray.begin(), linArray.begin() + 2048, uint16_t(0));
}

Variant ParamVariant() {
    if (hwtype > 20000) return Variant::CL;
    if (softversion >= 303) return Variant::V303;
    return Variant::Standard;
}

Variant DisplayVariant() {
    if (HWTYPE == 3) return Variant::CL;
    if (softversion >= 303) return Variant::V303;
    return Variant::Standard;
}

int BlockStart(Variant v) {
    switch (v) {
    case Variant::V303: return 18;
    case Variant::CL: return 33;
    default: return 3;
    }
}

double ScaleUnit(Variant v) { return v == Variant::Standard ? 16384.0 : 1024.0; }

uint32_t ScaleFactor() { return uint32_t(parameter[60]) | uint32_t(parameter[61]) << 16; }

void SetScaleFactor(uint32_t value) { SetWide(parameter, 60, value); }

int32_t CalOffset() { return int32_t(uint32_t(parameter[62]) | uint32_t(parameter[63]) << 16); }

void SetCalOffset(int32_t value) { SetWide(parameter, 62, uint32_t(value)); }

void FillLine(std::array<uint16_t, 256>& line, uint16_t value) { line.fill(value); }
