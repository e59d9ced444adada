// The edge graph GRAPHVideoBar and its displays, for the three firmware variants.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "display/display.h"
#include "fixture.h"
#include "sensor/pictures.h"
#include "sensor/vars.h"
#include "platform/userint.h"

namespace {

constexpr int kRed = 0xFF0000;
constexpr int kDarkGreen = 0x008000;
constexpr int kGreen = 0x00FF00;

class EdgeGraphTest : public ProgramTest {
protected:
    void SetUp() override {
        StartWithoutSensor();
        ccdvirtpixel = 4096;
        pixB = 1;
        pixE = 1024;
        HWTYPE = 1;
        softversion = 0;
        hwtype = 37;
        Ledge = 300;
        Redge = 500;
        edcnt = 2;
        mvstart = 10;
        mvend = 200;
        Mvalue = 400;
        umValue = 12345;
        tol = 20;
        anaMax = 900;
        anaMin = 100;
        dynpow = 700;
    }
    GraphModel Bar() { return TestGraphModel(pHandle, PANEL_GRAPHVideoBar); }
    int IntVal(int control) {
        int32_t v = 0;
        GetCtrlVal(pHandle, control, v);
        return v;
    }
    double RealVal(int panel, int control) {
        double v = 0;
        GetCtrlVal(panel, control, v);
        return v;
    }
};

TEST_F(EdgeGraphTest, GraphDisplaysAndColoursShowThePictureOfEachVariant) {
    // words of their own in each block: a routine reading another block draws another picture
    const std::pair<int, int> words[] = {{6, 2},   {7, 10},   {8, 1000}, {9, 200},  {13, 0},  {18, 300}, {19, 1},
                                         {21, 1},  {22, 33},  {23, 777}, {24, 500}, {25, 30}, {26, 10},  {29, 4},
                                         {33, 250}, {37, 44}, {38, 888}, {39, 560}, {40, 5}, {41, 50},  {44, 2}};
    for (auto [word, value] : words) parameter[size_t(word)] = uint16_t(value);
    SetScaleFactor(2048);
    const std::pair<Variant, void (*)()> routines[] = {{Variant::Standard, PlotVIDEOBarGraph},
                                                       {Variant::V303, PlotVIDEOBarGraphV303},
                                                       {Variant::CL, PlotVIDEOBarGraphCL}};
    for (auto [variant, plot] : routines) {
        SCOPED_TRACE(int(variant));
        SetCtrlVal(pPara2, PARA2_SLIDEpower, 123);
        Ledge = 290;
        plot();  // an earlier frame: its bar and windows go
        Ledge = 450;
        Redge = 550;
        Mvalue = 530;
        plot();
        const PictureWords w = PictureWordsOf(variant, parameter, tol);
        const EdgePicture p = EdgeGraphPicture(w, LastMeasurement(), ConnectedLine());
        const ToleranceLengths lengths = LengthsOf(w, ScaleFactor());
        const GraphModel g = Bar();
        EXPECT_EQ(std::vector<double>(g.cursorX, g.cursorX + 3),
                  (std::vector<double>{double(p.position), double(p.edgeBegin), double(p.edgeEnd)}));
        EXPECT_EQ(std::vector<double>(g.cursorY, g.cursorY + 3), (std::vector<double>{0.75, 0.75, 0.75}));
        EXPECT_EQ(std::tuple(g.xAxis.mode, g.xAxis.min, g.xAxis.max), std::tuple(VAL_MANUAL, 1.0, 4096.0));
        std::vector<std::array<double, 6>> drawn, shown;  // x1, x2, y1, y2, frame and fill colour
        for (const PlotModel& r : g.plots)
            drawn.push_back({r.x1, r.x2, r.y1, r.y2, double(r.color), double(r.fillColor)});
        if (p.hasBar) shown.push_back({double(p.bar.from), double(p.bar.to), 0.25, 1.0, kRed, kRed});
        for (int i = 0; i < p.windows; ++i)
            shown.push_back({double(p.window[i].from), double(p.window[i].to), 0.0, 0.35, kGreen, kGreen});
        EXPECT_EQ(drawn, shown);
        EXPECT_EQ((std::vector{IntVal(PANEL_NUMLedge), IntVal(PANEL_NUMRedge), IntVal(PANEL_NUManaMax),
                               IntVal(PANEL_NUManaMin), IntVal(PANEL_NUManaOut), IntVal(PANEL_NUMMvalue)}),
                  (std::vector{450, 550, 900, 100, p.anaOut, 530}));
        EXPECT_DOUBLE_EQ(RealVal(pHandle, PANEL_NUMumValue), p.length);
        EXPECT_DOUBLE_EQ(RealVal(pHandle, PANEL_NUMTol), lengths.low);
        if (variant != Variant::Standard) {
            EXPECT_DOUBLE_EQ(RealVal(pHandle, PANEL_NUMTolUP), lengths.up);
        }
        const int colour = p.outOfTolerance ? kRed : kDarkGreen;
        EXPECT_EQ(GetCtrlTextBgColor(pHandle, PANEL_NUMMvalue), colour);
        EXPECT_EQ(GetCtrlTextBgColor(pHandle, PANEL_NUMumValue), colour);
        int32_t power = 0;
        GetCtrlVal(pPara2, PARA2_SLIDEpower, power);
        EXPECT_EQ(power, p.showsPower ? p.power : 123);  // the standard firmware leaves the slider alone
    }
}

}  // namespace
