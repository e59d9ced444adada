// How kryta-lt shows a parameter set: by the names the window's pages give the words, as a table
// or as JSON, and the differences between two sets.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sensor/vars.h"

// One parameter as shown: a word, or the two words of the calibration factor or offset.
struct ShownParameter {
    int index;  // of its (first) word among the 30 of the set
    int word;   // parameter word
    std::string name, value, unit;
    bool wide;  // shown from its word and the next
};
// The parameters of a set of 30 words (frame 0 then frame 1) of the variant, in frame order.
std::vector<ShownParameter> ShowSet(Variant v, const std::array<uint16_t, 30>& words);
// Its line of the parameter file: "7", or "27-28" for one shown from two words.
std::string FileLines(const ShownParameter& p);
// Under a header, a line each: the line(s) of the parameter file, name, value and unit, aligned.
std::string SetTable(const std::vector<ShownParameter>& shown);
// What each line of the parameter file holds, for every firmware variant: under a header, a row
// each of line, name, unit, the variants it holds for, and how the value is stored (a 32-bit
// value's multiplier and half). A line whose parameter differs between the variants has a row for
// each; units in ASCII (um).
std::string ParameterFileTable();
// FACTOR's storage multiplier per variant: "16384 (standard) or 1024 (V303, CL)".
std::string FactorMultipliers();
// The parameters whose words differ: their name, the value in a and in b.
struct Difference {
    std::string name, a, b;
};
std::vector<Difference> Differences(Variant v, const std::array<uint16_t, 30>& a, const std::array<uint16_t, 30>& b);

const char* VariantName(Variant v);  // "standard", "V303", "CL"
std::string TrimRight(const std::string& s);
// A text in the style of kryta-lt's messages: a lower-case start (a word that begins with a capital
// and goes on in lower case, as "Unknown", is lowered; "RAM" and names are kept) and no closing
// full stop or exclamation mark.
std::string AsMessage(const std::string& text);
