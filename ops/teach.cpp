// Teach of the set-point, manual set-point entry, and the reset of the analog maximum/minimum.
#include <cstdint>

#include "link/com232.h"
#include "params/status.h"
#include "ops/ops.h"
#include "params/origin.h"
#include "params/panel.h"
#include "params/panels.h"
#include "platform/userint.h"
#include "platform/utility.h"
#include "sensor/codec.h"
#include "sensor/vars.h"

namespace {

// The set-point word of the parameters in force: 9, 24 or 39.
int SetPointWord() { return BlockStart(ParamVariant()) + 6; }

}  // namespace

int CC_ButtonTeach(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    SensorOp op;
    if (!op.ok || RefuseUnidentified()) return 0;

    // the request carries the block of the firmware in force, as the panels show it
    GetPanelValuesOfVariant();
    const Outcome o = TeachSetPoint([](bool) { ShowStatus("New setpoint value teached!"); });
    if (o != Outcome::Answered) {
        switch (o) {
        case Outcome::LineLost: ShowStatus(LineLostText()); break;
        case Outcome::Disturbed: ShowStatus(kDisturbedText); break;
        case Outcome::Refused: ShowStatus(RefusalText("setpoint not read back")); break;
        default: ShowStatus("Timeout RS232-Line!"); break;
        }
        stop_flag = 1;
        return 0;
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

int CC_ButtonReset(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    SensorOp op;
    if (!op.ok || RefuseUnidentified()) return 0;

    switch (ResetAnalogMaxMin([](bool) { ShowStatus("Reset Max/Min values..."); })) {
    case Outcome::Answered: szStatus = "Reset of analog-output Max/Min OK!"; break;
    case Outcome::LineLost: szStatus = LineLostText(); break;
    case Outcome::Disturbed: szStatus = kDisturbedText; break;
    case Outcome::Refused: szStatus = RefusalText("reset not confirmed"); break;
    default: szStatus = "Timeout-RS-232..."; break;
    }
    ShowStatus(szStatus);
    return 0;
}
