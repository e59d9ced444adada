// The program's main module: start-up, event loop and shutdown, the sensor-dependent panel
// adjustments, the page tabs and the right-click help boxes.
#include <cstdint>
#include <string>

#include "app/app.h"
#include "display/display.h"
#include "files/files.h"
#include "link/com232.h"
#include "params/status.h"
#include "ops/ops.h"
#include "params/initvars.h"
#include "params/origin.h"
#include "params/panel.h"
#include "params/panels.h"
#include "params/settings.h"
#include "platform/rs232.h"
#include "platform/userint.h"
#include "platform/utility.h"
#include "sensor/vars.h"

namespace {

const char* const kUirFile = "KRYTA-LT-VizizE309.uir";

// Where the four pages sit inside the main panel.
constexpr int kPageTop = 105;
constexpr int kPageLeft = 8;

// The panel handle that holds a control of the resource file.
int PanelOf(int control) {
    if (control < 0 || control >= CTRL_COUNT) return pHandle;
    switch (kCtrlTable[control].panelResource) {
    case PARA1: return pPara1;
    case PARA2: return pPara2;
    case RECORD: return pRec;
    case CALIB: return pCalib;
    default: return pHandle;
    }
}

// ---- page tabs ----------------------------------------------------------------------------
struct PageTab {
    int toggle;
    int* page;
};
const PageTab kTabs[] = {
    {PANEL_TOGGBTN_Para1, &pPara1},
    {PANEL_TOGGBTN_Para2, &pPara2},
    {PANEL_TOGGBTN_Recorder, &pRec},
    {PANEL_TOGGBTN_Calib, &pCalib},
};

int PageTabEvent(int toggle, int event) {
    if (event == EVENT_LEFT_CLICK) {
        for (const PageTab& t : kTabs)
            if (t.toggle != toggle) SetCtrlVal(pHandle, t.toggle, 0);
    } else if (event == EVENT_COMMIT) {
        // A click on the tab already shown must leave it on.
        SetCtrlVal(pHandle, toggle, 1);
        int shown = 0;
        for (const PageTab& t : kTabs) {
            if (t.toggle == toggle)
                shown = *t.page;
            else
                HidePanel(*t.page);
        }
        DisplayPanel(shown);
    }
    return 0;
}

// ---- right-click help ---------------------------------------------------------------------
// How the box's left edge follows from the reference rectangle (L, W) of the control.
enum class LeftRule { RightOf, Inside, LeftOf };  // L + W + dx, L + dx, L - W - dx

struct HelpPlace {
    int control;
    int box;        // PANEL_HelpText1 or PANEL_HelpText2
    int reference;  // the control whose rectangle places the box
    LeftRule rule;
    int dx;
    int dy;         // top = T + dy
};

const HelpPlace kHelpPlaces[] = {
    {PANEL_BTNRun, PANEL_HelpText1, PANEL_BTNRun, LeftRule::RightOf, 10, -10},
    {PANEL_BTNStop, PANEL_HelpText1, PANEL_BTNStop, LeftRule::RightOf, 10, -10},
    {PANEL_BTNVideo, PANEL_HelpText1, PANEL_BTNVideo, LeftRule::RightOf, 10, -10},
    {PANEL_BTNData, PANEL_HelpText1, PANEL_BTNVideo, LeftRule::RightOf, 10, -10},
    {PANEL_ButtonReset, PANEL_HelpText1, PANEL_ButtonReset, LeftRule::RightOf, 10, -10},
    {PANEL_TOGGButtonZoom, PANEL_HelpText1, PANEL_TOGGButtonZoom, LeftRule::RightOf, 10, -10},
    {PANEL_BTNSend, PANEL_HelpText1, PANEL_BTNSend, LeftRule::RightOf, 20, -20},
    {PANEL_BTNGet, PANEL_HelpText1, PANEL_BTNGet, LeftRule::RightOf, 20, -20},
    {PANEL_NEDITEdgeLeft, PANEL_HelpText1, PANEL_NEDITEdgeLeft, LeftRule::RightOf, 10, -20},
    {PANEL_NEDITEdgeRight, PANEL_HelpText1, PANEL_NEDITEdgeRight, LeftRule::LeftOf, 100, -20},
    {PANEL_DropDCom, PANEL_HelpText2, PANEL_DropDCom, LeftRule::RightOf, 20, -80},
    {PANEL_GRAPHRaw, PANEL_HelpText2, PANEL_GRAPHRaw, LeftRule::Inside, 80, 40},
    {PANEL_GRAPHVideo, PANEL_HelpText2, PANEL_GRAPHRaw, LeftRule::Inside, 80, 40},
    {PANEL_GRAPHData, PANEL_HelpText2, PANEL_GRAPHRaw, LeftRule::Inside, 80, 40},
    {PARA1_DROPevalmode, PANEL_HelpText1, PARA1_DROPevalmode, LeftRule::RightOf, 20, -10},
    {PARA1_DROPhardware, PANEL_HelpText1, PARA1_DROPhardware, LeftRule::RightOf, 20, -10},
    {PARA1_DROPtrigmode, PANEL_HelpText1, PARA1_DROPtrigmode, LeftRule::RightOf, 20, -10},
    {PARA1_DROPpolarity, PANEL_HelpText1, PARA1_DROPpolarity, LeftRule::RightOf, 20, -10},
    {PARA1_DROPaverage, PANEL_HelpText2, PARA1_DROPaverage, LeftRule::RightOf, 20, -10},
    {PARA1_DROPanaMode, PANEL_HelpText1, PARA1_DROPanaMode, LeftRule::RightOf, 20, -10},
    {PARA1_NEDITToleranceUP, PANEL_HelpText1, PARA1_NEDITToleranceUP, LeftRule::RightOf, 20, -10},
    {PARA1_NEDITTolerance, PANEL_HelpText1, PARA1_NEDITTolerance, LeftRule::RightOf, 20, -10},
    {PARA1_DROPhold, PANEL_HelpText1, PARA1_DROPhold, LeftRule::RightOf, 25, -10},
    {PARA2_SLIDEpower, PANEL_HelpText1, PARA2_SLIDEpower, LeftRule::RightOf, 135, -10},
    {PARA2_SLIDEVideoThreshold, PANEL_HelpText1, PARA2_SLIDEVideoThreshold, LeftRule::RightOf, 30, -10},
    {PARA2_NUMTriggThreshold, PANEL_HelpText1, PARA2_SLIDEVideoThreshold, LeftRule::RightOf, 30, -10},
    {PARA2_DROPpowermode, PANEL_HelpText1, PARA2_DROPpowermode, LeftRule::RightOf, 25, -10},
    {PARA2_ButtonTeach, PANEL_HelpText1, PARA2_ButtonTeach, LeftRule::Inside, 80, -10},
    {CALIB_BINSWopmode, PANEL_HelpText1, CALIB_BINSWopmode, LeftRule::RightOf, 120, -10},
};

const HelpPlace* FindHelpPlace(int control) {
    for (const HelpPlace& h : kHelpPlaces)
        if (h.control == control) return &h;
    return nullptr;
}

}  // namespace

