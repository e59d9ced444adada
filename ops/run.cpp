// Continuous measurement: RUN requests one measurement frame after the other and draws each,
// until STOP, a time-out, the loss of the line or a port change ends it.
#include <cstdint>
#include <string>

#include "display/display.h"
#include "link/com232.h"
#include "params/status.h"
#include "ops/ops.h"
#include "params/panels.h"
#include "platform/rs232.h"
#include "platform/userint.h"
#include "platform/utility.h"
#include "sensor/codec.h"
#include "sensor/vars.h"

namespace {

void PlotMeasurement() {
    switch (DisplayVariant()) {
    case Variant::CL:
        PlotVIDEOBarGraphCL();
        PlotRAWGraphCL();
        break;
    case Variant::V303:
        PlotVIDEOBarGraphV303();
        PlotRAWGraphV303();
        break;
    default:
        PlotVIDEOBarGraph();
        PlotRAWGraph();
        break;
    }
}

}  // namespace

void ForceRamTarget() {
    SetCtrlVal(pHandle, PANEL_RBTRam, 1);
    target = RAM;
    SetCtrlVal(pHandle, PANEL_RBTEeprom, 0);
    SetCtrlVal(pHandle, PANEL_RBTFile, 0);
}

namespace {

// RUN draws a frame while the line carries the next request and its answer: the frame taken last
// waits here until the next request is out, and is drawn only when nothing followed it on the line.
bool firstRequest = false;
bool framePending = false;
// The answers since the last measurement frame are frames of another kind: the status line says so.
bool otherFrames = false;

void DrawPendingFrame() {
    if (framePending && !PreviousAnswerDisturbed()) PlotMeasurement();
    framePending = false;
}

void RunRequestWritten(bool all) {
    if (firstRequest && all) ShowStatus("Line Ok!");
    firstRequest = false;
    DrawPendingFrame();
}

}  // namespace

void PushRUN() {
    ShowInSharedPlace(PANEL_GRAPHRaw);
    SetCtrlVisible(pHandle, PANEL_TOGGButtonZoom, true);

    SetCtrlDimmed(pHandle, PANEL_BTNRun, true);
    SetCtrlDimmed(pHandle, PANEL_BTNVideo, true);
    SetCtrlDimmed(pHandle, PANEL_BTNData, true);
    ForceRamTarget();

    stop_flag = 0;
    graph_flag = 0;

    // The first request carries pp as it stands; every later one the active block, so that it
    // carries the set-point the previous frame reported. A frame of any kind releases the next
    // request; only measurement frames are drawn. Frames are taken at the line's pace and drawn
    // once the next request is on the line; one with bytes after it is counted, not drawn.
    Measurement m;
    m.activeBlock = false;
    m.measurementOnly = false;
    m.paced = true;
    m.written = RunRequestWritten;
    firstRequest = true;
    framePending = false;
    otherFrames = false;
    const int disturbedBefore = LateDisturbances();
    std::string failure;
    while (stop_flag == 0) {
        const Outcome o = ExchangeMeasurement(m);
        m.activeBlock = true;
        if (o == Outcome::Answered) {
            if (graph_flag == 1) {
                CopyPPtoRAWVars();
                framePending = true;
                graph_flag = 0;
                if (otherFrames) ShowStatus("Line Ok!");
                otherFrames = false;
            } else if (!otherFrames) {
                // a frame of another kind releases the next request and is not drawn: said once
                otherFrames = true;
                ShowStatus("No measurement frames (answers with command " +
                           std::to_string(GetWord(szReadBuf.data(), 1)) + ") - nothing drawn!");
            }
            continue;
        }
        failure = MeasurementFailureText(o);
        stop_flag = 1;
    }
    // the last frame: drawn once the line stayed quiet after it
    if (framePending && IsComOpen(com) && ConfirmLastAnswer() == Outcome::Answered) PlotMeasurement();
    framePending = false;
    if (const int late = LateDisturbances() - disturbedBefore; late > 0)
        ShowStatus("RS232-Line disturbed! - " + std::to_string(late) +
                   (late == 1 ? " frame" : " frames") + " with surplus bytes");
    // the failure that ended RUN is the last text
    if (!failure.empty()) ShowStatus(failure);

    graph_flag = 0;
    SetCtrlDimmed(pHandle, PANEL_BTNRun, false);
}

int CC_BTNRun(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    SensorOp op;
    if (!op.ok) return 0;
    PushRUN();
    return 0;
}

int CC_BTNStop(int, int, int event, void*, int, int) {
    switch (event) {
    case EVENT_COMMIT: {
        stop_flag = 1;
        SetCtrlDimmed(pHandle, PANEL_BTNVideo, false);
        SetCtrlDimmed(pHandle, PANEL_BTNRun, false);
        SetCtrlDimmed(pPara2, PARA2_ButtonTeach, false);
        SetCtrlDimmed(pHandle, PANEL_BTNData, false);
        int32_t trigMode = 0;
        GetCtrlVal(pPara1, PARA1_DROPtrigmode, trigMode);
        SetCtrlVisible(pHandle, PANEL_BTNData, trigMode >= 3);
        Delay(0.2);
        break;
    }
    case EVENT_LEFT_CLICK:
    case EVENT_KEYPRESS:
        // ends the loop at its next event processing, before the commit arrives
        stop_flag = 1;
        break;
    default:
        break;
    }
    return 0;
}
