// The edge graph GRAPHVideoBar and its displays, for the three firmware variants.
#include <gtest/gtest.h>

#include "display/display.h"
#include "fixture.h"
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
        SetScaleFactor(16384);
        parameter[6] = 0;    // standard evaluation mode
        parameter[7] = 10;   // E-BEG
        parameter[8] = 1000; // E-END
        parameter[9] = 400;  // set-point
        parameter[13] = 0;
    }
    GraphModel Bar() { return TestGraphModel(pHandle, PANEL_GRAPHVideoBar); }
    static std::vector<PlotModel> Rects(const GraphModel& g, int colour) {
        std::vector<PlotModel> out;
        for (const auto& p : g.plots)
            if (p.rectangle && p.color == colour) out.push_back(p);
        return out;
    }
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

TEST_F(EdgeGraphTest, BarFollowsEdgeCountAndWindowSide) {
    edcnt = 1;
    Ledge = 300;
    pixE = 1000;
    mvstart = 10;
    mvend = 200;
    PlotVIDEOBarGraph();
    auto bars = Rects(Bar(), kRed);
    ASSERT_EQ(bars.size(), 1u);
    EXPECT_DOUBLE_EQ(bars[0].x1, 300);
    EXPECT_DOUBLE_EQ(bars[0].x2, 1000);
    EXPECT_DOUBLE_EQ(bars[0].y1, 0.25);
    EXPECT_DOUBLE_EQ(bars[0].y2, 1.0);
    EXPECT_EQ(bars[0].fillColor, kRed);

    mvstart = 200;
    mvend = 10;
    PlotVIDEOBarGraph();
    bars = Rects(Bar(), kRed);
    ASSERT_EQ(bars.size(), 1u);  // the previous bar is gone
    EXPECT_DOUBLE_EQ(bars[0].x1, 1);
    EXPECT_DOUBLE_EQ(bars[0].x2, 300);

    edcnt = 3;
    Redge = 700;
    PlotVIDEOBarGraph();
    bars = Rects(Bar(), kRed);
    ASSERT_EQ(bars.size(), 1u);
    EXPECT_DOUBLE_EQ(bars[0].x1, 300);
    EXPECT_DOUBLE_EQ(bars[0].x2, 700);

    // no edge: no bar; the standard window of mode 0 stays
    edcnt = 0;
    PlotVIDEOBarGraph();
    EXPECT_TRUE(Rects(Bar(), kRed).empty());
    EXPECT_EQ(Rects(Bar(), kGreen).size(), 1u);
    // in mode 2 without edges there is no window either
    parameter[6] = 2;
    PlotVIDEOBarGraph();
    EXPECT_TRUE(Bar().plots.empty());
}

TEST_F(EdgeGraphTest, StandardToleranceWindows) {
    // width mode: two windows around the expected edges of an object of width S centred on P
    parameter[6] = 2;
    Ledge = 450;
    Redge = 550;  // P = 500
    parameter[9] = 200;
    tol = 20;
    PlotVIDEOBarGraph();
    auto win = Rects(Bar(), kGreen);
    ASSERT_EQ(win.size(), 2u);
    EXPECT_DOUBLE_EQ(win[0].x1, 390);
    EXPECT_DOUBLE_EQ(win[0].x2, 410);
    EXPECT_DOUBLE_EQ(win[1].x1, 590);
    EXPECT_DOUBLE_EQ(win[1].x2, 610);
    EXPECT_DOUBLE_EQ(win[0].y1, 0.0);
    EXPECT_DOUBLE_EQ(win[0].y2, 0.35);
    EXPECT_EQ(win[0].fillColor, kGreen);

    // other modes: one window around the set-point, kept on the line
    parameter[6] = 0;
    parameter[9] = 5;
    tol = 10;
    PlotVIDEOBarGraph();
    win = Rects(Bar(), kGreen);
    ASSERT_EQ(win.size(), 1u);
    EXPECT_DOUBLE_EQ(win[0].x1, 1);
    EXPECT_DOUBLE_EQ(win[0].x2, 15);
    parameter[9] = 4090;
    PlotVIDEOBarGraph();
    win = Rects(Bar(), kGreen);
    ASSERT_EQ(win.size(), 1u);
    EXPECT_DOUBLE_EQ(win[0].x1, 4080);
    EXPECT_DOUBLE_EQ(win[0].x2, 4096);

    // V303 and CL draw no window
    softversion = 303;
    PlotVIDEOBarGraphV303();
    EXPECT_TRUE(Rects(Bar(), kGreen).empty());
    PlotVIDEOBarGraphCL();
    EXPECT_TRUE(Rects(Bar(), kGreen).empty());
}

