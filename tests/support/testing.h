// Test interface of the run-time layer: act on the user interface as a person would, and read
// what a person would see. The test-only library kryta_testing; the program does not link it.
//
// The library watches the program through the run-time's observers (platform/userint.h): it keeps
// every text put into a String or TextMsg control and every dialog about to open, and answers the
// dialogs from its queue in the test mode. It installs them when it is linked in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/graphmodel.h"
#include "platform/userint.h"

// ---- acting as the operator ---------------------------------------------------------------
// Delivers the event sequence that the real widget produces for a person's action, through the
// widget's own signal wiring: a left click on a button gives LEFT_CLICK then COMMIT; a right
// click gives RIGHT_CLICK; choosing a ring item, typing a number and pressing Enter, moving a
// slider or clicking a toggle/radio gives VAL_CHANGED then COMMIT.
void TestLeftClick(int panel, int control);
void TestRightClick(int panel, int control);
void TestKeyPress(int panel, int control);
void TestUserSetValue(int panel, int control, double value);  // numeric, slider, ring (item value), toggle
void TestClosePanel(int panel);                               // the window's close button
// Opens a drop-down's list with a click, as a person does, and reads the items the open list
// shows; then closes it, choosing nothing. Empty when the list does not open.
std::vector<std::string> TestOpenList(int panel, int control);
// Calls the control's callback directly with one event.
void TestFireEvent(int panel, int control, int event);
// After `seconds` of event processing, clicks the control as TestLeftClick does (for STOP while
// RUN loops inside its callback). Several may be pending.
void TestLeftClickLater(double seconds, int panel, int control);
// After `seconds`, runs any plain function inside event processing.
void TestRunLater(double seconds, void (*fn)(void*), void* data);

// Answers for the next dialogs (first in, first out). Without a queued answer a dialog in the
// test mode is cancelled (file) or answered no (question).
void TestQueueFileSelect(int result, const std::string& path);
void TestQueueConfirm(int answer);
int TestPendingDialogAnswers();
// Titles, button labels etc. of the dialogs shown so far (in either mode), the newest 20,000.
using DialogRecord = DialogRequest;
std::vector<DialogRecord> TestDialogs();
void TestClearDialogs();

// Dialogs never open a window in the test mode; they take the queued answers instead.
void TestSetDialogMode(bool fromQueue);

// ---- reading what is shown ----------------------------------------------------------------
std::string TestCtrlText(int panel, int control);   // the text a person reads on the control
// Every text set on a String or TextMsg control (e.g. the status line), oldest first; the
// newest 20,000 per control.
std::vector<std::string> TestTextHistory(int panel, int control);
void TestClearTextHistory();
std::string TestWidgetClass(int panel, int control);
bool TestCtrlExists(int panel, int control);
std::string TestCtrlFontFamily(int panel, int control);   // after the style sheet applies
bool TestCtrlShowsPicture(int panel, int control);        // a picture control holds an image
std::string TestAppFontFamily();                          // the application's standard font
int TestPanelFromControl(int control);              // loaded panel handle that holds the control

// Attributes as the program set them (the widget's own until then).
bool IsPanelVisible(int panel);
bool GetCtrlDimmed(int panel, int control);
std::string GetCtrlLabel(int panel, int control);  // a button's text, else the label beside it
int GetCtrlTextColor(int panel, int control);      // 0xRRGGBB, < 0 for an unknown control
int GetCtrlTextBgColor(int panel, int control);
bool GetCtrlBold(int panel, int control);
int GetCtrlPrecision(int panel, int control);      // decimals a real numeric shows
// The panel that takes the keyboard input, 0 when none; the control of the panel that has the
// keyboard focus in its window, < 0 when none.
int GetActivePanel();
int GetActiveCtrl(int panel);
// Ring items and text-box lines, from 0.
int GetListItem(int panel, int control, int index, std::string& label, int& value);
int GetTextBoxLine(int panel, int control, int line, std::string& text);
int GetNumTextBoxLines(int panel, int control);
// A cursor (1 to 3) of an x/y graph.
int GetGraphCursor(int panel, int control, int cursor, double& x, double& y);

// The model of a graph: what is drawn.
struct GraphModel {
    std::vector<PlotModel> plots;
    double cursorX[3] = {0, 0, 0}, cursorY[3] = {0, 0, 0};
    AxisModel xAxis, yAxis;
    // strip charts
    int traces = 1, pointsPerScreen = 100;
    bool continuous = false;
    std::vector<int> traceColors;               // trace 1 at index 0
    std::vector<std::vector<double>> traceData; // the points on screen, oldest first, per trace
    std::vector<double> lastPlotted;            // the values of the last PlotStripChart call
    long plotCalls = 0;
};
GraphModel TestGraphModel(int panel, int control);

// The window that shows a top-level panel: its size, whether it scrolls (a panel larger than the
// screen), the free area of its screen and whether the window lies within it.
struct WindowModel {
    int width = 0, height = 0;
    bool scrolls = false;
    int freeWidth = 0, freeHeight = 0;
    bool onFreeArea = false;
};
WindowModel TestWindowModel(int panel);
// Scrolls the window, as the operator does with its scroll bars, until the control is in view.
void TestScrollIntoView(int panel, int control);
// The whole control can be seen: not clipped by its window or scrolled away, and on the screen.
bool TestCtrlInView(int panel, int control);

// Grabs the window (main panel with its pages) into a PNG file.
bool TestScreenshot(const std::string& pngPath);
// In such a picture: how many pixels within the control's place have the colour 0xRRGGBB, each
// channel within `tolerance`; -1 when the picture or the control is not there.
int TestPixelsLike(const std::string& pngPath, int panel, int control, int rgb, int tolerance = 24);
// Grabs the whole screen, as the operator sees it, into a PNG file.
bool TestScreenScreenshot(const std::string& pngPath);
