// GET and SEND of the parameter set (sensor RAM, sensor EEPROM or a parameter file) and the
// memory-target radio buttons.
#include <string>

#include "files/files.h"
#include "link/com232.h"
#include "params/status.h"
#include "ops/ops.h"
#include "params/origin.h"
#include "params/panel.h"
#include "params/panels.h"
#include "platform/userint.h"
#include "platform/utility.h"
#include "sensor/vars.h"

namespace {

// The first failure among the frames of the GET in progress: the GET ends with it.
std::string getFailure;
// The parameter file of a FILE + GET loaded: the pages show it.
bool fileLoaded = false;

void WaitingForFrame(bool all) {
    if (all) ShowStatus("Waiting for parameter-frame ...");
}

// A store frame that did not go out: what the sensor holds now, after why.
std::string SendFailedText(Outcome o, bool mainWritten) {
    std::string why = o == Outcome::ConnectionChanged ? "COM-port changed" : LineLostText();
    why = why.substr(0, why.find(" - "));
    return why + (mainWritten ? " - sensor holds a mixed set: SEND again!" : " - nothing written into the sensor!");
}

}  // namespace

void PushGET(uint16_t memTarget, uint16_t frameSelect) {
    if (frameSelect == 0) getFailure.clear();
    if (memTarget != DATFILE) {
        const Outcome o = ReadParameterFrame(memTarget, frameSelect, WaitingForFrame);
        switch (o) {
        case Outcome::Answered: szStatus = "Parameter-frame received! - Line Ok!"; break;
        case Outcome::Refused: szStatus = RefusalText("parameters not taken"); break;
        case Outcome::Disturbed: szStatus = "RS232-Line disturbed! - parameters not taken!"; break;
        case Outcome::LineLost: szStatus = LineLostText(); break;
        case Outcome::ConnectionChanged: szStatus = "COM-port changed - parameters not read!"; break;
        default: szStatus = "Timeout-RS-232..."; break;
        }
        if (o != Outcome::Answered && getFailure.empty()) getFailure = szStatus;
    }
    ShowStatus(szStatus);
    if (frameSelect != 1) return;
    // A set is shown whole or not at all: the pages keep what they held when either frame failed.
    if (memTarget == DATFILE ? fileLoaded : ParameterSetTaken()) {
        if (memTarget != DATFILE) PagesFromSensor(memTarget);
        SetPanelValuesOfVariant();
    }
    if (!getFailure.empty() && getFailure != szStatus) {
        szStatus = getFailure;
        ShowStatus(szStatus);
    }
}

int CC_BTNGet(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    SensorOp op;
    if (!op.ok) return 0;
    fileLoaded = target == DATFILE && ReadParaFromFile() == 1;
    PushGET(uint16_t(target), 0);
    Delay(0.1);
    PushGET(uint16_t(target), 1);
    Delay(0.1);
    return 0;
}

int CC_BTNSend(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    SensorOp op;
    if (!op.ok) return 0;
    ShowStatus("Transmit...");
    if (target == DATFILE) {
        const int chosen = FileSelectPopup(proj_dir, "KRYTApara.cfg", "*.cfg", "KRYTA-LT-Series Parameter File",
                                           "OK", false, true, true, true, file_name);
        if (chosen == VAL_EXISTING_FILE_SELECTED || chosen == VAL_NEW_FILE_SELECTED) SendParaToFile();
        else ShowStatus("No file chosen - nothing saved!");
        return 0;
    }
    if (RefuseUnidentified()) return 0;
    GetPanelValuesOfVariant();
    Outcome o = WriteParameterFrame(target, 0, ShowLineOk);
    bool mainWritten = false;
    if (o == Outcome::Answered) {
        mainWritten = true;
        Delay(0.1);
        o = WriteParameterFrame(target, 1, ShowLineOk);
    }
    if (o != Outcome::Answered) {
        szStatus = SendFailedText(o, mainWritten);
        ShowStatus(szStatus);
    }
    return 0;
}

namespace {

// One of the three memory-target buttons changed: exactly one stays on, RAM is the fall-back.
void TargetButton(int panel, int control, int memTarget) {
    int32_t on = 0;
    GetCtrlVal(panel, control, on);
    if (on) {
        target = memTarget;
        SetCtrlVal(pHandle, PANEL_RBTRam, memTarget == RAM ? 1 : 0);
        SetCtrlVal(pHandle, PANEL_RBTEeprom, memTarget == EEPROM ? 1 : 0);
        SetCtrlVal(pHandle, PANEL_RBTFile, memTarget == DATFILE ? 1 : 0);
    } else {
        target = RAM;
        SetCtrlVal(pHandle, PANEL_RBTRam, 1);
    }
}

}  // namespace

int CC_RBTRam(int panel, int control, int event, void*, int, int) {
    if (event == EVENT_VAL_CHANGED) TargetButton(panel, control, RAM);
    return 0;
}

int CC_RBTEeprom(int panel, int control, int event, void*, int, int) {
    if (event == EVENT_VAL_CHANGED) TargetButton(panel, control, EEPROM);
    return 0;
}

int CC_RBTFile(int panel, int control, int event, void*, int, int) {
    if (event == EVENT_VAL_CHANGED) TargetButton(panel, control, DATFILE);
    return 0;
}
