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
#include "sensor/study.h"

namespace {

constexpr int kPages = 4;
constexpr double kLeft = 20, kRight = 190, kTop = 26;  // the writing area, mm
constexpr double kFooter = 284;                        // the footer's rule

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

// A number as short as it reads: "10", "0.9766".
std::string Short(double v) {
    char t[48];
    std::snprintf(t, sizeof t, "%.4g", v);
    return t;
}

// ---- texts that fit their place ----

// The text in lines no wider than `width`: broken after the last space or character that parts a
// path or a name (/ - _ ,) in the line's second half, else where the line is full.
std::vector<std::string> Lines(const std::string& text, double pt, bool bold, double width) {
    const QString all = QString::fromStdString(text);
    std::vector<std::string> lines;
    int from = 0;
    auto fits = [&](int n) { return PdfTextWidth(all.mid(from, n).toStdString(), pt, bold) <= width; };
    while (from < all.size()) {
        int n = all.size() - from;
        if (!fits(n)) {
            int lo = 1, hi = n;  // the most characters that fit, at least one
            while (lo < hi) {
                const int mid = (lo + hi + 1) / 2;
                if (fits(mid)) lo = mid;
                else hi = mid - 1;
            }
            n = lo;
            for (int k = n; k > n / 2; --k)  // the last break in the line's second half
                if (QString(" /-_,").contains(all[from + k - 1])) {
                    n = k;
                    break;
                }
        }
        lines.push_back(all.mid(from, n).trimmed().toStdString());
        from += n;
        while (from < all.size() && all[from] == ' ') ++from;
    }
    if (lines.empty()) lines.push_back("");
    return lines;
}

// The text, shortened in its middle with an ellipsis when it is wider than `width`: its start and
// its end (a port's serial number and interface) stay.
std::string Shortened(const std::string& text, double pt, bool bold, double width) {
    if (PdfTextWidth(text, pt, bold) <= width) return text;
    const QString all = QString::fromStdString(text);
    auto cut = [&](int keep) {
        const int head = (keep + 1) / 2;
        return (all.left(head) + QString::fromUtf8("…") + all.right(keep - head)).toStdString();
    };
    int lo = 0, hi = all.size();
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        if (PdfTextWidth(cut(mid), pt, bold) <= width) lo = mid;
        else hi = mid - 1;
    }
    return cut(lo);
}

// Text in lines no wider than `width` from x, the first baseline at y; the baseline after them.
double Paragraph(double x, double y, const std::string& text, double pt, double width, bool bold = false) {
    for (const std::string& line : Lines(text, pt, bold, width)) {
        PdfText(x, y, line, pt, bold);
        y += pt * 0.45;
    }
    return y;
}

// ---- page frame ----
void PageFrame(int page) {
    const QJsonObject id = Obj(record, "identity"), r = Obj(record, "record");
    std::string designation = Str(id, "designation");
    if (designation == "-") designation = "hardware code " + Str(id, "hardware_code");
    const std::string title = "Commissioning record  " + designation;
    PdfText(kLeft, 12, title, 10, true);
    const double width = kRight - kLeft, titleWidth = PdfTextWidth(title, 10, true) + 6;
    PdfText(kRight, 12, Shortened(Str(r, "date_local") + "   UTC " + Str(r, "date_utc"), 8, false, width - titleWidth), 8,
            false, PdfAlign::Right);
    // station and port share the second line; each keeps its whole text on page 1
    const std::string station = Str(r, "station") == "-" ? "" : "station " + Str(r, "station");
    const std::string port = "port " + Str(id, "port");
    const double gap = 6, ws = station.empty() ? 0 : PdfTextWidth(station, 8), wp = PdfTextWidth(port, 8);
    double portWidth = wp;
    if (ws + gap + wp > width) portWidth = station.empty() ? width : std::min(wp, std::max(0.45 * width, width - gap - ws));
    PdfText(kRight, 16.5, Shortened(port, 8, false, portWidth), 8, false, PdfAlign::Right);
    if (!station.empty()) PdfText(kLeft, 16.5, Shortened(station, 8, false, width - gap - portWidth), 8);
    PdfLine(kLeft, 19, kRight, 19, 0.3);
    PdfLine(kLeft, kFooter, kRight, kFooter, 0.2);
    const std::string pageText = "page " + std::to_string(page) + " of " + std::to_string(kPages);
    PdfText(kLeft, 288.5, Shortened(Str(r, "program") + " on " + Str(r, "host"), 7.5, false,
                                    width - PdfTextWidth(pageText, 8) - gap), 7.5);
    PdfText(kRight, 288.5, pageText, 8, false, PdfAlign::Right);
}

