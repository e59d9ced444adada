// The hardware answer decoded into the identification of the sensor.
#include <gtest/gtest.h>

#include "sensor/hardware.h"
#include "sensor/vars.h"

namespace {

SensorIdentity Answer(uint16_t family, uint16_t code, uint16_t virt = 4096, uint16_t version = 303,
                      uint16_t adc = 1024) {
    // words 2-12: family, pixels, resolution, board, positions, sub-pixel, first, last, firmware, code, converter
    return IdentifySensor({0, 10, family, 1024, 7, 101, virt, 16, 1, 1024, version, code, adc});
}

}  // namespace

TEST(Hardware, TheTableDecidesEvaluationKindRangeAndTexts) {
    SetStartValues();
    SensorIdentity id = Answer(1, 10080);
    EXPECT_EQ(HWTYPE, 2);
    EXPECT_EQ(SensorLines(id)[0], "KRYTA-M06");
    EXPECT_EQ(SensorLines(id)[3], "working-range = 80mm +/- 10mm");
    EXPECT_EQ(pixE, 4096);
    EXPECT_EQ(YAXISMAX, 4096);
    EXPECT_EQ(ADCMAX, 1024);
    EXPECT_DOUBLE_EQ(xArray[255], 255 * 16.0);

    id = Answer(4, 20250, 1024, 306, 255);
    EXPECT_EQ(HWTYPE, 3);
    EXPECT_EQ(ParamVariant(), Variant::CL);
    EXPECT_EQ(DisplayVariant(), Variant::CL);
    EXPECT_EQ(SensorLines(id)[1], "512-pixel;  12.5\xC2\xB5m pixel-pitch");
    EXPECT_EQ(ADCMAX, 256);

    // family 4 with code 10037 matches no row: HWTYPE stays, no texts
    id = Answer(4, 10037);
    EXPECT_EQ(HWTYPE, 3);
    EXPECT_EQ(id.row, nullptr);
    EXPECT_TRUE(SensorLines(id)[0].empty());

    // an unknown family: its own texts, the 1024 range and converter
    id = Answer(9, 37, 1000);
    EXPECT_FALSE(id.knownFamily);
    EXPECT_EQ(SensorLines(id)[0], "No information avialable!");
    EXPECT_EQ(SensorLines(id)[2], std::string(25, ' '));
    EXPECT_EQ(pixE, 1024);
    EXPECT_EQ(ADCMAX, 1024);
    // an unlisted number of positions: sent as it was, then 1024 with step 4
    EXPECT_EQ(id.virtPixelSent, 1000);
    EXPECT_EQ(ccdvirtpixel, 1024);
    EXPECT_DOUBLE_EQ(xArray[1], 4.0);

    // code 500 of family 101 leaves HWTYPE as it was, but its range is the sensor's own
    HWTYPE = 0;
    id = Answer(101, 500, 1024, 302);
    EXPECT_EQ(HWTYPE, 0);
    EXPECT_EQ(SensorLines(id)[0], "KRYTA-M25");
    EXPECT_EQ(pixE, 1024);
    EXPECT_EQ(PixelStep(2360), 10);
    EXPECT_EQ(PixelStep(3000), 0);
}
