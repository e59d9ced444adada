// What the simulated sensor answers to each command, read through its pseudo-terminal.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "line_client.h"
#include "sim/sensor_sim.h"

using simtest::Line;
using simtest::Word;

namespace {

class SimAnswers : public ::testing::Test {
protected:
    std::unique_ptr<sim::Simulator> sensor;
    std::unique_ptr<Line> line;

    void Open(const std::string& model) {
        sensor = std::make_unique<sim::Simulator>(model, false);
        ASSERT_TRUE(sensor->Start());
        line = std::make_unique<Line>(sensor->DevicePath());
        ASSERT_TRUE(line->ok());
    }
    void TearDown() override {
        line.reset();
        if (sensor) sensor->Stop();
    }
    std::array<uint16_t, 15> Get(uint16_t cmd, uint16_t sel) {
        auto a = line->Ask(cmd, sel);
        EXPECT_EQ(a.size(), 36u);
        EXPECT_EQ(Word(a, 0), 0x00AA);
        EXPECT_EQ(Word(a, 1), cmd);
        EXPECT_EQ(Word(a, 2), sel);
        std::array<uint16_t, 15> w{};
        for (int i = 0; i < 15; ++i) w[i] = Word(a, 3 + i);
        return w;
    }
    // One measurement frame, as the 16 values in decode order.
    std::array<uint16_t, 16> Measure() {
        auto a = line->Ask(8, 0);
        EXPECT_EQ(a.size(), 36u);
        EXPECT_EQ(Word(a, 0), 0x00AA);
        EXPECT_EQ(Word(a, 1), 8);
        std::array<uint16_t, 16> w{};
        for (int i = 0; i < 16; ++i) w[i] = Word(a, 2 + i);
        return w;
    }
    void Change(int slot, uint16_t value) {
        auto f = sensor->Ram(0);
        f[slot] = value;
        sensor->SetRam(0, f);
    }
    std::vector<uint16_t> Block(uint16_t source) {
        std::vector<uint16_t> all;
        for (uint16_t off : {0, 64, 128, 192}) {
            std::array<uint16_t, 15> w{};
            w[0] = source;
            auto b = line->Ask(9, off, w, 128);
            EXPECT_EQ(b.size(), 128u);
            for (int i = 0; i < 64; ++i) all.push_back(Word(b, i));
        }
        return all;
    }
};

TEST_F(SimAnswers, HardwareAnswerDescribesTheModel) {
    for (const char* name : {"M01", "M19", "M25", "unknown"}) {
        SCOPED_TRACE(name);
        Open(name);
        const sim::Model& m = sensor->model();
        auto a = line->Ask(10, 0);
        ASSERT_EQ(a.size(), 36u);
        EXPECT_EQ(Word(a, 0), 0x00AA);
        EXPECT_EQ(Word(a, 1), 10);
        const uint16_t expect[] = {m.ccdtype, m.ccdmaxpixel, m.ccdresolution, m.pcbtype,
                                   m.ccdvirtpixel, m.ccdsubpixel, m.ccdpixB, m.ccdpixE,
                                   m.softversion, m.hwtype, m.adcmax};
        for (int i = 0; i < 11; ++i) EXPECT_EQ(Word(a, 2 + i), expect[i]) << "word " << 2 + i;
        for (int i = 13; i < 18; ++i) EXPECT_EQ(Word(a, i), 0) << "word " << i;
        TearDown();
    }
}

TEST_F(SimAnswers, FirmwareTextInBothEncodings) {
    Open("M01");  // board type 0: one character per big-endian word
    ASSERT_EQ(sensor->model().pcbtype, 0);
    auto a = line->Ask(7, 0, {}, 72);
    ASSERT_EQ(a.size(), 72u);
    std::string text;
    for (int i = 0; i < 36; ++i) {
        EXPECT_EQ(a[2 * i], 0) << "high byte of word " << i;
        if (a[2 * i + 1]) text += char(a[2 * i + 1]);
    }
    EXPECT_EQ(text, "KRYTA-M01 FW 3.02 (c) KRYTA");
    EXPECT_TRUE(line->Read(1, 0.15).empty()) << "nothing after the 72 bytes";
    TearDown();

    Open("M05");  // other boards: the text itself, zero padded
    ASSERT_NE(sensor->model().pcbtype, 0);
    a = line->Ask(7, 0, {}, 72);
    ASSERT_EQ(a.size(), 72u);
    const std::string plain(reinterpret_cast<const char*>(a.data()));
    EXPECT_EQ(plain, "KRYTA-M05 FW 3.10 (c) KRYTA");
    for (size_t i = plain.size(); i < 72; ++i) EXPECT_EQ(a[i], 0);
    EXPECT_TRUE(line->Read(1, 0.15).empty());
}

TEST_F(SimAnswers, FactoryFramesFollowTheVariantLayout) {
    Open("M01");  // standard
    auto m = Get(2, 0), e = Get(2, 1);
    EXPECT_EQ(m[4], 1);      // edgeBegin
    EXPECT_EQ(m[5], 4096);   // edgeEnd
    EXPECT_EQ(m[6], 2048);   // setPoint
    EXPECT_EQ(m[7], 100);    // tolerance
    EXPECT_EQ(m[14], 40);    // videoThreshold
    EXPECT_EQ(e[11] | e[12] << 16, 16384);
    EXPECT_EQ(e[13] | e[14] << 16, 30000);
    // the EEPROM was loaded into the RAM at power-on
    EXPECT_EQ(Get(4, 0), m);
    EXPECT_EQ(Get(4, 1), e);
    TearDown();

    Open("M03");  // V303
    m = Get(2, 0);
    e = Get(2, 1);
    EXPECT_EQ(m[7], 100);  // upper tolerance
    EXPECT_EQ(m[8], 100);  // lower tolerance
    EXPECT_EQ(m[14], 40);
    EXPECT_EQ(e[11] | e[12] << 16, 1024);
    TearDown();

    Open("M19");  // CL: video threshold one slot earlier, spare last slot
    m = Get(2, 0);
    e = Get(2, 1);
    EXPECT_EQ(m[5], 2048);
    EXPECT_EQ(m[13], 40);
    EXPECT_EQ(m[14], 0);
    EXPECT_EQ(e[11] | e[12] << 16, 1024);
}

TEST_F(SimAnswers, SendStoresAndGetReadsBack) {
    Open("M03");
    const auto eepromBefore = Get(4, 0);
    std::array<uint16_t, 15> w{};
    for (int i = 0; i < 15; ++i) w[i] = uint16_t(0x0101 * (i + 1));
    auto a = line->Ask(1, 0, w);
    ASSERT_EQ(a.size(), 36u);
    EXPECT_EQ(Word(a, 1), 1);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(Word(a, 3 + i), w[i]);
    EXPECT_EQ(Get(2, 0), w);
    EXPECT_EQ(sensor->Ram(0), w);
    EXPECT_EQ(Get(4, 0), eepromBefore) << "a RAM store leaves the EEPROM alone";

    std::array<uint16_t, 15> x{};
    for (int i = 0; i < 15; ++i) x[i] = uint16_t(60000 + i);
    ASSERT_EQ(line->Ask(3, 1, x).size(), 36u);
    EXPECT_EQ(Get(4, 1), x);
    EXPECT_EQ(sensor->Eeprom(1), x);
    EXPECT_NE(Get(2, 1), x) << "an EEPROM store leaves the RAM alone";
    EXPECT_EQ(Get(2, 0), w) << "the extension frame does not touch the main frame";
}

TEST_F(SimAnswers, EchoReturnsTheRequestWithTheSensorsSync) {
    Open("M01");
    std::array<uint16_t, 15> w{};
    for (int i = 0; i < 15; ++i) w[i] = uint16_t(i * 1000 + 7);
    auto a = line->Ask(5, 0x1234, w);
    ASSERT_EQ(a.size(), 36u);
    EXPECT_EQ(a[0], 0x00);
    EXPECT_EQ(a[1], 0xAA);
    const auto q = simtest::Request(5, 0x1234, w);
    EXPECT_TRUE(std::equal(q.begin() + 2, q.end(), a.begin() + 2));
}

TEST_F(SimAnswers, MeasurementFollowsWindowModeAndScale) {
    Open("M01");
    sensor->SetObject(1000, 1600, false);
    Change(3, 2);  // width
    auto w = Measure();
    EXPECT_EQ(w[7], 2);
    EXPECT_EQ(w[0], 1000);
    EXPECT_EQ(w[1], 1600);
    EXPECT_EQ(w[2], 600);
    EXPECT_EQ(w[3] | w[4] << 16, 600u) << "factor 1.0";
    EXPECT_LT(w[8], w[9]);
    EXPECT_EQ(w[5], 2048);
    EXPECT_EQ(w[6], 100);

    // factor 200.0 in the standard fixed point: umValue needs its high word
    auto e = sensor->Ram(1);
    const uint32_t scale = 200u * 16384u;
    e[11] = uint16_t(scale);
    e[12] = uint16_t(scale >> 16);
    sensor->SetRam(1, e);
    w = Measure();
    EXPECT_EQ(uint32_t(w[3]) | uint32_t(w[4]) << 16, 120000u);

    Change(3, 0);
    EXPECT_EQ(Measure()[2], 1000);  // left edge
    Change(3, 1);
    EXPECT_EQ(Measure()[2], 1600);  // right edge
    Change(3, 3);
    EXPECT_EQ(Measure()[2], 1300);  // centre

    // window cuts off the right edge: one edge, the object lies right of it
    Change(4, 1);
    Change(5, 1300);
    w = Measure();
    EXPECT_EQ(w[7], 1);
    EXPECT_EQ(w[0], 1000);
    EXPECT_LT(w[8], w[9]);
    // window cuts off the left edge: the object lies left of the only edge
    Change(4, 1300);
    Change(5, 4096);
    w = Measure();
    EXPECT_EQ(w[7], 1);
    EXPECT_EQ(w[0], 1600);
    EXPECT_GT(w[8], w[9]);
    // window beside the object: nothing found
    Change(4, 2000);
    Change(5, 4000);
    w = Measure();
    EXPECT_EQ(w[7], 0);
    EXPECT_EQ(w[2], 0);
    EXPECT_EQ(w[3] | w[4], 0);
    // the scan counter advances with every frame
    EXPECT_EQ(uint16_t(Measure()[15] - w[15]), 1);
}

TEST_F(SimAnswers, ToleranceAndScaleOfTheNewerFirmware) {
    Open("M05");  // V303: the frame carries the lower tolerance, factor in 1/1024
    sensor->SetObject(800, 1000, false);
    Change(7, 77);
    Change(8, 33);
    Change(3, 2);
    auto e = sensor->Ram(1);
    e[11] = 3 * 1024;
    e[12] = 0;
    sensor->SetRam(1, e);
    auto w = Measure();
    EXPECT_EQ(w[6], 33);
    EXPECT_EQ(w[2], 200);
    EXPECT_EQ(w[3] | w[4] << 16, 600u);
}

TEST_F(SimAnswers, TeachTakesThePositionAndResetRestartsMaxMin) {
    Open("M01");
    sensor->SetObject(1234, 2000, false);
    Change(3, 0);
    auto a = line->Ask(6, 0);
    ASSERT_EQ(a.size(), 36u);
    EXPECT_EQ(Word(a, 1), 6);
    EXPECT_EQ(Word(a, 3 + 6), 1234) << "the answer shows the taught set-point";
    EXPECT_EQ(sensor->Ram(0)[6], 1234);
    EXPECT_EQ(Get(2, 0)[6], 1234);
    EXPECT_EQ(Measure()[5], 1234);
    EXPECT_EQ(sensor->Eeprom(0)[6], 2048) << "teach works on the RAM only";

    sensor->SetObject(1500, 2000, false);
    auto w = Measure();
    EXPECT_EQ(w[11], 1500);
    EXPECT_EQ(w[12], 1234);
    a = line->Ask(11, 0);
    ASSERT_EQ(a.size(), 36u);
    EXPECT_EQ(Word(a, 1), 11);
    w = Measure();
    EXPECT_EQ(w[11], 1500);
    EXPECT_EQ(w[12], 1500);
    sensor->SetObject(1400, 2000, false);
    w = Measure();
    EXPECT_EQ(w[11], 1500);
    EXPECT_EQ(w[12], 1400);
}

TEST_F(SimAnswers, RegulatedPowerOnlyInPowerMode1) {
    Open("M03");
    Change(0, 600);
    Change(1, 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Measure()[10], 600);
    Change(1, 1);
    std::set<int> seen;
    for (int i = 0; i < 8; ++i) {
        const int p = Measure()[10];
        EXPECT_NEAR(p, 600, 600 * 0.03);
        seen.insert(p);
    }
    EXPECT_GT(seen.size(), 1u);
}

TEST_F(SimAnswers, VideoProfileCrossesTheThresholdAtTheEdges) {
    for (const char* name : {"M01", "M21"}) {  // converters of 1024 and 255 counts
        SCOPED_TRACE(name);
        Open(name);
        const auto& m = sensor->model();
        const int virt = m.ccdvirtpixel;
        sensor->SetObject(virt * 0.3 + 3, virt * 0.62 + 1, false);
        for (int vt : {40, 25}) {
            Change(m.hwtype > 20000 ? 13 : 14, uint16_t(vt));
            const auto w = Measure();
            ASSERT_EQ(w[7], 2);
            const auto video = Block(0);
            ASSERT_EQ(video.size(), 256u);
            const int thd = m.adcmax * vt / 100;
            const double step = virt / 256.0;
            int maxv = 0;
            for (int i = 0; i < 256; ++i) {
                const double x = i * step;
                EXPECT_LE(video[i], m.adcmax);
                EXPECT_EQ(video[i] < thd, x > w[0] && x < w[1]) << "sample " << i;
                maxv = std::max<int>(maxv, video[i]);
            }
            EXPECT_EQ(w[14], maxv) << "videoMax is the profile's peak";
        }
        TearDown();
    }
}

TEST_F(SimAnswers, TriggerBufferHoldsTheLastMeasuredValues) {
    Open("M20");
    Change(3, 0);
    std::vector<uint16_t> values;
    for (int i = 0; i < 5; ++i) {
        sensor->SetObject(300 + 17 * i, 900, false);
        values.push_back(Measure()[2]);
    }
    const auto buf = Block(1);
    ASSERT_EQ(buf.size(), 256u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(buf[251 + i], values[i]);
    EXPECT_EQ(values[4], 300 + 68);

    // an offset past the last block stays inside the buffer
    std::array<uint16_t, 15> src{};
    src[0] = 1;
    auto b = line->Ask(9, 250, src, 128);
    ASSERT_EQ(b.size(), 128u);
    EXPECT_EQ(Word(b, 1), values[0]);  // entry 251
    EXPECT_TRUE(line->Read(1, 0.1).empty());
}

TEST_F(SimAnswers, XFlashEraseAndWrite) {
    Open("M01");
    EXPECT_TRUE(sensor->XFlashErased());
    std::array<uint16_t, 15> w{};
    w[0] = 3;
    for (int k = 0; k < 8; ++k) w[1 + k] = uint16_t(0x8000 + k);
    for (int k = 9; k < 15; ++k) w[k] = 0x00AA;
    auto a = line->Ask(102, 8, w);
    ASSERT_EQ(a.size(), 36u);
    EXPECT_EQ(Word(a, 1), 102);
    EXPECT_EQ(Word(a, 3), 8) << "offset in value word 0";
    EXPECT_EQ(Word(a, 4), 3) << "page in value word 1";
    auto page = sensor->XFlashPage(3);
    ASSERT_EQ(page.size(), 256u);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(page[i], i >= 8 && i < 16 ? 0x8000 + (i - 8) : 0xFFFF) << i;
    EXPECT_FALSE(sensor->XFlashErased());

    // the end of a page is not overrun, and a page that does not exist is not written
    ASSERT_EQ(line->Ask(102, 252, w).size(), 36u);
    page = sensor->XFlashPage(3);
    EXPECT_EQ(page[255], 0x8003);
    EXPECT_EQ(sensor->XFlashPage(4)[0], 0xFFFF);
    w[0] = 99;
    a = line->Ask(102, 0, w);
    ASSERT_EQ(a.size(), 36u);
    EXPECT_EQ(Word(a, 4), 99);

    std::array<uint16_t, 15> clear;
    clear.fill(0x00AA);
    a = line->Ask(101, 0, clear);
    ASSERT_EQ(a.size(), 36u);
    EXPECT_EQ(Word(a, 1), 101);
    EXPECT_TRUE(sensor->XFlashErased());
}

TEST_F(SimAnswers, RequestsAreFramedRecordedAndUnknownCodesIgnored) {
    Open("M01");
    // noise before a request is skipped
    const uint8_t noise[] = {0x13, 0x55, 0x00, 0x42};
    line->Write(noise, sizeof noise);
    auto a = line->Ask(10, 0);
    ASSERT_EQ(a.size(), 36u);
    EXPECT_EQ(Word(a, 1), 10);

    // an unknown code is recorded but not answered
    EXPECT_TRUE(line->Ask(42, 0).empty());
    ASSERT_TRUE(sensor->WaitForRequests(2, 1.0));

    // a request in two pieces within 0.2 s is one request
    const auto q = simtest::Request(2, 1);
    line->Write(q.data(), 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    line->Write(q.data() + 20, 16);
    EXPECT_EQ(line->Read(36, 1.0).size(), 36u);

    // a piece older than 0.2 s is dropped: the next full request is served on its own
    line->Write(q.data(), 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    a = line->Ask(4, 0);
    ASSERT_EQ(a.size(), 36u);
    EXPECT_EQ(Word(a, 1), 4);
    EXPECT_TRUE(line->Read(1, 0.1).empty());

    auto reqs = sensor->Requests();
    ASSERT_EQ(reqs.size(), 4u);
    EXPECT_EQ(reqs[0].word(1), 10);
    EXPECT_EQ(reqs[1].word(1), 42);
    EXPECT_EQ(reqs[2].bytes, q);
    EXPECT_EQ(reqs[3].word(1), 4);
    for (size_t i = 1; i < reqs.size(); ++i) EXPECT_GE(reqs[i].time, reqs[i - 1].time);
    EXPECT_GE(reqs[3].time - reqs[2].time, 0.3);
    sensor->ClearRequests();
    EXPECT_TRUE(sensor->Requests().empty());
    EXPECT_FALSE(sensor->WaitForRequests(1, 0.05));
}

TEST_F(SimAnswers, LineCanBeClosedAndReopened) {
    Open("M01");
    ASSERT_EQ(line->Ask(10, 0).size(), 36u);
    line = std::make_unique<Line>(sensor->DevicePath());
    ASSERT_TRUE(line->ok());
    EXPECT_EQ(Word(line->Ask(10, 0), 1), 10);
}

}  // namespace
