// Every kind of sensor in every operation, against the simulated sensor at the line's pace,
// without the window: what each operation takes or refuses, and what the pages and the sensor hold.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fixture.h"
#include "link/com232.h"
#include "sensor/codec.h"
#include "sensor/vars.h"
#include "sim/sensor_sim.h"

namespace {

sim::Simulator* sensor = nullptr;
size_t sent = 0;  // requests the sensor has once a SEND has crossed the line

// One operation as the link makes it: Answered when it took what it asked for.
struct Op {
    const char* name;
    int command;  // whose answer a late-answer row delays
    std::function<Outcome()> run;
    std::function<bool()> holds;  // once taken: the pages (or the sensor) hold the sensor's own words
};

bool PagesHold(int memory) {
    const auto& main = memory == EEPROM ? sensor->Eeprom(0) : sensor->Ram(0);
    const auto& ext = memory == EEPROM ? sensor->Eeprom(1) : sensor->Ram(1);
    CopyVarsToPP(0);
    const auto ours = pp;
    CopyVarsToPP(1);
    for (int i = 0; i < 15; ++i)
        if (ours[size_t(i)] != main[size_t(i)] || pp[size_t(i)] != ext[size_t(i)]) return false;
    return true;
}

Outcome ReadSet(int memory) {
    for (uint16_t frame : {0, 1})
        if (const Outcome o = ReadParameterFrame(memory, frame); o != Outcome::Answered) return o;
    return ParameterSetTaken() ? Outcome::Answered : Outcome::Refused;
}

// Paced frames stand only once nothing has followed them on the line.
Outcome Paced(Outcome o) { return o == Outcome::Answered ? ConfirmLastAnswer() : o; }

const uint16_t kTable[8] = {1, 2, 3, 4, 5, 6, 7, 8};

const std::vector<Op>& Ops() {
    static const std::vector<Op> ops = {
        {"connect", 5,
         [] {
             if (CheckComLine(1) != 1 || GetHARDWAREInfo() != 1) return LastOutcome();
             if (const Outcome o = ReadSet(RAM); o != Outcome::Answered) return o;
             return GetVERSIONInfo() == FIRMWARE_TEXT_BYTES ? Outcome::Answered : LastOutcome();
         },
         [] { return PagesHold(RAM) && LastIdentity().virtPixelSent == sensor->model().ccdvirtpixel; }},
        {"GET RAM", 2, [] { return ReadSet(RAM); }, [] { return PagesHold(RAM); }},
        {"GET EEPROM", 4, [] { return ReadSet(EEPROM); }, [] { return PagesHold(EEPROM); }},
        {"SEND", 1,
         [] {
             parameter[9] = uint16_t(parameter[9] + 1);
             sent = sensor->Requests().size() + 2;
             const Outcome o = WriteParameterFrame(RAM, 0);
             return o == Outcome::Answered ? WriteParameterFrame(RAM, 1) : o;
         },
         [] {
             // no answer is awaited: the sensor has the frames once they have crossed the line
             sensor->WaitForRequests(sent, 1.0);
             return PagesHold(RAM);
         }},
        {"teach", 6, [] { return TeachSetPoint(); }, [] { return true; }},
        {"reset", 11, [] { return ResetAnalogMaxMin(); }, [] { return true; }},
        {"VIDEO", 8, [] { return PushGETRAW() == 1 ? ReadBlocks(0) : LastOutcome(); },
         [] { return adcbuf == sensor->VideoSignal(); }},
        {"DATA", 9, [] { return ReadBlocks(1); }, [] { return adcbuf == sensor->TriggerBuffer(); }},
        {"recorder sample", 8, [] { return ExchangeMeasurement(Measurement{}); }, [] { return graph_flag == 1; }},
        {"X-FLASH erase", 101, [] { return ClearXFlash(); }, [] { return sensor->XFlashErased(); }},
        {"X-FLASH write", 102,
         [] {
             bool confirmed = false;
             const Outcome o = Paced(WriteXFlashFrame(8, 2, kTable, confirmed));
             return o == Outcome::Answered && !confirmed ? Outcome::Refused : o;
         },
         [] { return sensor->XFlashPage(2)[8] == 1 && sensor->XFlashPage(2)[15] == 8; }},
        {"RUN frame", 8,
         [] {
             Measurement m;
             m.paced = true;
             m.measurementOnly = false;
             const Outcome o = ExchangeMeasurement(m);
             if (o != Outcome::Answered) return o;
             const Outcome next = ExchangeMeasurement(m);
             if (PreviousAnswerDisturbed()) return Outcome::Disturbed;
             return Paced(next);
         },
         [] { return graph_flag == 1; }},
    };
    return ops;
}

struct Kind {
    const char* name;
    sim::AnswerStyle style;
    sim::Fault fault;  // on every answer (None, Double) or, Delay, on the first of each operation
};

sim::AnswerStyle Style(bool echo, int parameterCommand, int ackCommand, int tail) {
    sim::AnswerStyle s;
    s.echo = echo;
    s.parameterCommand = parameterCommand;
    s.ackCommand = ackCommand;
    s.tail = tail;
    return s;
}

}  // namespace

