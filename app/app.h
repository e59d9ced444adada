// Application shell: start-up, event loop, shutdown, panels, page switching, control help, header.
#pragma once

#include <string>

#include "params/panels.h"  // the panel handles the shell loads

// The program's entry: start-up, event loop, shutdown. 0 after a normal end, -1 when the
// run-time or a panel cannot be loaded.
int WinMain(int argc, char** argv);
// Start-up steps after the run-time is up: load the panels, defaults, connect, InitGUI, show.
// 0, or -1 when a panel cannot be loaded. `uirPath` empty: the resource file beside the program.
int StartProgram(const std::string& uirPath = "");
// Shutdown after the event loop: close the port, discard the panels.
void EndProgram();
// Binds every control of the loaded panels to its CC_ callback.
void InstallCallbacks();

void InitGUI();
int CC_PANEL(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

// Page tabs.
int CC_TOGGBTN_Para1(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_TOGGBTN_Para2(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_TOGGBTN_Recorder(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_TOGGBTN_Calib(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

// Control help: right click on a control of the placement table shows its help beside it.
void ShowCtrlHelp(int panel, int control);
int CC_HelpText1(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_HelpText2(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// The help text of a control ("" when it has none).
std::string HelpTextOf(int control);

// Header of the main panel.
void ShowLogo(int style);
void ShowInfoText(int id, int bgColor, int textColor, const std::string& text, int left, int top,
                  int pointSize);

// Fills the port drop-down with the port numbers, each with the device it stands for now and
// what the system knows of it; the port in use stays selected.
void FillPortList();

// Shows a text in the status line of the main panel (where the sensor link's texts go).
void ShowStatusLine(const std::string& text);
// The port drop-down: the connect sequence on the port picked.
int CC_DropDCom(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