std::string HelpTextOf(int control) {
    switch (control) {
    case PANEL_BTNRun:
        return "RUN-BUTTON:\nStart the continuosly serial RS232-data-\ntransfer between PC and KRYTA sensor...\n"
               "A frame of 16 meas.-values is transferred!";
    case PANEL_BTNStop:
        return "STOP-BUTTON:\nStops the serial RS232-data-transfer\nbetween PC and KRYTA sensor.";
    case PANEL_BTNVideo:
        return "VIDEO-BUTTON:\nTransfer video-signal (pixel information)\n= intensity profile at CCD-line, via\n"
               "serial communication interface to PC.";
    case PANEL_BTNData:
        return "DATA-BUTTON:\nTransfer intern-trigger-buffer via\nserial communication interface to PC.";
    case PANEL_BTNSend:
        return "SEND-BUTTON:\nSend parameter-frame to EEPROM- or\nRAM-memory of the KRYTA-sensor!";
    case PANEL_BTNGet:
        return "GET-BUTTON:\nGet parameter-frame of KRYTA sensor\nfrom EEPROM- or RAM-memory ...";
    case PANEL_DropDCom:
        return "DROP-DOWN-CONNECT:\nSelect the port-number of the serial RS232 comunication interface of the "
               "PC.\n\nThe port-number can be found under:\n<Start>/System-Settings/Hardware/...";
    case PANEL_NEDITEdgeLeft:
        return "E-BEG:\nSet evaluation begin at the KRYTA sensor\nEvaluation starts with this pixel ...";
    case PANEL_NEDITEdgeRight:
        return "E-END:\nSet evaluation end at the KRYTA sensor\nEvaluation ends with this pixel ...";
    case PANEL_ButtonReset:
        return "RESET-BUTTON:\nReset the actual maxima und minima\nvalues at the KRYTA-hardware.\n"
               "No software/hardware reset is done !";
    case PANEL_TOGGButtonZoom:
        return "ZOOM-TOGGLE-BUTTON:\nActivate / Deactivate automatic\nzoom function for y-axis of \n"
               "measurement-values. RUN-mode";
    case PANEL_GRAPHRaw:
        return "ROLL-GRAPH-WINDOW:\nVisualizes the actual measurement value\nin pixel. The Graph is displayed "
               "in a\n'roll-mode', the latest value is rolling from\nthe left (index=100) to the right.\n"
               "The baudrate of the serial rs232-interface\nlimits the update-rate of this graph.";
    case PANEL_GRAPHVideo:
    case PANEL_GRAPHData:
        return "VIDEO-GRAPH-WINDOW:\nVisualizes the actual video signal\nof the CCD-sensor. The video signal\n"
               "represents the analog-value of each pixel.\nBecause of the limited baudrate of the\nserial RS232 "
               "interface, the graph is\nrefreshed slowly.\n";
    case PARA1_DROPevalmode:
        return "EVALUATION-MODE:\nDrop-down element to select an\nevaluation mode at the KRYTA-sensor.";
    case PARA1_DROPhardware:
        return "HARDWARE OPERATION-MODE:\nDrop-down element to enable or disable \nharware components e.g. the "
               "button or\npotentiometer at the KRYTA-housing.";
    case PARA1_DROPtrigmode:
        return "TRIGGER-MODE:\nSelect a trigg.-mode at the KRYTA-sensor.\nFor external trigger mode "
               "IN0=Pin3[green]\nof 8-pole. female plc-connector is used !";
    case PARA1_DROPpolarity:
        return "POLARITY:\nDrop-down element to change the polarity\n(0V,+24VDC) of the digital outputs OUT0,\n"
               "and OUT1 at the KRYTA-sensor.";
    case PARA1_DROPaverage:
        return "AVERAGE:\nNumber of CCD-scans which are stored\nin a ring-buffer. On each main-loop\n-cycle a "
               "mean-value is calculated\nfrom the ring-buffer.\nThe switching frequency is not reduced!\n"
               "Averaging affects the analog output\nvoltage (smoothing).";
    case PARA1_DROPanaMode:
        return "ANALOG-OUT:\nDrop-down element to preset the mode\nof the analog output. The analog-output\n"
               "is connected to /pin8/red/8-pole socket.";
    case PARA1_NEDITToleranceUP:
        return "TOLERANCE-HIGH:\nNumerical input field to preset the upper\ntolerance limit in [pixel] at the "
               "hardware.";
    case PARA1_NEDITTolerance:
        // Firmware above 302 has separate upper and lower tolerances.
        if (softversion > 302)
            return "TOLERANCE-LOW:\nNumerical input field to preset the lower\ntolerance limit in [pixel] at the "
                   "hardware.";
        return "TOLERANCE-VALUE:\nNumerical input field to preset the lower\nand upper tolerance limit in "
               "[pixel] \nat the hardware.";
    case PARA1_DROPhold:
        return "HOLD [ms]:\nWith this drop-down, the hold-time in [ms]\nof the OUT0 (pin5\\grey) digital-output "
               "can be set.";
    case PARA2_SLIDEpower:
        return "POWER:\nWith this slider, the power of the light-\nsource at the KRYTA-sensor can be set.";
    case PARA2_SLIDEVideoThreshold:
        return "V-THD:\nWith this slider, the video-threshold for\nthe calculation of the edges can be set.\n"
               "It is displayed by the green horiz. line!";
    case PARA2_NUMTriggThreshold:
        return "V-THD:\nWith edit-field, the trigger-threshold for\nthe internal trigger function can be set.\n"
               "It is displayed by the black horiz. line!";
    case PARA2_DROPpowermode:
        return "PMODE:\nWith this drop-down, the working-mode\nof the light-source at the KRYTA-sensor can be "
               "set.";
    case PARA2_ButtonTeach:
        return "TEACH-BUTTON:\nStart teach procedure at KRYTA-sensor.\nThe actual pixel-position == teach value";
    case CALIB_BINSWopmode:
        return "OPERATION-MODE:\nBinary-switch to set the operation mode\nof the CCD-receiver amplifier.";
    default:
        return "";
    }
}

