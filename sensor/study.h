// What a run of measured values says: mean, spread, share inside the tolerance window, a
// histogram, and the type-1 gauge study that sets the spread and the bias against the tolerance
// of the characteristic measured. Plain arithmetic on numbers; no sensor, no line.
#pragma once

#include <string>
#include <vector>

// The capability that a gauge study asks of both indices.
constexpr double kCapableIndex = 1.33;
// Fewer frames than this give no gauge study: too few for its statistics.
constexpr int kStudyMinFrames = 25;

struct Statistics {
    int n = 0;
    double mean = 0, sd = 0;  // sd: the sample standard deviation (n - 1); 0 for fewer than 2
    double min = 0, max = 0, range = 0;
};
Statistics StatisticsOf(const std::vector<double>& values);

// The share (0 to 1) of the values within lower and upper, both included; 0 for no values.
double ShareInside(const std::vector<double>& values, double lower, double upper);

// Bins of equal width over the values. Values that come in steps of `step` (whole pixel positions,
// say) each fall in the middle of a bin, which holds a whole number of steps; `step` <= 0 means
// the values come in no steps. At most `maxBins` bins.
struct Histogram {
    double from = 0, width = 1;  // bin k covers [from + k * width, from + (k + 1) * width)
    std::vector<int> counts;
};
Histogram HistogramOf(const std::vector<double>& values, double step, int maxBins);

// The type-1 gauge study of one reference part of value xm measured n times, against the
// tolerance T of its characteristic (same unit as the values):
//   bias = mean - xm,  Cg = (0.2 T) / (6 s),  Cgk = (0.1 T - |mean - xm|) / (3 s),
// capable when both are at least 1.33; the resolution of the gauge is to be at most 5 % of T.
struct GaugeStudy {
    enum Status {
        Done,
        TooFew,       // fewer than kStudyMinFrames values
        NoVariation,  // s = 0: Cg and Cgk are not defined
    } status = TooFew;
    double bias = 0, cg = 0, cgk = 0;
    bool capable = false;
    double resolutionLimit = 0;  // 5 % of T
    bool resolutionFine = false; // resolution <= 5 % of T
    std::string verdict;         // what a person reads: "capable", "not capable: ..." or why none
};
GaugeStudy StudyOf(const Statistics& s, double reference, double tolerance, double resolution);
