// The simulated line: faults, hang-up and the pacing of answers at 19200 baud.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>

#include "line_client.h"
#include "sim/sensor_sim.h"

using simtest::Line;
using simtest::Word;

namespace {

constexpr double kByte = 10.0 / 19200.0;

class SimLine : public ::testing::Test {
protected:
    std::unique_ptr<sim::Simulator> sensor;
    std::unique_ptr<Line> line;

    void Open(bool paced) {
        sensor = std::make_unique<sim::Simulator>("M03", paced);
        ASSERT_TRUE(sensor->Start());
        line = std::make_unique<Line>(sensor->DevicePath());
        ASSERT_TRUE(line->ok());
    }
    void TearDown() override {
        line.reset();
        if (sensor) sensor->Stop();
    }
    static sim::FaultSpec Fault(sim::Fault kind, int command = -1, int times = -1) {
        sim::FaultSpec f;
        f.kind = kind;
        f.command = command;
        f.times = times;
        return f;
    }
    // The bytes that answer one request, until the line is quiet for 0.15 s.
    std::vector<uint8_t> Answer(uint16_t cmd, uint16_t arg = 0) {
        if (!line->Send(cmd, arg)) return {};
        return line->ReadUntilQuiet(0.15);
    }
};

TEST_F(SimLine, SilenceForOneCommandAndANumberOfAnswers) {
    Open(false);
    sensor->SetFault(Fault(sim::Fault::Silent, 8, 2));
    EXPECT_TRUE(Answer(8).empty());
    EXPECT_EQ(Answer(2).size(), 36u) << "other commands are answered";
    EXPECT_TRUE(Answer(8).empty());
    EXPECT_EQ(Answer(8).size(), 36u) << "two answers were affected, the third is not";

    sensor->SetFault(Fault(sim::Fault::Silent));
    EXPECT_TRUE(Answer(10).empty());
    EXPECT_TRUE(Answer(2).empty());
    sensor->ClearFaults();
    EXPECT_EQ(Answer(10).size(), 36u);
    EXPECT_TRUE(sensor->WaitForRequests(7, 1.0)) << "unanswered requests are still recorded";
}

TEST_F(SimLine, LateAnswer) {
    Open(false);
    auto f = Fault(sim::Fault::Delay, 2, 1);
    f.seconds = 0.4;
    sensor->SetFault(f);
    ASSERT_TRUE(line->Send(2, 0));
    EXPECT_TRUE(line->Read(36, 0.3).empty()) << "nothing within 0.3 s";
    auto a = line->Read(36, 0.5);
    EXPECT_EQ(a.size(), 36u);
    EXPECT_GE(simtest::Since(line->sentAt()), 0.4);
    EXPECT_EQ(Word(a, 1), 2);

    // requests that come in while an answer waits are still received and recorded at once
    sensor->SetFault(f);
    sensor->ClearRequests();
    ASSERT_TRUE(line->Send(2, 0));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(line->Send(10, 0));
    ASSERT_TRUE(sensor->WaitForRequests(2, 0.1));
    const auto reqs = sensor->Requests();
    EXPECT_LT(reqs[1].time - reqs[0].time, 0.2);
}

TEST_F(SimLine, CorruptedAnswers) {
    Open(false);
    auto f = Fault(sim::Fault::WrongSync, 5, 1);
    sensor->SetFault(f);
    auto a = Answer(5);
    ASSERT_EQ(a.size(), 36u);
    EXPECT_NE(Word(a, 0), 0x00AA);
    EXPECT_EQ(Word(a, 1), 5);
    EXPECT_EQ(Word(Answer(5), 0), 0x00AA);

    f = Fault(sim::Fault::OtherCommand, 10, 1);
    f.value = 3;
    sensor->SetFault(f);
    a = Answer(10);
    ASSERT_EQ(a.size(), 36u);
    EXPECT_EQ(Word(a, 0), 0x00AA);
    EXPECT_EQ(Word(a, 1), 3);
    EXPECT_EQ(Word(a, 10), sensor->model().softversion) << "the rest of the answer is intact";

    f = Fault(sim::Fault::Short, 7, 1);
    f.bytes = 50;
    sensor->SetFault(f);
    EXPECT_EQ(Answer(7).size(), 50u);
    f = Fault(sim::Fault::Short, 8, 1);
    f.bytes = 20;
    sensor->SetFault(f);
    EXPECT_EQ(Answer(8).size(), 20u);

    f = Fault(sim::Fault::Surplus, 2, 1);
    f.bytes = 9;
    sensor->SetFault(f);
    a = Answer(2);
    ASSERT_EQ(a.size(), 45u);
    EXPECT_EQ(Word(a, 0), 0x00AA);
    EXPECT_EQ(Word(a, 1), 2);

    const auto clean = Answer(10);
    f = Fault(sim::Fault::Garbage, 10, 1);
    f.bytes = 30;
    sensor->SetFault(f);
    a = Answer(10);
    ASSERT_EQ(a.size(), 30u);
    EXPECT_FALSE(std::equal(a.begin(), a.end(), clean.begin()));

    f = Fault(sim::Fault::Flood, 8, 1);
    sensor->SetFault(f);
    a = Answer(8);
    EXPECT_GT(a.size(), 4096u);
    EXPECT_EQ(Answer(8).size(), 36u) << "back to normal";
}

TEST_F(SimLine, FaultsCombineInTheOrderGiven) {
    Open(false);
    auto late = Fault(sim::Fault::Delay, 2, 1);
    late.seconds = 0.25;
    auto cut = Fault(sim::Fault::Short, 2, 1);
    cut.bytes = 10;
    sensor->SetFault(late);
    sensor->SetFault(cut);
    ASSERT_TRUE(line->Send(2, 0));
    EXPECT_TRUE(line->Read(1, 0.2).empty());
    EXPECT_EQ(line->ReadUntilQuiet(0.15).size(), 10u);
}

TEST_F(SimLine, UnpluggedByAFaultTheLineIsDead) {
    Open(false);
    sensor->SetFault(Fault(sim::Fault::Unplug, 8));
    EXPECT_EQ(Answer(2).size(), 36u);
    ASSERT_TRUE(line->Send(8, 0));
    const auto a = line->Read(36, 1.0);
    EXPECT_TRUE(a.empty());
    EXPECT_TRUE(line->hungUp());
    Line again(sensor->DevicePath());
    if (again.ok()) {  // the device may linger as a name; it carries nothing any more
        again.Send(10, 0);
        EXPECT_TRUE(again.Read(36, 0.3).empty());
    }
    EXPECT_EQ(sensor->Requests().size(), 2u);
    sensor->Stop();  // stopping a dead line is fine
}

TEST_F(SimLine, UnplugFromTheTest) {
    Open(true);
    ASSERT_EQ(Answer(10).size(), 36u);
    sensor->Unplug();
    ASSERT_TRUE(line->Send(10, 0) || true);
    EXPECT_TRUE(line->Read(36, 0.5).empty());
    EXPECT_TRUE(line->hungUp());
    sensor->Unplug();  // twice is harmless
}

// The best of a few runs: scheduling on a busy machine only ever delays an arrival, while a
// pacing fault (too fast, too slow, drifting) shows in every run.
double Best(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

TEST_F(SimLine, AnswersArePacedAt19200Baud) {
    Open(true);
    std::vector<double> frame, block, half;
    size_t pieces = 0;
    for (int run = 0; run < 9; ++run) {
        std::vector<std::pair<double, size_t>> arrivals;
        ASSERT_TRUE(line->Send(2, 0));
        ASSERT_EQ(line->Read(36, 1.0, &arrivals).size(), 36u);
        frame.push_back(arrivals.back().first);
        pieces = std::max(pieces, arrivals.size());

        arrivals.clear();
        ASSERT_TRUE(line->Send(9, 0));
        ASSERT_EQ(line->Read(128, 1.0, &arrivals).size(), 128u);
        block.push_back(arrivals.back().first);
        // the first arrival that completes byte 64: no drift half way either
        for (auto& [t, n] : arrivals)
            if (n >= 64) {
                half.push_back(t - (n - 64) * kByte);
                break;
            }
    }
    // the 36-byte request crosses the line first, then the answer
    EXPECT_NEAR(Best(frame), (36 + 36) * kByte, 72 * kByte * 0.05);
    EXPECT_NEAR(Best(block), (36 + 128) * kByte, 164 * kByte * 0.05);
    EXPECT_NEAR(Best(half), (36 + 64) * kByte, 100 * kByte * 0.05);
    EXPECT_GT(pieces, 3u) << "a paced answer arrives in pieces";
}

TEST_F(SimLine, UnpacedAnswersComeAtOnceAndPacingCanBeSwitched) {
    Open(false);
    std::vector<std::pair<double, size_t>> arrivals;
    ASSERT_TRUE(line->Send(9, 0));
    ASSERT_EQ(line->Read(128, 1.0, &arrivals).size(), 128u);
    EXPECT_LT(arrivals.back().first, 128 * kByte * 0.5);

    sensor->SetPaced(true);
    arrivals.clear();
    ASSERT_TRUE(line->Send(9, 0));
    ASSERT_EQ(line->Read(128, 1.0, &arrivals).size(), 128u);
    EXPECT_GT(arrivals.back().first, 128 * kByte * 0.95);
}

TEST_F(SimLine, BackToBackAnswersDoNotOverlap) {
    Open(true);
    // two requests in one go: the second answer follows the first on the line
    auto a = simtest::Request(10, 0), b = simtest::Request(2, 1);
    std::array<uint8_t, 72> both;
    std::copy(a.begin(), a.end(), both.begin());
    std::copy(b.begin(), b.end(), both.begin() + 36);
    ASSERT_TRUE(line->Write(both.data(), both.size()));
    std::vector<std::pair<double, size_t>> arrivals;
    const auto got = line->Read(72, 1.0, &arrivals);
    ASSERT_EQ(got.size(), 72u);
    EXPECT_EQ(Word(got, 1), 10);
    EXPECT_EQ(Word(got, 19), 2);
    EXPECT_GT(arrivals.back().first, 72 * kByte * 0.95);
}

}  // namespace

namespace {

// Pieces of a chosen size, as a USB adapter passes them on; and the faults of a bad line: every
// answer twice, bytes before it, the other frame's argument word, random bytes mixed in.
TEST_F(SimLine, PiecesAndTheFaultsOfABadLine) {
    Open(true);
    sensor->SetPieceBytes(4);
    std::vector<std::pair<double, size_t>> arrivals;
    ASSERT_TRUE(line->Send(2, 0));
    ASSERT_EQ(line->Read(36, 1.0, &arrivals).size(), 36u);
    EXPECT_GE(arrivals.size(), 3u);
    for (auto& [t, n] : arrivals) EXPECT_EQ(n % 4, 0u) << n;

    sensor->SetPaced(false);
    sim::FaultSpec twice{sim::Fault::Double, 2};
    twice.times = 1;
    sensor->SetFault(twice);
    ASSERT_TRUE(line->Send(2, 0));
    auto got = line->ReadUntilQuiet(0.1);
    ASSERT_EQ(got.size(), 72u);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 36, got.begin() + 36));

    sim::FaultSpec before{sim::Fault::Prefix, 2};
    before.bytes = 3;
    before.times = 1;
    sensor->SetFault(before);
    ASSERT_TRUE(line->Send(2, 1));
    got = line->ReadUntilQuiet(0.1);
    ASSERT_EQ(got.size(), 39u);
    EXPECT_EQ(got[3], 0x00);
    EXPECT_EQ(got[4], 0xAA);

    sim::FaultSpec other{sim::Fault::OtherArgument, 2};
    other.value = 1;
    other.times = 1;
    sensor->SetFault(other);
    ASSERT_TRUE(line->Send(2, 0));
    got = line->ReadUntilQuiet(0.1);
    ASSERT_EQ(got.size(), 36u);
    EXPECT_EQ(Word(got, 2), 1);

    sensor->SetNoise(2000);
    EXPECT_GT(line->ReadUntilQuiet(0.5, 0.2).size(), 100u);  // about 400 in 0.2 s, never quiet
    sensor->SetNoise(0);
}

}  // namespace
