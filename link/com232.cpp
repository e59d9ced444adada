// Sensor link: the serial port and its receive handler, connections, the one exchange road, and
// the guard that lets one sensor operation run at a time.
#include "link/com232.h"

#include <algorithm>

#include "link/road.h"
#include "platform/events.h"
#include "platform/rs232.h"
#include "platform/utility.h"
#include "sensor/vars.h"

int com = 1;
const double TIMEOUT = 1.5;
int eventMask = 0x8006;
int rx_flag = 0;
int graph_flag = 0;
int nBytesW = 0, nBytesR = 0;

namespace {

// How long the line must stay silent after an answer before it is believed to be whole (a byte
// later than this belongs to no request), and before the next request is written after one whose
// answer may still come. Several byte times at 19200 baud, and a USB adapter's latency timer.
constexpr double kQuietTime = 0.02;
// One byte on the line: 10 bits at 19200 baud.
constexpr double kByteTime = 10.0 / 19200.0;

int connection = 0;       // counts the opens and closes of the port
bool lineOpened = false;  // the port of this connection opened
Refusal refusal;
Outcome lastOutcome = Outcome::Answered;

// The answer window of the request written last: every byte received since it was written.
std::array<uint8_t, BUF_BYTES> rxBytes{};
int rxCount = 0;       // bytes kept in rxBytes
long rxTotal = 0;      // bytes received in the window, also those beyond rxBytes
double lastByteAt = -1e9;
int awaitedBytes = 0;  // the answer's length; rx_flag once that many have come

// What the line may still bring: the answer of a request that was left without it (timed out,
// refused, stopped, disturbed, or a write whose answer is not read) is owed until `owedBytes` of
// the window have come or TIMEOUT has passed since `owedSince`.
long owedBytes = 0;
double owedSince = -1e9;
long takenBytes = 0;        // rxTotal when the last answer was taken
bool takenUnguarded = false;  // that answer was taken without the quiet time after it
int lateDisturbances = 0;
bool previousDisturbed = false;

// What the first parameter set of this connection showed of the sensor's answers.
enum class Echo { Unknown, Yes, No } echo = Echo::Unknown;

// The operations in progress (controls, the connect sequence) and the connection they began on.
int sensorOpDepth = 0;
int opConnection = 0;
void (*whenIdle)() = nullptr;

int BoundConnection() { return sensorOpDepth > 0 ? opConnection : connection; }

// Where the line stands for an exchange of connection `conn`: Answered when it can go on.
Outcome LineState(int conn) {
    if (conn != connection) return Outcome::ConnectionChanged;
    if (!IsComOpen(com)) return Outcome::LineLost;
    return Outcome::Answered;
}

// Takes what the port holds and the receive handler has not yet heard of.
void Drain() {
    if (GetInQLen(com) > 0) RX_Receive_Function(com, LWRS_RECEIVE, nullptr);
}

void NewWindow(int awaited) {
    rxCount = 0;
    rxTotal = 0;
    awaitedBytes = awaited;
    rx_flag = 0;
}

// Before a request that awaits an answer: the line must hold nothing of an earlier request. Waits
// until an owed answer has come (or its TIMEOUT has passed) and the line has been quiet for
// kQuietTime; bytes that came after an answer taken at the line's pace make that answer disturbed.
Outcome Settle(int conn, bool stoppable) {
    previousDisturbed = false;
    Drain();
    if (owedBytes == 0 && rxTotal == takenBytes) return Outcome::Answered;
    if (owedBytes == 0 && takenUnguarded) {
        ++lateDisturbances;
        previousDisturbed = true;
    }
    const double start = Timer();
    // a line that never falls quiet is disturbed
    const double limit = std::max(owedSince + 2 * TIMEOUT, start + TIMEOUT);
    for (;;) {
        const double now = Timer();
        const bool came = owedBytes == 0 || rxTotal >= owedBytes;
        const double owedUntil = owedSince + TIMEOUT;
        const double quietAt = lastByteAt + kQuietTime;
        if ((came || now >= owedUntil) && now >= quietAt) break;
        if (now >= limit) {
            refusal = {Refusal::Disturbed, 0, int(std::min<long>(rxTotal, 1 << 30))};
            return Outcome::Disturbed;
        }
        WaitForEvent(std::min(limit, came ? quietAt : std::max(quietAt, owedUntil)));
        if (Outcome o = LineState(conn); o != Outcome::Answered) return o;
        if (stoppable && stop_flag != 0) return Outcome::Stopped;
        Drain();
    }
    owedBytes = 0;
    takenUnguarded = false;
    NewWindow(0);
    takenBytes = 0;
    return Outcome::Answered;
}

Outcome OutcomeOf(Verdict v) {
    const uint8_t* b = rxBytes.data();
    switch (v) {
    case Verdict::Fits: return Outcome::Answered;
    case Verdict::Sync: refusal = {Refusal::Sync, GetWord(b, 0), rxCount}; return Outcome::Refused;
    case Verdict::Command: refusal = {Refusal::Command, GetWord(b, 1), rxCount}; return Outcome::Refused;
    case Verdict::Argument: refusal = {Refusal::Argument, GetWord(b, 2), rxCount}; return Outcome::Refused;
    case Verdict::Disturbed:
        refusal = {Refusal::Disturbed, 0, int(std::min<long>(rxTotal, 1 << 30))};
        return Outcome::Disturbed;
    case Verdict::Short: break;
    }
    return Outcome::TimedOut;
}

// Waits for the answer of the request written at `written`, bounded by TIMEOUT, and judges the
// window: the answer alone, provably this request's.
Outcome AwaitAnswer(int conn, const Request& x, const AnswerExpectation& e, double written) {
    const int want = AnswerBytes(e.command);
    const double deadline = written + TIMEOUT;
    for (;;) {
        Drain();
        if (rxTotal >= want) {
            const Verdict v = JudgeAnswer(e, rxBytes.data(), rxTotal > rxCount ? rxCount + 1 : rxCount);
            // Another request's answer is refused at once. An answer that fits, or one without the
            // sync word (a wrong device, or noise before the answer), is judged once nothing follows
            // it for the quiet time: surplus makes it disturbed.
            if ((v != Verdict::Fits && v != Verdict::Sync) || x.paced) return OutcomeOf(v);
            const double quietAt = lastByteAt + kQuietTime;
            if (Timer() >= quietAt) return OutcomeOf(v);
            WaitForEvent(quietAt);
        } else if (Timer() >= deadline) {
            return Outcome::TimedOut;  // what came of it is in nBytesR
        } else if (const double most = std::min({lastByteAt + (want - rxTotal - 4) * kByteTime,
                                                 Timer() + kQuietTime, deadline});
                   rxTotal > 0 && most > Timer()) {
            // Part of the answer is in: the rest cannot come before its bytes have crossed the line.
            // Sleep until all but its last few bytes can be in (at most the quiet time) instead of
            // waking with every piece an adapter passes on; the bytes wait in the port meanwhile,
            // and the last piece wakes the wait as it comes.
            Delay(most - Timer());
        } else {
            WaitForEvent(deadline);
        }
        if (Outcome o = LineState(conn); o != Outcome::Answered) return o;
        if (x.stoppable && stop_flag != 0) {
            Drain();
            if (rxTotal < want) return Outcome::Stopped;
        }
    }
}

void BuildRequest(const Request& x) {
    const uint16_t command = x.expect.command, argument = x.expect.argument;
    const uint16_t* words = x.words ? x.words : pp.data();
    parameter[1] = command;
    switch (command) {
    case GET_DATA64: FillBlockRequest(parameter[0], argument, words[0]); break;
    case XFLASH_CLEAR: FillXFlashClear(); break;
    case XFLASH_WRITE: FillXFlashWrite(argument, words[0], words + 1); break;
    default:
        parameter[2] = argument;
        FillTxBuf(command, argument, words);
        break;
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// receive side

void RX_Receive_Function(int /*port*/, int eventBits, void* /*callbackData*/) {
    if (!(eventBits & LWRS_RECEIVE)) return;
    for (int waiting = GetInQLen(com); waiting > 0; waiting = GetInQLen(com)) {
        int got;
        if (rxCount < BUF_BYTES) {
            got = ComRd(com, reinterpret_cast<char*>(rxBytes.data()) + rxCount, std::min(waiting, BUF_BYTES - rxCount));
            rxCount += std::max(0, got);
        } else {
            char scratch[256];  // beyond what an answer window holds: counted, not kept
            got = ComRd(com, scratch, std::min<int>(waiting, sizeof scratch));
        }
        if (got <= 0) break;
        rxTotal += got;
        lastByteAt = Timer();
    }
    if (awaitedBytes > 0 && rxTotal >= awaitedBytes) rx_flag = 1;
}

// ---------------------------------------------------------------------------------------------
// connections

int Connection() { return connection; }

int OpenLine(int port, const std::string& device) {
    ++connection;
    lineOpened = false;
    ResetRoad();
    const int r = OpenComConfig(port, device, 19200, 0, 8, 1, BUF_BYTES, BUF_BYTES);
    if (r < 0) return r;
    lineOpened = true;
    SetComTime(port, TIMEOUT);
    FlushInQ(port);
    FlushOutQ(port);
    SetCTSMode(port, 0);
    // every byte, as it comes: the answer window sees what arrives before and after an answer
    InstallComCallback(port, eventMask, 1, 0x55, RX_Receive_Function, nullptr);
    return 0;
}

void CloseLine() {
    CloseCom(com);
    ++connection;
    lineOpened = false;
}

bool LineOpened() { return lineOpened; }

void SettleLine() {
    if (lineOpened && IsComOpen(com)) Settle(connection, false);
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

// ---------------------------------------------------------------------------------------------
// the exchange road

const Refusal& LastRefusal() { return refusal; }
Outcome LastOutcome() { return lastOutcome; }

void ResetRoad() {
    NewWindow(0);
    takenBytes = 0;
    owedBytes = 0;
    owedSince = -1e9;
    lastByteAt = -1e9;
    takenUnguarded = false;
    lateDisturbances = 0;
    previousDisturbed = false;
    echo = Echo::Unknown;
}

bool SensorEchoes() { return echo == Echo::Yes; }

void LearnEcho(bool echoes) {
    if (echo == Echo::Unknown) echo = echoes ? Echo::Yes : Echo::No;
}

namespace {

Outcome ExchangeOnce(const Request& x);

}  // namespace

Outcome Exchange(const Request& x) {
    lastOutcome = ExchangeOnce(x);
    return lastOutcome;
}

namespace {

Outcome ExchangeOnce(const Request& x) {
    const int conn = BoundConnection();
    refusal = {};
    if (Outcome o = LineState(conn); o != Outcome::Answered) return o;
    const int want = AnswerBytes(x.expect.command);
    if (want > 0) {
        if (Outcome o = Settle(conn, x.stoppable); o != Outcome::Answered) return o;
    }
    BuildRequest(x);
    // A write whose answer is not read (or not awaited) leaves it owed: the next request that awaits
    // one lets it pass first.
    Drain();
    if (owedBytes > 0 && rxTotal >= owedBytes) owedBytes = 0;
    const long owedBefore = owedBytes > 0 ? owedBytes - rxTotal : 0;
    FlushOutQ(com);
    NewWindow(want);
    takenBytes = 0;
    takenUnguarded = false;
    graph_flag = 0;
    nBytesW = ComWrt(com, reinterpret_cast<const char*>(szWriteBuf.data()), FRAME_BYTES);
    const double written = Timer();
    owedBytes = owedBefore + (want > 0 ? want : FRAME_BYTES);
    owedSince = written;
    if (x.written) x.written(nBytesW == FRAME_BYTES);

    Outcome o = LineState(conn);
    if (o == Outcome::Answered && nBytesW != FRAME_BYTES) o = Outcome::LineLost;
    if (o != Outcome::Answered || want == 0) return o;
    AnswerExpectation e = x.expect;
    e.echoes = SensorEchoes();
    o = AwaitAnswer(conn, x, e, written);
    if (o == Outcome::Answered) {
        std::copy(rxBytes.begin(), rxBytes.begin() + want, szReadBuf.begin());
        nBytesR = want;
        if (AnswerOf(x.expect.command) == AnswerKind::Frame) graph_flag = GetRxBuf();
        rx_flag = 1;
        owedBytes = 0;
        takenBytes = rxTotal;
        takenUnguarded = x.paced;
    } else {
        nBytesR = rxCount;
        // another answer may follow the one refused; a stopped or timed-out request's may come late
        if (o == Outcome::Refused || o == Outcome::Disturbed) owedBytes = rxTotal + want;
    }
    return o;
}

}  // namespace

int LateDisturbances() { return lateDisturbances; }
bool PreviousAnswerDisturbed() { return previousDisturbed; }

Outcome ConfirmLastAnswer() {
    const int conn = BoundConnection();
    if (!takenUnguarded) return Outcome::Answered;
    for (;;) {
        Drain();
        if (rxTotal > takenBytes) {
            ++lateDisturbances;
            takenUnguarded = false;
            return Outcome::Disturbed;
        }
        const double quietAt = lastByteAt + kQuietTime;
        if (Timer() >= quietAt) break;
        WaitForEvent(quietAt);
        if (Outcome o = LineState(conn); o != Outcome::Answered) return o;
    }
    takenUnguarded = false;
    return Outcome::Answered;
}

// ---------------------------------------------------------------------------------------------
// one sensor exchange at a time

bool BeginSensorOp() {
    if (sensorOpDepth > 0) return false;
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
