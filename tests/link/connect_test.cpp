// The connect sequence against the simulated sensor: what crosses the line, the status texts,
// the identification and the pages it leaves, and the line faults.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "fixture.h"
#include "link/com232.h"
#include "params/origin.h"
#include "params/status.h"
#include "platform/rs232.h"
#include "sensor/vars.h"
#include "platform/rs232.h"
#include "platform/utility.h"

namespace {

std::string Line(int n) {
    std::string s;
    GetTextBoxLine(pCalib, CALIB_TEXTBOXsensor, n, s);
    return s;
}

std::string Item(int panel, int control, int index, int& value) {
    std::string label;
    GetListItem(panel, control, index, label, value);
    return label;
}

bool Seen(const std::vector<std::string>& h, const std::string& text) {
    return std::find(h.begin(), h.end(), text) != h.end();
}

std::vector<uint16_t> Commands(const std::vector<sim::Request>& r) {
    std::vector<uint16_t> c;
    for (const auto& q : r) c.push_back(q.word(1));
    return c;
}

#define MU "\xC2\xB5"

class Connect : public ProgramTest {
protected:
    std::vector<std::string> History() { return TestTextHistory(pHandle, PANEL_STRStatus); }
    // Starts a simulator of a custom model on port 1.
    void StartWithModel(const sim::Model& m) {
        EnsureUserInterface();
        sensor = std::make_unique<sim::Simulator>(m, false);
        ASSERT_TRUE(sensor->Start());
        setenv("KRYTA_COM1", sensor->DevicePath().c_str(), 1);
        ASSERT_EQ(StartProgram(), 0);
        started = true;
    }
};

}  // namespace

TEST_F(Connect, StandardSensorSequenceOnTheLine) {
    StartWith("M01");  // family 1, code 37, firmware 302, word-coded firmware text
    auto r = sensor->Requests();
    ASSERT_EQ(Commands(r), (std::vector<uint16_t>{5, 10, 2, 2, 7}));
    for (const auto& q : r) EXPECT_EQ(q.word(0), 0x0055);
    EXPECT_EQ(r[0].word(2), 0);
    EXPECT_EQ(r[1].word(2), 0);
    EXPECT_EQ(r[2].word(2), 0);
    EXPECT_EQ(r[3].word(2), 1);
    EXPECT_EQ(r[4].word(2), 0);
    // the echo request carries the main frame; the hardware request sends pp as the echo
    // left it: the sync word of the answer in word 0, the echoed words after it
    EXPECT_EQ(r[1].word(3), 0x00AA);
    for (int w = 4; w < 18; ++w) EXPECT_EQ(r[1].word(w), r[0].word(w)) << "word " << w;
    // the first GET request carries the same main frame as the echo request
    for (int w = 3; w < 18; ++w) EXPECT_EQ(r[2].word(w), r[0].word(w)) << "word " << w;
    // pauses of 0.1 s after the identification and between the two GETs
    EXPECT_GE(r[2].time - r[1].time, 0.1);
    EXPECT_GE(r[3].time - r[2].time, 0.1);
    EXPECT_GE(r[4].time - r[3].time, 0.1);

    auto h = History();
    EXPECT_TRUE(Seen(h, "Echo Check - Line Ok!"));
    EXPECT_TRUE(Seen(h, "Waiting for parameter-frame ..."));
    EXPECT_TRUE(Seen(h, "Parameter-frame received! - Line Ok!"));
    EXPECT_TRUE(Seen(h, "Waiting for firmware info ..."));
    EXPECT_FALSE(Seen(h, "Timeout-RS-232..."));
    EXPECT_EQ(Status(), sensor->model().firmwareText);
    EXPECT_EQ(szVersion, sensor->model().firmwareText);

    // identification and pages
    EXPECT_EQ(HWTYPE, 1);
    EXPECT_EQ(softversion, 302);
    EXPECT_EQ(ParamVariant(), Variant::Standard);
    EXPECT_EQ(Line(0), "KRYTA-M01");
    EXPECT_EQ(Line(1), "1024-pixel;  7.8" MU "m pixel-pitch");
    EXPECT_EQ(Line(2), "4096-subpixel;  resolution=1" MU "m");
    EXPECT_EQ(Line(3), "working-range = 37 +/- 2.0mm");
    int value = -1;
    EXPECT_EQ(Item(pPara1, PARA1_DROPanaMode, 1, value), "DIRECT 5V/SET");
    EXPECT_EQ(value, 1);
    EXPECT_EQ(Item(pPara1, PARA1_DROPevalmode, 2, value), "WIDTH");
    EXPECT_EQ(value, 2);
    EXPECT_EQ(Item(pPara1, PARA1_DROPtrigmode, 3, value), "NOT-USED");
    EXPECT_EQ(value, 1);
    EXPECT_FALSE(GetCtrlVisible(pHandle, PANEL_BTNData));
    EXPECT_FALSE(GetCtrlDimmed(pHandle, PANEL_BTNSend));
    EXPECT_EQ(pixE, 4096);
    EXPECT_EQ(ADCMAX, 1024);
    EXPECT_DOUBLE_EQ(xArray[1], 16.0);
    EXPECT_DOUBLE_EQ(TestGraphModel(pHandle, PANEL_GRAPHVideo).xAxis.max, 4096);
    // the sensor's RAM is in the standard block and on the pages
    auto ram = sensor->Ram(0);
    for (int n = 0; n < 15; ++n) EXPECT_EQ(parameter[3 + n], ram[n]) << "slot " << n;
    uint16_t shown = 0;
    GetCtrlVal(pPara2, PARA2_NEDITTeach, shown);
    EXPECT_EQ(shown, ram[6]);
    GetCtrlVal(pHandle, PANEL_NEDITEdgeRight, shown);
    EXPECT_EQ(shown, ram[5]);
    auto ext = sensor->Ram(1);
    for (int n = 0; n <= 10; ++n) EXPECT_EQ(parameter[48 + n], ext[n]);
    for (int n = 11; n < 15; ++n) EXPECT_EQ(parameter[49 + n], ext[n]);
}

