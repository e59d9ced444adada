// Edge graph (GRAPHVideoBar) with its numeric displays, and the video curve (GRAPHVideo).
#include <cstdint>

#include "display/display.h"
#include "params/origin.h"
#include "params/panels.h"
#include "platform/userint.h"
#include "sensor/pictures.h"
#include "sensor/vars.h"

namespace {

constexpr int kRed = 0xFF0000;
constexpr int kDarkGreen = 0x008000;
constexpr int kGreen = 0x00FF00;

void PlotBar(Variant v) {
    const PictureWords w = PictureWordsOf(v, parameter, tol);
    const Measurement m = LastMeasurement();
    const SensorLine line = ConnectedLine();
    const EdgePicture p = EdgeGraphPicture(w, m, line);
    DisplaysFromSensor();

    if (v == Variant::V303) {
        SetCtrlVal(pHandle, PANEL_NUMMvalue, unsigned(m.mvalue));
        SetCtrlVal(pHandle, PANEL_NUManaOut, unsigned(m.mvalue));
    }
    SetCtrlVal(pHandle, PANEL_NUMLedge, int(m.ledge));
    SetCtrlVal(pHandle, PANEL_NUMRedge, int(m.redge));
    SetCtrlVal(pHandle, PANEL_NUManaMax, int(m.anaMax));
    SetCtrlVal(pHandle, PANEL_NUManaMin, int(m.anaMin));
    SetCtrlVal(pHandle, PANEL_NUManaOut, p.anaOut);
    if (p.showsPower) SetCtrlVal(pPara2, PARA2_SLIDEpower, p.power);

    const int colour = p.outOfTolerance ? kRed : kDarkGreen;
    SetCtrlTextBgColor(pHandle, PANEL_NUMumValue, colour);
    SetCtrlTextBgColor(pHandle, PANEL_NUMMvalue, colour);
    SetCtrlVal(pHandle, PANEL_NUMMvalue, unsigned(m.mvalue));
    SetCtrlVal(pHandle, PANEL_NUMumValue, p.length);
    const ToleranceLengths lengths = LengthsOf(w, ScaleFactor());
    if (v != Variant::Standard) SetCtrlVal(pHandle, PANEL_NUMTolUP, lengths.up);
    SetCtrlVal(pHandle, PANEL_NUMTol, lengths.low);

    SetAxisScalingMode(pHandle, PANEL_GRAPHVideoBar, XAXIS, VAL_MANUAL, 1.0, double(line.virtPixels));
    SetGraphCursor(pHandle, PANEL_GRAPHVideoBar, 2, p.edgeBegin, 0.75);
    SetGraphCursor(pHandle, PANEL_GRAPHVideoBar, 3, p.edgeEnd, 0.75);
    DeleteGraphPlot(pHandle, PANEL_GRAPHVideoBar, VAL_DELETE_ALL);
    SetGraphCursor(pHandle, PANEL_GRAPHVideoBar, 1, p.position, 0.75);
    if (p.hasBar)
        PlotRectangle(pHandle, PANEL_GRAPHVideoBar, p.bar.from, 0.25, p.bar.to, 1.0, kRed, kRed);
    for (int i = 0; i < p.windows; ++i)
        PlotRectangle(pHandle, PANEL_GRAPHVideoBar, p.window[i].from, 0.0, p.window[i].to, 0.35, kGreen,
                      kGreen);
}

}  // namespace

void PlotVIDEOBarGraph() { PlotBar(Variant::Standard); }

void PlotVIDEOBarGraphV303() { PlotBar(Variant::V303); }

void PlotVIDEOBarGraphCL() { PlotBar(Variant::CL); }

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
