#include "plant/sparkplug.h"

#include <climits>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include <QJsonArray>

#include "plant/sparkplug_b.pb.h"
#include "sensor/vars.h"

namespace sp = kryta::sparkplug;

namespace {

struct Row {
    const char* key;   // in the line of the sensor's process
    const char* name;  // the metric's
    sp::DataType type;
    const char* unit;  // "" when it has none
};

// The identity (info --json); a key that is not here becomes Identity/KEY as it comes.
const Row kIdentity[] = {
    {"port", "Identity/Port", sp::String, ""},
    {"designation", "Identity/Designation", sp::String, ""},
    {"pixel_text", "Identity/Pixel Text", sp::String, ""},
    {"resolution_text", "Identity/Resolution Text", sp::String, ""},
    {"working_range_text", "Identity/Working Range Text", sp::String, ""},
    {"pixels", "Identity/Pixels", sp::UInt16, ""},
    {"pixel_positions", "Identity/Pixel Positions", sp::UInt16, ""},
    {"ccd_family", "Identity/CCD Family", sp::UInt16, ""},
    {"hardware_code", "Identity/Hardware Code", sp::UInt16, ""},
    {"firmware_number", "Identity/Firmware Number", sp::UInt16, ""},
    {"firmware_variant", "Identity/Firmware Variant", sp::String, ""},
    {"firmware_text", "Identity/Firmware Text", sp::String, ""},
};

// The measurement (measure --json) and the line's counts: what DDATA carries, by alias.
const Row kMeasurement[] = {
    {"left_edge_px", "Measurement/Left Edge", sp::UInt16, "pixel"},
    {"right_edge_px", "Measurement/Right Edge", sp::UInt16, "pixel"},
    {"value_px", "Measurement/Value", sp::UInt16, "pixel"},
    {"value_um", "Measurement/Value Calibrated", sp::Int32, "\xC2\xB5m"},
    {"set_point_px", "Measurement/Set-Point", sp::UInt16, "pixel"},
    {"tolerance_px", "Measurement/Tolerance", sp::UInt16, "pixel"},
    {"edge_count", "Measurement/Edge Count", sp::UInt16, ""},
    {"window_start_px", "Measurement/Window Start", sp::UInt16, "pixel"},
    {"window_end_px", "Measurement/Window End", sp::UInt16, "pixel"},
    {"light_power", "Measurement/Light Power", sp::UInt16, ""},
    {"analog_output_max", "Measurement/Analog Output Max", sp::UInt16, ""},
    {"analog_output_min", "Measurement/Analog Output Min", sp::UInt16, ""},
    {"input_in0_state", "Measurement/Input IN0", sp::UInt16, ""},
    {"video_max_adc", "Measurement/Video Max", sp::UInt16, "ADC counts"},
    {"frame_word_15", "Measurement/Frame Word 15", sp::UInt16, ""},
    {"frame", "Line/Frame", sp::UInt64, ""},
    {"missed", "Line/Frames Missed", sp::UInt64, ""},
};

bool IsReal(uint32_t type) { return type == sp::Float || type == sp::Double; }
bool IsText(uint32_t type) { return type == sp::String || type == sp::Text; }

SparkplugDevice::Value ValueOf(const QJsonValue& v, uint32_t type) {
    SparkplugDevice::Value out;
    if (v.isString() && IsText(type)) {
        out.kind = SparkplugDevice::Value::Text;
        out.s = v.toString().toStdString();
    } else if (v.isDouble() && IsReal(type)) {
        out.kind = SparkplugDevice::Value::Real;
        out.d = v.toDouble();
    } else if (v.isDouble() && !IsText(type)) {
        out.kind = SparkplugDevice::Value::Int;
        out.i = v.toInteger();
    }
    return out;
}

// The value in the field its datatype names; a negative integer as its two's complement.
void PutValue(sp::Payload::Metric& m, uint32_t type, const SparkplugDevice::Value& v) {
    if (v.kind == SparkplugDevice::Value::Null) {
        m.set_is_null(true);
        return;
    }
    switch (type) {
    case sp::Int8: case sp::Int16: case sp::Int32: case sp::UInt8: case sp::UInt16: case sp::UInt32:
        m.set_int_value(uint32_t(v.i));
        break;
    case sp::Int64: case sp::UInt64: case sp::DateTime: m.set_long_value(uint64_t(v.i)); break;
    case sp::Float: m.set_float_value(float(v.d)); break;
    case sp::Double: m.set_double_value(v.d); break;
    case sp::Boolean: m.set_boolean_value(v.i != 0); break;
    default: m.set_string_value(v.s); break;
    }
}

void PutUnit(sp::Payload::Metric& m, const std::string& unit) {
    if (unit.empty()) return;
    sp::Payload::PropertySet* p = m.mutable_properties();
    p->add_keys("engUnit");
    sp::Payload::PropertyValue* v = p->add_values();
    v->set_type(sp::String);
    v->set_string_value(unit);
}

std::string Encoded(const sp::Payload& p) {
    std::string bytes;
    p.SerializeToString(&bytes);
    return bytes;
}

sp::Payload::Metric* Add(sp::Payload& p, const char* name, uint32_t type, uint64_t now) {
    sp::Payload::Metric* m = p.add_metrics();
    m->set_name(name);
    m->set_datatype(type);
    m->set_timestamp(now);
    return m;
}

}  // namespace

