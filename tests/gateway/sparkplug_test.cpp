// A sensor's Sparkplug metrics without a broker: each value in the field its datatype names, a
// signed value as its two's complement, nothing in DDATA but what changed.
#include <gtest/gtest.h>

#include <QJsonObject>

#include <map>

#include "plant/sparkplug.h"
#include "plant/sparkplug_b.pb.h"

namespace sp = kryta::sparkplug;

TEST(SparkplugDevice, BirthAndDataByException) {
    const QJsonObject birth{
        {"identity", QJsonObject{{"designation", QJsonValue()}, {"hardware_code", 99}, {"firmware_variant", "CL"}}},
        {"parameters", QJsonObject{{"parameters", QJsonObject{
            {"FACTOR", QJsonObject{{"type", "Double"}, {"unit", "µm/pixel"}, {"value", 1.5}}},
            {"OFFSET", QJsonObject{{"type", "Int32"}, {"unit", "µm"}, {"value", -300}}},
            {"POWER", QJsonObject{{"type", "UInt16"}, {"unit", ""}, {"value", 500}}}}}}}};
    SparkplugDevice d;
    std::string why;
    ASSERT_TRUE(d.Birth(birth, 512, why)) << why;
    sp::Payload p;
    ASSERT_TRUE(p.ParseFromString(d.BirthPayload(7, 1000)));
    EXPECT_EQ(p.seq(), 7u);
    std::map<std::string, sp::Payload::Metric> m;
    for (const auto& one : p.metrics()) m[one.name()] = one;
    EXPECT_TRUE(m["Identity/Designation"].is_null());
    EXPECT_EQ(m["Identity/Hardware Code"].int_value(), 99u);
    EXPECT_EQ(m["Parameters/FACTOR"].double_value(), 1.5);
    EXPECT_EQ(m["Parameters/FACTOR"].properties().keys(0), "engUnit");
    EXPECT_EQ(m["Parameters/FACTOR"].properties().values(0).string_value(), "µm/pixel");
    EXPECT_EQ(m["Parameters/OFFSET"].int_value(), uint32_t(-300));
    EXPECT_FALSE(m["Parameters/POWER"].has_properties());
    EXPECT_FALSE(m["Parameters/POWER"].has_alias());
    EXPECT_TRUE(m["Measurement/Value Calibrated"].is_null());  // no frame yet
    const uint64_t calibrated = m["Measurement/Value Calibrated"].alias();
    EXPECT_GE(calibrated, 512u);

    // the first frame: what differs from the birth's nulls; the next: only what changed again
    const struct {
        QJsonObject frame;
        std::map<uint64_t, uint64_t> expected;  // alias: value
    } frames[] = {
        {{{"value_um", -5}, {"frame", 1}, {"time_ms", 123}},
         {{calibrated, uint32_t(-5)}, {m["Line/Frame"].alias(), 1}}},
        {{{"value_um", -5}, {"frame", 2}, {"time_ms", 160}}, {{m["Line/Frame"].alias(), 2}}},
    };
    for (const auto& f : frames) {
        EXPECT_TRUE(d.Frame(f.frame));
        ASSERT_TRUE(p.ParseFromString(d.DataPayload(8, 2000)));
        std::map<uint64_t, uint64_t> got;
        for (const auto& one : p.metrics()) {
            EXPECT_FALSE(one.has_name() || one.has_datatype());
            EXPECT_EQ(one.timestamp(), uint64_t(f.frame["time_ms"].toInteger()));
            got[one.alias()] = one.has_long_value() ? one.long_value() : one.int_value();
        }
        EXPECT_EQ(got, f.expected);
    }
}

// The node's birth: every host library reads it (the sensor count in int_value, as a UInt16);
// Node Control/Next Server only where the gateway has a next server to go to.
TEST(SparkplugNode, BirthMetrics) {
    for (bool nextServer : {false, true}) {
        sp::Payload p;
        ASSERT_TRUE(p.ParseFromString(NodeBirthPayload(7, 3, 1000, nextServer)));
        std::map<std::string, sp::Payload::Metric> m;
        for (const auto& one : p.metrics()) m[one.name()] = one;
        EXPECT_EQ(m["bdSeq"].datatype(), uint32_t(sp::Int64));
        EXPECT_EQ(m["bdSeq"].long_value(), 7u);
        EXPECT_EQ(m["Properties/Sensors"].datatype(), uint32_t(sp::UInt16));
        EXPECT_EQ(m["Properties/Sensors"].int_value(), 3u);
        EXPECT_EQ(m.count("Node Control/Next Server"), nextServer ? 1u : 0u);
    }
}
