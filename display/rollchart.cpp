// Roll chart of the measured value (GRAPHRaw), the trigger-buffer curve (GRAPHData) and the
// array helpers they use.
#include <algorithm>
#include <cstdint>

#include "display/display.h"
#include "params/panels.h"
#include "platform/userint.h"
#include "sensor/pictures.h"
#include "sensor/vars.h"

std::array<double, 600> arrayNORM{};

namespace {

constexpr int kRed = 0xFF0000;
constexpr int kDarkGreen = 0x008000;
constexpr int kBlack = 0x000000;
constexpr int kDarkGrey = 0x808080;

constexpr int kTraceColors[6] = {kDarkGreen, kDarkGreen, kBlack, kRed, kRed, kRed};

// One sample into the history and the chart redrawn; V303 shows the tolerance lengths and
// colours NUMMvalue as well.
void PlotRoll(Variant v) {
    const PictureWords w = PictureWordsOf(v, parameter, tol);
    const RollSample r = RollChartSample(w, LastMeasurement(), ccdvirtpixel);

    // age the history by one sample
    Shift(arrayNORM.data(), 600, -6, arrayNORM.data());

    if (v == Variant::V303) {
        const ToleranceLengths lengths = LengthsOf(w, ScaleFactor());
        SetCtrlVal(pHandle, PANEL_NUMTolUP, lengths.up);
        SetCtrlVal(pHandle, PANEL_NUMTol, lengths.low);
    }
    const int colour = r.outOfTolerance ? kRed : kDarkGreen;
    SetCtrlTextBgColor(pHandle, PANEL_NUMumValue, colour);
    if (v == Variant::V303) SetCtrlTextBgColor(pHandle, PANEL_NUMMvalue, colour);

    std::copy(r.traces.begin(), r.traces.end(), arrayNORM.begin() + 594);

    SetStripChartPointsPerScreen(pHandle, PANEL_GRAPHRaw, 101);
    SetStripChartContinuous(pHandle, PANEL_GRAPHRaw, true);
    int zoom = 0;
    GetCtrlVal(pHandle, PANEL_TOGGButtonZoom, zoom);
    if (zoom == 0)
        SetAxisScalingMode(pHandle, PANEL_GRAPHRaw, YAXIS, VAL_MANUAL, 0.0, double(ccdvirtpixel));
    else
        SetAxisScalingMode(pHandle, PANEL_GRAPHRaw, YAXIS, VAL_MANUAL, double(r.zoomMin), double(r.zoomMax));
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

void PlotRAWGraph() { PlotRoll(Variant::Standard); }

void PlotRAWGraphV303() { PlotRoll(Variant::V303); }

void PlotRAWGraphCL() { PlotRoll(Variant::CL); }

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
