// Panel transfer through the real panels: the range rules of the Set functions, the scale
// factor conversion, the lines and the displays, with the program started without a sensor.
#include <cmath>

#include "fixture.h"
#include "link/com232.h"
#include "sensor/codec.h"
#include "params/panel.h"
#include "sensor/vars.h"

namespace {

uint16_t Word(int panel, int control) {
    uint16_t v = 0;
    EXPECT_GE(GetCtrlVal(panel, control, v), 0);
    return v;
}

double Real(int panel, int control) {
    double v = 0;
    EXPECT_GE(GetCtrlVal(panel, control, v), 0);
    return v;
}

class PanelTransfer : public ProgramTest {
protected:
    void SetUp() override {
        StartWithoutSensor();
        ccdvirtpixel = 4096;
    }
    void Standard() { hwtype = 37; softversion = 302; }
    void V303() { hwtype = 37; softversion = 303; }
    void CL() { hwtype = 20250; softversion = 306; }
};

}  // namespace

TEST_F(PanelTransfer, StartWithoutSensorLeavesDefaults) {
    EXPECT_EQ(ParamVariant(), Variant::Standard);
    EXPECT_EQ(target, RAM);
    EXPECT_EQ(Status(), "No serial port found: /dev/kryta-no-such-device: No such file or directory");
    // the standard block holds the controls' initial values, the others the start values
    EXPECT_EQ(parameter[0], 85);
    EXPECT_EQ(parameter[7], Word(pHandle, PANEL_NEDITEdgeLeft));
    EXPECT_EQ(parameter[17], Word(pPara2, PARA2_SLIDEVideoThreshold));
    EXPECT_EQ(parameter[45], 65535);
    EXPECT_EQ(parameter[48], 256);
    EXPECT_EQ(CalOffset(), int32_t(Real(pCalib, CALIB_NUMCalOffset)));
    EXPECT_EQ(thdArray[0], 255 * parameter[17] / 100);
    int top = 0, left = 0;
    GetPanelPos(pPara1, top, left);
    EXPECT_EQ(top, 105);
    EXPECT_EQ(left, 8);
}

// The range rules themselves are the sensor core's; here: the pages show the corrected words and
// keep them corrected for SEND.
TEST_F(PanelTransfer, PagesShowTheWordsAsTheRangeRulesCorrectThem) {
    Standard();
    parameter[7] = 5000;   // edgeBegin > positions -> 1
    parameter[8] = 0;      // edgeEnd 0 -> 1
    parameter[10] = 0;     // tolerance -> 1
    parameter[3] = 1001;   // power -> 500
    parameter[17] = 5;     // videoThreshold -> 10
    parameter[48] = 5000;  // triggerThreshold -> 4096
    parameter[9] = 700;
    SetPanelValues();
    EXPECT_EQ(parameter[7], 1);
    EXPECT_EQ(parameter[48], 4096);
    EXPECT_EQ(Word(pHandle, PANEL_NEDITEdgeLeft), 1);
    EXPECT_EQ(Word(pHandle, PANEL_NEDITEdgeRight), 1);
    EXPECT_EQ(Word(pPara1, PARA1_NEDITTolerance), 1);
    EXPECT_EQ(Word(pPara2, PARA2_SLIDEpower), 500);
    EXPECT_EQ(Word(pPara2, PARA2_SLIDEVideoThreshold), 10);
    EXPECT_EQ(Word(pPara2, PARA2_NUMTriggThreshold), 4096);
    EXPECT_EQ(Word(pPara2, PARA2_NEDITTeach), 700);
}

TEST_F(PanelTransfer, StandardLinesDisplaysAndGraph) {
    Standard();
    ADCMAX = 255;
    parameter[17] = 40;
    parameter[10] = 100;
    parameter[9] = 2000;
    parameter[7] = 300;
    parameter[8] = 3000;
    SetScaleFactor(16384);
    ccdpixE = 100;
    SetPanelValues();
    EXPECT_EQ(thdArray[0], 102);
    EXPECT_EQ(thdArray[255], 102);
    EXPECT_EQ(ccdpixE, 256);
    EXPECT_NEAR(Real(pHandle, PANEL_NUMTolUP), 0.1, 1e-6);
    EXPECT_NEAR(Real(pHandle, PANEL_NUMTol), 0.1, 1e-6);
    EXPECT_NEAR(Real(pCalib, CALIB_NUMCalFactor), 1.0, 1e-6);
    GraphModel g = TestGraphModel(pHandle, PANEL_GRAPHVideoBar);
    EXPECT_DOUBLE_EQ(g.cursorX[1], 300);
    EXPECT_DOUBLE_EQ(g.cursorY[1], 0.75);
    EXPECT_DOUBLE_EQ(g.cursorX[2], 3000);
    EXPECT_EQ(g.xAxis.mode, VAL_MANUAL);
    EXPECT_DOUBLE_EQ(g.xAxis.max, 4096);
    ASSERT_GE(g.plots.size(), 2u);
    const PlotModel& green = g.plots.back();
    EXPECT_TRUE(green.rectangle);
    EXPECT_EQ(green.fillColor, 0x00FF00);
    EXPECT_DOUBLE_EQ(green.x1, 1900);
    EXPECT_DOUBLE_EQ(green.x2, 2100);
    EXPECT_DOUBLE_EQ(green.y2, 0.25);
    const PlotModel& grey = g.plots[g.plots.size() - 2];
    EXPECT_EQ(grey.fillColor, 0xA0A0A0);
    EXPECT_DOUBLE_EQ(grey.x2, 4096);

    // Repeated transfers (every GET) do not pile boxes onto the graph: grey box and window only.
    for (int i = 0; i < 5; ++i) SetPanelValues();
    g = TestGraphModel(pHandle, PANEL_GRAPHVideoBar);
    ASSERT_EQ(g.plots.size(), 2u);
    EXPECT_EQ(g.plots[0].fillColor, 0xA0A0A0);
    EXPECT_EQ(g.plots[1].fillColor, 0x00FF00);
}

