// Sensor operations started with buttons: GET/SEND, RUN/STOP, VIDEO/DATA, teach and reset.
#pragma once

#include <cstdint>

#include "params/settings.h"  // KRYTA_CB

void PushGET(uint16_t target, uint16_t frameSelect);
KRYTA_CB(CC_BTNGet);
KRYTA_CB(CC_BTNSend);
KRYTA_CB(CC_RBTRam);
KRYTA_CB(CC_RBTEeprom);
KRYTA_CB(CC_RBTFile);

// Shown when the serial device went away (adapter unplugged) during RUN or VIDEO; the operator
// picks the port again in the port drop-down.
extern const char* const kLineLostText;

void PushRUN();
KRYTA_CB(CC_BTNRun);
KRYTA_CB(CC_BTNStop);

void PushVIDEO();
void PushDATA();
KRYTA_CB(CC_BTNVideo);
KRYTA_CB(CC_BTNData);

KRYTA_CB(CC_ButtonTeach);
KRYTA_CB(CC_NEDITTeach);
KRYTA_CB(CC_ButtonReset);
