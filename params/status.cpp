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

std::string MeasurementFailureText(Outcome o) {
    switch (o) {
    case Outcome::TimedOut:
    case Outcome::Refused: return "Timeout RS232-Line!";
    case Outcome::Disturbed: return kDisturbedText;
    case Outcome::LineLost: return LineLostText();
    default: return "";
    }
}

void ShowLineOk(bool) { ShowStatus("Line Ok!"); }

namespace {

// What the status line said before a refused start put the busy text there.
std::string statusBeforeBusy;

}  // namespace

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
    EndSensorOp();
}
