// What the edge graph and the roll chart show for one frame, per firmware variant.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "sensor/pictures.h"

namespace {

constexpr Variant S = Variant::Standard, V = Variant::V303, C = Variant::CL;
std::string Text(std::initializer_list<int> values, const char* between = " ") {
    std::string out;
    for (int v : values) out += (out.empty() ? "" : between) + std::to_string(v);
    return out;
}
std::string Spans(const PixelSpan* s, int n) {
    std::string out = n ? "" : " -";
    for (int i = 0; i < n; ++i) out += " " + Text({s[i].from, s[i].to}, "-");
    return out;
}
const char* Is(bool out) { return out ? " out" : " in"; }
struct Case {
    Variant v = S;
    int evalMode = 0, s = 400, up = 20, low = 20, anaMode = 0, powerMode = 0;
    uint16_t ledge = 300, redge = 500, edcnt = 2, mvstart = 10;
    uint32_t mv = 400;
    uint16_t anaMin = 100;
    int hw = 1, pixB = 1, pixE = 1024;
    const char* shows;  // what the picture shows, in the words of each table
};
PictureWords Words(const Case& c) {
    return {c.v, c.evalMode, 10, 1000, c.s, c.up, c.low, c.anaMode, 300, c.powerMode};
}
Measurement Frame(const Case& c) { return {c.ledge, c.redge, c.edcnt, c.mvstart, 200, c.mv, 12345, 900, c.anaMin, 700}; }

}  // namespace

TEST(EdgePicture, PositionBarWindowsToleranceAnalogOutputAndPower) {
    const Case cases[] = {
        {.shows = "pos 300 bar 300-500 win 380-420 in ana 400"},
        {.edcnt = 1, .pixE = 1000, .shows = "pos 300 bar 300-1000 win 380-420 in ana 400"},
        {.edcnt = 1, .mvstart = 201, .pixE = 1000, .shows = "pos 300 bar 1-300 win 380-420 in ana 400"},
        {.redge = 700, .edcnt = 3, .shows = "pos 300 bar 300-700 win 380-420 in ana 400"},
        {.edcnt = 0, .shows = "pos 300 bar - win 380-420 in ana 400"},
        {.evalMode = 2, .edcnt = 0, .shows = "pos 400 bar - win - in ana 400"},
        {.evalMode = 2, .s = 200, .ledge = 450, .redge = 550, .mv = 200,
         .shows = "pos 500 bar 450-550 win 390-410 590-610 in ana 200"},
        {.evalMode = 2, .s = 40, .ledge = 10, .redge = 30, .mv = 40,
         .shows = "pos 20 bar 10-30 win 1-10 30-50 in ana 40"},
        {.evalMode = 2, .s = 0, .ledge = 4080, .redge = 4100, .mv = 0, .pixE = 4096,
         .shows = "pos 4090 bar 4080-4100 win 4080-4096 4080-4100 in ana 0"},
        {.s = 5, .up = 10, .low = 10, .mv = 5, .shows = "pos 300 bar 300-500 win 1-15 in ana 5"},
        {.s = 4090, .up = 10, .low = 10, .mv = 4100, .shows = "pos 300 bar 300-500 win 4080-4096 in ana 4100"},
        {.anaMode = 1, .hw = 2, .shows = "pos 400 bar 300-500 win 380-420 in ana 400"},  // peak hardware: the middle
        {.v = V, .hw = 2, .shows = "pos 400 bar 300-500 win - in ana 400 power 300"},
        {.v = V, .evalMode = 1, .powerMode = 1, .shows = "pos 500 bar 300-500 win - in ana 400 power 700"},
        {.v = C, .powerMode = 1, .hw = 2, .shows = "pos 300 bar 300-500 win - in ana 400 power 700"},
        {.v = C, .evalMode = 1, .hw = 2, .shows = "pos 500 bar 300-500 win - in ana 400 power 300"},
        {.ledge = 40, .pixB = 100, .shows = "pos 100 bar 40-500 win 380-420 in ana 400"},
        {.evalMode = 2, .s = 100, .ledge = 0, .pixB = 100, .shows = "pos 100 bar 0-500 win 40-60 140-160 out ana 400"},
        {.evalMode = 1, .redge = 3000, .shows = "pos 1024 bar 300-3000 win 380-420 in ana 400"},
        {.evalMode = 1, .redge = 5000, .pixE = 6000, .shows = "pos 4096 bar 300-5000 win 380-420 in ana 400"},
        {.ledge = 0, .pixB = 0, .shows = "pos 1 bar 0-500 win 380-420 in ana 400"},
        {.anaMode = 2, .mv = 421, .shows = "pos 300 bar 300-500 win 380-420 out ana 900"},
        {.anaMode = 3, .mv = 420, .shows = "pos 300 bar 300-500 win 380-420 in ana 100"},
        {.anaMode = 4, .mv = 379, .shows = "pos 300 bar 300-500 win 380-420 out ana 800"},
        {.anaMode = 4, .mv = 380, .anaMin = 950, .shows = "pos 300 bar 300-500 win 380-420 in ana -50"},
        {.s = 10, .anaMode = 5, .mv = 0, .shows = "pos 300 bar 300-500 win 1-30 in ana 0"},  // limits not on the line
        {.v = C, .s = 10, .mv = 0, .shows = "pos 300 bar 300-500 win - out ana 0 power 300"},  // CL's are
        {.v = C, .s = 4090, .mv = 4100, .shows = "pos 300 bar 300-500 win - out ana 4100 power 300"},
        {.v = V, .s = 500, .up = 30, .low = 10, .mv = 489, .shows = "pos 300 bar 300-500 win - out ana 489 power 300"},
        {.v = V, .s = 500, .up = 30, .low = 10, .mv = 530, .shows = "pos 300 bar 300-500 win - in ana 530 power 300"},
    };
    for (const Case& c : cases) {
        const EdgePicture p = EdgeGraphPicture(Words(c), Frame(c), {4096, c.pixB, c.pixE, c.hw});
        const std::string power = p.showsPower ? " power " + std::to_string(p.power) : "";
        const std::string bar = " bar" + Spans(&p.bar, p.hasBar), windows = " win" + Spans(p.window.data(), p.windows);
        EXPECT_EQ("pos " + Text({p.position}) + bar + windows + Is(p.outOfTolerance) + " ana " + Text({p.anaOut}) + power,
                  c.shows);
        EXPECT_EQ(std::pair(p.edgeBegin, p.edgeEnd), std::pair(10, 1000));
        EXPECT_DOUBLE_EQ(p.length, 12.345);
    }
}

