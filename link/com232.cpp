// Sensor link: the serial port and its receive handler, connections, the one exchange road, and
// the guard that lets one sensor operation run at a time.
#include "link/com232.h"

#include <algorithm>
#include <cmath>

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
// A request's 36 bytes on the line: the sensor has it whole only once they have crossed.
constexpr double kRequestTime = FRAME_BYTES * kByteTime;
// A line whose answers begin no sooner than this after their request carries bytes at its pace
// (a pseudo-terminal hands them over at once). On such a line, the bytes of a window cannot be more
// than the line can have carried of the answer since the request went out, give or take
// kSlackBytes: those beyond are the answer before's (its tail, or a second frame) when that answer
// was taken at the line's pace.
constexpr double kPacedDelay = 0.75 * kRequestTime;
constexpr double kSlackBytes = 8;

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
int answerAt = 0;      // where the answer begins: after the tail of the answer before, and frames passed over

// What the line may still bring: the answer of a request that was left without it (timed out,
// refused, stopped, disturbed, or a write whose answer is not read) is owed until `owedBytes` of
// the window have come or TIMEOUT has passed since `owedSince`.
long owedBytes = 0;
double owedSince = -1e9;
long takenBytes = 0;          // where in the window the last answer taken ended (or its tail, judged)
bool takenUnguarded = false;  // that answer was taken at the line's pace: what follows it is not judged yet
std::array<uint8_t, FRAME_BYTES> tailBytes{};  // the first bytes that followed it
long tailCount = 0;
int lateDisturbances = 0;
bool previousDisturbed = false;
bool previousTwice = false;
bool lastQuiet = false;
// The least time from a request to the first byte of its answer, among answers taken on a quiet line.
double leastDelay = 1e9;
// The last window was refused for a frame that came before its request can have been answered: if
// no further answer comes, that frame was the answer after all, and the line carries no pace.
bool refusedAsEarly = false;
double lastWriteAt = -1e9;

// What the first parameter sets of this connection showed of the sensor's answers.
struct Learned {
    bool learned = false;
    AnswerHabit habit;
};
Learned ramHabit, eepromHabit;

Learned* LearnedOf(uint16_t command) {
    if (command == GET_RAM) return &ramHabit;
    if (command == GET_EEPROM) return &eepromHabit;
    return nullptr;
}

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

// Takes what the driver holds too: whether bytes came that were not seen. Every byte that came
// before a moment taken ahead of this call is seen after it, so "nothing came until then" is
// judged on such a moment; a program held up meanwhile can only make it earlier than the look.
bool LookForNewBytes() {
    const long seen = rxTotal;
    TakeComInput(com);
    Drain();
    return rxTotal != seen;
}

void NewWindow(int awaited) {
    rxCount = 0;
    rxTotal = 0;
    answerAt = 0;
    awaitedBytes = awaited;
    rx_flag = 0;
}

int Clamp(long n) { return int(std::min<long>(n, 1 << 30)); }

// The bytes of the window from `from` to `to` (the end) belong to the tail of the answer taken at
// the line's pace.
void GrowTail(long from, long to = -1) {
    if (to < 0 || to > rxTotal) to = rxTotal;
    if (from >= to) return;
    for (long i = from; i < std::min<long>(to, rxCount) && tailCount + (i - from) < FRAME_BYTES; ++i)
        tailBytes[size_t(tailCount + (i - from))] = rxBytes[size_t(i)];
    tailCount += to - from;
}

// What followed the answer taken at the line's pace so far cannot be a frame.
bool TailFits() { return JudgeTail(tailBytes.data(), Clamp(tailCount)) == Verdict::Fits; }

// What followed the answer taken at the line's pace is all in: a tail that cannot be a frame is
// dropped; anything else makes that answer disturbed.
void CloseTail() {
    if (!takenUnguarded) return;
    takenUnguarded = false;
    const Verdict v = JudgeTail(tailBytes.data(), Clamp(tailCount));
    if (v != Verdict::Fits) {
        ++lateDisturbances;
        previousDisturbed = true;
        previousTwice = v == Verdict::Twice;
    }
    tailCount = 0;
}

