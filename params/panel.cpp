// Transfer of the parameter words to and from the controls of the panels, one pair of
// functions per firmware variant (standard, V303, CL).
#include "params/panel.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "params/panels.h"
#include "platform/userint.h"
#include "sensor/rules.h"
#include "sensor/vars.h"

namespace {

// A control that holds one word of a block: slot within the block, panel, control.
struct Binding {
    int slot;
    int* panel;
    int control;
};

// Slots common to every variant.
#define COMMON_BINDINGS                                   \
    {0, &pPara2, PARA2_SLIDEpower}, {1, &pPara2, PARA2_DROPpowermode}, \
    {2, &pPara1, PARA1_DROPpolarity}, {3, &pPara1, PARA1_DROPevalmode}, \
    {4, &pHandle, PANEL_NEDITEdgeLeft}, {5, &pHandle, PANEL_NEDITEdgeRight}, \
    {6, &pPara2, PARA2_NEDITTeach}

const Binding kStandard[] = {
    COMMON_BINDINGS,
    {7, &pPara1, PARA1_NEDITTolerance},
    {8, &pPara1, PARA1_DROPaverage},
    {9, &pPara1, PARA1_DROPtrigmode},
    {10, &pPara1, PARA1_DROPanaMode},
    {11, &pPara1, PARA1_BINSWoption},
    {12, &pCalib, CALIB_BINSWopmode},
    {13, &pPara1, PARA1_DROPhardware},
    {14, &pPara2, PARA2_SLIDEVideoThreshold},
};

const Binding kV303[] = {
    COMMON_BINDINGS,
    {7, &pPara1, PARA1_NEDITToleranceUP},
    {8, &pPara1, PARA1_NEDITTolerance},
    {9, &pPara1, PARA1_DROPaverage},
    {10, &pPara1, PARA1_DROPtrigmode},
    {11, &pPara1, PARA1_DROPanaMode},
    {12, &pCalib, CALIB_BINSWopmode},
    {13, &pPara1, PARA1_DROPhardware},
    {14, &pPara2, PARA2_SLIDEVideoThreshold},
};

const Binding kCL[] = {
    COMMON_BINDINGS,
    {7, &pPara1, PARA1_NEDITToleranceUP},
    {8, &pPara1, PARA1_NEDITTolerance},
    {9, &pPara1, PARA1_DROPaverage},
    {10, &pPara1, PARA1_DROPtrigmode},
    {11, &pPara1, PARA1_DROPanaMode},
    {12, &pPara1, PARA1_DROPhold},
    {13, &pPara2, PARA2_SLIDEVideoThreshold},
};

#undef COMMON_BINDINGS

template <size_t N>
void ReadControls(const Binding (&table)[N], int base) {
    for (const Binding& b : table) {
        uint16_t v = parameter[base + b.slot];
        if (GetCtrlVal(*b.panel, b.control, v) >= 0) parameter[base + b.slot] = v;
    }
}

template <size_t N>
void WriteControls(const Binding (&table)[N], int base) {
    for (const Binding& b : table) SetCtrlVal(*b.panel, b.control, unsigned(parameter[base + b.slot]));
}

// NUMCalFactor as the fixed-point scale factor: factor x unit, truncated toward zero; values of
// 2^31 and above are kept as unsigned values, and what lies beyond 32 bits is the largest factor.
// A field that still shows the factor of the word in force gives that word back unchanged: single
// precision cannot tell every 32-bit word apart, and an untouched field must not change the word.
void ReadScaleFactor(double unit) {
    float f = 0.0f;
    if (GetCtrlVal(pCalib, CALIB_NUMCalFactor, f) < 0) return;
    if (f == float(double(ScaleFactor()) / unit)) return;
    const double product = double(f) * unit;
    uint32_t stored = 0;
    if (product >= 4294967295.0) stored = 0xFFFFFFFFu;
    else if (product > 0) stored = uint32_t(product);
    SetScaleFactor(stored);
}

void ReadCalOffset() {
    int32_t off = CalOffset();
    if (GetCtrlVal(pCalib, CALIB_NUMCalOffset, off) >= 0) SetCalOffset(off);
}

void WriteCalibration(double unit) {
    SetCtrlVal(pCalib, CALIB_NUMCalOffset, int(CalOffset()));
    SetCtrlVal(pCalib, CALIB_NUMCalFactor, double(float(double(ScaleFactor()) / unit)));
}

uint16_t VideoLine(uint16_t videoThreshold) { return ThresholdLine(ADCMAX, videoThreshold); }

// Edge graph after a transfer: x range, then the evaluation cursors and the frame of the line.
void EdgeGraphAxis() {
    SetAxisScalingMode(pHandle, PANEL_GRAPHVideoBar, XAXIS, VAL_MANUAL, 1, ccdvirtpixel);
}

void EdgeGraphCursors(uint16_t edgeBegin, uint16_t edgeEnd) {
    SetGraphCursor(pHandle, PANEL_GRAPHVideoBar, 2, edgeBegin, 0.75);
    SetGraphCursor(pHandle, PANEL_GRAPHVideoBar, 3, edgeEnd, 0.75);
    // The grey box covers the whole graph, so whatever was drawn before it can go: without this,
    // every GET would pile one more box onto the graph for as long as no measurement clears it.
    DeleteGraphPlot(pHandle, PANEL_GRAPHVideoBar, VAL_DELETE_ALL);
    PlotRectangle(pHandle, PANEL_GRAPHVideoBar, 0, 0, ccdvirtpixel, 1.0, 0xA0A0A0, 0xA0A0A0);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// panels to words

void GetPanelValues() {
    ReadControls(kStandard, 3);
    ReadCalOffset();
    ReadScaleFactor(16384.0);
    FillLine(thdArray, VideoLine(parameter[17]));
}

void GetPanelValuesV303() {
    ReadControls(kV303, 18);
    uint16_t trig = parameter[48];
    if (GetCtrlVal(pPara2, PARA2_NUMTriggThreshold, trig) >= 0) parameter[48] = trig;
    ReadCalOffset();
    ReadScaleFactor(1024.0);
    FillLine(thdArray, VideoLine(parameter[32]));
    FillLine(trgArray, parameter[48]);
    uint16_t lower, upper;
    ToleranceLimits(parameter[24], parameter[25], parameter[26], ccdvirtpixel, lower, upper);
    FillLine(loTHDArray, lower);
    FillLine(upTHDArray, upper);
}

void GetPanelValuesCL() {
    ReadControls(kCL, 33);
    ReadCalOffset();
    ReadScaleFactor(1024.0);
    FillLine(thdArray, VideoLine(parameter[46]));
}

// ---------------------------------------------------------------------------------------------
// words to panels

void SetPanelValues() {
    ApplyRangeRules(Variant::Standard, parameter, ccdvirtpixel);
    WriteControls(kStandard, 3);
    SetCtrlVal(pPara2, PARA2_NUMTriggThreshold, unsigned(parameter[48]));
    WriteCalibration(16384.0);
    if (ccdpixE < 256) ccdpixE = 256;
    FillLine(thdArray, VideoLine(parameter[17]));
    FillLine(trgArray, parameter[48]);
    EdgeGraphAxis();
    double s = ScaleFactor();
    SetCtrlVal(pHandle, PANEL_NUMTolUP, s * parameter[10] / 16384000.0);
    SetCtrlVal(pHandle, PANEL_NUMTol, s * parameter[10] / 16384000.0);
    EdgeGraphCursors(parameter[7], parameter[8]);
    double sp = parameter[9], tl = parameter[10];
    PlotRectangle(pHandle, PANEL_GRAPHVideoBar, sp - tl, 0, sp + tl, 0.25, 0x00FF00, 0x00FF00);
}

void SetPanelValuesV303() {
    ApplyRangeRules(Variant::V303, parameter, ccdvirtpixel);
    WriteControls(kV303, 18);
    SetCtrlVal(pPara2, PARA2_NUMTriggThreshold, unsigned(parameter[48]));
    WriteCalibration(1024.0);
    uint16_t lower, upper;
    ToleranceLimits(parameter[24], parameter[25], parameter[26], ccdvirtpixel, lower, upper);
    if (ccdpixE < 256) ccdpixE = 256;
    FillLine(thdArray, VideoLine(parameter[32]));
    FillLine(upTHDArray, upper);
    FillLine(loTHDArray, lower);
    FillLine(trgArray, parameter[48]);
    FillLine(REFArray, parameter[24]);
    EdgeGraphAxis();
    double s = ScaleFactor();
    SetCtrlVal(pHandle, PANEL_NUMTolUP, s * parameter[25] / 1024000.0);
    SetCtrlVal(pHandle, PANEL_NUMTol, s * parameter[26] / 1024000.0);
    EdgeGraphCursors(parameter[22], parameter[23]);

    bool tolDimmed = parameter[31] == 1 || parameter[31] == 3;
    SetCtrlDimmed(pPara1, PARA1_NEDITToleranceUP, tolDimmed);
    SetCtrlDimmed(pPara1, PARA1_NEDITTolerance, tolDimmed);
    bool noTrigger = parameter[28] < 3;
    SetCtrlDimmed(pHandle, PANEL_BTNData, noTrigger);
    SetCtrlDimmed(pPara2, PARA2_NUMTriggThreshold, noTrigger);
}

void SetPanelValuesCL() {
    ApplyRangeRules(Variant::CL, parameter, ccdvirtpixel);
    WriteControls(kCL, 33);
    WriteCalibration(1024.0);
    if (ccdpixE < 256) ccdpixE = 256;
    FillLine(thdArray, VideoLine(parameter[46]));
    EdgeGraphAxis();
    double s = ScaleFactor();
    SetCtrlVal(pHandle, PANEL_NUMTolUP, s * parameter[40] / 1024000.0);
    SetCtrlVal(pHandle, PANEL_NUMTol, s * parameter[41] / 1024000.0);
    EdgeGraphCursors(parameter[37], parameter[38]);
}

void GetPanelValuesOfVariant() {
    switch (ParamVariant()) {
        case Variant::CL: GetPanelValuesCL(); break;
        case Variant::V303: GetPanelValuesV303(); break;
        default: GetPanelValues(); break;
    }
}

void SetPanelValuesOfVariant() {
    switch (ParamVariant()) {
        case Variant::CL: SetPanelValuesCL(); break;
        case Variant::V303: SetPanelValuesV303(); break;
        default: SetPanelValues(); break;
    }
}
