// Shared by the fuzz targets: the real program started headless, with no sensor on port 1.
#pragma once

#include <cstdlib>

#include "app/app.h"
#include "support/testing.h"
#include "platform/userint.h"

// Aborts, so that libFuzzer keeps the input, when a rule of the program does not hold.
inline void Check(bool ok) {
    if (!ok) abort();
}

// The panels from $KRYTA_UIR (or beside the program), dialogs answered from the test queue.
inline void StartProgramHeadless() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("KRYTA_COM1", "/dev/kryta-no-such-device", 1);
    static int argc = 1;
    static char arg0[] = "fuzz";
    static char* argv[] = {arg0, nullptr};
    Check(InitUserInterface(argc, argv));
    TestSetDialogMode(true);
    const char* uir = getenv("KRYTA_UIR");
    Check(StartProgram(uir ? uir : "") == 0);
}
