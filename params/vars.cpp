// The program's global data and their start values, and the firmware variant rule.
#include "params/vars.h"

#include <algorithm>

#include "app/app.h"
#include "link/com232.h"
#include "params/panel.h"
#include "platform/userint.h"

std::array<uint16_t, 64> parameter{};
std::array<uint16_t, 16> pp{};

uint16_t Ledge = 0, Redge = 0;
uint32_t Mvalue = 0, umValue = 0;
uint16_t tol = 0, edcnt = 0, mvstart = 0;
uint32_t mvend = 0, dynpow = 0;
uint16_t anaMax = 0, anaMin = 0;
uint32_t in0 = 0, videoMax = 1, raw15 = 0;

int target = RAM;
int stop_flag = 1;

std::array<double, 256> xArray = [] {
    std::array<double, 256> a{};
    for (int i = 0; i < 256; ++i) a[i] = 4.0 * i;
    return a;
}();
std::array<double, 256> xArray256 = [] {
    std::array<double, 256> a{};
    for (int i = 0; i < 256; ++i) a[i] = i;
    return a;
}();
std::array<uint16_t, 256> adcbuf{}, thdArray{}, trgArray{}, REFArray{}, upTHDArray{}, loTHDArray{};
std::array<uint16_t, 2050> linArray{};

std::string szSoftVersion = "Version 3.09";
std::string szSoftName = "KRYTA-LT-Scope";

namespace {

// Start values of a 15-word block, per variant.
constexpr std::array<uint16_t, 15> kStandardBlock = {500, 1, 1, 1, 1, 1024, 512, 100,
                                                     1,   0, 0, 0, 0, 1,    40};
constexpr std::array<uint16_t, 15> kV303Block = {500, 1, 1, 1, 1, 1024, 512, 100,
                                                 100, 1, 0, 0, 0, 1,    40};
constexpr std::array<uint16_t, 15> kCLBlock = {500, 1, 1, 1, 1, 1024, 512, 100,
                                               100, 1, 0, 0, 65535, 40, 0};

}  // namespace

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

uint32_t ScaleFactor() { return uint32_t(parameter[60]) | uint32_t(parameter[61]) << 16; }

void SetScaleFactor(uint32_t value) {
    parameter[60] = uint16_t(value & 0xFFFF);
    parameter[61] = uint16_t(value >> 16);
}

int32_t CalOffset() {
    return int32_t(uint32_t(parameter[62]) | uint32_t(parameter[63]) << 16);
}

void SetCalOffset(int32_t value) {
    uint32_t u = uint32_t(value);
    parameter[62] = uint16_t(u & 0xFFFF);
    parameter[63] = uint16_t(u >> 16);
}

void FillLine(std::array<uint16_t, 256>& line, uint16_t value) { line.fill(value); }

void InitVars() {
    // 1. parameter words
    parameter.fill(0);
    parameter[0] = 85;
    parameter[1] = 1;
    parameter[2] = 0;
    for (int i = 0; i < 15; ++i) {
        parameter[3 + i] = kStandardBlock[i];
        parameter[18 + i] = kV303Block[i];
        parameter[33 + i] = kCLBlock[i];
    }
    parameter[48] = 256;
    SetScaleFactor(16384);
    SetCalOffset(int32_t(YOFFSET));

    // 2. state, and the identification as before any sensor answered (the program may be
    // started more than once in one process, as the tests do)
    com = 1;
    target = RAM;
    rx_flag = 0;
    graph_flag = 0;
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
    softversion = 0;
    ccdtype = 1;
    ccdresolution = ccdsubpixel = ccdpixB = ccdpixE = adcmax = 0;
    ident_flag = 0;
    szVersion.clear();
    pp.fill(0);
    adcbuf.fill(0);
    Ledge = Redge = tol = edcnt = mvstart = anaMax = anaMin = 0;
    Mvalue = umValue = mvend = dynpow = in0 = raw15 = 0;

    // 3. texts
    szStatus = "InitVars";
    ShowStatus(szStatus);
    szSoftVersion = "Version 3.09";
    szSoftName = "KRYTA-LT-Scope";

    // 4. header
    ShowLogo(2);

    // 5. pages
    SetPanelPos(pPara1, 105, 8);
    SetPanelPos(pPara2, 105, 8);
    SetPanelPos(pRec, 105, 8);
    SetPanelPos(pCalib, 105, 8);

    // 6. the standard block takes the controls' initial values
    GetPanelValues();

    // 7. edge graph
    DeleteGraphPlot(pHandle, PANEL_GRAPHVideoBar, VAL_DELETE_ALL);
    SetGraphCursor(pHandle, PANEL_GRAPHVideoBar, 1, parameter[9], 1.0);
    SetGraphCursor(pHandle, PANEL_GRAPHVideoBar, 2, parameter[7], 1.0);
    SetGraphCursor(pHandle, PANEL_GRAPHVideoBar, 3, parameter[8], 1.0);
    double sp = parameter[9], tl = parameter[10];
    PlotRectangle(pHandle, PANEL_GRAPHVideoBar, sp - tl, 0.0, sp + tl, 0.25, 0x00FF00, 0x00FF00);

    // 8. series
    for (int i = 0; i < 256; ++i) {
        xArray256[i] = i;
        xArray[i] = 4.0 * i;
    }
    FillLine(thdArray, uint16_t(int32_t(ADCMAX) * parameter[17] / 100));

    // 9. linearisation table
    std::fill(linArray.begin(), linArray.begin() + 2048, uint16_t(0));
}
