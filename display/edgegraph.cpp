// Edge graph (GRAPHVideoBar) with its numeric displays, and the video curve (GRAPHVideo).
#include <cstdint>

#include "display/display.h"
#include "params/panels.h"
#include "platform/userint.h"
#include "sensor/vars.h"

namespace {

constexpr int kRed = 0xFF0000;
constexpr int kDarkGreen = 0x008000;
constexpr int kGreen = 0x00FF00;

enum class Kind { Standard, V303, CL };

// The parameter words and tolerance model of one firmware variant.
struct BarInputs {
    Kind kind;
    int evalMode, edgeBegin, edgeEnd, setPoint;
    int up, low;  // U and L (standard: the sensor's tol on both sides)
    int anaMode;
    int power, powerMode;  // V303 and CL only
};

void ShowNumerics(const BarInputs& in) {
    if (in.kind == Kind::V303) {
        SetCtrlVal(pHandle, PANEL_NUMMvalue, unsigned(Mvalue));
        SetCtrlVal(pHandle, PANEL_NUManaOut, unsigned(Mvalue));
    }
    SetCtrlVal(pHandle, PANEL_NUMLedge, int(Ledge));
    SetCtrlVal(pHandle, PANEL_NUMRedge, int(Redge));
    SetCtrlVal(pHandle, PANEL_NUManaMax, int(anaMax));
    SetCtrlVal(pHandle, PANEL_NUManaMin, int(anaMin));
    int out;
    switch (in.anaMode) {
    case 2: out = anaMax; break;
    case 3: out = anaMin; break;
    case 4: out = int(anaMax) - int(anaMin); break;
    default: out = int(Mvalue); break;
    }
    SetCtrlVal(pHandle, PANEL_NUManaOut, out);
    if (in.kind != Kind::Standard) {
        // the power slider follows the regulated power in power mode 1
        SetCtrlVal(pPara2, PARA2_SLIDEpower, in.powerMode == 1 ? int(dynpow) : in.power);
    }
}

int MeasuredPosition(const BarInputs& in) {
    const int sum = (int(Ledge) + int(Redge)) / 2;
    const bool edgeHardware = in.kind == Kind::CL || HWTYPE == 1;
    switch (in.evalMode) {
    case 0: return edgeHardware ? Ledge : sum;
    case 1: return edgeHardware ? Redge : sum;
    default: return (Ledge == 0 || Redge == 0) ? 1 : sum;
    }
}

void PlotBar(const BarInputs& in) {
    const int virt = ccdvirtpixel;
    ShowNumerics(in);
    int pos = MeasuredPosition(in);

    // tolerance colour of the measured value
    int upper = in.setPoint + in.up;
    int lower = in.setPoint - in.low;
    if (in.kind == Kind::CL) {
        if (upper > virt) upper = virt;
        if (lower < 1) lower = 1;
    }
    const int mv = int(Mvalue);
    const int colour = (mv > upper || mv < lower) ? kRed : kDarkGreen;
    SetCtrlTextBgColor(pHandle, PANEL_NUMumValue, colour);
    SetCtrlTextBgColor(pHandle, PANEL_NUMMvalue, colour);

    SetCtrlVal(pHandle, PANEL_NUMMvalue, unsigned(Mvalue));
    SetCtrlVal(pHandle, PANEL_NUMumValue, double(umValue) / 1000.0);
    const double f = double(ScaleFactor());
    if (in.kind == Kind::Standard) {
        SetCtrlVal(pHandle, PANEL_NUMTol, f * tol / 16384000.0);
    } else {
        SetCtrlVal(pHandle, PANEL_NUMTolUP, f * in.up / 1024000.0);
        SetCtrlVal(pHandle, PANEL_NUMTol, f * in.low / 1024000.0);
    }

    SetAxisScalingMode(pHandle, PANEL_GRAPHVideoBar, XAXIS, VAL_MANUAL, 1.0, double(virt));
    SetGraphCursor(pHandle, PANEL_GRAPHVideoBar, 2, in.edgeBegin, 0.75);
    SetGraphCursor(pHandle, PANEL_GRAPHVideoBar, 3, in.edgeEnd, 0.75);
    DeleteGraphPlot(pHandle, PANEL_GRAPHVideoBar, VAL_DELETE_ALL);

    if (pos < pixB) pos = pixB;
    if (pos > pixE) pos = pixE;
    if (pos < 1) pos = 1;
    if (pos > virt) pos = virt;
    SetGraphCursor(pHandle, PANEL_GRAPHVideoBar, 1, pos, 0.75);

    // the object between its edges
    if (edcnt == 1) {
        if (mvstart < mvend)
            PlotRectangle(pHandle, PANEL_GRAPHVideoBar, Ledge, 0.25, pixE, 1.0, kRed, kRed);
        else
            PlotRectangle(pHandle, PANEL_GRAPHVideoBar, 1, 0.25, Ledge, 1.0, kRed, kRed);
    } else if (edcnt >= 2) {
        PlotRectangle(pHandle, PANEL_GRAPHVideoBar, Ledge, 0.25, Redge, 1.0, kRed, kRed);
    }

    if (in.kind != Kind::Standard) return;

    // tolerance windows of the standard firmware
    const int s = in.setPoint;
    const int t = tol;
    if (in.evalMode == 2) {
        if (edcnt == 0) return;
        int a = pos - s / 2 - t / 2;
        int b = pos - s / 2 + t / 2;
        if (a < 0) a = 1;
        if (b > virt - 1) b = virt;
        PlotRectangle(pHandle, PANEL_GRAPHVideoBar, a, 0.0, b, 0.35, kGreen, kGreen);
        PlotRectangle(pHandle, PANEL_GRAPHVideoBar, pos + s / 2 - t / 2, 0.0, pos + s / 2 + t / 2,
                      0.35, kGreen, kGreen);
    } else {
        int a = s - t;
        int b = s + t;
        if (a < 0) a = 1;
        if (b > virt - 1) b = virt;
        PlotRectangle(pHandle, PANEL_GRAPHVideoBar, a, 0.0, b, 0.35, kGreen, kGreen);
    }
}

}  // namespace

