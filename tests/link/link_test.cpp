// The exchange road against the simulated sensor, without the window: which answers are believed,
// what a request left without its answer does to the next one, and the guard of one sensor
// exchange at a time.
#include <gtest/gtest.h>

#include <QTimer>

#include <string>

#include "fixture.h"
#include "link/com232.h"
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
    // Both frames of a RAM set: whether the set was taken.
    bool ReadRamSet() {
        return ReadParameterFrame(RAM, 0) == Outcome::Answered && ReadParameterFrame(RAM, 1) == Outcome::Answered &&
               ParameterSetTaken();
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
        {Fault(sim::Fault::Surplus, 2, 1), Outcome::Disturbed, Refusal::Disturbed},
        {Fault(sim::Fault::Prefix, 2, 2), Outcome::Disturbed, Refusal::Disturbed},
        {Fault(sim::Fault::Double, 2), Outcome::Disturbed, Refusal::Disturbed},
        {Fault(sim::Fault::Flood, 2, 5000), Outcome::Disturbed, Refusal::Disturbed},
        {Fault(sim::Fault::Garbage, 2, 36), Outcome::Refused, Refusal::Sync},
        {Fault(sim::Fault::Short, 2, 35), Outcome::TimedOut, Refusal::None},
        {Fault(sim::Fault::WrongSync, 2, 0, 0x0055), Outcome::Refused, Refusal::Sync},
        {Fault(sim::Fault::OtherCommand, 2, 0, 10), Outcome::Refused, Refusal::Command},
        // the main frame asked for, the extension answered; and an argument this sensor never sends
        {Fault(sim::Fault::OtherArgument, 2, 0, 1), Outcome::Refused, Refusal::Argument},
        {Fault(sim::Fault::OtherArgument, 2, 0, 7), Outcome::Refused, Refusal::Argument},
        // another request's command word, which an echoing sensor does not send either
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

// A sensor that does not echo its requests' words is read as before, except that an answer naming
// the other frame is that frame's; one that echoes is held to it from its first set on.
TEST_F(Road, TheEchoIsLearnedOnEachConnection) {
    Open("M01");
    sim::FaultSpec noEcho = Fault(sim::Fault::OtherArgument, 2, 0, 0);
    noEcho.times = -1;  // this sensor answers argument 0 to every GET
    noEcho.argument = 1;
    sensor->SetFault(noEcho);
    // the extension frame answered with argument 0 is the main frame's answer: refused, even unlearned
    EXPECT_FALSE(ReadRamSet());
    EXPECT_EQ(LastRefusal().kind, Refusal::Argument);
    sensor->ClearFaults();
    noEcho.value = 5;  // argument 5 names no frame: taken while the sensor is not known to echo
    noEcho.argument = -1;
    sensor->SetFault(noEcho);
    EXPECT_TRUE(ReadRamSet());
    EXPECT_TRUE(ReadRamSet());  // the first set did not echo: nothing learned
    // a new connection to a sensor that echoes
    sensor->ClearFaults();
    CloseLine();
    ASSERT_EQ(OpenLine(1, sensor->DevicePath()), 0);
    EXPECT_TRUE(ReadRamSet());
    sensor->SetFault(noEcho);
    EXPECT_FALSE(ReadRamSet());
    EXPECT_EQ(LastRefusal().kind, Refusal::Argument);
    EXPECT_EQ(LastRefusal().value, 5);
}

// A request left without its answer keeps the line: the next one is written only when that answer
// has come (or TIMEOUT has passed) and the line is quiet, so a late answer is never the next
// request's.
TEST_F(Road, ALateAnswerIsNeverTheNextRequests) {
    Open("M03");
    ASSERT_TRUE(ReadRamSet());
    // the EEPROM main frame answered 2.0 s late, after its time-out: it comes in the extension
    // request's window and is refused there
    const auto before = parameter;
    sim::FaultSpec late = Fault(sim::Fault::Delay, 4, 0, 0, 0);
    late.seconds = 2.0;
    sensor->SetFault(late);
    EXPECT_EQ(ReadParameterFrame(EEPROM, 0), Outcome::TimedOut);
    EXPECT_EQ(ReadParameterFrame(EEPROM, 1), Outcome::Refused);
    EXPECT_EQ(LastRefusal().kind, Refusal::Argument);
    EXPECT_FALSE(ParameterSetTaken());
    for (int i = 3; i < 64; ++i) EXPECT_EQ(parameter[size_t(i)], before[size_t(i)]) << i;

    // STOP while a measurement answer is on its way: the block read that follows is written only
    // after that answer, and block 0 is the video signal, not the measurement frame
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
}

// Answers taken at the line's pace: a doubled answer is refused at once when its surplus is in its
// window already, or found (and counted: the frame before is not to be recorded) when a later
// request begins, or by the quiet time after the last one. Taken with the quiet time after it, a
// doubled answer is always refused.
TEST_F(Road, SurplusAfterPacedAnswersIsCounted) {
    Open("M01", true);
    Measurement paced;
    paced.paced = true;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        sensor->SetFault(Fault(sim::Fault::Double, 8));
        const int before = LateDisturbances();
        int flagged = 0, refused = 0;
        for (int k = 0; k < 3; ++k) {
            const Outcome o = ExchangeMeasurement(paced);
            ASSERT_TRUE(o == Outcome::Answered || o == Outcome::Disturbed) << k;
            refused += o == Outcome::Disturbed ? 1 : 0;
            flagged += PreviousAnswerDisturbed() ? 1 : 0;
        }
        if (ConfirmLastAnswer() == Outcome::Disturbed) ++flagged;
        EXPECT_EQ(flagged + refused, 1);
        EXPECT_EQ(LateDisturbances() - before, flagged);
    }
    sensor->SetFault(Fault(sim::Fault::Double, 8));
    EXPECT_EQ(ExchangeMeasurement(Measurement{}), Outcome::Disturbed);
    EXPECT_EQ(ExchangeMeasurement(Measurement{}), Outcome::Answered);
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
