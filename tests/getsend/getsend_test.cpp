// GET and SEND against the simulated sensor: commands and arguments on the line, the pause
// between the frames, values round-tripping through RAM and EEPROM, time-outs, the file target
// and the memory-target buttons.
#include <algorithm>
#include <filesystem>

#include "fixture.h"
#include "ops/ops_common.h"
#include "files/files.h"
#include "link/com232.h"
#include "params/origin.h"
#include "params/status.h"
#include "platform/rs232.h"
#include "sensor/files.h"
#include "sensor/vars.h"
#include "platform/utility.h"

namespace {

bool Seen(const std::vector<std::string>& h, const std::string& text) {
    return std::find(h.begin(), h.end(), text) != h.end();
}

int Count(const std::vector<std::string>& h, const std::string& text) {
    return int(std::count(h.begin(), h.end(), text));
}

class GetSend : public ProgramTest {
protected:
    std::vector<std::string> History() { return TestTextHistory(pHandle, PANEL_STRStatus); }
    void Target(int control) { TestUserSetValue(pHandle, control, 1); }
    uint16_t Shown(int panel, int control) {
        uint16_t v = 0;
        GetCtrlVal(panel, control, v);
        return v;
    }
};

}  // namespace

TEST_F(GetSend, GetFromRamAndEeprom) {
    StartWith("M01");
    auto main = sensor->Eeprom(0);
    main[4] = 111;   // edgeBegin
    main[5] = 3333;  // edgeEnd
    main[6] = 1500;  // setPoint
    main[7] = 42;    // tolerance
    sensor->SetEeprom(0, main);
    auto ext = sensor->Eeprom(1);
    ext[0] = 1234;   // trigger threshold
    ext[11] = 8192;  // scale factor 0.5
    ext[12] = 0;
    sensor->SetEeprom(1, ext);
    sensor->ClearRequests();
    TestClearTextHistory();

    Target(PANEL_RBTEeprom);
    EXPECT_EQ(target, EEPROM);
    TestLeftClick(pHandle, PANEL_BTNGet);
    auto r = sensor->Requests();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].word(1), 4);
    EXPECT_EQ(r[0].word(2), 0);
    EXPECT_EQ(r[1].word(1), 4);
    EXPECT_EQ(r[1].word(2), 1);
    EXPECT_GE(r[1].time - r[0].time, 0.1);
    EXPECT_EQ(Count(History(), "Parameter-frame received! - Line Ok!"), 2);
    EXPECT_EQ(Count(History(), "Waiting for parameter-frame ..."), 2);
    EXPECT_EQ(Status(), "Parameter-frame received! - Line Ok!");
    EXPECT_EQ(parameter[7], 111);
    EXPECT_EQ(parameter[9], 1500);
    EXPECT_EQ(parameter[48], 1234);
    EXPECT_EQ(ScaleFactor(), 8192u);
    EXPECT_EQ(Shown(pHandle, PANEL_NEDITEdgeLeft), 111);
    EXPECT_EQ(Shown(pHandle, PANEL_NEDITEdgeRight), 3333);
    EXPECT_EQ(Shown(pPara1, PARA1_NEDITTolerance), 42);
    double factor = 0;
    GetCtrlVal(pCalib, CALIB_NUMCalFactor, factor);
    EXPECT_NEAR(factor, 0.5, 1e-6);

    // RAM: command 2
    sensor->ClearRequests();
    Target(PANEL_RBTRam);
    EXPECT_EQ(target, RAM);
    TestLeftClick(pHandle, PANEL_BTNGet);
    r = sensor->Requests();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].word(1), 2);
    EXPECT_EQ(r[1].word(1), 2);
    EXPECT_EQ(r[1].word(2), 1);
    EXPECT_EQ(parameter[7], sensor->Ram(0)[4]);
}

