// The gateway's Sparkplug B messages: topics, the edge node's birth, data and death payloads and
// each sensor's metrics, encoded with the code protoc generates from sparkplug_b.proto.
//
// A sensor's metrics come from the lines of its `gateway-line` process: identity (info --json),
// parameters (get ram --json, each by its page's name) and the measurement (measure --json). The
// birth declares them all with their datatypes, units (property "engUnit") and, for those that
// DDATA carries, aliases; DDATA carries the values that changed since the last message, by alias.
#pragma once

#include <QJsonObject>

#include <cstdint>
#include <string>
#include <vector>

// "spBv1.0/GROUP/TYPE/NODE" or ".../NODE/DEVICE".
std::string SparkplugTopic(const std::string& group, const std::string& type, const std::string& node,
                           const std::string& device = "");
// An ID as Sparkplug allows it: + / # replaced by _, never empty.
std::string SparkplugId(const std::string& text);
// The device ID of a port: its name under /dev/serial/by-id (without "usb-" and "-port0", and
// "-if00" when that ends it) when one points at the device, else the device's file name.
std::string DeviceIdOf(const std::string& device);
// Milliseconds since 1970 UTC.
uint64_t UtcNowMs();

// The node's messages. The birth's metrics: bdSeq (Int64), Node Control/Rebirth (Boolean, false),
// with `nextServer` Node Control/Next Server (Boolean, false), Properties/Software (String),
// Properties/Sensors (UInt16, alias 1: the sensors served now; a UInt32 would go in the field that
// some host libraries do not read for it).
std::string NodeBirthPayload(uint64_t bdSeq, uint32_t sensors, uint64_t now, bool nextServer = false);
std::string NodeSensorsPayload(uint32_t sensors, uint64_t seq, uint64_t now);  // NDATA
std::string NodeDeathPayload(uint64_t bdSeq);                                 // no seq, no timestamp
// Whether an NCMD payload writes true into the Boolean metric `metric` (Node Control/Rebirth, ...).
bool NodeCommandAsks(const std::string& payload, const std::string& metric);

// One sensor as a Sparkplug device.
class SparkplugDevice {
public:
    // Takes the first line of the sensor's process. False with the reason when it is not one.
    // `aliasBase`: the first of the aliases of this device (unique on the node).
    bool Birth(const QJsonObject& line, uint64_t aliasBase, std::string& why);
    // A measurement line: the values into the metrics; true when DDATA has something to carry.
    bool Frame(const QJsonObject& line);
    std::string BirthPayload(uint64_t seq, uint64_t now);  // every metric, the current values
    std::string DataPayload(uint64_t seq, uint64_t now);   // what changed since the last payload
    static std::string DeathPayload(uint64_t seq, uint64_t now);

    // For the log: "KRYTA-M01, firmware 302 (standard)".
    const std::string& Describe() const { return describe_; }
    uint64_t LastFrame() const { return lastFrame_; }   // "frame" of the last measurement line
    uint64_t Missed() const { return missed_; }

    struct Value {
        enum Kind { Null, Int, Real, Text } kind = Null;
        int64_t i = 0;
        double d = 0;
        std::string s;
        bool operator==(const Value& o) const { return kind == o.kind && i == o.i && d == o.d && s == o.s; }
    };
    struct Metric {
        std::string name;
        uint32_t datatype;
        std::string unit;
        uint64_t alias = 0;        // 0: none (never in DDATA)
        std::string key;           // of the measurement line
        Value value;
        uint64_t sampled = 0;      // when the value was taken, ms UTC
        bool changed = false;      // since the last payload
    };
    const std::vector<Metric>& Metrics() const { return metrics_; }

private:
    std::vector<Metric> metrics_;
    size_t firstData_ = 0;  // metrics_ from here on are the measurement's
    std::string describe_;
    uint64_t lastFrame_ = 0, missed_ = 0;
};