std::string SparkplugTopic(const std::string& group, const std::string& type, const std::string& node,
                           const std::string& device) {
    return "spBv1.0/" + group + "/" + type + "/" + node + (device.empty() ? "" : "/" + device);
}

std::string SparkplugId(const std::string& text) {
    std::string s = text;
    for (char& c : s)
        if (c == '+' || c == '/' || c == '#') c = '_';
    return s.empty() ? "_" : s;
}

std::string DeviceIdOf(const std::string& device) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path real = fs::canonical(device, ec);
    if (!ec && real.string() != device) {
        for (const auto& e : fs::directory_iterator("/dev/serial/by-id", ec)) {
            std::error_code ec2;
            if (fs::canonical(e.path(), ec2) != real || ec2) continue;
            std::string name = e.path().filename().string();
            if (name.rfind("usb-", 0) == 0) name = name.substr(4);
            auto cut = [&](const std::string& tail) {
                if (name.size() > tail.size() && name.compare(name.size() - tail.size(), tail.size(), tail) == 0)
                    name.resize(name.size() - tail.size());
            };
            cut("-port0");
            cut("-if00");
            return SparkplugId(name);
        }
    }
    if (!ec && real.string() == device) {  // a device named by itself: its by-id link, if it has one
        for (const auto& e : fs::directory_iterator("/dev/serial/by-id", ec)) {
            std::error_code ec2;
            if (fs::canonical(e.path(), ec2) == real && !ec2) return DeviceIdOf(e.path().string());
        }
    }
    return SparkplugId(fs::path(device).filename().string());
}

uint64_t UtcNowMs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec / 1000000);
}

std::string NodeBirthPayload(uint64_t bdSeq, uint32_t sensors, uint64_t now, bool nextServer) {
    sp::Payload p;
    p.set_timestamp(now);
    p.set_seq(0);
    Add(p, "bdSeq", sp::Int64, now)->set_long_value(bdSeq);
    Add(p, "Node Control/Rebirth", sp::Boolean, now)->set_boolean_value(false);
    if (nextServer) Add(p, "Node Control/Next Server", sp::Boolean, now)->set_boolean_value(false);
    Add(p, "Properties/Software", sp::String, now)->set_string_value("kryta-lt " + szSoftVersion.substr(szSoftVersion.find(' ') + 1));
    sp::Payload::Metric* m = Add(p, "Properties/Sensors", sp::UInt16, now);
    m->set_alias(1);
    m->set_int_value(sensors);
    return Encoded(p);
}

std::string NodeSensorsPayload(uint32_t sensors, uint64_t seq, uint64_t now) {
    sp::Payload p;
    p.set_timestamp(now);
    p.set_seq(seq);
    sp::Payload::Metric* m = p.add_metrics();
    m->set_alias(1);
    m->set_timestamp(now);
    m->set_int_value(sensors);
    return Encoded(p);
}

std::string NodeDeathPayload(uint64_t bdSeq) {
    sp::Payload p;
    sp::Payload::Metric* m = p.add_metrics();
    m->set_name("bdSeq");
    m->set_datatype(sp::Int64);
    m->set_long_value(bdSeq);
    return Encoded(p);
}

