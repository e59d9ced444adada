// The sensor frame and the command table.
#include "sensor/frame.h"

#include "sensor/vars.h"

std::array<uint8_t, BUF_BYTES> szWriteBuf{};
std::array<uint8_t, BUF_BYTES> szReadBuf{};

namespace {

constexpr uint16_t kXFlashFiller = 0x00AA;

constexpr uint16_t kCommands[] = {SEND_RAM,   GET_RAM,      SEND_EEPROM,  GET_EEPROM, ECHO_CHECK,
                                  TEACH,      GET_VERSION,  GET_RAW,      GET_DATA64, GET_HARDWARE,
                                  RESET_MAXMIN, XFLASH_CLEAR, XFLASH_WRITE};

}  // namespace

bool IsCommand(uint16_t code) {
    for (uint16_t c : kCommands)
        if (c == code) return true;
    return false;
}

AnswerKind AnswerOf(uint16_t command) {
    switch (command) {
    case SEND_RAM:
    case SEND_EEPROM: return AnswerKind::None;
    case GET_VERSION:
    case GET_DATA64: return AnswerKind::Bytes;
    default: return AnswerKind::Frame;
    }
}

bool AnswerFits(uint16_t command, uint16_t answered) {
    switch (command) {
    case GET_HARDWARE: return answered == GET_HARDWARE;
    case GET_RAW:
    case ECHO_CHECK: return true;
    default: return answered == command || !IsCommand(answered);
    }
}

int AnswerBytes(uint16_t command) {
    switch (AnswerOf(command)) {
    case AnswerKind::None: return 0;
    case AnswerKind::Bytes: return command == GET_VERSION ? FIRMWARE_TEXT_BYTES : DATA_BLOCK_BYTES;
    default: return FRAME_BYTES;
    }
}

bool EchoableAnswer(uint16_t command) {
    switch (command) {
    case GET_HARDWARE:
    case XFLASH_WRITE:
    case GET_RAW: return false;
    default: return AnswerOf(command) == AnswerKind::Frame;
    }
}

Verdict JudgeAnswer(const AnswerExpectation& e, const uint8_t* bytes, int count) {
    const int want = AnswerBytes(e.command);
    if (count < want || want == 0) return Verdict::Short;
    const bool surplus = count > want;
    if (AnswerOf(e.command) == AnswerKind::Bytes) return surplus ? Verdict::Disturbed : Verdict::Fits;
    if (GetWord(bytes, 0) != SYNC_SENSOR) return surplus ? Verdict::Disturbed : Verdict::Sync;
    const uint16_t command = GetWord(bytes, 1);
    const uint16_t argument = GetWord(bytes, 2);
    if (!AnswerFits(e.command, command) || (e.measurementOnly && command != GET_RAW)) return Verdict::Command;
    if (e.echoes && EchoableAnswer(e.command)) {
        if (command != e.command) return Verdict::Command;
        if (argument != e.argument) return Verdict::Argument;
    }
    // A parameter frame's answer that names the other frame is that frame's answer, whether or not
    // the sensor echoes otherwise.
    if ((e.command == GET_RAM || e.command == GET_EEPROM) && e.argument <= 1 &&
        argument == 1 - e.argument)
        return Verdict::Argument;
    return surplus ? Verdict::Disturbed : Verdict::Fits;
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
