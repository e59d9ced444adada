// Measured data: the recorder, measurement frames on standard output, the video signal and the
// trigger buffer.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "common/connect.h"
#include "common/json.h"
#include "common/output.h"
#include "common/stream.h"
#include "link/com232.h"
#include "platform/events.h"
#include "platform/utility.h"
#include "sensor/codec.h"
#include "sensor/files.h"
#include "sensor/vars.h"

namespace {

// The shortest time between two samples: a request and its answer, 36 bytes each, of 10 bits a
// byte at 19200 baud.
constexpr double kShortestIncrement = 0.0375;

// Sleeps until `due` or an interruption.
void PauseUntil(double due) {
    while (stop_flag == 0 && Timer() < due) WaitForEvent(due);
}

// The measurement just taken as one output line.
std::string MeasurementLine(bool json) {
    if (json) return JsonLine(MeasurementJson());
    const unsigned v[] = {Ledge,  Redge,    Mvalue, 0,      parameter[9], tol,    edcnt, mvstart,
                          mvend,  dynpow,   anaMax, anaMin, in0,          videoMax, raw15};
    const int um = int(int32_t(umValue));
    std::string line;
    for (int i = 0; i < 15; ++i) line += (i ? "\t" : "") + (i == 3 ? std::to_string(um) : std::to_string(v[i]));
    return line + "\n";
}

// The columns of MeasurementLine, each name shorter than a tab stop so that it stands over its values.
constexpr const char* kMeasurementColumns =
    "left\tright\tvalue\tum\tsetpt\ttol\tedges\tstart\tend\tpower\tanamax\tanamin\tin0\tvidmax\tlast\n";

}  // namespace

int CmdRecord(const Args& a) {
    if (!a.positional.empty() || a.count < 0 || a.increment < 0 || a.output.empty())
        return Fail(kExitUsage, "record: say -n N -i SECONDS -o FILE (see kryta-lt help record)");
    if (a.count == 0 || a.count > 32767) return Fail(kExitUsage, "record: -n is 1 to 32767 samples");
    // one sample is one exchange: a shorter increment would make the header's time axis untrue
    if (a.increment < kShortestIncrement)
        return Fail(kExitUsage, "record: -i is at least " + FormatReal(kShortestIncrement) +
                                    " s, one exchange of 36 bytes each way at 19200 baud");
    OutputFile out;
    if (const int code = out.Open(a.output, a.force); code != kExitOk) return code;
    // the recorder's header takes the calibration, its requests the block, from the sensor's RAM
    if (const int code = Connect(a, Reach::Parameters, false); code != kExitOk) return code;
    // each sample waits for the line's quiet after its answer: an increment shorter than that on
    // this line would put the samples further apart than the header says
    if (const double shortest = ShortestIncrement(); a.increment > 0 && a.increment < shortest)
        return Fail(kExitUsage, "record: -i " + FormatReal(a.increment) + " s is shorter than a sample takes on this line: at least " +
                                    FormatReal(shortest) + " s");

    const uint16_t n = uint16_t(a.count);
    const std::string date = DateStr(), time = TimeStr();
    const std::string header = RecorderHeader(date, time, a.increment, n);
    std::string reason;
    auto writeFailed = [&](bool first) -> int {
        if (out.IsStdout()) return OutputFailed(), kExitOutput;
        return Fail(kExitCannotWrite, "cannot write " + a.output +
                                          (first ? ": " + reason + " - no file written" : " - it holds the samples before"));
    };
    // The file appears whole: the header with the first sample, then one complete line per sample.
    // An existing file stays as it was until then.
    // progress on a terminal: "sample k of N" in place, ended by a line break before any message
    const bool progress = isatty(STDERR_FILENO) == 1;
    uint16_t k = 0;
    std::string lines;  // the samples so far, for a header that tells how many the file holds
    auto endProgress = [&] {
        if (progress && k > 0) std::fputc('\n', stderr);
    };
    // Ended early: a regular file's header is made to tell the samples it holds.
    auto endEarly = [&] {
        endProgress();
        if (k == 0 || k == n || !out.IsRegular()) return;
        if (!WriteFileReplacing(out.Target(), RecorderHeader(date, time, a.increment, k) + lines, reason))
            std::fprintf(stderr, "kryta-lt: %s keeps the header's %u samples over the %u it holds: %s\n", a.output.c_str(),
                         unsigned(n), unsigned(k), reason.c_str());
    };
    ArmStop();
    double last = Timer(), lastSample = Timer(), firstTry = 0;
    bool retry = false;
    LostRun run;
    while (k < n) {
        if (!retry) PauseUntil(last + a.increment);
        last = Timer();
        if (!retry) firstTry = last;
        const Outcome o = stop_flag != 0 ? Outcome::Stopped : TakeMeasurement(false);
        retry = false;
        if (o == Outcome::Stopped) {
            endEarly();
            run.Tell();
            return Fail(kExitInterrupted, "interrupted after " + std::to_string(k) + " of " + std::to_string(n) +
                                              " samples" + (k > 0 ? " - every one is in " + a.output : " - no file written"));
        }
        if (o != Outcome::Answered) {
            int code = kExitNoAnswer;
            const std::string why = FailureReason("the measurement request of sample " + std::to_string(k + 1), code);
            // with --keep-going a faulty answer is asked for again at once: every line is a sample
            if (a.keepGoing && o != Outcome::LineLost && o != Outcome::ConnectionChanged &&
                Timer() - lastSample <= kSilenceLimit) {
                run.Add(uint64_t(k) + 1, why);
                retry = true;
                continue;
            }
            endEarly();
            run.Tell();
            return ExchangeFailed("the measurement request of sample " + std::to_string(k + 1));
        }
        lastSample = Timer();
        if (run.count > 0) {
            endProgress();
            std::fprintf(stderr, "kryta-lt: sample %u taken %.1f s late after %llu faulty answer%s: %s\n", unsigned(k + 1),
                         lastSample - firstTry, static_cast<unsigned long long>(run.count),
                         run.count == 1 ? "" : "s", run.why.c_str());
            run.count = 0;
        }
        const std::string line = RecorderDataLine();
        if (!out.Write(k == 0 ? header + line : line, reason)) {
            endProgress();
            const int code = writeFailed(k == 0);
            if (k > 0) endEarly();
            return code;
        }
        lines += line;
        ++k;
        if (progress) std::fprintf(stderr, "\rsample %u of %u", unsigned(k), unsigned(n));
    }
    endProgress();
    return kExitOk;
}

