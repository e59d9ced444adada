// Continuous measurement: RUN requests one measurement frame after the other and draws each,
// until STOP, a time-out or the loss of the line ends it.
#include <cstdint>

#include "app/app.h"
#include "display/display.h"
#include "link/com232.h"
#include "ops/ops.h"
#include "params/codec.h"
#include "params/vars.h"
#include "platform/rs232.h"
#include "platform/userint.h"
#include "platform/utility.h"

const char* const kLineLostText = "RS232-Line lost! - select the COM-port again";

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

void FlushBoth() {
    FlushInQ(com);
    FlushOutQ(com);
}

}  // namespace

void PushRUN() {
    ShowInSharedPlace(PANEL_GRAPHRaw);
    SetCtrlVisible(pHandle, PANEL_TOGGButtonZoom, true);

    SetCtrlDimmed(pHandle, PANEL_BTNRun, true);
    SetCtrlDimmed(pHandle, PANEL_BTNVideo, true);
    SetCtrlDimmed(pHandle, PANEL_BTNData, true);

    SetCtrlVal(pHandle, PANEL_RBTRam, 1);
    target = RAM;
    SetCtrlVal(pHandle, PANEL_RBTEeprom, 0);
    SetCtrlVal(pHandle, PANEL_RBTFile, 0);

    // a line that was open and closes meanwhile was unplugged
    const bool wasOpen = IsComOpen(com);
    stop_flag = 0;
    graph_flag = 0;
    rx_flag = 0;
    double requestTime = Timer();

    // The first request is PushGETRAW's (the current pp, "Line Ok!" once written), but its
    // answer is awaited by the loop below, so that STOP ends the run at once and a frame of
    // another command releases the next request as every later answer does.
    FlushBoth();
    parameter[1] = 8;
    parameter[2] = 0;
    FillTxBuf(8, 0, pp.data());
    nBytesW = ComWrt(com, reinterpret_cast<const char*>(szWriteBuf.data()), FRAME_BYTES);
    if (nBytesW == FRAME_BYTES) ShowStatus("Line Ok!");

    for (;;) {
        if (graph_flag == 1) {
            CopyPPtoRAWVars();
            PlotMeasurement();
            graph_flag = 0;
            FlushBoth();
        }
        // a frame of any kind releases the next request, unless the run is ending
        if (rx_flag == 1 && stop_flag == 0) {
            FlushBoth();
            CopyVarsToPP(0);
            FillTxBuf(8, 0, pp.data());
            rx_flag = 0;
            requestTime = Timer();
            nBytesW = ComWrt(com, reinterpret_cast<const char*>(szWriteBuf.data()), FRAME_BYTES);
        }
        if (wasOpen && !IsComOpen(com)) {
            ShowStatus(kLineLostText);
            stop_flag = 1;
            break;
        }
        if (Timer() - requestTime > TIMEOUT) {
            ShowStatus("Timeout RS232-Line!");
            stop_flag = 1;
            break;
        }
        ProcessSystemEvents();
        if (stop_flag != 0) break;
    }

    rx_flag = 0;
    graph_flag = 0;
    FlushBoth();
    SetCtrlDimmed(pHandle, PANEL_BTNRun, false);
}

int CC_BTNRun(int panel, int control, int event, void*, int, int) {
    if (event == EVENT_RIGHT_CLICK) {
        ShowCtrlHelp(panel, control);
    } else if (event == EVENT_COMMIT) {
        SensorOp op;
        if (!op.ok) return 0;
        PushRUN();
    }
    return 0;
}

int CC_BTNStop(int panel, int control, int event, void*, int, int) {
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
    case EVENT_RIGHT_CLICK:
        ShowCtrlHelp(panel, control);
        break;
    default:
        break;
    }
    return 0;
}
