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


TEST(Frame, BlockAndXFlashRequestsAndWhichAnswerFitsWhichRequest) {
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

    // The hardware answer carries 10; any frame answers a measurement request or the echo check;
    // a parameter request takes no answer that another request's code marks.
    EXPECT_TRUE(AnswerFits(GET_HARDWARE, GET_HARDWARE));
    EXPECT_FALSE(AnswerFits(GET_HARDWARE, GET_RAM));
    for (uint16_t c : {uint16_t(0), GET_RAM, GET_HARDWARE, uint16_t(0x0108)}) {
        EXPECT_TRUE(AnswerFits(GET_RAW, c)) << c;
        EXPECT_TRUE(AnswerFits(ECHO_CHECK, c)) << c;
    }
    for (uint16_t other : {SEND_RAM, GET_EEPROM, ECHO_CHECK, GET_RAW, GET_HARDWARE, RESET_MAXMIN, XFLASH_WRITE})
        EXPECT_FALSE(AnswerFits(GET_RAM, other)) << other;
    EXPECT_TRUE(AnswerFits(GET_RAM, GET_RAM));
    EXPECT_TRUE(AnswerFits(GET_EEPROM, 0));
    EXPECT_TRUE(AnswerFits(XFLASH_WRITE, XFLASH_WRITE));
    EXPECT_FALSE(AnswerFits(TEACH, SEND_EEPROM));
    EXPECT_EQ(AnswerOf(SEND_EEPROM), AnswerKind::None);
    EXPECT_EQ(AnswerOf(GET_DATA64), AnswerKind::Bytes);
    EXPECT_EQ(AnswerOf(GET_VERSION), AnswerKind::Bytes);
    EXPECT_EQ(AnswerOf(TEACH), AnswerKind::Frame);
}

// One answer window judged against its request: the sync word, another request's command or
// argument word (the echo held only where the sensor is known to give it and the answer can carry
// it), the exact length, and nothing before or after the answer.
TEST(Frame, AnswerWindowsAreJudgedAgainstTheirRequest) {
    auto frame = [](uint16_t sync, uint16_t command, uint16_t argument, int extra = 0) {
        std::vector<uint8_t> b(size_t(FRAME_BYTES + extra), 0x11);
        PutWord(b.data(), 0, sync);
        PutWord(b.data(), 1, command);
        PutWord(b.data(), 2, argument);
        return b;
    };
    struct Case {
        AnswerExpectation e;
        std::vector<uint8_t> window;
        Verdict verdict;
    };
    const AnswerExpectation getMain{GET_RAM, 0}, getExt{GET_EEPROM, 1}, echoing{GET_RAM, 0, false, true};
    const AnswerExpectation hardware{GET_HARDWARE, 0, false, true}, measure{GET_RAW, 0, true, true};
    const AnswerExpectation xflash{XFLASH_WRITE, 64, false, true}, teach{TEACH, 0, false, true};
    const Case cases[] = {
        {getMain, frame(0xAA, GET_RAM, 0), Verdict::Fits},
        {getMain, frame(0xAA, GET_RAM, 0, -1), Verdict::Short},
        {getMain, frame(0xAA, GET_RAM, 0, 1), Verdict::Disturbed},
        {getMain, frame(0x55, GET_RAM, 0), Verdict::Sync},
        {getMain, frame(0x55, GET_RAM, 0, 3), Verdict::Disturbed},  // garbage, not a wrong sensor
        {getMain, frame(0xAA, GET_HARDWARE, 0, 3), Verdict::Command},
        {getMain, frame(0xAA, GET_RAW, 0), Verdict::Command},
        // the other frame's answer, whether or not the sensor is known to echo
        {getMain, frame(0xAA, GET_RAM, 1), Verdict::Argument},
        {getExt, frame(0xAA, GET_EEPROM, 0), Verdict::Argument},
        {getExt, frame(0xAA, 0, 0), Verdict::Argument},
        // a sensor not known to echo may put anything else in the argument and command words
        {getMain, frame(0xAA, 0, 7), Verdict::Fits},
        {echoing, frame(0xAA, 0, 0), Verdict::Command},
        {echoing, frame(0xAA, GET_RAM, 7), Verdict::Argument},
        {teach, frame(0xAA, TEACH, 3), Verdict::Argument},
        // answers whose argument word says something else are not held to the echo
        {hardware, frame(0xAA, GET_HARDWARE, 4), Verdict::Fits},
        {hardware, frame(0xAA, GET_RAM, 4), Verdict::Command},
        {xflash, frame(0xAA, XFLASH_WRITE, 0), Verdict::Fits},
        {measure, frame(0xAA, GET_RAW, 1234), Verdict::Fits},
        {measure, frame(0xAA, GET_RAM, 0), Verdict::Command},
        // unframed answers: their length alone
        {AnswerExpectation{GET_VERSION}, std::vector<uint8_t>(72, 0x41), Verdict::Fits},
        {AnswerExpectation{GET_VERSION}, std::vector<uint8_t>(73, 0x41), Verdict::Disturbed},
        {AnswerExpectation{GET_DATA64, 64}, std::vector<uint8_t>(127, 0), Verdict::Short},
        {AnswerExpectation{GET_DATA64, 64}, std::vector<uint8_t>(128, 0), Verdict::Fits},
        // nothing is awaited for a write
        {AnswerExpectation{SEND_RAM}, frame(0xAA, SEND_RAM, 0), Verdict::Short},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(JudgeAnswer(c.e, c.window.data(), int(c.window.size())), c.verdict) << i;
    }
}
