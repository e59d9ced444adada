// Sensor-setting controls: limits, derived lengths, cursor moves, threshold lines, and the
// controls that show or hide others. Nothing here talks to the sensor; SEND takes the values.
#include "params/settings.h"

#include <cstdint>

#include "params/panels.h"
#include "platform/userint.h"
#include "sensor/vars.h"

void (*redrawVideoCurve)() = nullptr;
void (*redrawDataCurve)() = nullptr;

namespace {

// The set-point word of the variant whose parameters are in force.
int SetPointWord() { return BlockStart(ParamVariant()) + 6; }

// Shows a tolerance as a length: the standard variant stores the scale factor x 16384,
// V303 and CL x 1024.
double ToleranceLength(uint16_t v) {
    const double f = double(ScaleFactor());
    return ParamVariant() == Variant::Standard ? f * v / 16384000.0 : f * v / 1024000.0;
}

}  // namespace

int CC_NEDITEdgeLeft(int panel, int control, int event, void*, int, int) {
    if (event == EVENT_COMMIT) {
        uint16_t v = 0;
        GetCtrlVal(panel, control, v);
        if (v < pixB) {
            v = pixB;
            parameter[7] = v;
        }
        if (v > pixE) {
            v = pixE > 0 ? uint16_t(pixE - 1) : 0;
            parameter[7] = v;
        }
        SetCtrlVal(panel, control, int(v));
        SetGraphCursor(pHandle, PANEL_GRAPHVideoBar, 2, v, 1.0);
    }
    return 0;
}

int CC_NEDITEdgeRight(int panel, int control, int event, void*, int, int) {
    if (event == EVENT_COMMIT) {
        uint16_t v = 0;
        GetCtrlVal(panel, control, v);
        if (v > pixE) {
            v = pixE;
            parameter[8] = v;
        }
        if (v < pixB) {
            v = pixB < 0xFFFF ? uint16_t(pixB + 1) : pixB;
            parameter[8] = v;
        }
        SetCtrlVal(panel, control, int(v));
        SetGraphCursor(pHandle, PANEL_GRAPHVideoBar, 3, v, 1.0);
    }
    return 0;
}

int CC_NEDITToleranceUP(int panel, int control, int event, void*, int, int) {
    if (event == EVENT_VAL_CHANGED) {
        const int s = parameter[SetPointWord()];
        uint16_t v = 0;
        GetCtrlVal(panel, control, v);
        if (s + int(v) > int(ccdvirtpixel)) {
            // a set-point at the end of the line (or beyond it) leaves no room above it
            const int room = int(ccdvirtpixel) - s - 1;
            v = room > 0 ? uint16_t(room) : 0;
        }
        SetCtrlVal(panel, control, int(v));
        const double len = ToleranceLength(v);
        const Variant var = ParamVariant();
        SetCtrlVal(pHandle, PANEL_NUMTolUP, len);
        if (var != Variant::V303) SetCtrlVal(pHandle, PANEL_NUMTol, len);
    }
    return 0;
}

int CC_NEDITTolerance(int panel, int control, int event, void*, int, int) {
    if (event == EVENT_VAL_CHANGED) {
        const int s = parameter[SetPointWord()];
        uint16_t v = 0;
        GetCtrlVal(panel, control, v);
        if (int(v) > s) v = s > 0 ? uint16_t(s - 1) : 0;  // set-point 0: nothing below it
        SetCtrlVal(panel, control, int(v));
        const double len = ToleranceLength(v);
        const Variant var = ParamVariant();
        if (var != Variant::V303) SetCtrlVal(pHandle, PANEL_NUMTolUP, len);
        SetCtrlVal(pHandle, PANEL_NUMTol, len);
    }
    return 0;
}

int CC_DROPtrigmode(int panel, int control, int event, void*, int, int) {
    if (event == EVENT_COMMIT) {
        int32_t mode = 0;
        GetCtrlVal(panel, control, mode);
        // the internal trigger (3) makes the trigger buffer available
        const bool intern = mode >= 3;
        SetCtrlVisible(pHandle, PANEL_BTNData, intern);
        SetCtrlDimmed(pPara2, PARA2_NUMTriggThreshold, !intern);
    }
    return 0;
}

int CC_DROPanaMode(int panel, int control, int event, void*, int, int) {
    if (event == EVENT_COMMIT) {
        int32_t mode = 0;
        GetCtrlVal(panel, control, mode);
        const bool show = mode > 1;
        SetCtrlVisible(pHandle, PANEL_NUManaOut, show);
        SetCtrlVisible(pHandle, PANEL_NUManaMax, show);
        SetCtrlVisible(pHandle, PANEL_NUManaMin, show);
        SetCtrlVisible(pHandle, PANEL_ButtonReset, show);
    }
    return 0;
}

int CC_DROPhardware(int panel, int control, int event, void*, int, int) {
    if (event == EVENT_COMMIT) {
        int32_t mode = 0;
        GetCtrlVal(panel, control, mode);
        // modes 1 and 3 let the housing's potentiometer set the tolerance
        const bool dim = mode == 1 || mode == 3;
        SetCtrlDimmed(pPara1, PARA1_NEDITToleranceUP, dim);
        SetCtrlDimmed(pPara1, PARA1_NEDITTolerance, dim);
    }
    return 0;
}

int CC_SLIDEVideoThreshold(int panel, int control, int event, void*, int, int) {
    if (event == EVENT_VAL_CHANGED) {
        int32_t v = 0;
        GetCtrlVal(panel, control, v);
        FillLine(thdArray, uint16_t(ADCMAX * v / 100));
        if (redrawVideoCurve) redrawVideoCurve();
    }
    return 0;
}

int CC_NUMTriggThreshold(int panel, int control, int event, void*, int, int) {
    if (event == EVENT_VAL_CHANGED) {
        uint16_t v = 0;
        GetCtrlVal(panel, control, v);
        FillLine(trgArray, v);
        if (redrawDataCurve) redrawDataCurve();
    }
    return 0;
}