namespace {

struct MeasureRun {
    bool json;
    long want;  // 0: until Ctrl-C
    long printed = 0;
};

}  // namespace

int CmdMeasure(const Args& a) {
    if (!a.positional.empty()) return Fail(kExitUsage, "measure: no arguments beside its options");
    const long n = a.count < 0 ? 1 : a.count;
    if (const int code = Connect(a, Reach::Parameters, false); code != kExitOk) return code;
    ArmStop();
    if (!a.json && isatty(STDOUT_FILENO) == 1 && !Print(kMeasurementColumns)) return kExitOutput;
    // Frames come at the line's pace; a frame is printed once nothing has followed it: when the next
    // request begins on a quiet line, or, for the last one, after the line's quiet time. One frame
    // is one answer; more than one is a stream that rides over a faulty answer.
    MeasureRun run{a.json, n};
    FrameStream s;
    s.ride = n != 1;
    s.context = &run;
    s.take = [](uint64_t, void* c) { return MeasurementLine(static_cast<MeasureRun*>(c)->json); };
    s.pass = [](const std::string& line, void* c) {
        ++static_cast<MeasureRun*>(c)->printed;
        return Print(line);
    };
    s.more = [](bool holding, void* c) {
        const auto* r = static_cast<MeasureRun*>(c);
        return r->want == 0 || r->printed + (holding ? 1 : 0) < r->want;
    };
    const StreamEnd end = RunStream(s);
    if (end.outcome == Outcome::Stopped) return n == 0 ? kExitOk : Fail(kExitInterrupted, "interrupted");
    return end.code;
}

namespace {

// The window's VIDEO or DATA pass: a measurement request, then the four 64-word blocks of the
// video signal (source 0) or the trigger buffer (source 1).
int ReadBlocksOf(uint16_t source, std::array<uint16_t, 256>& out) {
    ArmStop();
    if (PushGETRAW() != 1)
        return Interrupted() ? Fail(kExitInterrupted, "interrupted") : ExchangeFailed("the measurement request");
    CopyPPtoRAWVars();
    static uint16_t failedOffset;
    failedOffset = 0;
    const Outcome o = ReadBlocks(source, [](uint16_t offset, const Outcome* done) {
        if (done && *done != Outcome::Answered) failedOffset = offset;
    });
    if (o == Outcome::Stopped) return Fail(kExitInterrupted, "interrupted");
    if (o != Outcome::Answered)
        return ExchangeFailed(std::string("the request for ") + (source ? "trigger-buffer" : "video") + " block " +
                              std::to_string(failedOffset / 64));
    out = adcbuf;
    return kExitOk;
}

}  // namespace

int CmdVideo(const Args& a) {
    if (!a.positional.empty()) return Fail(kExitUsage, "video: no arguments beside its options");
    OutputFile out;  // a path that cannot be written is refused before the sensor is asked
    if (const int code = out.Open(a.output.empty() ? "-" : a.output, a.force); code != kExitOk) return code;
    if (const int code = Connect(a, Reach::Parameters, false); code != kExitOk) return code;
    std::array<uint16_t, 256> video{}, trigger{};
    if (const int code = ReadBlocksOf(0, video); code != kExitOk) return code;
    if (const int code = ReadBlocksOf(1, trigger); code != kExitOk) return code;
    std::string csv = "index,pixel,video,trigger\n";
    for (int i = 0; i < 256; ++i)
        csv += std::to_string(i) + "," + std::to_string(int(xArray[size_t(i)])) + "," + std::to_string(video[size_t(i)]) +
               "," + std::to_string(trigger[size_t(i)]) + "\n";
    std::string reason;
    if (!out.Write(csv, reason))
        return out.IsStdout() ? kExitOutput
                              : Fail(kExitCannotWrite, "cannot write " + a.output + ": " + reason +
                                                           " - the video signal and the trigger buffer were read; no file written");
    return kExitOk;
}