double Heading(double y, const std::string& text) {
    PdfText(kLeft, y, text, 12, true);
    return y + 6.5;
}

// Label and value rows, a value that does not fit in lines of its own; the y after them.
double Rows(double y, const std::vector<std::pair<std::string, std::string>>& rows, double valueAt = 68, double pt = 9.5) {
    for (const auto& [label, value] : rows) {
        PdfText(kLeft + 2, y, label, pt);
        for (const std::string& line : Lines(value, pt, true, kRight - kLeft - valueAt)) {
            PdfText(kLeft + valueAt, y, line, pt, true);
            y += pt * 0.45;
        }
        y += pt * 0.07;
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

// A tick step of 1, 2, 2.5 or 5 times a power of ten for about `ticks` ticks; for counts
// (`whole`) a whole number, never 2.5.
double NiceStep(double span, int ticks, bool whole = false) {
    if (!(span > 0)) return 1;
    const double raw = span / ticks, mag = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 2.5, 5.0, 10.0}) {
        if (whole && (m == 2.5 || m * mag < 1)) continue;
        if (raw <= m * mag) return m * mag;
    }
    return 10 * mag;
}

int DecimalsOf(double step) { return step >= 1 ? 0 : int(std::ceil(-std::log10(step) - 1e-9)); }

