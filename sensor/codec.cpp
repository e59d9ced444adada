// Moves values between the parameter words and the frame value buffer pp, refreshes the lines
// drawn with the trigger-buffer curve, and decodes measurement frames.
#include "sensor/codec.h"

#include "sensor/vars.h"

namespace {

// Fills the set-point, tolerance and trigger lines. The limits, set-point minus and plus a
// tolerance computed wide (a sum above 32767 must not wrap below the clamp), are kept within 0
// and the number of pixel positions.
void RefreshLines(int lower, int upper) {
    int lo = lower < 0 ? 0 : lower;
    int up = upper > int(ccdvirtpixel) ? int(ccdvirtpixel) : upper;
    FillLine(trgArray, parameter[48]);
    FillLine(REFArray, parameter[9]);
    FillLine(upTHDArray, uint16_t(up));
    FillLine(loTHDArray, uint16_t(lo));
}

// Word of parameter that frame slot n of the extension frame travels in (word 59 is skipped).
int ExtensionWord(int n) { return n <= 10 ? 48 + n : 49 + n; }

}  // namespace

void CopyVarsToPP(uint16_t frameSelect) {
    if (frameSelect == 0) {
        int b = BlockStart(ParamVariant());
        for (int n = 0; n < 15; ++n) pp[n] = parameter[b + n];
    } else {
        for (int n = 0; n < 15; ++n) pp[n] = parameter[ExtensionWord(n)];
    }
    RefreshLines(int(parameter[9]) - parameter[26], int(parameter[9]) + parameter[25]);
}

void CopyPPtoVars(uint16_t frameSelect) {
    Variant v = ParamVariant();
    if (frameSelect == 0) {
        int b = BlockStart(v);
        for (int n = 0; n < 15; ++n) parameter[b + n] = pp[n];
    } else {
        for (int n = 0; n < 15; ++n) parameter[ExtensionWord(n)] = pp[n];
    }
    int lower = 0, upper = 0;
    if (frameSelect == 0 && v == Variant::CL) {
        lower = int(parameter[9]) - parameter[41];
        upper = int(parameter[9]) + parameter[40];
    } else if (frameSelect == 0 && v == Variant::V303) {
        lower = int(parameter[9]) - parameter[26];
        upper = int(parameter[9]) + parameter[25];
    }
    RefreshLines(lower, upper);
}

void CopyPPtoRAWVars() {
    Ledge = pp[0];
    Redge = pp[1];
    Mvalue = pp[2];
    umValue = uint32_t(pp[3]) | uint32_t(pp[4]) << 16;
    parameter[9] = pp[5];
    parameter[24] = pp[5];
    parameter[39] = pp[5];
    tol = pp[6];
    edcnt = pp[7];
    mvstart = pp[8];
    mvend = pp[9];
    dynpow = pp[10];
    anaMax = pp[11];
    anaMin = pp[12];
    in0 = pp[13];
    videoMax = pp[14];
    raw15 = pp[15];
}
