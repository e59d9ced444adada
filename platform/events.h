// Event processing of the run-time layer, for the program's polling loops. Needs only Qt Core: a
// program without a window (QCoreApplication) waits the same way.
#pragma once

// Processes pending events. When none is pending it waits for the next one, at most about one
// millisecond, so that polling loops neither spin a core nor lose responsiveness. Without an
// application object it only pauses for that millisecond.
int ProcessSystemEvents();

// Creates the run-time of a program without a window (event processing, serial ports), once.
void InitCoreRuntime(int argc, char** argv);
// From now on SIGTERM, SIGINT and SIGHUP do not end the program: `fn` runs at the next event
// processing instead, and a wait in progress wakes at once. A second signal ends the program.
void OnInterruption(void (*fn)());
