// kryta-lt gateway-line -p DEVICE: one sensor's line for the gateway, which starts one such process
// per port and reads its standard output. The line's state lives in link/'s globals, one line per
// process, so every sensor keeps its own line's pace whatever the others and the broker do.
//
// It connects (echo check, identification, the RAM parameters read until two reads agree, the
// firmware text) and prints one JSON line
//   {"identity": <info --json>, "parameters": <get ram --json, each with its "type">}
// then one line per measurement frame (every N-th with --every): the names of measure --json and
//   "frame"    the frame's number since the connect (the first is 1): every request counts, so a
//              gap in "frame" is what "missed" counts, or a line the pipe had no room for
//   "time_ms"  when its answer came, milliseconds since 1970 UTC
//   "missed"   frames ridden over so far: no answer, another answer, a disturbed line
// and, before the first frame that stands after a run of frames ridden over, one line
//   {"lost": N, "first": the first one's "frame", "why": why the first was lost}
// A frame that finds the pipe full is not printed (the gateway sees the gap in "frame"); the line
// never waits for the reader. It ends on a lost line, or when no frame has come for kSilentSeconds
// (exit code and message as measure gives them), and on SIGTERM after the frame in progress.
#include <fcntl.h>
#include <unistd.h>

#include <QJsonObject>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>

#include "common/connect.h"
#include "common/json.h"
#include "common/stream.h"
#include "plant/plant.h"
#include "link/com232.h"
#include "platform/rs232.h"
#include "platform/utility.h"
#include "sensor/frame.h"
#include "sensor/rules.h"
#include "sensor/vars.h"

namespace {

// A sensor that answers no measurement request for this long is lost: two answer time-outs.
constexpr double kSilentSeconds = 2 * 1.5;

uint64_t UtcMilliseconds() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec / 1000000);
}

// One line to standard output, whole or not at all: false when the pipe is full. A pipe takes a
// write of up to PIPE_BUF bytes whole; a longer one (the birth line) waits for room.
bool PutLine(const std::string& line, bool mayWait) {
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, line.data() + done, line.size() - done);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN && (mayWait || done > 0)) {
            usleep(1000);  // the reader is a process of our own that drains the pipe as it comes
            continue;
        }
        return false;
    }
    return true;
}

// Each parameter of get ram --json with the Sparkplug type of its value.
QJsonObject TypedParameters(const std::array<uint16_t, 30>& words) {
    QJsonObject set = ParametersJson(RAM, words);
    QJsonObject parameters = set["parameters"].toObject();
    for (auto it = parameters.begin(); it != parameters.end(); ++it) {
        QJsonObject p = it.value().toObject();
        const WordShape shape = NameOfWord(ParamVariant(), p["word"].toInt()).shape;
        p["type"] = shape == WordShape::FactorLow ? "Double" : shape == WordShape::OffsetLow ? "Int32" : "UInt16";
        it.value() = p;
    }
    set["parameters"] = parameters;
    return set;
}

}  // namespace

int CmdGatewayLine(const Args& a) {
    if (!a.portGiven || !a.positional.empty()) return Fail(kExitUsage, "gateway-line: say -p PORT");
    if (const int code = Connect(a, Reach::Identified, true); code != kExitOk) return code;
    Delay(0.1);
    std::array<uint16_t, 30> words{};
    if (const int code = ReadConfirmedSet(RAM, words); code != kExitOk) return code;
    Delay(0.1);
    std::string firmware;
    const int n = GetVERSIONInfo();
    if (!IsComOpen(com)) return ExchangeFailed("the firmware request");
    if (n == FIRMWARE_TEXT_BYTES) firmware = FirmwareTextRead();

    const QJsonObject birth{{"identity", IdentityJson(PortDevice(a), firmware)}, {"parameters", TypedParameters(words)}};
    if (!PutLine(JsonLine(birth), true)) return Fail(kExitCannotWrite, "gateway-line: the gateway is gone");
    ::fcntl(STDOUT_FILENO, F_SETFL, ::fcntl(STDOUT_FILENO, F_GETFL) | O_NONBLOCK);

    ArmStop();
    // As measure does it: a frame is passed on once nothing has followed it on the line.
    uint64_t frame = 0, missed = 0, heldFrame = 0;
    std::string held;
    // the run of frames ridden over since the last frame that stood, told before the next one
    uint64_t lostFirst = 0, lostCount = 0;
    std::string lostWhy;
    auto lose = [&](uint64_t number, const std::string& why) {
        ++missed;
        if (lostCount++ == 0) lostFirst = number, lostWhy = why;
    };
    auto release = [&](bool disturbed) {
        if (!held.empty()) {
            if (disturbed) {
                lose(heldFrame, "the line is disturbed: bytes after the answer to the measurement request");
            } else {
                if (lostCount > 0 &&
                    PutLine(JsonLine(QJsonObject{{"lost", qint64(lostCount)}, {"first", qint64(lostFirst)},
                                                 {"why", QString::fromStdString(lostWhy)}}), false))
                    lostCount = 0;  // else told with a later frame
                PutLine(held, false);
            }
        }
        held.clear();
    };
    double lastAnswer = Timer();
    for (;;) {
        const Outcome o = TakeMeasurement(true);
        release(PreviousAnswerDisturbed());
        if (o == Outcome::Stopped) {
            release(ConfirmLastAnswer() != Outcome::Answered);
            return kExitOk;
        }
        if (o != Outcome::Answered) {
            if (!IsComOpen(com) || o == Outcome::LineLost || Timer() - lastAnswer >= kSilentSeconds)
                return ExchangeFailed("the measurement request");
            std::string why;
            ExchangeFailedText("the measurement request", why);
            const std::string& device = ShownDevice();
            lose(++frame, why.rfind(device + ": ", 0) == 0 ? why.substr(device.size() + 2) : why);
            continue;
        }
        lastAnswer = Timer();
        if (++frame % uint64_t(a.every) != 0) continue;
        QJsonObject m = MeasurementJson();
        m["frame"] = qint64(frame);
        m["time_ms"] = qint64(UtcMilliseconds());
        m["missed"] = qint64(missed);
        held = JsonLine(m);
        heldFrame = frame;
    }
}