TEST_F(GetSend, AnswerAfterOnePointFourIsTakenAfterOnePointSixNot) {
    StartWith("M01");
    auto main = sensor->Ram(0);
    main[6] = 2222;
    sensor->SetRam(0, main);
    sim::FaultSpec f;
    f.kind = sim::Fault::Delay;
    f.command = 2;
    f.seconds = 1.4;
    f.times = 1;
    sensor->SetFault(f);
    TestClearTextHistory();
    TestLeftClick(pHandle, PANEL_BTNGet);
    EXPECT_FALSE(Seen(History(), "Timeout-RS-232..."));
    EXPECT_EQ(Count(History(), "Parameter-frame received! - Line Ok!"), 2);
    EXPECT_EQ(parameter[9], 2222);

    // 1.6 s: the first request times out, the variables keep their values
    main[6] = 3333;
    sensor->SetRam(0, main);
    f.seconds = 1.6;
    sensor->SetFault(f);
    TestClearTextHistory();
    TestLeftClick(pHandle, PANEL_BTNGet);
    auto h = History();
    ASSERT_FALSE(h.empty());
    EXPECT_EQ(h[0], "Waiting for parameter-frame ...");
    ASSERT_GE(h.size(), 2u);
    EXPECT_EQ(h[1], "Timeout-RS-232...");
    EXPECT_NE(parameter[9], 3333);
}

TEST_F(GetSend, SilentSensorTimesOutBothFramesAndKeepsThePages) {
    StartWith("M01");
    sensor->SetFault({sim::Fault::Silent});
    SetCtrlVal(pPara2, PARA2_NEDITTeach, 4000);  // an edit not taken by GET
    auto before = parameter;
    TestClearTextHistory();
    double t0 = Timer();
    TestLeftClick(pHandle, PANEL_BTNGet);
    double took = Timer() - t0;
    EXPECT_GE(took, 3.0);
    EXPECT_EQ(Count(History(), "Timeout-RS-232..."), 2);
    EXPECT_EQ(Status(), "Timeout-RS-232...");
    EXPECT_EQ(sensor->Requests().size(), 5u + 2u);
    for (int i = 3; i < 64; ++i) EXPECT_EQ(parameter[i], before[i]) << i;
    // nothing came: the pages keep what they showed, the edit included
    EXPECT_EQ(Shown(pPara2, PARA2_NEDITTeach), 4000);
}

// The main frame's answer comes after its time-out: it is never the extension request's answer, the
// GET takes neither frame and ends with the time-out, and SEND writes the set held before.
TEST_F(GetSend, ALateAnswerIsNeverTheAnswerToTheNextRequest) {
    StartWith("M03");
    auto main = sensor->Eeprom(0);
    main[6] = 2222;
    sensor->SetEeprom(0, main);
    auto ext = sensor->Eeprom(1);
    ext[0] = 333;     // trigger threshold
    ext[11] = 16384;  // scale factor 1.0
    ext[13] = 30000;  // offset
    sensor->SetEeprom(1, ext);
    const auto ramMain = sensor->Ram(0), ramExt = sensor->Ram(1);
    Target(PANEL_RBTEeprom);
    // 1.7 s: within the old quiet wait; 2.0 s: after it, into the extension request's window
    for (double delay : {1.7, 2.0}) {
        SCOPED_TRACE(delay);
        sim::FaultSpec late{sim::Fault::Delay, 4, delay};
        late.argument = 0;
        late.times = 1;
        sensor->SetFault(late);
        const auto before = parameter;
        TestClearTextHistory();
        TestLeftClick(pHandle, PANEL_BTNGet);
        EXPECT_EQ(Status(), "Timeout-RS-232...");
        for (int i = 3; i < 64; ++i) EXPECT_EQ(parameter[i], before[i]) << i;
        EXPECT_NE(ScaleFactor(), 16384u);
        RunEventsFor(1.0);  // the late answer has come and gone
        // SEND to RAM writes the set the pages held, each frame where it belongs
        Target(PANEL_RBTRam);
        TestLeftClick(pHandle, PANEL_BTNSend);
        ASSERT_TRUE(sensor->WaitForRequests(2, 2.0));
        RunEventsFor(0.2);
        EXPECT_EQ(sensor->Ram(0), ramMain);
        EXPECT_EQ(sensor->Ram(1), ramExt);
        Target(PANEL_RBTEeprom);
    }
    // without the fault the same GET takes both frames
    TestLeftClick(pHandle, PANEL_BTNGet);
    EXPECT_EQ(parameter[48], 333);
    EXPECT_EQ(ScaleFactor(), 16384u);
    EXPECT_EQ(CalOffset(), 30000);
}

