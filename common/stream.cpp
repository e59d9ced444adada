// Measurement frames: one, or a stream at the line's pace that rides over faulty answers.
#include "common/stream.h"

#include <cstdio>
#include <string>

#include "common/connect.h"
#include "platform/utility.h"
#include "sensor/codec.h"
#include "sensor/vars.h"

Outcome TakeMeasurement(bool paced) {
    Measurement m;
    m.paced = paced;
    const Outcome o = ExchangeMeasurement(m);
    if (o == Outcome::Answered) CopyPPtoRAWVars();
    return o;
}

void LostRun::Add(uint64_t seq, const std::string& reason) {
    if (count++ == 0) {
        first = seq;
        why = reason;
    }
}

void LostRun::Tell() {
    if (count == 0) return;
    const std::string numbers = count == 1 ? "number " + std::to_string(first)
                                           : "numbers " + std::to_string(first) + " to " + std::to_string(first + count - 1);
    std::fprintf(stderr, "kryta-lt: %s: %llu frame%s lost, %s: %s\n", ShownDevice().c_str(),
                 static_cast<unsigned long long>(count), count == 1 ? "" : "s", numbers.c_str(), why.c_str());
    count = 0;
}

std::string FailureReason(const std::string& what, int& code) {
    std::string text;
    code = ExchangeFailedText(what, text);
    const std::string& device = ShownDevice();
    return text.rfind(device + ": ", 0) == 0 ? text.substr(device.size() + 2) : text;
}

StreamEnd RunStream(FrameStream& s) {
    std::string held;  // the frame taken last, passed on once nothing has followed it
    bool holding = false;
    uint64_t heldSeq = 0;
    double lastFrameAt = Timer();
    LostRun run;
    // The held frame: passed on when it stands, else lost. False when passing it failed.
    auto resolve = [&](bool stands) {
        if (!holding) return true;
        holding = false;
        if (!stands) {
            ++s.lost;
            run.Add(heldSeq, "the line is disturbed: bytes after the answer to the measurement request");
            return true;
        }
        ++s.measured;
        run.Tell();
        return held.empty() || !s.pass || s.pass(held, s.context);
    };
    for (;;) {
        if (s.more && !s.more(holding, s.context)) {
            if (!holding) break;
            const Outcome last = ConfirmLastAnswer();
            if (!resolve(last == Outcome::Answered)) return {Outcome::Answered, kExitOutput};
            if (last != Outcome::Answered && !s.ride) return {last, ExchangeFailed("the last measurement request")};
            continue;  // the frame counted or not: ask again
        }
        ++s.seq;
        const Outcome o = TakeMeasurement(true);
        if (o == Outcome::LineLost || o == Outcome::ConnectionChanged) {
            if (holding) holding = false, ++s.lost;
            ++s.lost;
            run.Tell();
            return {o, ExchangeFailed("the measurement request")};
        }
        if (!resolve(!PreviousAnswerDisturbed())) return {Outcome::Answered, kExitOutput};
        if (o == Outcome::Stopped) {
            --s.seq;  // no answer was awaited to its end
            run.Tell();
            return {o, kExitInterrupted};
        }
        if (o == Outcome::Answered) {
            held = s.take ? s.take(s.seq, s.context) : std::string();
            holding = true;
            heldSeq = s.seq;
            lastFrameAt = Timer();
            continue;
        }
        if (!s.ride) return {o, ExchangeFailed("the measurement request")};
        int code = kExitNoAnswer;
        run.Add(s.seq, FailureReason("the measurement request", code));
        ++s.lost;
        if (Timer() - lastFrameAt > kSilenceLimit) {
            std::fprintf(stderr, "kryta-lt: %s: no measurement frame for %d s (%llu lost); the last answer: %s\n",
                         ShownDevice().c_str(), int(kSilenceLimit), static_cast<unsigned long long>(run.count),
                         FailureReason("the measurement request", code).c_str());
            run.count = 0;
            return {o, code};
        }
    }
    run.Tell();
    return {Outcome::Answered, kExitOk};
}

