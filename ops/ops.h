// Sensor operations started with buttons: the connect sequence, GET/SEND, RUN/STOP, VIDEO/DATA,
// teach and reset.
#pragma once

#include <cstdint>

#include "platform/userint.h"  // KRYTA_CB
#include "sensor/hardware.h"

// connect sequence on a port: line check, identification, parameter read, firmware text
void InitRS232(int port);
// The controls that depend on the sensor, after a hardware answer identified it.
void ShowHARDWAREInfo(const SensorIdentity& id);

void PushGET(uint16_t target, uint16_t frameSelect);
KRYTA_CB(CC_BTNGet);
KRYTA_CB(CC_BTNSend);
KRYTA_CB(CC_RBTRam);
KRYTA_CB(CC_RBTEeprom);
KRYTA_CB(CC_RBTFile);

// RAM as the memory target, as RUN, VIDEO and DATA use it.
void ForceRamTarget();
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