void ShowCtrlHelp(int /*panel*/, int control) {
    const HelpPlace* h = FindHelpPlace(control);
    if (h == nullptr) return;

    // The reference rectangle, in pixels of the panel that holds the control; a page adds its
    // own place inside the main panel.
    const int refPanel = PanelOf(h->reference);
    int top = 0, left = 0, height = 0, width = 0;
    if (GetCtrlBoundingRect(refPanel, h->reference, top, left, height, width) < 0) return;
    int pageTop = 0, pageLeft = 0;
    if (refPanel != pHandle) GetPanelPos(refPanel, pageTop, pageLeft);

    int boxLeft = pageLeft + left;
    switch (h->rule) {
    case LeftRule::RightOf: boxLeft += width + h->dx; break;
    case LeftRule::Inside: boxLeft += h->dx; break;
    case LeftRule::LeftOf: boxLeft -= width + h->dx; break;
    }
    const int boxTop = pageTop + top + h->dy;
    SetCtrlPos(pHandle, h->box, boxTop, boxLeft);

    // Only the box decides: a right click on a second control while the box shows the first
    // one's help hides it, already moved and re-texted; the next right click shows it.
    SetCtrlVisible(pHandle, h->box, !GetCtrlVisible(pHandle, h->box));
    SetCtrlVal(pHandle, h->box, HelpTextOf(control));
}

