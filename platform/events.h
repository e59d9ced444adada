// Event processing of the run-time layer, for programs with and without a window.
#pragma once

// Processes pending events. When none is pending it waits for the next one, at most about one
// millisecond, so that polling loops neither spin a core nor lose responsiveness.
int ProcessSystemEvents();
