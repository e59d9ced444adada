// kryta-lt-report: draws a commissioning record (the JSON object of kryta-lt report --json) as a
// PDF of four A4 pages: the sensor and the results, both memories, the video signal and the
// trigger buffer, the run of measurement frames with its statistics and the gauge study.
// Usage: kryta-lt-report [RECORD.json | -] > RECORD.pdf
// Graphs are vector drawings that read in black and white: line styles, hatching and marks.
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/pdf.h"

namespace {

constexpr int kPages = 4;
constexpr double kLeft = 20, kRight = 190, kTop = 24;  // the writing area, mm

QJsonObject record;

QJsonObject Obj(const QJsonObject& o, const char* key) { return o.value(key).toObject(); }
std::string Str(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(key);
    if (v.isDouble()) {
        const double d = v.toDouble();
        return d == std::floor(d) && std::fabs(d) < 1e15 ? std::to_string(qint64(d)) : std::to_string(d);
    }
    return v.isString() ? v.toString().toStdString() : "-";
}
double Num(const QJsonObject& o, const char* key) { return o.value(key).toDouble(); }

// A number with `decimals` places and a point, "-" when it is none.
std::string Fixed(double v, int decimals) {
    if (!std::isfinite(v)) return "-";
    char t[48];
    std::snprintf(t, sizeof t, "%.*f", decimals, v);
    return t;
}

// ---- page frame ----
void PageFrame(int page) {
    const QJsonObject id = Obj(record, "identity"), r = Obj(record, "record");
    std::string designation = Str(id, "designation");
    if (designation == "-") designation = "hardware code " + Str(id, "hardware_code");
    PdfText(kLeft, 13, "Commissioning record  " + designation, 10, true);
    PdfText(kRight, 13, Str(r, "date_local"), 9, false, PdfAlign::Right);
    const std::string station = Str(r, "station");
    PdfText(kLeft, 17.5, station == "-" ? "port " + Str(id, "port") : "station " + station + "   port " + Str(id, "port"), 8);
    PdfText(kRight, 17.5, "UTC " + Str(r, "date_utc"), 8, false, PdfAlign::Right);
    PdfLine(kLeft, 19.5, kRight, 19.5, 0.3);
    PdfLine(kLeft, 284, kRight, 284, 0.2);
    PdfText(kLeft, 288.5, Str(r, "program") + " on " + Str(r, "host"), 7.5);
    PdfText(kRight, 288.5, "page " + std::to_string(page) + " of " + std::to_string(kPages), 8, false, PdfAlign::Right);
}

double Heading(double y, const std::string& text) {
    PdfText(kLeft, y, text, 12, true);
    return y + 6.5;
}

// Label and value rows; the y after them.
double Rows(double y, const std::vector<std::pair<std::string, std::string>>& rows, double valueAt = 68, double pt = 9.5) {
    for (const auto& [label, value] : rows) {
        PdfText(kLeft + 2, y, label, pt);
        PdfText(kLeft + valueAt, y, value, pt, true);
        y += pt * 0.52;
    }
    return y;
}

// ---- graphs ----
struct Axes {
    double x, y, w, h;     // on the page, mm
    double x0, x1, y0, y1; // the values at the edges
    double X(double v) const { return x + (v - x0) / (x1 - x0) * w; }
    double Y(double v) const { return y + h - (v - y0) / (y1 - y0) * h; }
};

double NiceStep(double span, int ticks) {
    if (!(span > 0)) return 1;
    const double raw = span / ticks, mag = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (raw <= m * mag) return m * mag;
    return 10 * mag;
}

int DecimalsOf(double step) { return step >= 1 ? 0 : int(std::ceil(-std::log10(step) - 1e-9)); }

// The frame, ticks with their values and the two axis captions.
void DrawAxes(const Axes& a, const std::string& xCaption, const std::string& yCaption, bool yTicks = true) {
    PdfRect(a.x, a.y, a.w, a.h, 0.3, PdfFill::None);
    const double xs = NiceStep(a.x1 - a.x0, 8);
    for (double v = std::ceil(a.x0 / xs) * xs; v <= a.x1 + xs * 1e-9; v += xs) {
        PdfLine(a.X(v), a.y + a.h, a.X(v), a.y + a.h + 1.2, 0.2);
        PdfLine(a.X(v), a.y, a.X(v), a.y + a.h, 0.1, PdfPen::Grid);
        PdfText(a.X(v), a.y + a.h + 4.2, Fixed(v, DecimalsOf(xs)), 7, false, PdfAlign::Centre);
    }
    if (yTicks) {
        const double ys = NiceStep(a.y1 - a.y0, 6);
        for (double v = std::ceil(a.y0 / ys) * ys; v <= a.y1 + ys * 1e-9; v += ys) {
            PdfLine(a.x - 1.2, a.Y(v), a.x, a.Y(v), 0.2);
            PdfLine(a.x, a.Y(v), a.x + a.w, a.Y(v), 0.1, PdfPen::Grid);
            PdfText(a.x - 1.8, a.Y(v) + 1.1, Fixed(v, DecimalsOf(ys)), 7, false, PdfAlign::Right);
        }
    }
    PdfText(a.x + a.w / 2, a.y + a.h + 8.5, xCaption, 8, false, PdfAlign::Centre);
    if (!yCaption.empty()) PdfTextUp(a.x - 13, a.y + a.h / 2, yCaption, 8);
}

void Curve(const Axes& a, const std::vector<double>& xs, const std::vector<double>& ys, double width, PdfPen pen) {
    std::vector<std::pair<double, double>> points;
    for (size_t i = 0; i < xs.size() && i < ys.size(); ++i)
        points.emplace_back(a.X(xs[i]), a.Y(std::clamp(ys[i], a.y0, a.y1)));
    PdfPolyline(points, width, pen);
}

void HorizontalLine(const Axes& a, double v, double width, PdfPen pen) {
    if (v >= a.y0 && v <= a.y1) PdfLine(a.x, a.Y(v), a.x + a.w, a.Y(v), width, pen);
}
void VerticalLine(const Axes& a, double v, double width, PdfPen pen) {
    if (v >= a.x0 && v <= a.x1) PdfLine(a.X(v), a.y, a.X(v), a.y + a.h, width, pen);
}

// A legend below a graph: a short line of each pen, then its text.
struct Key {
    PdfPen pen;
    double width;
    std::string text;
    bool box = false;  // a hatched box instead of a line
};
void Legend(double x, double y, const std::vector<Key>& keys) {
    for (const Key& k : keys) {
        if (k.box) PdfRect(x, y - 2.4, 7, 3, 0.2, PdfFill::Hatch);
        else PdfLine(x, y - 1, x + 7, y - 1, k.width, k.pen);
        PdfText(x + 8.5, y, k.text, 7.5);
        x += 8.5 + PdfTextWidth(k.text, 7.5) + 6;
    }
}

// A framed line of bold text across the writing area, its size brought down until it fits.
void Boxed(double y, const std::string& text, double pt) {
    while (pt > 6 && PdfTextWidth(text, pt, true) > kRight - kLeft - 8) pt -= 0.5;
    PdfRect(kLeft, y - 5.5, kRight - kLeft, 8.5, 0.5, PdfFill::None);
    PdfText(kLeft + 4, y, text, pt, true);
}

std::vector<double> Values(const QJsonArray& a) {
    std::vector<double> v;
    for (const QJsonValue& x : a) v.push_back(x.toDouble());
    return v;
}

// ---- page 1: the sensor, the record, the results ----
void PageSensor() {
    PageFrame(1);
    const QJsonObject id = Obj(record, "identity"), r = Obj(record, "record"), m = Obj(record, "measurement");
    double y = kTop + 10;
    PdfText(kLeft, y, "Commissioning record", 20, true);
    y += 12;
    y = Heading(y, "Sensor");
    y = Rows(y, {{"designation", Str(id, "designation")},
                 {"pixels", Str(id, "pixel_text")},
                 {"resolution", Str(id, "resolution_text")},
                 {"working range", Str(id, "working_range_text")},
                 {"CCD family", Str(id, "ccd_family")},
                 {"hardware code", Str(id, "hardware_code")},
                 {"firmware number", Str(id, "firmware_number") + "  (" + Str(id, "firmware_variant") + " firmware)"},
                 {"firmware text", Str(id, "firmware_text")},
                 {"pixel positions", Str(id, "pixel_positions")},
                 {"port", Str(id, "port")}});
    y += 5;
    y = Heading(y, "Record");
    y = Rows(y, {{"station", Str(r, "station")},
                 {"operator", Str(r, "operator")},
                 {"date and time (local)", Str(r, "date_local")},
                 {"date and time (UTC)", Str(r, "date_utc")},
                 {"computer", Str(r, "host")},
                 {"program", Str(r, "program")}});
    y += 5;
    y = Heading(y, "Results");
    const QJsonObject su = Obj(m, "statistics_um");
    const QJsonArray win = m.value("tolerance_window_um").toArray();
    std::vector<std::pair<std::string, std::string>> rows = {
        {"measurement frames", Str(m, "frames") + " used of " + Str(m, "requests") + " requested, " +
                                   Str(m, "refused_count") + " refused"},
        {"mean", Fixed(Num(su, "mean_um"), 2) + " µm"},
        {"standard deviation s", Fixed(Num(su, "sd_um"), 3) + " µm"},
        {"range", Fixed(Num(su, "min_um"), 1) + " to " + Fixed(Num(su, "max_um"), 1) + " µm"},
        {"inside the tolerance window", Fixed(100 * Num(m, "inside_share"), 1) + " %  (" + Fixed(win.at(0).toDouble(), 1) +
                                            " to " + Fixed(win.at(1).toDouble(), 1) + " µm)"},
    };
    if (record.contains("study")) {
        const QJsonObject s = Obj(record, "study");
        rows.push_back({"type-1 gauge study", "xm " + Fixed(Num(s, "reference_um"), 1) + " µm, T " +
                                                  Fixed(Num(s, "tolerance_um"), 1) + " µm"});
        rows.push_back({"Cg, Cgk", s.value("cg").isNull() ? "not defined"
                                                          : Fixed(Num(s, "cg"), 2) + ", " + Fixed(Num(s, "cgk"), 2)});
    }
    y = Rows(y, rows);
    if (record.contains("study")) {
        y += 4;
        const std::string verdict = Str(Obj(record, "study"), "verdict");
        Boxed(y, "Verdict: " + verdict, 12);
        y += 10;
    }
    y += 4;
    const QJsonObject set = Obj(record, "settings");
    y = Heading(y, "Settings");
    Rows(y, {{"RAM SHA-256", Str(set, "ram_sha256")},
             {"EEPROM SHA-256", Str(set, "eeprom_sha256")},
             {"differing parameters", Str(set, "differing") + " (page 2)"}},
         34, 8.5);
}

// ---- page 2: both memories side by side ----
void PageSettings() {
    PdfNewPage();
    PageFrame(2);
    const QJsonObject set = Obj(record, "settings");
    double y = Heading(kTop + 8, "Settings: RAM and EEPROM (" + Str(set, "variant") + " firmware)");
    const int differing = set.value("differing").toInt();
    if (differing == 0) {
        PdfText(kLeft, y, "RAM and EEPROM hold the same settings: the sensor starts after power-off with what runs now.", 9);
    } else {
        PdfText(kLeft, y, "RAM differs from EEPROM in " + std::to_string(differing) + " parameter(s), marked below:", 9.5, true);
        y += 4.6;
        PdfText(kLeft, y, "what runs now is not what the sensor starts with after power-off.", 9.5, true);
    }
    y += 8;
    const double cName = kLeft + 2, cWord = kLeft + 52, cRam = kLeft + 86, cEeprom = kLeft + 116, cUnit = kLeft + 122,
                 cMark = kLeft + 142;
    PdfText(cName, y, "parameter", 9, true);
    PdfText(cWord, y, "word", 9, true, PdfAlign::Right);
    PdfText(cRam, y, "RAM", 9, true, PdfAlign::Right);
    PdfText(cEeprom, y, "EEPROM", 9, true, PdfAlign::Right);
    PdfText(cUnit, y, "unit", 9, true);
    PdfLine(kLeft, y + 1.5, kRight, y + 1.5, 0.3);
    y += 6;
    for (const QJsonValue& v : set.value("parameters").toArray()) {
        const QJsonObject p = v.toObject();
        const bool differs = p.value("differs").toBool();
        if (differs) PdfRect(kLeft, y - 3.6, kRight - kLeft, 5, 0, PdfFill::LightGrey);
        PdfText(cName, y, Str(p, "name"), 9, differs);
        PdfText(cWord, y, Str(p, "word"), 9, false, PdfAlign::Right);
        PdfText(cRam, y, Str(p, "ram_text"), 9, differs, PdfAlign::Right);
        PdfText(cEeprom, y, Str(p, "eeprom_text"), 9, differs, PdfAlign::Right);
        PdfText(cUnit, y, Str(p, "unit") == "-" ? "" : Str(p, "unit"), 9);
        if (differs) PdfText(cMark, y, "<> RAM differs", 9, true);
        y += 5.4;
    }
    PdfLine(kLeft, y - 3.2, kRight, y - 3.2, 0.3);
    y += 4;
    PdfText(kLeft, y, "SHA-256 of each memory's 30 words as the parameter file holds them (kryta-lt get -o; sha256sum):", 8);
    y += 5;
    Rows(y, {{"RAM", Str(set, "ram_sha256")}, {"EEPROM", Str(set, "eeprom_sha256")}}, 20, 8.5);
}

// ---- page 3: the video signal and the trigger buffer ----
void PageVideo() {
    PdfNewPage();
    PageFrame(3);
    const QJsonObject v = Obj(record, "video"), f = Obj(v, "frame"), t = Obj(record, "trigger_buffer");
    double y = Heading(kTop + 8, "Video signal of the CCD line");
    const Axes va{kLeft + 16, y, kRight - kLeft - 18, 95, 0, std::max(1.0, Num(v, "line_px")), 0,
                  std::max(1.0, Num(v, "adc_full_scale"))};
    DrawAxes(va, "pixel position", "video signal, ADC counts");
    Curve(va, Values(v.value("pixel_px").toArray()), Values(v.value("video_adc").toArray()), 0.35, PdfPen::Solid);
    HorizontalLine(va, Num(v, "threshold_adc"), 0.35, PdfPen::Dash);
    const int edges = f.value("edge_count").toInt();
    const double le = Num(f, "left_edge_px"), re = Num(f, "right_edge_px");
    if (edges >= 1) VerticalLine(va, le, 0.35, PdfPen::DashDot);
    if (edges >= 2) VerticalLine(va, re, 0.35, PdfPen::DashDot);
    y += 95 + 15;
    Legend(kLeft, y, {{PdfPen::Solid, 0.35, "video signal"},
                      {PdfPen::Dash, 0.35, "threshold " + Str(v, "threshold_adc")},
                      {PdfPen::DashDot, 0.35, "edges of the frame"}});
    y += 5;
    PdfText(kLeft, y, "The frame taken with it: " + Str(f, "edge_count") + " edge(s), left " + Str(f, "left_edge_px") +
                          ", right " + Str(f, "right_edge_px") + "; measured value " + Str(f, "value_px") +
                          " px = " + Str(f, "value_um") + " µm",
            8);
    y += 10;
    y = Heading(y, "Trigger buffer");
    const std::vector<double> tv = Values(t.value("values_px").toArray());
    std::vector<double> index;
    for (size_t i = 0; i < tv.size(); ++i) index.push_back(double(i));
    const Axes ta{kLeft + 16, y, kRight - kLeft - 18, 75, 0, 255, 0, std::max(1.0, Num(t, "axis_max_px"))};
    DrawAxes(ta, "index", "value, pixel position");
    Curve(ta, index, tv, 0.35, PdfPen::Solid);
    HorizontalLine(ta, Num(t, "trigger_threshold_px"), 0.35, PdfPen::Dash);
    HorizontalLine(ta, Num(t, "set_point_px"), 0.35, PdfPen::DashDot);
    HorizontalLine(ta, Num(t, "upper_px"), 0.3, PdfPen::Dot);
    HorizontalLine(ta, Num(t, "lower_px"), 0.3, PdfPen::Dot);
    y += 75 + 15;
    Legend(kLeft, y, {{PdfPen::Solid, 0.35, "trigger buffer"},
                      {PdfPen::Dash, 0.35, "trigger threshold " + Str(t, "trigger_threshold_px")},
                      {PdfPen::DashDot, 0.35, "set-point " + Str(t, "set_point_px")},
                      {PdfPen::Dot, 0.3, "tolerance " + Str(t, "lower_px") + " to " + Str(t, "upper_px")}});
}

// ---- page 4: the run, its statistics and the study ----
void PageMeasurement() {
    PdfNewPage();
    PageFrame(4);
    const QJsonObject m = Obj(record, "measurement"), su = Obj(m, "statistics_um"), sp = Obj(m, "statistics_px");
    const QJsonObject h = Obj(m, "histogram_um");
    const bool study = record.contains("study");
    const QJsonObject s = Obj(record, "study");
    const std::vector<double> um = Values(m.value("values_um").toArray());
    double y = Heading(kTop + 8, "Measurement: " + Str(m, "frames") + " frames at the line's pace");

    // the value axis, shared by the run chart and the histogram beside it
    double lo = Num(su, "min_um"), hi = Num(su, "max_um");
    const double mean = Num(su, "mean_um");
    if (study) {
        const double xm = Num(s, "reference_um"), band = 0.1 * Num(s, "tolerance_um");
        lo = std::min(lo, xm - band);
        hi = std::max(hi, xm + band);
    }
    const double width = std::max(Num(h, "width_um"), 1e-9);
    const double pad = std::max((hi - lo) * 0.08, width);
    lo -= pad;
    hi += pad;
    std::vector<double> frame;
    for (size_t i = 0; i < um.size(); ++i) frame.push_back(double(i + 1));
    const Axes run{kLeft + 16, y, 112, 85, 0, std::max(2.0, double(um.size()) + 1), lo, hi};
    DrawAxes(run, "frame", "measured value, µm");
    Curve(run, frame, um, 0.15, PdfPen::Solid);
    for (size_t i = 0; i < um.size(); ++i)  // each frame a small filled square
        PdfRect(run.X(frame[i]) - 0.45, run.Y(um[i]) - 0.45, 0.9, 0.9, 0, PdfFill::Black);
    HorizontalLine(run, mean, 0.35, PdfPen::Solid);
    const QJsonArray win = m.value("tolerance_window_um").toArray();
    HorizontalLine(run, win.at(0).toDouble(), 0.3, PdfPen::DashDot);
    HorizontalLine(run, win.at(1).toDouble(), 0.3, PdfPen::DashDot);
    if (study) {
        const double xm = Num(s, "reference_um"), band = 0.1 * Num(s, "tolerance_um");
        HorizontalLine(run, xm, 0.35, PdfPen::Dash);
        HorizontalLine(run, xm - band, 0.3, PdfPen::Dot);
        HorizontalLine(run, xm + band, 0.3, PdfPen::Dot);
    }
    // the histogram, sideways on the same value axis: bars of hatched boxes
    const QJsonArray counts = h.value("counts").toArray();
    int most = 1;
    for (const QJsonValue& c : counts) most = std::max(most, c.toInt());
    const Axes hist{run.x + run.w + 4, y, kRight - (run.x + run.w + 4), 85, 0, double(most) * 1.1, lo, hi};
    DrawAxes(hist, "frames", "", false);
    const double from = Num(h, "from_um");
    for (int k = 0; k < counts.size(); ++k) {
        const double b0 = from + k * width, b1 = b0 + width;
        if (counts[k].toInt() == 0) continue;
        PdfRect(hist.X(0), hist.Y(b1), hist.X(counts[k].toInt()) - hist.X(0), hist.Y(b0) - hist.Y(b1), 0.2,
                PdfFill::Hatch);
    }
    HorizontalLine(hist, mean, 0.35, PdfPen::Solid);
    if (study) HorizontalLine(hist, Num(s, "reference_um"), 0.35, PdfPen::Dash);
    y += 85 + 14;
    std::vector<Key> keys = {{PdfPen::Solid, 0.35, "mean"},
                             {PdfPen::DashDot, 0.3, "tolerance window " + Fixed(win.at(0).toDouble(), 1) + " to " +
                                                        Fixed(win.at(1).toDouble(), 1)}};
    if (study) {
        keys.push_back({PdfPen::Dash, 0.35, "reference xm"});
        keys.push_back({PdfPen::Dot, 0.3, "xm ± 0.1 T"});
    }
    keys.push_back({PdfPen::Solid, 0.2, "frames a bin", true});
    Legend(kLeft, y, keys);
    y += 9;

    // the statistics in um and in pixel positions
    y = Heading(y, "Statistics");
    const double c1 = kLeft + 2, c2 = kLeft + 100, c3 = kLeft + 150;
    PdfText(c2, y, "µm", 9, true, PdfAlign::Right);
    PdfText(c3, y, "pixel positions", 9, true, PdfAlign::Right);
    y += 5;
    const struct {
        const char* label;
        const char* key;
        int decimals;
    } stats[] = {{"mean", "mean", 2}, {"standard deviation s (n - 1)", "sd", 3}, {"minimum", "min", 1},
                 {"maximum", "max", 1}, {"range", "range", 1}};
    for (const auto& row : stats) {
        PdfText(c1, y, row.label, 9);
        PdfText(c2, y, Fixed(Num(su, (std::string(row.key) + "_um").c_str()), row.decimals), 9, true, PdfAlign::Right);
        PdfText(c3, y, Fixed(Num(sp, (std::string(row.key) + "_px").c_str()), row.decimals), 9, true, PdfAlign::Right);
        y += 4.8;
    }
    const QJsonArray winPx = m.value("tolerance_window_px").toArray();
    PdfText(c1, y, "tolerance window", 9);
    PdfText(c2, y, Fixed(win.at(0).toDouble(), 1) + " to " + Fixed(win.at(1).toDouble(), 1), 9, true, PdfAlign::Right);
    PdfText(c3, y, std::to_string(winPx.at(0).toInt()) + " to " + std::to_string(winPx.at(1).toInt()), 9, true,
            PdfAlign::Right);
    y += 4.8;
    PdfText(c1, y, "set-point", 9);
    PdfText(c3, y, Str(m, "set_point_px"), 9, true, PdfAlign::Right);
    y += 4.8;
    PdfText(c1, y, "inside the window", 9);
    PdfText(c2, y, Fixed(100 * Num(m, "inside_share"), 1) + " %", 9, true, PdfAlign::Right);
    y += 4.8;
    PdfText(c1, y, "calibration factor", 9);
    PdfText(c2, y, Fixed(Num(m, "um_per_position"), 4) + " µm a position", 9, true, PdfAlign::Right);
    y += 4.8;
    const QJsonArray refused = m.value("refused").toArray();
    std::string named = Str(m, "refused_count") + " frame(s) refused on the line, none used";
    for (int k = 0; k < refused.size() && k < 4; ++k)
        named += (k ? "; " : ": ") + Str(refused[k].toObject(), "reason");
    if (refused.size() > 4) named += "; and " + std::to_string(refused.size() - 4) + " more (in the JSON record)";
    PdfText(c1, y, named.substr(0, 150), 7.5);
    if (const int edgeless = m.value("frames_without_edge").toInt(); edgeless > 0) {
        y += 4;
        PdfText(c1, y, std::to_string(edgeless) + " frame(s) found no edge: the sensor's value 0 is in the statistics", 7.5, true);
    }
    y += 8;

    // the gauge study, right of nothing: below the statistics
    if (!study) {
        PdfText(kLeft, y, "No gauge study: --reference and --tolerance were not given.", 9);
        return;
    }
    y = Heading(y, "Type-1 gauge study");
    const bool defined = !s.value("cg").isNull();
    Rows(y, {{"reference xm, tolerance T", Fixed(Num(s, "reference_um"), 2) + " µm, " + Fixed(Num(s, "tolerance_um"), 2) + " µm"},
             {"bias = mean - xm", Fixed(Num(s, "bias_um"), 3) + " µm"},
             {"Cg = 0.2 T / (6 s)", defined ? Fixed(Num(s, "cg"), 2) : "not defined"},
             {"Cgk = (0.1 T - |mean - xm|) / (3 s)", defined ? Fixed(Num(s, "cgk"), 2) : "not defined"},
             {"resolution against 5 % of T", Fixed(Num(s, "resolution_um"), 3) + " µm against " +
                                                 Fixed(Num(s, "resolution_limit_um"), 3) + " µm: " +
                                                 (s.value("resolution_fine").toBool() ? "fine enough" : "too coarse")}},
         70, 9);
    y += 5 * 4.9 + 3;
    Boxed(y, "Verdict (both at least 1.33): " + Str(s, "verdict"), 10.5);
}

}  // namespace