static int HideHelpBox(int panel, int control, int event) {
    if (event == EVENT_LEFT_CLICK || event == EVENT_RIGHT_CLICK) SetCtrlVisible(panel, control, false);
    return 0;
}

int CC_HelpText1(int panel, int control, int event, void*, int, int) {
    return HideHelpBox(panel, control, event);
}

int CC_HelpText2(int panel, int control, int event, void*, int, int) {
    return HideHelpBox(panel, control, event);
}

int CC_TOGGBTN_Para1(int, int, int event, void*, int, int) { return PageTabEvent(PANEL_TOGGBTN_Para1, event); }
int CC_TOGGBTN_Para2(int, int, int event, void*, int, int) { return PageTabEvent(PANEL_TOGGBTN_Para2, event); }
int CC_TOGGBTN_Recorder(int, int, int event, void*, int, int) {
    return PageTabEvent(PANEL_TOGGBTN_Recorder, event);
}
int CC_TOGGBTN_Calib(int, int, int event, void*, int, int) { return PageTabEvent(PANEL_TOGGBTN_Calib, event); }

// ---- status line --------------------------------------------------------------------------
void ShowStatusLine(const std::string& text) { SetCtrlVal(pHandle, PANEL_STRStatus, text); }

// ---- panels adjusted to the connected sensor ----------------------------------------------
void InitGUI() {
    // Hardware modes 1 and 3 lock the tolerances at the housing of edge and peak sensors.
    uint16_t hardware = 0;
    GetCtrlVal(pPara1, PARA1_DROPhardware, hardware);
    if (hardware == 1 || hardware == 3) {
        if (HWTYPE == 1 || HWTYPE == 2) {
            SetCtrlDimmed(pPara1, PARA1_NEDITToleranceUP, true);
            SetCtrlDimmed(pPara1, PARA1_NEDITTolerance, true);
        }
    } else {
        SetCtrlDimmed(pPara1, PARA1_NEDITToleranceUP, false);
        SetCtrlDimmed(pPara1, PARA1_NEDITTolerance, false);
    }

    // The analog maximum/minimum group only means something in the holding analog modes.
    uint16_t anaMode = 0;
    GetCtrlVal(pPara1, PARA1_DROPanaMode, anaMode);
    const bool analog = anaMode > 1;
    SetCtrlVisible(pHandle, PANEL_NUManaOut, analog);
    SetCtrlVisible(pHandle, PANEL_NUManaMax, analog);
    SetCtrlVisible(pHandle, PANEL_NUManaMin, analog);
    SetCtrlVisible(pHandle, PANEL_ButtonReset, analog);

    // The trigger buffer exists only with the internal trigger.
    uint16_t trigMode = 0;
    GetCtrlVal(pPara1, PARA1_DROPtrigmode, trigMode);
    const bool internalTrigger = trigMode >= 3;
    SetCtrlVisible(pHandle, PANEL_BTNData, internalTrigger);
    SetCtrlDimmed(pPara2, PARA2_NUMTriggThreshold, !internalTrigger);

    // Tolerances as lengths.
    const double factor = static_cast<double>(ScaleFactor());
    if (softversion < 303) {
        const double mm = factor * parameter[10] / 16384000.0;
        SetCtrlVal(pHandle, PANEL_NUMTolUP, mm);
        SetCtrlVal(pHandle, PANEL_NUMTol, mm);
    } else {
        SetCtrlVal(pHandle, PANEL_NUMTolUP, factor * parameter[25] / 1024000.0);
        SetCtrlVal(pHandle, PANEL_NUMTol, factor * parameter[26] / 1024000.0);
    }

    for (int box : {PANEL_HelpText1, PANEL_HelpText2}) {
        SetCtrlPos(pHandle, box, 110, 10);
        SetCtrlVisible(pHandle, box, false);
    }
    SetCtrlVal(pHandle, PANEL_HelpText1, "HELPTEXT1");
    SetCtrlVal(pHandle, PANEL_HelpText2, "HELPTEXT2");

    SetCtrlVal(pRec, RECORD_STRrecdate, DateStr());
    ShowOrigins();

    SetActiveCtrl(pHandle, PANEL_BTNStop);
    SetActivePanel(pHandle);
}

