#include "sensor/study.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

Statistics StatisticsOf(const std::vector<double>& values) {
    Statistics s;
    s.n = int(values.size());
    if (values.empty()) return s;
    s.min = s.max = values[0];
    double sum = 0;
    for (double v : values) {
        sum += v;
        s.min = std::min(s.min, v);
        s.max = std::max(s.max, v);
    }
    s.mean = sum / s.n;
    s.range = s.max - s.min;
    if (s.n < 2) return s;
    double squares = 0;  // around the mean: no loss of digits for values far from zero
    for (double v : values) squares += (v - s.mean) * (v - s.mean);
    s.sd = std::sqrt(squares / (s.n - 1));
    return s;
}

double ShareInside(const std::vector<double>& values, double lower, double upper) {
    if (values.empty()) return 0;
    const auto inside = std::count_if(values.begin(), values.end(), [&](double v) { return v >= lower && v <= upper; });
    return double(inside) / double(values.size());
}

Histogram HistogramOf(const std::vector<double>& values, double step, int maxBins) {
    Histogram h;
    if (values.empty() || maxBins < 1) return h;
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    double width;
    int bins;
    if (step > 0) {
        // the number of steps the values span, grouped into bins of whole steps
        const long steps = std::lround((*hi - *lo) / step) + 1;
        const long group = (steps + maxBins - 1) / maxBins;
        width = double(group) * step;
        bins = int((steps + group - 1) / group);
        h.from = *lo - step / 2;
    } else {
        bins = *hi > *lo ? maxBins : 1;
        width = *hi > *lo ? (*hi - *lo) / bins : 1.0;
        h.from = *hi > *lo ? *lo : *lo - 0.5;
    }
    h.width = width;
    h.counts.assign(size_t(bins), 0);
    for (double v : values) {
        const int k = std::clamp(int(std::floor((v - h.from) / width)), 0, bins - 1);
        ++h.counts[size_t(k)];
    }
    return h;
}

namespace {

std::string Fixed(double v) {
    char t[32];
    std::snprintf(t, sizeof t, "%.2f", v);
    return t;
}

}  // namespace

GaugeStudy StudyOf(const Statistics& s, double reference, double tolerance, double resolution) {
    GaugeStudy g;
    g.resolutionLimit = 0.05 * tolerance;
    g.resolutionFine = resolution <= g.resolutionLimit;
    g.bias = s.mean - reference;
    if (s.n < kStudyMinFrames) {
        g.status = GaugeStudy::TooFew;
        g.verdict = "no study: " + std::to_string(s.n) + " frames, at least " + std::to_string(kStudyMinFrames) +
                    " are needed for its statistics";
        return g;
    }
    if (s.sd == 0) {
        g.status = GaugeStudy::NoVariation;
        g.verdict = "Cg, Cgk not defined: no variation seen at this resolution";
        return g;
    }
    g.status = GaugeStudy::Done;
    g.cg = 0.2 * tolerance / (6 * s.sd);
    g.cgk = (0.1 * tolerance - std::fabs(g.bias)) / (3 * s.sd);
    const bool cgFails = g.cg < kCapableIndex, cgkFails = g.cgk < kCapableIndex;
    g.capable = !cgFails && !cgkFails;
    const std::string limit = " below " + Fixed(kCapableIndex);
    if (g.capable) g.verdict = "capable";
    else if (cgFails && cgkFails) g.verdict = "not capable: Cg " + Fixed(g.cg) + " and Cgk " + Fixed(g.cgk) + limit;
    else if (cgFails) g.verdict = "not capable: Cg " + Fixed(g.cg) + limit;
    else g.verdict = "not capable: Cgk " + Fixed(g.cgk) + limit;
    return g;
}
