// The parameter frames: read from and written into the sensor's RAM or EEPROM.
#include <array>

#include "link/road.h"
#include "sensor/codec.h"
#include "sensor/vars.h"

namespace {

// The set being read: frame 0's data words wait here until frame 1 of the same set has come.
std::array<uint16_t, 16> mainFrame{};
int mainMemory = -1;
int mainConnection = -1;
bool setTaken = false;

// What frame 0's answer carried in its command and argument words, and whether it came on a quiet
// line: with frame 1's, the lesson of the set (LearnAnswerHabit).
uint16_t mainCommand = 0, mainArgument = 0;
bool mainQuiet = false;

}  // namespace

Outcome ReadParameterFrame(int memTarget, uint16_t frameSelect, WrittenHook written) {
    if (frameSelect == 0) setTaken = false;
    const uint16_t command = memTarget == EEPROM ? GET_EEPROM : GET_RAM;
    // the request carries the frame's words as they stand
    CopyVarsToPP(frameSelect);
    Request r;
    r.expect.command = command;
    r.expect.argument = frameSelect;
    // frame 1 answers for the set whose frame 0 came just before: together they must not name each
    // other's frame
    if (frameSelect == 1 && mainMemory == memTarget && mainConnection == Connection()) r.expect.mainArgument = mainArgument;
    r.written = written;
    const Outcome o = Exchange(r);
    if (o != Outcome::Answered) {
        mainMemory = -1;
        return o;
    }
    if (frameSelect == 0) {
        mainFrame = pp;
        mainMemory = memTarget;
        mainConnection = Connection();
        mainCommand = GetWord(szReadBuf.data(), 1);
        mainArgument = GetWord(szReadBuf.data(), 2);
        mainQuiet = LastAnswerQuiet();
        return o;
    }
    // frame 1: the set is whole only with frame 0 of the same memory, just before, on this line
    if (mainMemory != memTarget || mainConnection != Connection()) return o;
    if (mainQuiet && LastAnswerQuiet())
        LearnAnswerHabit(command, LearnHabit(mainCommand, mainArgument, GetWord(szReadBuf.data(), 1),
                                             GetWord(szReadBuf.data(), 2)));
    const auto extension = pp;
    pp = mainFrame;
    CopyPPtoVars(0);
    pp = extension;
    CopyPPtoVars(1);
    mainMemory = -1;
    setTaken = true;
    return o;
}

bool ParameterSetTaken() { return setTaken; }

Outcome WriteParameterFrame(int memTarget, uint16_t frameSelect, WrittenHook written) {
    parameter[0] = SYNC_PROGRAM;
    CopyVarsToPP(frameSelect);
    Request r;
    r.expect.command = memTarget == EEPROM ? SEND_EEPROM : SEND_RAM;
    r.expect.argument = frameSelect;
    r.written = written;
    return Exchange(r);
}