TEST_F(GetSend, FaultyAnswersGiveClearTextsAndStoreNothing) {
    StartWith("M01");
    const std::string noSync = "Answer without sync word 0xAA - parameters not taken!";
    const std::string measurement = "Measurement frame instead of the answer - parameters not taken!";
    const std::string disturbed = "RS232-Line disturbed! - parameters not taken!";
    struct Case {
        sim::FaultSpec fault;
        std::string status;  // what the status line says at the end of the GET
        bool stored;         // the answer went into the parameter words
    };
    auto spec = [](sim::Fault kind, int command, int bytes, int value = 0) {
        sim::FaultSpec f;
        f.kind = kind;
        f.command = command;
        f.bytes = bytes;
        f.value = value;
        return f;
    };
    const Case cases[] = {
        {spec(sim::Fault::Short, 2, 20), "Timeout-RS-232...", false},
        {spec(sim::Fault::Garbage, 2, 30), "Timeout-RS-232...", false},
        // bytes around the answer: the line is disturbed, nothing taken
        {spec(sim::Fault::Flood, 2, 9000), disturbed, false},
        {spec(sim::Fault::Surplus, 2, 50), disturbed, false},
        {spec(sim::Fault::Prefix, 2, 3), disturbed, false},
        // the other frame's answer
        {spec(sim::Fault::OtherArgument, 2, 0, 1), "Answer for another frame (argument 1) - parameters not taken!", false},
        // a late measurement answer or a loop-back, for either frame of the GET
        {spec(sim::Fault::OtherCommand, 2, 0, 8), measurement, false},
        {spec(sim::Fault::WrongSync, 2, 0, 0x0055), noSync, false},
        // the answer of another request, e.g. a late hardware answer
        {spec(sim::Fault::OtherCommand, 2, 0, 10), "Answer of another request (command 10) - parameters not taken!", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(sim::FaultName(c.fault.kind));
        // different words in the sensor than in the program, and an edit on the page
        auto main = sensor->Ram(0);
        main[6] = parameter[9] + 7;
        sensor->SetRam(0, main);
        auto ext = sensor->Ram(1);
        ext[0] = parameter[48] + 3;
        sensor->SetRam(1, ext);
        SetCtrlVal(pPara2, PARA2_NEDITTeach, 4000);
        const auto before = parameter;
        sensor->ClearFaults();
        sensor->SetFault(c.fault);
        TestClearTextHistory();
        TestLeftClick(pHandle, PANEL_BTNGet);
        EXPECT_EQ(Status(), c.status);
        if (c.stored) {
            EXPECT_EQ(parameter[9], main[6]);
            EXPECT_EQ(Shown(pPara2, PARA2_NEDITTeach), main[6]);
        } else {
            for (int i = 3; i < 64; ++i) EXPECT_EQ(parameter[i], before[i]) << i;
            if (c.status != "Timeout-RS-232...") {
                EXPECT_EQ(Shown(pPara2, PARA2_NEDITTeach), 4000);  // the pages stay as they were
            }
        }
        EXPECT_LE(GetInQLen(com), BUF_BYTES);
    }

    // Only the extension frame's answer is refused: the GET takes neither frame.
    sensor->ClearFaults();
    auto main = sensor->Ram(0);
    main[6] = 1717;
    sensor->SetRam(0, main);
    sim::FaultSpec late = spec(sim::Fault::OtherCommand, 2, 0, 8);
    late.argument = 1;
    sensor->SetFault(late);
    SetCtrlVal(pPara2, PARA2_NEDITTeach, 4000);
    const auto before = parameter;
    TestLeftClick(pHandle, PANEL_BTNGet);
    EXPECT_EQ(Status(), measurement);
    for (int i = 3; i < 64; ++i) EXPECT_EQ(parameter[i], before[i]) << i;
    EXPECT_EQ(Shown(pPara2, PARA2_NEDITTeach), 4000);

    // after the faults the line works again
    sensor->ClearFaults();
    TestLeftClick(pHandle, PANEL_BTNGet);
    EXPECT_EQ(parameter[9], 1717);
}

TEST_F(GetSend, UnpluggedSensorIsReportedAsALostLine) {
    StartWith("M01");
    sensor->Unplug();
    RunEventsFor(0.2);  // the program is idle when the line goes
    TestClearTextHistory();
    TestLeftClick(pHandle, PANEL_BTNSend);
    EXPECT_EQ(Status(), "RS232-Line lost! - nothing written into the sensor!");
    TestLeftClick(pHandle, PANEL_BTNGet);
    EXPECT_EQ(Status(), kLineLostText);
    TestLeftClick(pHandle, PANEL_ButtonReset);
    EXPECT_EQ(Status(), kLineLostText);
    EXPECT_FALSE(Seen(History(), "Line Ok!"));
    EXPECT_FALSE(Seen(History(), "Timeout-RS-232..."));
}

TEST_F(GetSend, FileTargetSendsNothing) {
    StartWith("M01");
    sensor->ClearRequests();
    Target(PANEL_RBTFile);
    EXPECT_EQ(target, DATFILE);
    // SEND asks for a file; cancelled: nothing written, nothing sent
    TestClearDialogs();
    TestLeftClick(pHandle, PANEL_BTNSend);
    auto d = TestDialogs();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].kind, "file");
    EXPECT_EQ(d[0].title, "KRYTA-LT-Series Parameter File");
    EXPECT_EQ(d[0].defaultName, "KRYTApara.cfg");
    EXPECT_EQ(d[0].filter, "*.cfg");
    EXPECT_EQ(d[0].defaultDir, proj_dir);
    EXPECT_EQ(Status(), "No file chosen - nothing saved!");

    // saved to a file and read back through GET
    std::string path = proj_dir + "/getsend-test.cfg";
    SetCtrlVal(pPara2, PARA2_NEDITTeach, 1357);
    TestQueueFileSelect(VAL_NEW_FILE_SELECTED, path);
    TestLeftClick(pHandle, PANEL_BTNSend);
    long size = 0;
    EXPECT_EQ(GetFileInfo(path, size), 1);
    SetCtrlVal(pPara2, PARA2_NEDITTeach, 1);
    TestQueueFileSelect(VAL_EXISTING_FILE_SELECTED, path);
    TestLeftClick(pHandle, PANEL_BTNGet);
    EXPECT_EQ(parameter[9], 1357);
    EXPECT_EQ(Shown(pPara2, PARA2_NEDITTeach), 1357);
    EXPECT_TRUE(sensor->Requests().empty());
    DeleteFile(path);
}

