// VIDEO and DATA against the simulated sensor.
#include <gtest/gtest.h>

#include "display/display.h"
#include "ops_common.h"

namespace {

class VideoTest : public ProgramTest {
protected:
    // The request words of one pass: a measurement request, then four block requests.
    void ExpectPass(const std::vector<sim::Request>& reqs, size_t first, uint16_t kind) {
        ASSERT_GE(reqs.size(), first + 5);
        EXPECT_EQ(reqs[first].word(1), 8);
        EXPECT_EQ(reqs[first].word(2), 0);
        const uint16_t offsets[] = {0, 64, 128, 192};
        for (int b = 0; b < 4; ++b) {
            const auto& r = reqs[first + 1 + b];
            EXPECT_EQ(r.bytes[0], 0x00);
            EXPECT_EQ(r.bytes[1], 0x55);
            EXPECT_EQ(r.word(1), 9) << b;
            EXPECT_EQ(r.word(2), offsets[b]) << b;
            EXPECT_EQ(r.word(3), kind) << b;
            for (int w = 4; w <= 16; ++w) EXPECT_EQ(r.word(w), 0) << b << "/" << w;
        }
    }
    // The handler is back: a parameter read is answered.
    void ExpectFramedAnswersWork() {
        TestClearTextHistory();
        PushGET(RAM, 0);
        EXPECT_EQ(Status(), "Parameter-frame received! - Line Ok!");
    }
};

TEST_F(VideoTest, VideoPassesUntilStop) {
    StartWith("M01");
    // the same video signal in every pass: a still object under constant light
    sensor->SetObject(1500, 2600, false);
    auto block = sensor->Ram(0);
    block[1] = 0;  // power mode: constant
    sensor->SetRam(0, block);
    SetCtrlVal(pHandle, PANEL_RBTFile, 1);
    target = DATFILE;
    adcbuf.fill(0xBEEF);
    sensor->ClearRequests();
    TestLeftClickLater(0.5, pHandle, PANEL_BTNStop);
    TestLeftClick(pHandle, PANEL_BTNVideo);

    auto reqs = sensor->Requests();
    ExpectPass(reqs, 0, 0);
    ExpectPass(reqs, 5, 0);  // unpaced, 0.5 s holds several passes
    EXPECT_EQ(target, RAM);

    // the video curve shows the words the sensor sent, block by block, with the threshold line,
    // scaled to the line and the ADC
    const auto sent = sensor->VideoSignal();
    ASSERT_NE(sent[0], sent[128]);  // a signal whose blocks differ: a shifted block would show
    GraphModel g = TestGraphModel(pHandle, PANEL_GRAPHVideo);
    ASSERT_EQ(g.plots.size(), 2u);
    ASSERT_EQ(g.plots[0].y.size(), 256u);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(g.plots[0].y[i], sent[i]) << i;
        ASSERT_EQ(adcbuf[i], sent[i]) << i;
    }
    EXPECT_EQ(g.plots[0].color, 0xFF0000);
    EXPECT_EQ(g.plots[1].color, 0x008000);
    EXPECT_DOUBLE_EQ(g.plots[1].y[0], thdArray[0]);
    EXPECT_DOUBLE_EQ(g.plots[0].x[1], xArray[1]);
    EXPECT_DOUBLE_EQ(g.xAxis.min, 1.0);
    EXPECT_DOUBLE_EQ(g.xAxis.max, ccdvirtpixel);
    EXPECT_DOUBLE_EQ(g.yAxis.min, 1.0);
    EXPECT_DOUBLE_EQ(g.yAxis.max, ADCMAX);
    // and the bar graph of the measurement that went before
    int32_t shown = 0;
    GetCtrlVal(pHandle, PANEL_NUMLedge, shown);
    EXPECT_EQ(shown, Ledge);

