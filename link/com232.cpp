// Sensor link: the 36-byte frame, the serial port with its receive handler, the handshake with
// its time-out, the echo check of the line and the connect sequence.
#include "link/com232.h"

#include <algorithm>

#include "app/app.h"
#include "ops/ops.h"
#include "params/codec.h"
#include "params/vars.h"
#include "platform/rs232.h"
#include "platform/userint.h"
#include "platform/utility.h"

std::array<uint8_t, BUF_BYTES> szWriteBuf{};
std::array<uint8_t, BUF_BYTES> szReadBuf{};

int com = 1;
const double TIMEOUT = 1.5;
int eventMask = 0x8006;
int rx_flag = 0;
int graph_flag = 0;
int nBytesW = 0, nBytesR = 0;
std::string szStatus;

const char* const kBusyText = "Busy - press STOP or wait until the running sensor exchange has ended!";
const char* const kNotIdentifiedText = "Sensor not identified! - select the COM-port again";
int ident_flag = 0;

namespace {

// Depth of the sensor exchanges in progress: operations started from controls and the connect
// sequence. Only the former are refused while another exchange runs.
int sensorOpDepth = 0;
// What the status line said before a refused start put the busy text there: once the running
// exchange has ended, the status line shows its outcome again instead of the busy text.
std::string statusBeforeBusy;

std::string StatusLineText() {
    std::string text;
    GetCtrlVal(pHandle, PANEL_STRStatus, text);
    return text;
}

void PutWord(size_t at, uint16_t w) {
    szWriteBuf[at] = uint8_t(w >> 8);
    szWriteBuf[at + 1] = uint8_t(w & 0xFF);
}

uint16_t ReadWord(size_t at) { return uint16_t(szReadBuf[at] << 8 | szReadBuf[at + 1]); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// frame

void FillTxBuf(uint16_t command, uint16_t argument, const uint16_t* words) {
    PutWord(0, 0x0055);
    PutWord(2, command);
    PutWord(4, argument);
    for (int i = 0; i < 15; ++i) PutWord(6 + 2 * i, words[i]);
}

int GetRxBuf() {
    if (ReadWord(2) == 8) {
        for (int i = 0; i < 16; ++i) pp[i] = ReadWord(4 + 2 * i);
        return 1;
    }
    for (int i = 0; i < 15; ++i) pp[i] = ReadWord(6 + 2 * i);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// receive side

void RX_Receive_Function(int /*port*/, int eventBits, void* /*callbackData*/) {
    if (!(eventBits & LWRS_RECEIVE)) return;
    int n = ComRd(com, reinterpret_cast<char*>(szReadBuf.data()), FRAME_BYTES);
    if (n == FRAME_BYTES) {
        graph_flag = GetRxBuf();
        rx_flag = 1;
    }
    // Whatever came after the frame belongs to no request.
    FlushInQ(com);
}

void InstallRxHandler() {
    InstallComCallback(com, eventMask, FRAME_BYTES, 0x55, RX_Receive_Function, nullptr);
}

void RemoveRxHandler() { InstallComCallback(com, 0, 0, 0, nullptr, nullptr); }

int WaitRxFull() {
    double t0 = Timer();
    for (;;) {
        ProcessSystemEvents();
        if (rx_flag) return 1;
        if (Timer() - t0 > TIMEOUT) {
            szStatus = "Timeout-RS-232...";
            return 0;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// line check and connect

int CheckComLine(int port) {
    parameter[1] = 5;
    parameter[2] = 0;
    CopyVarsToPP(0);
    FillTxBuf(5, 0, pp.data());
    FlushOutQ(port);
    FlushInQ(port);
    rx_flag = 0;
    nBytesW = ComWrt(port, reinterpret_cast<const char*>(szWriteBuf.data()), FRAME_BYTES);
    int result = 0;
    if (WaitRxFull()) {
        pp[0] = ReadWord(0);
        if (pp[0] == 0x00AA) {
            szStatus = "Echo Check - Line Ok!";
            result = 1;
        } else {
            szStatus = "read error - not sync byte 0xAA!";
        }
    }
    ShowStatus(szStatus);
    return result;
}

std::string ComOpenErrorText(int result) {
    switch (result) {
        case 0: return "";
        case -1: return "Unknown system error";
        case -2: return "Invalid port number";
        case -3: return "Port is not open";
        case -4: return "Unknown I/0 error";
        case -6: return "No serial port found";
        case -7: return "Cannot open port";
        case -13: return "Invalid parameter";
        case -99: return "Timeout";
        default: return "RS-232 error!";
    }
}

void InitRS232(int port) {
    int r = OpenComConfig(port, "", 19200, 0, 8, 1, BUF_BYTES, BUF_BYTES);
    if (r < 0) {
        // The text for the kind of failure, then the system's reason and, for a port the user may
        // not use, the cure.
        szStatus = ComOpenErrorText(r);
        const std::string why = ComOpenErrorDetail(port);
        if (!why.empty()) szStatus += ": " + why;
        ShowStatus(szStatus);
        return;
    }
    // The connect sequence is a sensor exchange of its own: buttons pressed meanwhile are refused.
    ++sensorOpDepth;
    ident_flag = 0;
    SetComTime(port, TIMEOUT);
    FlushInQ(port);
    FlushOutQ(port);
    SetCTSMode(port, 0);
    InstallComCallback(port, eventMask, FRAME_BYTES, 0x55, RX_Receive_Function, nullptr);

    if (CheckComLine(port) != 1) {
        ShowStatus(szStatus);
        EndSensorOp();
        return;
    }
    if (GetHARDWAREInfo() == 0) szStatus = "Error reading HARDWARE-info!";
    Delay(0.1);
    PushGET(RAM, 0);
    Delay(0.1);
    PushGET(RAM, 1);
    Delay(0.1);
    if (GetVERSIONInfo() < 72) szStatus = "Error reading firmware-info!";
    ShowStatus(szStatus);
    EndSensorOp();
}

int CC_DropDCom(int panel, int control, int event, void*, int, int) {
    if (event == EVENT_COMMIT) {
        stop_flag = 1;
        Delay(0.1);
        CloseCom(com);
        Delay(0.1);
        int32_t port = com;
        GetCtrlVal(panel, control, port);
        com = port;
        ShowStatus("Init COM-Port ...");
        InitRS232(com);
        InitGUI();
    } else if (event == EVENT_RIGHT_CLICK) {
        ShowCtrlHelp(panel, control);
    } else if (event == EVENT_DROPDOWN) {
        FillPortList();  // an adapter plugged in since the list last opened is offered too
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// one sensor exchange at a time

bool BeginSensorOp() {
    if (sensorOpDepth > 0) {
        std::string shown = StatusLineText();
        if (shown != kBusyText) statusBeforeBusy = std::move(shown);
        ShowStatus(kBusyText);
        return false;
    }
    ++sensorOpDepth;
    return true;
}

void EndSensorOp() {
    if (sensorOpDepth > 0) --sensorOpDepth;
    if (sensorOpDepth == 0 && StatusLineText() == kBusyText) ShowStatus(statusBeforeBusy);
}

bool RefuseUnidentified() {
    if (ident_flag == 1) return false;
    szStatus = kNotIdentifiedText;
    ShowStatus(szStatus);
    return true;
}

bool SensorOpRunning() { return sensorOpDepth > 0; }