TEST_F(GetSend, MemoryTargetButtonsKeepExactlyOneOn) {
    StartWithoutSensor();
    auto on = [](int control) {
        int32_t v = 0;
        GetCtrlVal(pHandle, control, v);
        return v;
    };
    Target(PANEL_RBTEeprom);
    EXPECT_EQ(target, EEPROM);
    EXPECT_EQ(on(PANEL_RBTEeprom), 1);
    EXPECT_EQ(on(PANEL_RBTRam), 0);
    EXPECT_EQ(on(PANEL_RBTFile), 0);
    // switching EEPROM off falls back to RAM
    TestUserSetValue(pHandle, PANEL_RBTEeprom, 0);
    EXPECT_EQ(target, RAM);
    EXPECT_EQ(on(PANEL_RBTRam), 1);
    Target(PANEL_RBTFile);
    EXPECT_EQ(target, DATFILE);
    EXPECT_EQ(on(PANEL_RBTRam), 0);
    EXPECT_EQ(on(PANEL_RBTEeprom), 0);
    TestUserSetValue(pHandle, PANEL_RBTFile, 0);
    EXPECT_EQ(target, RAM);
    EXPECT_EQ(on(PANEL_RBTRam), 1);
    // RAM switched off switches itself on again
    TestUserSetValue(pHandle, PANEL_RBTRam, 0);
    EXPECT_EQ(target, RAM);
    EXPECT_EQ(on(PANEL_RBTRam), 1);
}