// Whether this connection's line has shown that answers take a request's time to begin.
bool PacedLine() { return leastDelay < 1e8 && leastDelay >= kPacedDelay; }

// Waits until the line has been quiet for kQuietTime and, when `owedTo` > 0, until the window
// holds that many bytes or `owedUntil` has passed: Answered then (`came`: the owed bytes came).
// Disturbed when bytes still come at `limit` after a wait that nothing held up beyond the quiet
// time; Stopped (when `stoppable`), LineLost or ConnectionChanged when the wait was ended.
Outcome AwaitQuiet(int conn, bool stoppable, double limit, long owedTo, double owedUntil, bool& came) {
    double waitBegan = Timer();
    for (;;) {
        const double now = Timer();
        const bool fresh = LookForNewBytes();
        came = owedTo == 0 || rxTotal >= owedTo;
        const double quietAt = lastByteAt + kQuietTime;
        if (!fresh && (came || now >= owedUntil) && now >= quietAt) return Outcome::Answered;
        if (fresh && now >= limit && now - waitBegan <= 2 * kQuietTime) return Outcome::Disturbed;
        double until = came ? quietAt : std::max(quietAt, owedUntil);
        if (now < limit) until = std::min(until, limit);
        waitBegan = Timer();
        WaitForEvent(until);
        if (Outcome o = LineState(conn); o != Outcome::Answered) return o;
        if (stoppable && stop_flag != 0) return Outcome::Stopped;
    }
}

// Before a request that awaits an answer: the line must hold nothing of an earlier request. Waits
// until an owed answer has come (or its TIMEOUT has passed) and the line has been quiet for
// kQuietTime. An answer taken at the line's pace, with nothing owed after it, keeps its tail open
// into the next window: the request is written at once, and the window tells the rest.
Outcome Settle(int conn, bool stoppable) {
    previousDisturbed = false;
    previousTwice = false;
    Drain();
    if (owedBytes == 0 && takenUnguarded) {
        GrowTail(takenBytes);
        takenBytes = rxTotal;
        return Outcome::Answered;
    }
    if (owedBytes == 0 && rxTotal == takenBytes) return Outcome::Answered;
    // a line that never falls quiet is disturbed
    const double limit = std::max(owedSince + 2 * TIMEOUT, Timer() + TIMEOUT);
    bool came = false;
    const Outcome q = AwaitQuiet(conn, stoppable, limit, owedBytes, owedSince + TIMEOUT, came);
    if (q == Outcome::Disturbed) {
        GrowTail(takenBytes);
        CloseTail();
        refusal = {Refusal::Disturbed, 0, Clamp(rxTotal), 0};
    }
    if (q != Outcome::Answered) return q;
    // a frame refused as the answer before's came alone: it was the answer, on a line without pace
    if (!came && refusedAsEarly) leastDelay = 0;
    refusedAsEarly = false;
    GrowTail(takenBytes);
    CloseTail();
    owedBytes = 0;
    NewWindow(0);
    takenBytes = 0;
    return Outcome::Answered;
}

Outcome OutcomeOf(Verdict v, uint16_t request) {
    const uint8_t* b = rxBytes.data() + answerAt;
    const int bytes = Clamp(rxTotal);
    switch (v) {
    case Verdict::Fits:
    case Verdict::PassOver: return Outcome::Answered;
    case Verdict::Sync: refusal = {Refusal::Sync, GetWord(b, 0), bytes, request}; return Outcome::Refused;
    case Verdict::Command: refusal = {Refusal::Command, GetWord(b, 1), bytes, request}; return Outcome::Refused;
    case Verdict::Argument: refusal = {Refusal::Argument, GetWord(b, 2), bytes, request}; return Outcome::Refused;
    case Verdict::Twice: refusal = {Refusal::Twice, 0, bytes, request}; return Outcome::Refused;
    case Verdict::Disturbed: refusal = {Refusal::Disturbed, 0, bytes, request}; return Outcome::Disturbed;
    case Verdict::Short: break;
    }
    return Outcome::TimedOut;
}

