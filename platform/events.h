// Event processing of the run-time layer, for the program's polling loops. Needs only Qt Core: a
// program without a window (QCoreApplication) waits the same way.
#pragma once

// Processes pending events. When none is pending it waits for the next one, at most about one
// millisecond, so that polling loops neither spin a core nor lose responsiveness. Without an
// application object it only pauses for that millisecond.
int ProcessSystemEvents();