    EXPECT_TRUE(GetCtrlVisible(pHandle, PANEL_GRAPHVideo));
    EXPECT_FALSE(GetCtrlVisible(pHandle, PANEL_GRAPHRaw));
    EXPECT_FALSE(GetCtrlVisible(pHandle, PANEL_GRAPHData));
    EXPECT_FALSE(GetCtrlVisible(pHandle, PANEL_TOGGButtonZoom));
    EXPECT_FALSE(GetCtrlDimmed(pHandle, PANEL_BTNRun));
    EXPECT_FALSE(GetCtrlDimmed(pPara2, PARA2_ButtonTeach));
    ExpectFramedAnswersWork();
}

TEST_F(VideoTest, StopWhileTheMeasurementAnswerIsAwaitedRequestsNoBlock) {
    StartWith("M21");
    TestUserSetValue(pPara1, PARA1_DROPtrigmode, 3);  // internal trigger: DATA available
    TestLeftClick(pHandle, PANEL_BTNStop);
    for (int button : {PANEL_BTNVideo, PANEL_BTNData}) {
        SCOPED_TRACE(kCtrlTable[button].name);
        sensor->ClearFaults();
        sensor->SetFault({sim::Fault::Delay, 8, 1.0});
        sensor->ClearRequests();
        // after the first pass the line first falls quiet (the late answer of the one stopped)
        TestLeftClickLater(0.6, pHandle, PANEL_BTNStop);
        TestLeftClick(pHandle, button);
        RunEventsFor(1.0);
        EXPECT_EQ(Commands(sensor->Requests()), std::vector<int>{8});
        TestLeftClick(pHandle, PANEL_BTNStop);
    }
    sensor->ClearFaults();
    ExpectFramedAnswersWork();
}

TEST_F(VideoTest, VideoWithoutMeasurementAnswerRequestsNoBlock) {
    StartWith("M01");
    sensor->SetFault({sim::Fault::Silent, 8});
    sensor->ClearRequests();
    TestClearTextHistory();
    TestLeftClick(pHandle, PANEL_BTNVideo);
    auto cmds = Commands(sensor->Requests());
    EXPECT_EQ(cmds, std::vector<int>{8});
    EXPECT_TRUE(HistoryHas("Timeout RS232-Line!"));
    EXPECT_FALSE(GetCtrlDimmed(pHandle, PANEL_BTNRun));
    EXPECT_TRUE(GetCtrlDimmed(pHandle, PANEL_BTNData));  // until STOP
    TestLeftClick(pHandle, PANEL_BTNStop);
    EXPECT_FALSE(GetCtrlDimmed(pHandle, PANEL_BTNData));
    sensor->ClearFaults();
    ExpectFramedAnswersWork();
}

TEST_F(VideoTest, FailedBlockEndsThePassUndrawnAndVideoGoesOn) {
    StartWith("M01");
    DeleteGraphPlot(pHandle, PANEL_GRAPHVideo, VAL_DELETE_ALL);
    // the first block of the first pass comes short
    sensor->SetFault({sim::Fault::Short, 9, 0, 100, 0, 1});
    sensor->ClearRequests();
    TestLeftClickLater(2.2, pHandle, PANEL_BTNStop);
    TestLeftClick(pHandle, PANEL_BTNVideo);
    auto cmds = Commands(sensor->Requests());
    ASSERT_GE(cmds.size(), 7u);
    // first pass: measurement, block 0 (short), nothing more; then the next pass
    EXPECT_EQ(cmds[0], 8);
    EXPECT_EQ(cmds[1], 9);
    EXPECT_EQ(cmds[2], 8);
    EXPECT_TRUE(HistoryHas("Timeout-RS-232 while reading 64 data-words!"));
    EXPECT_EQ(TestGraphModel(pHandle, PANEL_GRAPHVideo).plots.size(), 2u);
}