TEST_F(Connect, V303SensorRearrangesTheTolerances) {
    StartWith("M03");  // family 1, code 55, firmware 303
    EXPECT_EQ(ParamVariant(), Variant::V303);
    EXPECT_EQ(Line(0), "KRYTA-M03");
    EXPECT_EQ(Line(3), "working-range = 55mm +/- 5.0mm");
    EXPECT_TRUE(GetCtrlVisible(pPara1, PARA1_NEDITToleranceUP));
    EXPECT_TRUE(GetCtrlVisible(pPara1, PARA1_NEDITTolerance));
    EXPECT_EQ(GetCtrlLabel(pPara1, PARA1_NEDITTolerance), "TOLERANCE-LOW");
    EXPECT_FALSE(GetCtrlVisible(pPara1, PARA1_BINSWoption));
    EXPECT_FALSE(GetCtrlVisible(pPara1, PARA1_DROPhold));
    auto ram = sensor->Ram(0);
    for (int n = 0; n < 15; ++n) EXPECT_EQ(parameter[18 + n], ram[n]) << "slot " << n;
    uint16_t up = 0, low = 0;
    GetCtrlVal(pPara1, PARA1_NEDITToleranceUP, up);
    GetCtrlVal(pPara1, PARA1_NEDITTolerance, low);
    EXPECT_EQ(up, ram[7]);
    EXPECT_EQ(low, ram[8]);
}

