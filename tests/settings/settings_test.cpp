// The sensor-setting controls: limits, length displays, cursors, threshold lines and the controls
// that show, hide or dim others.
#include <gtest/gtest.h>

#include "display/display.h"
#include "fixture.h"
#include "sensor/vars.h"
#include "platform/userint.h"

namespace {

class SettingsTest : public ProgramTest {
protected:
    void SetUp() override {
        StartWithoutSensor();
        pixB = 1;
        pixE = 1024;
        ccdvirtpixel = 4096;
        softversion = 0;
        hwtype = 37;
        HWTYPE = 0;
        SetScaleFactor(16384);
    }
    int Val(int panel, int control) {
        int32_t v = 0;
        GetCtrlVal(panel, control, v);
        return v;
    }
    double Real(int control) {
        double v = 0;
        GetCtrlVal(pHandle, control, v);
        return v;
    }
    double Cursor(int n) { return TestGraphModel(pHandle, PANEL_GRAPHVideoBar).cursorX[n - 1]; }
};

TEST_F(SettingsTest, EvaluationWindowKeptWithinThePixelRange) {
    parameter[7] = 77;
    TestUserSetValue(pHandle, PANEL_NEDITEdgeLeft, 500);
    EXPECT_EQ(Val(pHandle, PANEL_NEDITEdgeLeft), 500);
    EXPECT_EQ(parameter[7], 77);  // an accepted value waits for SEND
    EXPECT_DOUBLE_EQ(Cursor(2), 500);
    EXPECT_DOUBLE_EQ(TestGraphModel(pHandle, PANEL_GRAPHVideoBar).cursorY[1], 1.0);

    TestUserSetValue(pHandle, PANEL_NEDITEdgeLeft, 0);
    EXPECT_EQ(Val(pHandle, PANEL_NEDITEdgeLeft), 1);
    EXPECT_EQ(parameter[7], 1);
    EXPECT_DOUBLE_EQ(Cursor(2), 1);
    TestUserSetValue(pHandle, PANEL_NEDITEdgeLeft, 2000);
    EXPECT_EQ(Val(pHandle, PANEL_NEDITEdgeLeft), 1023);
    EXPECT_EQ(parameter[7], 1023);
    EXPECT_DOUBLE_EQ(Cursor(2), 1023);

    parameter[8] = 88;
    TestUserSetValue(pHandle, PANEL_NEDITEdgeRight, 700);
    EXPECT_EQ(parameter[8], 88);
    EXPECT_DOUBLE_EQ(Cursor(3), 700);
    TestUserSetValue(pHandle, PANEL_NEDITEdgeRight, 2000);
    EXPECT_EQ(Val(pHandle, PANEL_NEDITEdgeRight), 1024);
    EXPECT_EQ(parameter[8], 1024);
    EXPECT_DOUBLE_EQ(Cursor(3), 1024);
    TestUserSetValue(pHandle, PANEL_NEDITEdgeRight, 0);
    EXPECT_EQ(Val(pHandle, PANEL_NEDITEdgeRight), 2);
    EXPECT_EQ(parameter[8], 2);
    EXPECT_DOUBLE_EQ(Cursor(3), 2);

    // the corrections always land in the standard block, whatever the variant
    softversion = 303;
    parameter[22] = 5;
    TestUserSetValue(pHandle, PANEL_NEDITEdgeLeft, 3000);
    EXPECT_EQ(parameter[7], 1023);
    EXPECT_EQ(parameter[22], 5);

    // a line without pixels must not wrap the limit round to 65535
    pixB = 0;
    pixE = 0;
    TestUserSetValue(pHandle, PANEL_NEDITEdgeLeft, 10);
    EXPECT_EQ(Val(pHandle, PANEL_NEDITEdgeLeft), 0);
    EXPECT_EQ(parameter[7], 0);
}

TEST_F(SettingsTest, TolerancesLimitedBySetPointWithoutWrapping) {
    parameter[9] = 4000;
    TestUserSetValue(pPara1, PARA1_NEDITToleranceUP, 96);
    EXPECT_EQ(Val(pPara1, PARA1_NEDITToleranceUP), 96);
    TestUserSetValue(pPara1, PARA1_NEDITToleranceUP, 97);
    EXPECT_EQ(Val(pPara1, PARA1_NEDITToleranceUP), 95);

    parameter[9] = 512;
    TestUserSetValue(pPara1, PARA1_NEDITTolerance, 600);
    EXPECT_EQ(Val(pPara1, PARA1_NEDITTolerance), 511);
    TestUserSetValue(pPara1, PARA1_NEDITTolerance, 512);
    EXPECT_EQ(Val(pPara1, PARA1_NEDITTolerance), 512);

    // the set-point word follows the parameter variant: V303 takes word 24
    softversion = 303;
    parameter[24] = 100;
    TestUserSetValue(pPara1, PARA1_NEDITTolerance, 150);
    EXPECT_EQ(Val(pPara1, PARA1_NEDITTolerance), 99);
    hwtype = 20250;  // CL: word 39
    parameter[39] = 4090;
    TestUserSetValue(pPara1, PARA1_NEDITToleranceUP, 10);
    EXPECT_EQ(Val(pPara1, PARA1_NEDITToleranceUP), 5);

    // set-point 0 and set-points at or beyond the end of the line stay at 0, never 65535
    parameter[39] = 0;
    TestUserSetValue(pPara1, PARA1_NEDITTolerance, 5);
    EXPECT_EQ(Val(pPara1, PARA1_NEDITTolerance), 0);
    parameter[39] = 4096;
    TestUserSetValue(pPara1, PARA1_NEDITToleranceUP, 6);
    EXPECT_EQ(Val(pPara1, PARA1_NEDITToleranceUP), 0);
    parameter[39] = 5000;
    TestUserSetValue(pPara1, PARA1_NEDITToleranceUP, 1);
    EXPECT_EQ(Val(pPara1, PARA1_NEDITToleranceUP), 0);
}

TEST_F(SettingsTest, ToleranceLengthsPerVariant) {
    parameter[9] = 2000;
    SetCtrlVal(pHandle, PANEL_NUMTolUP, 9.0);
    SetCtrlVal(pHandle, PANEL_NUMTol, 9.0);
    SetCtrlVal(pPara1, PARA1_NEDITToleranceUP, 1);
    SetCtrlVal(pPara1, PARA1_NEDITTolerance, 1);
    TestUserSetValue(pPara1, PARA1_NEDITToleranceUP, 100);
    EXPECT_NEAR(Real(PANEL_NUMTolUP), 0.1, 1e-9);
    EXPECT_NEAR(Real(PANEL_NUMTol), 0.1, 1e-9);
    TestUserSetValue(pPara1, PARA1_NEDITTolerance, 50);
    EXPECT_NEAR(Real(PANEL_NUMTolUP), 0.05, 1e-9);
    EXPECT_NEAR(Real(PANEL_NUMTol), 0.05, 1e-9);

    // V303: the 1024 scaling, each field its own display
    softversion = 303;
    parameter[24] = 2000;
    SetScaleFactor(3072);  // 3.0
    TestUserSetValue(pPara1, PARA1_NEDITToleranceUP, 101);
    EXPECT_NEAR(Real(PANEL_NUMTolUP), 0.303, 1e-9);
    EXPECT_NEAR(Real(PANEL_NUMTol), 0.05, 1e-9);
    TestUserSetValue(pPara1, PARA1_NEDITTolerance, 10);
    EXPECT_NEAR(Real(PANEL_NUMTolUP), 0.303, 1e-9);
    EXPECT_NEAR(Real(PANEL_NUMTol), 0.03, 1e-9);

    // CL: both displays from either field
    hwtype = 20250;
    parameter[39] = 2000;
    TestUserSetValue(pPara1, PARA1_NEDITToleranceUP, 20);
    EXPECT_NEAR(Real(PANEL_NUMTolUP), 0.06, 1e-9);
    EXPECT_NEAR(Real(PANEL_NUMTol), 0.06, 1e-9);
}

TEST_F(SettingsTest, ModeControlsShowHideAndDim) {
    TestUserSetValue(pPara1, PARA1_DROPtrigmode, 2);
    EXPECT_FALSE(GetCtrlVisible(pHandle, PANEL_BTNData));
    EXPECT_TRUE(GetCtrlDimmed(pPara2, PARA2_NUMTriggThreshold));
    TestUserSetValue(pPara1, PARA1_DROPtrigmode, 3);
    EXPECT_TRUE(GetCtrlVisible(pHandle, PANEL_BTNData));
    EXPECT_FALSE(GetCtrlDimmed(pPara2, PARA2_NUMTriggThreshold));
    TestUserSetValue(pPara1, PARA1_DROPtrigmode, 0);
    EXPECT_FALSE(GetCtrlVisible(pHandle, PANEL_BTNData));

    const int anaGroup[] = {PANEL_NUManaOut, PANEL_NUManaMax, PANEL_NUManaMin, PANEL_ButtonReset};
    TestUserSetValue(pPara1, PARA1_DROPanaMode, 2);
    for (int c : anaGroup) EXPECT_TRUE(GetCtrlVisible(pHandle, c)) << c;
    TestUserSetValue(pPara1, PARA1_DROPanaMode, 1);
    for (int c : anaGroup) EXPECT_FALSE(GetCtrlVisible(pHandle, c)) << c;
    TestUserSetValue(pPara1, PARA1_DROPanaMode, 7);
    for (int c : anaGroup) EXPECT_TRUE(GetCtrlVisible(pHandle, c)) << c;

    for (int mode : {1, 3}) {
        TestUserSetValue(pPara1, PARA1_DROPhardware, 0);
        TestUserSetValue(pPara1, PARA1_DROPhardware, mode);
        EXPECT_TRUE(GetCtrlDimmed(pPara1, PARA1_NEDITToleranceUP)) << mode;
        EXPECT_TRUE(GetCtrlDimmed(pPara1, PARA1_NEDITTolerance)) << mode;
    }
    TestUserSetValue(pPara1, PARA1_DROPhardware, 2);
    EXPECT_FALSE(GetCtrlDimmed(pPara1, PARA1_NEDITToleranceUP));
    EXPECT_FALSE(GetCtrlDimmed(pPara1, PARA1_NEDITTolerance));
}

TEST_F(SettingsTest, ThresholdControlsRedrawTheirCurves) {
    // no video fetched yet: a signal of zeros with the new threshold line
    adcbuf.fill(0);
    ADCMAX = 255;
    SetCtrlVisible(pHandle, PANEL_GRAPHRaw, true);
    TestUserSetValue(pPara2, PARA2_SLIDEVideoThreshold, 60);
    EXPECT_TRUE(GetCtrlVisible(pHandle, PANEL_GRAPHVideo));
    EXPECT_FALSE(GetCtrlVisible(pHandle, PANEL_GRAPHRaw));
    EXPECT_FALSE(GetCtrlVisible(pHandle, PANEL_GRAPHData));
    EXPECT_EQ(thdArray[0], 153);
    EXPECT_EQ(thdArray[255], 153);
    GraphModel g = TestGraphModel(pHandle, PANEL_GRAPHVideo);
    ASSERT_EQ(g.plots.size(), 2u);
    for (double y : g.plots[0].y) ASSERT_EQ(y, 0.0);
    for (double y : g.plots[1].y) ASSERT_EQ(y, 153.0);
    EXPECT_EQ(g.plots[1].x, std::vector<double>(xArray.begin(), xArray.end()));

    adcbuf[10] = 1234;
    TestUserSetValue(pPara1, PARA1_DROPtrigmode, 3);  // makes the trigger threshold available
    TestUserSetValue(pPara2, PARA2_NUMTriggThreshold, 300);
    EXPECT_TRUE(GetCtrlVisible(pHandle, PANEL_GRAPHData));
    EXPECT_FALSE(GetCtrlVisible(pHandle, PANEL_GRAPHVideo));
    EXPECT_EQ(trgArray[0], 300);
    EXPECT_EQ(trgArray[255], 300);
    g = TestGraphModel(pHandle, PANEL_GRAPHData);
    ASSERT_EQ(g.plots.size(), 5u);
    EXPECT_DOUBLE_EQ(g.plots[0].y[10], 1234);
    EXPECT_DOUBLE_EQ(g.plots[1].y[200], 300);
    EXPECT_DOUBLE_EQ(g.plots[0].x[10], 10);
}

TEST_F(SettingsTest, RightClickShowsHelpOnly) {
    SetCtrlVisible(pHandle, PANEL_HelpText1, false);
    SetCtrlVisible(pHandle, PANEL_HelpText2, false);
    const int before = Val(pPara1, PARA1_DROPevalmode);
    TestRightClick(pPara1, PARA1_DROPevalmode);
    EXPECT_TRUE(GetCtrlVisible(pHandle, PANEL_HelpText1));
    EXPECT_EQ(TestCtrlText(pHandle, PANEL_HelpText1).rfind("EVALUATION-MODE:", 0), 0u);
    EXPECT_EQ(Val(pPara1, PARA1_DROPevalmode), before);
    TestRightClick(pPara1, PARA1_DROPaverage);  // the average help uses the second box
    EXPECT_TRUE(GetCtrlVisible(pHandle, PANEL_HelpText2));
    EXPECT_EQ(TestCtrlText(pHandle, PANEL_HelpText2).rfind("AVERAGE:", 0), 0u);

    struct Ctl { int panel; int control; const char* head; };
    const Ctl ctls[] = {
        {pPara1, PARA1_DROPpolarity, "POLARITY:"},     {pPara1, PARA1_DROPhold, "HOLD [ms]:"},
        {pPara2, PARA2_SLIDEpower, "POWER:"},          {pPara2, PARA2_DROPpowermode, "PMODE:"},
        {pCalib, CALIB_BINSWopmode, "OPERATION-MODE:"}, {pPara1, PARA1_DROPtrigmode, "TRIGGER-MODE:"},
        {pHandle, PANEL_NEDITEdgeLeft, "E-BEG:"},      {pPara2, PARA2_SLIDEVideoThreshold, "V-THD:"},
        {pHandle, PANEL_GRAPHRaw, "ROLL-GRAPH-WINDOW:"},
        {pHandle, PANEL_GRAPHVideo, "VIDEO-GRAPH-WINDOW:"},
        {pHandle, PANEL_TOGGButtonZoom, "ZOOM-TOGGLE-BUTTON:"},
    };
    for (const Ctl& c : ctls) {
        SetCtrlVisible(c.panel, c.control, true);  // the graphs share one place
        SetCtrlVisible(pHandle, PANEL_HelpText1, false);
        SetCtrlVisible(pHandle, PANEL_HelpText2, false);
        TestRightClick(c.panel, c.control);
        const bool shown1 = GetCtrlVisible(pHandle, PANEL_HelpText1);
        const std::string text = TestCtrlText(pHandle, shown1 ? PANEL_HelpText1 : PANEL_HelpText2);
        EXPECT_EQ(text.rfind(c.head, 0), 0u) << c.head << " got " << text;
    }
}

}  // namespace
