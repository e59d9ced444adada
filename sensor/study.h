// What a run of measured values says: mean, spread, share inside the tolerance window, a
// histogram, a drift between its start and its end, and the type-1 gauge study that sets the
// spread, the bias and the resolution against the tolerance of the characteristic measured.
// Plain arithmetic on numbers; no sensor, no line.
#pragma once

#include <string>
#include <vector>

// The capability that a gauge study asks of both indices.
constexpr double kCapableIndex = 1.33;
// Fewer frames than this give no gauge study: too few for its statistics.
constexpr int kStudyMinFrames = 25;
// The coarsest resolution a gauge study accepts, in per cent of the tolerance T.
constexpr double kResolutionSharePercent = 5;

struct Statistics {
    int n = 0;
    double mean = 0, sd = 0;  // sd: the sample standard deviation (n - 1); 0 for fewer than 2
    double min = 0, max = 0, range = 0;  // range: max - min
};
Statistics StatisticsOf(const std::vector<double>& values);

// The share (0 to 1) of the values within lower and upper, both included; 0 for no values.
double ShareInside(const std::vector<double>& values, double lower, double upper);

// The step the values come in: the largest step of which the distance between any two of them is
// a whole multiple (a millionth of the step left over counts as none). 0 when they are all the
// same, or fewer than two.
double StepOf(const std::vector<double>& values);

// Bins of equal width over the values. Values that come in steps of `step` (whole pixel positions,
// say) each fall in the middle of a bin, which holds a whole number of steps; `step` <= 0 means
// the values come in no steps. At most `maxBins` bins.
struct Histogram {
    double from = 0, width = 1;  // bin k covers [from + k * width, from + (k + 1) * width)
    std::vector<int> counts;
};
Histogram HistogramOf(const std::vector<double>& values, double step, int maxBins);

// Whether a run drifts: the means of its first and its last fifth (`frames` values each) differ by
// more than their spread, the standard deviation of both fifths pooled. No fifth of 2 values or
// more (fewer than 10 values): `frames` 0, no drift.
struct Drift {
    int frames = 0;
    double first = 0, last = 0, spread = 0;
    bool drifts = false;
};
Drift DriftOf(const std::vector<double>& values);

// The type-1 gauge study of one reference part of value xm measured n times, against the
// tolerance T of its characteristic (same unit as the values):
//   bias = mean - xm,  Cg = (0.2 T) / (6 s),  Cgk = (0.1 T - |mean - xm|) / (3 s),
//   %RE = resolution / T, in per cent.
// The resolution is the coarser of what the calibration factor says (a position's length) and
// the step the values were seen to move in. Capable only when Cg and Cgk are both at least 1.33
// and %RE is at most 5 %. Not capable when any of these rules fails, each failing rule named.
// Else, when Cg and Cgk are not defined (s = 0, or fewer than kStudyMinFrames values), the study
// cannot be assessed, and the verdict says why.
struct GaugeStudy {
    enum Status { Capable, NotCapable, NotAssessed } status = NotAssessed;
    double bias = 0;
    bool indicesDefined = false;  // s > 0 and enough values: Cg and Cgk are numbers
    double cg = 0, cgk = 0;       // 0 when not defined
    double resolution = 0;        // the resolution the study used
    bool resolutionFromValues = false;  // the values' step, coarser than the factor says
    double resolutionShare = 0;   // %RE, in per cent of T
    double resolutionLimit = 0;   // 5 % of T
    bool resolutionFine = false;  // %RE at most 5 %
    std::vector<std::string> failing;  // every rule that fails, as a person reads it
    std::string verdict;  // "capable", "not capable: RULE; RULE" or "cannot be assessed: WHY"
};
GaugeStudy StudyOf(const Statistics& s, double reference, double tolerance, double factor, double valueStep);