TEST_F(Connect, CLSensor) {
    StartWith("M19");  // family 4, code 20250, firmware 306, plain firmware text
    EXPECT_EQ(ParamVariant(), Variant::CL);
    EXPECT_EQ(Line(0), "KRYTA-M19");
    EXPECT_EQ(Line(2), "1024-subpixel;  resolution=+/-0.4mm");
    EXPECT_FALSE(GetCtrlVisible(pPara1, PARA1_DROPhardware));
    EXPECT_TRUE(GetCtrlDimmed(pCalib, CALIB_BINSWopmode));
    EXPECT_TRUE(GetCtrlVisible(pPara1, PARA1_DROPhold));
    EXPECT_EQ(GetCtrlPrecision(pHandle, PANEL_NUMumValue), 2);
    EXPECT_EQ(GetCtrlPrecision(pHandle, PANEL_NUMTolUP), 1);
    EXPECT_EQ(GetCtrlPrecision(pHandle, PANEL_NUMTol), 1);
    EXPECT_EQ(GetCtrlLabel(pPara1, PARA1_NEDITTolerance), "TOLERANCE-LOW");
    EXPECT_EQ(Status(), sensor->model().firmwareText);
    EXPECT_TRUE(szVersion.empty());  // plain text is not kept as the version
    auto ram = sensor->Ram(0);
    for (int n = 0; n < 15; ++n) {
        uint16_t expect = ram[n];
        if (n == 12 && expect > 1000) expect = 1000;  // hold time range rule
        EXPECT_EQ(parameter[33 + n], expect) << "slot " << n;
    }
}

TEST_F(Connect, UnknownSensor) {
    StartWith("unknown");
    EXPECT_EQ(Line(0), "No information avialable!");
    for (int n = 1; n <= 3; ++n) EXPECT_EQ(Line(n), std::string(25, ' '));
    EXPECT_TRUE(GetCtrlDimmed(pHandle, PANEL_BTNSend));
    EXPECT_FALSE(GetCtrlVisible(pPara1, PARA1_NEDITToleranceUP));
    EXPECT_EQ(GetCtrlLabel(pPara1, PARA1_NEDITTolerance), "TOLERANCE");
    EXPECT_TRUE(GetCtrlDimmed(pPara1, PARA1_BINSWoption));
    int value = -1;
    EXPECT_EQ(Item(pPara1, PARA1_DROPtrigmode, 3, value), "NOT-USED");
}

TEST_F(Connect, PeakSensorAndTriggerItemsByFirmware) {
    StartWith("M06");  // 10080 on family 1
    EXPECT_EQ(HWTYPE, 2);
    EXPECT_EQ(Line(0), "KRYTA-M06");
    int value = -1;
    EXPECT_EQ(Item(pPara1, PARA1_DROPevalmode, 0, value), "LEFT-PEAK");
    EXPECT_EQ(Item(pPara1, PARA1_DROPevalmode, 2, value), "PEAK-TO-PEAK");
    EXPECT_EQ(value, 2);
    EndProgram();
    started = false;
    sensor->Stop();

    StartWith("M21");  // family 4, code 55, firmware 305: internal trigger kept
    EXPECT_EQ(Item(pPara1, PARA1_DROPtrigmode, 3, value), "INTERN TRIG");
    EXPECT_EQ(value, 3);
    EXPECT_TRUE(GetCtrlVisible(pPara2, PARA2_NUMTriggThreshold));
    EXPECT_EQ(Line(0), "KRYTA-M21");
    std::string on, off;
    EndProgram();
    started = false;
    sensor->Stop();

    StartWith("M22");  // family 4, code 10055, firmware 304: not used
    EXPECT_EQ(HWTYPE, 2);
    EXPECT_EQ(Line(0), "KRYTA-M22");
    EXPECT_EQ(Item(pPara1, PARA1_DROPtrigmode, 3, value), "NOT-USED");
    EXPECT_EQ(value, 1);
    EXPECT_FALSE(GetCtrlVisible(pPara2, PARA2_NUMTriggThreshold));
    EXPECT_FALSE(GetCtrlVisible(pHandle, PANEL_BTNData));
}

TEST_F(Connect, UnlistedCodeAndUnlistedLineLength) {
    sim::Model m = *sim::FindModel("M20");
    m.hwtype = 10037;       // family 4 has no peak variant of 37
    m.ccdvirtpixel = 1000;  // not in the step table
    StartWithModel(m);
    EXPECT_NE(Line(0).rfind("KRYTA-M", 0), 0u);  // no row written
    EXPECT_DOUBLE_EQ(TestGraphModel(pHandle, PANEL_GRAPHVideo).xAxis.max, 1000);
}

