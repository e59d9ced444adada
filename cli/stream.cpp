// Measured data: the recorder, measurement frames on standard output, the video signal and the
// trigger buffer.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "cli/json.h"
#include "cli/output.h"
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

}  // namespace

// One measurement frame, as the recorder and RUN ask for it after their first request: the
// request carries the active block; only a measurement frame answers it. Decoded into the
// measurement on success. `paced`: taken as soon as it is whole, to keep the line's pace (whether
// nothing followed it is known when the next request begins).
Outcome TakeMeasurement(bool paced) {
    Measurement m;
    m.paced = paced;
    const Outcome o = ExchangeMeasurement(m);
    if (o == Outcome::Answered) CopyPPtoRAWVars();
    return o;
}

namespace {

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

}  // namespace

int CmdRecord(const Args& a) {
    if (!a.positional.empty() || a.count < 0 || a.increment < 0 || a.output.empty())
        return Fail(kExitUsage, "record: say -n N -i SECONDS -o FILE (see kryta-lt record --help)");
    if (a.count > 32767) return Fail(kExitUsage, "record: at most 32767 samples");
    // one sample is one exchange: a shorter increment would make the header's time axis untrue
    if (a.increment < kShortestIncrement)
        return Fail(kExitUsage, "record: -i is at least " + FormatReal(kShortestIncrement) +
                                    " s, one exchange of 36 bytes each way at 19200 baud");
    OutputFile out;
    if (const int code = out.Open(a.output, a.force); code != kExitOk) return code;
    // the recorder's header takes the calibration, its requests the block, from the sensor's RAM
    if (const int code = Connect(a, Reach::Parameters, false); code != kExitOk) return code;

    const uint16_t n = uint16_t(a.count);
    const std::string header = RecorderHeader(DateStr(), TimeStr(), a.increment, n);
    std::string reason;
    // The file appears whole: the header with the first sample (or alone, for no samples), then
    // one complete line per sample. An existing file stays as it was until then.
    if (n == 0 && !out.Write(header, reason))
        return Fail(kExitCannotWrite, "cannot write " + a.output + ": " + reason + " - no file written");

    // progress on a terminal: "sample k of N" in place, ended by a line break before any message
    const bool progress = isatty(STDERR_FILENO) == 1;
    uint16_t k = 0;
    auto endProgress = [&] {
        if (progress && k > 0) std::fputc('\n', stderr);
    };
    ArmStop();
    double last = Timer();
    while (k < n) {
        PauseUntil(last + a.increment);
        last = Timer();
        const Outcome o = stop_flag != 0 ? Outcome::Stopped : TakeMeasurement(false);
        if (o == Outcome::Stopped) {
            endProgress();
            return Fail(kExitInterrupted, "interrupted after " + std::to_string(k) + " of " + std::to_string(n) +
                                              " samples" + (k > 0 ? " - every one is in " + a.output : " - no file written"));
        }
        if (o != Outcome::Answered) {
            endProgress();
            return ExchangeFailed("the measurement request of sample " + std::to_string(k + 1));
        }
        const std::string line = RecorderDataLine();
        if (!out.Write(k == 0 ? header + line : line, reason)) {
            endProgress();
            return Fail(kExitCannotWrite, "cannot write " + a.output +
                                              (k == 0 ? ": " + reason + " - no file written" : " - it holds the samples before"));
        }
        ++k;
        if (progress) std::fprintf(stderr, "\rsample %u of %u", unsigned(k), unsigned(n));
    }
    endProgress();
    return kExitOk;
}

int CmdMeasure(const Args& a) {
    if (!a.positional.empty()) return Fail(kExitUsage, "measure: no arguments beside its options");
    const long n = a.count < 0 ? 1 : a.count;
    if (const int code = Connect(a, Reach::Parameters, false); code != kExitOk) return code;
    ArmStop();
    // Frames come at the line's pace; a frame is printed once nothing has followed it: when the next
    // request begins on a quiet line, or, for the last one, after the line's quiet time.
    std::string held;
    auto release = [&](bool disturbed) {
        if (!held.empty() && !disturbed) {
            std::fputs(held.c_str(), stdout);
            std::fflush(stdout);
        }
        held.clear();
    };
    for (long k = 0; n == 0 || k < n; ++k) {
        const Outcome o = TakeMeasurement(true);
        release(PreviousAnswerDisturbed());
        if (o == Outcome::Stopped) {
            release(ConfirmLastAnswer() != Outcome::Answered);
            return n == 0 ? kExitOk : Fail(kExitInterrupted, "interrupted");
        }
        if (o != Outcome::Answered) return ExchangeFailed("the measurement request");
        held = MeasurementLine(a.json);
    }
    const Outcome last = ConfirmLastAnswer();
    release(last != Outcome::Answered);
    if (last == Outcome::Disturbed) return ExchangeFailed("the last measurement request");
    return kExitOk;
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
    if (const int code = Connect(a, Reach::Parameters, false); code != kExitOk) return code;
    std::array<uint16_t, 256> video{}, trigger{};
    if (const int code = ReadBlocksOf(0, video); code != kExitOk) return code;
    if (const int code = ReadBlocksOf(1, trigger); code != kExitOk) return code;
    std::string csv = "index,pixel,video,trigger\n";
    for (int i = 0; i < 256; ++i)
        csv += std::to_string(i) + "," + std::to_string(int(xArray[size_t(i)])) + "," + std::to_string(video[size_t(i)]) +
               "," + std::to_string(trigger[size_t(i)]) + "\n";
    OutputFile out;
    if (const int code = out.Open(a.output.empty() ? "-" : a.output, a.force); code != kExitOk) return code;
    std::string reason;
    if (!out.Write(csv, reason))
        return Fail(kExitCannotWrite, "cannot write " + a.output + ": " + reason + " - no file written");
    return kExitOk;
}
