// User interface of the program's run-time layer: panels, controls, events, graphs, dialogs.
//
// Plain functions over integer panel handles and control ids (ui/uir.h), so that the program's
// subsystems never see a Qt type. Every function runs on the user-interface thread. Functions
// that can fail return a negative number on failure and 0 (or a handle, count or id) otherwise.
#pragma once

#include <cstdint>
#include <string>

#include "platform/events.h"
#include "ui/uir.h"

// ---- events delivered to the callbacks ----------------------------------------------------
enum Event : int {
    EVENT_NONE = 0,
    EVENT_COMMIT = 1,       // the control's action (button click, value entered, item chosen)
    EVENT_VAL_CHANGED = 2,  // the operator changed the value (before the commit)
    EVENT_LEFT_CLICK = 3,   // left mouse button pressed on the control
    EVENT_RIGHT_CLICK = 5,  // right mouse button pressed on the control
    EVENT_KEYPRESS = 7,     // a key pressed while the control has the focus
    EVENT_CLOSE = 11,       // panel callback: the window is being closed
    EVENT_DROPDOWN = 12,    // a drop-down list is about to open: its items may still be changed
};

// Control and panel callback: (panel, control, event, callback data, event data 1, event data 2).
// For a panel callback the control is 0. The result is ignored; callbacks return 0.
using CtrlCallbackPtr = int (*)(int panel, int control, int event, void* callbackData,
                                int eventData1, int eventData2);
using PanelCallbackPtr = CtrlCallbackPtr;
// Declares a control callback of that signature.
#define KRYTA_CB(name) \
    int name(int panel, int control, int event, void* callbackData, int eventData1, int eventData2)

// ---- run-time, panels ----------------------------------------------------------------------
// Creates the application; false when the window system cannot be opened.
bool InitUserInterface(int argc, char** argv);
// Loads panel `resourceId` from the resource file (path) as a top-level panel (parent 0) or as a
// child of panel `parent`. Result: a panel handle > 0, or < 0 when the file is missing or
// unreadable or does not hold that panel.
int LoadPanel(int parent, const std::string& uirFile, int resourceId);
int DisplayPanel(int panel);
int HidePanel(int panel);
int DiscardPanel(int panel);
int SetPanelPos(int panel, int top, int left);
int GetPanelPos(int panel, int& top, int& left);
// The panel takes the keyboard input (its window comes to the front where the window system
// stacks windows): the focus stays on a control of the panel, else the panel itself takes it.
int SetActivePanel(int panel);
// The control takes the keyboard focus (once its window is shown).
int SetActiveCtrl(int panel, int control);
int InstallPanelCallback(int panel, PanelCallbackPtr fn, void* callbackData);
int InstallCtrlCallback(int panel, int control, CtrlCallbackPtr fn, void* callbackData);

// Runs the event loop until QuitUserInterface; returns its code.
int RunUserInterface();
// Ends the running event loop with `code`; asked while none runs (e.g. from a wait during
// start-up), the next RunUserInterface returns `code` at once.
int QuitUserInterface(int code);
// From now on SIGTERM, SIGINT and SIGHUP (kill, Ctrl-C, the end of the session) are a close
// request: each top-level panel's callback gets EVENT_CLOSE inside event processing, as from the
// window's close button. A second signal ends the program at once. On X11 the same holds for a
// close request sent to one of the hidden windows that carry the program's title.
int CloseOnTerminationSignals();
// ProcessSystemEvents: platform/events.h

// ---- control values -----------------------------------------------------------------------
// Rings take and give the value of the selected item; a value that no item carries gets an item
// of its own (labelled with the number), so a ring never keeps another value unnoticed. Toggles
// and radio buttons take and give 0 or 1; a binary switch shows any value other than 0 as on and
// gives the value it was set to back until the operator flips it. Text boxes take and give the
// whole text; numerics are clamped to their range.
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, unsigned int value);
int SetCtrlVal(int panel, int control, double value);
int SetCtrlVal(int panel, int control, const std::string& value);
int SetCtrlVal(int panel, int control, const char* value);
int GetCtrlVal(int panel, int control, uint16_t& value);
int GetCtrlVal(int panel, int control, int32_t& value);
int GetCtrlVal(int panel, int control, double& value);
int GetCtrlVal(int panel, int control, float& value);
int GetCtrlVal(int panel, int control, std::string& value);

// ---- control attributes -------------------------------------------------------------------
int SetCtrlVisible(int panel, int control, bool visible);
bool GetCtrlVisible(int panel, int control);
int SetCtrlDimmed(int panel, int control, bool dimmed);
int SetCtrlLabel(int panel, int control, const std::string& label);
int SetCtrlTextColor(int panel, int control, int rgb);
int SetCtrlTextBgColor(int panel, int control, int rgb);
int SetCtrlBold(int panel, int control, bool bold);
int SetCtrlPrecision(int panel, int control, int digits);
int SetCtrlOnOffText(int panel, int control, const std::string& onText, const std::string& offText);
// The application's standard font, as a font name for SetCtrlFont.
inline constexpr const char* APP_STANDARD_FONT = "";
int SetCtrlFont(int panel, int control, const std::string& font);
int SetCtrlPointSize(int panel, int control, int points);
// Position and size in pixels of the panel that holds the control.
int SetCtrlPos(int panel, int control, int top, int left);
int GetCtrlBoundingRect(int panel, int control, int& top, int& left, int& height, int& width);

