// The parameter frames: read from and written into the sensor's RAM or EEPROM.
#include <algorithm>
#include <array>

#include "link/com232.h"
#include "sensor/codec.h"
#include "sensor/vars.h"

namespace {

// The parameter set being read: the words before its first frame, and what happened so far.
std::array<uint16_t, 64> beforeSet{};
bool setRefused = false;
bool mainTaken = false;
int setConnection = -1;

}  // namespace

Outcome ReadParameterFrame(int memTarget, uint16_t frameSelect) {
    if (frameSelect == 0) {
        beforeSet = parameter;
        setRefused = false;
        mainTaken = false;
        setConnection = Connection();
    }
    const uint16_t command = memTarget == EEPROM ? GET_EEPROM : GET_RAM;
    parameter[1] = command;
    parameter[2] = frameSelect;
    CopyVarsToPP(frameSelect);
    FillTxBuf(command, frameSelect, pp.data());
    Outcome o = Exchange({command, false, false, "Waiting for parameter-frame ..."});
    if (o == Outcome::Answered && setRefused) return Outcome::Refused;  // the set stores nothing
    if (o == Outcome::Refused && !setRefused) {
        setRefused = true;
        std::copy(beforeSet.begin() + 3, beforeSet.end(), parameter.begin() + 3);
    }
    if (o != Outcome::Answered) return o;
    CopyPPtoVars(frameSelect);
    if (frameSelect == 0) {
        mainTaken = true;
    } else if (mainTaken && setConnection == Connection()) {
        params_flag = 1;
    }
    return o;
}

bool ParameterSetRefused() { return setRefused; }

Outcome WriteParameterFrame(int memTarget, uint16_t frameSelect) {
    const uint16_t command = memTarget == EEPROM ? SEND_EEPROM : SEND_RAM;
    parameter[0] = SYNC_PROGRAM;
    parameter[1] = command;
    parameter[2] = frameSelect;
    CopyVarsToPP(frameSelect);
    FillTxBuf(command, frameSelect, pp.data());
    return Exchange({command, false, false, "Line Ok!"});
}
