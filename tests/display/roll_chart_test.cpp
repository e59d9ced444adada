// The roll chart GRAPHRaw with its 100-sample history, the trigger-buffer curve and the
// array helpers.
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

TEST_F(RollChartTest, ChartAndColoursShowTheSampleOfEachVariant) {
    // words of their own in each block: a routine reading another block draws another sample
    const std::pair<int, int> words[] = {{9, 500},  {13, 2},  {24, 480}, {25, 40}, {26, 20}, {29, 3},
                                         {31, 0},   {39, 530}, {40, 5},  {41, 50}, {44, 4}};
    for (auto [word, value] : words) parameter[size_t(word)] = uint16_t(value);
    SetScaleFactor(2048);
    SetCtrlVal(pHandle, PANEL_TOGGButtonZoom, 1);
    Mvalue = 515;
    const std::pair<Variant, void (*)()> routines[] = {
        {Variant::Standard, PlotRAWGraph}, {Variant::V303, PlotRAWGraphV303}, {Variant::CL, PlotRAWGraphCL}};
    for (auto [variant, plot] : routines) {
        SCOPED_TRACE(int(variant));
        SetCtrlTextBgColor(pHandle, PANEL_NUMMvalue, 0xFFFFFF);
        plot();
        const PictureWords w = PictureWordsOf(variant, parameter, tol);
        const RollSample r = RollChartSample(w, LastMeasurement(), ccdvirtpixel);
        EXPECT_EQ(Newest(), std::vector<double>(r.traces.begin(), r.traces.end()));
        const AxisModel y = Raw().yAxis;
        EXPECT_EQ(std::tuple(y.mode, y.min, y.max), std::tuple(VAL_MANUAL, double(r.zoomMin), double(r.zoomMax)));
        const int colour = r.outOfTolerance ? kRed : kDarkGreen;
        EXPECT_EQ(GetCtrlTextBgColor(pHandle, PANEL_NUMumValue), colour);
        EXPECT_EQ(GetCtrlTextBgColor(pHandle, PANEL_NUMMvalue), variant == Variant::V303 ? colour : 0xFFFFFF);
        if (variant != Variant::V303) continue;
        double up = 0, low = 0;
        GetCtrlVal(pHandle, PANEL_NUMTolUP, up);
        GetCtrlVal(pHandle, PANEL_NUMTol, low);
        const ToleranceLengths lengths = LengthsOf(w, ScaleFactor());
        EXPECT_EQ(std::pair(up, low), std::pair(lengths.up, lengths.low));
    }
    // zoom off: the whole line, whatever the values
    SetCtrlVal(pHandle, PANEL_TOGGButtonZoom, 0);
    PlotRAWGraph();
    const AxisModel y = Raw().yAxis;
    EXPECT_EQ(std::tuple(y.mode, y.min, y.max), std::tuple(VAL_MANUAL, 0.0, 4096.0));
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
