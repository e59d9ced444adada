// The exchange road against the simulated sensor, without the window: which answers are believed,
// what a request left without its answer does to the next one, and the guard of one sensor
// exchange at a time.
#include <gtest/gtest.h>

#include <QTimer>

#include <chrono>
#include <string>
#include <thread>

#include "fixture.h"
#include "link/com232.h"
#include "link/road.h"
#include "params/status.h"
#include "platform/events.h"
#include "platform/rs232.h"
#include "platform/utility.h"
#include "sensor/vars.h"
#include "sim/sensor_sim.h"

namespace {

class Road : public ::testing::Test {
protected:
    std::unique_ptr<sim::Simulator> sensor;

    void Open(const std::string& model = "M01", bool paced = false) {
        EnsureUserInterface();
        SetStartValues();
        sensor = std::make_unique<sim::Simulator>(model, paced);
        ASSERT_TRUE(sensor->Start());
        com = 1;
        ASSERT_EQ(OpenLine(1, sensor->DevicePath()), 0);
        stop_flag = 0;
    }
    void TearDown() override {
        CloseLine();
        if (sensor) sensor->Stop();
    }
    // Both frames of a RAM (EEPROM) set: whether the set was taken.
    bool ReadRamSet() { return ReadSet(RAM); }
    bool ReadEepromSet() { return ReadSet(EEPROM); }
    static bool ReadSet(int memory) {
        return ReadParameterFrame(memory, 0) == Outcome::Answered && ReadParameterFrame(memory, 1) == Outcome::Answered &&
               ParameterSetTaken();
    }
    // What the connection holds the answers of a kind to: "COMMAND ARGUMENT", "-" for nothing.
    static std::string AnswerHabitOfKind(uint16_t command) {
        const AnswerHabit h = AnswerHabitOf(command);
        return (h.command < 0 ? std::string("-") : std::to_string(h.command)) +
               (h.echoesArgument ? " echo" : h.fixedArgument >= 0 ? " " + std::to_string(h.fixedArgument) : " -");
    }
    static sim::FaultSpec Fault(sim::Fault kind, int command, int bytes = 0, int value = 0, int argument = -1) {
        sim::FaultSpec f;
        f.kind = kind;
        f.command = command;
        f.bytes = bytes;
        f.value = value;
        f.argument = argument;
        f.times = 1;
        return f;
    }
};

}  // namespace

// What comes in one answer window decides what the request gets; the parameter words change only
// with a whole set, and after every fault the next request gets its own answer.
TEST_F(Road, OnlyThisRequestsAnswerIsTaken) {
    Open("M01");
    ASSERT_TRUE(ReadRamSet());  // learns that this sensor echoes
    struct Case {
        sim::FaultSpec fault;
        Outcome outcome;
        Refusal::Kind why;
    };
    const Case cases[] = {
        {Fault(sim::Fault::None, 2), Outcome::Answered, Refusal::None},
        // a tail that cannot be a frame is dropped; a frame's worth, or a second frame, is not
        {Fault(sim::Fault::Surplus, 2, 1), Outcome::Answered, Refusal::None},
        {Fault(sim::Fault::Surplus, 2, 40), Outcome::Disturbed, Refusal::Disturbed},
        {Fault(sim::Fault::Prefix, 2, 2), Outcome::Disturbed, Refusal::Disturbed},
        {Fault(sim::Fault::Double, 2), Outcome::Refused, Refusal::Twice},
        {Fault(sim::Fault::Flood, 2, 5000), Outcome::Disturbed, Refusal::Disturbed},
        {Fault(sim::Fault::Garbage, 2, 36), Outcome::Refused, Refusal::Sync},
        {Fault(sim::Fault::Short, 2, 35), Outcome::TimedOut, Refusal::None},
        {Fault(sim::Fault::WrongSync, 2, 0, 0x0055), Outcome::Refused, Refusal::Sync},
        {Fault(sim::Fault::OtherCommand, 2, 0, 8), Outcome::Refused, Refusal::Command},
        // held to the echo this sensor has shown: the other frame's argument, another word
        {Fault(sim::Fault::OtherArgument, 2, 0, 1), Outcome::Refused, Refusal::Argument},
        {Fault(sim::Fault::OtherArgument, 2, 0, 7), Outcome::Refused, Refusal::Argument},
        {Fault(sim::Fault::OtherCommand, 2, 0, 77), Outcome::Refused, Refusal::Command},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(sim::FaultName(c.fault.kind) + std::string(" ") + std::to_string(c.fault.bytes + c.fault.value));
        const auto before = parameter;
        auto main = sensor->Ram(0);
        main[6] = uint16_t(parameter[9] + 1);
        sensor->SetRam(0, main);
        sensor->SetFault(c.fault);
        EXPECT_EQ(ReadParameterFrame(RAM, 0), c.outcome);
        EXPECT_EQ(LastRefusal().kind, c.why);
        EXPECT_EQ(ReadParameterFrame(RAM, 1), Outcome::Answered);
        EXPECT_EQ(ParameterSetTaken(), c.outcome == Outcome::Answered);
        if (c.outcome == Outcome::Answered) {
            EXPECT_EQ(parameter[9], main[6]);
        } else {
            for (int i = 3; i < 64; ++i) EXPECT_EQ(parameter[size_t(i)], before[size_t(i)]) << i;
        }
        ASSERT_TRUE(ReadRamSet());  // the line works again at once
        EXPECT_EQ(parameter[9], main[6]);
    }
}

