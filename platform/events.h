// Event processing of the run-time layer, for the program's polling loops. Needs only Qt Core: a
// program without a window (QCoreApplication) waits the same way.
#pragma once

// Processes the events that are pending, without waiting for more.
int ProcessSystemEvents();
// Processes pending events; when none is pending, sleeps until the next event (bytes on a serial
// line, the operator, a signal) or until `deadline` (seconds on the Timer() clock), whichever
// comes first. A deadline that has passed only processes what is pending. Without an
// application object it sleeps until the deadline. Each call wakes the program at most once.
void WaitForEvent(double deadline);
// Wake-ups of the program's waits so far (sleeps that ended), for measurements.
unsigned long WaitWakeups();

// Creates the run-time of a program without a window (event processing, serial ports), once.
void InitCoreRuntime(int argc, char** argv);
// From now on SIGTERM, SIGINT and SIGHUP do not end the program: `fn` runs at the next event
// processing instead, and a wait in progress wakes at once. A second signal ends the program,
// unless it comes within half a second of the first (one request sent twice).
void OnInterruption(void (*fn)());
