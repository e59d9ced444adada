// The 36-byte frame on the line, the command table's answers, and the firmware text.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "sensor/frame.h"
#include "sensor/hardware.h"
#include "sensor/vars.h"

namespace {

void PutRx(int word, uint16_t v) {
    szReadBuf[2 * word] = uint8_t(v >> 8);
    szReadBuf[2 * word + 1] = uint8_t(v);
}

}  // namespace

TEST(Frame, BuildsBigEndianWordsFromPP) {
    std::fill(szWriteBuf.begin(), szWriteBuf.end(), uint8_t(0xEE));
    std::array<uint16_t, 16> words{};
    for (int i = 0; i < 16; ++i) words[i] = uint16_t(0x0102 * (i + 1));
    words[15] = 0xDEAD;
    FillTxBuf(8, 0, words.data());
    const uint8_t head[] = {0x00, 0x55, 0x00, 0x08, 0x00, 0x00};
    EXPECT_TRUE(std::equal(head, head + 6, szWriteBuf.begin()));
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(szWriteBuf[6 + 2 * i], uint8_t(words[i] >> 8)) << "word " << i;
        EXPECT_EQ(szWriteBuf[7 + 2 * i], uint8_t(words[i])) << "word " << i;
    }
    // word 15 is not part of the frame: nothing is written past byte 35
    EXPECT_EQ(szWriteBuf[36], 0xEE);
    EXPECT_EQ(szWriteBuf[37], 0xEE);

    // small values still take two bytes, high byte first
    words.fill(0);
    words[0] = 5;
    FillTxBuf(102, 192, words.data());
    EXPECT_EQ(szWriteBuf[2], 0x00);
    EXPECT_EQ(szWriteBuf[3], 0x66);
    EXPECT_EQ(szWriteBuf[4], 0x00);
    EXPECT_EQ(szWriteBuf[5], 0xC0);
    EXPECT_EQ(szWriteBuf[6], 0x00);
    EXPECT_EQ(szWriteBuf[7], 0x05);
    FillTxBuf(0xABCD, 0x1234, words.data());
    EXPECT_EQ(szWriteBuf[2], 0xAB);
    EXPECT_EQ(szWriteBuf[3], 0xCD);
    EXPECT_EQ(szWriteBuf[4], 0x12);
    EXPECT_EQ(szWriteBuf[5], 0x34);
}

TEST(Frame, DecodesMeasurementAndOtherFrames) {
    // measurement frame: all 16 words from byte 4 on
    PutRx(0, 0x00AA);
    PutRx(1, 0x0008);
    for (int i = 0; i < 16; ++i) PutRx(2 + i, uint16_t(0x1111 * (i % 15 + 1) + i));
    pp.fill(0);
    EXPECT_EQ(GetRxBuf(), 1);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(pp[i], uint16_t(0x1111 * (i % 15 + 1) + i)) << i;

    // 0x0108 is not 8: both bytes of the command word count
    PutRx(1, 0x0108);
    pp[15] = 0x5A5A;
    EXPECT_EQ(GetRxBuf(), 0);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(pp[i], uint16_t(0x1111 * ((i + 1) % 15 + 1) + i + 1));
    EXPECT_EQ(pp[15], 0x5A5A);

    // an answer to command 2: the argument word is skipped, word 15 keeps its value
    PutRx(1, 0x0002);
    PutRx(2, 0x7777);
    for (int i = 0; i < 15; ++i) PutRx(3 + i, uint16_t(100 + i));
    pp[15] = 0x4242;
    EXPECT_EQ(GetRxBuf(), 0);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(pp[i], 100 + i);
    EXPECT_EQ(pp[15], 0x4242);
    EXPECT_EQ(std::count(pp.begin(), pp.end(), 0x7777), 0);
}

TEST(Frame, FirmwareTextDecoding) {
    // word-coded: the low bytes carry the characters
    std::array<uint8_t, 72> b{};
    const char* v = "V3.09 test";
    for (int i = 0; v[i]; ++i) b[2 * i + 1] = uint8_t(v[i]);
    EXPECT_EQ(FirmwareText(b.data(), 72, 2), "V3.09 test");
    // the same bytes read as plain text start with a zero byte: empty
    EXPECT_EQ(FirmwareText(b.data(), 72, 1), "");

    // plain text without terminator: 72 characters, not one more
    b.fill('A');
    std::string t = FirmwareText(b.data(), 72, 1);
    EXPECT_EQ(t.size(), 72u);
    // word-coded with 36 characters and no terminator
    EXPECT_EQ(FirmwareText(b.data(), 72, 2).size(), 36u);

    // Latin-1 micro sign becomes UTF-8, control bytes become '?'
    b.fill(0);
    b[0] = '7';
    b[1] = 0xB5;
    b[2] = 'm';
    b[3] = 0x07;
    b[4] = 0x85;
    b[5] = '!';
    EXPECT_EQ(FirmwareText(b.data(), 72, 1), "7\xC2\xB5m?" "?!");
    // 72 Latin-1 letters: 72 characters of two bytes each
    b.fill(0xE9);
    t = FirmwareText(b.data(), 72, 1);
    EXPECT_EQ(t.size(), 144u);
    EXPECT_EQ(t.substr(0, 2), "\xC3\xA9");
}