int main(int argc, char** argv) {
    InitDrawingRuntime(argc, argv);
    const std::string source = argc > 1 ? argv[1] : "-";
    if (argc > 2 || source == "-h" || source == "--help") {
        std::fprintf(argc > 2 ? stderr : stdout,
                     "Usage: kryta-lt-report [RECORD.json | -]\n"
                     "Draws a commissioning record, the JSON object of kryta-lt report --json (from the\n"
                     "file, or from standard input for - or none), as a PDF of four A4 pages on standard\n"
                     "output: the sensor and the results, both memories side by side, the video signal\n"
                     "and the trigger buffer, the run chart with its histogram, the statistics and the\n"
                     "gauge study. kryta-lt report runs it to write its PDF; it needs no display.\n"
                     "\nOptions:\n"
                     "  -h, --help          this help\n"
                     "\nExit codes:\n"
                     "  0  the PDF is written\n"
                     "  2  wrong arguments\n"
                     "  7  the record cannot be read or is not a record of kryta-lt report\n"
                     "  8  the PDF cannot be made or written\n");
        return argc > 2 ? 2 : 0;
    }
    QFile in;
    const bool opened = source == "-" ? in.open(stdin, QIODevice::ReadOnly) : (in.setFileName(QString::fromStdString(source)),
                                                                               in.open(QIODevice::ReadOnly));
    if (!opened) {
        std::fprintf(stderr, "kryta-lt-report: cannot read %s: %s\n", source.c_str(), in.errorString().toStdString().c_str());
        return 7;
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(in.readAll(), &error);
    if (!doc.isObject() || !doc.object().contains("measurement") || !doc.object().contains("identity")) {
        std::fprintf(stderr, "kryta-lt-report: %s is not a record of kryta-lt report --json%s\n", source.c_str(),
                     doc.isNull() ? (" (" + error.errorString().toStdString() + ")").c_str() : "");
        return 7;
    }
    record = doc.object();
    const QJsonObject id = Obj(record, "identity");
    PdfBegin("Commissioning record " + Str(id, "designation") + " " + Str(Obj(record, "record"), "date_local"),
             Str(Obj(record, "record"), "program"));
    PageSensor();
    PageSettings();
    PageVideo();
    PageMeasurement();
    const std::string pdf = PdfEnd();
    if (pdf.empty() || std::fwrite(pdf.data(), 1, pdf.size(), stdout) != pdf.size() || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "kryta-lt-report: the PDF could not be made or written\n");
        return 8;
    }
    return 0;
}