TEST_F(Connect, LoopBackFailsTheLineCheckAndStops) {
    EnsureUserInterface();
    sensor = std::make_unique<sim::Simulator>("M01", false);
    ASSERT_TRUE(sensor->Start());
    sim::FaultSpec f;
    f.kind = sim::Fault::WrongSync;
    f.command = 5;
    f.value = 0x0055;  // the program's own sync word comes back
    sensor->SetFault(f);
    setenv("KRYTA_COM1", sensor->DevicePath().c_str(), 1);
    ASSERT_EQ(StartProgram(), 0);
    started = true;
    EXPECT_EQ(Status(), "read error - not sync byte 0xAA!");
    // nothing after the failed check
    EXPECT_EQ(Commands(sensor->Requests()), (std::vector<uint16_t>{5}));
    EXPECT_EQ(HWTYPE, 0);
}

TEST_F(Connect, SilentSensorTimesOutTheLineCheck) {
    EnsureUserInterface();
    sensor = std::make_unique<sim::Simulator>("M01", false);
    ASSERT_TRUE(sensor->Start());
    sensor->SetFault({sim::Fault::Silent});
    setenv("KRYTA_COM1", sensor->DevicePath().c_str(), 1);
    double t0 = Timer();
    ASSERT_EQ(StartProgram(), 0);
    started = true;
    double took = Timer() - t0;
    EXPECT_EQ(Status(), "Timeout-RS-232...");
    EXPECT_GE(took, 1.5);
    EXPECT_EQ(Commands(sensor->Requests()), (std::vector<uint16_t>{5}));
}

TEST_F(Connect, HardwareAnswerTimeOut) {
    for (double delay : {1.4, 1.9}) {
        EnsureUserInterface();
        sensor = std::make_unique<sim::Simulator>("M19", false);
        ASSERT_TRUE(sensor->Start());
        sim::FaultSpec f;
        f.kind = sim::Fault::Delay;
        f.command = 10;
        f.seconds = delay;
        f.times = 1;
        sensor->SetFault(f);
        setenv("KRYTA_COM1", sensor->DevicePath().c_str(), 1);
        ASSERT_EQ(StartProgram(), 0);
        started = true;
        if (delay < 1.5) {
            EXPECT_EQ(HWTYPE, 3) << delay;
            EXPECT_EQ(Line(0), "KRYTA-M19");
        } else {
            // not identified: the defaults stay (standard variant, no sensor row)
            EXPECT_EQ(HWTYPE, 0) << delay;
            EXPECT_EQ(softversion, 0);
            // the connect sequence goes on with the parameter read and the firmware text
            auto c = Commands(sensor->Requests());
            EXPECT_EQ(std::count(c.begin(), c.end(), 2), 2);
            EXPECT_EQ(c.back(), 7);
            // the late hardware answer comes into the main frame's window with that frame's own
            // answer behind it: the window is refused, and the set is not taken
            EXPECT_TRUE(Seen(History(), "Two frames came as one answer - parameters not taken!"));
            EXPECT_EQ(CurrentOrigin().origin, Origin::StartValues);
            // and the status line ends with the failure, after the firmware text
            EXPECT_TRUE(Seen(History(), sensor->model().firmwareText));
            EXPECT_EQ(Status(), "Error reading HARDWARE-info!");
        }
        EndProgram();
        started = false;
        sensor->Stop();
        TestClearTextHistory();
    }
}

TEST_F(Connect, HardwareAnswerWithAnotherCommandWordLeavesTheIdentification) {
    EnsureUserInterface();
    sensor = std::make_unique<sim::Simulator>("M19", false);
    ASSERT_TRUE(sensor->Start());
    sim::FaultSpec f;
    f.kind = sim::Fault::OtherCommand;
    f.command = 10;
    f.value = 11;
    sensor->SetFault(f);
    setenv("KRYTA_COM1", sensor->DevicePath().c_str(), 1);
    ASSERT_EQ(StartProgram(), 0);
    started = true;
    EXPECT_EQ(hwtype, 37);
    EXPECT_EQ(ccdvirtpixel, 4096);
    EXPECT_EQ(softversion, 0);
    EXPECT_EQ(HWTYPE, 0);
    EXPECT_TRUE(Seen(History(), "Parameter-frame received! - Line Ok!"));
}