TEST_F(GetSend, SecondOperationIsRefusedWhileGetWaits) {
    StartWith("M01");
    sim::FaultSpec f;
    f.kind = sim::Fault::Delay;
    f.command = 2;
    f.seconds = 0.8;
    f.times = 1;
    sensor->SetFault(f);
    sensor->ClearRequests();
    TestClearTextHistory();
    TestLeftClickLater(0.3, pHandle, PANEL_BTNSend);
    TestLeftClick(pHandle, PANEL_BTNGet);
    auto h = History();
    EXPECT_TRUE(Seen(h, kBusyText));
    // only the GET's two requests crossed the line
    auto r = sensor->Requests();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].word(1), 2);
    EXPECT_EQ(r[1].word(1), 2);
    // afterwards SEND works
    TestLeftClick(pHandle, PANEL_BTNSend);
    EXPECT_TRUE(sensor->WaitForRequests(4, 2.0));
}

// A sensor whose hardware answer did not come could be of any variant: the words read from it may
// sit in the wrong places, so nothing is written into it until a connect identifies it.
TEST_F(GetSend, WritesAreRefusedUntilTheSensorIsIdentified) {
    EnsureUserInterface();
    sim::Simulator v303("M03", false);
    sim::FaultSpec noAnswer;
    noAnswer.kind = sim::Fault::Silent;
    noAnswer.command = 10;
    v303.SetFault(noAnswer);
    ASSERT_TRUE(v303.Start());
    setenv("KRYTA_COM1", v303.DevicePath().c_str(), 1);
    ASSERT_EQ(StartProgram(), 0);
    started = true;
    const auto ramBefore = v303.Ram(0);
    const auto eepromBefore = v303.Eeprom(0);
    auto writes = [&] {
        int n = 0;
        for (const auto& r : v303.Requests()) n += r.word(1) == 1 || r.word(1) == 3 || r.word(1) == 6 || r.word(1) >= 101;
        return n;
    };

    for (int memory : {PANEL_RBTRam, PANEL_RBTEeprom}) {
        Target(memory);
        TestLeftClick(pHandle, PANEL_BTNSend);
        EXPECT_EQ(Status(), kNotIdentifiedText);
    }
    TestLeftClick(pPara2, PARA2_ButtonTeach);
    EXPECT_EQ(Status(), kNotIdentifiedText);
    TestUserSetValue(pRec, RECORD_NUMinctime, 8642);  // the service value reveals the X-FLASH write
    TestClearDialogs();
    TestLeftClick(pCalib, CALIB_BTNWriteXFLASH);
    EXPECT_EQ(Status(), kNotIdentifiedText);
    EXPECT_TRUE(TestDialogs().empty());
    EXPECT_FALSE(GetCtrlVisible(pCalib, CALIB_BTNWriteXFLASH));
    RunEventsFor(0.3);
    EXPECT_EQ(writes(), 0);
    EXPECT_EQ(v303.Ram(0), ramBefore);
    EXPECT_EQ(v303.Eeprom(0), eepromBefore);

    // The reset of the analog maximum/minimum writes into the sensor too.
    TestUserSetValue(pPara1, PARA1_DROPanaMode, 2);  // an analog mode that shows the reset
    TestLeftClick(pHandle, PANEL_ButtonReset);
    EXPECT_EQ(Status(), kNotIdentifiedText);
    // Reading still works: GET, saving to a file.
    v303.ClearRequests();
    Target(PANEL_RBTRam);
    TestLeftClick(pHandle, PANEL_BTNGet);
    EXPECT_EQ(Status(), "Parameter-frame received! - Line Ok!");
    const std::string path = proj_dir + "/unidentified.cfg";
    Target(PANEL_RBTFile);
    TestQueueFileSelect(VAL_NEW_FILE_SELECTED, path);
    TestLeftClick(pHandle, PANEL_BTNSend);
    long size = 0;
    EXPECT_EQ(GetFileInfo(path, size), 1);
    DeleteFile(path);
    EXPECT_EQ(Commands(v303.Requests()), (std::vector<int>{2, 2}));

    // Selecting the port again identifies the sensor, and SEND writes.
    v303.ClearFaults();
    TestUserSetValue(pHandle, PANEL_DropDCom, 1);
    EXPECT_EQ(ident_flag, 1);
    v303.ClearRequests();
    Target(PANEL_RBTRam);
    TestLeftClick(pHandle, PANEL_BTNSend);
    ASSERT_TRUE(v303.WaitForRequests(2, 2.0));
    EXPECT_EQ(Commands(v303.Requests()), (std::vector<int>{1, 1}));
    v303.Stop();
}

