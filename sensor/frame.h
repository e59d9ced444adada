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
// How many bytes answer `command`: 36 for a frame, 72 for the firmware text, 128 for a data block,
// 0 when nothing is awaited.
int AnswerBytes(uint16_t command);

// What a sensor puts in the command and argument words of its answers to one kind of request
// (the parameter reads of RAM, of EEPROM), as a connection has shown it. The protocol promises
// neither word; what has not been shown is not held.
struct AnswerHabit {
    int command = -1;             // the command word every answer of the kind carries; -1: none held
    bool echoesArgument = false;  // the argument word repeats the request's (frame 0 -> 0, 1 -> 1)
    int fixedArgument = -1;       // the one argument word the answers to both frames carried; -1: none
};
// What the two answers of one parameter set (frame 0, then frame 1) show: a command word they share
// is held; an echo when the arguments named each frame; a fixed argument word when both carried the
// same one (0, or any one value). Arguments that name the other frame of the set (1 to frame 0, 0 to
// frame 1) are no habit but another request's answers (SwappedSet): they teach nothing.
AnswerHabit LearnHabit(uint16_t command0, uint16_t argument0, uint16_t command1, uint16_t argument1);
bool SwappedSet(uint16_t argument0, uint16_t argument1);

// What the bytes received in one answer window are, judged against the request they answer.
struct AnswerExpectation {
    uint16_t command = 0;          // of the request
    uint16_t argument = 0;         // of the request
    bool measurementOnly = false;  // only a measurement frame answers it (others are passed over)
    AnswerHabit habit;             // what this sensor's answers of the kind are held to
    // The extension frame of a parameter set: the argument word that the answer to the set's main
    // frame carried (-1: none, or not a set's second frame).
    int mainArgument = -1;
};
enum class Verdict {
    Fits,       // the answer, with nothing after it or a tail that cannot be a frame
    Short,      // fewer bytes than the answer has (still coming, or cut)
    Sync,       // a frame without the sensor's sync word 0x00AA
    Command,    // a command word this request's answer never carries: a measurement frame where
                // none was asked, a hardware answer without 10, another word than the habit's
    Argument,   // the argument word of another request: from a sensor that echoes it, or one
                // that names the other frame of a parameter set (see SwappedSet)
    PassOver,   // a framed answer that is no measurement frame, in a wait for one: passed over
    Twice,      // a second frame, or what starts one (a sync word), after the answer
    Disturbed,  // other bytes around the answer: a frame's worth after it, or garbage before it
};
// `bytes` are the `count` bytes received since the request was written. Frames are judged on
// their first 36 bytes for the sync, command and argument words; the bytes after the answer as
// its tail (JudgeTail).
Verdict JudgeAnswer(const AnswerExpectation& e, const uint8_t* bytes, int count);
// Bytes after an answer: Fits when they cannot be a frame (fewer than 36, no sync word 0x00AA
// among them), so that they are dropped as the line's surplus; Twice when a sync word is among
// them; Disturbed for a frame's worth or more of other bytes.
Verdict JudgeTail(const uint8_t* bytes, int count);

// Where the sync word's two bytes first stand in bytes[0..count): their index, or -1.
int SyncAt(const uint8_t* bytes, int count);

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
