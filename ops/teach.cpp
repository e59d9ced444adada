// Teach of the set-point, manual set-point entry, and the reset of the analog maximum/minimum.
#include <cstdint>

#include "app/app.h"
#include "link/com232.h"
#include "ops/ops.h"
#include "params/codec.h"
#include "params/panel.h"
#include "params/vars.h"
#include "platform/rs232.h"
#include "platform/userint.h"
#include "platform/utility.h"

namespace {

constexpr uint16_t kTeach = 6;
constexpr uint16_t kResetMaxMin = 11;

void WriteFrame() {
    nBytesW = ComWrt(com, reinterpret_cast<const char*>(szWriteBuf.data()), FRAME_BYTES);
}

// The set-point word of the parameters in force: 9, 24 or 39.
int SetPointWord() { return BlockStart(ParamVariant()) + 6; }

}  // namespace

int CC_ButtonTeach(int panel, int control, int event, void*, int, int) {
    if (event == EVENT_RIGHT_CLICK) {
        ShowCtrlHelp(panel, control);
        return 0;
    }
    if (event != EVENT_COMMIT) return 0;
    SensorOp op;
    if (!op.ok || RefuseUnidentified()) return 0;

    parameter[1] = kTeach;
    FlushInQ(com);
    FlushOutQ(com);
    // the request carries the block of the firmware in force, as the panels show it
    GetPanelValuesOfVariant();
    CopyVarsToPP(0);
    FillTxBuf(kTeach, 0, pp.data());
    WriteFrame();
    ShowStatus("New setpoint value teached!");

    rx_flag = 0;
    const double t0 = Timer();
    while (rx_flag != 1) {
        if (Timer() - t0 > TIMEOUT) {
            ShowStatus("Timeout RS232-Line!");
            stop_flag = 1;
            return 0;
        }
        ProcessSystemEvents();
    }

    // read the taught value back so that the panels show it
    PushGET(RAM, 0);
    Delay(0.1);
    PushGET(RAM, 1);
    SetGraphCursor(pHandle, PANEL_GRAPHVideoBar, 1, parameter[SetPointWord()], 0.75);
    return 0;
}

int CC_NEDITTeach(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    const int virt = ccdvirtpixel;
    uint16_t raw = 0;
    GetCtrlVal(panel, control, raw);
    int v = raw;
    if (v > virt) v = virt - 1;
    if (v < 1) v = 1;
    SetCtrlVal(panel, control, v);

    // tolerance words of the firmware in force
    int up, low;
    switch (ParamVariant()) {
    case Variant::CL:
        up = parameter[40];
        low = parameter[41];
        break;
    case Variant::V303:
        up = parameter[25];
        low = parameter[26];
        break;
    default:
        up = low = parameter[10];
        break;
    }
    int lower = v - low;
    int upper = v + up;
    if (lower < 0) lower = 0;
    if (upper > virt) upper = virt;
    FillLine(REFArray, uint16_t(v));
    FillLine(upTHDArray, uint16_t(upper));
    FillLine(loTHDArray, uint16_t(lower));
    return 0;
}

int CC_ButtonReset(int panel, int control, int event, void*, int, int) {
    if (event == EVENT_RIGHT_CLICK) {
        ShowCtrlHelp(panel, control);
        return 0;
    }
    if (event != EVENT_COMMIT) return 0;
    SensorOp op;
    if (!op.ok) return 0;

    FlushInQ(com);
    FlushOutQ(com);
    rx_flag = 0;
    parameter[1] = kResetMaxMin;
    FillTxBuf(kResetMaxMin, 0, pp.data());
    WriteFrame();
    ShowStatus("Reset Max/Min values...");

    const double t0 = Timer();
    double elapsed = 0;
    do {
        if (rx_flag == 1) break;
        elapsed = Timer() - t0;
        ProcessSystemEvents();
    } while (elapsed < TIMEOUT);

    szStatus = rx_flag == 1 ? "Reset of analog-output Max/Min OK!" : "Timeout-RS-232...";
    ShowStatus(szStatus);
    return 0;
}