// What a sensor puts in its parameter answers is learned from the first set of each kind, on each
// connection, and held from then on; what it has not shown is not held. Answers that name the other
// frame of the set are another request's, never a habit: refused at connect and later.
TEST_F(Road, TheAnswersWordsAreLearnedOnEachConnection) {
    Open("M01");
    sim::AnswerStyle style;
    style.echo = false;
    style.parameterCommand = 2;  // RAM and EEPROM answers alike
    sensor->SetAnswerStyle(style);
    EXPECT_TRUE(ReadRamSet());
    EXPECT_EQ(AnswerHabitOfKind(GET_RAM), "2 0");
    EXPECT_EQ(AnswerHabitOfKind(GET_EEPROM), "- -");
    // held to its one argument word where another names the other frame; the command word is held
    sensor->SetFault(Fault(sim::Fault::OtherArgument, 2, 0, 1));
    EXPECT_FALSE(ReadRamSet());
    EXPECT_EQ(LastRefusal().kind, Refusal::Argument);
    sensor->SetFault(Fault(sim::Fault::OtherArgument, 2, 0, 7));
    EXPECT_TRUE(ReadRamSet());
    EXPECT_TRUE(ReadEepromSet());  // an EEPROM answer with command 2: its own kind, not yet learned
    EXPECT_EQ(AnswerHabitOfKind(GET_EEPROM), "2 0");
    sensor->SetFault(Fault(sim::Fault::OtherCommand, 2, 0, 4));
    EXPECT_FALSE(ReadRamSet());
    EXPECT_EQ(LastRefusal().kind, Refusal::Command);
    EXPECT_EQ(LastRefusal().value, 4);
    // an answer while another may still come teaches nothing
    CloseLine();
    ASSERT_EQ(OpenLine(1, sensor->DevicePath()), 0);
    sensor->SetFault(Fault(sim::Fault::Silent, 4));
    EXPECT_FALSE(ReadEepromSet());
    EXPECT_TRUE(ReadEepromSet());
    EXPECT_EQ(AnswerHabitOfKind(GET_EEPROM), "- -");
    // a fixed argument word of 1 is a habit like 0
    CloseLine();
    ASSERT_EQ(OpenLine(1, sensor->DevicePath()), 0);
    sim::FaultSpec one = Fault(sim::Fault::OtherArgument, 2, 0, 1);
    one.times = -1;
    sensor->SetFault(one);
    EXPECT_TRUE(ReadRamSet());
    EXPECT_EQ(AnswerHabitOfKind(GET_RAM), "2 1");
    sensor->ClearFaults();
    // a new connection to a sensor that echoes: learned anew, and held
    sensor->SetAnswerStyle({});
    CloseLine();
    ASSERT_EQ(OpenLine(1, sensor->DevicePath()), 0);
    EXPECT_EQ(AnswerHabitOfKind(GET_RAM), "- -");
    EXPECT_TRUE(ReadRamSet());
    EXPECT_EQ(AnswerHabitOfKind(GET_RAM), "2 echo");
    sensor->SetFault(Fault(sim::Fault::OtherArgument, 2, 0, 0, 1));
    EXPECT_FALSE(ReadRamSet());
    EXPECT_EQ(LastRefusal().kind, Refusal::Argument);
    EXPECT_EQ(LastRefusal().value, 0);
    // a sensor that answers each frame of a set with the other one: at connect, and once a habit is
    // held, nothing of the set reaches the parameter words
    sim::AnswerStyle swapped;
    swapped.swapFrames = true;
    for (bool learnedFirst : {false, true}) {
        SCOPED_TRACE(learnedFirst);
        sensor->SetAnswerStyle({});
        CloseLine();
        ASSERT_EQ(OpenLine(1, sensor->DevicePath()), 0);
        if (learnedFirst) {
            ASSERT_TRUE(ReadRamSet());
        }
        sensor->SetAnswerStyle(swapped);
        const auto before = parameter;
        EXPECT_FALSE(ReadRamSet());
        EXPECT_EQ(LastRefusal().kind, Refusal::Argument);
        EXPECT_TRUE(std::equal(before.begin() + 3, before.end(), parameter.begin() + 3));
        EXPECT_EQ(AnswerHabitOfKind(GET_RAM), learnedFirst ? "2 echo" : "- -");
    }
}

