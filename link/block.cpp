// Measured data from the sensor: one measurement frame (command 8) and 64-word blocks of the
// video signal or the internal trigger buffer (command 9).
#include <string>

#include "link/com232.h"
#include "link/status.h"
#include "sensor/vars.h"

int PushGETRAW() {
    parameter[1] = GET_RAW;
    parameter[2] = 0;
    FillTxBuf(GET_RAW, 0, pp.data());
    switch (Exchange({GET_RAW, true, true, "Line Ok!"})) {
    case Outcome::Answered: return 1;
    case Outcome::TimedOut:
    case Outcome::Refused: ShowStatus("Timeout RS232-Line!"); break;
    case Outcome::LineLost: ShowStatus(LineLostText()); break;
    default: break;  // stopped, or the port changed: the one who ended it says so
    }
    stop_flag = 1;
    return 0;
}

int ReadData64(uint16_t offset, uint16_t source) {
    // adcbuf holds 256 words: a block starting above word 192 would not fit.
    if (offset > 192) return 0;
    parameter[1] = GET_DATA64;
    FillBlockRequest(parameter[0], offset, source);
    const char* wait = "Waiting for Data[64] Block x ...";
    switch (offset) {
    case 0: wait = "Waiting for Data[64] Block 0 ..."; break;
    case 64: wait = "Waiting for Data[64] Block 1 ..."; break;
    case 128: wait = "Waiting for Data[64] Block 2 ..."; break;
    case 192: wait = "Waiting for Data[64] Block 3 ..."; break;
    default: break;
    }
    int result = 0;
    switch (Exchange({GET_DATA64, false, false, nullptr, wait})) {
    case Outcome::Answered:
        szStatus = "Data[64] block received!";
        for (int i = 0; i < 64; ++i) adcbuf[size_t(offset + i)] = GetWord(szReadBuf.data(), i);
        result = 1;
        break;
    case Outcome::TimedOut: szStatus = "Timeout-RS-232 while reading 64 data-words!"; break;
    case Outcome::Refused:
        szStatus = "Error reading Data[64] block! - " + std::to_string(LastRefusal().bytes) + " bytes instead of 128";
        break;
    case Outcome::LineLost: szStatus = LineLostText(); break;
    default: return 0;
    }
    ShowStatus(szStatus);
    return result;
}
