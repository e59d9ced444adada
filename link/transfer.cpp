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

bool mainEchoed = false;

bool Echoed(uint16_t command, uint16_t frameSelect) {
    return GetWord(szReadBuf.data(), 1) == command && GetWord(szReadBuf.data(), 2) == frameSelect;
}

}  // namespace

Outcome ReadParameterFrame(int memTarget, uint16_t frameSelect, WrittenHook written) {
    if (frameSelect == 0) setTaken = false;
    const uint16_t command = memTarget == EEPROM ? GET_EEPROM : GET_RAM;
    // the request carries the frame's words as they stand
    CopyVarsToPP(frameSelect);
    Request r;
    r.expect.command = command;
    r.expect.argument = frameSelect;
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
        mainEchoed = Echoed(command, 0);
        return o;
    }
    // frame 1: the set is whole only with frame 0 of the same memory, just before, on this line
    if (mainMemory != memTarget || mainConnection != Connection()) return o;
    LearnEcho(mainEchoed && Echoed(command, 1));
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
