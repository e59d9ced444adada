// Measurement frame request and 64-word block reads against the simulated sensor.
#include <algorithm>

#include "fixture.h"
#include "link/com232.h"
#include "sensor/vars.h"

namespace {

class Block : public ProgramTest {};

}  // namespace

TEST_F(Block, ReadsBlocksIntoTheirPlaceAndRejectsWhatDoesNotFit) {
    StartWith("M21");
    sensor->ClearRequests();
    adcbuf.fill(0xEEEE);
    EXPECT_EQ(ReadData64(192, 1), 1);
    EXPECT_EQ(LastOutcome(), Outcome::Answered);
    auto r = sensor->Requests();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].word(0), 0x0055);
    EXPECT_EQ(r[0].word(1), 9);
    EXPECT_EQ(r[0].word(2), 192);
    EXPECT_EQ(r[0].word(3), 1);
    for (int w = 4; w < 18; ++w) EXPECT_EQ(r[0].word(w), 0) << w;
    EXPECT_EQ(std::count(adcbuf.begin(), adcbuf.begin() + 192, 0xEEEE), 192);
    EXPECT_LT(std::count(adcbuf.begin() + 192, adcbuf.end(), 0xEEEE), 64);

    // an offset off the 64-grid: words 32-95
    adcbuf.fill(0xEEEE);
    EXPECT_EQ(ReadData64(32, 0), 1);
    EXPECT_EQ(std::count(adcbuf.begin(), adcbuf.begin() + 32, 0xEEEE), 32);
    EXPECT_EQ(std::count(adcbuf.begin() + 96, adcbuf.end(), 0xEEEE), 160);

    // past the end of the buffer: refused, nothing on the line
    sensor->ClearRequests();
    auto before = adcbuf;
    EXPECT_EQ(ReadData64(193, 0), 0);
    EXPECT_EQ(ReadData64(65535, 1), 0);
    EXPECT_TRUE(sensor->Requests().empty());

    // 127 bytes: time-out, buffer unchanged
    sim::FaultSpec f;
    f.kind = sim::Fault::Short;
    f.command = 9;
    f.bytes = 127;
    f.times = 1;
    sensor->SetFault(f);
    EXPECT_EQ(ReadData64(0, 0), 0);
    EXPECT_EQ(LastOutcome(), Outcome::TimedOut);
    EXPECT_EQ(nBytesR, 127);
    EXPECT_TRUE(adcbuf == before);

    // a flood: read what fits, nothing stored
    f.kind = sim::Fault::Flood;
    f.bytes = 9000;
    sensor->SetFault(f);
    EXPECT_EQ(ReadData64(64, 0), 0);
    EXPECT_EQ(LastOutcome(), Outcome::Disturbed);
    EXPECT_GT(LastRefusal().bytes, 128);
    EXPECT_TRUE(adcbuf == before);
}

TEST_F(Block, MeasurementFrameRequest) {
    StartWith("M01");
    sensor->ClearRequests();
    stop_flag = 0;
    EXPECT_EQ(PushGETRAW(), 1);
    EXPECT_EQ(graph_flag, 1);
    ASSERT_EQ(sensor->Requests().size(), 1u);
    EXPECT_EQ(sensor->Requests()[0].word(1), 8);

    // a frame that is not a measurement frame is refused
    sim::FaultSpec f;
    f.kind = sim::Fault::OtherCommand;
    f.command = 8;
    f.value = 2;
    sensor->SetFault(f);
    EXPECT_EQ(PushGETRAW(), 0);
    EXPECT_EQ(LastOutcome(), Outcome::Refused);
    EXPECT_EQ(LastRefusal().kind, Refusal::Command);
}
