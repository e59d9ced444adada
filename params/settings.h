// Callbacks of the sensor-setting controls.
#pragma once

#include "platform/userint.h"  // KRYTA_CB

KRYTA_CB(CC_NEDITEdgeLeft);
KRYTA_CB(CC_NEDITEdgeRight);
KRYTA_CB(CC_NEDITToleranceUP);
KRYTA_CB(CC_NEDITTolerance);
KRYTA_CB(CC_DROPtrigmode);
KRYTA_CB(CC_DROPanaMode);
KRYTA_CB(CC_DROPhardware);
KRYTA_CB(CC_SLIDEVideoThreshold);
KRYTA_CB(CC_NUMTriggThreshold);

// The threshold controls redraw the last video signal or trigger buffer with the new line. The
// curves are drawn by the displays, above this part: the shell tells which routines draw them.
extern void (*redrawVideoCurve)();
extern void (*redrawDataCurve)();
