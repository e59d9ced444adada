// GET and SEND of the parameter set (sensor RAM, sensor EEPROM or a parameter file) and the
// memory-target radio buttons.
#include <algorithm>
#include <array>
#include <string>

#include "app/app.h"
#include "files/files.h"
#include "link/com232.h"
#include "ops/ops.h"
#include "params/codec.h"
#include "params/panel.h"
#include "params/vars.h"
#include "platform/rs232.h"
#include "platform/userint.h"
#include "platform/utility.h"

namespace {

// A GET answer of the sensor carries the sync word 0x00AA and is not a measurement frame: anything
// else (a late answer of a RUN request, a loop-back, noise) would be stored one word off into the
// parameters. Result: the reason the answer is refused, or nullptr when it is taken.
const char* RefusedAnswer() {
    const uint16_t sync = uint16_t(szReadBuf[0] << 8 | szReadBuf[1]);
    const uint16_t command = uint16_t(szReadBuf[2] << 8 | szReadBuf[3]);
    if (sync != 0x00AA) return "Answer without sync word 0xAA - parameters not taken!";
    if (command == 8) return "Measurement frame instead of parameter-frame - parameters not taken!";
    return nullptr;
}

// A GET that had an answer refused stores nothing, not even the frame taken before the refused
// one, and leaves the pages as they were.
bool getRefused = false;
std::array<uint16_t, 64> beforeGet{};

}  // namespace

void PushGET(uint16_t memTarget, uint16_t frameSelect) {
    if (frameSelect == 0) {
        getRefused = false;
        beforeGet = parameter;
    }
    if (memTarget != DATFILE) {
        parameter[1] = memTarget == EEPROM ? 4 : 2;
        parameter[2] = frameSelect;
        CopyVarsToPP(frameSelect);
        FlushInQ(com);
        FlushOutQ(com);
        FillTxBuf(parameter[1], frameSelect, pp.data());
        nBytesW = ComWrt(com, reinterpret_cast<const char*>(szWriteBuf.data()), FRAME_BYTES);
        if (nBytesW == FRAME_BYTES) ShowStatus("Waiting for parameter-frame ...");
        rx_flag = 0;
        double t0 = Timer();
        for (;;) {
            ProcessSystemEvents();
            if (rx_flag == 1) {
                if (getRefused) break;  // the status line keeps the reason
                if (const char* refused = RefusedAnswer()) {
                    szStatus = refused;
                    getRefused = true;
                    std::copy(beforeGet.begin() + 3, beforeGet.end(), parameter.begin() + 3);
                    break;
                }
                GetRxBuf();
                CopyPPtoVars(frameSelect);
                szStatus = "Parameter-frame received! - Line Ok!";
                break;
            }
            if (Timer() - t0 > TIMEOUT) {
                szStatus = "Timeout-RS-232...";
                break;
            }
        }
    }
    ShowStatus(szStatus);
    if (frameSelect == 1 && !getRefused) SetPanelValuesOfVariant();
}

int CC_BTNGet(int panel, int control, int event, void*, int, int) {
    if (event == EVENT_COMMIT) {
        SensorOp op;
        if (!op.ok) return 0;
        if (target == DATFILE) ReadParaFromFile();
        if (target == RAM) parameter[1] = 2;
        if (target == EEPROM) parameter[1] = 4;
        PushGET(uint16_t(target), 0);
        Delay(0.1);
        PushGET(uint16_t(target), 1);
        Delay(0.1);
    } else if (event == EVENT_RIGHT_CLICK) {
        ShowCtrlHelp(panel, control);
    }
    return 0;
}

namespace {

void SendFrame(uint16_t command, uint16_t frameSelect) {
    parameter[2] = frameSelect;
    CopyVarsToPP(frameSelect);
    FillTxBuf(command, frameSelect, pp.data());
    nBytesW = ComWrt(com, reinterpret_cast<const char*>(szWriteBuf.data()), FRAME_BYTES);
    if (nBytesW == FRAME_BYTES) ShowStatus("Line Ok!");
}

}  // namespace

int CC_BTNSend(int panel, int control, int event, void*, int, int) {
    if (event == EVENT_COMMIT) {
        SensorOp op;
        if (!op.ok) return 0;
        ShowStatus("Transmit...");
        if (target == DATFILE) {
            int chosen = FileSelectPopup(proj_dir, "KRYTApara.cfg", "*.cfg",
                                         "KRYTA-LT-Series Parameter File", "OK", false, true, true,
                                         true, file_name);
            if (chosen == VAL_EXISTING_FILE_SELECTED || chosen == VAL_NEW_FILE_SELECTED)
                SendParaToFile();
            return 0;
        }
        if (RefuseUnidentified()) return 0;
        parameter[0] = 0x55;
        parameter[1] = target == EEPROM ? 3 : 1;
        GetPanelValuesOfVariant();
        SendFrame(parameter[1], 0);
        Delay(0.1);
        SendFrame(parameter[1], 1);
    } else if (event == EVENT_RIGHT_CLICK) {
        ShowCtrlHelp(panel, control);
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
