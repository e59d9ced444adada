// Video signal and trigger buffer: one measurement request, then four 64-word blocks read with
// the receive handler switched off.
#include <cstdint>

#include "display/display.h"
#include "link/com232.h"
#include "ops/ops.h"
#include "params/panels.h"
#include "platform/events.h"
#include "platform/rs232.h"
#include "platform/userint.h"
#include "sensor/codec.h"
#include "sensor/vars.h"

namespace {

constexpr uint16_t kVideoSignal = 0;
constexpr uint16_t kTriggerBuffer = 1;

// Reads the four blocks of `kind` into adcbuf; true when the last one arrived. The receive
// handler is off while the raw blocks come in and back on when this returns. Once STOP has been
// pressed (also while the measurement request was waiting), no further block is requested.
bool ReadBlocks(uint16_t kind) {
    if (stop_flag != 0) return false;
    RemoveRxHandler();
    FlushInQ(com);
    FlushOutQ(com);
    bool ok = true;
    for (uint16_t offset = 0; offset < 256 && ok; offset += 64) ok = stop_flag == 0 && ReadData64(offset, kind) > 0;
    InstallRxHandler();
    return ok;
}

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

void RestoreReceive() {
    InstallRxHandler();
    FlushOutQ(com);
    FlushInQ(com);
}

}  // namespace

void PushVIDEO() {
    SetCtrlVisible(pHandle, PANEL_TOGGButtonZoom, false);
    ShowInSharedPlace(PANEL_GRAPHVideo);
    DimOperations(true);
    SetCtrlDimmed(pHandle, PANEL_BTNData, true);

    stop_flag = 0;
    do {
        if (PushGETRAW() == 1) {
            CopyPPtoRAWVars();
            if (ReadBlocks(kVideoSignal)) {
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
    RestoreReceive();
}

void PushDATA() {
    ShowInSharedPlace(PANEL_GRAPHData);
    DimOperations(true);
    SetCtrlDimmed(pHandle, PANEL_BTNData, true);

    stop_flag = 0;  // STOP during the pass ends it
    if (PushGETRAW() == 1) {
        CopyPPtoRAWVars();
        if (ReadBlocks(kTriggerBuffer)) {
            SetAxisScalingMode(pHandle, PANEL_GRAPHData, XAXIS, VAL_MANUAL, 1.0, 256.0);
            SetAxisScalingMode(pHandle, PANEL_GRAPHData, YAXIS, VAL_MANUAL, 1.0, double(YAXISMAX));
            PlotDATACurve(adcbuf.data(), xArray256.data());
        }
    }

    DimOperations(false);
    SetCtrlDimmed(pHandle, PANEL_BTNData, false);
    RestoreReceive();
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
