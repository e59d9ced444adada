// How long an X-FLASH write of a full table (2048 values) takes against the paced simulated
// sensor, as a ratio of its pure line time: 257 exchanges (1 clear, 256 writes) of 36 bytes
// each way at 19200 baud, 10 bits a byte. A measured reference from the same run is printed
// beside it: 257 plain measurement exchanges done by the recorder at increment 0.
// Whether the write keeps its pace to the end: the mean gap between the sensor's receipt of
// consecutive X-FLASH frames, over the first 20 and the last 20 gaps. CPU is the program's (every
// thread but the simulator's). Through a real window:
//   QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1920x1080x24" build/bin/bench_xflash_write
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <vector>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/app.h"
#include "files/files.h"
#include "sensor/vars.h"
#include "support/testing.h"
#include "platform/userint.h"
#include "platform/utility.h"
#include "bench/program_on_sensor.h"
#include "bench/program_usage.h"
#include "sim/sensor_sim.h"

int main(int argc, char** argv) {
    if (!StartHeadless(argc, argv)) return 1;
    sim::Simulator sensor("M01", true);
    if (!StartCounted(sensor)) return 1;
    setenv("KRYTA_COM1", sensor.DevicePath().c_str(), 1);
    if (StartProgram() != 0) return 1;
    char tmpl[] = "/tmp/kryta-bench-xf-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    const std::string table = dir + "/XF-LINEAR.DAT";
    {
        std::ofstream out(table, std::ios::binary);
        for (int i = 0; i < 2048; ++i) out << (i * 31) % 65536 << "\r\n";
    }

    const int exchanges = 257;
    const double lineTime = exchanges * 72 * 10 / 19200.0;

    // Measured reference: 257 measurement exchanges back to back.
    rec_fname = dir + "/ref.dat";
    SetCtrlVal(pRec, RECORD_NUMsample, exchanges);
    SetCtrlVal(pRec, RECORD_NUMinctime, 0.0);
    double start = Timer();
    TestLeftClick(pRec, RECORD_CBTNStartRecord);
    const double reference = Timer() - start;

    TestUserSetValue(pRec, RECORD_NUMinctime, 8642.0);
    TestQueueFileSelect(VAL_EXISTING_FILE_SELECTED, table);
    sensor.ClearRequests();
    const Usage u0 = Now();
    start = Timer();
    TestLeftClick(pCalib, CALIB_BTNWriteXFLASH);
    const double total = Timer() - start;
    const Usage u1 = Now();
    std::vector<double> at;
    for (const auto& r : sensor.Requests())
        if (r.word(1) == 101 || r.word(1) == 102) at.push_back(r.time);
    const size_t frames = at.size();
    std::vector<double> gaps;
    for (size_t i = 1; i < at.size(); ++i) gaps.push_back(at[i] - at[i - 1]);
    const size_t k = std::min<size_t>(20, gaps.size() / 2);
    const double first = k ? std::accumulate(gaps.begin(), gaps.begin() + k, 0.0) / k : 0;
    const double last = k ? std::accumulate(gaps.end() - k, gaps.end(), 0.0) / k : 0;
    const std::string status = TestCtrlText(pHandle, PANEL_STRStatus);

    EndProgram();
    sensor.Stop();
    std::filesystem::remove_all(dir);

    std::printf("X-FLASH write of 2048 values: %zu frames, status \"%s\"\n", frames, status.c_str());
    std::printf("line time of %d exchanges of 72 bytes: %.3f s\n", exchanges, lineTime);
    std::printf("total: %.3f s = %.4f x line time  (target <= 1.05)\n", total, total / lineTime);
    std::printf("frame gaps: first %zu %.2f ms, last %zu %.2f ms, last / first = %.4f (target <= 1); "
                "the line's 37.50 ms\n", k, first * 1e3, k, last * 1e3, first > 0 ? last / first : 0);
    std::printf("CPU of the program during the write: %.2f %% of a core, %.2f wake-ups per frame\n",
                100 * (u1.cpu - u0.cpu) / (u1.wall - u0.wall), double(u1.switches - u0.switches) / std::max<size_t>(frames, 1));
    std::printf("reference, %d measurement exchanges: %.3f s = %.4f x line time; write / reference = %.4f\n",
                exchanges, reference, reference / lineTime, total / reference);
    const bool met = total / lineTime <= 1.05 && last <= first && frames == size_t(exchanges);
    std::printf("%s\n", met ? "targets met" : "targets MISSED");
    return 0;
}
