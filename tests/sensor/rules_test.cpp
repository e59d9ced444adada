// Range rules of the three firmware variants, the tolerance limits, and the parameter names.
#include <gtest/gtest.h>

#include <string>

#include "sensor/rules.h"
#include "sensor/vars.h"

namespace {

struct Case {
    Variant v;
    int word;
    uint16_t in, out;
};

// Every rule at and beyond its edge, on 4096 positions (edge values stay, others are corrected).
const Case kCases[] = {
    // standard block 3-17, and the trigger threshold
    {Variant::Standard, 7, 4097, 1}, {Variant::Standard, 7, 4096, 4096},     // edgeBegin
    {Variant::Standard, 8, 5000, 4096}, {Variant::Standard, 8, 0, 1},        // edgeEnd
    {Variant::Standard, 6, 5, 4}, {Variant::Standard, 6, 4, 4},              // evalMode
    {Variant::Standard, 14, 2, 0}, {Variant::Standard, 14, 1, 1},            // option
    {Variant::Standard, 10, 0, 1}, {Variant::Standard, 10, 5000, 4096},      // tolerance
    {Variant::Standard, 12, 4, 0}, {Variant::Standard, 12, 3, 3},            // trigMode
    {Variant::Standard, 16, 9, 3}, {Variant::Standard, 5, 2, 1},             // hardwareMode, polarity
    {Variant::Standard, 11, 2000, 1024}, {Variant::Standard, 11, 1024, 1024},  // average
    {Variant::Standard, 13, 8, 0}, {Variant::Standard, 13, 7, 7},            // anaMode
    {Variant::Standard, 3, 1001, 500}, {Variant::Standard, 3, 1000, 1000},   // power
    {Variant::Standard, 17, 5, 10}, {Variant::Standard, 17, 2000, 950},      // videoThreshold
    {Variant::Standard, 4, 2, 1}, {Variant::Standard, 48, 5000, 4096},       // powerMode, trigger
    {Variant::Standard, 9, 65535, 65535}, {Variant::Standard, 15, 9, 9},     // setPoint, opMode: none
    // V303 block 18-32; no rule on the trigger threshold
    {Variant::V303, 23, 0, 256}, {Variant::V303, 22, 5000, 1},
    {Variant::V303, 26, 0, 1}, {Variant::V303, 26, 9000, 9000},             // toleranceLow: below only
    {Variant::V303, 25, 5000, 4096}, {Variant::V303, 25, 0, 1},             // toleranceUp
    {Variant::V303, 27, 300, 256}, {Variant::V303, 28, 4, 0}, {Variant::V303, 31, 7, 3},
    {Variant::V303, 29, 8, 0}, {Variant::V303, 32, 5, 10}, {Variant::V303, 48, 9000, 9000},
    // CL block 33-47
    {Variant::CL, 45, 65535, 1000}, {Variant::CL, 45, 1000, 1000},          // holdTime
    {Variant::CL, 43, 3, 0}, {Variant::CL, 43, 2, 2},                       // trigMode > 2
    {Variant::CL, 38, 0, 1}, {Variant::CL, 40, 5000, 4096}, {Variant::CL, 40, 0, 0},
    {Variant::CL, 41, 0, 1}, {Variant::CL, 46, 2000, 950}, {Variant::CL, 42, 257, 256},
    {Variant::CL, 44, 8, 0}, {Variant::CL, 47, 12345, 12345},               // spare: none
};

}  // namespace

