// The roll chart GRAPHRaw with its 100-sample history, the trigger-buffer curve and the
// array helpers.
#include <gtest/gtest.h>

#include <vector>

#include "display/display.h"
#include "fixture.h"
#include "sensor/vars.h"
#include "platform/userint.h"

namespace {

constexpr int kRed = 0xFF0000;
constexpr int kDarkGreen = 0x008000;

TEST(ArrayHelpers, ShiftAndCopy) {
    double a[6] = {1, 2, 3, 4, 5, 6};
    double out[6] = {9, 9, 9, 9, 9, 9};
    EXPECT_EQ(Shift(a, 6, 2, out), 0);
    EXPECT_EQ(std::vector<double>(out, out + 6), (std::vector<double>{0, 0, 1, 2, 3, 4}));
    EXPECT_EQ(Shift(a, 6, -2, out), 0);
    EXPECT_EQ(std::vector<double>(out, out + 6), (std::vector<double>{3, 4, 5, 6, 0, 0}));
    EXPECT_EQ(Shift(a, 6, 0, out), 0);
    EXPECT_EQ(std::vector<double>(out, out + 6), (std::vector<double>{1, 2, 3, 4, 5, 6}));
    // in place, both directions
    EXPECT_EQ(Shift(a, 6, -1, a), 0);
    EXPECT_EQ(std::vector<double>(a, a + 6), (std::vector<double>{2, 3, 4, 5, 6, 0}));
    EXPECT_EQ(Shift(a, 6, 3, a), 0);
    EXPECT_EQ(std::vector<double>(a, a + 6), (std::vector<double>{0, 0, 0, 2, 3, 4}));
    // errors leave the output alone
    double keep[3] = {7, 7, 7};
    EXPECT_EQ(Shift(a, 0, 1, keep), -20003);
    EXPECT_EQ(Shift(a, 3, 3, keep), -20102);
    EXPECT_EQ(Shift(a, 3, -3, keep), -20102);
    EXPECT_EQ(std::vector<double>(keep, keep + 3), (std::vector<double>{7, 7, 7}));

    double src[4] = {1.5, -2, 3, 4};
    double dst[5] = {0, 0, 0, 0, 42};
    EXPECT_EQ(Copy1D(src, 4, dst), 0);
    EXPECT_EQ(std::vector<double>(dst, dst + 5), (std::vector<double>{1.5, -2, 3, 4, 42}));
    EXPECT_EQ(Copy1D(src, 0, dst), -20003);
}

class RollChartTest : public ProgramTest {
protected:
    void SetUp() override {
        StartWithoutSensor();
        arrayNORM.fill(0.0);
        ccdvirtpixel = 4096;
        softversion = 0;
        hwtype = 37;
        HWTYPE = 1;
        Mvalue = 500;
        tol = 10;
        anaMax = 800;
        anaMin = 200;
        parameter[9] = 500;
        parameter[13] = 0;
        SetCtrlVal(pHandle, PANEL_TOGGButtonZoom, 0);
    }
    GraphModel Raw() { return TestGraphModel(pHandle, PANEL_GRAPHRaw); }
    // the six values of the newest sample as plotted
    std::vector<double> Newest() {
        GraphModel g = Raw();
        EXPECT_EQ(g.lastPlotted.size(), 600u);
        if (g.lastPlotted.size() != 600u) return {};
        return std::vector<double>(g.lastPlotted.begin() + 594, g.lastPlotted.end());
    }
};

TEST_F(RollChartTest, HistoryRollsAndOlderPartShowsZeros) {
    PlotRAWGraph();
    GraphModel g = Raw();
    ASSERT_EQ(g.lastPlotted.size(), 600u);
    for (int i = 0; i < 594; ++i) ASSERT_EQ(g.lastPlotted[i], 0.0) << i;
    EXPECT_EQ(Newest(), (std::vector<double>{510, 490, 500, 500, 500, 500}));
    EXPECT_EQ(g.traces, 6);
    EXPECT_EQ(g.pointsPerScreen, 101);
    EXPECT_TRUE(g.continuous);
    EXPECT_EQ(g.traceColors, (std::vector<int>{kDarkGreen, kDarkGreen, 0x000000, kRed, kRed, kRed}));

    // the next sample pushes the first one a place towards the oldest end
    Mvalue = 505;
    PlotRAWGraph();
    g = Raw();
    EXPECT_EQ(g.lastPlotted[591], 500.0);
    EXPECT_EQ(g.lastPlotted[597], 505.0);
    EXPECT_EQ(g.lastPlotted[585], 0.0);
    // a hundred samples later the first one has left the history
    for (int i = 0; i < 99; ++i) PlotRAWGraph();
    g = Raw();
    for (int t = 0; t < 600; t += 6) ASSERT_EQ(g.lastPlotted[t + 3], 505.0) << t;
}

TEST_F(RollChartTest, LimitsAndAnalogTracesStayOnTheLine) {
    // V303 with its own tolerances: set-point 10, lower tolerance 20 gives a lower trace of 1
    softversion = 303;
    parameter[24] = 10;
    parameter[25] = 5;
    parameter[26] = 20;
    parameter[29] = 0;
    parameter[31] = 0;
    Mvalue = 12;
    PlotRAWGraphV303();
    std::vector<double> s = Newest();
    EXPECT_EQ(s[0], 15);
    EXPECT_EQ(s[1], 1);
    EXPECT_EQ(s[2], 10);

    // set-point near the end: the upper trace is the last pixel
    parameter[39] = 4090;
    parameter[40] = 50;
    parameter[41] = 50;
    parameter[44] = 5;  // above 4: analog traces at 1 and the end of the line
    Mvalue = 4080;
    PlotRAWGraphCL();
    s = Newest();
    EXPECT_EQ(s[0], 4095);
    EXPECT_EQ(s[1], 4040);
    EXPECT_EQ(s[4], 4095);  // low
    EXPECT_EQ(s[5], 1);     // high

    // analog-output modes of the standard routine (low, high)
    struct Case { int mode; double low, high; };
    const Case cases[] = {{1, 500, 500}, {2, 500, 800}, {3, 200, 500}, {4, 200, 800}};
    Mvalue = 500;
    for (const Case& c : cases) {
        parameter[13] = uint16_t(c.mode);
        PlotRAWGraph();
        s = Newest();
        EXPECT_EQ(s[4], c.low) << "mode " << c.mode;
        EXPECT_EQ(s[5], c.high) << "mode " << c.mode;
    }
    // mode 3 with the minimum at its reset value: the low trace is drawn at 1
    parameter[13] = 3;
    anaMin = 4095;
    PlotRAWGraph();
    EXPECT_EQ(Newest()[4], 1);
}

TEST_F(RollChartTest, ZoomWindowAroundTheSetPoint) {
    // zoom off: the whole line whatever the values
    Mvalue = 560;
    PlotRAWGraph();
    GraphModel g = Raw();
    EXPECT_EQ(g.yAxis.mode, VAL_MANUAL);
    EXPECT_DOUBLE_EQ(g.yAxis.min, 0);
    EXPECT_DOUBLE_EQ(g.yAxis.max, 4096);

    SetCtrlVal(pHandle, PANEL_TOGGButtonZoom, 1);
    PlotRAWGraph();  // set-point 500, tol 10, value 560
    g = Raw();
    EXPECT_DOUBLE_EQ(g.yAxis.min, 460);
    EXPECT_DOUBLE_EQ(g.yAxis.max, 620);
    tol = 50;
    Mvalue = 620;
    PlotRAWGraph();
    g = Raw();
    EXPECT_DOUBLE_EQ(g.yAxis.min, 400);
    EXPECT_DOUBLE_EQ(g.yAxis.max, 720);
    tol = 10;
    Mvalue = 300;  // below the window: 60 below the value
    PlotRAWGraph();
    g = Raw();
    EXPECT_DOUBLE_EQ(g.yAxis.min, 240);
    EXPECT_DOUBLE_EQ(g.yAxis.max, 540);
    // near the ends the window stays on the line
    parameter[9] = 20;
    Mvalue = 20;
    PlotRAWGraph();
    EXPECT_DOUBLE_EQ(Raw().yAxis.min, 1);
    parameter[9] = 4080;
    Mvalue = 4080;
    PlotRAWGraph();
    EXPECT_DOUBLE_EQ(Raw().yAxis.max, 4095);
    // CL: each side on its own tolerance
    parameter[39] = 1000;
    parameter[40] = 100;
    parameter[41] = 10;
    Mvalue = 1000;
    PlotRAWGraphCL();
    g = Raw();
    EXPECT_DOUBLE_EQ(g.yAxis.min, 960);
    EXPECT_DOUBLE_EQ(g.yAxis.max, 1200);
}

TEST_F(RollChartTest, ToleranceColourOfTheMeasuredValue) {
    parameter[9] = 500;
    tol = 10;
    Mvalue = 510;  // on the upper limit
    PlotRAWGraph();
    EXPECT_EQ(GetCtrlTextBgColor(pHandle, PANEL_NUMumValue), kDarkGreen);
    Mvalue = 511;
    PlotRAWGraph();
    EXPECT_EQ(GetCtrlTextBgColor(pHandle, PANEL_NUMumValue), kRed);
    Mvalue = 489;
    PlotRAWGraph();
    EXPECT_EQ(GetCtrlTextBgColor(pHandle, PANEL_NUMumValue), kRed);

    // V303 colours NUMMvalue as well and shows the tolerance lengths
    SetCtrlTextBgColor(pHandle, PANEL_NUMMvalue, 0xFFFFFF);
    SetScaleFactor(1024);
    parameter[24] = 500;
    parameter[25] = 40;
    parameter[26] = 20;
    parameter[31] = 0;
    Mvalue = 470;
    PlotRAWGraphV303();
    EXPECT_EQ(GetCtrlTextBgColor(pHandle, PANEL_NUMMvalue), kRed);
    double up = 0, low = 0;
    GetCtrlVal(pHandle, PANEL_NUMTolUP, up);
    GetCtrlVal(pHandle, PANEL_NUMTol, low);
    EXPECT_NEAR(up, 0.04, 1e-9);
    EXPECT_NEAR(low, 0.02, 1e-9);
    Mvalue = 540;
    PlotRAWGraphV303();
    EXPECT_EQ(GetCtrlTextBgColor(pHandle, PANEL_NUMMvalue), kDarkGreen);
}

TEST_F(RollChartTest, TriggerBufferCurveWithItsLines) {
    std::array<uint16_t, 256> samples{};
    for (int i = 0; i < 256; ++i) samples[i] = uint16_t(1000 + i);
    FillLine(trgArray, 300);
    FillLine(upTHDArray, 1100);
    FillLine(loTHDArray, 900);
    FillLine(REFArray, 1000);
    PlotDATACurve(samples.data(), xArray256.data());
    PlotDATACurve(samples.data(), xArray256.data());
    GraphModel g = TestGraphModel(pHandle, PANEL_GRAPHData);
    ASSERT_EQ(g.plots.size(), 5u);
    const int colours[] = {kRed, 0x808080, kDarkGreen, kDarkGreen, 0x000000};
    const double level[] = {1000, 300, 1100, 900, 1000};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(g.plots[i].color, colours[i]) << i;
        ASSERT_EQ(g.plots[i].y.size(), 256u);
        EXPECT_DOUBLE_EQ(g.plots[i].y[0], level[i]) << i;
        EXPECT_DOUBLE_EQ(g.plots[i].x[200], 200.0);
    }
    EXPECT_DOUBLE_EQ(g.plots[0].y[255], 1255);
    // the set-point reads as a separate reference line
    EXPECT_NE(g.plots[4].lineStyle, g.plots[1].lineStyle);
    EXPECT_EQ(g.plots[0].plotStyle, g.plots[3].plotStyle);
}

}  // namespace
