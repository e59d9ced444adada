// The status line as the operations see it: a text is shown where the program puts it (the
// window's status line; nowhere in a test without a window). The text shown last is remembered.
#pragma once

#include <string>

#include "link/com232.h"

extern std::string szStatus;  // the text a sequence last composed for the status line

void ShowStatus(const std::string& text);
// The text shown last.
const std::string& ShownStatus();
// Where texts go from now on; nullptr: nowhere.
void SetStatusSink(void (*sink)(const std::string& text));

// A failure that ended an operation because the port changed: the new connection's texts follow
// it, so the shell shows it again once they are done.
void RememberFailure(const std::string& text);
std::string TakeRememberedFailure();

// ---- what the operator reads of the sensor line ----
extern const char* const kLineLostText;  // "RS232-Line lost! - select the COM-port again"
// The text for a line that is not there: lost while open, or never opened.
std::string LineLostText();
// The text for an answer that the line's disturbance spoiled (bytes around it, or no quiet).
extern const char* const kDisturbedText;
// Why the last exchange refused its answer (LastRefusal), then " - " and what the operation did not
// do because of it, e.g. "parameters not taken": at most 72 characters, as szStatus holds.
std::string RefusalText(const std::string& consequence);
// What ended a measurement request without its frame, as the status line says it; "" when STOP or
// a port change ended it (the one who ended it says so).
std::string MeasurementFailureText(Outcome o);
// "Line Ok!" once all 36 bytes of a request are on the line.
void ShowLineOk(bool allWritten);

// ---- one sensor exchange at a time, as the operator meets it ----
extern const char* const kBusyText;
// What runs when a sensor operation has ended, after its outcome is on the status line again: the
// window greys what is no longer this sensor's (ShowOrigins, set at start-up); nullptr: nothing.
void SetSensorOpEnded(void (*ended)());
// An operation that talks to the sensor (see BeginSensorOp): while another one runs, the status
// line says so and `ok` is false; once the running one has ended, the status line shows its outcome
// again instead of the busy text.
struct SensorOp {
    bool ok;
    SensorOp();
    ~SensorOp();
    SensorOp(const SensorOp&) = delete;
    SensorOp& operator=(const SensorOp&) = delete;
};
