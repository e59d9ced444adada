// The sensor's commands that change its state: teach, the reset of the analog maximum/minimum, and
// the X-FLASH erase and write frames.
#include <array>

#include "link/road.h"
#include "sensor/codec.h"
#include "sensor/vars.h"

namespace {

Outcome Command(uint16_t command, WrittenHook written, bool stoppable) {
    parameter[2] = 0;
    Request r;
    r.expect.command = command;
    r.stoppable = stoppable;
    r.written = written;
    return Exchange(r);
}

}  // namespace

Outcome TeachSetPoint(WrittenHook written) {
    CopyVarsToPP(0);
    return Command(TEACH, written, false);
}

Outcome ResetAnalogMaxMin(WrittenHook written) { return Command(RESET_MAXMIN, written, false); }

Outcome ClearXFlash(WrittenHook written) { return Command(XFLASH_CLEAR, written, true); }

Outcome WriteXFlashFrame(uint16_t offset, uint16_t page, const uint16_t* eightWords, bool& confirmed) {
    std::array<uint16_t, 15> words{page};
    for (int i = 0; i < 8; ++i) words[size_t(1 + i)] = eightWords[i];
    Request r;
    r.expect.command = XFLASH_WRITE;
    r.expect.argument = offset;
    r.words = words.data();
    r.stoppable = true;
    // at the line's pace: bytes after this answer are found when the next frame begins
    // (PreviousAnswerDisturbed), or by ConfirmLastAnswer after the last one
    r.paced = true;
    const Outcome o = Exchange(r);
    // the answer names the page and offset just written in its first two data words
    confirmed = o == Outcome::Answered && pp[1] == page && pp[0] == offset;
    return o;
}
