// The 36-byte frame on the line, the receive decode, the open-error texts and the firmware text.
#include <gtest/gtest.h>

#include <algorithm>

#include "link/com232.h"
#include "params/vars.h"

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

TEST(Frame, ReceiveHandlerIgnoresOtherEventsAndShortReads) {
    rx_flag = 0;
    graph_flag = 7;
    // the event character and transmit-empty events are not frames
    RX_Receive_Function(1, 0x0002 | 0x0004, nullptr);
    EXPECT_EQ(rx_flag, 0);
    EXPECT_EQ(graph_flag, 7);
    // with the port closed nothing can be read: no frame is reported
    com = 1;
    RX_Receive_Function(1, 0x8000, nullptr);
    EXPECT_EQ(rx_flag, 0);
}

TEST(Link, OpenErrorTexts) {
    EXPECT_EQ(ComOpenErrorText(-1), "Unknown system error");
    EXPECT_EQ(ComOpenErrorText(-2), "Invalid port number");
    EXPECT_EQ(ComOpenErrorText(-3), "Port is not open");
    EXPECT_EQ(ComOpenErrorText(-4), "Unknown I/0 error");
    EXPECT_EQ(ComOpenErrorText(-6), "No serial port found");
    EXPECT_EQ(ComOpenErrorText(-7), "Cannot open port");
    EXPECT_EQ(ComOpenErrorText(-13), "Invalid parameter");
    EXPECT_EQ(ComOpenErrorText(-99), "Timeout");
    for (int r : {-5, -8, -9, -10, -11, -12, -14, -100, -98, -100000})
        EXPECT_EQ(ComOpenErrorText(r), "RS-232 error!") << r;
}

TEST(Link, FirmwareTextDecoding) {
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

TEST(Link, OneSensorExchangeAtATime) {
    ASSERT_FALSE(SensorOpRunning());
    {
        SensorOp first;
        EXPECT_TRUE(first.ok);
        EXPECT_TRUE(SensorOpRunning());
        EXPECT_FALSE(BeginSensorOp());  // refused while the first runs
        {
            SensorOp second;
            EXPECT_FALSE(second.ok);
        }
        // the refused one did not end the running one
        EXPECT_TRUE(SensorOpRunning());
    }
    EXPECT_FALSE(SensorOpRunning());
    EXPECT_TRUE(BeginSensorOp());
    EndSensorOp();
    EXPECT_FALSE(SensorOpRunning());
    EXPECT_LE(std::string(kBusyText).size(), 72u);
}
