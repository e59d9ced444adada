// Measurement frames as kryta-lt's commands take them: one exchange, or a stream at the line's
// pace that rides over faulty answers and tells each run of lost frames once it is over.
#pragma once

#include <cstdint>
#include <string>

#include "link/com232.h"

// One measurement frame, as the recorder and RUN ask for it after their first request: the
// request carries the active block; only a measurement frame answers it. Decoded into the
// measurement on success. `paced`: taken as soon as it is whole, to keep the line's pace (whether
// nothing followed it is known when the next request begins).
Outcome TakeMeasurement(bool paced);

// A sensor that gives no measurement frame for this long has gone silent: a stream of frames ends
// (publish waits for it to come back).
constexpr double kSilenceLimit = 10;

// A stream of measurement frames at the line's pace. A frame is passed on once nothing has
// followed it on the line. Riding over faults, a missing, refused or disturbed answer is a lost
// frame: counted, its number skipped, and each run of lost frames told in one line on standard
// error once frames come again; only a lost line or kSilenceLimit without a frame ends the stream.
// Without riding, the first fault ends it.
struct FrameStream {
    bool ride = true;
    // The frame just decoded, number `seq` (1 for the first request of the stream, lost ones
    // counted), as it will be passed on; "" passes nothing for it.
    std::string (*take)(uint64_t seq, void* context) = nullptr;
    // A frame that stood; false ends the stream (its output failed).
    bool (*pass)(const std::string& frame, void* context) = nullptr;
    // Before each request: false ends the stream (enough frames, or the caller's own reason);
    // `holding`: a frame taken is still waiting to be passed on.
    bool (*more)(bool holding, void* context) = nullptr;
    void* context = nullptr;

    uint64_t seq = 0;        // requests so far (go on from where an earlier stream ended)
    uint64_t measured = 0;   // frames that stood
    uint64_t lost = 0;       // frames lost to faults
};
// How a stream ended: Stopped (Ctrl-C), Answered (`more` or `pass` said so), else the fault that
// ended it, its line printed and its exit code in `code`.
struct StreamEnd {
    Outcome outcome = Outcome::Answered;
    int code = 0;
};
StreamEnd RunStream(FrameStream& s);

// A run of lost frames, told once it is over: how many, their numbers, why the first was lost.
struct LostRun {
    uint64_t first = 0, count = 0;
    std::string why;

    void Add(uint64_t seq, const std::string& reason);
    // One line on standard error when frames were lost; the run starts anew.
    void Tell();
};

// The reason of the last exchange's failure, the request for `what`, without the device it names;
// its exit code in `code`.
std::string FailureReason(const std::string& what, int& code);
