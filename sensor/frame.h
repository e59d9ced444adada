// The sensor frame: 36 bytes, 18 unsigned 16-bit words, each sent high byte first. Every request
// of the program is one frame; most answers are one frame too (the firmware text and the 64-word
// data blocks come unframed).
#pragma once

#include <array>
#include <cstdint>

constexpr int FRAME_BYTES = 36;
constexpr int FRAME_WORDS = 18;
constexpr int BUF_BYTES = 4096;

constexpr uint16_t SYNC_PROGRAM = 0x0055;  // word 0 of every request
constexpr uint16_t SYNC_SENSOR = 0x00AA;   // word 0 of every framed answer

// Command codes (word 1 of a request).
constexpr uint16_t SEND_RAM = 1;
constexpr uint16_t GET_RAM = 2;
constexpr uint16_t SEND_EEPROM = 3;
constexpr uint16_t GET_EEPROM = 4;
constexpr uint16_t ECHO_CHECK = 5;
constexpr uint16_t TEACH = 6;
constexpr uint16_t GET_VERSION = 7;
constexpr uint16_t GET_RAW = 8;  // also the command word of a measurement frame
constexpr uint16_t GET_DATA64 = 9;
constexpr uint16_t GET_HARDWARE = 10;
constexpr uint16_t RESET_MAXMIN = 11;
constexpr uint16_t XFLASH_CLEAR = 101;
constexpr uint16_t XFLASH_WRITE = 102;

// What a request is answered with.
enum class AnswerKind {
    None,    // nothing is awaited (SEND)
    Frame,   // one 36-byte frame
    Bytes,   // unframed bytes: the 72-byte firmware text, a 128-byte data block
};
constexpr int FIRMWARE_TEXT_BYTES = 72;
constexpr int DATA_BLOCK_BYTES = 128;

AnswerKind AnswerOf(uint16_t command);
// Whether a framed answer whose command word is `answered` can be the answer to `command`. The
// hardware answer carries 10; any frame answers a measurement request (8 marks a measurement
// frame) and the echo check; the other requests take any answer that is not marked as the answer
// of another request.
bool AnswerFits(uint16_t command, uint16_t answered);
// The code is one of the command table.
bool IsCommand(uint16_t code);
// How many bytes answer `command`: 36 for a frame, 72 for the firmware text, 128 for a data block,
// 0 when nothing is awaited.
int AnswerBytes(uint16_t command);
// Whether a sensor that echoes its requests' words (command and argument) echoes them in the
// answer to `command`. The hardware answer carries the CCD family in its argument word, an X-FLASH
// write answer names its page and offset in its data words, a measurement frame has no argument
// word: only the other answers are argument plus data words that can echo the request.
bool EchoableAnswer(uint16_t command);

// What the bytes received in one answer window are, judged against the request they answer.
// A window holds the answer alone: a byte before it (the answer does not start where the window
// does) or after it makes the window disturbed.
struct AnswerExpectation {
    uint16_t command = 0;          // of the request
    uint16_t argument = 0;         // of the request
    bool measurementOnly = false;  // only a measurement frame answers it
    bool echoes = false;           // this sensor echoes command and argument words (learned)
};
enum class Verdict {
    Fits,       // exactly the answer, nothing around it
    Short,      // fewer bytes than the answer has (still coming, or cut)
    Sync,       // a frame without the sensor's sync word 0x00AA
    Command,    // a frame marked as the answer of another request (its command word)
    Argument,   // a frame with the argument word of another request
    Disturbed,  // bytes around the answer: surplus after it, or garbage before it
};
// `bytes` are the `count` bytes received since the request was written. Frames are judged on
// their first 36 bytes for the sync, command and argument words; surplus makes an otherwise fitting
// answer (or one without its sync word) disturbed.
Verdict JudgeAnswer(const AnswerExpectation& e, const uint8_t* bytes, int count);

// One word of a byte buffer: word i occupies bytes 2i (high) and 2i+1 (low).
inline uint16_t GetWord(const uint8_t* bytes, int i) { return uint16_t(bytes[2 * i] << 8 | bytes[2 * i + 1]); }
inline void PutWord(uint8_t* bytes, int i, uint16_t w) {
    bytes[2 * i] = uint8_t(w >> 8);
    bytes[2 * i + 1] = uint8_t(w & 0xFF);
}

extern std::array<uint8_t, BUF_BYTES> szWriteBuf;  // a request is built in its first 36 bytes
extern std::array<uint8_t, BUF_BYTES> szReadBuf;   // the last frame, firmware text or data block

// Builds a request in szWriteBuf: sync word, command, argument and words[0..14]; words[15] is not sent.
void FillTxBuf(uint16_t command, uint16_t argument, const uint16_t* words);
// Decodes the frame at the start of szReadBuf into pp: a measurement frame (command word 8) fills
// all 16 words from bytes 4-35 and gives 1; any other frame fills words 0-14 from bytes 6-35,
// keeps word 15 and gives 0.
int GetRxBuf();
// The 64-word block request: word 0 the sync word of `sync`, 9, the block's word offset, the
// source (0 video signal, 1 trigger buffer), words 4-17 zero.
void FillBlockRequest(uint16_t sync, uint16_t offset, uint16_t source);
// The X-FLASH requests: the erase frame (command 101, every value word 0x00AA) and a write frame
// (command 102, the offset within the page, then the page and eight table words; words 12-17
// hold 0x00AA, as the erase frame before it left them).
void FillXFlashClear();
void FillXFlashWrite(uint16_t offset, uint16_t page, const uint16_t* eightWords);
