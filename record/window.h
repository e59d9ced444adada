// report's view of the frame just decoded, kept apart from the line's own names.
#pragma once

// The tolerance window of the frame last decoded, in pixel positions, as the window's displays
// test it: set-point S, lower S - L and upper S + U of the sensor's display variant (CL keeps
// them on the line).
void ToleranceWindowNow(int& setPoint, int& lower, int& upper);
