// The status line of the sensor link.
#include "link/status.h"

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
