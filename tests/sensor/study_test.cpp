// Statistics of a run and the type-1 gauge study, against values worked by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "sensor/study.h"

namespace {

TEST(Study, StatisticsShareAndHistogram) {
    // mean 14; squares around it 16 + 4 + 0 + 4 + 16 = 40, over n - 1 = 4: s = sqrt(10)
    const std::vector<double> v{18, 12, 14, 10, 16};
    const Statistics s = StatisticsOf(v);
    EXPECT_EQ(s.n, 5);
    EXPECT_DOUBLE_EQ(s.mean, 14);
    EXPECT_NEAR(s.sd, 3.16227766, 1e-8);
    EXPECT_EQ(s.min, 10);
    EXPECT_EQ(s.max, 18);
    EXPECT_EQ(s.range, 8);
    EXPECT_DOUBLE_EQ(ShareInside(v, 12, 16), 0.6);  // the limits belong to the window
    EXPECT_NEAR(StatisticsOf({1e9 + 1, 1e9 + 3}).sd, std::sqrt(2.0), 1e-12);
    EXPECT_EQ(StatisticsOf({7}).sd, 0);

    // whole steps: each value in the middle of its bin; two steps a bin when only two bins may be
    const Histogram fine = HistogramOf({10, 11, 11, 13}, 1, 10);
    EXPECT_EQ(fine.from, 9.5);
    EXPECT_EQ(fine.width, 1);
    EXPECT_EQ(fine.counts, (std::vector<int>{1, 2, 0, 1}));
    const Histogram coarse = HistogramOf({10, 11, 11, 13}, 1, 2);
    EXPECT_EQ(coarse.width, 2);
    EXPECT_EQ(coarse.counts, (std::vector<int>{3, 1}));
    EXPECT_EQ(HistogramOf({5, 5, 5}, 1, 10).counts, (std::vector<int>{3}));

    // the step the values move in: their distances' largest common divisor, rounding forgiven
    EXPECT_EQ(StepOf({20480, 20470, 20500, 20480}), 10);
    EXPECT_EQ(StepOf({1.5, 2.0, 3.5}), 0.5);
    EXPECT_NEAR(StepOf({2048.1, 2048.2, 2048.4}), 0.1, 1e-9);
    EXPECT_EQ(StepOf({5, 5}), 0);

    // a drift: the last fifth's mean 3 from the first's, their pooled s sqrt(2); 1 is within it
    const Drift drift = DriftOf({10, 12, 11, 11, 11, 11, 11, 11, 13, 15});
    EXPECT_EQ(drift.frames, 2);
    EXPECT_EQ(drift.first, 11);
    EXPECT_EQ(drift.last, 14);
    EXPECT_NEAR(drift.spread, std::sqrt(2.0), 1e-12);
    EXPECT_TRUE(drift.drifts);
    EXPECT_FALSE(DriftOf({10, 12, 11, 11, 11, 11, 11, 11, 11, 13}).drifts);
    EXPECT_EQ(DriftOf({1, 2, 3, 4, 5, 6, 7, 8, 9}).frames, 0);
}

// Capable only when Cg, Cgk and the resolution all pass; every failing rule named; no indices
// (s = 0, too few frames) and nothing failing: cannot be assessed.
TEST(Study, GaugeStudyVerdicts) {
    struct Case {
        double mean, sd;
        int n;
        double reference, tolerance, factor, step;
        GaugeStudy::Status status;
        double cg, cgk, share;
        const char* verdict;
    } cases[] = {
        // Cg = 0.2 * 40 / 3 = 2.667; Cgk = (4 - 0.2) / 1.5 = 2.533; %RE = 1 / 40
        {1000.2, 0.5, 50, 1000, 40, 1, 1, GaugeStudy::Capable, 2.6667, 2.5333, 2.5, "capable"},
        // Cg = 2 / 3 fails, and with it Cgk = 1 / 1.5, which is never above Cg
        {1000, 0.5, 50, 1000, 10, 0.1, 0, GaugeStudy::NotCapable, 0.6667, 0.6667, 1,
         "not capable: Cg 0.67 below 1.33; Cgk 0.67 below 1.33"},
        // Cg = 4 / 3 passes; Cgk = (2 - 0.6) / 1.5 fails, the bias below xm as much as above; %RE 5 passes
        {999.4, 0.5, 50, 1000, 20, 1, 1, GaugeStudy::NotCapable, 1.3333, 0.9333, 5, "not capable: Cgk 0.93 below 1.33"},
        // values in 10 um steps from a factor of 1 um: the step is the resolution, 10 / 190 of T
        {20479.6, 1.98, 50, 20480, 190, 1, 10, GaugeStudy::NotCapable, 3.1987, 3.1313, 5.2632,
         "not capable: resolution 10 µm is 5.26 % of T, above 5 %"},
        {1000, 0, 50, 1000, 20, 1, 0, GaugeStudy::NotAssessed, 0, 0, 5,
         "cannot be assessed: s = 0, every value the same: a resolution of 1 µm is too coarse to see the spread"},
        {1000, 0, 50, 1000, 10, 1, 0, GaugeStudy::NotCapable, 0, 0, 10,
         "not capable: resolution 1 µm is 10.00 % of T, above 5 %; Cg, Cgk not defined: s = 0, every value the same: "
         "a resolution of 1 µm is too coarse to see the spread"},
        {1000, 0.5, 24, 1000, 20, 1, 1, GaugeStudy::NotAssessed, 0, 0, 5,
         "cannot be assessed: 24 frames, at least 25 are needed for its statistics"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.verdict);
        Statistics s;
        s.n = c.n;
        s.mean = c.mean;
        s.sd = c.sd;
        const GaugeStudy g = StudyOf(s, c.reference, c.tolerance, c.factor, c.step);
        EXPECT_EQ(g.status, c.status);
        EXPECT_EQ(g.verdict, c.verdict);
        EXPECT_NEAR(g.bias, c.mean - c.reference, 1e-9);
        EXPECT_EQ(g.indicesDefined, c.cg > 0);
        EXPECT_NEAR(g.cg, c.cg, 1e-4);
        EXPECT_NEAR(g.cgk, c.cgk, 1e-4);
        EXPECT_NEAR(g.resolutionShare, c.share, 1e-4);
        EXPECT_EQ(g.resolutionFromValues, c.step > c.factor);
        EXPECT_EQ(g.resolutionFine, c.share <= 5);
    }
}

}  // namespace
