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
}

TEST(Study, GaugeStudyIndicesAndVerdict) {
    struct Case {
        double mean, sd, reference, tolerance, resolution;
        int n;
        GaugeStudy::Status status;
        double cg, cgk;
        bool fine;
        const char* verdict;
    } cases[] = {
        // Cg = 0.2 * 40 / 3 = 2.667; Cgk = (4 - 0.2) / 1.5 = 2.533
        {1000.2, 0.5, 1000, 40, 1, 50, GaugeStudy::Done, 2.6667, 2.5333, true, "capable"},
        // Cg = 4 / 3 = 1.333 passes; Cgk = (2 - 0.6) / 1.5 = 0.933 fails; resolution 1 = 5 % of 20
        {1000.6, 0.5, 1000, 20, 1, 50, GaugeStudy::Done, 1.3333, 0.9333, true, "not capable: Cgk 0.93 below 1.33"},
        // a bias below the reference counts as much as one above it
        {999.4, 0.5, 1000, 20, 1, 50, GaugeStudy::Done, 1.3333, 0.9333, true, "not capable: Cgk 0.93 below 1.33"},
        // Cg = 2 / 3; Cgk = 1 / 1.5: both fail; resolution 1 above 5 % of 10
        {1000, 0.5, 1000, 10, 1, 25, GaugeStudy::Done, 0.6667, 0.6667, false,
         "not capable: Cg 0.67 and Cgk 0.67 below 1.33"},
        {1000, 0.5, 1000, 20, 1, 24, GaugeStudy::TooFew, 0, 0, true,
         "no study: 24 frames, at least 25 are needed for its statistics"},
        {1000, 0, 1000, 20, 1, 50, GaugeStudy::NoVariation, 0, 0, true,
         "Cg, Cgk not defined: no variation seen at this resolution"},
    };
    for (const Case& c : cases) {
        Statistics s;
        s.n = c.n;
        s.mean = c.mean;
        s.sd = c.sd;
        const GaugeStudy g = StudyOf(s, c.reference, c.tolerance, c.resolution);
        SCOPED_TRACE(c.verdict);
        EXPECT_EQ(g.status, c.status);
        EXPECT_NEAR(g.bias, c.mean - c.reference, 1e-9);
        EXPECT_NEAR(g.cg, c.cg, 1e-4);
        EXPECT_NEAR(g.cgk, c.cgk, 1e-4);
        EXPECT_EQ(g.capable, std::string(c.verdict) == "capable");
        EXPECT_EQ(g.resolutionFine, c.fine);
        EXPECT_NEAR(g.resolutionLimit, 0.05 * c.tolerance, 1e-12);
        EXPECT_EQ(g.verdict, c.verdict);
    }
}

}  // namespace
