// Teach, manual set-point entry and the reset of the analog maximum/minimum.
#include <gtest/gtest.h>

#include "ops_common.h"

namespace {

class TeachTest : public ProgramTest {
protected:
    double Cursor1() { return TestGraphModel(pHandle, PANEL_GRAPHVideoBar).cursorX[0]; }
};

TEST_F(TeachTest, TeachReadsTheSetPointBackAndMarksIt) {
    StartWith("M01");
    sensor->SetObject(1500, 1700, false);
    SetGraphCursor(pHandle, PANEL_GRAPHVideoBar, 1, 7.0, 0.75);
    stop_flag = 1;  // as after a STOP
    sensor->ClearRequests();
    TestClearTextHistory();
    TestLeftClick(pPara2, PARA2_ButtonTeach);

    auto reqs = sensor->Requests();
    ASSERT_EQ(reqs.size(), 3u);
    EXPECT_EQ(reqs[0].word(1), 6);
    EXPECT_EQ(reqs[0].word(2), 0);
    EXPECT_EQ(reqs[1].word(1), 2);
    EXPECT_EQ(reqs[1].word(2), 0);
    EXPECT_EQ(reqs[2].word(1), 2);
    EXPECT_EQ(reqs[2].word(2), 1);
    EXPECT_GT(reqs[2].time - reqs[1].time, 0.09);
    // the request carried the block as the panels show it
    uint16_t shownPower = 0;
    GetCtrlVal(pPara2, PARA2_SLIDEpower, shownPower);
    EXPECT_EQ(reqs[0].word(3), shownPower);

    const uint16_t taught = sensor->Ram(0)[6];
    EXPECT_EQ(parameter[9], taught);
    EXPECT_DOUBLE_EQ(Cursor1(), taught);
    EXPECT_DOUBLE_EQ(TestGraphModel(pHandle, PANEL_GRAPHVideoBar).cursorY[0], 0.75);
    int a = HistoryIndex("New setpoint value teached!");
    ASSERT_GE(a, 0);
    EXPECT_GT(HistoryIndex("Parameter-frame received! - Line Ok!", a), a);
}

TEST_F(TeachTest, TeachOnV303AndCLCarriesTheEditedSetPointAndReadsItsOwnWord) {
    struct Case {
        const char* model;
        Variant variant;
        int setPointWord;
        uint16_t edited;
    };
    for (const Case& c : {Case{"M03", Variant::V303, 24, 1234}, Case{"M19", Variant::CL, 39, 777}}) {
        SCOPED_TRACE(c.model);
        TearDown();
        StartWith(c.model);
        ASSERT_EQ(ParamVariant(), c.variant);
        sensor->SetObject(300, 600, false);
        // the set-point typed on the page travels in the teach request, in the variant's block
        TestUserSetValue(pPara2, PARA2_NEDITTeach, c.edited);
        sensor->ClearRequests();
        TestLeftClick(pPara2, PARA2_ButtonTeach);
        const auto reqs = sensor->Requests();
        ASSERT_EQ(reqs.size(), 3u);
        EXPECT_EQ(reqs[0].word(1), 6);
        EXPECT_EQ(reqs[0].word(3 + 6), c.edited);
        // the taught value comes back into the variant's own set-point word and the cursor
        const uint16_t taught = sensor->Ram(0)[6];
        EXPECT_NE(taught, c.edited);
        EXPECT_EQ(parameter[c.setPointWord], taught);
        EXPECT_DOUBLE_EQ(Cursor1(), taught);
    }
}

TEST_F(TeachTest, TeachWithoutAnswer) {
    StartWith("M01");
    sensor->SetFault({sim::Fault::Silent});
    SetGraphCursor(pHandle, PANEL_GRAPHVideoBar, 1, 333.0, 0.75);
    stop_flag = 0;
    sensor->ClearRequests();
    TestClearTextHistory();
    const double t0 = Timer();
    TestLeftClick(pPara2, PARA2_ButtonTeach);
    const double took = Timer() - t0;
    EXPECT_GT(took, 1.45);
    EXPECT_LT(took, 2.5);
    auto h = StatusHistory();
    ASSERT_GE(h.size(), 2u);
    EXPECT_EQ(h[h.size() - 2], "New setpoint value teached!");
    EXPECT_EQ(h.back(), "Timeout RS232-Line!");
    EXPECT_EQ(stop_flag, 1);
    EXPECT_DOUBLE_EQ(Cursor1(), 333.0);
    EXPECT_EQ(Commands(sensor->Requests()), std::vector<int>{6});  // no read-back
}

TEST_F(TeachTest, ResetWithAndWithoutAnswer) {
    StartWith("M01");
    TestUserSetValue(pPara1, PARA1_DROPanaMode, 4);  // shows the reset button
    sensor->ClearRequests();
    TestClearTextHistory();
    TestLeftClick(pHandle, PANEL_ButtonReset);
    ASSERT_EQ(sensor->Requests().size(), 1u);
    EXPECT_EQ(sensor->Requests()[0].word(1), 11);
    EXPECT_EQ(sensor->Requests()[0].word(2), 0);
    EXPECT_EQ(parameter[1], 11);
    int a = HistoryIndex("Reset Max/Min values...");
    ASSERT_GE(a, 0);
    EXPECT_GT(HistoryIndex("Reset of analog-output Max/Min OK!", a), a);
    EXPECT_EQ(Status(), "Reset of analog-output Max/Min OK!");

    sensor->SetFault({sim::Fault::Silent});
    TestClearTextHistory();
    const double t0 = Timer();
    TestLeftClick(pHandle, PANEL_ButtonReset);
    EXPECT_GT(Timer() - t0, 1.45);
    a = HistoryIndex("Reset Max/Min values...");
    ASSERT_GE(a, 0);
    EXPECT_GT(HistoryIndex("Timeout-RS-232...", a), a);
    EXPECT_EQ(Status(), "Timeout-RS-232...");
}

TEST_F(TeachTest, SetPointEntryKeptOnTheLineAndLinesRebuilt) {
    StartWithoutSensor();
    ccdvirtpixel = 4096;
    softversion = 303;  // V303: tolerance words 25 and 26
    hwtype = 37;
    parameter[25] = 30;
    parameter[26] = 20;
    parameter[24] = 321;
    const auto wordsBefore = parameter;
    auto enter = [](double v) {
        TestUserSetValue(pPara2, PARA2_NEDITTeach, v);
        int32_t shown = 0;
        GetCtrlVal(pPara2, PARA2_NEDITTeach, shown);
        return shown;
    };
    EXPECT_EQ(enter(0), 1);
    EXPECT_EQ(enter(4096 + 5), 4095);
    EXPECT_EQ(enter(4096), 4096);
    EXPECT_EQ(upTHDArray[0], 4096);  // limited to the line
    EXPECT_EQ(enter(5), 5);
    EXPECT_EQ(REFArray[0], 5);
    EXPECT_EQ(REFArray[255], 5);
    EXPECT_EQ(loTHDArray[0], 0);  // 5 - 20 stays at 0
    EXPECT_EQ(upTHDArray[255], 35);
    EXPECT_EQ(enter(1000), 1000);
    EXPECT_EQ(loTHDArray[128], 980);
    EXPECT_EQ(upTHDArray[128], 1030);
    EXPECT_EQ(parameter, wordsBefore);  // the value travels with the next SEND or teach
    // CL takes its own tolerance words, the standard variant its symmetric tolerance
    hwtype = 20250;
    parameter[40] = 7;
    parameter[41] = 9;
    EXPECT_EQ(enter(1001), 1001);
    EXPECT_EQ(loTHDArray[0], 992);
    EXPECT_EQ(upTHDArray[0], 1008);
    hwtype = 37;
    softversion = 0;
    parameter[10] = 50;
    EXPECT_EQ(enter(1000), 1000);
    EXPECT_EQ(loTHDArray[0], 950);
    EXPECT_EQ(upTHDArray[0], 1050);
    // a right click does nothing here
    const uint16_t before = REFArray[0];
    TestRightClick(pPara2, PARA2_NEDITTeach);
    EXPECT_EQ(REFArray[0], before);
}

}  // namespace