TEST(RangeRules, EachRuleAtAndBeyondItsEdgeAndOnlyTheVariantsWordsChange) {
    for (const Case& c : kCases) {
        std::array<uint16_t, 64> w{};
        SetParameterStartValues(w);
        w[size_t(c.word)] = c.in;
        const std::array<uint16_t, 64> before = w;
        const RangeCorrections r = ApplyRangeRules(c.v, w, 4096);
        EXPECT_EQ(w[size_t(c.word)], c.out) << "variant " << int(c.v) << " word " << c.word << " = " << c.in;
        // the correction list names exactly the words that changed, with both values
        int changed = 0;
        for (int i = 0; i < 64; ++i) changed += w[size_t(i)] != before[size_t(i)];
        ASSERT_EQ(r.count, changed) << "word " << c.word;
        if (c.in != c.out) {
            int k = 0;
            while (k < r.count && r.at[size_t(k)].word != c.word) ++k;
            ASSERT_LT(k, r.count) << "word " << c.word;
            EXPECT_EQ(r.at[size_t(k)].from, c.in);
            EXPECT_EQ(r.at[size_t(k)].to, c.out);
        }
    }
    // The start values of the CL block hold a hold time of 65535; the other blocks are not touched.
    std::array<uint16_t, 64> w{};
    SetParameterStartValues(w);
    const RangeCorrections r = ApplyRangeRules(Variant::CL, w, 4096);
    ASSERT_EQ(r.count, 1);
    EXPECT_EQ(r.at[0].word, 45);
    // edgeEnd above the line becomes its end before the zero rule: 0 only after that
    SetParameterStartValues(w);
    w[23] = 4097;
    ApplyRangeRules(Variant::V303, w, 4096);
    EXPECT_EQ(w[23], 4096);
}

TEST(RangeRules, LimitsAndLinesAreComputedWideAndKeptOnTheLine) {
    uint16_t lower = 0, upper = 0;
    ToleranceLimits(10, 100, 20, 1024, lower, upper);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 110);
    ToleranceLimits(1000, 100, 20, 1024, lower, upper);
    EXPECT_EQ(upper, 1024);
    EXPECT_EQ(lower, 980);
    ToleranceLimits(32000, 1000, 0, 1024, lower, upper);  // above 32767: not wrapped below the end
    EXPECT_EQ(upper, 1024);
    EXPECT_EQ(ThresholdLine(255, 40), 102);
    EXPECT_EQ(ThresholdLine(1024, 950), 9728);
}

TEST(RangeRules, NamesAndUnitsAsThePagesLabelThem) {
    EXPECT_STREQ(NameOfWord(Variant::Standard, 10).name, "TOLERANCE");
    EXPECT_STREQ(NameOfWord(Variant::V303, 26).name, "TOLERANCE-LOW");
    EXPECT_STREQ(NameOfWord(Variant::CL, 45).name, "HOLD");
    EXPECT_STREQ(NameOfWord(Variant::CL, 45).unit, "ms");
    EXPECT_STREQ(NameOfWord(Variant::V303, 22).name, "E-BEG");
    EXPECT_EQ(NameOfWord(Variant::V303, 10).name, nullptr);  // the standard block's word
    EXPECT_EQ(NameOfWord(Variant::CL, 59).name, nullptr);
    EXPECT_EQ(NameOfWord(Variant::CL, 60).shape, WordShape::FactorLow);
    EXPECT_EQ(NameOfWord(Variant::CL, 63).shape, WordShape::High);
    const auto words = ParameterSetWords(Variant::V303);
    EXPECT_EQ(words[0], 18);
    EXPECT_EQ(words[14], 32);
    EXPECT_EQ(words[15], 48);
    EXPECT_EQ(words[25], 58);
    EXPECT_EQ(words[26], 60);
    EXPECT_EQ(words[29], 63);
    // every word of a set has a name, and no two share one (but the halves of the 32-bit values)
    for (Variant v : {Variant::Standard, Variant::V303, Variant::CL})
        for (int a : ParameterSetWords(v)) {
            const WordName na = NameOfWord(v, a);
            ASSERT_NE(na.name, nullptr) << a;
            for (int b : ParameterSetWords(v))
                if (b != a && na.shape != WordShape::High && NameOfWord(v, b).shape != WordShape::High) {
                    EXPECT_STRNE(na.name, NameOfWord(v, b).name) << a << " " << b;
                }
        }
}
