// How long an X-FLASH write of a full table (2048 values) takes against the paced simulated
// sensor, as a ratio of its pure line time: 257 exchanges (1 clear, 256 writes) of 36 bytes
// each way at 19200 baud, 10 bits a byte. A measured reference from the same run is printed
// beside it: 257 plain measurement exchanges done by the recorder at increment 0.
#include <stdlib.h>

#include <cstdio>
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
#include "sim/sensor_sim.h"

int main(int argc, char** argv) {
    if (!StartHeadless(argc, argv)) return 1;
    sim::Simulator sensor("M01", true);
    if (!StartProgramOn(sensor)) return 1;
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
    start = Timer();
    TestLeftClick(pCalib, CALIB_BTNWriteXFLASH);
    const double total = Timer() - start;
    size_t frames = 0;
    for (const auto& r : sensor.Requests()) frames += r.word(1) == 101 || r.word(1) == 102;
    const std::string status = TestCtrlText(pHandle, PANEL_STRStatus);

    EndProgram();
    sensor.Stop();
    std::filesystem::remove_all(dir);

    std::printf("X-FLASH write of 2048 values: %zu frames, status \"%s\"\n", frames, status.c_str());
    std::printf("line time of %d exchanges of 72 bytes: %.3f s\n", exchanges, lineTime);
    std::printf("total: %.3f s = %.4f x line time  (target within 1.10)\n", total, total / lineTime);
    std::printf("reference, %d measurement exchanges: %.3f s = %.4f x line time; write / reference = %.4f\n",
                exchanges, reference, reference / lineTime, total / reference);
    std::printf("%s\n", total / lineTime <= 1.10 && frames == size_t(exchanges) ? "target met" : "target MISSED");
    return 0;
}