TEST_F(VideoTest, DataOnePass) {
    StartWith("M21");
    TestUserSetValue(pPara1, PARA1_DROPtrigmode, 3);  // internal trigger: DATA available
    ASSERT_TRUE(GetCtrlVisible(pHandle, PANEL_BTNData));
    TestLeftClick(pHandle, PANEL_BTNStop);  // STOP enables DATA
    ASSERT_FALSE(GetCtrlDimmed(pHandle, PANEL_BTNData));
    sensor->ClearRequests();
    TestLeftClick(pHandle, PANEL_BTNData);
    auto reqs = sensor->Requests();
    ASSERT_EQ(reqs.size(), 5u);
    ExpectPass(reqs, 0, 1);

    GraphModel g = TestGraphModel(pHandle, PANEL_GRAPHData);
    ASSERT_EQ(g.plots.size(), 5u);
    const auto sent = sensor->TriggerBuffer();
    for (int i = 0; i < 256; ++i) ASSERT_EQ(g.plots[0].y[i], sent[i]) << i;
    EXPECT_DOUBLE_EQ(g.plots[0].x[255], 255.0);
    EXPECT_DOUBLE_EQ(g.xAxis.min, 1.0);
    EXPECT_DOUBLE_EQ(g.xAxis.max, 256.0);
    EXPECT_DOUBLE_EQ(g.yAxis.min, 1.0);
    EXPECT_DOUBLE_EQ(g.yAxis.max, YAXISMAX);
    EXPECT_TRUE(GetCtrlVisible(pHandle, PANEL_GRAPHData));
    EXPECT_FALSE(GetCtrlVisible(pHandle, PANEL_GRAPHVideo));
    EXPECT_FALSE(GetCtrlVisible(pHandle, PANEL_GRAPHRaw));
    for (int c : {PANEL_BTNRun, PANEL_BTNVideo, PANEL_BTNData})
        EXPECT_FALSE(GetCtrlDimmed(pHandle, c)) << c;
    EXPECT_FALSE(GetCtrlDimmed(pPara2, PARA2_ButtonTeach));
    ExpectFramedAnswersWork();
}

TEST_F(VideoTest, OversizedBlockAnswerIsDroppedNotStored) {
    StartWith("M21");
    TestUserSetValue(pPara1, PARA1_DROPtrigmode, 3);  // internal trigger: DATA available
    ASSERT_TRUE(GetCtrlVisible(pHandle, PANEL_BTNData));
    TestLeftClick(pHandle, PANEL_BTNStop);  // STOP enables DATA
    ASSERT_FALSE(GetCtrlDimmed(pHandle, PANEL_BTNData));
    adcbuf.fill(0x1234);
    DeleteGraphPlot(pHandle, PANEL_GRAPHData, VAL_DELETE_ALL);
    sensor->SetFault({sim::Fault::Flood, 9, 0, 6000, 0, 1});
    sensor->ClearRequests();
    TestLeftClick(pHandle, PANEL_BTNData);
    // the first block failed: no further block, nothing drawn, nothing stored, and it is said
    EXPECT_EQ(Commands(sensor->Requests()), (std::vector<int>{8, 9}));
    EXPECT_EQ(Status().rfind("Error reading Data[64] block! - ", 0), 0u) << Status();
    EXPECT_TRUE(TestGraphModel(pHandle, PANEL_GRAPHData).plots.empty());
    for (int i = 0; i < 256; ++i) ASSERT_EQ(adcbuf[i], 0x1234) << i;
    RunEventsFor(0.3);
    ExpectFramedAnswersWork();
    // and the next DATA pass works
    sensor->ClearRequests();
    TestLeftClick(pHandle, PANEL_BTNData);
    EXPECT_EQ(sensor->Requests().size(), 5u);
    EXPECT_EQ(TestGraphModel(pHandle, PANEL_GRAPHData).plots.size(), 5u);
}

TEST_F(VideoTest, UnpluggedLineEndsVideo) {
    StartWith("M01");
    TestRunLater(0.3, [](void* s) { static_cast<sim::Simulator*>(s)->Unplug(); }, sensor.get());
    const double t0 = Timer();
    TestLeftClick(pHandle, PANEL_BTNVideo);
    EXPECT_LT(Timer() - t0, 4.0);
    EXPECT_EQ(Status(), kLineLostText);
    EXPECT_FALSE(GetCtrlDimmed(pHandle, PANEL_BTNRun));
    EXPECT_FALSE(GetCtrlDimmed(pHandle, PANEL_BTNVideo));
}

}  // namespace