// ---- callbacks ----------------------------------------------------------------------------
namespace {

// The callback of every control of the program: a right click shows the control's help beside
// it; every other event goes to the control's own callback, if it has one.
struct Binding {
    int control;
    CtrlCallbackPtr fn;  // nullptr: the control's only event is the help
};

const Binding kBindings[] = {
    // main panel
    {PANEL_BTNRun, CC_BTNRun},
    {PANEL_BTNStop, CC_BTNStop},
    {PANEL_BTNVideo, CC_BTNVideo},
    {PANEL_BTNData, CC_BTNData},
    {PANEL_BTNGet, CC_BTNGet},
    {PANEL_BTNSend, CC_BTNSend},
    {PANEL_ButtonReset, CC_ButtonReset},
    {PANEL_RBTRam, CC_RBTRam},
    {PANEL_RBTEeprom, CC_RBTEeprom},
    {PANEL_RBTFile, CC_RBTFile},
    {PANEL_TOGGBTN_Para1, CC_TOGGBTN_Para1},
    {PANEL_TOGGBTN_Para2, CC_TOGGBTN_Para2},
    {PANEL_TOGGBTN_Recorder, CC_TOGGBTN_Recorder},
    {PANEL_TOGGBTN_Calib, CC_TOGGBTN_Calib},
    {PANEL_TOGGButtonZoom, nullptr},  // the roll chart reads its state
    {PANEL_NEDITEdgeLeft, CC_NEDITEdgeLeft},
    {PANEL_NEDITEdgeRight, CC_NEDITEdgeRight},
    {PANEL_DropDCom, CC_DropDCom},
    {PANEL_GRAPHRaw, nullptr},
    {PANEL_GRAPHVideo, nullptr},
    {PANEL_GRAPHData, nullptr},
    // parameter page 1
    {PARA1_DROPevalmode, nullptr},
    {PARA1_DROPhardware, CC_DROPhardware},
    {PARA1_DROPtrigmode, CC_DROPtrigmode},
    {PARA1_DROPpolarity, nullptr},
    {PARA1_DROPaverage, nullptr},
    {PARA1_DROPanaMode, CC_DROPanaMode},
    {PARA1_DROPhold, nullptr},
    {PARA1_NEDITToleranceUP, CC_NEDITToleranceUP},
    {PARA1_NEDITTolerance, CC_NEDITTolerance},
    // parameter page 2
    {PARA2_SLIDEpower, nullptr},
    {PARA2_SLIDEVideoThreshold, CC_SLIDEVideoThreshold},
    {PARA2_NUMTriggThreshold, CC_NUMTriggThreshold},
    {PARA2_DROPpowermode, nullptr},
    {PARA2_ButtonTeach, CC_ButtonTeach},
    {PARA2_NEDITTeach, CC_NEDITTeach},
    // recorder page
    {RECORD_CMDBTNrecfile, CC_CMDBTNrecfile},
    {RECORD_CBTNStartRecord, CC_CBTNStartRecord},
    {RECORD_CBTNStopRecord, CC_CBTNStopRecord},
    {RECORD_NUMsample, CC_NUMsample},
    {RECORD_NUMinctime, CC_NUMinctime},
    // calibration page
    {CALIB_BINSWopmode, nullptr},
    {CALIB_BTNWriteXFLASH, CC_WriteXFLASH},
    {CALIB_BTNReadXFLASH, CC_ReadXFLASH},
};

int ControlEvent(int panel, int control, int event, void* callbackData, int eventData1, int eventData2) {
    if (event == EVENT_RIGHT_CLICK) {
        ShowCtrlHelp(panel, control);
        return 0;
    }
    const auto* b = static_cast<const Binding*>(callbackData);
    return b->fn ? b->fn(panel, control, event, nullptr, eventData1, eventData2) : 0;
}

}  // namespace