TEST(RollSample, TracesZoomWindowAndTolerance) {
    const Case cases[] = {  // traces 1-6 (limits, set-point, measured value, analog low and high), zoom window
        {.s = 500, .up = 10, .low = 10, .mv = 500, .shows = "510 490 500 500 500 500 zoom 460-540 in"},
        {.s = 10, .up = 5, .low = 20, .mv = 12, .shows = "15 1 10 12 12 12 zoom 1-50 in"},
        {.s = 4090, .up = 50, .low = 50, .anaMode = 5, .mv = 4080,
         .shows = "4095 4040 4090 4080 4095 1 zoom 3990-4095 in"},
        {.s = 500, .up = 10, .low = 10, .anaMode = 1, .mv = 510, .shows = "510 490 500 510 510 510 zoom 460-540 in"},
        {.s = 500, .up = 10, .low = 10, .anaMode = 2, .mv = 511, .shows = "510 490 500 511 511 900 zoom 460-540 out"},
        {.s = 500, .up = 10, .low = 10, .anaMode = 3, .mv = 489, .shows = "510 490 500 489 100 489 zoom 460-540 out"},
        {.s = 500, .up = 10, .low = 10, .anaMode = 4, .mv = 490, .shows = "510 490 500 490 100 900 zoom 460-540 in"},
        {.s = 500, .up = 10, .low = 10, .anaMode = 3, .anaMin = 4095, .shows = "510 490 500 400 1 400 zoom 340-540 out"},
        {.s = 500, .up = 10, .low = 10, .mv = 560, .shows = "510 490 500 560 560 560 zoom 460-620 out"},
        {.s = 500, .up = 50, .low = 50, .mv = 620, .shows = "550 450 500 620 620 620 zoom 400-720 out"},
        {.s = 500, .up = 10, .low = 50, .mv = 300, .shows = "510 450 500 300 300 300 zoom 200-540 out"},
        {.s = 20, .up = 10, .low = 10, .mv = 20, .shows = "30 10 20 20 20 20 zoom 1-60 in"},
        {.s = 1000, .up = 100, .low = 10, .mv = 1000, .shows = "1100 990 1000 1000 1000 1000 zoom 960-1200 in"},
        {.s = 500, .up = 40, .low = 20, .mv = 470, .shows = "540 480 500 470 470 470 zoom 460-580 out"},
        {.s = 4090, .up = 10, .low = 10, .mv = 4096, .shows = "4095 4080 4090 4096 4096 4096 zoom 4050-4095 out"},
    };
    for (const Case& c : cases) {
        const RollSample r = RollChartSample(Words(c), Frame(c), 4096);
        const auto& t = r.traces;
        const std::string zoom = " zoom " + Text({r.zoomMin, r.zoomMax}, "-");
        EXPECT_EQ(Text({t[0], t[1], t[2], t[3], t[4], t[5]}) + zoom + Is(r.outOfTolerance), c.shows);
    }
}

TEST(PictureWords, EachVariantsBlockTheSensorsTolWhereItAppliesAndTheToleranceLengths) {
    std::array<uint16_t, 64> w{};
    for (int i = 0; i < 64; ++i) w[size_t(i)] = uint16_t(100 + i);
    const std::tuple<Variant, uint16_t, const char*> cases[] = {  // V303: the hardware mode in word 31
        {S, 0, "0 106 107 108 109 7 7 113 0 0"},   {V, 0, "1 121 122 123 124 125 126 129 118 119"},
        {V, 1, "1 121 122 123 124 7 7 129 118 119"}, {V, 2, "1 121 122 123 124 125 126 129 118 119"},
        {V, 3, "1 121 122 123 124 7 7 129 118 119"}, {C, 1, "2 136 137 138 139 140 141 144 133 134"}};
    for (auto [v, hardwareMode, shows] : cases) {
        w[31] = hardwareMode;
        const PictureWords p = PictureWordsOf(v, w, 7);
        EXPECT_EQ(Text({int(p.variant), p.evalMode, p.edgeBegin, p.edgeEnd, p.setPoint, p.up, p.low, p.anaMode, p.power,
                        p.powerMode}),
                  shows);
    }
    EXPECT_DOUBLE_EQ(LengthsOf({S, 0, 0, 0, 0, 20, 20, 0, 0, 0}, 16384).low, 0.02);
    EXPECT_DOUBLE_EQ(LengthsOf({V, 0, 0, 0, 0, 30, 10, 0, 0, 0}, 2048).up, 0.06);
    EXPECT_DOUBLE_EQ(LengthsOf({V, 0, 0, 0, 0, 30, 10, 0, 0, 0}, 2048).low, 0.02);
    EXPECT_DOUBLE_EQ(LengthsOf({C, 0, 0, 0, 0, 40, 20, 0, 0, 0}, 1024).up, 0.04);
}