TEST_F(EdgeGraphTest, CursorsAndMeasuredPositionPerVariant) {
    Ledge = 120;
    Redge = 180;
    parameter[6] = parameter[21] = parameter[36] = 0;
    HWTYPE = 1;
    PlotVIDEOBarGraph();
    GraphModel g = Bar();
    EXPECT_DOUBLE_EQ(g.cursorX[0], 120);
    EXPECT_DOUBLE_EQ(g.cursorY[0], 0.75);
    EXPECT_DOUBLE_EQ(g.cursorX[1], 10);
    EXPECT_DOUBLE_EQ(g.cursorX[2], 1000);
    EXPECT_DOUBLE_EQ(g.cursorY[2], 0.75);
    EXPECT_EQ(g.xAxis.mode, VAL_MANUAL);
    EXPECT_DOUBLE_EQ(g.xAxis.min, 1.0);
    EXPECT_DOUBLE_EQ(g.xAxis.max, 4096.0);

    HWTYPE = 2;  // peak hardware: the middle
    PlotVIDEOBarGraph();
    EXPECT_DOUBLE_EQ(Bar().cursorX[0], 150);
    parameter[22] = 33;
    parameter[23] = 777;
    PlotVIDEOBarGraphV303();
    g = Bar();
    EXPECT_DOUBLE_EQ(g.cursorX[0], 150);
    EXPECT_DOUBLE_EQ(g.cursorX[1], 33);
    EXPECT_DOUBLE_EQ(g.cursorX[2], 777);
    PlotVIDEOBarGraphCL();  // CL takes the edge itself in mode 0 and 1
    EXPECT_DOUBLE_EQ(Bar().cursorX[0], 120);
    parameter[36] = 1;
    PlotVIDEOBarGraphCL();
    EXPECT_DOUBLE_EQ(Bar().cursorX[0], 180);

    // a position below pixB is shown at pixB; an edge of 0 in width mode gives 1, then pixB
    HWTYPE = 1;
    pixB = 100;
    Ledge = 40;
    PlotVIDEOBarGraph();
    EXPECT_DOUBLE_EQ(Bar().cursorX[0], 100);
    parameter[6] = 2;
    Ledge = 0;
    PlotVIDEOBarGraph();
    EXPECT_DOUBLE_EQ(Bar().cursorX[0], 100);
    // and above pixE at pixE
    pixB = 1;
    parameter[6] = 1;
    Redge = 3000;
    PlotVIDEOBarGraph();
    EXPECT_DOUBLE_EQ(Bar().cursorX[0], 1024);
}