void PlotVIDEOBarGraph() {
    const int t = tol;
    PlotBar({Kind::Standard, parameter[6], parameter[7], parameter[8], parameter[9], t, t,
             parameter[13], 0, 0});
}

void PlotVIDEOBarGraphV303() {
    const bool sensorTol = parameter[31] == 1 || parameter[31] == 3;
    const int up = sensorTol ? tol : parameter[25];
    const int low = sensorTol ? tol : parameter[26];
    PlotBar({Kind::V303, parameter[21], parameter[22], parameter[23], parameter[24], up, low,
             parameter[29], parameter[18], parameter[19]});
}

void PlotVIDEOBarGraphCL() {
    PlotBar({Kind::CL, parameter[36], parameter[37], parameter[38], parameter[39], parameter[40],
             parameter[41], parameter[44], parameter[33], parameter[34]});
}

void PlotVIDEOCurve(const uint16_t* video, const uint16_t* threshold, const double* x) {
    DeleteGraphPlot(pHandle, PANEL_GRAPHVideo, VAL_DELETE_ALL);
    PlotXY(pHandle, PANEL_GRAPHVideo, x, video, 256, VAL_CONNECTED_POINTS, VAL_SMALL_SOLID_SQUARE,
           VAL_SOLID, kRed);
    PlotXY(pHandle, PANEL_GRAPHVideo, x, threshold, 256, VAL_CONNECTED_POINTS,
           VAL_SMALL_SOLID_SQUARE, VAL_SOLID, kDarkGreen);
}

void RedrawVIDEOCurve() {
    ShowInSharedPlace(PANEL_GRAPHVideo);
    PlotVIDEOCurve(adcbuf.data(), thdArray.data(), xArray.data());
}