TEST_F(Connect, FirmwareTextFaults) {
    struct Case {
        sim::Fault kind;
        int bytes;
        std::string status;  // the status line at the end of the connect sequence
    };
    const Case cases[] = {
        // short text: time-out text, then the connect sequence's error
        {sim::Fault::Short, 40, "Error reading firmware-info!"},
        // a few bytes after the text that cannot be a frame are dropped; a frame's worth is an error
        {sim::Fault::Surplus, 8, "KRYTA-M05 FW 3.10 (c) KRYTA"},
        {sim::Fault::Surplus, 40, "Error reading firmware-info! - 112 bytes instead of 72"},
        // a flood instead of the text: read what fits, the rest discarded, not decoded
        {sim::Fault::Flood, 9000, "Error reading firmware-info! - "},
    };
    EnsureUserInterface();
    for (const Case& c : cases) {
        SCOPED_TRACE(sim::FaultName(c.kind));
        TearDown();
        sensor = std::make_unique<sim::Simulator>("M05", false);
        ASSERT_TRUE(sensor->Start());
        sim::FaultSpec f;
        f.kind = c.kind;
        f.command = 7;
        f.bytes = c.bytes;
        sensor->SetFault(f);
        setenv("KRYTA_COM1", sensor->DevicePath().c_str(), 1);
        ASSERT_EQ(StartProgram(), 0);
        started = true;
        if (c.kind == sim::Fault::Flood) {
            EXPECT_EQ(Status().rfind(c.status, 0), 0u) << Status();  // with the count that came
        } else {
            EXPECT_EQ(Status(), c.status);
        }
        EXPECT_EQ(Seen(History(), "Timeout - reading firmware info!"), c.kind == sim::Fault::Short);
        EXPECT_LE(nBytesR, BUF_BYTES);
        EXPECT_EQ(HWTYPE, 1);  // identification done before the text
    }
}

// A GET at connect that gets no answer ends the sequence's texts; without both frames of this
// sensor nothing may be written into it, also after a port change from a sensor that answered.
TEST_F(Connect, UnreadParametersAreSaidLastAndRefuseEveryWrite) {
    StartWith("M01");
    sim::Simulator second("M05", false);
    sim::FaultSpec silent{sim::Fault::Silent, 2};
    silent.argument = 1;  // the extension frame
    second.SetFault(silent);
    ASSERT_TRUE(second.Start());
    setenv("KRYTA_COM2", second.DevicePath().c_str(), 1);
    EXPECT_EQ(CurrentOrigin().origin, Origin::Sensor);
    TestUserSetValue(pHandle, PANEL_DropDCom, 2);
    EXPECT_EQ(ident_flag, 1);
    EXPECT_TRUE(Seen(History(), second.model().firmwareText));
    EXPECT_EQ(Status(), "Timeout-RS-232...");
    second.ClearRequests();
    TestLeftClick(pHandle, PANEL_BTNSend);
    EXPECT_EQ(Status(), kNotReadText);
    TestLeftClick(pPara2, PARA2_ButtonTeach);
    EXPECT_EQ(Status(), kNotReadText);
    TestUserSetValue(pPara1, PARA1_DROPanaMode, 2);
    TestLeftClick(pHandle, PANEL_ButtonReset);
    EXPECT_EQ(Status(), kNotReadText);
    SetCtrlVal(pRec, RECORD_NUMinctime, 1.0);
    TestUserSetValue(pRec, RECORD_NUMinctime, 8642.0);
    TestLeftClick(pCalib, CALIB_BTNWriteXFLASH);
    EXPECT_EQ(Status(), kNotReadText);
    ProcessSystemEvents();
    EXPECT_TRUE(second.Requests().empty());
    // a GET of both frames lifts it
    second.ClearFaults();
    TestLeftClick(pHandle, PANEL_BTNGet);
    EXPECT_EQ(CurrentOrigin().origin, Origin::Sensor);
    TestLeftClick(pHandle, PANEL_BTNSend);
    ASSERT_TRUE(second.WaitForRequests(4, 2.0));
    EXPECT_EQ(Commands(second.Requests()), (std::vector<uint16_t>{2, 2, 1, 1}));

    // a port that does not open forgets the sensor
    setenv("KRYTA_COM2", "/dev/kryta-no-such-device", 1);
    TestUserSetValue(pHandle, PANEL_DropDCom, 2);
    EXPECT_EQ(ident_flag, 0);
    EXPECT_EQ(CurrentOrigin().origin, Origin::OtherSensor);
    second.Stop();
    unsetenv("KRYTA_COM2");
}

