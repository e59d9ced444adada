// Shared fixture of the program tests: the real program, headless, with port 1 on a simulated
// sensor behind a pseudo-terminal.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "app/app.h"
#include "support/testing.h"
#include "platform/userint.h"
#include "sim/sensor_sim.h"

// One application object for the whole test process.
inline void EnsureUserInterface() {
    static bool up = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char arg0[] = "kryta-tests";
        static char* argv[] = {arg0, nullptr};
        bool ok = InitUserInterface(argc, argv);
        TestSetDialogMode(true);
        return ok;
    }();
    ASSERT_TRUE(up);
}

class ProgramTest : public ::testing::Test {
protected:
    std::unique_ptr<sim::Simulator> sensor;
    bool started = false;

    // Starts a simulated sensor of the model on port 1 (unpaced unless asked), then the program.
    void StartWith(const std::string& model, bool paced = false) {
        const sim::Model* m = sim::FindModel(model);
        ASSERT_NE(m, nullptr) << model;
        StartWith(*m, paced);
    }
    void StartWith(const sim::Model& model, bool paced = false) {
        EnsureUserInterface();
        sensor = std::make_unique<sim::Simulator>(model, paced);
        ASSERT_TRUE(sensor->Start());
        setenv("KRYTA_COM1", sensor->DevicePath().c_str(), 1);
        ASSERT_EQ(StartProgram(), 0);
        started = true;
    }
    // Starts the program with port 1 pointing at a device that does not exist.
    void StartWithoutSensor() {
        EnsureUserInterface();
        setenv("KRYTA_COM1", "/dev/kryta-no-such-device", 1);
        ASSERT_EQ(StartProgram(), 0);
        started = true;
    }
    void TearDown() override {
        if (started) EndProgram();
        started = false;
        if (sensor) sensor->Stop();
        sensor.reset();
        TestClearTextHistory();
        TestClearDialogs();
    }
    std::string Status() { return TestCtrlText(pHandle, PANEL_STRStatus); }
};