TEST_F(PanelTransfer, V303RangeRulesLimitsAndDimming) {
    V303();
    parameter[23] = 0;     // edgeEnd 0 -> 256
    parameter[26] = 0;     // toleranceLow -> 1
    parameter[25] = 5000;  // toleranceUp -> 4096
    parameter[27] = 300;   // average -> 256
    parameter[28] = 4;     // trigMode -> 0
    parameter[48] = 9000;  // no rule
    parameter[31] = 7;     // hardwareMode -> 3, which dims the tolerances
    parameter[29] = 8;     // anaMode -> 0
    parameter[32] = 5;     // videoThreshold -> 10
    SetPanelValuesV303();
    EXPECT_EQ(Word(pPara1, PARA1_DROPhardware), 3);
    EXPECT_EQ(Word(pHandle, PANEL_NEDITEdgeRight), 256);
    EXPECT_EQ(Word(pPara2, PARA2_NUMTriggThreshold), 9000);
    EXPECT_TRUE(GetCtrlDimmed(pPara1, PARA1_NEDITTolerance));
    EXPECT_TRUE(GetCtrlDimmed(pPara1, PARA1_NEDITToleranceUP));
    EXPECT_TRUE(GetCtrlDimmed(pHandle, PANEL_BTNData));
    EXPECT_TRUE(GetCtrlDimmed(pPara2, PARA2_NUMTriggThreshold));

    // limits: set-point 10, lower 20 -> 0; set-point 1000 + 100 on 1024 positions -> 1024
    ccdvirtpixel = 1024;
    parameter[24] = 10;
    parameter[26] = 20;
    parameter[25] = 100;
    parameter[31] = 2;
    parameter[28] = 3;
    SetPanelValuesV303();
    EXPECT_EQ(loTHDArray[0], 0);
    EXPECT_EQ(REFArray[0], 10);
    EXPECT_FALSE(GetCtrlDimmed(pPara1, PARA1_NEDITTolerance));
    EXPECT_FALSE(GetCtrlDimmed(pHandle, PANEL_BTNData));
    EXPECT_FALSE(GetCtrlDimmed(pPara2, PARA2_NUMTriggThreshold));
    parameter[24] = 1000;
    parameter[31] = 3;     // stays
    parameter[29] = 7;     // stays
    parameter[32] = 2000;  // -> 950
    SetPanelValuesV303();
    EXPECT_EQ(upTHDArray[0], 1024);
    EXPECT_EQ(loTHDArray[0], 980);

    // tolerance displays use the V303 factor unit: 1024 x 100 / 1024000 = 0.1
    SetScaleFactor(1024);
    parameter[25] = 100;
    parameter[26] = 50;
    SetPanelValuesV303();
    EXPECT_NEAR(Real(pHandle, PANEL_NUMTolUP), 0.1, 1e-6);
    EXPECT_NEAR(Real(pHandle, PANEL_NUMTol), 0.05, 1e-6);
    // a stored 16384 is a factor of 16 in V303
    SetScaleFactor(16384);
    SetPanelValuesV303();
    EXPECT_NEAR(Real(pCalib, CALIB_NUMCalFactor), 16.0, 1e-6);
}