TEST(Frame, BlockAndXFlashRequestsAndWhatAnswersThem) {
    std::fill(szWriteBuf.begin(), szWriteBuf.end(), uint8_t(0xEE));
    FillBlockRequest(0x0055, 192, 1);
    const uint8_t block[8] = {0x00, 0x55, 0x00, 0x09, 0x00, 0xC0, 0x00, 0x01};
    EXPECT_TRUE(std::equal(block, block + 8, szWriteBuf.begin()));
    EXPECT_TRUE(std::all_of(szWriteBuf.begin() + 8, szWriteBuf.begin() + 36, [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(szWriteBuf[36], 0xEE);

    FillXFlashClear();
    EXPECT_EQ(GetWord(szWriteBuf.data(), 1), XFLASH_CLEAR);
    for (int w = 3; w < 18; ++w) EXPECT_EQ(GetWord(szWriteBuf.data(), w), 0x00AA) << w;
    const uint16_t table[8] = {1, 2, 3, 4, 5, 6, 7, 0x8000};
    FillXFlashWrite(8, 3, table);
    const uint16_t expect[18] = {0x55, 102, 8, 3, 1, 2, 3, 4, 5, 6, 7, 0x8000, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    for (int w = 0; w < 18; ++w) EXPECT_EQ(GetWord(szWriteBuf.data(), w), expect[w]) << w;

    EXPECT_EQ(AnswerOf(SEND_EEPROM), AnswerKind::None);
    EXPECT_EQ(AnswerOf(GET_DATA64), AnswerKind::Bytes);
    EXPECT_EQ(AnswerOf(GET_VERSION), AnswerKind::Bytes);
    EXPECT_EQ(AnswerOf(TEACH), AnswerKind::Frame);
}

// One answer window judged against its request: what the protocol promises (the sync word, 8 only
// in a measurement frame, 10 in the hardware answer, the length), what the sensor has shown of
// its parameter answers (held once learned), and what may follow the answer.
TEST(Frame, AnswerWindowsAreJudgedAgainstTheirRequest) {
    auto frame = [](uint16_t sync, uint16_t command, uint16_t argument, int extra = 0) {
        std::vector<uint8_t> b(size_t(FRAME_BYTES + extra), 0x11);
        PutWord(b.data(), 0, sync);
        PutWord(b.data(), 1, command);
        PutWord(b.data(), 2, argument);
        return b;
    };
    auto then = [](std::vector<uint8_t> b, std::vector<uint8_t> more) {
        b.insert(b.end(), more.begin(), more.end());
        return b;
    };
    auto ex = [](uint16_t command, uint16_t argument = 0, bool measurementOnly = false, AnswerHabit habit = {}) {
        AnswerExpectation e;
        e.command = command;
        e.argument = argument;
        e.measurementOnly = measurementOnly;
        e.habit = habit;
        return e;
    };
    struct Case {
        AnswerExpectation e;
        std::vector<uint8_t> window;
        Verdict verdict;
    };
    const AnswerHabit echo = LearnHabit(GET_RAM, 0, GET_RAM, 1), fixed2 = LearnHabit(2, 0, 2, 0);
    const AnswerExpectation getMain = ex(GET_RAM), getExt = ex(GET_EEPROM, 1), echoing = ex(GET_RAM, 1, false, echo);
    const AnswerExpectation eeprom2 = ex(GET_EEPROM, 1, false, fixed2), hardware = ex(GET_HARDWARE);
    const AnswerExpectation measure = ex(GET_RAW, 0, true), run = ex(GET_RAW), teach = ex(TEACH),
                            xflash = ex(XFLASH_WRITE, 64);
    const Case cases[] = {
        {getMain, frame(0xAA, GET_RAM, 0), Verdict::Fits},
        {getMain, frame(0xAA, GET_RAM, 0, -1), Verdict::Short},
        {getMain, frame(0x55, GET_RAM, 0), Verdict::Sync},
        {getMain, then(std::vector<uint8_t>(2, 0x11), frame(0xAA, GET_RAM, 0)), Verdict::Disturbed},
        {getMain, frame(0xAA, GET_RAW, 0), Verdict::Command},
        // never learned: any command and argument word (another request's too, or the other frame's)
        {getMain, frame(0xAA, GET_HARDWARE, 0), Verdict::Fits},
        {getMain, frame(0xAA, GET_RAM, 1), Verdict::Fits},
        {getExt, frame(0xAA, GET_RAM, 0), Verdict::Fits},
        // learned: an echo of both words is held; a fixed command word is held, an argument never
        {echoing, frame(0xAA, GET_RAM, 1), Verdict::Fits},
        {echoing, frame(0xAA, GET_RAM, 0), Verdict::Argument},
        {echoing, frame(0xAA, GET_EEPROM, 1), Verdict::Command},
        {eeprom2, frame(0xAA, 2, 0), Verdict::Fits},
        {eeprom2, frame(0xAA, GET_EEPROM, 1), Verdict::Command},
        {ex(GET_RAM, 0, false, LearnHabit(2, 1, 2, 1)), frame(0xAA, 2, 0), Verdict::Fits},
        // a fixed argument word is held where another one names the other frame of the set
        {ex(GET_RAM, 1, false, LearnHabit(2, 1, 2, 1)), frame(0xAA, 2, 0), Verdict::Argument},
        {ex(GET_RAM, 0, false, fixed2), frame(0xAA, 2, 1), Verdict::Argument},
        {ex(GET_RAM, 0, false, fixed2), frame(0xAA, 2, 7), Verdict::Fits},
        // unlearned: a set whose frames named each other's
        {[&] { auto e = ex(GET_RAM, 1); e.mainArgument = 1; return e; }(), frame(0xAA, 2, 0), Verdict::Argument},
        {[&] { auto e = ex(GET_RAM, 1); e.mainArgument = 1; return e; }(), frame(0xAA, 2, 1), Verdict::Fits},
        {ex(GET_RAM, 1, false, LearnHabit(2, 0, 9, 1)), frame(0xAA, 7, 1), Verdict::Fits},
        {ex(GET_RAM, 1, false, LearnHabit(2, 0, 9, 1)), frame(0xAA, 7, 0), Verdict::Argument},
        // teach, reset, erase: any synced frame that is no measurement frame
        {teach, frame(0xAA, 99, 3), Verdict::Fits},
        {teach, frame(0xAA, GET_RAW, 0), Verdict::Command},
        {hardware, frame(0xAA, GET_HARDWARE, 4), Verdict::Fits},
        {hardware, frame(0xAA, GET_RAM, 4), Verdict::Command},
        {xflash, frame(0xAA, 0, 0), Verdict::Fits},
        // a wait for a measurement frame passes other frames over; RUN takes any frame
        {measure, frame(0xAA, GET_RAW, 1234), Verdict::Fits},
        {measure, frame(0xAA, GET_RAM, 0), Verdict::PassOver},
        {run, frame(0xAA, 99, 0), Verdict::Fits},
        // after the answer: a tail that cannot be a frame is dropped; a frame, or its start, is not
        {getMain, then(frame(0xAA, GET_RAM, 0), {0x00}), Verdict::Fits},
        {getMain, frame(0xAA, GET_RAM, 0, 35), Verdict::Fits},
        {getMain, frame(0xAA, GET_RAM, 0, 36), Verdict::Disturbed},
        {getMain, then(frame(0xAA, GET_RAM, 0), {0x00, 0xAA}), Verdict::Twice},
        {measure, then(frame(0xAA, GET_RAW, 0), frame(0xAA, GET_RAW, 0)), Verdict::Twice},
        {getMain, then(frame(0x55, GET_RAM, 0), {0x00}), Verdict::Sync},
        {getMain, then(frame(0x55, GET_RAM, 0), frame(0xAA, GET_RAM, 0)), Verdict::Disturbed},
        // unframed answers: their length, and the same rule for what follows
        {ex(GET_VERSION), std::vector<uint8_t>(72, 0x41), Verdict::Fits},
        {ex(GET_VERSION), std::vector<uint8_t>(73, 0x41), Verdict::Fits},
        {ex(GET_DATA64, 64), then(std::vector<uint8_t>(128, 0), {0x00, 0xAA}), Verdict::Twice},
        {ex(GET_DATA64, 64), std::vector<uint8_t>(127, 0), Verdict::Short},
        {ex(GET_DATA64, 64), std::vector<uint8_t>(128, 0), Verdict::Fits},
        // nothing is awaited for a write
        {ex(SEND_RAM), frame(0xAA, SEND_RAM, 0), Verdict::Short},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(JudgeAnswer(c.e, c.window.data(), int(c.window.size())), c.verdict) << i;
    }
    // what two answers of a set show
    EXPECT_EQ(echo.command, GET_RAM);
    EXPECT_TRUE(echo.echoesArgument);
    EXPECT_FALSE(fixed2.echoesArgument);
    EXPECT_EQ(LearnHabit(4, 0, 2, 1).command, -1);
    EXPECT_EQ(fixed2.fixedArgument, 0);
    const AnswerHabit swapped = LearnHabit(2, 1, 2, 0);
    EXPECT_TRUE(!swapped.echoesArgument && swapped.fixedArgument < 0);
}
