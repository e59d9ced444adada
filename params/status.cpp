// The status line.
#include "params/status.h"

#include "link/com232.h"

std::string szStatus;

namespace {

void (*statusSink)(const std::string&) = nullptr;
std::string shown;

}  // namespace

void ShowStatus(const std::string& text) {
    shown = text;
    if (statusSink) statusSink(text);
}

const std::string& ShownStatus() { return shown; }

void SetStatusSink(void (*sink)(const std::string& text)) { statusSink = sink; }

namespace {

std::string remembered;

}  // namespace

void RememberFailure(const std::string& text) { remembered = text; }

std::string TakeRememberedFailure() {
    std::string text;
    text.swap(remembered);
    return text;
}

// ---------------------------------------------------------------------------------------------

const char* const kLineLostText = "RS232-Line lost! - select the COM-port again";
const char* const kDisturbedText = "RS232-Line disturbed! - answer not taken, try again";
const char* const kBusyText = "Busy - press STOP or wait until the running sensor exchange has ended!";

std::string LineLostText() {
    return LineOpened() ? kLineLostText : "Port is not open - select the COM-port again";
}

std::string RefusalText(const std::string& consequence) {
    const Refusal& r = LastRefusal();
    const std::string n = std::to_string(r.value);
    std::string why;
    switch (r.kind) {
    case Refusal::Sync: why = "Answer without sync word 0xAA"; break;
    case Refusal::Argument: why = "Answer for another frame (argument " + n + ")"; break;
    case Refusal::Twice: why = "Two frames came as one answer"; break;
    case Refusal::Disturbed: why = "RS232-Line disturbed!"; break;
    case Refusal::Command:
        if (r.request == GET_RAW) why = "No measurement frame (answer with command " + n + ")";
        else if (r.value == GET_RAW) why = "Measurement frame instead of the answer";
        else if (r.request == GET_HARDWARE) why = "No hardware answer (command " + n + ")";
        else why = "Answer of another request (command " + n + ")";
        break;
    case Refusal::None: why = "Answer refused"; break;
    }
    std::string text = why + " - " + consequence + "!";
    if (text.size() > 72) text = why.substr(0, 71) + "!";
    return text;
}

std::string MeasurementFailureText(Outcome o) {
    switch (o) {
    case Outcome::TimedOut: return "Timeout RS232-Line!";
    case Outcome::Refused: return RefusalText("measurement not taken");
    case Outcome::Disturbed: return kDisturbedText;
    case Outcome::LineLost: return LineLostText();
    default: return "";
    }
}

void ShowLineOk(bool allWritten) {
    if (allWritten) ShowStatus("Line Ok!");
}

namespace {

// What the status line said before a refused start put the busy text there.
std::string statusBeforeBusy;
void (*sensorOpEnded)() = nullptr;

}  // namespace

void SetSensorOpEnded(void (*ended)()) { sensorOpEnded = ended; }

SensorOp::SensorOp() : ok(BeginSensorOp()) {
    if (ok) return;
    if (ShownStatus() != kBusyText) statusBeforeBusy = ShownStatus();
    ShowStatus(kBusyText);
}

SensorOp::~SensorOp() {
    if (!ok) return;
    // the running exchange has ended: its outcome again instead of the busy text, before whatever
    // waited for it runs
    if (ShownStatus() == kBusyText) ShowStatus(statusBeforeBusy);
    if (sensorOpEnded) sensorOpEnded();  // a lost line greys what was this sensor's
    EndSensorOp();
}
