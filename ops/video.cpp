// Video signal and trigger buffer: one measurement request, then the four 64-word blocks.
#include <cstdint>
#include <string>

#include "display/display.h"
#include "link/com232.h"
#include "ops/ops.h"
#include "params/panels.h"
#include "platform/events.h"
#include "params/status.h"
#include "platform/userint.h"
#include "sensor/codec.h"
#include "sensor/vars.h"

namespace {

constexpr uint16_t kVideoSignal = 0;
constexpr uint16_t kTriggerBuffer = 1;

// The measurement request that opens a pass; false (and the reason in the status line) when no
// measurement frame came.
bool MeasureFirst() {
    if (PushGETRAW(ShowLineOk) == 1) return true;
    if (const std::string why = MeasurementFailureText(LastOutcome()); !why.empty()) ShowStatus(why);
    return false;
}

// What the status line says of each block of the read.
void BlockText(uint16_t offset, const Outcome* o) {
    const std::string block = std::to_string(offset / 64);
    if (!o) {
        ShowStatus("Waiting for Data[64] Block " + block + " ...");
        return;
    }
    switch (*o) {
    case Outcome::Answered: szStatus = "Data[64] block received!"; break;
    case Outcome::TimedOut: szStatus = "Timeout-RS-232 while reading 64 data-words!"; break;
    case Outcome::Disturbed:
        szStatus = "Error reading Data[64] block! - " + std::to_string(LastRefusal().bytes) + " bytes instead of 128";
        break;
    case Outcome::Refused: szStatus = RefusalText("block not taken"); break;
    case Outcome::LineLost: szStatus = LineLostText(); break;
    default: return;
    }
    ShowStatus(szStatus);
}

// Reads the four blocks of `kind` into adcbuf; true when the last one arrived. Once STOP has been
// pressed (also while the measurement request was waiting), no further block is requested.
bool ReadBlocksOf(uint16_t kind) { return stop_flag == 0 && ReadBlocks(kind, BlockText) == Outcome::Answered; }

void PlotBarOfVariant() {
    switch (DisplayVariant()) {
    case Variant::CL: PlotVIDEOBarGraphCL(); break;
    case Variant::V303: PlotVIDEOBarGraphV303(); break;
    default: PlotVIDEOBarGraph(); break;
    }
}

void DimOperations(bool dim) {
    SetCtrlDimmed(pHandle, PANEL_BTNRun, dim);
    SetCtrlDimmed(pHandle, PANEL_BTNVideo, dim);
    SetCtrlDimmed(pPara2, PARA2_ButtonTeach, dim);
}

}  // namespace

void PushVIDEO() {
    SetCtrlVisible(pHandle, PANEL_TOGGButtonZoom, false);
    ShowInSharedPlace(PANEL_GRAPHVideo);
    DimOperations(true);
    SetCtrlDimmed(pHandle, PANEL_BTNData, true);

    stop_flag = 0;
    do {
        if (MeasureFirst()) {
            CopyPPtoRAWVars();
            if (ReadBlocksOf(kVideoSignal)) {
                SetAxisScalingMode(pHandle, PANEL_GRAPHVideo, XAXIS, VAL_MANUAL, 1.0, double(ccdvirtpixel));
                PlotBarOfVariant();
                SetAxisScalingMode(pHandle, PANEL_GRAPHVideo, YAXIS, VAL_MANUAL, 1.0, double(ADCMAX));
                PlotVIDEOCurve(adcbuf.data(), thdArray.data(), xArray.data());
            }
        } else {
            stop_flag = 1;
        }
        ProcessSystemEvents();
    } while (stop_flag == 0);

    // BTNData stays dimmed until STOP
    DimOperations(false);
}

void PushDATA() {
    ShowInSharedPlace(PANEL_GRAPHData);
    DimOperations(true);
    SetCtrlDimmed(pHandle, PANEL_BTNData, true);

    stop_flag = 0;  // STOP during the pass ends it
    if (MeasureFirst()) {
        CopyPPtoRAWVars();
        if (ReadBlocksOf(kTriggerBuffer)) {
            SetAxisScalingMode(pHandle, PANEL_GRAPHData, XAXIS, VAL_MANUAL, 1.0, 256.0);
            SetAxisScalingMode(pHandle, PANEL_GRAPHData, YAXIS, VAL_MANUAL, 1.0, double(YAXISMAX));
            PlotDATACurve(adcbuf.data(), xArray256.data());
        }
    }

    DimOperations(false);
    SetCtrlDimmed(pHandle, PANEL_BTNData, false);
}

int CC_BTNVideo(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    SensorOp op;
    if (!op.ok) return 0;
    ForceRamTarget();
    PushVIDEO();
    return 0;
}

int CC_BTNData(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    SensorOp op;
    if (!op.ok) return 0;
    ForceRamTarget();
    PushDATA();
    return 0;
}
