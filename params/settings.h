// Callbacks of the sensor-setting controls.
#pragma once

#define KRYTA_CB(name) \
    int name(int panel, int control, int event, void* callbackData, int eventData1, int eventData2)

KRYTA_CB(CC_NEDITEdgeLeft);
KRYTA_CB(CC_NEDITEdgeRight);
KRYTA_CB(CC_NEDITToleranceUP);
KRYTA_CB(CC_NEDITTolerance);
KRYTA_CB(CC_DROPtrigmode);
KRYTA_CB(CC_DROPanaMode);
KRYTA_CB(CC_DROPhardware);
KRYTA_CB(CC_SLIDEVideoThreshold);
KRYTA_CB(CC_NUMTriggThreshold);
// controls whose only event is the right-click help
KRYTA_CB(CC_DROPevalmode);
KRYTA_CB(CC_DROPpolarity);
KRYTA_CB(CC_DROPaverage);
KRYTA_CB(CC_DROPhold);
KRYTA_CB(CC_SLIDEpower);
KRYTA_CB(CC_DROPpowermode);
KRYTA_CB(CC_BINSWopmode);