TEST_F(Connect, PortChangeRunsTheWholeSequenceOnTheNewPort) {
    StartWith("M01");
    sim::Simulator second("M19", false);
    ASSERT_TRUE(second.Start());
    setenv("KRYTA_COM2", second.DevicePath().c_str(), 1);
    sensor->ClearRequests();
    TestUserSetValue(pHandle, PANEL_DropDCom, 2);
    EXPECT_EQ(com, 2);
    EXPECT_TRUE(Seen(History(), "Init COM-Port ..."));
    EXPECT_EQ(Commands(second.Requests()), (std::vector<uint16_t>{5, 10, 2, 2, 7}));
    EXPECT_TRUE(sensor->Requests().empty());
    EXPECT_EQ(HWTYPE, 3);
    EXPECT_EQ(Line(0), "KRYTA-M19");
    EXPECT_EQ(Status(), second.model().firmwareText);
    EXPECT_EQ(stop_flag, 1);
    // back to port 1
    TestUserSetValue(pHandle, PANEL_DropDCom, 1);
    EXPECT_EQ(com, 1);
    EXPECT_EQ(Line(0), "KRYTA-M01");
    EXPECT_EQ(Commands(sensor->Requests()), (std::vector<uint16_t>{5, 10, 2, 2, 7}));
    second.Stop();
    unsetenv("KRYTA_COM2");
}

// An operator who may not use the port's device is told so in the status line, with the group
// that owns the device and what to do. Tests run as root here, whom no permission stops: a child
// process gives up root for the unprivileged user and picks the port as that operator would.
TEST_F(Connect, PortThatTheOperatorMayNotUseTellsWhichGroupToJoin) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a device that the test user may not open";
    const group* dialout = ::getgrnam("dialout");
    const passwd* nobody = ::getpwnam("nobody");
    if (!dialout || !nobody) GTEST_SKIP() << "no group dialout or user nobody on this machine";
    const gid_t dialoutGid = dialout->gr_gid;
    const uid_t nobodyUid = nobody->pw_uid;
    const gid_t nobodyGid = nobody->pw_gid;

    StartWithoutSensor();
    sim::Simulator second("M19", false);
    ASSERT_TRUE(second.Start());
    const std::string device = second.DevicePath();
    ASSERT_EQ(::chown(device.c_str(), 0, dialoutGid), 0);
    ASSERT_EQ(::chmod(device.c_str(), 0660), 0);
    setenv("KRYTA_COM2", device.c_str(), 1);

    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(out[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(nobodyGid) != 0 || ::setuid(nobodyUid) != 0) ::_exit(3);
        TestUserSetValue(pHandle, PANEL_DropDCom, 2);
        const std::string status = TestCtrlText(pHandle, PANEL_STRStatus);
        const bool open = IsComOpen(2);
        const std::string report = (open ? "open\n" : "closed\n") + status;
        [[maybe_unused]] ssize_t n = ::write(out[1], report.data(), report.size());
        ::_exit(0);
    }
    ::close(out[1]);
    std::string report;
    char buf[512];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) report.append(buf, size_t(n));
    ::close(out[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "could not become the unprivileged user";
    EXPECT_EQ(report, "closed\nCannot open port: permission denied on " + device +
                          ", which belongs to group dialout: join it (sudo adduser nobody dialout) and log in again");
    EXPECT_TRUE(second.Requests().empty());  // nothing reached the sensor

    // Root, in the group or not, opens it: the same pick connects.
    TestUserSetValue(pHandle, PANEL_DropDCom, 2);
    EXPECT_EQ(Status(), second.model().firmwareText);
    second.Stop();
    unsetenv("KRYTA_COM2");
}