// The bytes at the start of this window that cannot be this request's answer: what an earlier
// answer left on the line, or the tail of the answer taken at the line's pace just before it.
struct TailWatch {
    double sentFrom = 0;  // the moment before this request's write: it went out no sooner
    bool open = false;
    // On a line at its pace: bytes that came before this request can have been answered. For a
    // framed answer: bytes before its sync word, fewer than a frame and without one among them.
    bool timed = false, framed = false;
    // The answer before was taken at the line's pace: a frame among those bytes is its second one.
    bool paced = false;
    void Close() {
        if (!open) return;
        open = false;
        CloseTail();
    }
};

// What starts the window, while the tail before is open: true when it belongs to no tail and the
// answer is judged from answerAt on; false while the bytes so far leave it open.
bool SeparateTail(TailWatch& tail, double now) {
    if (tail.timed) {
        // what the line can have carried of this answer by now; the bytes before those follow the
        // answer before (a moment after they were seen can only make this count larger)
        const double carried = (now - tail.sentFrom) / kByteTime - FRAME_BYTES + kSlackBytes;
        long early = std::min<long>(rxTotal - std::max(0L, long(carried)), rxCount);
        if (early > answerAt && !tail.paced) {
            // after an answer taken on a quiet line only what cannot be a frame: bytes before a sync
            // word, fewer than a frame in all (a frame there is judged as the window's)
            const int sync = SyncAt(rxBytes.data() + answerAt, int(std::min<long>(early + 1, rxCount) - answerAt));
            if (sync >= 0) early = answerAt + sync;
            early = std::min<long>(early, answerAt + FRAME_BYTES - 1 - std::min<long>(tailCount, FRAME_BYTES - 1));
        }
        if (early > answerAt) {
            GrowTail(answerAt, early);
            answerAt = int(early);
        }
        if (!TailFits()) return true;
        if (!tail.framed) return rxTotal > answerAt;
    }
    if (rxCount <= answerAt) return false;
    // the answer begins at its sync word: bytes before it that can still be a tail are one
    const int have = rxCount - answerAt;
    const int room = int(FRAME_BYTES - 1 - std::min<long>(tailCount, FRAME_BYTES - 1));  // tail bytes it can still take
    const int sync = SyncAt(rxBytes.data() + answerAt, std::min(have, room + 2));
    if (sync >= 0 && sync <= room) {
        GrowTail(answerAt, answerAt + sync);
        answerAt += sync;
        return true;
    }
    // no sync word where a tail can end: the window is judged as it stands; a last 0x00 may still
    // begin one
    return have > room + 1 || (have == room + 1 && rxBytes[size_t(answerAt + room)] != 0x00);
}