// GET, the pages, SEND: every word of each variant goes back to the sensor as it came, including
// values that a drop-down does not list (average 3, hold time 300, trigger mode 3 where the list
// says NOT-USED) and an operation mode other than 0 and 1 in the binary switch.
TEST_F(GetSend, EveryWordComesBackFromThePagesUnchanged) {
    struct Case {
        const char* model;
        bool eeprom;  // the memory read and written: EEPROM (commands 4 and 3) or RAM (2 and 1)
        std::array<uint16_t, 15> main;
        uint16_t trigger;  // word 48
        const char* average;
        const char* hold;  // "" where the variant has none
        uint32_t scale;    // words 60-61
    };
    const Case cases[] = {
        // power, power mode, polarity, eval mode, edges, set-point, then the variant's own slots
        {"M01", false, {777, 0, 0, 2, 123, 3456, 2222, 55, 3, 3, 5, 1, 5, 2, 77}, 999, "3", "", 0xFFFFFFFFu},
        {"M03", true, {777, 0, 0, 2, 123, 3456, 2222, 66, 55, 3, 3, 6, 5, 2, 77}, 5000, "3", "", 0xFFFFFFF7u},
        {"M19", false, {777, 0, 0, 2, 123, 900, 700, 66, 55, 3, 1, 6, 300, 77, 4321}, 999, "3", "300", 0x123456u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        TearDown();
        StartWith(c.model);
        std::array<uint16_t, 15> ext{};
        ext[0] = c.trigger;
        for (int i = 1; i <= 10; ++i) ext[i] = uint16_t(1000 + i);  // reserved words 49-58
        // the scale factor: the largest a word pair holds, one that single precision cannot
        // show exactly, and one it can
        ext[11] = uint16_t(c.scale & 0xFFFF);
        ext[12] = uint16_t(c.scale >> 16);
        ext[13] = 0x1DC0;  // offset -123456
        ext[14] = 0xFFFE;
        if (c.eeprom) {
            sensor->SetEeprom(0, c.main);
            sensor->SetEeprom(1, ext);
        } else {
            sensor->SetRam(0, c.main);
            sensor->SetRam(1, ext);
        }

        Target(c.eeprom ? PANEL_RBTEeprom : PANEL_RBTRam);
        TestLeftClick(pHandle, PANEL_BTNGet);
        EXPECT_EQ(TestCtrlText(pPara1, PARA1_DROPaverage), c.average);
        if (*c.hold) {
            EXPECT_EQ(TestCtrlText(pPara1, PARA1_DROPhold), c.hold);
        }
        sensor->ClearRequests();
        TestClearTextHistory();
        TestLeftClick(pHandle, PANEL_BTNSend);
        ASSERT_TRUE(sensor->WaitForRequests(2, 2.0));
        const auto r = sensor->Requests();
        ASSERT_EQ(r.size(), 2u);
        // main frame, then 0.1 s later the extension frame, no answer awaited
        const int command = c.eeprom ? 3 : 1;
        EXPECT_EQ(r[0].word(1), command);
        EXPECT_EQ(r[0].word(2), 0);
        EXPECT_EQ(r[1].word(1), command);
        EXPECT_EQ(r[1].word(2), 1);
        EXPECT_GE(r[1].time - r[0].time, 0.09);  // the 0.1 s pause, less the simulator's read jitter
        EXPECT_TRUE(Seen(History(), "Transmit..."));
        EXPECT_EQ(Count(History(), "Line Ok!"), 2);
        for (int i = 0; i < 15; ++i) {
            EXPECT_EQ(r[0].word(3 + i), c.main[i]) << "main frame slot " << i;
            EXPECT_EQ(r[1].word(3 + i), ext[i]) << "extension frame slot " << i;
        }
        EXPECT_EQ(c.eeprom ? sensor->Eeprom(0) : sensor->Ram(0), c.main);
    }
}

// What SEND writes has one known origin: after a refused GET, a loaded file is what the pages show
// and what SEND puts into the sensor (a number above 65535 taken as its low 16 bits, and said); a
// SEND cut after its main frame says that the sensor holds a mixed set.
TEST_F(GetSend, ALoadedFileIsWhatSendWritesAndACutSendSaysWhatTheSensorHolds) {
    StartWith("M01");
    sim::FaultSpec measurementOnly{sim::Fault::OtherCommand, 2};
    measurementOnly.value = 8;
    sensor->SetFault(measurementOnly);
    TestLeftClick(pHandle, PANEL_BTNGet);
    EXPECT_EQ(Status(), "Measurement frame instead of the answer - parameters not taken!");
    sensor->ClearFaults();

    auto main = sensor->Ram(0);
    auto ext = sensor->Ram(1);
    main[6] = uint16_t(main[6] + 5);  // the set-point
    ext[13] = 30000;                  // written in the file as 95536
    std::string text;
    for (int i = 0; i < 30; ++i) {
        const unsigned w = i < 15 ? main[size_t(i)] : ext[size_t(i - 15)];
        text += std::to_string(i == 28 ? w + 65536 : w) + "\r\n";
    }
    const std::string path = proj_dir + "/origin-test.cfg";
    std::string reason;
    ASSERT_TRUE(WriteFileReplacing(path, text, reason)) << reason;
    Target(PANEL_RBTFile);
    TestQueueFileSelect(VAL_EXISTING_FILE_SELECTED, path);
    TestLeftClick(pHandle, PANEL_BTNGet);
    EXPECT_EQ(Status(), "Parameter file loaded - line 29: 95536 taken as 30000!");
    EXPECT_EQ(Shown(pPara2, PARA2_NEDITTeach), main[6]);

    Target(PANEL_RBTRam);
    sensor->ClearRequests();
    TestLeftClick(pHandle, PANEL_BTNSend);
    ASSERT_TRUE(sensor->WaitForRequests(2, 2.0));
    RunEventsFor(0.2);
    EXPECT_EQ(sensor->Ram(0), main);
    EXPECT_EQ(sensor->Ram(1), ext);

    // the sensor goes away once it has the main frame
    sim::FaultSpec gone{sim::Fault::Unplug, 1};
    gone.argument = 0;
    sensor->SetFault(gone);
    TestLeftClick(pHandle, PANEL_BTNSend);
    EXPECT_EQ(Status(), "RS232-Line lost! - sensor holds a mixed set: SEND again!");
    std::filesystem::remove(path);
}
