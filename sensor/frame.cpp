// The sensor frame and the command table.
#include "sensor/frame.h"

#include <algorithm>

#include "sensor/vars.h"

std::array<uint8_t, BUF_BYTES> szWriteBuf{};
std::array<uint8_t, BUF_BYTES> szReadBuf{};

namespace {

constexpr uint16_t kXFlashFiller = 0x00AA;

}  // namespace

AnswerKind AnswerOf(uint16_t command) {
    switch (command) {
    case SEND_RAM:
    case SEND_EEPROM: return AnswerKind::None;
    case GET_VERSION:
    case GET_DATA64: return AnswerKind::Bytes;
    default: return AnswerKind::Frame;
    }
}

int AnswerBytes(uint16_t command) {
    switch (AnswerOf(command)) {
    case AnswerKind::None: return 0;
    case AnswerKind::Bytes: return command == GET_VERSION ? FIRMWARE_TEXT_BYTES : DATA_BLOCK_BYTES;
    default: return FRAME_BYTES;
    }
}

AnswerHabit LearnHabit(uint16_t command0, uint16_t argument0, uint16_t command1, uint16_t argument1) {
    AnswerHabit h;
    if (command0 == command1) h.command = command0;
    if (SwappedSet(argument0, argument1)) return h;
    h.echoesArgument = argument0 == 0 && argument1 == 1;
    if (argument0 == argument1) h.fixedArgument = argument0;
    return h;
}

bool SwappedSet(uint16_t argument0, uint16_t argument1) { return argument0 == 1 && argument1 == 0; }

int SyncAt(const uint8_t* bytes, int count) {
    for (int i = 0; i + 1 < count; ++i)
        if (bytes[i] == 0x00 && bytes[i + 1] == 0xAA) return i;
    return -1;
}

namespace {

bool HoldsSync(const uint8_t* bytes, int count) { return SyncAt(bytes, count) >= 0; }

}  // namespace

Verdict JudgeTail(const uint8_t* bytes, int count) {
    if (count <= 0) return Verdict::Fits;
    const int kept = std::min(count, FRAME_BYTES);
    if (HoldsSync(bytes, kept)) return Verdict::Twice;
    return count >= FRAME_BYTES ? Verdict::Disturbed : Verdict::Fits;
}

Verdict JudgeAnswer(const AnswerExpectation& e, const uint8_t* bytes, int count) {
    const int want = AnswerBytes(e.command);
    if (count < want || want == 0) return Verdict::Short;
    const Verdict tail = JudgeTail(bytes + want, count - want);
    if (AnswerOf(e.command) == AnswerKind::Bytes) return tail;
    if (GetWord(bytes, 0) != SYNC_SENSOR) {
        // bytes before a frame (its sync word further in), or a frame's worth after it: the line's
        // disturbance; a frame alone without the sync word: another device, or another speed
        if (tail != Verdict::Fits || (count > want && HoldsSync(bytes + 1, count - 1))) return Verdict::Disturbed;
        return Verdict::Sync;
    }
    const uint16_t command = GetWord(bytes, 1);
    const uint16_t argument = GetWord(bytes, 2);
    if (e.command == GET_RAW) {
        if (e.measurementOnly && command != GET_RAW) return Verdict::PassOver;
    } else if (command == GET_RAW) {
        return Verdict::Command;  // a measurement frame is never the answer of another request
    }
    if (e.command == GET_HARDWARE && command != GET_HARDWARE) return Verdict::Command;
    if (e.habit.command >= 0 && command != e.habit.command) return Verdict::Command;
    if (e.habit.echoesArgument && argument != e.argument) return Verdict::Argument;
    // a parameter answer that names the other frame of its set, where the sensor has shown one fixed
    // word, or after the set's main frame named the extension
    const bool namesOther = e.argument <= 1 && argument == 1 - e.argument;
    if (namesOther && e.habit.fixedArgument >= 0 && argument != e.habit.fixedArgument) return Verdict::Argument;
    if (e.mainArgument >= 0 && e.argument == 1 && SwappedSet(uint16_t(e.mainArgument), argument))
        return Verdict::Argument;
    return tail;
}

void FillTxBuf(uint16_t command, uint16_t argument, const uint16_t* words) {
    uint8_t* b = szWriteBuf.data();
    PutWord(b, 0, SYNC_PROGRAM);
    PutWord(b, 1, command);
    PutWord(b, 2, argument);
    for (int i = 0; i < 15; ++i) PutWord(b, 3 + i, words[i]);
}

int GetRxBuf() {
    const uint8_t* b = szReadBuf.data();
    if (GetWord(b, 1) == GET_RAW) {
        for (int i = 0; i < 16; ++i) pp[i] = GetWord(b, 2 + i);
        return 1;
    }
    for (int i = 0; i < 15; ++i) pp[i] = GetWord(b, 3 + i);
    return 0;
}

void FillBlockRequest(uint16_t sync, uint16_t offset, uint16_t source) {
    uint8_t* b = szWriteBuf.data();
    PutWord(b, 0, sync);
    PutWord(b, 1, GET_DATA64);
    PutWord(b, 2, offset);
    PutWord(b, 3, source);
    for (int w = 4; w < FRAME_WORDS; ++w) PutWord(b, w, 0);
}

void FillXFlashClear() {
    uint8_t* b = szWriteBuf.data();
    PutWord(b, 0, SYNC_PROGRAM);
    PutWord(b, 1, XFLASH_CLEAR);
    PutWord(b, 2, 0);
    for (int w = 3; w < FRAME_WORDS; ++w) PutWord(b, w, kXFlashFiller);
}

void FillXFlashWrite(uint16_t offset, uint16_t page, const uint16_t* eightWords) {
    uint8_t* b = szWriteBuf.data();
    PutWord(b, 0, SYNC_PROGRAM);
    PutWord(b, 1, XFLASH_WRITE);
    PutWord(b, 2, offset);
    PutWord(b, 3, page);
    for (int k = 0; k < 8; ++k) PutWord(b, 4 + k, eightWords[k]);
    for (int w = 12; w < FRAME_WORDS; ++w) PutWord(b, w, kXFlashFiller);
}
