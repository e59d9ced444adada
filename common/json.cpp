#include "common/json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QString>

#include "common/text.h"
#include "link/com232.h"
#include "sensor/hardware.h"
#include "sensor/rules.h"
#include "sensor/vars.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A table text without its padding; null when the table has none.
QJsonValue TextOrNull(const std::string& s) {
    const std::string t = TrimRight(s);
    return t.empty() ? QJsonValue() : QJsonValue(Q(t));
}

}  // namespace

QJsonObject IdentityJson(const std::string& portDevice, const std::string& firmwareText) {
    const SensorIdentity& id = LastIdentity();
    const auto lines = SensorLines(id);
    QJsonObject o;
    o["port"] = Q(portDevice);
    o["designation"] = id.knownFamily && !id.row ? QJsonValue() : TextOrNull(lines[0]);
    o["pixel_text"] = TextOrNull(lines[1]);
    o["resolution_text"] = TextOrNull(lines[2]);
    o["working_range_text"] = TextOrNull(lines[3]);
    o["pixels"] = int(ccdmaxpixel);
    o["pixel_positions"] = int(ccdvirtpixel);
    o["ccd_family"] = int(ccdtype);
    o["hardware_code"] = int(hwtype);
    o["firmware_number"] = int(softversion);
    o["firmware_variant"] = VariantName(ParamVariant());
    o["firmware_text"] = TextOrNull(firmwareText);
    return o;
}

QJsonObject ParametersJson(int memTarget, const std::array<uint16_t, 30>& words) {
    const Variant v = ParamVariant();
    QJsonObject parameters;
    for (const ShownParameter& p : ShowSet(v, words)) {
        QJsonObject one;
        one["word"] = p.word;
        const uint32_t wide = uint32_t(words[size_t(p.index)]) |
                              (p.wide ? uint32_t(words[size_t(p.index + 1)]) << 16 : 0);
        const WordShape shape = NameOfWord(v, p.word).shape;
        if (shape == WordShape::FactorLow) one["value"] = double(wide) / ScaleUnit(v);
        else if (shape == WordShape::OffsetLow) one["value"] = qint64(int32_t(wide));
        else one["value"] = int(words[size_t(p.index)]);
        one["unit"] = Q(p.unit);
        parameters[Q(p.name)] = one;
    }
    QJsonObject o;
    o["memory"] = memTarget == EEPROM ? "eeprom" : "ram";
    o["variant"] = VariantName(v);
    o["parameters"] = parameters;
    return o;
}

QJsonObject MeasurementJson() {
    QJsonObject o;
    o["left_edge_px"] = int(Ledge);
    o["right_edge_px"] = int(Redge);
    o["value_px"] = qint64(Mvalue);
    o["value_um"] = qint64(int32_t(umValue));  // signed: below the calibration's zero it is negative
    o["set_point_px"] = int(parameter[9]);     // every frame writes it into each variant's block
    o["tolerance_px"] = int(tol);              // as the sensor applies it now
    o["edge_count"] = int(edcnt);
    o["window_start_px"] = int(mvstart);       // the measured window
    o["window_end_px"] = qint64(mvend);
    o["light_power"] = qint64(dynpow);         // as the sensor regulates it, on the POWER scale
    o["analog_output_max"] = int(anaMax);
    o["analog_output_min"] = int(anaMin);
    o["input_in0_state"] = qint64(in0);        // the sensor's digital input IN0
    o["video_max_adc"] = qint64(videoMax);     // highest video sample, ADC counts
    o["frame_word_15"] = qint64(raw15);        // the frame's last word, passed on as the sensor sent it
    return o;
}

std::string JsonLine(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + "\n";
}
