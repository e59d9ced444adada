// How closely the data recorder keeps its time increment against the paced simulated sensor.
//
// Records 50 samples at 0.1 s and takes the sample starts from the times at which the sensor
// received each request. Deviation of a sample = its distance from the previous sample start
// minus the increment (each sample is planned one increment after the previous one began).
// Reference measured in the same run: one request/answer exchange at the sensor's real line
// speed (a recording with increment 0, where samples follow each other as fast as they can).
#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "files/files.h"
#include "sensor/vars.h"
#include "support/testing.h"
#include "platform/userint.h"
#include "platform/utility.h"
#include "bench/program_on_sensor.h"
#include "sim/sensor_sim.h"

namespace {

std::vector<double> RequestTimes(const sim::Simulator& s) {
    std::vector<double> t;
    for (const auto& r : s.Requests())
        if (r.word(1) == 8) t.push_back(r.time);
    return t;
}

std::vector<double> Record(sim::Simulator& s, const std::string& file, int samples, double increment) {
    std::filesystem::remove(file);
    rec_fname = file;
    SetCtrlVal(pRec, RECORD_NUMsample, samples);
    SetCtrlVal(pRec, RECORD_NUMinctime, increment);
    s.ClearRequests();
    TestLeftClick(pRec, RECORD_CBTNStartRecord);
    return RequestTimes(s);
}

// Share of one core that the program's thread (everything but the simulator) used while fn ran.
template <typename Fn>
double CpuShare(Fn fn) {
    auto cpu = [] {
        rusage u{};
        getrusage(RUSAGE_THREAD, &u);
        return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
    };
    const double c0 = cpu(), t0 = Timer();
    fn();
    return (cpu() - c0) / (Timer() - t0);
}

void PressStop(void*) { TestLeftClick(pHandle, PANEL_BTNStop); }

}  // namespace

int main(int argc, char** argv) {
    if (!StartHeadless(argc, argv)) return 1;
    sim::Simulator sensor("M01", true);
    if (!StartProgramOn(sensor)) return 1;
    TestLeftClick(pHandle, PANEL_TOGGBTN_Recorder);  // the operator watches the recorder page
    char tmpl[] = "/tmp/kryta-bench-rec-XXXXXX";
    const std::string dir = mkdtemp(tmpl);

    // Reference: back-to-back exchanges.
    const auto fast = Record(sensor, dir + "/ref.dat", 20, 0.0);
    if (fast.size() < 20) {
        std::printf("reference recording incomplete (%zu requests)\n", fast.size());
        return 1;
    }
    const double exchange = (fast.back() - fast.front()) / double(fast.size() - 1);

    const int samples = 50;
    const double increment = 0.1;
    const auto t = Record(sensor, dir + "/rec.dat", samples, increment);

    // What waiting costs: the recorder between samples (5 samples, 1 s apart), against RUN at the
    // line's speed and the idle program, for the same time each.
    const double waiting = CpuShare([&] { Record(sensor, dir + "/slow.dat", 5, 1.0); });
    const double idle = CpuShare([] {
        TestRunLater(5.0, [](void*) { QuitUserInterface(0); }, nullptr);
        RunUserInterface();
    });
    const double run = CpuShare([] {
        TestRunLater(5.0, PressStop, nullptr);
        TestLeftClick(pHandle, PANEL_BTNRun);
    });
    EndProgram();
    sensor.Stop();
    std::filesystem::remove_all(dir);
    if (int(t.size()) != samples) {
        std::printf("recording incomplete: %zu of %d samples\n", t.size(), samples);
        return 1;
    }

    double sum = 0, largest = 0, drift = 0;
    for (int k = 1; k < samples; ++k) {
        const double d = std::fabs((t[k] - t[k - 1]) - increment);
        sum += d;
        largest = std::max(largest, d);
    }
    drift = (t.back() - t.front()) - (samples - 1) * increment;
    const double mean = sum / (samples - 1);

    std::printf("recorder: %d samples at %.3f s against the paced simulator\n", samples, increment);
    std::printf("reference exchange (request to request, increment 0): %.2f ms\n", exchange * 1e3);
    std::printf("mean deviation of sample starts:    %.3f ms = %.4f x reference exchange  (target < 2 ms)\n",
                mean * 1e3, mean / exchange);
    std::printf("largest deviation of sample starts: %.3f ms = %.4f x reference exchange  (target < 10 ms)\n",
                largest * 1e3, largest / exchange);
    std::printf("drift over the recording:           %.3f ms = %.4f x reference exchange\n", drift * 1e3,
                drift / exchange);
    std::printf("CPU of one core: recorder waiting between samples %.2f %%, RUN %.2f %%, idle %.2f %%\n",
                100 * waiting, 100 * run, 100 * idle);
    std::printf("recorder waiting = %.3f x RUN  (target: at most 0.5 %% of a core)\n", waiting / run);
    const bool met = mean < 0.002 && largest < 0.010 && waiting <= 0.005;
    std::printf("%s\n", met ? "targets met" : "targets MISSED");
    return 0;
}
