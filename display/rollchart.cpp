// Roll chart of the measured value (GRAPHRaw), the trigger-buffer curve (GRAPHData) and the
// array helpers they use.
#include <algorithm>
#include <cstdint>

#include "display/display.h"
#include "params/panels.h"
#include "platform/userint.h"
#include "sensor/vars.h"

std::array<double, 600> arrayNORM{};

namespace {

constexpr int kRed = 0xFF0000;
constexpr int kDarkGreen = 0x008000;
constexpr int kBlack = 0x000000;
constexpr int kDarkGrey = 0x808080;

constexpr int kTraceColors[6] = {kDarkGreen, kDarkGreen, kBlack, kRed, kRed, kRed};

// The inputs that differ between the firmware variants.
struct RollInputs {
    int setPoint;  // S
    int up;        // U
    int low;       // L
    int anaMode;
};

// One sample into the history and the chart redrawn; `v303` adds the tolerance lengths and
// colours NUMMvalue as well.
void PlotRoll(const RollInputs& in, bool v303) {
    const int virt = ccdvirtpixel;
    const int mv = int(Mvalue);

    // analog-output traces
    int high = 1;
    int low = virt - 1;
    switch (in.anaMode) {
    case 0:
    case 1:
        high = low = mv;
        break;
    case 2:
        high = anaMax;
        low = mv;
        break;
    case 3:
        high = mv;
        low = (anaMin == virt - 1) ? 1 : anaMin;
        break;
    case 4:
        high = anaMax;
        low = anaMin;
        break;
    default:
        break;
    }

    // age the history by one sample
    Shift(arrayNORM.data(), 600, -6, arrayNORM.data());

    if (v303) {
        const double f = double(ScaleFactor());
        SetCtrlVal(pHandle, PANEL_NUMTolUP, f * in.up / 1024000.0);
        SetCtrlVal(pHandle, PANEL_NUMTol, f * in.low / 1024000.0);
    }

    // tolerance limits, kept on the line
    int upper = in.setPoint + in.up;
    int lower = in.setPoint - in.low;
    if (upper > virt - 1) upper = virt - 1;
    if (lower < 1) lower = 1;

    // zoom window, each side on its own tolerance
    int ymin, ymax;
    if (in.low < 40) {
        ymin = in.setPoint - 40;
        if (mv < ymin) ymin = mv - 60;
    } else {
        ymin = in.setPoint - 2 * in.low;
        if (mv < ymin) ymin = mv - 100;
    }
    if (in.up < 40) {
        ymax = in.setPoint + 40;
        if (mv > ymax) ymax = mv + 60;
    } else {
        ymax = in.setPoint + 2 * in.up;
        if (mv > ymax) ymax = mv + 100;
    }
    if (ymax > virt - 1) ymax = virt - 1;
    if (ymin < 1) ymin = 1;

    const int colour = (mv > upper || mv < lower) ? kRed : kDarkGreen;
    SetCtrlTextBgColor(pHandle, PANEL_NUMumValue, colour);
    if (v303) SetCtrlTextBgColor(pHandle, PANEL_NUMMvalue, colour);

    arrayNORM[594] = upper;
    arrayNORM[595] = lower;
    arrayNORM[596] = in.setPoint;
    arrayNORM[597] = mv;
    arrayNORM[598] = low;
    arrayNORM[599] = high;

    SetStripChartPointsPerScreen(pHandle, PANEL_GRAPHRaw, 101);
    SetStripChartContinuous(pHandle, PANEL_GRAPHRaw, true);
    int zoom = 0;
    GetCtrlVal(pHandle, PANEL_TOGGButtonZoom, zoom);
    if (zoom == 0)
        SetAxisScalingMode(pHandle, PANEL_GRAPHRaw, YAXIS, VAL_MANUAL, 0.0, double(virt));
    else
        SetAxisScalingMode(pHandle, PANEL_GRAPHRaw, YAXIS, VAL_MANUAL, double(ymin), double(ymax));
    // the chart must hold six traces before traces 2 to 6 can take their colours
    SetStripChartTraces(pHandle, PANEL_GRAPHRaw, 6);
    for (int t = 0; t < 6; ++t) SetTraceColor(pHandle, PANEL_GRAPHRaw, t + 1, kTraceColors[t]);
    PlotStripChart(pHandle, PANEL_GRAPHRaw, arrayNORM.data(), 600);
}

}  // namespace

void ShowInSharedPlace(int graph) {
    for (int g : {PANEL_GRAPHRaw, PANEL_GRAPHVideo, PANEL_GRAPHData})
        if (g != graph) SetCtrlVisible(pHandle, g, false);
    SetCtrlVisible(pHandle, graph, true);
}

int Shift(const double* input, int count, int shifts, double* output) {
    if (count < 1) return -20003;
    if (shifts >= count || -shifts >= count) return -20102;
    if (shifts < 0) {
        // towards lower indices: ascending order keeps an in-place shift intact
        for (int i = 0; i < count; ++i) {
            const int src = i - shifts;
            output[i] = src < count ? input[src] : 0.0;
        }
    } else {
        for (int i = count - 1; i >= 0; --i) {
            const int src = i - shifts;
            output[i] = src >= 0 ? input[src] : 0.0;
        }
    }
    return 0;
}

int Copy1D(const double* input, int count, double* output) {
    if (count < 1) return -20003;
    std::copy(input, input + count, output);
    return 0;
}

void PlotRAWGraph() {
    const int t = tol;
    PlotRoll({parameter[9], t, t, parameter[13]}, false);
}

void PlotRAWGraphV303() {
    const bool sensorTol = parameter[31] == 1 || parameter[31] == 3;
    const int up = sensorTol ? tol : parameter[25];
    const int low = sensorTol ? tol : parameter[26];
    PlotRoll({parameter[24], up, low, parameter[29]}, true);
}

void PlotRAWGraphCL() {
    PlotRoll({parameter[39], parameter[40], parameter[41], parameter[44]}, false);
}

void PlotDATACurve(const uint16_t* samples, const double* x) {
    DeleteGraphPlot(pHandle, PANEL_GRAPHData, VAL_DELETE_ALL);
    PlotXY(pHandle, PANEL_GRAPHData, x, samples, 256, VAL_CONNECTED_POINTS, VAL_SMALL_SOLID_SQUARE,
           VAL_SOLID, kRed);
    PlotXY(pHandle, PANEL_GRAPHData, x, trgArray.data(), 256, VAL_CONNECTED_POINTS,
           VAL_SMALL_SOLID_SQUARE, VAL_SOLID, kDarkGrey);
    PlotXY(pHandle, PANEL_GRAPHData, x, upTHDArray.data(), 256, VAL_CONNECTED_POINTS,
           VAL_SMALL_SOLID_SQUARE, VAL_SOLID, kDarkGreen);
    PlotXY(pHandle, PANEL_GRAPHData, x, loTHDArray.data(), 256, VAL_CONNECTED_POINTS,
           VAL_SMALL_SOLID_SQUARE, VAL_SOLID, kDarkGreen);
    // the set-point as a dashed reference line
    PlotXY(pHandle, PANEL_GRAPHData, x, REFArray.data(), 256, VAL_THIN_LINE, VAL_SMALL_SOLID_SQUARE,
           VAL_DASH, kBlack);
}

void RedrawDATACurve() {
    ShowInSharedPlace(PANEL_GRAPHData);
    PlotDATACurve(adcbuf.data(), xArray256.data());
}
