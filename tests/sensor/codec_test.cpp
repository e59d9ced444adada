// The parameter frame codec, the lines it refreshes, the measurement decode and the firmware
// variant rule, on the globals alone.
#include <gtest/gtest.h>

#include <numeric>

#include "sensor/codec.h"
#include "sensor/vars.h"

namespace {

// Every parameter word gets a distinct value (1000 + index), the identification a standard sensor
// with 4096 positions.
void Pattern() {
    for (int i = 0; i < 64; ++i) parameter[i] = uint16_t(1000 + i);
    hwtype = 37;
    HWTYPE = 1;
    softversion = 302;
    ccdvirtpixel = 4096;
}

void AllEqual(const std::array<uint16_t, 256>& line, uint16_t v, const char* what) {
    for (int i = 0; i < 256; ++i) ASSERT_EQ(line[i], v) << what << " entry " << i;
}

}  // namespace

TEST(Codec, VarsToPPTakesTheActiveBlockOrTheExtensionFrame) {
    Pattern();
    pp[15] = 0xBEEF;
    CopyVarsToPP(0);
    for (int n = 0; n < 15; ++n) EXPECT_EQ(pp[n], 1003 + n) << "standard slot " << n;

    softversion = 303;
    CopyVarsToPP(0);
    for (int n = 0; n < 15; ++n) EXPECT_EQ(pp[n], 1018 + n) << "V303 slot " << n;

    hwtype = 20250;
    softversion = 0;
    CopyVarsToPP(0);
    for (int n = 0; n < 15; ++n) EXPECT_EQ(pp[n], 1033 + n) << "CL slot " << n;

    // extension frame: 48-58, then 60-63; word 59 never travels; any non-zero select
    for (uint16_t sel : {uint16_t(1), uint16_t(7)}) {
        CopyVarsToPP(sel);
        for (int n = 0; n <= 10; ++n) EXPECT_EQ(pp[n], 1048 + n);
        for (int n = 11; n < 15; ++n) EXPECT_EQ(pp[n], 1049 + n);
        for (int n = 0; n < 15; ++n) EXPECT_NE(pp[n], 1059);
    }
    EXPECT_EQ(pp[15], 0xBEEF);
}

TEST(Codec, PPtoVarsChangesExactlyTheActiveBlock) {
    struct Case {
        uint16_t softv, hw;
        int first;
    } cases[] = {{302, 37, 3}, {303, 37, 18}, {0, 20250, 33}};
    for (const auto& c : cases) {
        Pattern();
        softversion = c.softv;
        hwtype = c.hw;
        for (int n = 0; n < 16; ++n) pp[n] = uint16_t(7000 + n);
        auto before = parameter;
        CopyPPtoVars(0);
        for (int i = 0; i < 64; ++i) {
            if (i >= c.first && i < c.first + 15)
                EXPECT_EQ(parameter[i], 7000 + i - c.first) << "block word " << i;
            else
                EXPECT_EQ(parameter[i], before[i]) << "word " << i << " of block at " << c.first;
        }
    }
    // extension frame: word 59 keeps its value, 15 words land in 48-58 and 60-63
    Pattern();
    for (int n = 0; n < 16; ++n) pp[n] = uint16_t(7000 + n);
    CopyPPtoVars(1);
    for (int n = 0; n <= 10; ++n) EXPECT_EQ(parameter[48 + n], 7000 + n);
    EXPECT_EQ(parameter[59], 1059);
    for (int n = 11; n < 15; ++n) EXPECT_EQ(parameter[49 + n], 7000 + n);
    for (int i = 3; i < 48; ++i) EXPECT_EQ(parameter[i], 1000 + i);
}

TEST(Codec, LinesAfterVarsToPP) {
    Pattern();
    parameter[9] = 500;
    parameter[25] = 40;
    parameter[26] = 30;
    parameter[48] = 777;
    CopyVarsToPP(0);
    AllEqual(REFArray, 500, "set-point");
    AllEqual(upTHDArray, 540, "upper");
    AllEqual(loTHDArray, 470, "lower");
    AllEqual(trgArray, 777, "trigger");

    // the V303 tolerance words serve every variant; limits kept within 0 and the positions
    parameter[9] = 10;
    parameter[26] = 100;
    parameter[25] = 4090;
    CopyVarsToPP(1);
    AllEqual(loTHDArray, 0, "lower below zero");
    AllEqual(upTHDArray, 4096, "upper above the positions");
    ccdvirtpixel = 1024;
    parameter[9] = 1000;
    parameter[25] = 25;
    CopyVarsToPP(0);
    AllEqual(upTHDArray, 1024, "upper at 1024 positions");
    parameter[9] = 32000;  // the sum passes 32767: still above the end, not wrapped
    parameter[25] = 1000;
    CopyVarsToPP(0);
    AllEqual(upTHDArray, 1024, "upper past 32767");
}

