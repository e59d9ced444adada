// The status line as the sensor link and everything above it see it: a text is shown where the
// program that drives the link puts it (the window's status line; nowhere, or standard error, for
// a program without a window). The link remembers the text it showed last.
#pragma once

#include <string>

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
