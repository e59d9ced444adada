#include "sensor/study.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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

double StepOf(const std::vector<double>& values) {
    if (values.size() < 2) return 0;
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    // the largest common divisor of the distances from the smallest value, Euclid's way; a
    // remainder within a millionth of the divisor is rounding, not a finer step
    auto divisor = [](double a, double b) {
        while (b > 0) {
            double r = std::fmod(a, b);
            if (r < 1e-6 * b || b - r < 1e-6 * b) r = 0;
            a = b;
            b = r;
        }
        return a;
    };
    double step = 0;
    for (double v : values) step = divisor(v - *lo, step);
    // what is left of values in no steps at all is the doubles' own rounding
    return step > 1e-9 * std::max({std::fabs(*lo), std::fabs(*hi), 1.0}) ? step : 0;
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

Drift DriftOf(const std::vector<double>& values) {
    Drift d;
    const int fifth = int(values.size() / 5);
    if (fifth < 2) return d;
    d.frames = fifth;
    const Statistics first = StatisticsOf({values.begin(), values.begin() + fifth});
    const Statistics last = StatisticsOf({values.end() - fifth, values.end()});
    d.first = first.mean;
    d.last = last.mean;
    d.spread = std::sqrt((first.sd * first.sd + last.sd * last.sd) / 2);
    d.drifts = std::fabs(d.last - d.first) > d.spread;
    return d;
}

namespace {

// A number as short as it reads: "10", "0.9766", "1.2e+04".
std::string Short(double v) {
    char t[32];
    std::snprintf(t, sizeof t, "%.4g", v);
    return t;
}

// `v` with two decimals, or more when two would show it equal to `limit` on the wrong side.
std::string Beside(double v, double limit) {
    char t[32];
    for (int decimals = 2;; ++decimals) {
        std::snprintf(t, sizeof t, "%.*f", decimals, v);
        if (decimals == 6 || v == limit || std::strtod(t, nullptr) != limit) return t;
    }
}

}  // namespace

GaugeStudy StudyOf(const Statistics& s, double reference, double tolerance, double factor, double valueStep) {
    GaugeStudy g;
    g.bias = s.mean - reference;
    g.resolutionFromValues = valueStep > factor;
    g.resolution = std::max(factor, valueStep);
    g.resolutionLimit = kResolutionSharePercent / 100 * tolerance;
    g.resolutionShare = 100 * g.resolution / tolerance;
    g.resolutionFine = g.resolution <= g.resolutionLimit;
    g.indicesDefined = s.n >= kStudyMinFrames && s.sd > 0;
    const std::string um = " µm", index = Beside(kCapableIndex, -1);
    if (g.indicesDefined) {
        g.cg = 0.2 * tolerance / (6 * s.sd);
        g.cgk = (0.1 * tolerance - std::fabs(g.bias)) / (3 * s.sd);
        if (g.cg < kCapableIndex) g.failing.push_back("Cg " + Beside(g.cg, kCapableIndex) + " below " + index);
        if (g.cgk < kCapableIndex) g.failing.push_back("Cgk " + Beside(g.cgk, kCapableIndex) + " below " + index);
    }
    if (!g.resolutionFine)
        g.failing.push_back("resolution " + Short(g.resolution) + um + " is " +
                            Beside(g.resolutionShare, kResolutionSharePercent) + " % of T, above " +
                            Short(kResolutionSharePercent) + " %");
    std::string why;  // why Cg and Cgk are not defined
    if (s.n < kStudyMinFrames)
        why = std::to_string(s.n) + " frames, at least " + std::to_string(kStudyMinFrames) +
              " are needed for its statistics";
    else if (!g.indicesDefined)
        why = "s = 0, every value the same: a resolution of " + Short(g.resolution) + um +
              " is too coarse to see the spread";
    if (!g.failing.empty()) {
        g.status = GaugeStudy::NotCapable;
        g.verdict = "not capable: ";
        for (size_t k = 0; k < g.failing.size(); ++k) g.verdict += (k ? "; " : "") + g.failing[k];
        if (!why.empty()) g.verdict += "; Cg, Cgk not defined: " + why;
    } else if (!why.empty()) {
        g.status = GaugeStudy::NotAssessed;
        g.verdict = "cannot be assessed: " + why;
    } else {
        g.status = GaugeStudy::Capable;
        g.verdict = "capable";
    }
    return g;
}
