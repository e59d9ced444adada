// Start-up, page tabs, panel adjustment, header and window close of the program.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fixture.h"
#include "files/files.h"
#include "link/com232.h"
#include "sensor/vars.h"
#include "platform/rs232.h"
#include "platform/utility.h"

namespace fs = std::filesystem;

namespace {

int ToggleOn(int toggle) {
    int32_t v = -1;
    GetCtrlVal(pHandle, toggle, v);
    return v;
}

struct Tab {
    int toggle;
    int* page;
};
const Tab kTabs[] = {{PANEL_TOGGBTN_Para1, &pPara1},
                     {PANEL_TOGGBTN_Para2, &pPara2},
                     {PANEL_TOGGBTN_Recorder, &pRec},
                     {PANEL_TOGGBTN_Calib, &pCalib}};

// Exactly the tab `shown` is on and its page displayed; the other three off and hidden.
void ExpectPage(int shown) {
    for (const Tab& t : kTabs) {
        SCOPED_TRACE(kCtrlTable[t.toggle].name);
        EXPECT_EQ(ToggleOn(t.toggle), t.toggle == shown ? 1 : 0);
        EXPECT_EQ(IsPanelVisible(*t.page), t.toggle == shown);
    }
}

double Dval(int panel, int control) {
    double v = NAN;
    GetCtrlVal(panel, control, v);
    return v;
}

// A 2 x 2 pixel, 24-bit Windows bitmap.
void WriteTinyBitmap(const fs::path& path) {
    const unsigned char bmp[] = {
        'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,                     // file header
        40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0,       // info header
        16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0};  // rows padded to 8
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bmp, 1, sizeof bmp, f);
    std::fclose(f);
}

using ShellTest = ProgramTest;

TEST(StartUp, MissingResourceFileEndsAtOnceWithMinusOne) {
    EnsureUserInterface();
    const std::string missing = (fs::temp_directory_path() / "kryta-no-such-dir" / "KRYTA-LT-VizizE309.uir").string();
    EXPECT_EQ(StartProgram(missing), -1);
    EXPECT_LT(pHandle, 0);

    // A file that is there but holds no panels is refused as well.
    const fs::path bogus = fs::temp_directory_path() / "kryta-bogus.uir";
    { std::FILE* f = std::fopen(bogus.c_str(), "w"); std::fputs("not a resource file\n", f); std::fclose(f); }
    EXPECT_EQ(StartProgram(bogus.string()), -1);
    fs::remove(bogus);
}

// The real program, started beside no resource file, exits with -1 and opens no window.
TEST(StartUp, ProgramWithoutResourceFileExitsWithMinusOne) {
    const fs::path here = fs::read_symlink("/proc/self/exe").parent_path();
    const fs::path program = here / "KRYTA-LT-Scope";
    if (!fs::exists(program)) GTEST_SKIP() << "program not built beside the tests";
    const fs::path dir = fs::temp_directory_path() / ("kryta-alone-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::copy_file(program, dir / "KRYTA-LT-Scope", fs::copy_options::overwrite_existing);
    const std::string cmd = "cd '" + dir.string() + "' && QT_QPA_PLATFORM=offscreen KRYTA_COM1=/dev/kryta-none "
                            "timeout 20 ./KRYTA-LT-Scope >/dev/null 2>&1";
    const int status = std::system(cmd.c_str());
    fs::remove_all(dir);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 255);  // -1
}