TEST_F(PanelTransfer, CLRangeRulesAndUntouchedControls) {
    CL();
    parameter[45] = 65535;  // holdTime -> 1000
    parameter[43] = 3;      // trigMode > 2 -> 0
    parameter[38] = 0;      // edgeEnd 0 -> 1
    parameter[40] = 5000;   // toleranceUp -> 4096
    parameter[41] = 0;      // toleranceLow -> 1
    parameter[46] = 2000;   // videoThreshold -> 950
    parameter[42] = 257;    // average -> 256
    parameter[44] = 8;      // anaMode -> 0
    SetCtrlVal(pCalib, CALIB_BINSWopmode, 1);
    SetCtrlVal(pPara2, PARA2_NUMTriggThreshold, 1234);
    parameter[15] = 0;
    parameter[30] = 0;
    SetPanelValuesCL();
    EXPECT_EQ(Word(pPara1, PARA1_DROPhold), 1000);
    EXPECT_EQ(Word(pPara1, PARA1_DROPanaMode), 0);
    EXPECT_EQ(Word(pCalib, CALIB_BINSWopmode), 1);
    EXPECT_EQ(Word(pPara2, PARA2_NUMTriggThreshold), 1234);
    // Get CL reads neither the operation mode nor the trigger threshold
    uint16_t before48 = parameter[48];
    GetPanelValuesCL();
    EXPECT_EQ(parameter[15], 0);
    EXPECT_EQ(parameter[30], 0);
    EXPECT_EQ(parameter[48], before48);
    EXPECT_EQ(parameter[45], 1000);
}

TEST_F(PanelTransfer, GetConvertsTheScaleFactorAndReadsTheTriggerPerVariant) {
    Standard();
    SetCtrlVal(pCalib, CALIB_NUMCalFactor, 1.0);
    GetPanelValues();
    EXPECT_EQ(ScaleFactor(), 16384u);
    SetCtrlVal(pCalib, CALIB_NUMCalFactor, 0.5);
    GetPanelValues();
    EXPECT_EQ(ScaleFactor(), 8192u);
    // products of 2^31 and above stay unsigned
    SetCtrlVal(pCalib, CALIB_NUMCalFactor, 200000.0);
    GetPanelValues();
    EXPECT_EQ(ScaleFactor(), 3276800000u);
    // standard: the trigger threshold control does not reach the word
    parameter[48] = 256;
    SetCtrlVal(pPara2, PARA2_NUMTriggThreshold, 999);
    GetPanelValues();
    EXPECT_EQ(parameter[48], 256);

    V303();
    SetCtrlVal(pCalib, CALIB_NUMCalFactor, 1.0);
    SetCtrlVal(pPara2, PARA2_NEDITTeach, 600);
    SetCtrlVal(pPara1, PARA1_NEDITToleranceUP, 30);
    SetCtrlVal(pPara1, PARA1_NEDITTolerance, 40);
    GetPanelValuesV303();
    EXPECT_EQ(ScaleFactor(), 1024u);
    EXPECT_EQ(parameter[48], 999);
    EXPECT_EQ(parameter[24], 600);
    EXPECT_EQ(parameter[25], 30);
    EXPECT_EQ(parameter[26], 40);
    EXPECT_EQ(upTHDArray[0], 630);
    EXPECT_EQ(loTHDArray[0], 560);
    EXPECT_EQ(trgArray[0], 999);

    CL();
    SetCtrlVal(pCalib, CALIB_NUMCalFactor, 2.0);
    SetCtrlVal(pCalib, CALIB_NUMCalOffset, -70000);
    GetPanelValuesCL();
    EXPECT_EQ(ScaleFactor(), 2048u);
    EXPECT_EQ(CalOffset(), -70000);
}

// Greyed, values kept, once the line is lost or the port has no sensor; a new sensor's description
// and parameters show as ever at once, its measured values from its first frame on.
TEST_F(ProgramTest, WhatIsNoLongerThisSensorsIsGreyed) {
    StartWith("M01");
    const auto greyed = [] {  // a measured value, a tolerance length, the description: 1 when grey
        const int panels[] = {pHandle, pHandle, pCalib}, ctrls[] = {PANEL_NUMLedge, PANEL_NUMTol, CALIB_TEXTBOXsensor};
        std::string g;
        for (int i = 0; i < 3; ++i) g += GetCtrlTextColor(panels[i], ctrls[i]) == 0x909090 ? '1' : '0';
        return g;
    };
    EXPECT_EQ(greyed(), "100");  // nothing measured yet
    TestLeftClickLater(0.3, pHandle, PANEL_BTNStop);
    TestLeftClick(pHandle, PANEL_BTNRun);
    EXPECT_EQ(greyed(), "000");
    const std::string ledge = TestCtrlText(pHandle, PANEL_NUMLedge);
    sensor->Unplug();
    TestLeftClick(pHandle, PANEL_BTNGet);
    EXPECT_EQ(greyed(), "111");
    EXPECT_EQ(TestCtrlText(pHandle, PANEL_NUMLedge), ledge);
    sim::Simulator second("M19", false);
    ASSERT_TRUE(second.Start());
    setenv("KRYTA_COM2", second.DevicePath().c_str(), 1);
    TestUserSetValue(pHandle, PANEL_DropDCom, 2);
    EXPECT_EQ(greyed(), "100");
    setenv("KRYTA_COM2", "/dev/kryta-no-such-device", 1);
    TestFireEvent(pHandle, PANEL_DropDCom, EVENT_COMMIT);
    EXPECT_EQ(greyed(), "111");
    unsetenv("KRYTA_COM2");
}
