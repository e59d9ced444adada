// The parameter set in words a person reads: names, real factor, signed offset.
#include "common/text.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

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

std::string FileLines(const ShownParameter& p) {
    return std::to_string(p.index + 1) + (p.wide ? "-" + std::to_string(p.index + 2) : "");
}

std::string SetTable(const std::vector<ShownParameter>& shown) {
    std::string out;
    auto row = [&](const std::string& line, const std::string& name, const std::string& value, const std::string& unit) {
        char text[128];
        std::snprintf(text, sizeof text, "%5s  %-16s %10s  %s", line.c_str(), name.c_str(), value.c_str(), unit.c_str());
        out += TrimRight(text) + "\n";
    };
    row("line", "parameter", "value", "unit");
    for (const ShownParameter& p : shown) row(FileLines(p), p.name, p.value, p.unit);
    return out;
}

namespace {

constexpr Variant kVariants[] = {Variant::Standard, Variant::V303, Variant::CL};

// The variants that `keep` picks: "standard", "V303, CL", or "all".
template <typename Keep>
std::string VariantsWhere(Keep keep) {
    std::string out;
    int n = 0;
    for (Variant v : kVariants)
        if (keep(v)) out += (n++ ? ", " : "") + std::string(VariantName(v));
    return n == int(std::size(kVariants)) ? "all" : out;
}

std::string Ascii(const std::string& unit) {
    std::string out = unit;
    for (size_t at; (at = out.find("\xC2\xB5")) != std::string::npos;) out.replace(at, 2, "u");
    return out;
}

std::string Multiplier(Variant v) { return std::to_string(int(ScaleUnit(v))); }

}  // namespace

std::string FactorMultipliers() {
    std::string out;
    std::vector<std::string> told;
    for (Variant v : kVariants) {
        const std::string m = Multiplier(v);
        if (std::find(told.begin(), told.end(), m) != told.end()) continue;
        told.push_back(m);
        out += (out.empty() ? "" : " or ") + m + " (" + VariantsWhere([&](Variant w) { return Multiplier(w) == m; }) + ")";
    }
    return out;
}

std::string ParameterFileTable() {
    struct Row {
        std::string name, unit, stored;
        bool operator==(const Row&) const = default;
    };
    auto rowOf = [](Variant v, int line) {
        const WordName n = NameOfWord(v, ParameterSetWords(v)[size_t(line)]);
        Row r{n.name ? n.name : "", Ascii(n.unit), "the value"};
        if (n.shape == WordShape::FactorLow) r.stored = "x " + Multiplier(v) + ", low 16 bits";
        if (n.shape == WordShape::OffsetLow) r.stored = "with sign, low 16 bits";
        if (n.shape == WordShape::High) r.stored = "high 16 bits";
        return r;
    };
    std::string out;
    auto print = [&](const std::string& line, const Row& r, const std::string& variants) {
        char text[128];
        std::snprintf(text, sizeof text, "  %4s  %-16s %-9s %-14s %s", line.c_str(), r.name.c_str(), r.unit.c_str(),
                      variants.c_str(), r.stored.c_str());
        out += TrimRight(text) + "\n";
    };
    print("line", {"parameter", "unit", "stored as"}, "firmware");
    for (int line = 0; line < 30; ++line) {
        std::vector<Row> told;
        for (Variant v : kVariants) {
            const Row r = rowOf(v, line);
            if (std::find(told.begin(), told.end(), r) != told.end()) continue;
            print(told.empty() ? std::to_string(line + 1) : "", r,
                  VariantsWhere([&](Variant w) { return rowOf(w, line) == r; }));
            told.push_back(r);
        }
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

std::string AsMessage(const std::string& text) {
    std::string out = text;
    if (out.size() >= 2 && out[0] >= 'A' && out[0] <= 'Z' && out[1] >= 'a' && out[1] <= 'z') out[0] = char(out[0] - 'A' + 'a');
    const bool ellipsis = out.size() >= 2 && out.compare(out.size() - 2, 2, "..") == 0;
    if (!out.empty() && (out.back() == '!' || (out.back() == '.' && !ellipsis))) out.pop_back();
    return out;
}

std::string TrimRight(const std::string& s) {
    size_t end = s.size();
    while (end > 0 && (s[end - 1] == ' ' || s[end - 1] == '\t')) --end;
    return s.substr(0, end);
}
