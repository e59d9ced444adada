// Right-click help: where each box opens, how it toggles, and what it says.
#include <algorithm>
#include <string>
#include <vector>

#include "fixture.h"
#include "sensor/vars.h"

namespace {

struct Rect {
    int top = 0, left = 0, height = 0, width = 0;
};

Rect BoundsOf(int panel, int control) {
    Rect r;
    EXPECT_EQ(GetCtrlBoundingRect(panel, control, r.top, r.left, r.height, r.width), 0);
    return r;
}

struct Pos {
    int top, left;
    bool operator==(const Pos& o) const { return top == o.top && left == o.left; }
};

std::ostream& operator<<(std::ostream& os, const Pos& p) { return os << "(top " << p.top << ", left " << p.left << ")"; }

Pos BoxPos(int box) {
    Rect r = BoundsOf(pHandle, box);
    return {r.top, r.left};
}

bool BoxShown(int box) { return GetCtrlVisible(pHandle, box); }
std::string BoxText(int box) { return TestCtrlText(pHandle, box); }

class HelpTest : public ProgramTest {
protected:
    void SetUp() override { StartWithoutSensor(); }
};

TEST_F(HelpTest, BoxOpensBesideTheButtonAndASecondClickHidesIt) {
    ASSERT_FALSE(BoxShown(PANEL_HelpText1));
    Rect run = BoundsOf(pHandle, PANEL_BTNRun);

    TestRightClick(pHandle, PANEL_BTNRun);
    EXPECT_TRUE(BoxShown(PANEL_HelpText1));
    EXPECT_EQ(BoxPos(PANEL_HelpText1), (Pos{run.top - 10, run.left + run.width + 10}));
    EXPECT_EQ(BoxText(PANEL_HelpText1).rfind("RUN-BUTTON:\n", 0), 0u);
    EXPECT_FALSE(BoxShown(PANEL_HelpText2));

    TestRightClick(pHandle, PANEL_BTNRun);
    EXPECT_FALSE(BoxShown(PANEL_HelpText1));
}

TEST_F(HelpTest, SecondControlHidesTheBoxAndTheNextClickShowsItsOwnHelp) {
    Rect stop = BoundsOf(pHandle, PANEL_BTNStop);
    TestRightClick(pHandle, PANEL_BTNRun);
    ASSERT_TRUE(BoxShown(PANEL_HelpText1));

    TestRightClick(pHandle, PANEL_BTNStop);
    EXPECT_FALSE(BoxShown(PANEL_HelpText1));
    // Already moved and re-texted while hidden.
    EXPECT_EQ(BoxPos(PANEL_HelpText1), (Pos{stop.top - 10, stop.left + stop.width + 10}));
    EXPECT_EQ(BoxText(PANEL_HelpText1).rfind("STOP-BUTTON:\n", 0), 0u);

    TestRightClick(pHandle, PANEL_BTNStop);
    EXPECT_TRUE(BoxShown(PANEL_HelpText1));
    EXPECT_EQ(BoxPos(PANEL_HelpText1), (Pos{stop.top - 10, stop.left + stop.width + 10}));
    EXPECT_EQ(BoxText(PANEL_HelpText1),
              "STOP-BUTTON:\nStops the serial RS232-data-transfer\nbetween PC and KRYTA sensor.");
}

TEST_F(HelpTest, PageControlsAddThePagePlaceAndTheTwoBoxesAreIndependent) {
    // The drop-down moved to left 100, top 20 on page 1 (page at left 8, top 105).
    ASSERT_EQ(SetCtrlPos(pPara1, PARA1_DROPevalmode, 20, 100), 0);
    int pt = 0, pl = 0;
    GetPanelPos(pPara1, pt, pl);
    ASSERT_EQ(pt, 105);
    ASSERT_EQ(pl, 8);
    Rect eval = BoundsOf(pPara1, PARA1_DROPevalmode);
    ASSERT_EQ(eval.left, 100);
    ASSERT_EQ(eval.top, 20);

    TestRightClick(pPara1, PARA1_DROPevalmode);
    ASSERT_TRUE(BoxShown(PANEL_HelpText1));
    // With a width of 120 this is left 248, top 115.
    EXPECT_EQ(BoxPos(PANEL_HelpText1), (Pos{115, 8 + 100 + eval.width + 20}));
    EXPECT_EQ(BoxText(PANEL_HelpText1).rfind("EVALUATION-MODE:\n", 0), 0u);

    // The average help goes to the second box; the first stays.
    Rect avg = BoundsOf(pPara1, PARA1_DROPaverage);
    TestRightClick(pPara1, PARA1_DROPaverage);
    EXPECT_TRUE(BoxShown(PANEL_HelpText1));
    EXPECT_TRUE(BoxShown(PANEL_HelpText2));
    EXPECT_EQ(BoxText(PANEL_HelpText2).rfind("AVERAGE:\n", 0), 0u);
    EXPECT_EQ(BoxText(PANEL_HelpText1).rfind("EVALUATION-MODE:\n", 0), 0u);
    EXPECT_EQ(BoxPos(PANEL_HelpText2), (Pos{105 + avg.top - 10, 8 + avg.left + avg.width + 20}));

    // A page placed elsewhere moves the box with it.
    SetPanelPos(pPara1, 130, 40);
    TestRightClick(pPara1, PARA1_DROPevalmode);  // hides, moved
    TestRightClick(pPara1, PARA1_DROPevalmode);  // shows
    EXPECT_TRUE(BoxShown(PANEL_HelpText1));
    EXPECT_EQ(BoxPos(PANEL_HelpText1), (Pos{130 + 20 - 10, 40 + 100 + eval.width + 20}));
}

TEST_F(HelpTest, EdgeEndOpensToTheLeftAndGraphsShareOnePlace) {
    Rect right = BoundsOf(pHandle, PANEL_NEDITEdgeRight);
    TestRightClick(pHandle, PANEL_NEDITEdgeRight);
    ASSERT_TRUE(BoxShown(PANEL_HelpText1));
    Pos p = BoxPos(PANEL_HelpText1);
    EXPECT_EQ(p, (Pos{right.top - 20, right.left - right.width - 100}));
    EXPECT_LT(p.left, right.left);

    // Video and trigger-buffer graphs open their help where the roll chart is.
    Rect raw = BoundsOf(pHandle, PANEL_GRAPHRaw);
    SetCtrlPos(pHandle, PANEL_GRAPHVideo, 300, 700);  // even when moved away
    for (int graph : {PANEL_GRAPHRaw, PANEL_GRAPHVideo, PANEL_GRAPHData}) {
        SetCtrlVisible(pHandle, PANEL_HelpText2, false);
        TestFireEvent(pHandle, graph, EVENT_RIGHT_CLICK);
        EXPECT_TRUE(BoxShown(PANEL_HelpText2)) << kCtrlTable[graph].name;
        EXPECT_EQ(BoxPos(PANEL_HelpText2), (Pos{raw.top + 40, raw.left + 80})) << kCtrlTable[graph].name;
    }
    EXPECT_EQ(BoxText(PANEL_HelpText2).back(), '\n');
}

TEST_F(HelpTest, ClickingAVisibleBoxWithEitherButtonHidesIt) {
    TestRightClick(pHandle, PANEL_BTNGet);
    TestRightClick(pHandle, PANEL_DropDCom);
    ASSERT_TRUE(BoxShown(PANEL_HelpText1));
    ASSERT_TRUE(BoxShown(PANEL_HelpText2));

    TestLeftClick(pHandle, PANEL_HelpText1);
    EXPECT_FALSE(BoxShown(PANEL_HelpText1));
    EXPECT_TRUE(BoxShown(PANEL_HelpText2));
    TestRightClick(pHandle, PANEL_HelpText2);
    EXPECT_FALSE(BoxShown(PANEL_HelpText2));

    // Other events on a box leave it alone.
    TestRightClick(pHandle, PANEL_BTNGet);
    ASSERT_TRUE(BoxShown(PANEL_HelpText1));
    TestFireEvent(pHandle, PANEL_HelpText1, EVENT_COMMIT);
    TestFireEvent(pHandle, PANEL_HelpText1, EVENT_KEYPRESS);
    EXPECT_TRUE(BoxShown(PANEL_HelpText1));
}

// The whole placement table, through each control's own callback as the operator reaches it.
TEST_F(HelpTest, EveryControlWithHelpShowsItsTextAtItsPlace) {
    enum Rule { RightOf, Inside, LeftOf };
    struct Row {
        int control, box, ref;
        Rule rule;
        int dx, dy;
        const char* text;  // as the operator reads it
    };
    const char* const kVideoGraphHelp =  // the video and the trigger-buffer graph share it
        "VIDEO-GRAPH-WINDOW:\nVisualizes the actual video signal\nof the CCD-sensor. The video signal\n"
        "represents the analog-value of each pixel.\nBecause of the limited baudrate of the\n"
        "serial RS232 interface, the graph is\nrefreshed slowly.\n";
    const std::vector<Row> rows = {
        {PANEL_BTNRun, PANEL_HelpText1, PANEL_BTNRun, RightOf, 10, -10, "RUN-BUTTON:\n"
         "Start the continuosly serial RS232-data-\n"
         "transfer between PC and KRYTA sensor...\n"
         "A frame of 16 meas.-values is transferred!"},
        {PANEL_BTNStop, PANEL_HelpText1, PANEL_BTNStop, RightOf, 10, -10, "STOP-BUTTON:\n"
         "Stops the serial RS232-data-transfer\n"
         "between PC and KRYTA sensor."},
        {PANEL_BTNVideo, PANEL_HelpText1, PANEL_BTNVideo, RightOf, 10, -10, "VIDEO-BUTTON:\n"
         "Transfer video-signal (pixel information)\n"
         "= intensity profile at CCD-line, via\n"
         "serial communication interface to PC."},
        {PANEL_BTNData, PANEL_HelpText1, PANEL_BTNVideo, RightOf, 10, -10, "DATA-BUTTON:\n"
         "Transfer intern-trigger-buffer via\n"
         "serial communication interface to PC."},
        {PANEL_ButtonReset, PANEL_HelpText1, PANEL_ButtonReset, RightOf, 10, -10, "RESET-BUTTON:\n"
         "Reset the actual maxima und minima\n"
         "values at the KRYTA-hardware.\n"
         "No software/hardware reset is done !"},
        {PANEL_TOGGButtonZoom, PANEL_HelpText1, PANEL_TOGGButtonZoom, RightOf, 10, -10, "ZOOM-TOGGLE-BUTTON:\n"
         "Activate / Deactivate automatic\n"
         "zoom function for y-axis of \n"
         "measurement-values. RUN-mode"},
        {PANEL_BTNSend, PANEL_HelpText1, PANEL_BTNSend, RightOf, 20, -20, "SEND-BUTTON:\n"
         "Send parameter-frame to EEPROM- or\n"
         "RAM-memory of the KRYTA-sensor!"},
        {PANEL_BTNGet, PANEL_HelpText1, PANEL_BTNGet, RightOf, 20, -20, "GET-BUTTON:\n"
         "Get parameter-frame of KRYTA sensor\n"
         "from EEPROM- or RAM-memory ..."},
        {PANEL_NEDITEdgeLeft, PANEL_HelpText1, PANEL_NEDITEdgeLeft, RightOf, 10, -20, "E-BEG:\n"
         "Set evaluation begin at the KRYTA sensor\n"
         "Evaluation starts with this pixel ..."},
        {PANEL_NEDITEdgeRight, PANEL_HelpText1, PANEL_NEDITEdgeRight, LeftOf, 100, -20, "E-END:\n"
         "Set evaluation end at the KRYTA sensor\n"
         "Evaluation ends with this pixel ..."},
        {PANEL_DropDCom, PANEL_HelpText2, PANEL_DropDCom, RightOf, 20, -80, "DROP-DOWN-CONNECT:\n"
         "Select the port-number of the serial RS232 comunication interface of the PC.\n"
         "\n"
         "The port-number can be found under:\n"
         "<Start>/System-Settings/Hardware/..."},
        {PANEL_GRAPHRaw, PANEL_HelpText2, PANEL_GRAPHRaw, Inside, 80, 40, "ROLL-GRAPH-WINDOW:\n"
         "Visualizes the actual measurement value\n"
         "in pixel. The Graph is displayed in a\n"
         "'roll-mode', the latest value is rolling from\n"
         "the left (index=100) to the right.\n"
         "The baudrate of the serial rs232-interface\n"
         "limits the update-rate of this graph."},
        {PANEL_GRAPHVideo, PANEL_HelpText2, PANEL_GRAPHRaw, Inside, 80, 40, kVideoGraphHelp},
        {PANEL_GRAPHData, PANEL_HelpText2, PANEL_GRAPHRaw, Inside, 80, 40, kVideoGraphHelp},
        {PARA1_DROPevalmode, PANEL_HelpText1, PARA1_DROPevalmode, RightOf, 20, -10, "EVALUATION-MODE:\n"
         "Drop-down element to select an\n"
         "evaluation mode at the KRYTA-sensor."},
        {PARA1_DROPhardware, PANEL_HelpText1, PARA1_DROPhardware, RightOf, 20, -10, "HARDWARE OPERATION-MODE:\n"
         "Drop-down element to enable or disable \n"
         "harware components e.g. the button or\n"
         "potentiometer at the KRYTA-housing."},
        {PARA1_DROPtrigmode, PANEL_HelpText1, PARA1_DROPtrigmode, RightOf, 20, -10, "TRIGGER-MODE:\n"
         "Select a trigg.-mode at the KRYTA-sensor.\n"
         "For external trigger mode IN0=Pin3[green]\n"
         "of 8-pole. female plc-connector is used !"},
        {PARA1_DROPpolarity, PANEL_HelpText1, PARA1_DROPpolarity, RightOf, 20, -10, "POLARITY:\n"
         "Drop-down element to change the polarity\n"
         "(0V,+24VDC) of the digital outputs OUT0,\n"
         "and OUT1 at the KRYTA-sensor."},
        {PARA1_DROPaverage, PANEL_HelpText2, PARA1_DROPaverage, RightOf, 20, -10, "AVERAGE:\n"
         "Number of CCD-scans which are stored\n"
         "in a ring-buffer. On each main-loop\n"
         "-cycle a mean-value is calculated\n"
         "from the ring-buffer.\n"
         "The switching frequency is not reduced!\n"
         "Averaging affects the analog output\n"
         "voltage (smoothing)."},
        {PARA1_DROPanaMode, PANEL_HelpText1, PARA1_DROPanaMode, RightOf, 20, -10, "ANALOG-OUT:\n"
         "Drop-down element to preset the mode\n"
         "of the analog output. The analog-output\n"
         "is connected to /pin8/red/8-pole socket."},
        {PARA1_NEDITToleranceUP, PANEL_HelpText1, PARA1_NEDITToleranceUP, RightOf, 20, -10, "TOLERANCE-HIGH:\n"
         "Numerical input field to preset the upper\n"
         "tolerance limit in [pixel] at the hardware."},
        {PARA1_NEDITTolerance, PANEL_HelpText1, PARA1_NEDITTolerance, RightOf, 20, -10, "TOLERANCE-VALUE:\n"
         "Numerical input field to preset the lower\n"
         "and upper tolerance limit in [pixel] \n"
         "at the hardware."},
        {PARA1_DROPhold, PANEL_HelpText1, PARA1_DROPhold, RightOf, 25, -10, "HOLD [ms]:\n"
         "With this drop-down, the hold-time in [ms]\n"
         "of the OUT0 (pin5\\grey) digital-output can be set."},
        {PARA2_SLIDEpower, PANEL_HelpText1, PARA2_SLIDEpower, RightOf, 135, -10, "POWER:\n"
         "With this slider, the power of the light-\n"
         "source at the KRYTA-sensor can be set."},
        {PARA2_SLIDEVideoThreshold, PANEL_HelpText1, PARA2_SLIDEVideoThreshold, RightOf, 30, -10, "V-THD:\n"
         "With this slider, the video-threshold for\n"
         "the calculation of the edges can be set.\n"
         "It is displayed by the green horiz. line!"},
        {PARA2_NUMTriggThreshold, PANEL_HelpText1, PARA2_SLIDEVideoThreshold, RightOf, 30, -10, "V-THD:\n"
         "With edit-field, the trigger-threshold for\n"
         "the internal trigger function can be set.\n"
         "It is displayed by the black horiz. line!"},
        {PARA2_DROPpowermode, PANEL_HelpText1, PARA2_DROPpowermode, RightOf, 25, -10, "PMODE:\n"
         "With this drop-down, the working-mode\n"
         "of the light-source at the KRYTA-sensor can be set."},
        {PARA2_ButtonTeach, PANEL_HelpText1, PARA2_ButtonTeach, Inside, 80, -10, "TEACH-BUTTON:\n"
         "Start teach procedure at KRYTA-sensor.\n"
         "The actual pixel-position == teach value"},
        {CALIB_BINSWopmode, PANEL_HelpText1, CALIB_BINSWopmode, RightOf, 120, -10, "OPERATION-MODE:\n"
         "Binary-switch to set the operation mode\n"
         "of the CCD-receiver amplifier."},
    };
    softversion = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(kCtrlTable[row.control].name);
        const int panel = TestPanelFromControl(row.control);
        ASSERT_GT(panel, 0);
        Rect r = BoundsOf(panel, row.ref);
        int pt = 0, pl = 0;
        if (panel != pHandle) GetPanelPos(panel, pt, pl);
        int left = pl + r.left;
        if (row.rule == RightOf) left += r.width + row.dx;
        if (row.rule == Inside) left += row.dx;
        if (row.rule == LeftOf) left -= r.width + row.dx;

        SetCtrlVisible(pHandle, PANEL_HelpText1, false);
        SetCtrlVisible(pHandle, PANEL_HelpText2, false);
        TestFireEvent(panel, row.control, EVENT_RIGHT_CLICK);
        const int other = row.box == PANEL_HelpText1 ? PANEL_HelpText2 : PANEL_HelpText1;
        EXPECT_TRUE(BoxShown(row.box));
        EXPECT_FALSE(BoxShown(other));
        EXPECT_EQ(BoxPos(row.box), (Pos{pt + r.top + row.dy, left}));
        EXPECT_EQ(BoxText(row.box), row.text);
    }
}

