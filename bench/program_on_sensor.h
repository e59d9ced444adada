// Benchmarks of the whole program: the real program, headless, with port 1 on a simulated sensor.
#pragma once

#include <cstdlib>

#include "app/app.h"
#include "support/testing.h"
#include "platform/userint.h"
#include "sim/sensor_sim.h"

// The window system, headless unless another platform is asked for; dialogs take queued answers.
inline bool StartHeadless(int& argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (!InitUserInterface(argc, argv)) return false;
    TestSetDialogMode(true);
    return true;
}

// Starts the sensor and the program with port 1 on it.
inline bool StartProgramOn(sim::Simulator& sensor) {
    if (!sensor.Start()) return false;
    setenv("KRYTA_COM1", sensor.DevicePath().c_str(), 1);
    return StartProgram() == 0;
}
