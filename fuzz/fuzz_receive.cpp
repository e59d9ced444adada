// libFuzzer target: arbitrary bytes from the line as one answer window, judged against a request,
// and what is believed of them through the frame decode, the hardware answer, the firmware text,
// the parameter store and the panel transfer, with the real panels loaded headless. Aborts when a
// range rule does not hold after a transfer, or when a window is believed that is not exactly its
// answer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "app/app.h"
#include "fuzz/fuzz_program.h"
#include "link/com232.h"
#include "params/status.h"
#include "sensor/codec.h"
#include "ops/ops.h"
#include "params/panel.h"
#include "sensor/vars.h"
#include "support/testing.h"
#include "platform/userint.h"

namespace {

void CheckActiveBlock() {
    const uint16_t cvp = ccdvirtpixel;
    int b = BlockStart(ParamVariant());
    Check(parameter[b + 4] <= cvp);                                  // edgeBegin
    Check(parameter[b + 5] <= cvp && parameter[b + 5] != 0);         // edgeEnd
    Check(parameter[b + 3] <= 4);                                    // evalMode
    Check(parameter[b + 2] <= 1 && parameter[b + 1] <= 1);           // polarity, powerMode
    Check(parameter[b + 0] <= 1000);                                 // power
    int vt = ParamVariant() == Variant::CL ? 13 : 14;
    Check(parameter[b + vt] >= 10 && parameter[b + vt] <= 950);      // videoThreshold
    for (int i = 0; i < 256; ++i) Check(thdArray[i] == thdArray[0]);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartProgramHeadless();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    uint8_t mode = data[0];
    ++data;
    --size;

    // the window judged against one of the requests that await a frame
    static const uint16_t kRequests[] = {GET_RAM, GET_EEPROM, ECHO_CHECK, TEACH, GET_RAW, GET_HARDWARE,
                                         RESET_MAXMIN, XFLASH_CLEAR, XFLASH_WRITE};
    AnswerExpectation e;
    e.command = kRequests[(mode >> 4) % std::size(kRequests)];
    e.argument = (mode & 4) ? 1 : 0;
    if (mode & 0x40) {
        e.habit.command = e.command;
        e.habit.echoesArgument = true;
    }
    e.measurementOnly = (mode & 0x80) != 0;
    const Verdict v = JudgeAnswer(e, data, int(size));
    if (v == Verdict::Fits) {
        // a synced frame, and after it fewer bytes than a frame without a sync word among them
        Check(size >= size_t(FRAME_BYTES) && size < size_t(2 * FRAME_BYTES) && GetWord(data, 0) == SYNC_SENSOR);
        for (size_t i = FRAME_BYTES; i + 1 < size; ++i) Check(!(data[i] == 0x00 && data[i + 1] == 0xAA));
        const uint16_t command = GetWord(data, 1);
        Check((command == GET_RAW) == (e.command == GET_RAW) || (e.command == GET_RAW && !e.measurementOnly));
        if (e.command == GET_HARDWARE) Check(command == GET_HARDWARE);
        if (mode & 0x40) Check(command == e.command && GetWord(data, 2) == e.argument);
    }
    if (v != Verdict::Fits && v != Verdict::Short) Check(size >= size_t(FRAME_BYTES) || v == Verdict::Disturbed);

    // a frame as the link takes it (never more than 36 bytes of the input)
    std::memset(szReadBuf.data(), 0, FRAME_BYTES);
    std::memcpy(szReadBuf.data(), data, size < FRAME_BYTES ? size : FRAME_BYTES);
    graph_flag = GetRxBuf();

    std::array<uint16_t, 13> w{};
    for (int i = 1; i <= 12; ++i) w[i] = uint16_t(szReadBuf[2 * i] << 8 | szReadBuf[2 * i + 1]);
    if (mode & 1) {
        w[1] = 10;
        ShowHARDWAREInfo(IdentifySensor(w));
        Check(ccdvirtpixel >= 256 && ccdvirtpixel <= 8192);
        Check(pixB == 1 && pixE >= 1);
        Check(xArray[255] <= 255.0 * 32);
    }

    // the firmware text, plain or word-coded, from whatever follows
    std::string text = FirmwareText(data, int(size < 72 ? size : 72), (mode & 2) ? 2 : 1);
    Check(text.size() <= 144);

    if (graph_flag) {
        CopyPPtoRAWVars();
    } else {
        CopyPPtoVars((mode & 4) ? 1 : 0);
        if (mode & 8) {
            SetPanelValuesOfVariant();
            CheckActiveBlock();
            GetPanelValuesOfVariant();
            CopyVarsToPP(0);
        }
    }
    // keep the edge graph's model from growing without end
    if ((mode & 0x30) == 0x30) DeleteGraphPlot(pHandle, PANEL_GRAPHVideoBar, VAL_DELETE_ALL);
    ProcessSystemEvents();  // as the program does between frames
    return 0;
}