void InstallCallbacks() {
    for (const Binding& b : kBindings)
        InstallCtrlCallback(PanelOf(b.control), b.control, ControlEvent, const_cast<Binding*>(&b));
    InstallCtrlCallback(pHandle, PANEL_HelpText1, CC_HelpText1, nullptr);
    InstallCtrlCallback(pHandle, PANEL_HelpText2, CC_HelpText2, nullptr);
    InstallPanelCallback(pHandle, CC_PANEL, nullptr);
}

int CC_PANEL(int, int, int event, void*, int, int) {
    if (event == EVENT_CLOSE) {
        stop_flag = 1;  // a running RUN, VIDEO or recorder loop ends
        Delay(0.2);
        RunWhenIdle(nullptr);  // a port picked meanwhile is not connected any more
        CloseLine();    // and an exchange waiting for its answer at once
        QuitUserInterface(0);
    }
    return 0;
}

// ---- port change ----------------------------------------------------------------------------
namespace {

// The connect sequence on the port picked, once the operation it ended has finished; a failure
// that operation reported because of the port change comes again last.
void ConnectPickedPort() {
    InitRS232(com);
    InitGUI();
    if (const std::string failure = TakeRememberedFailure(); !failure.empty()) ShowStatus(failure);
}

}  // namespace

