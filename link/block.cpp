// Measured data from the sensor: measurement frames (command 8) and 64-word blocks of the video
// signal or the internal trigger buffer (command 9).
#include <array>

#include "link/road.h"
#include "sensor/codec.h"
#include "sensor/vars.h"

Outcome ExchangeMeasurement(const Measurement& m) {
    if (m.activeBlock) CopyVarsToPP(0);
    parameter[2] = 0;
    Request r;
    r.expect.command = GET_RAW;
    r.expect.measurementOnly = m.measurementOnly;
    r.stoppable = m.stoppable;
    r.paced = m.paced;
    r.written = m.written;
    return Exchange(r);
}

int PushGETRAW(WrittenHook written) {
    Measurement m;
    m.activeBlock = false;
    m.written = written;
    return ExchangeMeasurement(m) == Outcome::Answered ? 1 : 0;
}

int ReadData64(uint16_t offset, uint16_t source, WrittenHook written) {
    // adcbuf holds 256 words: a block starting above word 192 would not fit.
    if (offset > 192) return 0;
    const std::array<uint16_t, 15> words{source};
    Request r;
    r.expect.command = GET_DATA64;
    r.expect.argument = offset;
    r.words = words.data();
    r.written = written;
    if (Exchange(r) != Outcome::Answered) return 0;
    for (int i = 0; i < 64; ++i) adcbuf[size_t(offset + i)] = GetWord(szReadBuf.data(), i);
    return 1;
}

namespace {

BlockHook blockHook = nullptr;
uint16_t blockOffset = 0;

void BlockWritten(bool) {
    if (blockHook) blockHook(blockOffset, nullptr);
}

}  // namespace

Outcome ReadBlocks(uint16_t source, BlockHook block) {
    for (uint16_t offset = 0; offset < 256; offset += 64) {
        if (stop_flag != 0) return Outcome::Stopped;
        blockHook = block;
        blockOffset = offset;
        ReadData64(offset, source, BlockWritten);
        // the outcome of the block's exchange, as the road left it
        const Outcome o = LastOutcome();
        if (block) block(offset, &o);
        if (o != Outcome::Answered) return o;
    }
    return Outcome::Answered;
}