// Ring items: index from 0. Replace (or, at index == count, append) an item.
int ReplaceListItem(int panel, int control, int index, const std::string& label, int value);
// Removes `count` items from index on (count < 0: all from index to the end).
int DeleteListItem(int panel, int control, int index, int count);
int GetNumListItems(int panel, int control);

// Text boxes: lines from 0. Replacing a line past the end adds empty lines up to it.
int ReplaceTextBoxLine(int panel, int control, int line, const std::string& text);
int ResetTextBox(int panel, int control, const std::string& text);

// A new text-message control without label on the panel; result: its control id (>= CTRL_COUNT).
int NewTextMsg(int panel, const std::string& text, int top, int left);
// Shows an image file in a picture control; < 0 when the file cannot be loaded (picture cleared).
int DisplayImageFile(int panel, int control, const std::string& path);

// ---- graphs ---------------------------------------------------------------------------------
enum Axis : int { XAXIS = 0, YAXIS = 1 };
enum AxisScaling : int { VAL_MANUAL = 0, VAL_AUTOSCALE = 1 };
// Plot styles of the curves (the run-time's codes): 0 thin line, 5 connected points;
// point style 10 a small dot; line style 0 solid, 1 dashed.
enum PlotStyle : int { VAL_THIN_LINE = 0, VAL_CONNECTED_POINTS = 5 };
enum LineStyle : int { VAL_SOLID = 0, VAL_DASH = 1 };
enum PointStyle : int { VAL_SMALL_SOLID_SQUARE = 10 };
constexpr int VAL_DELETE_ALL = -1;

int PlotXY(int panel, int control, const double* x, const uint16_t* y, int n, int plotStyle,
           int pointStyle, int lineStyle, int color);  // result: plot handle > 0
int PlotRectangle(int panel, int control, double x1, double y1, double x2, double y2, int frameColor,
                  int fillColor);  // result: plot handle > 0
int DeleteGraphPlot(int panel, int control, int plotHandle);  // VAL_DELETE_ALL removes every plot
int SetGraphCursor(int panel, int control, int cursor, double x, double y);  // cursors 1 to 3
int SetAxisScalingMode(int panel, int control, int axis, int mode, double min, double max);

// Strip charts: traces, points per screen, continuous scrolling, trace colours (trace from 1).
int SetStripChartTraces(int panel, int control, int traces);
int SetStripChartPointsPerScreen(int panel, int control, int points);
int SetStripChartContinuous(int panel, int control, bool continuous);
int SetTraceColor(int panel, int control, int trace, int color);
// Appends n values, interleaved by trace (n / traces points per trace), in one call.
int PlotStripChart(int panel, int control, const double* values, int n);

// ---- dialogs --------------------------------------------------------------------------------
enum FileSelectResult : int { VAL_NO_FILE_SELECTED = 0, VAL_EXISTING_FILE_SELECTED = 1,
                              VAL_NEW_FILE_SELECTED = 2 };
// The file-selection dialog. The chosen path is stored in `path` (unchanged on cancel).
int FileSelectPopup(const std::string& defaultDir, const std::string& defaultName,
                    const std::string& filter, const std::string& title, const std::string& buttonLabel,
                    bool restrictDirectory, bool restrictExtension, bool allowCancel,
                    bool allowMakeDirectory, std::string& path);
// Yes/no question; 1 for yes, 0 for no.
int ConfirmPopup(const std::string& title, const std::string& message);

// ---- observers --------------------------------------------------------------------------------
// A tool that watches the program (the test library) installs these; with none installed the
// run-time keeps no record of what it showed and every dialog opens its window. nullptr removes one.

// Called with every text that SetCtrlVal puts into a text control (string, text message, text
// box), once it is shown.
using TextObserverPtr = void (*)(int panel, int control, const std::string& text);
void SetTextObserver(TextObserverPtr fn);

// What a dialog is about to show.
struct DialogRequest {
    std::string kind;  // "file" or "confirm"
    std::string title, message, defaultDir, defaultName, filter, buttonLabel;
};
// The answer to a dialog: a FileSelectResult and the path chosen, or 1 (yes) / 0 (no).
struct DialogAnswer {
    int result = 0;
    std::string path;
};
// Called before a dialog opens. Returning true, the observer has answered it and no window opens;
// the dialog then treats the answer as the operator's (a file name gets the filter's extension).
using DialogObserverPtr = bool (*)(const DialogRequest& dialog, DialogAnswer& answer);
void SetDialogObserver(DialogObserverPtr fn);
