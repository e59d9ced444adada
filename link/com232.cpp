// Sensor link: the serial port with its receive handler, connections, the one exchange road, the
// line check and the guard that lets one sensor operation run at a time.
#include "link/com232.h"

#include <algorithm>

#include "link/status.h"
#include "platform/events.h"
#include "platform/rs232.h"
#include "platform/utility.h"
#include "sensor/codec.h"
#include "sensor/vars.h"

int com = 1;
const double TIMEOUT = 1.5;
int eventMask = 0x8006;
int rx_flag = 0;
int graph_flag = 0;
int nBytesW = 0, nBytesR = 0;

const char* const kLineLostText = "RS232-Line lost! - select the COM-port again";
const char* const kBusyText = "Busy - press STOP or wait until the running sensor exchange has ended!";

namespace {

// How long the line must stay silent before a request that follows one whose answer may come late.
constexpr double kQuietTime = 0.3;

int connection = 0;        // counts the opens and closes of the port
bool lineOpened = false;   // the port of this connection opened
bool quietNeeded = false;  // an answer may still come: let the line fall quiet first
bool handlerInstalled = false;
unsigned framesReceived = 0;  // every frame the receive handler read
Refusal refusal;

// The operations in progress (controls, the connect sequence) and the connection they began on.
int sensorOpDepth = 0;
int opConnection = 0;
// What the status line said before a refused start put the busy text there: once the running
// exchange has ended, the status line shows its outcome again instead of the busy text.
std::string statusBeforeBusy;
void (*whenIdle)() = nullptr;

int BoundConnection() { return sensorOpDepth > 0 ? opConnection : connection; }

void FlushBoth() {
    FlushInQ(com);
    FlushOutQ(com);
}

// Where the line stands for an exchange of connection `conn`: Answered when it can go on.
Outcome LineState(int conn) {
    if (conn != connection) return Outcome::ConnectionChanged;
    if (!IsComOpen(com)) return Outcome::LineLost;
    return Outcome::Answered;
}

// Reads everything waiting in the input queue into szReadBuf, at most what it holds; the rest is
// discarded. Result: the number of bytes waiting.
int ReadWholeQueue() {
    const int n = GetInQLen(com);
    const int want = std::clamp(n, 0, BUF_BYTES);
    nBytesR = want > 0 ? std::max(0, ComRd(com, reinterpret_cast<char*>(szReadBuf.data()), want)) : 0;
    if (n > want) FlushInQ(com);
    return n;
}

// After a request whose answer may still come: waits until nothing has arrived for kQuietTime
// (at most TIMEOUT), then discards what came.
Outcome LetLineFallQuiet(int conn, const Request& req) {
    if (!quietNeeded) return Outcome::Answered;
    quietNeeded = false;
    const double t0 = Timer();
    double last = t0;
    int queued = GetInQLen(com);
    unsigned frames = framesReceived;
    for (;;) {
        ProcessSystemEvents();
        if (Outcome o = LineState(conn); o != Outcome::Answered) return o;
        if (req.stoppable && stop_flag != 0) return Outcome::Stopped;
        const double now = Timer();
        if (GetInQLen(com) != queued || framesReceived != frames) {
            queued = GetInQLen(com);
            frames = framesReceived;
            last = now;
        }
        if (now - last >= kQuietTime || now - t0 > TIMEOUT) break;
    }
    FlushBoth();
    rx_flag = 0;
    return Outcome::Answered;
}

// A framed answer has arrived in szReadBuf: does it answer the request?
bool FrameFits(const Request& req) {
    const uint16_t sync = GetWord(szReadBuf.data(), 0);
    const uint16_t command = GetWord(szReadBuf.data(), 1);
    if (sync != SYNC_SENSOR) {
        refusal = {Refusal::Sync, sync, FRAME_BYTES};
        return false;
    }
    if (!AnswerFits(req.command, command) || (req.measurementOnly && command != GET_RAW)) {
        refusal = {Refusal::Command, command, FRAME_BYTES};
        return false;
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// receive side

void RX_Receive_Function(int /*port*/, int eventBits, void* /*callbackData*/) {
    if (!(eventBits & LWRS_RECEIVE)) return;
    const int n = ComRd(com, reinterpret_cast<char*>(szReadBuf.data()), FRAME_BYTES);
    if (n == FRAME_BYTES) {
        ++framesReceived;
        rx_flag = 1;
    }
    // Whatever came after the frame belongs to no request.
    FlushInQ(com);
}

void InstallRxHandler() {
    handlerInstalled =
        InstallComCallback(com, eventMask, FRAME_BYTES, 0x55, RX_Receive_Function, nullptr) == 0;
}

void RemoveRxHandler() {
    InstallComCallback(com, 0, 0, 0, nullptr, nullptr);
    handlerInstalled = false;
}

// ---------------------------------------------------------------------------------------------
// connections

int Connection() { return connection; }

int OpenLine(int port, const std::string& device) {
    ++connection;
    quietNeeded = false;
    handlerInstalled = false;
    const int r = OpenComConfig(port, device, 19200, 0, 8, 1, BUF_BYTES, BUF_BYTES);
    lineOpened = r >= 0;
    if (r < 0) return r;
    SetComTime(port, TIMEOUT);
    FlushInQ(port);
    FlushOutQ(port);
    SetCTSMode(port, 0);
    InstallRxHandler();
    return 0;
}

void CloseLine() {
    CloseCom(com);
    ++connection;
    lineOpened = false;
    handlerInstalled = false;
}

std::string PortLabel(int port) {
    std::string label = "COM" + std::to_string(port);
    const std::string device = ComDeviceName(port);
    if (!device.empty()) {
        const std::string about = ComDeviceAbout(port);
        label += " (" + device + (about.empty() ? "" : ", " + about) + ")";
    }
    return label;
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

std::string LineLostText() {
    return lineOpened ? kLineLostText : "Port is not open - select the COM-port again";
}

// ---------------------------------------------------------------------------------------------
// the exchange road

const Refusal& LastRefusal() { return refusal; }

void ExpectLateAnswer() { quietNeeded = true; }

Outcome WaitRxFull(const Request& req) {
    const int conn = BoundConnection();
    const AnswerKind kind = AnswerOf(req.command);
    const double t0 = Timer();
    for (;;) {
        ProcessSystemEvents();
        if (Outcome o = LineState(conn); o != Outcome::Answered) return o;
        if (req.stoppable && stop_flag != 0) return Outcome::Stopped;
        if (kind == AnswerKind::Frame && rx_flag == 1) {
            if (FrameFits(req)) {
                graph_flag = GetRxBuf();
                return Outcome::Answered;
            }
            rx_flag = 0;  // passed over: the answer may still come
        }
        const int expected = req.command == GET_VERSION ? FIRMWARE_TEXT_BYTES : DATA_BLOCK_BYTES;
        if (kind == AnswerKind::Bytes && GetInQLen(com) >= expected) {
            const int n = ReadWholeQueue();
            if (n == expected) return Outcome::Answered;
            refusal = {Refusal::Length, 0, n};
            return Outcome::Refused;
        }
        if (Timer() - t0 > TIMEOUT) {
            if (kind == AnswerKind::Bytes) ReadWholeQueue();
            return refusal.kind != Refusal::None ? Outcome::Refused : Outcome::TimedOut;
        }
    }
}

Outcome Exchange(const Request& req) {
    const int conn = BoundConnection();
    refusal = {};
    if (Outcome o = LineState(conn); o != Outcome::Answered) return o;
    const AnswerKind kind = AnswerOf(req.command);
    if (kind != AnswerKind::None) {
        if (Outcome o = LetLineFallQuiet(conn, req); o != Outcome::Answered) return o;
    }
    const bool handlerWas = handlerInstalled;
    if (kind == AnswerKind::Bytes && handlerWas) RemoveRxHandler();
    if (kind != AnswerKind::None) FlushBoth();
    rx_flag = 0;
    graph_flag = 0;
    nBytesW = ComWrt(com, reinterpret_cast<const char*>(szWriteBuf.data()), FRAME_BYTES);
    if (nBytesW == FRAME_BYTES && req.textIfWritten) ShowStatus(req.textIfWritten);
    if (req.textAfterWrite) ShowStatus(req.textAfterWrite);

    Outcome o = LineState(conn);
    if (o == Outcome::Answered && nBytesW != FRAME_BYTES) o = Outcome::LineLost;
    if (o == Outcome::Answered && kind != AnswerKind::None) o = WaitRxFull(req);
    if (o == Outcome::TimedOut || o == Outcome::Refused || o == Outcome::Stopped) quietNeeded = true;
    if (kind == AnswerKind::Bytes && handlerWas && LineState(conn) == Outcome::Answered) {
        InstallRxHandler();
        FlushBoth();
    }
    return o;
}

// ---------------------------------------------------------------------------------------------
// line check

int CheckComLine(int port) {
    parameter[1] = ECHO_CHECK;
    parameter[2] = 0;
    CopyVarsToPP(0);
    FillTxBuf(ECHO_CHECK, 0, pp.data());
    (void)port;  // the exchange goes to the port of the connection
    int result = 0;
    switch (Exchange({ECHO_CHECK})) {
    case Outcome::Answered:
        pp[0] = GetWord(szReadBuf.data(), 0);
        szStatus = "Echo Check - Line Ok!";
        result = 1;
        break;
    case Outcome::Refused:
        pp[0] = LastRefusal().value;
        szStatus = "read error - not sync byte 0xAA!";
        break;
    case Outcome::LineLost: szStatus = LineLostText(); break;
    default: szStatus = "Timeout-RS-232..."; break;
    }
    ShowStatus(szStatus);
    return result;
}

// ---------------------------------------------------------------------------------------------
// one sensor exchange at a time

bool BeginSensorOp() {
    if (sensorOpDepth > 0) {
        if (ShownStatus() != kBusyText) statusBeforeBusy = ShownStatus();
        ShowStatus(kBusyText);
        return false;
    }
    ++sensorOpDepth;
    opConnection = connection;
    return true;
}

void BeginConnectOp() {
    if (sensorOpDepth++ == 0) opConnection = connection;
}

void EndSensorOp() {
    if (sensorOpDepth > 0) --sensorOpDepth;
    if (sensorOpDepth > 0) return;
    if (ShownStatus() == kBusyText) ShowStatus(statusBeforeBusy);
    if (void (*fn)() = whenIdle) {
        whenIdle = nullptr;
        fn();
    }
}

bool SensorOpRunning() { return sensorOpDepth > 0; }

void RunWhenIdle(void (*fn)()) {
    if (sensorOpDepth == 0 && fn) {
        whenIdle = nullptr;
        fn();
        return;
    }
    whenIdle = fn;
}
