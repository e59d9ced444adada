// Range rules, tolerance limits and the names of the parameter words.
#include "sensor/rules.h"

namespace {

void Above(uint16_t& w, uint16_t limit, uint16_t replacement) {
    if (w > limit) w = replacement;
}
void Below(uint16_t& w, uint16_t limit, uint16_t replacement) {
    if (w < limit) w = replacement;
}

// Rules on the slots 0-5 that all three variants share.
void CommonRules(uint16_t* b, uint16_t cvp, uint16_t zeroEdgeEnd) {
    Above(b[4], cvp, 1);       // edgeBegin
    Above(b[5], cvp, cvp);     // edgeEnd
    if (b[5] == 0) b[5] = zeroEdgeEnd;
    Above(b[3], 3, 4);         // evalMode
    Above(b[2], 1, 1);         // polarity
    Above(b[0], 1000, 500);    // power
    Above(b[1], 1, 1);         // powerMode
}

void VideoThresholdRule(uint16_t& w) {
    Above(w, 950, 950);
    Below(w, 10, 10);
}

void StandardRules(std::array<uint16_t, 64>& w, uint16_t cvp) {
    uint16_t* b = &w[3];
    CommonRules(b, cvp, 1);
    Above(b[11], 1, 0);        // option
    Above(b[7], cvp, cvp);     // tolerance
    Below(b[7], 1, 1);
    Above(b[9], 3, 0);         // trigMode
    Above(b[13], 3, 3);        // hardwareMode
    Above(b[8], 1024, 1024);   // average
    Above(b[10], 7, 0);        // anaMode
    VideoThresholdRule(b[14]);
    Above(w[48], cvp, cvp);    // triggerThreshold
}

void V303Rules(std::array<uint16_t, 64>& w, uint16_t cvp) {
    uint16_t* b = &w[18];
    CommonRules(b, cvp, 256);
    Below(b[8], 1, 1);         // toleranceLow
    Above(b[7], cvp, cvp);     // toleranceUp
    Below(b[7], 1, 1);
    Above(b[10], 3, 0);        // trigMode
    Above(b[13], 3, 3);        // hardwareMode
    Above(b[9], 256, 256);     // average
    Above(b[11], 7, 0);        // anaMode
    VideoThresholdRule(b[14]);
}

void CLRules(std::array<uint16_t, 64>& w, uint16_t cvp) {
    uint16_t* b = &w[33];
    CommonRules(b, cvp, 1);
    Below(b[8], 1, 1);         // toleranceLow
    Above(b[7], cvp, cvp);     // toleranceUp
    Above(b[10], 2, 0);        // trigMode
    Above(b[9], 256, 256);     // average
    Above(b[11], 7, 0);        // anaMode
    Above(b[12], 1000, 1000);  // holdTime
    VideoThresholdRule(b[13]);
}

// Names of the block slots as the pages label their controls.
struct SlotName {
    const char* name;
    const char* unit;
};
constexpr SlotName kCommonSlots[7] = {
    {"POWER", ""}, {"POWER-MODE", ""}, {"POLARITY", ""}, {"EVALUATION-MODE", ""},
    {"E-BEG", "pixel"}, {"E-END", "pixel"}, {"SET-POINT", "pixel"},
};
constexpr SlotName kStandardSlots[8] = {
    {"TOLERANCE", "pixel"}, {"AVERAGE", ""}, {"TRIGGER-MODE", ""}, {"ANALOG-OUT", ""},
    {"OPTION", ""}, {"OPERATION-MODE", ""}, {"HARDWARE-MODE", ""}, {"V-THD", "%"},
};
constexpr SlotName kV303Slots[8] = {
    {"TOLERANCE-UP", "pixel"}, {"TOLERANCE-LOW", "pixel"}, {"AVERAGE", ""}, {"TRIGGER-MODE", ""},
    {"ANALOG-OUT", ""}, {"OPERATION-MODE", ""}, {"HARDWARE-MODE", ""}, {"V-THD", "%"},
};
constexpr SlotName kCLSlots[8] = {
    {"TOLERANCE-UP", "pixel"}, {"TOLERANCE-LOW", "pixel"}, {"AVERAGE", ""}, {"TRIGGER-MODE", ""},
    {"ANALOG-OUT", ""}, {"HOLD", "ms"}, {"V-THD", "%"}, {"SPARE", ""},
};
constexpr const char* kReserved[10] = {"RESERVED-1", "RESERVED-2", "RESERVED-3", "RESERVED-4",
                                       "RESERVED-5", "RESERVED-6", "RESERVED-7", "RESERVED-8",
                                       "RESERVED-9", "RESERVED-10"};

}  // namespace

RangeCorrections ApplyRangeRules(Variant v, std::array<uint16_t, 64>& words, uint16_t cvp) {
    const std::array<uint16_t, 64> before = words;
    switch (v) {
    case Variant::V303: V303Rules(words, cvp); break;
    case Variant::CL: CLRules(words, cvp); break;
    default: StandardRules(words, cvp); break;
    }
    RangeCorrections out;
    for (int i = 3; i < 64 && out.count < int(out.at.size()); ++i)
        if (words[i] != before[i]) out.at[out.count++] = {i, before[i], words[i]};
    return out;
}

uint16_t ThresholdLine(int adcFullScale, uint16_t videoThreshold) {
    return uint16_t(int32_t(adcFullScale) * int32_t(videoThreshold) / 100);
}

void ToleranceLimits(uint16_t setPoint, uint16_t tolUp, uint16_t tolLow, uint16_t cvp, uint16_t& lower,
                     uint16_t& upper) {
    int lo = int(setPoint) - int(tolLow);
    int up = int(setPoint) + int(tolUp);
    if (lo < 0) lo = 0;
    if (up > int(cvp)) up = cvp;
    lower = uint16_t(lo);
    upper = uint16_t(up);
}

WordName NameOfWord(Variant v, int word) {
    const int b = BlockStart(v);
    if (word >= b && word < b + 15) {
        const int slot = word - b;
        if (slot < 7) return {kCommonSlots[slot].name, kCommonSlots[slot].unit, WordShape::Plain};
        const SlotName* rest = v == Variant::V303 ? kV303Slots : v == Variant::CL ? kCLSlots : kStandardSlots;
        return {rest[slot - 7].name, rest[slot - 7].unit, WordShape::Plain};
    }
    if (word == 48) return {"TRIGGER-THD", "pixel", WordShape::Plain};
    if (word >= 49 && word <= 58) return {kReserved[word - 49], "", WordShape::Plain};
    if (word == 60) return {"FACTOR", "\xC2\xB5m/pixel", WordShape::FactorLow};
    if (word == 62) return {"OFFSET", "\xC2\xB5m", WordShape::OffsetLow};
    if (word == 61 || word == 63) return {word == 61 ? "FACTOR" : "OFFSET", "", WordShape::High};
    return {nullptr, "", WordShape::Plain};
}

std::array<int, 30> ParameterSetWords(Variant v) {
    std::array<int, 30> w{};
    const int b = BlockStart(v);
    for (int i = 0; i < 15; ++i) w[i] = b + i;
    for (int i = 0; i < 15; ++i) w[15 + i] = i <= 10 ? 48 + i : 49 + i;
    return w;
}
