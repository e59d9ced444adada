// The parameter set in words a person reads: names, real factor, signed offset.
#include "cli/text.h"

#include <cstdio>

#include "sensor/files.h"
#include "sensor/rules.h"

std::vector<ShownParameter> ShowSet(Variant v, const std::array<uint16_t, 30>& words) {
    std::vector<ShownParameter> shown;
    const std::array<int, 30> at = ParameterSetWords(v);
    for (int i = 0; i < 30; ++i) {
        const WordName n = NameOfWord(v, at[size_t(i)]);
        if (!n.name || n.shape == WordShape::High) continue;
        std::string value;
        const uint32_t wide = i + 1 < 30 ? uint32_t(words[size_t(i)]) | uint32_t(words[size_t(i + 1)]) << 16 : 0;
        switch (n.shape) {
        case WordShape::FactorLow: value = FormatReal(double(wide) / ScaleUnit(v)); break;
        case WordShape::OffsetLow: value = std::to_string(int32_t(wide)); break;
        default: value = std::to_string(words[size_t(i)]); break;
        }
        shown.push_back({i, at[size_t(i)], n.name, value, n.unit,
                         n.shape == WordShape::FactorLow || n.shape == WordShape::OffsetLow});
    }
    return shown;
}

std::string SetTable(const std::vector<ShownParameter>& shown) {
    std::string out;
    for (const ShownParameter& p : shown) {
        char line[128];
        std::snprintf(line, sizeof line, "%-16s %10s  %s", p.name.c_str(), p.value.c_str(), p.unit.c_str());
        out += TrimRight(line) + "\n";
    }
    return out;
}

std::vector<Difference> Differences(Variant v, const std::array<uint16_t, 30>& a, const std::array<uint16_t, 30>& b) {
    const auto shownA = ShowSet(v, a), shownB = ShowSet(v, b);
    std::vector<Difference> out;
    for (size_t k = 0; k < shownA.size(); ++k) {
        const int i = shownA[k].index;
        const bool differ = a[size_t(i)] != b[size_t(i)] || (shownA[k].wide && a[size_t(i + 1)] != b[size_t(i + 1)]);
        if (differ) out.push_back({shownA[k].name, shownA[k].value, shownB[k].value});
    }
    return out;
}

const char* VariantName(Variant v) {
    switch (v) {
    case Variant::V303: return "V303";
    case Variant::CL: return "CL";
    default: return "standard";
    }
}

std::string TrimRight(const std::string& s) {
    size_t end = s.size();
    while (end > 0 && (s[end - 1] == ' ' || s[end - 1] == '\t')) --end;
    return s.substr(0, end);
}