// Started where no window can open, the program says in one line what is missing and how to
// start it, and ends as it does when the run-time cannot start.
TEST(StartUp, WithoutADisplayTheProgramSaysWhatIsMissing) {
    const fs::path program = fs::read_symlink("/proc/self/exe").parent_path() / "KRYTA-LT-Scope";
    if (!fs::exists(program)) GTEST_SKIP() << "program not built beside the tests";
    const std::string cmd = "cd / && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "
                            "KRYTA_COM1=/dev/kryta-none timeout 20 '" + program.string() +
                            "' 2>&1 >/dev/null; echo \"exit $?\"";
    FILE* out = popen(cmd.c_str(), "r");
    ASSERT_NE(out, nullptr);
    std::vector<std::string> lines;
    char buf[1024];
    while (std::fgets(buf, sizeof buf, out)) lines.emplace_back(buf);
    pclose(out);
    ASSERT_EQ(lines.size(), 2u);  // the one line on standard error, then the exit code
    EXPECT_NE(lines[0].find("no display"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("DISPLAY and WAYLAND_DISPLAY are not set"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("xvfb-run"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("desktop session"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1], "exit 255\n");
}

TEST_F(ShellTest, StartsWithPageOneShownAndPagesInsideTheMainPanel) {
    StartWithoutSensor();
    EXPECT_TRUE(IsPanelVisible(pHandle));
    ExpectPage(PANEL_TOGGBTN_Para1);
    for (int page : {pPara1, pPara2, pRec, pCalib}) {
        int top = 0, left = 0;
        GetPanelPos(page, top, left);
        EXPECT_EQ(top, 105);
        EXPECT_EQ(left, 8);
    }
    EXPECT_EQ(GetActivePanel(), pHandle);
    EXPECT_EQ(GetActiveCtrl(pHandle), PANEL_BTNStop);
    EXPECT_FALSE(GetCtrlVisible(pHandle, PANEL_HelpText1));
    EXPECT_FALSE(GetCtrlVisible(pHandle, PANEL_HelpText2));
    EXPECT_EQ(TestCtrlText(pHandle, PANEL_HelpText1), "HELPTEXT1");
    EXPECT_EQ(TestCtrlText(pHandle, PANEL_HelpText2), "HELPTEXT2");
    EXPECT_EQ(proj_dir, GetProjectDir());
    EXPECT_EQ(rec_fname, MakePathname(proj_dir, "RECORD.DAT"));
    EXPECT_EQ(TestCtrlText(pRec, RECORD_TEXTBOXrecfile), rec_fname);
    EXPECT_EQ(TestCtrlText(pRec, RECORD_STRrecdate), DateStr());
    // The failed connect is reported, not fatal.
    EXPECT_FALSE(Status().empty());
}

TEST_F(ShellTest, PortListShowsEightPortsWithTheirDevicesAndSelectsThePortInUse) {
    StartWithoutSensor();
    const int count = GetNumListItems(pHandle, PANEL_DropDCom);
    ASSERT_GE(count, 8);
    for (int n = 1; n <= count; ++n) {
        std::string label;
        int value = 0;
        GetListItem(pHandle, PANEL_DropDCom, n - 1, label, value);
        EXPECT_EQ(value, n);
        const std::string device = ComDeviceName(n);
        EXPECT_EQ(label.rfind("COM" + std::to_string(n), 0), 0u) << label;
        if (!device.empty()) {
            EXPECT_NE(label.find(" (" + device), std::string::npos) << label;
        }
    }
    std::string first;
    int v = 0;
    GetListItem(pHandle, PANEL_DropDCom, 0, first, v);
    EXPECT_EQ(first, "COM1 (/dev/kryta-no-such-device, not present)");
    int32_t selected = 0;
    GetCtrlVal(pHandle, PANEL_DropDCom, selected);
    EXPECT_EQ(selected, com);
    EXPECT_EQ(com, 1);
}

// The list is filled afresh each time it opens: a sensor that appears while the program runs
// (here a second simulator behind the link port 2 names) is offered the next time, and chosen,
// it connects.
TEST_F(ShellTest, PortListShowsTheDevicesPresentEachTimeItOpens) {
    const fs::path link = fs::temp_directory_path() / ("kryta-com2-" + std::to_string(getpid()));
    fs::remove(link);
    setenv("KRYTA_COM2", link.c_str(), 1);
    StartWith("M01");

    std::vector<std::string> shown = TestOpenList(pHandle, PANEL_DropDCom);
    ASSERT_GE(shown.size(), 8u);
    EXPECT_EQ(shown[0], "COM1 (" + sensor->DevicePath() + ")");
    EXPECT_EQ(shown[1], "COM2 (" + link.string() + ", not present)");

    sim::Simulator second("M19", false);
    ASSERT_TRUE(second.Start());
    fs::create_symlink(second.DevicePath(), link);
    shown = TestOpenList(pHandle, PANEL_DropDCom);
    ASSERT_GE(shown.size(), 8u);
    EXPECT_EQ(shown[0], "COM1 (" + sensor->DevicePath() + ")");
    EXPECT_EQ(shown[1], "COM2 (" + link.string() + ", link to " + second.DevicePath() + ")");
    // Opening the list chose nothing: port 1 stays in use and selected.
    EXPECT_EQ(com, 1);
    int32_t selected = 0;
    GetCtrlVal(pHandle, PANEL_DropDCom, selected);
    EXPECT_EQ(selected, 1);

    TestUserSetValue(pHandle, PANEL_DropDCom, 2);
    EXPECT_EQ(com, 2);
    EXPECT_EQ(Status(), second.model().firmwareText);
    EXPECT_EQ(second.Requests().size(), 5u);  // the connect sequence

    // Gone again (the adapter pulled out): the next look says so.
    second.Stop();
    fs::remove(link);
    shown = TestOpenList(pHandle, PANEL_DropDCom);
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(shown[1], "COM2 (" + link.string() + ", not present)");
    unsetenv("KRYTA_COM2");
}

TEST_F(ShellTest, TabsShowOnePageAndTheActiveTabStaysOn) {
    StartWithoutSensor();
    for (const Tab& t : kTabs) {
        SCOPED_TRACE(kCtrlTable[t.toggle].name);
        TestLeftClick(pHandle, t.toggle);
        ExpectPage(t.toggle);
        // Clicking the tab already shown leaves it shown and on.
        TestLeftClick(pHandle, t.toggle);
        ExpectPage(t.toggle);
    }
    TestLeftClick(pHandle, PANEL_TOGGBTN_Para1);
    ExpectPage(PANEL_TOGGBTN_Para1);

    // A right click on a tab changes nothing.
    TestRightClick(pHandle, PANEL_TOGGBTN_Recorder);
    ExpectPage(PANEL_TOGGBTN_Para1);
    EXPECT_FALSE(GetCtrlVisible(pHandle, PANEL_HelpText1));
}

TEST_F(ShellTest, HeaderIsBlueWithWhiteTextsAtTheirPlaces) {
    // The logo beside the program is shown when the program is started from another folder.
    const fs::path logo = fs::path(GetProjectDir()) / "qz.bmp";
    const bool madeLogo = !fs::exists(logo);
    if (madeLogo) WriteTinyBitmap(logo);
    const fs::path elsewhere = fs::temp_directory_path() / ("kryta-cwd-" + std::to_string(getpid()));
    fs::create_directories(elsewhere);
    const fs::path before = fs::current_path();
    fs::current_path(elsewhere);
    StartWithoutSensor();
    fs::current_path(before);
    fs::remove_all(elsewhere);
    if (madeLogo) fs::remove(logo);
    EXPECT_TRUE(TestCtrlShowsPicture(pHandle, PANEL_PICTLogo));

    EXPECT_EQ(GetCtrlTextBgColor(pHandle, PANEL_DECOBanner), 0x0080FF);
    int top = 0, left = 0, h = 0, w = 0;
    GetCtrlBoundingRect(pHandle, PANEL_PICTLogo, top, left, h, w);
    EXPECT_EQ(top, 10);
    EXPECT_EQ(left, 300);

    struct Label {
        std::string text;
        int top, left, points;
    };
    std::vector<Label> found;
    for (int id = CTRL_COUNT; id < CTRL_COUNT + 2000 && found.size() < 10; ++id) {
        if (!TestCtrlExists(pHandle, id)) continue;
        EXPECT_EQ(GetCtrlTextBgColor(pHandle, id), 0x0080FF);
        EXPECT_EQ(GetCtrlTextColor(pHandle, id), 0xFFFFFF);
        GetCtrlBoundingRect(pHandle, id, top, left, h, w);
        EXPECT_EQ(TestCtrlFontFamily(pHandle, id), TestAppFontFamily());
        found.push_back({TestCtrlText(pHandle, id), top, left, 0});
    }
    ASSERT_EQ(found.size(), 5u);
    auto at = [&](int t, int l) -> std::string {
        for (const Label& lb : found)
            if (lb.top == t && lb.left == l) return lb.text;
        return "<nothing at " + std::to_string(t) + "," + std::to_string(l) + ">";
    };
    EXPECT_EQ(at(35, 300), "KRYTA-LT-Scope");
    EXPECT_EQ(at(40, 450), "Version 3.09");
    EXPECT_FALSE(at(10, 15).empty());
    EXPECT_EQ(at(10, 15).find("<nothing"), std::string::npos);
    EXPECT_EQ(at(25, 15).find("<nothing"), std::string::npos);
    EXPECT_EQ(at(40, 15).find("<nothing"), std::string::npos);
}

TEST_F(ShellTest, AdjustingThePanelsFollowsTheModes) {
    StartWithoutSensor();
    const int analog[] = {PANEL_NUManaOut, PANEL_NUManaMax, PANEL_NUManaMin, PANEL_ButtonReset};

    // Analog output: the maximum/minimum group only from mode 2 on.
    for (int mode : {0, 1, 2, 7, 1}) {
        SCOPED_TRACE("anaMode " + std::to_string(mode));
        SetCtrlVal(pPara1, PARA1_DROPanaMode, mode);
        InitGUI();
        for (int c : analog) EXPECT_EQ(GetCtrlVisible(pHandle, c), mode > 1) << kCtrlTable[c].name;
    }

    // Trigger: the DATA button and the trigger threshold only with the internal trigger.
    for (int mode : {3, 2, 0, 3}) {
        SCOPED_TRACE("trigMode " + std::to_string(mode));
        SetCtrlVal(pPara1, PARA1_DROPtrigmode, mode);
        InitGUI();
        EXPECT_EQ(GetCtrlVisible(pHandle, PANEL_BTNData), mode == 3);
        EXPECT_EQ(GetCtrlDimmed(pPara2, PARA2_NUMTriggThreshold), mode != 3);
    }

    // Hardware modes 1 and 3 lock the tolerances of an edge or peak sensor.
    HWTYPE = 1;
    SetCtrlVal(pPara1, PARA1_DROPhardware, 3);
    InitGUI();
    EXPECT_TRUE(GetCtrlDimmed(pPara1, PARA1_NEDITToleranceUP));
    EXPECT_TRUE(GetCtrlDimmed(pPara1, PARA1_NEDITTolerance));
    SetCtrlVal(pPara1, PARA1_DROPhardware, 2);
    InitGUI();
    EXPECT_FALSE(GetCtrlDimmed(pPara1, PARA1_NEDITToleranceUP));
    EXPECT_FALSE(GetCtrlDimmed(pPara1, PARA1_NEDITTolerance));
    // Another sensor kind leaves the dimming as it was.
    HWTYPE = 3;
    SetCtrlVal(pPara1, PARA1_DROPhardware, 1);
    InitGUI();
    EXPECT_FALSE(GetCtrlDimmed(pPara1, PARA1_NEDITTolerance));
    HWTYPE = 2;
    InitGUI();
    EXPECT_TRUE(GetCtrlDimmed(pPara1, PARA1_NEDITTolerance));
    HWTYPE = 3;
    SetCtrlDimmed(pPara1, PARA1_NEDITTolerance, true);
    InitGUI();
    EXPECT_TRUE(GetCtrlDimmed(pPara1, PARA1_NEDITTolerance));
    HWTYPE = 0;

    // Tolerances as lengths: symmetric before firmware 303, upper and lower from 303 on.
    const uint16_t p60 = parameter[60], p61 = parameter[61], p10 = parameter[10], p25 = parameter[25],
                   p26 = parameter[26];
    softversion = 0;
    SetScaleFactor(16384);
    parameter[10] = 100;
    InitGUI();
    EXPECT_NEAR(Dval(pHandle, PANEL_NUMTolUP), 0.1, 1e-9);
    EXPECT_NEAR(Dval(pHandle, PANEL_NUMTol), 0.1, 1e-9);
    softversion = 303;
    SetScaleFactor(2048);  // 2 µm per pixel in the 1024 scaling
    parameter[25] = 300;
    parameter[26] = 50;
    InitGUI();
    EXPECT_NEAR(Dval(pHandle, PANEL_NUMTolUP), 0.6, 1e-9);
    EXPECT_NEAR(Dval(pHandle, PANEL_NUMTol), 0.1, 1e-9);
    // A factor beyond 16 bits keeps its high word.
    SetScaleFactor(0x00030000u);  // 196608 = 192 in the 1024 scaling
    parameter[25] = 10;
    InitGUI();
    EXPECT_NEAR(Dval(pHandle, PANEL_NUMTolUP), 196608.0 * 10 / 1024000.0, 1e-6);
    softversion = 0;
    parameter[60] = p60, parameter[61] = p61, parameter[10] = p10, parameter[25] = p25, parameter[26] = p26;

    // Help boxes go back to their corner, hidden, with their placeholder texts.
    TestRightClick(pHandle, PANEL_BTNGet);
    TestRightClick(pHandle, PANEL_DropDCom);
    ASSERT_TRUE(GetCtrlVisible(pHandle, PANEL_HelpText1));
    ASSERT_TRUE(GetCtrlVisible(pHandle, PANEL_HelpText2));
    InitGUI();
    for (int box : {PANEL_HelpText1, PANEL_HelpText2}) {
        int top = 0, left = 0, h = 0, w = 0;
        GetCtrlBoundingRect(pHandle, box, top, left, h, w);
        EXPECT_EQ(top, 110);
        EXPECT_EQ(left, 10);
        EXPECT_FALSE(GetCtrlVisible(pHandle, box));
    }
    EXPECT_EQ(TestCtrlText(pHandle, PANEL_HelpText1), "HELPTEXT1");
    EXPECT_EQ(TestCtrlText(pHandle, PANEL_HelpText2), "HELPTEXT2");
    EXPECT_EQ(GetActivePanel(), pHandle);
    EXPECT_EQ(GetActiveCtrl(pHandle), PANEL_BTNStop);
}

TEST_F(ShellTest, ResourceStartValuesLieWithinTheSettingRanges) {
    StartWithoutSensor();
    struct Range {
        int control;
        int lo, hi;
    };
    const Range ranges[] = {{PARA2_SLIDEpower, 0, 1000},      {PARA2_DROPpowermode, 0, 1},
                            {PARA1_DROPpolarity, 0, 1},       {PARA1_DROPevalmode, 0, 4},
                            {PARA1_DROPtrigmode, 0, 3},       {PARA1_DROPanaMode, 0, 7},
                            {PARA1_DROPhardware, 0, 3},       {PARA2_SLIDEVideoThreshold, 10, 950},
                            {PARA1_DROPaverage, 1, 1024},     {PARA1_DROPhold, 0, 1000},
                            {PANEL_NEDITEdgeLeft, 1, 1024},   {PANEL_NEDITEdgeRight, 1, 1024}};
    for (const Range& r : ranges) {
        int32_t v = -1;
        GetCtrlVal(TestPanelFromControl(r.control), r.control, v);
        EXPECT_GE(v, r.lo) << kCtrlTable[r.control].name;
        EXPECT_LE(v, r.hi) << kCtrlTable[r.control].name;
    }
    // The lists the identification rewrites hold the items it expects.
    std::string label;
    int value = -1;
    ASSERT_GE(GetNumListItems(pPara1, PARA1_DROPevalmode), 5);
    for (int i = 0; i < 5; ++i) {
        GetListItem(pPara1, PARA1_DROPevalmode, i, label, value);
        EXPECT_EQ(value, i);
    }
    ASSERT_EQ(GetNumListItems(pPara1, PARA1_DROPtrigmode), 4);
    GetListItem(pPara1, PARA1_DROPtrigmode, 3, label, value);
    EXPECT_EQ(value, 3);
    ASSERT_EQ(GetNumListItems(pPara1, PARA1_DROPanaMode), 8);
    GetListItem(pPara1, PARA1_DROPanaMode, 1, label, value);
    EXPECT_EQ(value, 1);
    ASSERT_EQ(GetNumListItems(pPara1, PARA1_DROPaverage), 11);
    GetListItem(pPara1, PARA1_DROPaverage, 10, label, value);
    EXPECT_EQ(value, 1024);
    // The calibration factor starts dimmed and the X-FLASH write hidden.
    EXPECT_TRUE(GetCtrlDimmed(pCalib, CALIB_NUMCalFactor));
    EXPECT_FALSE(GetCtrlVisible(pCalib, CALIB_BTNWriteXFLASH));
    EXPECT_TRUE(GetCtrlVisible(pCalib, CALIB_BTNReadXFLASH));
    // The renamed tolerance caption fits its label.
    SetCtrlLabel(pPara1, PARA1_NEDITTolerance, "TOLERANCE-LOW");
    EXPECT_EQ(GetCtrlLabel(pPara1, PARA1_NEDITTolerance), "TOLERANCE-LOW");
}

bool g_closed = false;
void CloseWindow(void*) {
    TestClosePanel(pHandle);
    g_closed = true;
}

// After RUN and STOP, and while a GET waits for a sensor that does not answer: the close ends
// what runs at once and closes the port.
TEST_F(ShellTest, ClosingTheWindowStopsAndClosesThePort) {
    StartWith("M01");
    TestLeftClickLater(0.3, pHandle, PANEL_BTNStop);
    TestLeftClick(pHandle, PANEL_BTNRun);
    ASSERT_TRUE(IsComOpen(com));
    stop_flag = 0;
    TestClosePanel(pHandle);
    EXPECT_EQ(stop_flag, 1);
    EXPECT_FALSE(IsComOpen(com));

    TearDown();
    StartWith("M01");
    sensor->SetFault({sim::Fault::Silent, 2});
    g_closed = false;
    TestRunLater(0.3, CloseWindow, nullptr);
    const double t0 = Timer();
    TestLeftClick(pHandle, PANEL_BTNGet);
    EXPECT_TRUE(g_closed);
    EXPECT_LT(Timer() - t0, 1.0);  // not a time-out per frame
    EXPECT_FALSE(IsComOpen(com));
}

TEST_F(ShellTest, ClosingTheWindowDuringRunEndsTheLoop) {
    StartWith("M01");
    sensor->ClearRequests();
    g_closed = false;
    TestRunLater(0.5, CloseWindow, nullptr);
    const double t0 = Timer();
    TestLeftClick(pHandle, PANEL_BTNRun);  // returns when the loop has ended
    const double loopEnd = Timer();
    // Never leave the close pending for the next test.
    while (!g_closed && Timer() - t0 < 5.0) ProcessSystemEvents();
    ASSERT_TRUE(g_closed);

    // The loop did run: the sensor saw a stream of measurement requests.
    int measurementRequests = 0;
    for (const sim::Request& r : sensor->Requests())
        if (r.word(1) == 8) ++measurementRequests;
    EXPECT_GT(measurementRequests, 1);
    EXPECT_EQ(stop_flag, 1);
    EXPECT_FALSE(IsComOpen(com));
    // It ended at once, not after an answer time-out.
    EXPECT_GE(loopEnd - t0, 0.5);
    EXPECT_LT(loopEnd - t0, 0.5 + 1.0);
}

// Ending the session or `kill` asks the program to close as its window's close button does,
// also while the connect sequence waits for the sensor, before the event loop runs: the program
// ends normally, with the port closed and its lock file given back.
TEST(Shutdown, ATerminationSignalDuringTheConnectSequenceClosesThePortAndEnds) {
    const fs::path program = fs::read_symlink("/proc/self/exe").parent_path() / "KRYTA-LT-Scope";
    if (!fs::exists(program)) GTEST_SKIP() << "program not built beside the tests";
    sim::Simulator sensor("M01", false);
    sim::FaultSpec silent;
    ASSERT_TRUE(sim::ParseFault("silent", silent));
    sensor.SetFault(silent);
    ASSERT_TRUE(sensor.Start());
    setenv("KRYTA_COM1", sensor.DevicePath().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string args[] = {"timeout", "-k", "5", "30", program.string()};  // a hang ends as 124
    char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(), args[4].data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawnp(&pid, "timeout", nullptr, nullptr, argv, environ), 0);

    const bool waiting = sensor.WaitForRequests(1, 20.0);  // the echo check gets no answer
    std::string lockName = "LCK.." + sensor.DevicePath().substr(5);  // LCK..pts_N
    std::replace(lockName.begin(), lockName.end(), '/', '_');
    const fs::path lockFile = fs::path("/var/lock") / lockName;
    const bool locked = fs::exists(lockFile);
    kill(pid, SIGTERM);  // timeout hands it on to the program
    int status = 0;
    waitpid(pid, &status, 0);
    const bool lockLeft = fs::remove(lockFile);
    ASSERT_TRUE(waiting && locked) << lockFile;
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(lockLeft);
}

}  // namespace