// A request left without its answer keeps the line: the next one is written only when that answer
// has come (or TIMEOUT has passed) and the line is quiet, so a late answer is never the next
// request's: refused for its words on a sensor that echoes, for the second frame behind it on one
// that does not.
TEST_F(Road, ALateAnswerIsNeverTheNextRequests) {
    for (bool echo : {true, false}) {
        SCOPED_TRACE(echo);
        Open("M03");
        sim::AnswerStyle style;
        style.echo = echo;
        sensor->SetAnswerStyle(style);
        ASSERT_TRUE(ReadEepromSet());
        // the EEPROM main frame answered 2.0 s late, after its time-out: it comes in the extension
        // request's window and is refused there
        const auto before = parameter;
        sim::FaultSpec late = Fault(sim::Fault::Delay, 4, 0, 0, 0);
        late.seconds = 2.0;
        sensor->SetFault(late);
        EXPECT_EQ(ReadParameterFrame(EEPROM, 0), Outcome::TimedOut);
        EXPECT_EQ(ReadParameterFrame(EEPROM, 1), Outcome::Refused);
        EXPECT_EQ(LastRefusal().kind, echo ? Refusal::Argument : Refusal::Twice);
        EXPECT_FALSE(ParameterSetTaken());
        for (int i = 3; i < 64; ++i) EXPECT_EQ(parameter[size_t(i)], before[size_t(i)]) << i;
        EXPECT_TRUE(ReadEepromSet());
        CloseLine();
        sensor->Stop();
    }

    // STOP while a measurement answer is on its way: the block read that follows is written only
    // after that answer, and block 0 is the video signal, not the measurement frame
    Open("M03");
    sensor->SetObject(300, 500, false);
    sim::FaultSpec slow = Fault(sim::Fault::Delay, 8);
    slow.seconds = 0.6;
    sensor->SetFault(slow);
    QTimer::singleShot(100, [] { stop_flag = 1; });
    EXPECT_EQ(PushGETRAW(), 0);
    EXPECT_EQ(LastOutcome(), Outcome::Stopped);
    stop_flag = 0;
    const double t0 = Timer();
    ASSERT_EQ(ReadBlocks(0), Outcome::Answered);
    EXPECT_GE(Timer() - t0, 0.45);  // it waited for the measurement answer
    const auto video = sensor->VideoSignal();
    for (int i = 0; i < 256; ++i) ASSERT_EQ(adcbuf[size_t(i)], video[size_t(i)]) << i;

    // once STOP is in, nothing more goes out, not even right behind an answer taken at the line's pace
    bool confirmed = false;
    const uint16_t table[8] = {};
    ASSERT_EQ(WriteXFlashFrame(0, 2, table, confirmed), Outcome::Answered);
    stop_flag = 1;
    EXPECT_EQ(WriteXFlashFrame(8, 2, table, confirmed), Outcome::Stopped);
    EXPECT_EQ(nBytesW, 0);  // and the caller counting written frames is told so
    stop_flag = 0;
    EXPECT_EQ(ConfirmLastAnswer(), Outcome::Answered);
    EXPECT_EQ(sensor->Requests().back().word(2), 0);  // the frame at offset 8 never went out
}