bool NodeCommandAsks(const std::string& payload, const std::string& metric) {
    sp::Payload p;
    if (!p.ParseFromString(payload)) return false;
    for (const auto& m : p.metrics())
        if (m.name() == metric && m.has_boolean_value() && m.boolean_value()) return true;
    return false;
}

bool SparkplugDevice::Birth(const QJsonObject& line, uint64_t aliasBase, std::string& why) {
    metrics_.clear();
    const QJsonObject identity = line["identity"].toObject();
    const QJsonObject parameters = line["parameters"].toObject()["parameters"].toObject();
    if (identity.isEmpty() || parameters.isEmpty()) {
        why = "the sensor's process gave no identity and parameters";
        return false;
    }
    const uint64_t now = UtcNowMs();
    auto add = [&](const std::string& name, uint32_t type, const std::string& unit, const QJsonValue& v) {
        metrics_.push_back({name, type, unit, 0, "", ValueOf(v, type), now, false});
    };
    for (const Row& r : kIdentity)
        if (identity.contains(r.key)) add(r.name, r.type, r.unit, identity[r.key]);
    for (auto it = identity.begin(); it != identity.end(); ++it) {
        bool known = false;
        for (const Row& r : kIdentity) known = known || it.key() == r.key;
        if (!known) add("Identity/" + it.key().toStdString(), it.value().isString() ? sp::String : sp::Int64, "", it.value());
    }
    for (auto it = parameters.begin(); it != parameters.end(); ++it) {
        const QJsonObject p = it.value().toObject();
        const QString type = p["type"].toString();
        const uint32_t t = type == "Double" ? sp::Double : type == "Int32" ? sp::Int32 : sp::UInt16;
        add("Parameters/" + it.key().toStdString(), t, p["unit"].toString().toStdString(), p["value"]);
    }
    firstData_ = metrics_.size();
    for (const Row& r : kMeasurement) {
        metrics_.push_back({r.name, uint32_t(r.type), r.unit, aliasBase + uint64_t(&r - kMeasurement), r.key, {}, now, false});
    }
    const auto text = [&](const char* key) { return identity[key].toVariant().toString().toStdString(); };
    describe_ = (identity["designation"].isString() ? text("designation") : "hardware code " + text("hardware_code")) +
                ", firmware " + text("firmware_number") + " (" + text("firmware_variant") + ")";
    lastFrame_ = missed_ = 0;
    return true;
}

bool SparkplugDevice::Frame(const QJsonObject& line) {
    const uint64_t sampled = uint64_t(line["time_ms"].toInteger());
    bool any = false;
    for (size_t k = firstData_; k < metrics_.size(); ++k) {
        Metric& m = metrics_[k];
        const Value v = ValueOf(line[QString::fromLatin1(m.key.c_str())], m.datatype);
        if (v == m.value) continue;
        m.value = v;
        m.sampled = sampled;
        m.changed = any = true;
    }
    lastFrame_ = uint64_t(line["frame"].toInteger());
    missed_ = uint64_t(line["missed"].toInteger());
    return any;
}

std::string SparkplugDevice::BirthPayload(uint64_t seq, uint64_t now) {
    sp::Payload p;
    p.set_timestamp(now);
    p.set_seq(seq);
    for (Metric& m : metrics_) {
        sp::Payload::Metric* out = Add(p, m.name.c_str(), m.datatype, m.sampled);
        if (m.alias) out->set_alias(m.alias);
        PutValue(*out, m.datatype, m.value);
        PutUnit(*out, m.unit);
        m.changed = false;
    }
    return Encoded(p);
}

std::string SparkplugDevice::DataPayload(uint64_t seq, uint64_t now) {
    sp::Payload p;
    p.set_timestamp(now);
    p.set_seq(seq);
    for (size_t k = firstData_; k < metrics_.size(); ++k) {
        Metric& m = metrics_[k];
        if (!m.changed) continue;
        sp::Payload::Metric* out = p.add_metrics();
        out->set_alias(m.alias);
        out->set_timestamp(m.sampled);
        PutValue(*out, m.datatype, m.value);
        m.changed = false;
    }
    return Encoded(p);
}

std::string SparkplugDevice::DeathPayload(uint64_t seq, uint64_t now) {
    sp::Payload p;
    p.set_timestamp(now);
    p.set_seq(seq);
    return Encoded(p);
}