// Waits for the answer of the request written between `tail.sentFrom` and `sentBy`, bounded by
// TIMEOUT after `sentBy`, and judges the window: the answer alone, provably this request's.
// `firstByte`: when its first byte was seen.
Outcome AwaitAnswer(int conn, const Request& x, const AnswerExpectation& e, double sentBy, TailWatch& tail,
                    double& firstByte) {
    const int want = AnswerBytes(e.command);
    const double deadline = sentBy + TIMEOUT;
    bool passedOver = false;
    uint16_t passedCommand = 0;
    firstByte = -1;
    for (;;) {
        Drain();
        const double now = Timer();  // every byte seen so far came by now
        if (tail.open && SeparateTail(tail, now)) {
            const Verdict before = JudgeTail(tailBytes.data(), Clamp(tailCount));
            tail.Close();
            if (before != Verdict::Fits) {
                // the answer before came twice, or with a frame's worth of bytes after it: what is left
                // of it, and this request's own answer, come in this window
                const bool twice = before == Verdict::Twice;
                refusedAsEarly = twice;
                refusal = {twice ? Refusal::Twice : Refusal::Disturbed, 0, Clamp(rxTotal), e.command};
                return twice ? Outcome::Refused : Outcome::Disturbed;
            }
        }
        const long have = rxTotal - answerAt;
        if (have > 0 && firstByte < 0 && !tail.open) firstByte = now;
        if (have >= want && !tail.open) {
            const int count = int(rxTotal > rxCount ? rxCount + 1 - answerAt : rxCount - answerAt);
            const Verdict v = JudgeAnswer(e, rxBytes.data() + answerAt, count);
            if (v == Verdict::PassOver) {
                // not a measurement frame: the wait for one goes on behind it
                passedOver = true;
                passedCommand = GetWord(rxBytes.data() + answerAt, 1);
                answerAt += FRAME_BYTES;
                firstByte = -1;
                continue;
            }
            // Another request's answer is refused at once. An answer that fits, or one without the
            // sync word (a wrong device, or noise before the answer), is judged once nothing follows
            // it for the quiet time: a second frame, or a frame's worth of bytes, after it makes the
            // window refused or disturbed; a tail that cannot be a frame is dropped.
            if ((v != Verdict::Fits && v != Verdict::Sync) || x.paced) return OutcomeOf(v, e.command);
            const double quietAt = lastByteAt + kQuietTime;
            const double t = Timer();
            if (t >= quietAt) {
                if (LookForNewBytes()) continue;
                return OutcomeOf(v, e.command);
            }
            WaitForEvent(quietAt);
        } else if (Timer() >= deadline) {
            if (LookForNewBytes()) continue;
            if (tail.open) {
                // what came is all there is: judged as it stands
                tail.Close();
                if (!previousDisturbed) continue;
            }
            if (passedOver) {
                refusal = {Refusal::Command, passedCommand, Clamp(rxTotal), e.command};
                return Outcome::Refused;
            }
            return Outcome::TimedOut;  // what came of it is in nBytesR
        } else if (have > 0 && !tail.open) {
            // Part of the answer is in, and the answer before is judged: the port wakes the wait
            // once the rest is in, not with every piece an adapter passes on (nor before the
            // deadline, or the operator, has something to say).
            SetComWakeCount(com, int(std::min<long>(want - have, 255)));
            WaitForEvent(deadline);
            SetComWakeCount(com, 1);
        } else {
            WaitForEvent(deadline);
        }
        if (Outcome o = LineState(conn); o != Outcome::Answered) return o;
        if (x.stoppable && stop_flag != 0) {
            Drain();
            if (rxTotal - answerAt < want) return Outcome::Stopped;
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
    if (awaitedBytes > 0 && rxTotal - answerAt >= awaitedBytes) rx_flag = 1;
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
    tailCount = 0;
    lateDisturbances = 0;
    previousDisturbed = false;
    previousTwice = false;
    lastQuiet = false;
    leastDelay = 1e9;
    refusedAsEarly = false;
    ramHabit = {};
    eepromHabit = {};
}

AnswerHabit AnswerHabitOf(uint16_t command) {
    const Learned* l = LearnedOf(command);
    return l && l->learned ? l->habit : AnswerHabit{};
}

void LearnAnswerHabit(uint16_t command, const AnswerHabit& habit) {
    Learned* l = LearnedOf(command);
    if (!l || l->learned) return;
    l->learned = true;
    l->habit = habit;
}

bool LastAnswerQuiet() { return lastQuiet; }

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
    lastQuiet = false;
    nBytesW = 0;  // an exchange that ends before its write wrote nothing
    if (Outcome o = LineState(conn); o != Outcome::Answered) return o;
    // STOP came while the answer before was being taken: nothing more goes out
    if (x.stoppable && stop_flag != 0) return Outcome::Stopped;
    const int want = AnswerBytes(x.expect.command);
    bool quietBefore = false;
    if (want > 0) {
        Drain();
        quietBefore = owedBytes == 0 && rxTotal == takenBytes && !takenUnguarded;
        if (Outcome o = Settle(conn, x.stoppable); o != Outcome::Answered) return o;
    }
    BuildRequest(x);
    // A write whose answer is not read (or not awaited) leaves it owed: the next request that awaits
    // one lets it pass first.
    Drain();
    if (owedBytes > 0 && rxTotal >= owedBytes) owedBytes = 0;
    if (takenUnguarded) {
        GrowTail(takenBytes);
        takenBytes = rxTotal;
    }
    const long owedBefore = owedBytes > 0 ? owedBytes - rxTotal : 0;
    // the output queue is discarded before the request: not while a write before it, whose answer
    // is not awaited, may still be on its way out (a SEND's frames)
    if (const double out = lastWriteAt + kRequestTime - Timer(); out > 0) Delay(out);
    lastWriteAt = -1e9;
    FlushOutQ(com);
    NewWindow(want);
    takenBytes = 0;
    graph_flag = 0;
    // The request went out no sooner than just before its write, and no later than just after it:
    // each rule takes the moment that a program held up around the write can only make kinder.
    TailWatch tail;
    tail.sentFrom = Timer();
    nBytesW = ComWrt(com, reinterpret_cast<const char*>(szWriteBuf.data()), FRAME_BYTES);
    const double sentBy = Timer();
    if (want == 0) lastWriteAt = sentBy;
    owedBytes = owedBefore + (want > 0 ? want : FRAME_BYTES);
    owedSince = sentBy;
    // On a line at its pace, the bytes that come before this request can have been answered are
    // never its answer: what an earlier answer left on the line, dropped when it cannot be a frame
    // (before a framed answer, whose sync word tells where it begins; an unframed one, the firmware
    // text or a block, has none). What followed an answer taken at the line's pace stays open into
    // this window: before a framed answer, bytes without a sync word in front of it are that
    // answer's tail too.
    if (!takenUnguarded) tailCount = 0;
    const bool framedAnswer = AnswerOf(x.expect.command) == AnswerKind::Frame;
    tail.paced = takenUnguarded;
    tail.timed = PacedLine() && (takenUnguarded || framedAnswer);
    tail.framed = takenUnguarded && framedAnswer;
    tail.open = want > 0 && (tail.timed || tail.framed);
    if (!TailFits()) tail.Close();
    if (x.written) x.written(nBytesW == FRAME_BYTES);

    Outcome o = LineState(conn);
    if (o == Outcome::Answered && nBytesW != FRAME_BYTES) o = Outcome::LineLost;
    if (o != Outcome::Answered || want == 0) {
        tail.Close();
        return o;
    }
    AnswerExpectation e = x.expect;
    e.habit = AnswerHabitOf(x.expect.command);
    double firstByte = -1;
    o = AwaitAnswer(conn, x, e, sentBy, tail, firstByte);
    tail.Close();
    if (o == Outcome::Answered) {
        std::copy(rxBytes.begin() + answerAt, rxBytes.begin() + answerAt + want, szReadBuf.begin());
        nBytesR = want;
        if (AnswerOf(x.expect.command) == AnswerKind::Frame) graph_flag = GetRxBuf();
        rx_flag = 1;
        owedBytes = 0;
        if (x.paced) {
            takenBytes = answerAt + want;
            takenUnguarded = true;
            tailCount = 0;
        } else {
            takenBytes = rxTotal;
        }
        lastQuiet = quietBefore && !x.paced && answerAt == 0;
        if (lastQuiet && firstByte >= 0) leastDelay = std::min(leastDelay, firstByte - sentBy);
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

double ShortestSampleTime() {
    // a line that hands bytes over at once (a pseudo-terminal) carries the answer in no time
    if (leastDelay < 1e8 && !PacedLine()) return leastDelay + kQuietTime;
    const double delay = leastDelay < 1e8 ? leastDelay : kRequestTime;
    return delay + FRAME_BYTES * kByteTime + kQuietTime;
}

double ShortestIncrement() {
    constexpr double kSampleMargin = 0.005;  // beyond the line's own time for a sample
    return std::ceil((ShortestSampleTime() + kSampleMargin) * 100.0) / 100.0;
}

Outcome ConfirmLastAnswer() {
    const int conn = BoundConnection();
    if (!takenUnguarded) return Outcome::Answered;
    // a line that never falls quiet is disturbed
    bool came = false;
    const Outcome q = AwaitQuiet(conn, false, Timer() + TIMEOUT, 0, 0, came);
    if (q != Outcome::Answered && q != Outcome::Disturbed) return q;
    const bool quiet = q == Outcome::Answered;
    previousDisturbed = false;
    previousTwice = false;
    GrowTail(takenBytes);
    if (!quiet) tailCount = std::max<long>(tailCount, FRAME_BYTES);
    takenBytes = rxTotal;
    CloseTail();
    if (!previousDisturbed) return Outcome::Answered;
    refusal = {previousTwice ? Refusal::Twice : Refusal::Disturbed, 0, Clamp(rxTotal), 0};
    return Outcome::Disturbed;
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
