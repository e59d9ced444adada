// Continuous measurement: RUN requests one measurement frame after the other and draws each,
// until STOP, a time-out, the loss of the line or a port change ends it.
#include <algorithm>
#include <array>
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

void DrawPendingFrame() {
    if (framePending && !PreviousAnswerDisturbed()) PlotMeasurement();
    framePending = false;
}

void RunRequestWritten(bool all) {
    if (firstRequest && all) ShowStatus("Line Ok!");
    firstRequest = false;
    DrawPendingFrame();
}

// Answers refused one after the other that end RUN: a single one is ridden over.
constexpr int kRefusalsInRow = 3;

// The kinds of the last answers, for the status line: while frames of another kind come among
// them, it counts them; once none is left among the last kAnswerWindow, the line is ok again.
constexpr int kAnswerWindow = 20;
struct AnswerKinds {
    std::array<bool, kAnswerWindow> other{};
    int seen = 0, others = 0;
    uint16_t command = 0;  // of the last frame of another kind
    std::string text;      // what the status line says of them ("" none)

    void Add(bool measurement) {
        bool& slot = other[size_t(seen % kAnswerWindow)];
        others += int(!measurement) - int(seen >= kAnswerWindow && slot);
        slot = !measurement;
        ++seen;
        if (!measurement) command = GetWord(szReadBuf.data(), 1);
        std::string now;
        if (others > 0)
            now = std::to_string(others) + " of the last " + std::to_string(std::min(seen, kAnswerWindow)) +
                  " answers were no measurement frames (command " + std::to_string(command) + ")";
        if (now == text) return;
        if (now.empty()) ShowStatus("Line Ok!");
        else ShowStatus(now);
        text = now;
    }
};

std::string Counted(int n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

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
    // once the next request is on the line; one with bytes after it is counted, not drawn. An
    // answer refused is counted and said, and the next request goes out once the line is clear;
    // kRefusalsInRow of them in a row end RUN, as a time-out or a lost line does.
    Measurement m;
    m.activeBlock = false;
    m.measurementOnly = false;
    m.paced = true;
    m.written = RunRequestWritten;
    firstRequest = true;
    framePending = false;
    AnswerKinds kinds;
    int refused = 0, refusedInRow = 0;
    const int disturbedBefore = LateDisturbances();
    std::string failure;
    while (stop_flag == 0) {
        const Outcome o = ExchangeMeasurement(m);
        m.activeBlock = true;
        if (o == Outcome::Answered) {
            refusedInRow = 0;
            kinds.Add(graph_flag == 1);
            if (graph_flag == 1) {
                CopyPPtoRAWVars();
                framePending = true;
                graph_flag = 0;
            }
            continue;
        }
        const std::string why = MeasurementFailureText(o);
        if ((o == Outcome::Refused || o == Outcome::Disturbed) && ++refusedInRow < kRefusalsInRow) {
            ++refused;
            ShowStatus(why);  // it stays until the answers' kinds have more to say
            continue;
        }
        if (o == Outcome::Refused || o == Outcome::Disturbed) ++refused;
        failure = why;
        stop_flag = 1;
    }
    // the last frame: drawn once the line stayed quiet after it
    if (framePending && IsComOpen(com) && ConfirmLastAnswer() == Outcome::Answered) PlotMeasurement();
    framePending = false;
    // what RUN rode over, then the failure that ended it, as the last text
    std::string lost;
    if (refused > 0) lost = Counted(refused, "answer", "answers") + " not taken";
    if (const int late = LateDisturbances() - disturbedBefore; late > 0)
        lost += (lost.empty() ? "" : ", ") + Counted(late, "frame", "frames") + " with surplus bytes";
    if (!lost.empty()) ShowStatus("RS232-Line disturbed! - " + lost);
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
