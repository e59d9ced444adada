// Every kind of sensor in every operation, against the simulated sensor at the line's pace,
// without the window: what each operation takes or refuses, and what the pages and the sensor hold.
#include <gtest/gtest.h>

#include <functional>

#include "fixture.h"
#include "link/com232.h"
#include "sensor/codec.h"
#include "sensor/vars.h"
#include "sim/sensor_sim.h"

namespace {

sim::Simulator* sensor = nullptr;
size_t sent = 0;  // requests the sensor has once a SEND has crossed the line
const uint16_t kTable[8] = {1, 2, 3, 4, 5, 6, 7, 8};

bool PagesHold(int memory) {
    for (uint16_t frame : {0, 1}) {
        CopyVarsToPP(frame);
        const auto theirs = memory == EEPROM ? sensor->Eeprom(frame) : sensor->Ram(frame);
        if (!std::equal(theirs.begin(), theirs.end(), pp.begin())) return false;
    }
    return true;
}

Outcome ReadSet(int memory) {
    for (uint16_t frame : {0, 1})
        if (const Outcome o = ReadParameterFrame(memory, frame); o != Outcome::Answered) return o;
    return ParameterSetTaken() ? Outcome::Answered : Outcome::Refused;
}

// A frame taken at the line's pace stands once nothing has followed it.
Outcome Paced(Outcome o) { return o == Outcome::Answered ? ConfirmLastAnswer() : o; }

struct Op {
    const char* name;
    int command;  // whose answer a late-answer row delays; 0: none of them
    std::function<Outcome()> run;
    std::function<bool()> holds;  // once taken: the pages (or the sensor) hold the sensor's own words
};

const Op kOps[] = {
    {"connect", 0,
     [] {
         if (CheckComLine(1) != 1 || GetHARDWAREInfo() != 1) return LastOutcome();
         const Outcome o = ReadSet(RAM);
         return o != Outcome::Answered || GetVERSIONInfo() == FIRMWARE_TEXT_BYTES ? o : LastOutcome();
     },
     [] { return PagesHold(RAM) && LastIdentity().virtPixelSent == sensor->model().ccdvirtpixel; }},
    {"GET RAM", GET_RAM, [] { return ReadSet(RAM); }, [] { return PagesHold(RAM); }},
    {"GET EEPROM", GET_EEPROM, [] { return ReadSet(EEPROM); }, [] { return PagesHold(EEPROM); }},
    {"SEND", 0,
     [] {
         parameter[9] = uint16_t(parameter[9] + 1);
         sent = sensor->Requests().size() + 2;
         const Outcome o = WriteParameterFrame(RAM, 0);
         return o == Outcome::Answered ? WriteParameterFrame(RAM, 1) : o;
     },
     [] { return sensor->WaitForRequests(sent, 1.0) && PagesHold(RAM); }},
    {"teach", TEACH, [] { return TeachSetPoint(); }, [] { return true; }},
    {"reset", RESET_MAXMIN, [] { return ResetAnalogMaxMin(); }, [] { return true; }},
    {"VIDEO", GET_RAW, [] { return PushGETRAW() == 1 ? ReadBlocks(0) : LastOutcome(); },
     [] { return adcbuf == sensor->VideoSignal(); }},
    {"DATA", 0, [] { return ReadBlocks(1); }, [] { return adcbuf == sensor->TriggerBuffer(); }},
    {"recorder sample", GET_RAW, [] { return ExchangeMeasurement(Measurement{}); }, [] { return graph_flag == 1; }},
    {"X-FLASH erase", XFLASH_CLEAR, [] { return ClearXFlash(); }, [] { return sensor->XFlashErased(); }},
    {"X-FLASH write", 0,
     [] {
         bool confirmed = false;
         const Outcome o = Paced(WriteXFlashFrame(8, 2, kTable, confirmed));
         return o == Outcome::Answered && !confirmed ? Outcome::Refused : o;
     },
     [] { return sensor->XFlashPage(2)[8] == 1 && sensor->XFlashPage(2)[15] == 8; }},
    {"RUN frame", GET_RAW,
     [] {
         Measurement m;
         m.paced = true;
         m.measurementOnly = false;
         if (const Outcome o = ExchangeMeasurement(m); o != Outcome::Answered) return o;
         const Outcome next = ExchangeMeasurement(m);
         return PreviousAnswerDisturbed() ? Outcome::Disturbed : Paced(next);
     },
     [] { return graph_flag == 1; }},
};

}  // namespace

TEST(SensorKinds, EveryOperationTakesOnlyTheSensorsOwnAnswer) {
    EnsureUserInterface();
    const struct {
        const char* name;
        sim::AnswerStyle style;
        sim::Fault fault;  // Double: on every answer; Delay: 2.0 s on the first of each operation
    } kinds[] = {
        {"echo", {}, sim::Fault::None},
        {"no echo", {.echo = false}, sim::Fault::None},
        {"fixed command word", {.echo = false, .parameterCommand = 2}, sim::Fault::None},
        {"other acknowledgement words", {.ackCommand = 0}, sim::Fault::None},
        {"1-byte tail", {.tail = 1}, sim::Fault::None},
        {"35-byte tail", {.tail = 35}, sim::Fault::None},
        {"doubled answers", {}, sim::Fault::Double},
        {"late answers, echo", {}, sim::Fault::Delay},
        {"late answers, no echo", {.echo = false}, sim::Fault::Delay},
    };
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        SetStartValues();
        sim::Simulator s("M05", true);
        sensor = &s;
        ASSERT_TRUE(s.Start());
        s.SetAnswerStyle(kind.style);
        com = 1;
        ASSERT_EQ(OpenLine(1, s.DevicePath()), 0);
        stop_flag = 0;
        if (kind.fault == sim::Fault::Double) s.SetFault({sim::Fault::Double});
        for (const Op& op : kOps) {
            SCOPED_TRACE(op.name);
            if (kind.fault == sim::Fault::Delay) {
                if (op.command == 0) continue;
                // its answer 2.0 s late: the operation times out; the next one must not take it (it
                // comes with that one's own answer behind it), and the pages keep what they held
                s.SetFault({sim::Fault::Delay, op.command, 2.0, 0, 0, 1});
                const auto before = parameter;
                EXPECT_EQ(op.run(), Outcome::TimedOut);
                EXPECT_NE(op.run(), Outcome::Answered);
                EXPECT_TRUE(std::equal(before.begin() + 3, before.end(), parameter.begin() + 3));
            }
            const Outcome o = op.run();
            if (kind.fault == sim::Fault::Double && std::string(op.name) != "SEND") {
                EXPECT_NE(o, Outcome::Answered);  // nothing taken from a sensor that answers twice
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
