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
// Name, value and unit a line each, the names aligned.
std::string SetTable(const std::vector<ShownParameter>& shown);
// The parameters whose words differ: their name, the value in a and in b.
struct Difference {
    std::string name, a, b;
};
std::vector<Difference> Differences(Variant v, const std::array<uint16_t, 30>& a, const std::array<uint16_t, 30>& b);

const char* VariantName(Variant v);  // "standard", "V303", "CL"
std::string TrimRight(const std::string& s);
