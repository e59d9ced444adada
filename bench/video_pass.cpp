// Duration of one VIDEO pass (a measurement request and four 64-word blocks) against the paced
// simulated sensor.
//
// Reference measured in the same run: a bare client (no user interface, blocking reads on the
// line) doing the same five exchanges back to back against the same simulator. The program's
// pass time is taken from the sensor's side: the distance between the measurement requests
// that start two passes in a row. Also printed against the nominal line time of a pass
// (728 bytes x 10 bits / 19200 baud = 379 ms, both directions counted).
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/app.h"
#include "support/testing.h"
#include "platform/userint.h"
#include "platform/utility.h"
#include "bench/program_on_sensor.h"
#include "sim/sensor_sim.h"
#include "bench/raw_line.h"

namespace {

bool Exchange(int fd, uint16_t command, uint16_t argument, uint16_t word3, size_t answer) {
    std::array<uint8_t, 36> req{};
    req[1] = 0x55;
    req[2] = uint8_t(command >> 8);
    req[3] = uint8_t(command);
    req[4] = uint8_t(argument >> 8);
    req[5] = uint8_t(argument);
    req[6] = uint8_t(word3 >> 8);
    req[7] = uint8_t(word3);
    if (write(fd, req.data(), req.size()) != 36) return false;
    std::array<uint8_t, 128> buf{};
    return ReadExactly(fd, buf.data(), answer);
}

// Mean seconds of a bare-client pass over `passes` passes.
double BarePass(const std::string& device, int passes) {
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return 0;
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    const double t0 = Timer();
    int done = 0;
    for (; done < passes; ++done) {
        bool ok = Exchange(fd, 8, 0, 0, 36);
        for (uint16_t off = 0; ok && off < 256; off += 64) ok = Exchange(fd, 9, off, 0, 128);
        if (!ok) break;
    }
    const double mean = done ? (Timer() - t0) / done : 0;
    close(fd);
    return mean;
}

}  // namespace

int main(int argc, char** argv) {
    if (!StartHeadless(argc, argv)) return 1;
    const int kPasses = argc > 1 ? atoi(argv[1]) : 8;

    sim::Simulator sensor("M01", true);
    if (!sensor.Start()) return 1;
    const double ref = BarePass(sensor.DevicePath(), 3);
    setenv("KRYTA_COM1", sensor.DevicePath().c_str(), 1);
    if (StartProgram() != 0) return 1;

    sensor.ClearRequests();
    // STOP once the pass after the measured ones has begun
    const double budget = (kPasses + 1.5) * std::max(ref, 0.379);
    TestLeftClickLater(budget, pHandle, PANEL_BTNStop);
    TestLeftClick(pHandle, PANEL_BTNVideo);
    std::vector<double> starts;
    for (const auto& r : sensor.Requests())
        if (r.word(1) == 8) starts.push_back(r.time);
    EndProgram();
    sensor.Stop();
    if (starts.size() < 2 || ref <= 0) {
        std::printf("VIDEO measurement incomplete (%zu passes, reference %.3f s)\n", starts.size(), ref);
        return 1;
    }
    const double pass = (starts.back() - starts.front()) / double(starts.size() - 1);
    std::printf("VIDEO pass, paced simulator (19200 baud), %zu passes:\n", starts.size() - 1);
    std::printf("  bare-client reference      %7.1f ms\n", 1000 * ref);
    std::printf("  program                    %7.1f ms\n", 1000 * pass);
    std::printf("  program / reference        %7.1f %%  (target within 110 %%)\n", 100 * pass / ref);
    std::printf("  program / nominal line time of 379 ms  %5.1f %%\n", 100 * pass / 0.379);
    return 0;
}
