// Pictures of the window with each page, as an operator sees it against a simulated sensor.
// They land in $KRYTA_SCREENS when set, else in a temporary folder that is removed again.
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

    // A short measurement so that the graphs and displays show something; one picture during it.
    g_runShot = (dir / "main-run.png").string();
    g_runShotTaken = false;
    TestRunLater(2.5, PictureRun, nullptr);
    TestRunLater(3.0, PressStop, nullptr);
    TestLeftClick(pHandle, PANEL_BTNRun);
    Settle(0.3);
    ASSERT_TRUE(g_runShotTaken);
    EXPECT_GT(fs::file_size(g_runShot), 10000u);

    // The video signal with its threshold, after VIDEO has run until STOP.
    TestRunLater(1.5, PressStop, nullptr);
    TestLeftClick(pHandle, PANEL_BTNVideo);
    Settle(0.3);
    EXPECT_TRUE(GetCtrlVisible(pHandle, PANEL_GRAPHVideo));
    const fs::path video = dir / "main-video.png";
    ASSERT_TRUE(TestScreenshot(video.string()));
    EXPECT_GT(fs::file_size(video), 10000u);

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
        ASSERT_TRUE(fs::exists(png));
        EXPECT_GT(fs::file_size(png), 10000u) << png;  // a real picture, not an empty frame
    }

    // Both help boxes open over page 1.
    TestLeftClick(pHandle, PANEL_TOGGBTN_Para1);
    TestRightClick(pPara1, PARA1_DROPevalmode);
    TestRightClick(pPara1, PARA1_DROPaverage);
    Settle(0.2);
    const fs::path help = dir / "main-help.png";
    ASSERT_TRUE(TestScreenshot(help.string()));
    EXPECT_GT(fs::file_size(help), 10000u);

    if (!keep) fs::remove_all(dir);
}

}  // namespace