namespace {

int writes = 0;
// The program held up between its write and its read now and then, as a busy computer does it:
// for less and for more than an answer takes to cross the line.
void HeldUpNowAndThen(bool) {
    if (++writes % 3 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(writes % 2 ? 25 : 70));
}

}  // namespace

// Answers taken at the line's pace, with bytes after each that cannot be a frame and the program
// held up between its write and its read: every answer is taken, once, in order, wherever the tail
// lands. A doubled answer is never taken as the next request's, whether its second frame comes in
// pieces or whole while the next request crosses the line: the frame before it is counted as
// disturbed, and no frame is taken twice.
TEST_F(Road, PacedAnswersOnABusyComputer) {
    const struct {
        int tail, pieces;
        bool doubled;
    } rows[] = {{1, 2, false}, {35, 2, false}, {1, 36, false}, {35, 36, false}, {0, 2, true}, {0, 36, true}};
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << "tail " << r.tail << ", pieces " << r.pieces << (r.doubled ? ", doubled" : ""));
        Open("M01", true);
        sensor->SetPieceBytes(r.pieces);
        sim::AnswerStyle style;
        style.tail = r.tail;
        sensor->SetAnswerStyle(style);
        ASSERT_EQ(CheckComLine(1), 1);
        if (r.doubled) sensor->SetFault(Fault(sim::Fault::Double, 8));  // the first answer, before any hold-up
        Measurement paced;
        paced.paced = true;
        paced.written = HeldUpNowAndThen;
        writes = 0;
        const int before = LateDisturbances();
        constexpr int kFrames = 24;
        std::vector<uint16_t> scans;
        for (int k = 0; k < kFrames; ++k) {
            const Outcome o = ExchangeMeasurement(paced);
            if (PreviousAnswerDisturbed() && !scans.empty()) scans.pop_back();
            if (o == Outcome::Answered) scans.push_back(pp[15]);
        }
        if (ConfirmLastAnswer() != Outcome::Answered && !scans.empty()) scans.pop_back();
        for (size_t i = 1; i < scans.size(); ++i) EXPECT_GT(scans[i], scans[i - 1]);
        if (!r.doubled) {
            EXPECT_EQ(scans.size(), size_t(kFrames));
            EXPECT_EQ(LateDisturbances(), before);
        } else {
            // the next request's answer, refused with the copy in its window; the doubled one too when
            // the copy came before that request could have been answered (not when the program was
            // held up until it could: the copy is then a second frame behind the first)
            EXPECT_GE(scans.size(), size_t(kFrames - 2));
            EXPECT_LE(scans.size(), size_t(kFrames - 1));
            EXPECT_EQ(LateDisturbances() - before, int(kFrames - 1 - scans.size()));
        }
        CloseLine();
        sensor->Stop();
    }
}

// An answer that stops short is counted with every byte that came, also those the port held back
// while it waited for the rest; the next request takes its own answer.
TEST_F(Road, AnAnswerThatStopsShortIsCountedWithEveryByte) {
    for (int pieces : {4, 36}) {
        SCOPED_TRACE(pieces);
        Open("M01", true);
        sensor->SetPieceBytes(pieces);
        ASSERT_EQ(CheckComLine(1), 1);
        sensor->SetFault(Fault(sim::Fault::Garbage, 8, 24));
        Measurement paced;
        paced.paced = true;
        EXPECT_EQ(ExchangeMeasurement(paced), Outcome::TimedOut);
        EXPECT_EQ(nBytesR, 24);
        EXPECT_EQ(ExchangeMeasurement(paced), Outcome::Answered);
        CloseLine();
        sensor->Stop();
    }
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
            EXPECT_EQ(ShownStatus(), kBusyText);
        }
        // the refused one did not end the running one
        EXPECT_TRUE(SensorOpRunning());
    }
    EXPECT_FALSE(SensorOpRunning());
    EXPECT_NE(ShownStatus(), kBusyText);  // the running one's outcome again
    EXPECT_TRUE(BeginSensorOp());
    EndSensorOp();
    EXPECT_FALSE(SensorOpRunning());
    EXPECT_LE(std::string(kBusyText).size(), 72u);
}