TEST_F(HelpTest, TextsAsTheOperatorReadsThem) {
    // The tolerance help follows the firmware's tolerance model.
    softversion = 302;
    TestRightClick(pPara1, PARA1_NEDITTolerance);
    EXPECT_EQ(BoxText(PANEL_HelpText1),
              "TOLERANCE-VALUE:\nNumerical input field to preset the lower\nand upper tolerance limit in [pixel] "
              "\nat the hardware.");
    softversion = 303;
    TestRightClick(pPara1, PARA1_NEDITTolerance);  // hides, re-texts
    TestRightClick(pPara1, PARA1_NEDITTolerance);  // shows
    EXPECT_TRUE(BoxShown(PANEL_HelpText1));
    EXPECT_EQ(BoxText(PANEL_HelpText1),
              "TOLERANCE-LOW:\nNumerical input field to preset the lower\ntolerance limit in [pixel] at the "
              "hardware.");
    softversion = 0;

    // Controls without help leave both boxes as they are.
    ASSERT_TRUE(BoxShown(PANEL_HelpText1));
    const std::string shown = BoxText(PANEL_HelpText1);
    const Pos at = BoxPos(PANEL_HelpText1);
    for (int c : {PANEL_RBTRam, PANEL_RBTEeprom, PANEL_RBTFile, PANEL_TOGGBTN_Para1, PANEL_TOGGBTN_Calib,
                  PARA2_NEDITTeach, RECORD_CBTNStartRecord, RECORD_NUMsample, CALIB_BTNReadXFLASH,
                  CALIB_BTNWriteXFLASH}) {
        SCOPED_TRACE(kCtrlTable[c].name);
        EXPECT_EQ(HelpTextOf(c), "");
        TestFireEvent(TestPanelFromControl(c), c, EVENT_RIGHT_CLICK);
        ShowCtrlHelp(TestPanelFromControl(c), c);
        EXPECT_TRUE(BoxShown(PANEL_HelpText1));
        EXPECT_FALSE(BoxShown(PANEL_HelpText2));
        EXPECT_EQ(BoxText(PANEL_HelpText1), shown);
        EXPECT_EQ(BoxPos(PANEL_HelpText1), at);
    }
}

}  // namespace
