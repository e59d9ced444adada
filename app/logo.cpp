// The header of the main panel: blue banner, logo picture, maker lines, program name and version.
#include <string>

#include "app/app.h"
#include "sensor/vars.h"
#include "platform/userint.h"
#include "platform/utility.h"

namespace {
constexpr int kBannerBlue = 0x0080FF;
constexpr int kWhite = 0xFFFFFF;
}  // namespace

void ShowInfoText(int /*id*/, int bgColor, int textColor, const std::string& text, int left, int top,
                  int pointSize) {
    // A label of its own on the main panel; it stays there for the life of the panel, so its id
    // is not kept.
    int ctrl = NewTextMsg(pHandle, text, top, left);
    if (ctrl < 0) return;
    SetCtrlFont(pHandle, ctrl, APP_STANDARD_FONT);
    SetCtrlTextBgColor(pHandle, ctrl, bgColor);
    SetCtrlTextColor(pHandle, ctrl, textColor);
    SetCtrlPointSize(pHandle, ctrl, pointSize);
    SetCtrlVal(pHandle, ctrl, text);
}

void ShowLogo(int style) {
    if (style != 2) return;
    SetCtrlTextBgColor(pHandle, PANEL_DECOBanner, kBannerBlue);
    SetCtrlPos(pHandle, PANEL_PICTLogo, 10, 300);
    // The bitmap lies beside the program, wherever the program is started from; without it the
    // picture simply stays empty.
    DisplayImageFile(pHandle, PANEL_PICTLogo, ProgramFile("qz.bmp"));

    ShowInfoText(0, kBannerBlue, kWhite, "KRYTA Sensorik GmbH", 15, 10, 11);
    ShowInfoText(0, kBannerBlue, kWhite, "Tel. +49 (0) 000 000 00-0", 15, 25, 11);
    ShowInfoText(0, kBannerBlue, kWhite, "www.kryta-sensorik.example", 15, 40, 11);
    ShowInfoText(0, kBannerBlue, kWhite, szSoftName, 300, 35, 18);
    ShowInfoText(0, kBannerBlue, kWhite, szSoftVersion, 450, 40, 11);
}
