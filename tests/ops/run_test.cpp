// RUN and STOP against the simulated sensor.
#include <gtest/gtest.h>

#include <regex>

#include "display/display.h"
#include "ops_common.h"

namespace {

class RunTest : public ProgramTest {
protected:
    // Presses RUN and STOP `stopAfter` seconds later; returns how long RUN ran.
    double RunFor(double stopAfter) {
        TestLeftClickLater(stopAfter, pHandle, PANEL_BTNStop);
        const double t0 = Timer();
        TestLeftClick(pHandle, PANEL_BTNRun);
        return Timer() - t0;
    }
};

TEST_F(RunTest, RequestsCarryTheActiveBlockAndFramesAreDrawn) {
    StartWith("M01");
    SetCtrlVal(pHandle, PANEL_RBTEeprom, 1);
    SetCtrlVal(pHandle, PANEL_RBTRam, 0);
    target = EEPROM;
    sensor->ClearRequests();
    const long plotsBefore = TestGraphModel(pHandle, PANEL_GRAPHRaw).plotCalls;

    RunFor(0.6);

    auto reqs = sensor->Requests();
    ASSERT_GE(reqs.size(), 10u);
    for (const auto& r : reqs) {
        ASSERT_EQ(r.bytes[0], 0x00);
        ASSERT_EQ(r.bytes[1], 0x55);
        ASSERT_EQ(r.word(1), 8);
        ASSERT_EQ(r.word(2), 0);
    }
    // every request after the first carries the standard block as it stands
    for (size_t i = 1; i < reqs.size(); ++i)
        for (int w = 0; w < 15; ++w) ASSERT_EQ(reqs[i].word(3 + w), parameter[3 + w]) << i << "/" << w;
    // the set-point the sensor reports is in all three blocks
    EXPECT_EQ(parameter[9], sensor->Ram(0)[6]);
    EXPECT_EQ(parameter[24], parameter[9]);
    EXPECT_EQ(parameter[39], parameter[9]);

    // one drawing per answered request, and the displays show the last frame
    GraphModel raw = TestGraphModel(pHandle, PANEL_GRAPHRaw);
    EXPECT_GE(raw.plotCalls - plotsBefore, long(reqs.size()) - 1);
    EXPECT_LE(raw.plotCalls - plotsBefore, long(reqs.size()));
    ASSERT_EQ(raw.lastPlotted.size(), 600u);
    EXPECT_EQ(raw.lastPlotted[597], double(Mvalue));
    int32_t shown = 0;
    GetCtrlVal(pHandle, PANEL_NUMMvalue, shown);
    EXPECT_EQ(uint32_t(shown), Mvalue);
    GetCtrlVal(pHandle, PANEL_NUMLedge, shown);
    EXPECT_EQ(shown, Ledge);
    EXPECT_GT(Ledge, 0);

    // what the operator sees afterwards
    EXPECT_TRUE(GetCtrlVisible(pHandle, PANEL_GRAPHRaw));
    EXPECT_FALSE(GetCtrlVisible(pHandle, PANEL_GRAPHVideo));
    EXPECT_FALSE(GetCtrlVisible(pHandle, PANEL_GRAPHData));
    EXPECT_TRUE(GetCtrlVisible(pHandle, PANEL_TOGGButtonZoom));
    EXPECT_FALSE(GetCtrlDimmed(pHandle, PANEL_BTNRun));
    EXPECT_FALSE(GetCtrlDimmed(pHandle, PANEL_BTNVideo));
    EXPECT_EQ(target, RAM);
    int32_t on = 0;
    GetCtrlVal(pHandle, PANEL_RBTRam, on);
    EXPECT_EQ(on, 1);
    GetCtrlVal(pHandle, PANEL_RBTEeprom, on);
    EXPECT_EQ(on, 0);
    EXPECT_FALSE(HistoryHas("Timeout RS232-Line!"));
}

TEST_F(RunTest, StopWhileARequestIsOutstandingSendsNoMore) {
    StartWith("M01");
    sensor->SetFault({sim::Fault::Delay, 8, 1.0});
    sensor->ClearRequests();
    const double ran = RunFor(0.3);
    EXPECT_LT(ran, 0.9);
    RunEventsFor(1.2);  // the late answer arrives while the program is idle
    auto reqs = sensor->Requests();
    EXPECT_EQ(reqs.size(), 1u);
    EXPECT_FALSE(HistoryHas("Timeout RS232-Line!"));
    EXPECT_FALSE(GetCtrlDimmed(pHandle, PANEL_BTNRun));
}

TEST_F(RunTest, StopSetsDataButtonByTriggerMode) {
    StartWith("M21");  // internal trigger available
    TestUserSetValue(pPara1, PARA1_DROPtrigmode, 3);
    RunFor(0.2);
    EXPECT_TRUE(GetCtrlVisible(pHandle, PANEL_BTNData));
    EXPECT_FALSE(GetCtrlDimmed(pHandle, PANEL_BTNData));
    EXPECT_FALSE(GetCtrlDimmed(pPara2, PARA2_ButtonTeach));
    SetCtrlVal(pPara1, PARA1_DROPtrigmode, 1);
    RunFor(0.2);
    EXPECT_FALSE(GetCtrlVisible(pHandle, PANEL_BTNData));
}

TEST_F(RunTest, FramesOfAnotherCommandAndSingleRefusalsKeepTheExchangeGoing) {
    StartWith("M01");
    sensor->SetFault({sim::Fault::OtherCommand, 8, 0, 0, 2});
    sensor->ClearRequests();
    const long plotsBefore = TestGraphModel(pHandle, PANEL_GRAPHRaw).plotCalls;
    RunFor(0.5);
    EXPECT_GE(sensor->Requests().size(), 5u);
    EXPECT_EQ(TestGraphModel(pHandle, PANEL_GRAPHRaw).plotCalls, plotsBefore);
    EXPECT_FALSE(HistoryHas("Timeout RS232-Line!"));
    const std::regex all("([0-9]+) of the last \\1 answers were no measurement frames \\(command 2\\)");
    EXPECT_TRUE(std::regex_match(Status(), all)) << Status();

    // every other answer another frame: the good ones are drawn, and the status line counts the rest
    sensor->ClearFaults();
    sim::FaultSpec other{sim::Fault::OtherCommand, 8, 0, 0, 99};
    other.every = 2;
    sensor->SetFault(other);
    const long plotsBetween = TestGraphModel(pHandle, PANEL_GRAPHRaw).plotCalls;
    RunFor(1.0);
    EXPECT_GE(TestGraphModel(pHandle, PANEL_GRAPHRaw).plotCalls - plotsBetween, 5);
    std::smatch half;
    const std::string status = Status();
    const std::regex some("([0-9]+) of the last 20 answers were no measurement frames \\(command 99\\)");
    ASSERT_TRUE(std::regex_match(status, half, some)) << status;
    EXPECT_NEAR(std::stoi(half[1]), 10, 1);
    // once they stop, the line is ok again
    sensor->ClearFaults();
    RunFor(0.5);
    EXPECT_EQ(Status(), "Line Ok!");

    // a single refused answer is ridden over, counted and said; refusals in a row end RUN
    sensor->SetFault({sim::Fault::WrongSync, 8, 0, 0, 0x55, 1});
    TestClearTextHistory();
    sensor->ClearRequests();
    RunFor(2.5);
    EXPECT_TRUE(HistoryHas("Answer without sync word 0xAA - measurement not taken!"));
    EXPECT_GE(sensor->Requests().size(), 5u);
    EXPECT_EQ(Status(), "RS232-Line disturbed! - 1 answer not taken");
    sensor->SetFault({sim::Fault::WrongSync, 8});
    TestClearTextHistory();
    TestLeftClick(pHandle, PANEL_BTNRun);
    EXPECT_TRUE(HistoryHas("RS232-Line disturbed! - 3 answers not taken"));
    EXPECT_EQ(Status(), "Answer without sync word 0xAA - measurement not taken!");
}

TEST_F(RunTest, AnswerTimeOut) {
    StartWith("M01");
    // an answer after 1.3 s keeps the exchange going
    sensor->SetFault({sim::Fault::Delay, 8, 1.3, 0, 0, 1});
    sensor->ClearRequests();
    RunFor(1.8);
    EXPECT_GE(sensor->Requests().size(), 3u);
    EXPECT_FALSE(HistoryHas("Timeout RS232-Line!"));

    // an answer after 1.7 s is too late
    sensor->ClearFaults();
    sensor->SetFault({sim::Fault::Delay, 8, 1.7, 0, 0, 1});
    RunEventsFor(0.3);
    sensor->ClearRequests();
    TestClearTextHistory();
    const double t0 = Timer();
    TestLeftClick(pHandle, PANEL_BTNRun);
    const double ran = Timer() - t0;
    EXPECT_GT(ran, 1.45);
    EXPECT_LT(ran, 2.5);
    EXPECT_EQ(sensor->Requests().size(), 1u);
    EXPECT_TRUE(HistoryHas("Timeout RS232-Line!"));
    EXPECT_EQ(Status(), "Timeout RS232-Line!");
    EXPECT_EQ(stop_flag, 1);
    // RUN is free again; VIDEO and DATA wait for STOP
    EXPECT_FALSE(GetCtrlDimmed(pHandle, PANEL_BTNRun));
    EXPECT_TRUE(GetCtrlDimmed(pHandle, PANEL_BTNVideo));
    TestLeftClick(pHandle, PANEL_BTNStop);
    EXPECT_FALSE(GetCtrlDimmed(pHandle, PANEL_BTNVideo));
}

TEST_F(RunTest, UnpluggedLineEndsRunAndThePortCanBePickedAgain) {
    StartWith("M01");
    TestRunLater(0.4, [](void* s) { static_cast<sim::Simulator*>(s)->Unplug(); }, sensor.get());
    const double t0 = Timer();
    TestLeftClick(pHandle, PANEL_BTNRun);
    EXPECT_LT(Timer() - t0, 3.0);
    EXPECT_EQ(Status(), kLineLostText);
    EXPECT_FALSE(GetCtrlDimmed(pHandle, PANEL_BTNRun));
    TestLeftClick(pHandle, PANEL_BTNStop);

    // a new adapter on port 1, picked in the drop-down
    sensor->Stop();
    sensor = std::make_unique<sim::Simulator>("M01", false);
    ASSERT_TRUE(sensor->Start());
    setenv("KRYTA_COM1", sensor->DevicePath().c_str(), 1);
    SetCtrlVal(pHandle, PANEL_DropDCom, 1);
    TestFireEvent(pHandle, PANEL_DropDCom, EVENT_COMMIT);
    sensor->ClearRequests();
    TestClearTextHistory();
    TestLeftClickLater(0.4, pHandle, PANEL_BTNStop);
    TestLeftClick(pHandle, PANEL_BTNRun);
    EXPECT_GE(sensor->Requests().size(), 5u);
    EXPECT_FALSE(HistoryHas("Timeout RS232-Line!"));
    EXPECT_FALSE(HistoryHas(kLineLostText));
}

TEST_F(RunTest, SecondOperationIsRefusedWhileRunLoops) {
    StartWith("M01");
    TestUserSetValue(pPara1, PARA1_DROPanaMode, 2);  // shows the reset button
    ASSERT_TRUE(GetCtrlVisible(pHandle, PANEL_ButtonReset));
    sensor->ClearRequests();
    TestLeftClickLater(0.2, pPara2, PARA2_ButtonTeach);
    TestLeftClickLater(0.25, pHandle, PANEL_ButtonReset);
    RunFor(0.5);
    EXPECT_TRUE(HistoryHas(kBusyText));
    for (int c : Commands(sensor->Requests())) ASSERT_EQ(c, 8);
    // once RUN has ended, the status line shows its outcome again, not that something is busy
    EXPECT_EQ(Status(), "Line Ok!");
    // afterwards the guard is free again
    TestLeftClick(pHandle, PANEL_ButtonReset);
    EXPECT_EQ(Status(), "Reset of analog-output Max/Min OK!");
}

TEST_F(RunTest, NoOpenPortSaysSoAtOnce) {
    StartWithoutSensor();
    TestClearTextHistory();
    const double t0 = Timer();
    TestLeftClick(pHandle, PANEL_BTNRun);
    EXPECT_LT(Timer() - t0, 1.0);  // no time-out to wait for: nothing can answer
    EXPECT_EQ(Status(), "Port is not open - select the COM-port again");
    EXPECT_FALSE(GetCtrlDimmed(pHandle, PANEL_BTNRun));
}

}  // namespace