int CC_DropDCom(int panel, int control, int event, void*, int, int) {
    if (event == EVENT_COMMIT) {
        stop_flag = 1;  // a running operation ends, as STOP ends it
        Delay(0.1);
        CloseLine();    // an exchange waiting for its answer ends at once and writes nothing more
        Delay(0.1);
        int32_t port = com;
        GetCtrlVal(panel, control, port);
        com = port;
        ShowStatus("Init COM-Port ...");
        RunWhenIdle(ConnectPickedPort);
    } else if (event == EVENT_DROPDOWN) {
        FillPortList();  // an adapter plugged in since the list last opened is offered too
    }
    return 0;
}

// ---- port list ----------------------------------------------------------------------------
void FillPortList() {
    RescanComPorts();
    const int count = ComPortCount();
    for (int n = 1; n <= count; ++n) {
        ReplaceListItem(pHandle, PANEL_DropDCom, n - 1, PortLabel(n), n);
    }
    if (GetNumListItems(pHandle, PANEL_DropDCom) > count) DeleteListItem(pHandle, PANEL_DropDCom, count, -1);
    SetCtrlVal(pHandle, PANEL_DropDCom, com);
}

// ---- start-up and shutdown ----------------------------------------------------------------
int StartProgram(const std::string& uirPath) {
    const std::string uir = uirPath.empty() ? ProgramFile(kUirFile) : uirPath;

    if ((pHandle = LoadPanel(0, uir, PANEL)) < 0) return -1;
    if ((pPara1 = LoadPanel(pHandle, uir, PARA1)) < 0) return -1;
    if ((pPara2 = LoadPanel(pHandle, uir, PARA2)) < 0) return -1;
    if ((pRec = LoadPanel(pHandle, uir, RECORD)) < 0) return -1;
    if ((pCalib = LoadPanel(pHandle, uir, CALIB)) < 0) return -1;
    InstallCallbacks();
    SetStatusSink(ShowStatusLine);
    SetSensorOpEnded(ShowOrigins);
    redrawVideoCurve = RedrawVIDEOCurve;
    redrawDataCurve = RedrawDATACurve;
    // the zoom state reads at a glance: the pressed toggle says so and turns blue
    SetCtrlOnOffText(pHandle, PANEL_TOGGButtonZoom, "ZOOM ON", "ZOOM OFF");

    proj_dir = GetProjectDir();
    // An installed program's folder (/usr/bin) is not the operator's to write in: the recorder
    // file and the file dialogs start in the home folder instead.
    if (!IsWritableDir(proj_dir) && IsWritableDir(GetHomeDir())) proj_dir = GetHomeDir();
    InitVars();
    ShowLogo(2);

    FillPortList();

    InitRS232(com);
    InitGUI();
    // Only the start sets the recorder file: a port change keeps the one the operator chose.
    rec_fname = MakePathname(proj_dir, "RECORD.DAT");
    ResetTextBox(pRec, RECORD_TEXTBOXrecfile, rec_fname);

    for (int page : {pPara1, pPara2, pRec, pCalib}) SetPanelPos(page, kPageTop, kPageLeft);

    DisplayPanel(pHandle);
    DisplayPanel(pPara1);
    SetActivePanel(pHandle);
    SetActiveCtrl(pHandle, PANEL_BTNStop);
    return 0;
}

void EndProgram() {
    CloseLine();
    for (int* panel : {&pPara1, &pPara2, &pCalib, &pRec, &pHandle}) {
        if (*panel > 0) DiscardPanel(*panel);
        *panel = 0;
    }
}

int WinMain(int argc, char** argv) {
    if (!InitUserInterface(argc, argv)) return -1;
    CloseOnTerminationSignals();  // a kill closes the port as the close button does
    if (StartProgram() < 0) return -1;
    RunUserInterface();
    EndProgram();
    return 0;
}
