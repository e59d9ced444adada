// Pictures of the window with each page, as an operator sees it against a simulated sensor.
// They land in $KRYTA_SCREENS when set, else in a temporary folder that is removed again.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fixture.h"
#include "platform/utility.h"

namespace fs = std::filesystem;

namespace {

void Settle(double seconds) {
    const double t0 = Timer();
    while (Timer() - t0 < seconds) ProcessSystemEvents();
}

void PressStop(void*) { TestLeftClick(pHandle, PANEL_BTNStop); }

// Taken while the measurement runs, from inside its loop.
std::string g_runShot;
bool g_runShotTaken = false;
void PictureRun(void*) { g_runShotTaken = TestScreenshot(g_runShot); }

TEST_F(ProgramTest, WindowWithEachPageCanBePictured) {
    StartWith("M01");
    const char* env = std::getenv("KRYTA_SCREENS");
    const bool keep = env && *env;
    const fs::path dir = keep ? fs::path(env) : fs::temp_directory_path() / ("kryta-screens-" + std::to_string(getpid()));
    fs::create_directories(dir);

    // A short measurement with ZOOM pressed, so that the graphs and displays show something; one
    // picture during it.
    g_runShot = (dir / "main-run.png").string();
    g_runShotTaken = false;
    TestRunLater(2.5, PictureRun, nullptr);
    TestRunLater(3.0, PressStop, nullptr);
    TestLeftClick(pHandle, PANEL_TOGGButtonZoom);
    TestLeftClick(pHandle, PANEL_BTNRun);
    Settle(0.3);
    ASSERT_TRUE(g_runShotTaken);
    // the blue banner, the red bar between the edges, the roll chart's dark-green tolerance
    // limits and red measured value, and the pressed ZOOM toggle in blue with its text
    EXPECT_GT(TestPixelsLike(g_runShot, pHandle, PANEL_DECOBanner, 0x0080FF, 0), 20000);
    EXPECT_GT(TestPixelsLike(g_runShot, pHandle, PANEL_GRAPHVideoBar, 0xFF0000), 500);
    EXPECT_GT(TestPixelsLike(g_runShot, pHandle, PANEL_GRAPHRaw, 0x008000), 200);
    EXPECT_GT(TestPixelsLike(g_runShot, pHandle, PANEL_GRAPHRaw, 0xFF0000), 100);
    EXPECT_GT(TestPixelsLike(g_runShot, pHandle, PANEL_TOGGButtonZoom, 0x0080FF, 0), 2000);
    EXPECT_EQ(TestCtrlText(pHandle, PANEL_TOGGButtonZoom), "ZOOM ON");

    // The video signal with its threshold, after VIDEO has run until STOP.
    TestRunLater(1.5, PressStop, nullptr);
    TestLeftClick(pHandle, PANEL_BTNVideo);
    Settle(0.3);
    EXPECT_TRUE(GetCtrlVisible(pHandle, PANEL_GRAPHVideo));
    const fs::path video = dir / "main-video.png";
    ASSERT_TRUE(TestScreenshot(video.string()));
    EXPECT_GT(TestPixelsLike(video.string(), pHandle, PANEL_GRAPHVideo, 0xFF0000), 200);
    EXPECT_GT(TestPixelsLike(video.string(), pHandle, PANEL_GRAPHVideo, 0x008000), 200);

    struct Shot {
        int toggle;
        const char* file;
    };
    const Shot shots[] = {{PANEL_TOGGBTN_Para1, "main-parameter1.png"},
                          {PANEL_TOGGBTN_Para2, "main-parameter2.png"},
                          {PANEL_TOGGBTN_Recorder, "main-recorder.png"},
                          {PANEL_TOGGBTN_Calib, "main-calibration.png"}};
    for (const Shot& s : shots) {
        TestLeftClick(pHandle, s.toggle);
        Settle(0.2);
        const fs::path png = dir / s.file;
        ASSERT_TRUE(TestScreenshot(png.string())) << png;
        // the chosen tab is drawn in its light, pressed colour; the others are not
        for (const Shot& other : shots)
            EXPECT_EQ(TestPixelsLike(png.string(), pHandle, other.toggle, 0xE4E4E4, 0) > 2000,
                      other.toggle == s.toggle)
                << png << " " << kCtrlTable[other.toggle].name;
    }

    // Both help boxes open over page 1.
    TestLeftClick(pHandle, PANEL_TOGGBTN_Para1);
    TestRightClick(pPara1, PARA1_DROPevalmode);
    TestRightClick(pPara1, PARA1_DROPaverage);
    Settle(0.2);
    const fs::path help = dir / "main-help.png";
    ASSERT_TRUE(TestScreenshot(help.string()));
    for (int box : {PANEL_HelpText1, PANEL_HelpText2})  // the pale yellow boxes lie on top
        EXPECT_GT(TestPixelsLike(help.string(), pHandle, box, 0xFFFFE1, 0), 5000) << kCtrlTable[box].name;

    if (!keep) fs::remove_all(dir);
}

// The window on the screen this test process has (KRYTA_SCREEN_EXPECT says what it should do
// there: "fits" or "scrolls"); run below for each screen size in a process of its own.
TEST_F(ProgramTest, WindowOnThisScreen) {
    const char* expect = std::getenv("KRYTA_SCREEN_EXPECT");
    if (!expect) GTEST_SKIP() << "run by WindowFitsALaptopBesideATaskBarAndScrollsOnALowerScreen";
    // analog hold and the internal trigger: every control of the main panel shows
    StartWith("M05");
    TestUserSetValue(pPara1, PARA1_DROPanaMode, 4);
    TestUserSetValue(pPara1, PARA1_DROPtrigmode, 3);
    Settle(0.2);
    const WindowModel w = TestWindowModel(pHandle);
    // Pictures of the whole screen when asked for (scripts/screenshot.sh).
    const char* shots = std::getenv("KRYTA_SCREENS");
    auto picture = [&](const char* what) {
        if (!shots || !*shots) return;
        Settle(0.2);
        const fs::path png = fs::path(shots) / ("screen-" + std::to_string(w.freeWidth) + "x" +
                                                std::to_string(w.freeHeight) + "-" + what + ".png");
        EXPECT_TRUE(TestScreenScreenshot(png.string())) << png;
    };
    EXPECT_TRUE(w.onFreeArea) << w.width << "x" << w.height << " on " << w.freeWidth << "x" << w.freeHeight;
    if (std::string(expect) == "fits") {
        EXPECT_FALSE(w.scrolls);
        EXPECT_EQ(Status(), sensor->model().firmwareText);
        // each page whole, with every control of the main panel, the status line among them
        for (int tab = PANEL_TOGGBTN_Para1; tab <= PANEL_TOGGBTN_Calib; ++tab) {
            TestLeftClick(pHandle, tab);
            for (int c = 0; c < CTRL_COUNT; ++c) {
                const int panel = TestPanelFromControl(c);
                if (!IsPanelVisible(panel) || !GetCtrlVisible(panel, c)) continue;
                EXPECT_TRUE(TestCtrlInView(panel, c)) << kCtrlTable[tab].name << " " << kCtrlTable[c].name;
            }
            picture(kCtrlTable[tab].name);
        }
        return;
    }
    EXPECT_TRUE(w.scrolls);
    EXPECT_LE(w.height, w.freeHeight);
    EXPECT_LE(w.width, w.freeWidth);
    // The status line, at the bottom, lies below the window's edge until the operator scrolls.
    EXPECT_TRUE(TestCtrlInView(pHandle, PANEL_BTNRun));
    EXPECT_FALSE(TestCtrlInView(pHandle, PANEL_STRStatus));
    TestScrollIntoView(pHandle, PANEL_STRStatus);
    Settle(0.1);
    EXPECT_TRUE(TestCtrlInView(pHandle, PANEL_STRStatus));
    picture("scrolled");
    // The layout is the same: the status line keeps its place and size in the panel.
    int top = 0, left = 0, height = 0, width = 0;
    GetCtrlBoundingRect(pHandle, PANEL_STRStatus, top, left, height, width);
    EXPECT_EQ(top, 628);
    EXPECT_EQ(left, 8);
    EXPECT_EQ(width, 1244);
    // And back to the header.
    TestScrollIntoView(pHandle, PANEL_DECOBanner);
    Settle(0.1);
    EXPECT_TRUE(TestCtrlInView(pHandle, PANEL_DECOBanner));
}

TEST(Screens, WindowFitsALaptopBesideATaskBarAndScrollsOnALowerScreen) {
    struct Screen {
        int width, height;
        const char* expect;
    };
    const Screen screens[] = {{1366, 728, "fits"}, {1366, 600, "scrolls"}};
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    for (const Screen& sc : screens) {
        SCOPED_TRACE(std::to_string(sc.width) + "x" + std::to_string(sc.height));
        const fs::path config = fs::temp_directory_path() /
                                ("kryta-screen-" + std::to_string(getpid()) + "-" + std::to_string(sc.width) + ".json");
        {
            std::FILE* f = std::fopen(config.c_str(), "w");
            ASSERT_NE(f, nullptr);
            std::fprintf(f, "{\"screens\": [{\"name\": \"screen\", \"x\": 0, \"y\": 0, \"width\": %d, "
                            "\"height\": %d, \"logicalDpi\": 96, \"logicalBpi\": 96, \"dpr\": 1}]}\n",
                         sc.width, sc.height);
            std::fclose(f);
        }
        const std::string cmd = "QT_QPA_PLATFORM='offscreen:configfile=" + config.string() + "' KRYTA_SCREEN_EXPECT=" +
                                sc.expect + " timeout 120 '" + self +
                                "' --gtest_filter=ProgramTest.WindowOnThisScreen 2>&1";
        FILE* out = popen(cmd.c_str(), "r");
        ASSERT_NE(out, nullptr);
        std::string text;
        char buf[1024];
        while (std::fgets(buf, sizeof buf, out)) text += buf;
        const int status = pclose(out);
        fs::remove(config);
        EXPECT_EQ(status, 0) << text;
        EXPECT_NE(text.find("[  PASSED  ] 1 test."), std::string::npos) << text;
    }
}

}  // namespace