TEST_F(EdgeGraphTest, DisplaysAndToleranceColours) {
    // standard: tolerance around the set-point, not limited to the line
    parameter[9] = 10;
    tol = 20;
    Mvalue = 5;
    PlotVIDEOBarGraph();
    EXPECT_EQ(GetCtrlTextBgColor(pHandle, PANEL_NUMMvalue), kDarkGreen);
    EXPECT_EQ(GetCtrlTextBgColor(pHandle, PANEL_NUMumValue), kDarkGreen);
    Mvalue = 31;
    PlotVIDEOBarGraph();
    EXPECT_EQ(GetCtrlTextBgColor(pHandle, PANEL_NUMMvalue), kRed);
    EXPECT_EQ(GetCtrlTextBgColor(pHandle, PANEL_NUMumValue), kRed);
    EXPECT_EQ(IntVal(PANEL_NUMMvalue), 31);
    EXPECT_NEAR(RealVal(pHandle, PANEL_NUMumValue), 12.345, 1e-9);
    EXPECT_EQ(IntVal(PANEL_NUMLedge), 300);
    EXPECT_EQ(IntVal(PANEL_NUMRedge), 500);
    EXPECT_EQ(IntVal(PANEL_NUManaMax), 900);
    EXPECT_EQ(IntVal(PANEL_NUManaMin), 100);
    EXPECT_NEAR(RealVal(pHandle, PANEL_NUMTol), 0.02, 1e-9);  // 16384 x 20 / 16384000

    // analog output by mode
    const int expect[] = {31, 31, 900, 100, 800, 31};
    for (int mode = 0; mode <= 5; ++mode) {
        parameter[13] = uint16_t(mode);
        PlotVIDEOBarGraph();
        EXPECT_EQ(IntVal(PANEL_NUManaOut), expect[mode]) << "mode " << mode;
    }

    // CL: lower limit at least 1 before the comparison
    parameter[39] = 10;
    parameter[40] = 20;
    parameter[41] = 20;
    Mvalue = 5;
    PlotVIDEOBarGraphCL();
    EXPECT_EQ(GetCtrlTextBgColor(pHandle, PANEL_NUMMvalue), kDarkGreen);
    Mvalue = 31;
    PlotVIDEOBarGraphCL();
    EXPECT_EQ(GetCtrlTextBgColor(pHandle, PANEL_NUMumValue), kRed);

    // V303: own upper and lower tolerance, lengths with the 1024 scaling
    SetScaleFactor(2048);  // 2.0
    parameter[24] = 500;
    parameter[25] = 30;
    parameter[26] = 10;
    parameter[31] = 0;
    Mvalue = 485;
    PlotVIDEOBarGraphV303();
    EXPECT_EQ(GetCtrlTextBgColor(pHandle, PANEL_NUMMvalue), kRed);
    EXPECT_NEAR(RealVal(pHandle, PANEL_NUMTolUP), 0.06, 1e-9);
    EXPECT_NEAR(RealVal(pHandle, PANEL_NUMTol), 0.02, 1e-9);
    Mvalue = 530;
    PlotVIDEOBarGraphV303();
    EXPECT_EQ(GetCtrlTextBgColor(pHandle, PANEL_NUMMvalue), kDarkGreen);
    // hardware modes 1 and 3: the sensor's tol on both sides
    parameter[31] = 3;
    tol = 5;
    PlotVIDEOBarGraphV303();
    EXPECT_EQ(GetCtrlTextBgColor(pHandle, PANEL_NUMMvalue), kRed);
    EXPECT_NEAR(RealVal(pHandle, PANEL_NUMTolUP), 0.01, 1e-9);
    EXPECT_NEAR(RealVal(pHandle, PANEL_NUMTol), 0.01, 1e-9);
}

TEST_F(EdgeGraphTest, PowerSliderFollowsRegulatedPowerInPowerModeOne) {
    parameter[18] = 300;
    parameter[19] = 1;
    dynpow = 700;
    PlotVIDEOBarGraphV303();
    int32_t v = 0;
    GetCtrlVal(pPara2, PARA2_SLIDEpower, v);
    EXPECT_EQ(v, 700);
    parameter[19] = 0;
    PlotVIDEOBarGraphV303();
    GetCtrlVal(pPara2, PARA2_SLIDEpower, v);
    EXPECT_EQ(v, 300);
    parameter[33] = 250;
    parameter[34] = 1;
    dynpow = 650;
    PlotVIDEOBarGraphCL();
    GetCtrlVal(pPara2, PARA2_SLIDEpower, v);
    EXPECT_EQ(v, 650);
    // the standard routine leaves the slider alone
    dynpow = 100;
    PlotVIDEOBarGraph();
    GetCtrlVal(pPara2, PARA2_SLIDEpower, v);
    EXPECT_EQ(v, 650);
}

}  // namespace