TEST(Codec, LinesAfterPPtoVars) {
    Pattern();
    // standard main frame: tolerance lines 0
    for (int n = 0; n < 16; ++n) pp[n] = 0;
    pp[6] = 600;  // set-point slot
    pp[7] = 50;
    CopyPPtoVars(0);
    AllEqual(loTHDArray, 0, "standard lower");
    AllEqual(upTHDArray, 0, "standard upper");
    AllEqual(REFArray, 600, "standard set-point line");

    // V303: words 9, 25, 26
    softversion = 303;
    parameter[9] = 600;
    pp[7] = 40;  // toleranceUp -> word 25
    pp[8] = 70;  // toleranceLow -> word 26
    CopyPPtoVars(0);
    AllEqual(upTHDArray, 640, "V303 upper");
    AllEqual(loTHDArray, 530, "V303 lower");

    // CL: words 40 and 41 around word 9
    hwtype = 20250;
    pp[7] = 11;
    pp[8] = 22;
    CopyPPtoVars(0);
    AllEqual(upTHDArray, 611, "CL upper");
    AllEqual(loTHDArray, 578, "CL lower");

    // extension frame last: both tolerance lines 0, trigger line = received word 0
    pp[0] = 321;
    CopyPPtoVars(1);
    AllEqual(upTHDArray, 0, "upper after extension");
    AllEqual(loTHDArray, 0, "lower after extension");
    AllEqual(trgArray, 321, "trigger after extension");
}

TEST(Codec, MeasurementFrameDecode) {
    Pattern();
    for (int n = 0; n < 16; ++n) pp[n] = uint16_t(60000 + n);
    pp[3] = 0;
    pp[4] = 1;
    CopyPPtoRAWVars();
    EXPECT_EQ(umValue, 65536u);
    EXPECT_EQ(Ledge, 60000);
    EXPECT_EQ(Redge, 60001);
    EXPECT_EQ(Mvalue, 60002u);
    EXPECT_EQ(parameter[9], 60005);
    EXPECT_EQ(parameter[24], 60005);
    EXPECT_EQ(parameter[39], 60005);
    EXPECT_EQ(tol, 60006);
    EXPECT_EQ(edcnt, 60007);
    EXPECT_EQ(mvstart, 60008);
    EXPECT_EQ(mvend, 60009u);
    EXPECT_EQ(dynpow, 60010u);
    EXPECT_EQ(anaMax, 60011);
    EXPECT_EQ(anaMin, 60012);
    EXPECT_EQ(in0, 60013u);
    EXPECT_EQ(videoMax, 60014u);
    EXPECT_EQ(raw15, 60015u);
    // only the set-point words of the blocks change
    EXPECT_EQ(parameter[10], 1010);
    EXPECT_EQ(parameter[25], 1025);

    pp[3] = 54321;
    pp[4] = 0;
    CopyPPtoRAWVars();
    EXPECT_EQ(umValue, 54321u);
    pp[3] = 0xFFFF;
    pp[4] = 0xFFFF;
    CopyPPtoRAWVars();
    EXPECT_EQ(umValue, 0xFFFFFFFFu);
}

TEST(Variant, TwoTestsAndTheirBlocks) {
    hwtype = 37;
    HWTYPE = 0;
    softversion = 0;
    EXPECT_EQ(ParamVariant(), Variant::Standard);
    EXPECT_EQ(DisplayVariant(), Variant::Standard);
    softversion = 302;
    EXPECT_EQ(ParamVariant(), Variant::Standard);
    softversion = 303;
    EXPECT_EQ(ParamVariant(), Variant::V303);
    EXPECT_EQ(DisplayVariant(), Variant::V303);
    // hardware code above 20000 is CL whatever the version (parameter test) ...
    hwtype = 20250;
    softversion = 306;
    EXPECT_EQ(ParamVariant(), Variant::CL);
    // ... while the display test asks HWTYPE
    EXPECT_EQ(DisplayVariant(), Variant::V303);
    HWTYPE = 3;
    softversion = 0;
    EXPECT_EQ(DisplayVariant(), Variant::CL);
    hwtype = 20000;
    EXPECT_EQ(ParamVariant(), Variant::Standard);
    EXPECT_EQ(BlockStart(Variant::Standard), 3);
    EXPECT_EQ(BlockStart(Variant::V303), 18);
    EXPECT_EQ(BlockStart(Variant::CL), 33);
}

TEST(Vars, ThirtyTwoBitWordsLowFirst) {
    parameter.fill(0);
    SetCalOffset(0x12345);
    EXPECT_EQ(parameter[62], 0x2345);
    EXPECT_EQ(parameter[63], 0x0001);
    EXPECT_EQ(CalOffset(), 0x12345);
    SetCalOffset(-2);
    EXPECT_EQ(parameter[62], 0xFFFE);
    EXPECT_EQ(parameter[63], 0xFFFF);
    EXPECT_EQ(CalOffset(), -2);
    SetScaleFactor(0x89ABCDEFu);
    EXPECT_EQ(parameter[60], 0xCDEF);
    EXPECT_EQ(parameter[61], 0x89AB);
    EXPECT_EQ(ScaleFactor(), 0x89ABCDEFu);
    EXPECT_EQ(parameter[59], 0);
    // and they travel in the extension frame
    hwtype = 37;
    softversion = 0;
    CopyVarsToPP(1);
    EXPECT_EQ(pp[11], 0xCDEF);
    EXPECT_EQ(pp[12], 0x89AB);
    EXPECT_EQ(pp[13], 0xFFFE);
    EXPECT_EQ(pp[14], 0xFFFF);
}