TEST(SensorKinds, EveryOperationTakesOnlyTheSensorsOwnAnswer) {
    EnsureUserInterface();
    const Kind kinds[] = {
        {"echo", Style(true, -1, -1, 0), sim::Fault::None},
        {"no echo", Style(false, -1, -1, 0), sim::Fault::None},
        {"fixed command word", Style(false, 2, -1, 0), sim::Fault::None},
        {"other acknowledgement words", Style(true, -1, 0, 0), sim::Fault::None},
        {"1-byte tail", Style(true, -1, -1, 1), sim::Fault::None},
        {"doubled answers", Style(true, -1, -1, 0), sim::Fault::Double},
        {"late answers, echo", Style(true, -1, -1, 0), sim::Fault::Delay},
        {"late answers, no echo", Style(false, -1, -1, 0), sim::Fault::Delay},
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        SetStartValues();
        sim::Simulator s("M05", true);
        sensor = &s;
        ASSERT_TRUE(s.Start());
        s.SetAnswerStyle(kind.style);
        com = 1;
        ASSERT_EQ(OpenLine(1, s.DevicePath()), 0);
        stop_flag = 0;
        const bool late = kind.fault == sim::Fault::Delay;
        if (kind.fault == sim::Fault::Double) s.SetFault({sim::Fault::Double});
        for (const Op& op : Ops()) {
            SCOPED_TRACE(op.name);
            if (late && (op.command == 5 || op.command == 1 || op.command == 9 || op.command == 102)) continue;
            if (late) {
                // its answer 2.0 s late: the operation times out, the next one must not take it
                // (it comes with that one's own answer behind it), the one after works
                sim::FaultSpec f;
                f.kind = sim::Fault::Delay;
                f.command = op.command;
                f.seconds = 2.0;
                f.times = 1;
                s.SetFault(f);
                const auto before = parameter;
                EXPECT_EQ(op.run(), Outcome::TimedOut);
                EXPECT_NE(op.run(), Outcome::Answered);
                for (int i = 3; i < 64; ++i) EXPECT_EQ(parameter[size_t(i)], before[size_t(i)]) << i;
            }
            const Outcome o = op.run();
            if (kind.fault == sim::Fault::Double && op.command != 1) {
                // a sensor that answers twice: nothing taken (a SEND awaits no answer)
                EXPECT_NE(o, Outcome::Answered);
                continue;
            }
            EXPECT_EQ(o, Outcome::Answered) << int(LastRefusal().kind) << " " << LastRefusal().value;
            if (o == Outcome::Answered) {
                EXPECT_TRUE(op.holds());
            }
        }
        CloseLine();
        s.Stop();
        sensor = nullptr;
    }
}
