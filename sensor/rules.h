// What the parameter words may hold: the range rules that the pages apply before they show the
// words, the limits derived from them, and the names and units the pages give the words.
#pragma once

#include <array>
#include <cstdint>

#include "sensor/vars.h"

struct RangeCorrection {
    int word;      // parameter word
    uint16_t from;  // the value it held
    uint16_t to;    // the value the rules allow
};
struct RangeCorrections {
    std::array<RangeCorrection, 16> at{};
    int count = 0;
};

// Applies the range rules of the variant's block (and, for the standard variant, the trigger
// threshold's) to `words`, as the pages do before they show them: cvp is the number of pixel
// positions of the connected line. Returns every word the rules changed.
RangeCorrections ApplyRangeRules(Variant v, std::array<uint16_t, 64>& words, uint16_t cvp);

// The video threshold line: full scale x threshold / 100, formed in 32 bits.
uint16_t ThresholdLine(int adcFullScale, uint16_t videoThreshold);
// Lower and upper tolerance limit around the set-point, computed wide and kept within 0 and cvp.
void ToleranceLimits(uint16_t setPoint, uint16_t tolUp, uint16_t tolLow, uint16_t cvp, uint16_t& lower,
                     uint16_t& upper);

// How a parameter word is shown.
enum class WordShape {
    Plain,     // a 16-bit value
    FactorLow, // words 60-61: the calibration factor, shown as the real factor
    OffsetLow, // words 62-63: the calibration offset, a signed 32-bit value
    High,      // the high word of one of the two above: shown with its low word
};
struct WordName {
    const char* name;  // as its page labels it; nullptr for a word the variant does not send
    const char* unit;  // "" when it has none
    WordShape shape;
};
// Name, unit and shape of parameter word `word` (3-63) for the variant's block; words of the other
// variants' blocks and word 59 have no name.
WordName NameOfWord(Variant v, int word);
// The words one parameter set consists of, in frame order: the variant's 15 block words, then
// words 48-58 and 60-63.
std::array<int, 30> ParameterSetWords(Variant v);