// The frame, ticks with their values and the two axis captions; `wholeX`: the x axis counts.
void DrawAxes(const Axes& a, const std::string& xCaption, const std::string& yCaption, bool yTicks = true,
              bool wholeX = false) {
    PdfRect(a.x, a.y, a.w, a.h, 0.3, PdfFill::None);
    const double xs = NiceStep(a.x1 - a.x0, a.w < 60 ? 5 : 8, wholeX);
    for (double v = std::ceil(a.x0 / xs) * xs; v <= a.x1 + xs * 1e-9; v += xs) {
        PdfLine(a.X(v), a.y + a.h, a.X(v), a.y + a.h + 1.2, 0.2);
        PdfLine(a.X(v), a.y, a.X(v), a.y + a.h, 0.1, PdfPen::Grid);
        PdfText(a.X(v), a.y + a.h + 4.2, Fixed(v + 0.0, DecimalsOf(xs)), 7, false, PdfAlign::Centre);
    }
    if (yTicks) {
        const double ys = NiceStep(a.y1 - a.y0, 6);
        for (double v = std::ceil(a.y0 / ys) * ys; v <= a.y1 + ys * 1e-9; v += ys) {
            PdfLine(a.x - 1.2, a.Y(v), a.x, a.Y(v), 0.2);
            PdfLine(a.x, a.Y(v), a.x + a.w, a.Y(v), 0.1, PdfPen::Grid);
            PdfText(a.x - 1.8, a.Y(v) + 1.1, Fixed(v + 0.0, DecimalsOf(ys)), 7, false, PdfAlign::Right);  // no "-0"
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

// A line across the graph at v when v lies on its scale; whether it was drawn.
bool HorizontalLine(const Axes& a, double v, double width, PdfPen pen) {
    if (v < a.y0 || v > a.y1) return false;
    PdfLine(a.x, a.Y(v), a.x + a.w, a.Y(v), width, pen);
    return true;
}
bool VerticalLine(const Axes& a, double v, double width, PdfPen pen) {
    if (v < a.x0 || v > a.x1) return false;
    PdfLine(a.X(v), a.y, a.X(v), a.y + a.h, width, pen);
    return true;
}

// A legend below a graph: a short line of each pen, then its text; a key that would run past the
// right edge begins a new row. The y below it.
struct Key {
    PdfPen pen;
    double width;
    std::string text;
    bool box = false;  // a hatched box instead of a line
};
double Legend(double x, double y, const std::vector<Key>& keys) {
    const double left = x;
    for (const Key& k : keys) {
        const double w = 8.5 + PdfTextWidth(k.text, 7.5);
        if (x > left && x + w > kRight) {
            x = left;
            y += 4.5;
        }
        if (k.box) PdfRect(x, y - 2.4, 7, 3, 0.2, PdfFill::Hatch);
        else PdfLine(x, y - 1, x + 7, y - 1, k.width, k.pen);
        PdfText(x + 8.5, y, k.text, 7.5);
        x += w + 6;
    }
    return y + 4.5;
}

// The verdict in a frame across the writing area: its first line in large bold type, then the
// rules that fail, one a line, wrapped as they need. The y below the frame.
double VerdictBox(double y, const std::string& head, const std::vector<std::string>& lines) {
    std::vector<std::string> wrapped;
    for (const std::string& l : lines)
        for (const std::string& w : Lines(l, 9, false, kRight - kLeft - 12)) wrapped.push_back(w);
    const double h = 9 + 4.3 * double(wrapped.size()) + (wrapped.empty() ? 0 : 1.5);
    PdfRect(kLeft, y, kRight - kLeft, h, 0.5, PdfFill::None);
    double at = y + 6.5;
    for (const std::string& l : Lines(head, 12, true, kRight - kLeft - 8)) {
        PdfText(kLeft + 4, at, l, 12, true);
        at += 5.5;
    }
    at += 0.5;
    for (const std::string& l : wrapped) {
        PdfText(kLeft + 8, at, l, 9);
        at += 4.3;
    }
    return y + h;
}

// The verdict of the study as the box shows it: the status, then each failing rule or the reason.
void VerdictOf(const QJsonObject& s, std::string& head, std::vector<std::string>& lines) {
    const std::string verdict = Str(s, "verdict"), status = Str(s, "status");
    head = "Verdict: " + status;
    lines.clear();
    if (verdict != status && verdict.rfind(status + ": ", 0) != 0) {  // a verdict in other words
        lines.push_back(verdict);
        return;
    }
    const std::string rest = verdict.size() > status.size() + 2 ? verdict.substr(status.size() + 2) : "";
    for (size_t from = 0; from < rest.size();) {
        const size_t end = rest.find("; ", from);
        lines.push_back("- " + rest.substr(from, end == std::string::npos ? std::string::npos : end - from));
        from = end == std::string::npos ? rest.size() : end + 2;
    }
}

std::vector<double> Values(const QJsonArray& a) {
    std::vector<double> v;
    for (const QJsonValue& x : a) v.push_back(x.toDouble());
    return v;
}

// The resolution the study used and why, as one line.
std::string ResolutionText(const QJsonObject& s) {
    const double factor = Num(s, "calibration_factor_um"), step = Num(s, "value_step_um");
    if (Str(s, "resolution_from") == "value step")
        return Short(Num(s, "resolution_um")) + " µm, the step the values move in: coarser than the calibration factor's " +
               Fixed(factor, 4) + " µm a position";
    if (!s.contains("value_step_um") || s.value("value_step_um").isUndefined())
        return Fixed(factor, 4) + " µm, the calibration factor (a position's length)";
    return Fixed(factor, 4) + " µm, the calibration factor (a position's length): the values move in " +
           (step > 0 ? "steps of " + Short(step) + " µm" : "no step, every value the same");
}

// ---- page 1: the sensor, the record, the results ----
// Page 1 below its frame; the y where it ends. Long texts above the signatures take, as they need
// it (`squeeze` 1 to 3), the place of the large title, then of the memories' hashes (page 2 has
// them too), then rows in smaller type.
double SensorBody(int squeeze) {
    const double pt = squeeze >= 3 ? 8.5 : 9.5;
    const QJsonObject id = Obj(record, "identity"), r = Obj(record, "record"), m = Obj(record, "measurement");
    double y = kTop + 8;
    if (squeeze < 1) {
        PdfText(kLeft, y, "Commissioning record", 18, true);
        y += 10;
    }
    y = Heading(y, "Sensor");
    y = Rows(y, {{"designation", Str(id, "designation")},
                 {"pixels", Str(id, "pixel_text")},
                 {"resolution (sensor's table)", Str(id, "resolution_text")},
                 {"working range", Str(id, "working_range_text")},
                 {"CCD family", Str(id, "ccd_family")},
                 {"hardware code", Str(id, "hardware_code")},
                 {"firmware number", Str(id, "firmware_number") + "  (" + Str(id, "firmware_variant") + " firmware)"},
                 {"firmware text", Str(id, "firmware_text")},
                 {"pixel positions", Str(id, "pixel_positions")},
                 {"port", Str(id, "port")}},
             68, pt);
    y += 3;
    y = Heading(y, "Record");
    y = Rows(y, {{"station", Str(r, "station")},
                 {"operator", Str(r, "operator")},
                 {"date and time (local)", Str(r, "date_local")},
                 {"date and time (UTC)", Str(r, "date_utc")},
                 {"computer", Str(r, "host")},
                 {"program", Str(r, "program")}},
             68, pt);
    y += 3;
    y = Heading(y, "Results");
    const QJsonObject su = Obj(m, "statistics_um");
    const QJsonArray win = m.value("tolerance_window_um").toArray();
    std::vector<std::pair<std::string, std::string>> rows = {
        {"measurement frames", Str(m, "frames") + " used of " + Str(m, "requests") + " requested, " +
                                   Str(m, "refused_count") + " refused"},
        {"mean, standard deviation s", Fixed(Num(su, "mean_um"), 2) + " µm, " + Fixed(Num(su, "sd_um"), 3) + " µm"},
        {"minimum to maximum", Fixed(Num(su, "min_um"), 1) + " to " + Fixed(Num(su, "max_um"), 1) + " µm"},
        {"inside the tolerance window", Fixed(100 * Num(m, "inside_share"), 1) + " %  (" + Fixed(win.at(0).toDouble(), 1) +
                                            " to " + Fixed(win.at(1).toDouble(), 1) + " µm)"},
    };
    if (Obj(m, "drift").value("drifts").toBool()) rows.push_back({"run chart", "drifts (page 4)"});
    if (record.contains("study")) {
        const QJsonObject s = Obj(record, "study");
        if (Str(s, "part") != "-") rows.push_back({"reference part", Str(s, "part")});
        rows.push_back({"type-1 gauge study", "xm " + Fixed(Num(s, "reference_um"), 1) + " µm, T " +
                                                  Fixed(Num(s, "tolerance_um"), 1) + " µm"});
        rows.push_back({"Cg, Cgk", s.value("cg").isNull() ? "not defined"
                                                          : Fixed(Num(s, "cg"), 2) + ", " + Fixed(Num(s, "cgk"), 2)});
        rows.push_back({"resolution %RE", Short(Num(s, "resolution_um")) + " µm (" +
                                              (Str(s, "resolution_from") == "value step" ? "the values' step"
                                                                                          : "the calibration factor") +
                                              ") = " + Fixed(Num(s, "resolution_share_percent"), 2) + " % of T"});
    }
    if (!record.contains("study")) rows.push_back({"type-1 gauge study", "none: --reference and --tolerance not given"});
    const QJsonObject set = Obj(record, "settings");
    if (squeeze >= 2) rows.push_back({"settings", Str(set, "differing") + " parameter(s) differ in RAM and EEPROM; "
                                                  "their SHA-256 on page 2"});
    y = Rows(y, rows, 68, pt);
    if (record.contains("study")) {
        y += 2;
        std::string head;
        std::vector<std::string> lines;
        VerdictOf(Obj(record, "study"), head, lines);
        y = VerdictBox(y, head, lines) + 4;
    }
    if (squeeze >= 2) return y;
    y += 3;
    y = Heading(y, "Settings");
    return Rows(y, {{"RAM SHA-256", Str(set, "ram_sha256")},
                    {"EEPROM SHA-256", Str(set, "eeprom_sha256")},
                    {"differing parameters", Str(set, "differing") + " (page 2)"}},
                34, 8.5);
}

void PageSensor() {
    PageFrame(1);
    // signed by hand: who prepared the record, who checked it, when
    constexpr double line = 272;
    int squeeze = 0;
    PdfMeasureOnly(true);
    while (squeeze < 3 && SensorBody(squeeze) > line - 10) ++squeeze;
    PdfMeasureOnly(false);
    SensorBody(squeeze);
    const double w = (kRight - kLeft - 16) / 3;
    const char* fields[] = {"prepared by", "checked by", "date"};
    for (int k = 0; k < 3; ++k) {
        const double x = kLeft + k * (w + 8);
        PdfLine(x, line, x + w, line, 0.25);
        PdfText(x, line + 4, fields[k], 8);
    }
}

// ---- page 2: both memories side by side ----
void PageSettings() {
    PdfNewPage();
    PageFrame(2);
    const QJsonObject set = Obj(record, "settings");
    double y = Heading(kTop + 8, "Settings: RAM and EEPROM (" + Str(set, "variant") + " firmware)");
    const int differing = set.value("differing").toInt();
    if (differing == 0) {
        y = Paragraph(kLeft, y, "RAM and EEPROM hold the same settings: the sensor starts after power-off with what "
                                "runs now.", 9, kRight - kLeft) - 4.05;
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
    DrawAxes(va, "pixel position, px", "video signal, ADC counts");
    Curve(va, Values(v.value("pixel_px").toArray()), Values(v.value("video_adc").toArray()), 0.35, PdfPen::Solid);
    std::vector<Key> keys{{PdfPen::Solid, 0.35, "video signal"}};
    if (HorizontalLine(va, Num(v, "threshold_adc"), 0.35, PdfPen::Dash))
        keys.push_back({PdfPen::Dash, 0.35, "threshold " + Str(v, "threshold_adc") + " ADC counts"});
    const int edges = f.value("edge_count").toInt();
    bool edgeDrawn = edges >= 1 && VerticalLine(va, Num(f, "left_edge_px"), 0.35, PdfPen::DashDot);
    edgeDrawn = (edges >= 2 && VerticalLine(va, Num(f, "right_edge_px"), 0.35, PdfPen::DashDot)) || edgeDrawn;
    if (edgeDrawn) keys.push_back({PdfPen::DashDot, 0.35, "edges of the frame"});
    y = Legend(kLeft, y + 95 + 15, keys);
    y = Paragraph(kLeft, y + 0.5,
                  "The frame taken with it: " + Str(f, "edge_count") + " edge(s), left " + Str(f, "left_edge_px") +
                      " px, right " + Str(f, "right_edge_px") + " px; measured value " + Str(f, "value_px") + " px = " +
                      Str(f, "value_um") + " µm",
                  8, kRight - kLeft);
    y += 6;
    y = Heading(y, "Trigger buffer");
    const std::vector<double> tv = Values(t.value("values_px").toArray());
    std::vector<double> index;
    for (size_t i = 0; i < tv.size(); ++i) index.push_back(double(i));
    // a margin below 0 and above the axis' top: a trace on either is seen, not hidden in the frame
    const double top = std::max(1.0, Num(t, "axis_max_px")), margin = 0.05 * top;
    const Axes ta{kLeft + 16, y, kRight - kLeft - 18, 75, 0, 255, -margin, top + margin};
    DrawAxes(ta, "index", "value, px (pixel position)");
    Curve(ta, index, tv, 0.45, PdfPen::Solid);
    keys = {{PdfPen::Solid, 0.45, "trigger buffer"}};
    if (HorizontalLine(ta, Num(t, "trigger_threshold_px"), 0.35, PdfPen::Dash))
        keys.push_back({PdfPen::Dash, 0.35, "trigger threshold " + Str(t, "trigger_threshold_px") + " px"});
    if (HorizontalLine(ta, Num(t, "set_point_px"), 0.35, PdfPen::DashDot))
        keys.push_back({PdfPen::DashDot, 0.35, "set-point " + Str(t, "set_point_px") + " px"});
    const bool upper = HorizontalLine(ta, Num(t, "upper_px"), 0.3, PdfPen::Dot);
    if (HorizontalLine(ta, Num(t, "lower_px"), 0.3, PdfPen::Dot) || upper)
        keys.push_back({PdfPen::Dot, 0.3, "tolerance " + Str(t, "lower_px") + " to " + Str(t, "upper_px") + " px"});
    y = Legend(kLeft, y + 75 + 15, keys);
    if (!tv.empty()) {
        const auto [lo, hi] = std::minmax_element(tv.begin(), tv.end());
        Paragraph(kLeft, y + 0.5,
                  "The buffer's 256 values lie from " + Fixed(*lo, 0) + " to " + Fixed(*hi, 0) + " px" +
                      (*hi > top ? "; those above " + Fixed(top, 0) + " px are drawn at the top" : "") + ".",
                  8, kRight - kLeft);
    }
}

// The refusals of the run, one line for each reason with the requests it ended, as many lines as
// they need up to `most`; the y after them.
double Refusals(double y, const QJsonObject& m, int most) {
    const QJsonArray refused = m.value("refused").toArray();
    const std::string count = Str(m, "refused_count");
    if (refused.isEmpty()) {
        PdfText(kLeft + 2, y, "No frame refused on the line.", 8);
        return y + 4;
    }
    std::vector<std::pair<std::string, std::vector<int>>> reasons;  // in the order they came
    for (const QJsonValue& e : refused) {
        const std::string why = Str(e.toObject(), "reason");
        auto at = std::find_if(reasons.begin(), reasons.end(), [&](const auto& r) { return r.first == why; });
        if (at == reasons.end()) at = reasons.insert(reasons.end(), {why, {}});
        at->second.push_back(e.toObject().value("request").toInt());
    }
    std::vector<std::string> lines = Lines(count + " frame(s) refused on the line, none used; another request took the "
                                                   "place of each:", 8, true, kRight - kLeft - 2);
    const size_t numbers = reasons.size() <= 2 ? 24 : 8;  // of requests a reason, so that each has its line
    for (const auto& [why, requests] : reasons) {
        std::string which = requests.size() == 1 ? "request " : "requests ";
        for (size_t k = 0; k < requests.size() && k < numbers; ++k)
            which += (k ? ", " : "") + std::to_string(requests[k]);
        if (requests.size() > numbers) which += " and " + std::to_string(requests.size() - numbers) + " more";
        for (const std::string& l : Lines("- " + which + ": " + why, 8, false, kRight - kLeft - 6)) lines.push_back(l);
    }
    const int shown = int(std::min<size_t>(lines.size(), size_t(most)));
    for (int k = 0; k < shown; ++k) {
        const bool last = k == shown - 1 && shown < int(lines.size());
        PdfText(kLeft + 2 + (k > 0 ? 3 : 0), y, last ? "... and more: every refusal is in the JSON record" : lines[size_t(k)],
                8, k == 0);
        y += 3.6;
    }
    return y;
}

// ---- page 4: the run, its statistics and the study ----
// The run chart and, beside it on the same value axis, the histogram, `chart` mm high from `y`,
// with their legend and a word on a drift; the y where they end.
double RunCharts(double y, double chart) {
    const QJsonObject m = Obj(record, "measurement"), su = Obj(m, "statistics_um");
    const QJsonObject h = Obj(m, "histogram_um");
    const bool study = record.contains("study");
    const QJsonObject s = Obj(record, "study");
    const std::vector<double> um = Values(m.value("values_um").toArray());

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
    const Axes run{kLeft + 16, y, 112, chart, 0, std::max(2.0, double(um.size()) + 1), lo, hi};
    DrawAxes(run, "frame", "measured value, µm");
    Curve(run, frame, um, 0.15, PdfPen::Solid);
    for (size_t i = 0; i < um.size() && um.size() <= 400; ++i)  // each frame a small filled square, while they part
        PdfRect(run.X(frame[i]) - 0.45, run.Y(std::clamp(um[i], lo, hi)) - 0.45, 0.9, 0.9, 0, PdfFill::Black);
    std::vector<Key> keys;
    if (HorizontalLine(run, mean, 0.35, PdfPen::Solid)) keys.push_back({PdfPen::Solid, 0.35, "mean"});
    const QJsonArray win = m.value("tolerance_window_um").toArray();
    const bool lower = HorizontalLine(run, win.at(0).toDouble(), 0.3, PdfPen::DashDot);
    if (HorizontalLine(run, win.at(1).toDouble(), 0.3, PdfPen::DashDot) || lower)
        keys.push_back({PdfPen::DashDot, 0.3, "tolerance window " + Fixed(win.at(0).toDouble(), 1) + " to " +
                                                  Fixed(win.at(1).toDouble(), 1) + " µm"});
    if (study) {
        const double xm = Num(s, "reference_um"), band = 0.1 * Num(s, "tolerance_um");
        if (HorizontalLine(run, xm, 0.35, PdfPen::Dash))
            keys.push_back({PdfPen::Dash, 0.35, "reference xm " + Fixed(xm, 1) + " µm"});
        const bool below = HorizontalLine(run, xm - band, 0.3, PdfPen::Dot);
        if (HorizontalLine(run, xm + band, 0.3, PdfPen::Dot) || below)
            keys.push_back({PdfPen::Dot, 0.3, "xm ± 0.1 T (± " + Short(band) + " µm)"});
    }
    // the histogram, sideways on the same value axis: bars of hatched boxes, counted in whole frames
    const QJsonArray counts = h.value("counts").toArray();
    int most = 1;
    for (const QJsonValue& c : counts) most = std::max(most, c.toInt());
    const Axes hist{run.x + run.w + 4, y, kRight - (run.x + run.w + 4), chart, 0, double(most) * 1.1, lo, hi};
    DrawAxes(hist, "frames", "", false, true);
    const double from = Num(h, "from_um");
    for (int k = 0; k < counts.size(); ++k) {
        const double b0 = from + k * width, b1 = b0 + width;
        if (counts[k].toInt() == 0) continue;
        PdfRect(hist.X(0), hist.Y(b1), hist.X(counts[k].toInt()) - hist.X(0), hist.Y(b0) - hist.Y(b1), 0.2,
                PdfFill::Hatch);
    }
    HorizontalLine(hist, mean, 0.35, PdfPen::Solid);
    if (study) HorizontalLine(hist, Num(s, "reference_um"), 0.35, PdfPen::Dash);
    keys.push_back({PdfPen::Solid, 0.2, "frames a bin of " + Short(width) + " µm", true});
    y = Legend(kLeft, y + chart + 14, keys);
    const QJsonObject drift = Obj(m, "drift");
    if (drift.value("drifts").toBool())
        y = Paragraph(kLeft, y + 0.5,
                      "The run drifts: the mean of the last " + Str(drift, "fifth_frames") + " frames, " +
                          Fixed(Num(drift, "last_fifth_mean_um"), 2) + " µm, lies " +
                          Fixed(std::fabs(Num(drift, "last_fifth_mean_um") - Num(drift, "first_fifth_mean_um")), 2) +
                          " µm from that of the first " + Str(drift, "fifth_frames") + ", " +
                          Fixed(Num(drift, "first_fifth_mean_um"), 2) + " µm: more than their spread s = " +
                          Fixed(Num(drift, "spread_um"), 2) + " µm.",
                      8, kRight - kLeft, true);
    return y;
}

// The statistics in um and in pixel positions from `y`, the refusals in at most `refusalLines`
// lines below them; the y where they end.
double StatisticsTable(double y, int refusalLines) {
    const QJsonObject m = Obj(record, "measurement"), su = Obj(m, "statistics_um"), sp = Obj(m, "statistics_px");
    const QJsonArray win = m.value("tolerance_window_um").toArray();
    y = Heading(y, "Statistics");
    const double c1 = kLeft + 2, c2 = kLeft + 100, c3 = kLeft + 150, row = 4.3;
    PdfText(c2, y, "µm", 9, true, PdfAlign::Right);
    PdfText(c3, y, "pixel positions", 9, true, PdfAlign::Right);
    y += 4.6;
    const struct {
        const char* label;
        const char* key;
        int decimals;
    } stats[] = {{"mean", "mean", 2}, {"standard deviation s (n - 1)", "sd", 3}, {"minimum", "min", 1},
                 {"maximum", "max", 1}, {"range (maximum - minimum)", "range", 1}};
    for (const auto& r : stats) {
        PdfText(c1, y, r.label, 9);
        PdfText(c2, y, Fixed(Num(su, (std::string(r.key) + "_um").c_str()), r.decimals), 9, true, PdfAlign::Right);
        PdfText(c3, y, Fixed(Num(sp, (std::string(r.key) + "_px").c_str()), r.decimals), 9, true, PdfAlign::Right);
        y += row;
    }
    const QJsonArray winPx = m.value("tolerance_window_px").toArray();
    PdfText(c1, y, "tolerance window", 9);
    PdfText(c2, y, Fixed(win.at(0).toDouble(), 1) + " to " + Fixed(win.at(1).toDouble(), 1), 9, true, PdfAlign::Right);
    PdfText(c3, y, std::to_string(winPx.at(0).toInt()) + " to " + std::to_string(winPx.at(1).toInt()), 9, true,
            PdfAlign::Right);
    y += row;
    PdfText(c1, y, "set-point", 9);
    PdfText(c3, y, Str(m, "set_point_px"), 9, true, PdfAlign::Right);
    y += row;
    PdfText(c1, y, "inside the window", 9);
    PdfText(c2, y, Fixed(100 * Num(m, "inside_share"), 1) + " %", 9, true, PdfAlign::Right);
    y += row;
    PdfText(c1, y, "calibration factor", 9);
    PdfText(c2, y, Fixed(Num(m, "um_per_position"), 4) + " µm a position", 9, true, PdfAlign::Right);
    y += row;
    if (m.contains("value_step_um")) {
        PdfText(c1, y, "step the values move in", 9);
        PdfText(c2, y, Num(m, "value_step_um") > 0 ? Short(Num(m, "value_step_um")) + " µm" : "none: every value the same",
                9, true, PdfAlign::Right);
        y += row;
    }
    y += 0.5;
    y = Refusals(y, m, refusalLines);
    if (const int edgeless = m.value("frames_without_edge").toInt(); edgeless > 0)
        y = Paragraph(c1, y + 0.4, std::to_string(edgeless) + " frame(s) found no edge: the sensor's value 0 is in the statistics",
                      8, kRight - c1, true);
    return y;
}

// The gauge study from `y`, or the line that there is none; the y where it ends.
double StudyPart(double y) {
    if (!record.contains("study")) {
        PdfText(kLeft, y, "No gauge study: --reference and --tolerance were not given.", 9);
        return y;
    }
    const QJsonObject s = Obj(record, "study");
    y = Heading(y, "Type-1 gauge study");
    const bool defined = !s.value("cg").isNull();
    const std::string part = Str(s, "part") == "-" ? "not named (--part)" : Str(s, "part");
    const std::string u = s.value("reference_uncertainty_um").isNull()
                              ? ""
                              : ", its uncertainty " + Short(Num(s, "reference_uncertainty_um")) + " µm";
    y = Rows(y, {{"reference part", part},
                 {"reference xm, tolerance T", Fixed(Num(s, "reference_um"), 2) + " µm" + u + "; T " +
                                                   Fixed(Num(s, "tolerance_um"), 2) + " µm"},
                 {"bias = mean - xm", Fixed(Num(s, "bias_um"), 3) + " µm  (n " + Str(s, "frames") + ", s " +
                                          Fixed(Num(s, "sd_um"), 3) + " µm)"},
                 {"Cg = 0.2 T / (6 s)", defined ? Fixed(Num(s, "cg"), 2) : "not defined"},
                 {"Cgk = (0.1 T - |mean - xm|) / (3 s)", defined ? Fixed(Num(s, "cgk"), 2) : "not defined"},
                 {"resolution used", ResolutionText(s)},
                 {"%RE = resolution / T", Fixed(Num(s, "resolution_share_percent"), 2) + " % against at most 5 % (" +
                                              Fixed(Num(s, "resolution_limit_um"), 3) + " µm): " +
                                              (s.value("resolution_fine").toBool() ? "fine enough" : "too coarse")}},
             62, 9);
    std::string head;
    std::vector<std::string> lines;
    VerdictOf(s, head, lines);
    lines.push_back("capable only when Cg and Cgk are both at least 1.33 and %RE is at most 5 %");
    return VerdictBox(y + 1.5, head, lines);
}

// The page below its frame, the charts `chart` mm high, the refusals in at most `refusalLines`
// lines; the y where it ends.
double MeasurementBody(double chart, int refusalLines) {
    const QJsonObject m = Obj(record, "measurement");
    double y = Heading(kTop + 8, "Measurement: " + Str(m, "frames") + " frames at the line's pace");
    y = RunCharts(y, chart) + 3;
    y = StatisticsTable(y, refusalLines) + 4;
    return StudyPart(y);
}

void PageMeasurement() {
    PdfNewPage();
    PageFrame(4);
    // the charts give up height to what the texts below them need, down to a height still read;
    // then the list of refusals gives up lines (every refusal is in the JSON record)
    constexpr double kTallest = 78, kLowest = 45, kRefusalLine = 3.6;
    constexpr int kRefusalLines = 9;
    PdfMeasureOnly(true);
    const double over = MeasurementBody(kTallest, kRefusalLines) - (kFooter - 3);
    PdfMeasureOnly(false);
    const double chart = std::clamp(kTallest - over, kLowest, kTallest);
    const int fewer = int(std::ceil((over - (kTallest - chart)) / kRefusalLine));
    MeasurementBody(chart, std::max(2, kRefusalLines - std::max(0, fewer)));
}

// A record that kryta-lt wrote before its study named every failing rule: its verdict worked
// again by the study's rules from the numbers it holds (its resolution the calibration factor's).
void FromEarlierRecords() {
    if (!record.contains("study") || Obj(record, "study").contains("failing")) return;
    const QJsonObject m = Obj(record, "measurement"), su = Obj(m, "statistics_um");
    QJsonObject s = Obj(record, "study");
    Statistics stats;
    stats.n = su.value("frames").toInt();
    stats.mean = Num(su, "mean_um");
    stats.sd = Num(su, "sd_um");
    const GaugeStudy g = StudyOf(stats, Num(s, "reference_um"), Num(s, "tolerance_um"), Num(s, "resolution_um"), 0);
    QJsonArray failing;
    for (const std::string& rule : g.failing) failing.append(QString::fromStdString(rule));
    s["failing"] = failing;
    s["verdict"] = QString::fromStdString(g.verdict);
    s["status"] = g.status == GaugeStudy::Capable ? "capable" : g.status == GaugeStudy::NotCapable ? "not capable"
                                                                                                  : "cannot be assessed";
    s["capable"] = g.status == GaugeStudy::Capable;
    s["calibration_factor_um"] = g.resolution;
    s["resolution_from"] = "calibration factor";
    s["resolution_share_percent"] = g.resolutionShare;
    s["frames"] = stats.n;
    s["sd_um"] = stats.sd;
    record["study"] = s;
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
                     "gauge study. kryta-lt report runs it to write its PDF; it needs no display. A record\n"
                     "written before the study named every failing rule gets its verdict worked again\n"
                     "by the study's rules.\n"
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
    FromEarlierRecords();
    const QJsonObject id = Obj(record, "identity");
    const QJsonObject r = Obj(record, "record");
    auto given = [&](const char* key) { return Str(r, key) == "-" ? std::string() : Str(r, key); };
    PdfBegin("Commissioning record " + Str(id, "designation") + " " + Str(r, "date_local"), given("operator"),
             given("station"), Str(r, "program"));
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
