// Who the sensor is: the hardware answer decoded into the identification, the hardware table with
// the description texts of every known sensor, and the firmware text.
#pragma once

#include <array>
#include <cstdint>
#include <string>

struct HardwareRow {
    uint16_t family;       // CCD family: 1, 4 or 101
    uint16_t code;         // base hardware code; the peak variant is code + 10000 where it exists
    bool peakVariant;
    const char* name;      // edge variant (HWTYPE 1 or 3)
    const char* peakName;  // peak variant (HWTYPE 2)
    const char* line1;     // pixel text
    const char* line2;     // resolution text
    const char* line3;     // working-range text
};

// What one hardware answer said, beyond the identification globals it set.
struct SensorIdentity {
    uint16_t virtPixelSent = 0;       // ccdvirtpixel as the sensor sent it (before the step table)
    bool knownFamily = false;         // CCD family 1, 4 or 101
    const HardwareRow* row = nullptr; // the table's row; nullptr when family and code match none
    bool peak = false;                // the row's peak variant
};

// Applies a hardware answer (words 2-12 of the frame) to the identification: ccdtype to adcmax,
// xArray from the pixel-step table (an unlisted ccdvirtpixel becomes 1024), HWTYPE where the table
// knows the code (otherwise it keeps its value), pixB, pixE, YAXISMAX and ADCMAX.
SensorIdentity IdentifySensor(const std::array<uint16_t, 13>& words);
// Sub-pixel step of the video samples for a number of pixel positions; 0 for an unlisted one.
uint16_t PixelStep(uint16_t virtPixel);
// The four lines of the sensor description: designation, pixels, resolution, working range.
std::array<std::string, 4> SensorLines(const SensorIdentity& id);
// The firmware text as a text line can show it: every `stride`-th byte (1: plain text, 2: the low
// bytes of big-endian words), up to the first zero byte and at most 72 characters; Latin-1
// letters become UTF-8, control bytes '?'.
std::string FirmwareText(const uint8_t* bytes, int count, int stride);
