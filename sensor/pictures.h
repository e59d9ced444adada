// What the edge graph and the roll chart show for one measurement frame: plain arithmetic on the
// decoded frame, the line of the connected sensor and the parameter words of a firmware variant.
#pragma once

#include <array>
#include <cstdint>

#include "sensor/vars.h"

// The parameter words the graphs read, taken from the variant's block.
struct PictureWords {
    Variant variant;
    int evalMode, edgeBegin, edgeEnd, setPoint;
    int up, low;  // upper and lower tolerance U and L
    int anaMode;
    int power, powerMode;  // V303 and CL; 0 for the standard firmware
};
// The standard firmware, and a V303 in hardware mode 1 or 3, take the sensor's tol on both sides.
PictureWords PictureWordsOf(Variant v, const std::array<uint16_t, 64>& words, uint16_t tol);

// One decoded measurement frame.
struct Measurement {
    uint16_t ledge = 0, redge = 0, edcnt = 0, mvstart = 0;
    uint32_t mvend = 0, mvalue = 0, umValue = 0;
    uint16_t anaMax = 0, anaMin = 0;
    uint32_t dynpow = 0;
};
// The frame decoded last (Ledge, Redge, ... of sensor/vars.h).
Measurement LastMeasurement();

// The line of the connected sensor.
struct SensorLine {
    int virtPixels;  // ccdvirtpixel
    int pixB, pixE;  // first and last usable position
    int hwtype;      // HWTYPE; 1 is edge-evaluation hardware
};
SensorLine ConnectedLine();

struct PixelSpan {
    int from = 0, to = 0;
};

// The edge graph GRAPHVideoBar and its displays.
struct EdgePicture {
    int position = 0;                 // cursor 1: the measured position, kept on the usable line
    int edgeBegin = 0, edgeEnd = 0;   // cursors 2 and 3
    bool hasBar = false;              // the red bar of the object between its edges
    PixelSpan bar;
    int windows = 0;                  // green tolerance windows, standard firmware only
    std::array<PixelSpan, 2> window;
    bool outOfTolerance = false;
    int anaOut = 0;                   // the analog-output value its mode shows
    double length = 0;                // the measured value in length units
    bool showsPower = false;          // V303 and CL: the power slider shows `power`
    int power = 0;
};
EdgePicture EdgeGraphPicture(const PictureWords& w, const Measurement& m, const SensorLine& line);

// One sample of the roll chart GRAPHRaw.
struct RollSample {
    // traces 1-6: upper and lower tolerance limit, set-point, measured value, analog low and high
    std::array<int, 6> traces{};
    int zoomMin = 0, zoomMax = 0;  // the y-range with ZOOM pressed
    bool outOfTolerance = false;
};
RollSample RollChartSample(const PictureWords& w, const Measurement& m, int virtPixels);

// The tolerances U and L in length units, by the scale factor of parameter words 60-61.
struct ToleranceLengths {
    double up, low;
};
ToleranceLengths LengthsOf(const PictureWords& w, uint32_t scaleFactor);
