// Measured data from the sensor: one measurement frame (command 8) and 64-word blocks of the
// video signal or the internal trigger buffer (command 9).
#include <algorithm>
#include <string>

#include "app/app.h"
#include "link/com232.h"
#include "params/vars.h"
#include "platform/rs232.h"
#include "platform/userint.h"
#include "platform/utility.h"

int PushGETRAW() {
    FlushInQ(com);
    FlushOutQ(com);
    parameter[1] = 8;
    parameter[2] = 0;
    FillTxBuf(8, 0, pp.data());
    nBytesW = ComWrt(com, reinterpret_cast<const char*>(szWriteBuf.data()), FRAME_BYTES);
    if (nBytesW == FRAME_BYTES) ShowStatus("Line Ok!");
    graph_flag = 0;
    double t0 = Timer();
    for (;;) {
        if (graph_flag == 1) return 1;
        ProcessSystemEvents();
        if (Timer() - t0 > TIMEOUT) {
            ShowStatus("Timeout RS232-Line!");
            stop_flag = 1;
            return 0;
        }
    }
}

int ReadData64(uint16_t offset, uint16_t source) {
    // adcbuf holds 256 words: a block starting above word 192 would not fit.
    if (offset > 192) return 0;
    parameter[1] = 9;
    FlushOutQ(com);
    FlushInQ(com);

    auto put = [](int word, uint16_t v) {
        szWriteBuf[2 * word] = uint8_t(v >> 8);
        szWriteBuf[2 * word + 1] = uint8_t(v & 0xFF);
    };
    put(0, parameter[0]);
    put(1, 9);
    put(2, offset);
    put(3, source);
    for (int w = 4; w <= 17; ++w) put(w, 0);
    nBytesW = ComWrt(com, reinterpret_cast<const char*>(szWriteBuf.data()), FRAME_BYTES);

    const char* wait = "Waiting for Data[64] Block x ...";
    switch (offset) {
        case 0: wait = "Waiting for Data[64] Block 0 ..."; break;
        case 64: wait = "Waiting for Data[64] Block 1 ..."; break;
        case 128: wait = "Waiting for Data[64] Block 2 ..."; break;
        case 192: wait = "Waiting for Data[64] Block 3 ..."; break;
        default: break;
    }
    ShowStatus(wait);

    double t0 = Timer();
    int n = 0;
    bool timedOut = false;
    for (;;) {
        ProcessSystemEvents();
        n = GetInQLen(com);
        if (Timer() - t0 > TIMEOUT) {
            szStatus = "Timeout-RS-232 while reading 64 data-words!";
            timedOut = true;
            break;
        }
        if (n >= 128) break;
    }
    // Read what the buffer holds; a flood beyond it is discarded.
    int want = std::clamp(n, 0, BUF_BYTES);
    nBytesR = want > 0 ? ComRd(com, reinterpret_cast<char*>(szReadBuf.data()), want) : 0;
    if (n > want) FlushInQ(com);

    int result = 0;
    if (nBytesR == 128) {
        szStatus = "Data[64] block received!";
        for (int i = 0; i < 64; ++i)
            adcbuf[offset + i] = uint16_t(szReadBuf[2 * i] << 8 | szReadBuf[2 * i + 1]);
        result = 1;
    } else if (!timedOut || nBytesR > 128) {
        szStatus = "Error reading Data[64] block! - " + std::to_string(n) + " bytes instead of 128";
    }
    ShowStatus(szStatus);
    return result;
}
