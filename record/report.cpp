// report: the commissioning record of a sensor. One run reads who the sensor is, both memories
// (confirmed), the video signal and the trigger buffer, N measurement frames at the line's pace,
// and sets the frames' statistics (and, with a reference part, the type-1 gauge study) beside
// them. The record is one JSON object; kryta-lt-report draws it as a PDF, which is written here
// through the output rules of every kryta-lt file.
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "common/connect.h"
#include "common/json.h"
#include "common/output.h"
#include "common/stream.h"
#include "common/text.h"
#include "record/record.h"
#include "record/window.h"
#include "link/com232.h"
#include "platform/rs232.h"
#include "platform/utility.h"
#include "sensor/files.h"
#include "sensor/codec.h"
#include "sensor/hardware.h"
#include "sensor/rules.h"
#include "sensor/study.h"
#include "sensor/vars.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A value as a JSON number when it is one ("1.0", "-12"), else as text.
QJsonValue Number(const std::string& s) {
    char* end = nullptr;
    const double d = std::strtod(s.c_str(), &end);
    return !s.empty() && *end == 0 ? QJsonValue(d) : QJsonValue(Q(s));
}

std::string Stamp(bool utc) {
    const std::time_t t = std::time(nullptr);
    std::tm at{};
    if (utc) gmtime_r(&t, &at);
    else localtime_r(&t, &at);
    char buf[40];
    std::strftime(buf, sizeof buf, utc ? "%Y-%m-%dT%H:%M:%SZ" : "%Y-%m-%dT%H:%M:%S%z", &at);
    return buf;
}

std::string Host() {
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 ? name : "localhost";
}

// The longest station, operator or reference part a record takes, in characters.
constexpr size_t kRecordTextCharacters = 100;

// What the run has read so far, for the message of a run that ends early.
struct Progress {
    std::vector<std::string> done;
    std::string Text() const {
        if (done.empty()) return "nothing read";
        std::string t = "read so far: ";
        for (size_t k = 0; k < done.size(); ++k) t += (k ? ", " : "") + done[k];
        return t;
    }
};

// One line: what ended the run, what it had read, and that nothing (or no PDF) was written.
int Ended(int code, const std::string& why, const Progress& p, const char* written = "no record written") {
    return Fail(code, why + " - " + p.Text() + "; " + written);
}

// One measurement frame as the run keeps it.
struct Frame {
    double px, um;
    bool outside;  // outside the tolerance window, as the window colours its displays
    bool edgeless; // no edge found: the value is the sensor's 0
};

QJsonObject StatisticsJson(const Statistics& s, const char* unit) {
    const std::string u = unit;
    return QJsonObject{{"frames", s.n},           {Q("mean_" + u), s.mean}, {Q("sd_" + u), s.sd},
                       {Q("min_" + u), s.min},    {Q("max_" + u), s.max},   {Q("range_" + u), s.range}};
}

// The video threshold of the active block, in ADC counts, from its V-THD word.
int VideoThreshold() {
    const Variant v = ParamVariant();
    for (int word = BlockStart(v); word < BlockStart(v) + 15; ++word)
        if (const WordName n = NameOfWord(v, word); n.name && std::string(n.name) == "V-THD")
            return ThresholdLine(ADCMAX, parameter[size_t(word)]);
    return thdArray[0];
}

// Both memories side by side, by the names the pages give the words, with the SHA-256 of each
// memory's parameter file (the 30 words as get -o writes them: sha256sum of a later backup matches).
QJsonObject SettingsJson(const std::array<uint16_t, 30>& ram, const std::array<uint16_t, 30>& eeprom) {
    const Variant v = ParamVariant();
    const auto shownRam = ShowSet(v, ram), shownEeprom = ShowSet(v, eeprom);
    QJsonArray rows;
    int differing = 0;
    for (size_t k = 0; k < shownRam.size(); ++k) {
        const ShownParameter& p = shownRam[k];
        const size_t i = size_t(p.index);
        const bool differs = ram[i] != eeprom[i] || (p.wide && ram[i + 1] != eeprom[i + 1]);
        differing += differs;
        rows.append(QJsonObject{{"name", Q(p.name)},         {"word", p.word},
                                {"unit", Q(p.unit)},         {"ram", Number(p.value)},
                                {"eeprom", Number(shownEeprom[k].value)}, {"differs", differs},
                                {"ram_text", Q(p.value)},    {"eeprom_text", Q(shownEeprom[k].value)}});
    }
    auto sha = [](const std::array<uint16_t, 30>& words) {
        const std::string file = FormatParaFile(words);
        return Q(QCryptographicHash::hash(QByteArray::fromStdString(file), QCryptographicHash::Sha256).toHex().toStdString());
    };
    return QJsonObject{{"variant", VariantName(v)}, {"ram_sha256", sha(ram)},  {"eeprom_sha256", sha(eeprom)},
                       {"differing", differing},    {"parameters", rows}};
}

QJsonArray Series(const std::array<uint16_t, 256>& a) {
    QJsonArray out;
    for (uint16_t w : a) out.append(int(w));
    return out;
}

// The window's measurement request, then the four blocks of the source. Answered, or the outcome
// that ended it; `what` names the request that failed.
Outcome BlocksOf(uint16_t source, std::array<uint16_t, 256>& out, std::string& what) {
    ArmStop();
    what = "the measurement request before the " + std::string(source ? "trigger buffer" : "video signal");
    if (PushGETRAW() != 1) return Interrupted() ? Outcome::Stopped : LastOutcome();
    CopyPPtoRAWVars();
    static uint16_t failedOffset;
    failedOffset = 0;
    const Outcome o = ReadBlocks(source, [](uint16_t offset, const Outcome* done) {
        if (done && *done != Outcome::Answered) failedOffset = offset;
    });
    what = std::string("the request for ") + (source ? "trigger-buffer" : "video") + " block " +
           std::to_string(failedOffset / 64);
    if (o == Outcome::Answered) out = adcbuf;
    return o;
}

// The PDF of the record, drawn by kryta-lt-report beside this program. "" on success, else why not.
std::string DrawPdf(const QJsonObject& record, std::string& pdf) {
    const QString program = QCoreApplication::applicationDirPath() + "/kryta-lt-report";
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(program, QStringList{"-"});
    if (!p.waitForStarted(10000)) return "cannot start " + program.toStdString() + ": " + p.errorString().toStdString();
    p.write(QJsonDocument(record).toJson(QJsonDocument::Compact));
    p.closeWriteChannel();
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(1000);
        return program.toStdString() + " did not finish within 60 s";
    }
    const std::string err = p.readAllStandardError().trimmed().toStdString();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return program.toStdString() + " failed" + (err.empty() ? "" : ": " + err);
    pdf = p.readAllStandardOutput().toStdString();
    return pdf.rfind("%PDF-", 0) == 0 ? "" : program.toStdString() + " gave no PDF";
}

// The arguments of a report: kExitOk with the frames to take and whether a gauge study is asked
// for, or the wrong one's code (printed).
int CheckArguments(const Args& a, long& samples, bool& study) {
    if (!a.positional.empty()) return Fail(kExitUsage, "report: no arguments beside its options");
    if (a.output.empty() && !a.json)
        return Fail(kExitUsage, "report: say -o FILE.pdf, or --json for the record on standard output");
    if (a.output == "-" && a.json)
        return Fail(kExitUsage, "report: -o - and --json would both go to standard output");
    samples = a.samples < 0 ? 50 : a.samples;
    if (samples < 10 || samples > 32767)
        return Fail(kExitUsage, "report: --samples is 10 to 32767 measurement frames");
    study = !std::isnan(a.reference) || !std::isnan(a.tolerance);
    if (study && (std::isnan(a.reference) || std::isnan(a.tolerance)))
        return Fail(kExitUsage, "report: the gauge study needs both --reference UM and --tolerance UM");
    if (study && !(a.tolerance > 0))
        return Fail(kExitUsage, "report: --tolerance is the tolerance T of the characteristic, above 0 um");
    // texts of the record: each has its place on the pages, whole
    for (const auto& [option, text] : {std::pair<const char*, const std::string&>{"--station", a.station},
                                       {"--operator", a.operatorName},
                                       {"--part", a.part}}) {
        size_t characters = 0;
        bool control = false;
        for (const unsigned char c : text) {
            characters += (c & 0xC0) != 0x80;  // UTF-8: a character's first byte
            control = control || c < 0x20 || c == 0x7F;
        }
        if (characters > kRecordTextCharacters || control)
            return Fail(kExitUsage, std::string("report: ") + option + " is at most " +
                                        std::to_string(kRecordTextCharacters) + " characters, none a control character");
    }
    if (!study && (!a.part.empty() || !std::isnan(a.uncertainty)))
        return Fail(kExitUsage, "report: --part and --uncertainty name the reference part of the gauge study: "
                                "give --reference UM and --tolerance UM too");
    if (study && samples < kStudyMinFrames)
        return Fail(kExitUsage, "report: the gauge study needs at least " + std::to_string(kStudyMinFrames) +
                                    " frames (--samples), too few for its statistics");
    return kExitOk;
}

// One run of report: what it has read so far and what the later steps take from the earlier ones.
struct ReportRun {
    explicit ReportRun(const Args& args) : a(args) {}
    const Args& a;
    long samples = 50;
    bool study = false;
    QJsonObject record;
    Progress progress;
    double umPerPosition = 0;  // of the display variant's calibration factor
    double learnedOffset = 0;  // the sensor's offset, as its frame with the video signal showed it
    int setPoint = 0, lower = 0, upper = 0;  // the tolerance window, pixel positions
    std::vector<Frame> frames;
    QJsonArray refused;
    long request = 0;          // measurement requests so far
};

// Who the sensor is and both memories, confirmed.
int ReadSensor(ReportRun& r) {
    if (const int code = Connect(r.a, Reach::Identified, true); code != kExitOk) return code;
    r.progress.done.push_back("identity");
    const int n = GetVERSIONInfo();
    if (!IsComOpen(com)) {
        std::string text;
        return Ended(ExchangeFailedText("the firmware request", text), text, r.progress);
    }
    const std::string firmware = n == FIRMWARE_TEXT_BYTES ? FirmwareTextRead() : "";
    QJsonObject identity = IdentityJson(PortDevice(r.a), firmware);
    identity["working_range_positions_px"] = QJsonArray{int(pixB), int(pixE)};
    r.record["identity"] = identity;

    std::array<uint16_t, 30> ram{}, eeprom{};
    Delay(0.1);
    std::string failure;
    if (const int code = ReadConfirmedSetText(RAM, ram, failure); code != kExitOk) return Ended(code, failure, r.progress);
    r.progress.done.push_back("RAM");
    Delay(0.1);
    if (const int code = ReadConfirmedSetText(EEPROM, eeprom, failure); code != kExitOk)
        return Ended(code, failure, r.progress);
    r.progress.done.push_back("EEPROM");
    r.record["settings"] = SettingsJson(ram, eeprom);
    LoadSet(ram);  // the requests carry the active block of RAM, as the window's do
    r.umPerPosition = double(ScaleFactor()) / ScaleUnit(DisplayVariant());
    return kExitOk;
}

// The end of a run whose block request `what` ended with `o`.
int BlocksFailed(Outcome o, const std::string& what, const Progress& progress) {
    if (o == Outcome::Stopped) return Ended(kExitInterrupted, "interrupted", progress);
    std::string text;
    return Ended(ExchangeFailedText(what, text), text, progress);
}

// The video signal with the edges of the frame taken with it, then the trigger buffer.
int ReadSignals(ReportRun& r) {
    std::array<uint16_t, 256> video{}, trigger{};
    std::string what;
    Delay(0.1);
    if (const Outcome o = BlocksOf(0, video, what); o != Outcome::Answered) return BlocksFailed(o, what, r.progress);
    QJsonObject videoFrame = MeasurementJson();
    r.learnedOffset = Mvalue > 0 ? double(int32_t(umValue)) - double(Mvalue) * r.umPerPosition : 0;
    QJsonArray pixels;
    for (double x : xArray) pixels.append(x);
    r.record["video"] = QJsonObject{{"pixel_px", pixels}, {"video_adc", Series(video)},
                                    {"threshold_adc", VideoThreshold()}, {"adc_full_scale", ADCMAX},
                                    {"line_px", int(ccdvirtpixel)}, {"frame", videoFrame}};
    r.progress.done.push_back("video signal");
    if (const Outcome o = BlocksOf(1, trigger, what); o != Outcome::Answered) return BlocksFailed(o, what, r.progress);
    ToleranceWindowNow(r.setPoint, r.lower, r.upper);
    r.record["trigger_buffer"] = QJsonObject{{"values_px", Series(trigger)}, {"trigger_threshold_px", int(parameter[48])},
                                             {"set_point_px", r.setPoint},   {"upper_px", r.upper},
                                             {"lower_px", r.lower},          {"axis_max_px", YAXISMAX}};
    r.progress.done.push_back("trigger buffer");
    return kExitOk;
}

// The reference part must lie where the line can measure it: the usable positions, in um as this
// sensor reports them (its factor, and the offset its first frame showed).
int CheckReference(const ReportRun& r) {
    const double rangeLow = pixB * r.umPerPosition + r.learnedOffset, rangeHigh = pixE * r.umPerPosition + r.learnedOffset;
    if (!r.study || (r.a.reference >= rangeLow && r.a.reference <= rangeHigh)) return kExitOk;
    return Fail(kExitUsage, "report: the reference " + FormatReal(r.a.reference) +
                                " um lies outside the working range of the measured value, " + FormatReal(rangeLow) +
                                " to " + FormatReal(rangeHigh) + " um (positions " + std::to_string(pixB) + " to " +
                                std::to_string(pixE) + " at " + FormatReal(r.umPerPosition) +
                                " um a position) - nothing measured");
}

// The end of a run that a measurement request ended: its code and text, and the frames it had.
int FramesEnded(ReportRun& r, int code, const std::string& text) {
    r.progress.done.push_back(std::to_string(r.frames.size()) + " of " + std::to_string(r.samples) + " frames");
    return Ended(code, text, r.progress);
}

// N frames at the line's pace; a frame is used once nothing followed it on the line.
int TakeFrames(ReportRun& r) {
    bool held = false;
    Frame pending{};
    const long maxRequests = r.samples + std::max(10L, r.samples / 10);
    ArmStop();
    auto refuse = [&](long at, const std::string& why) {
        r.refused.append(QJsonObject{{"request", int(at)}, {"reason", Q(why)}});
    };
    // the frame just decoded, and whether the window would colour it out of tolerance
    auto taken = [&] {
        ToleranceWindowNow(r.setPoint, r.lower, r.upper);
        return Frame{double(Mvalue), double(int32_t(umValue)), int(Mvalue) > r.upper || int(Mvalue) < r.lower, edcnt == 0};
    };
    auto release = [&](bool disturbed, long at) {
        if (held && !disturbed) r.frames.push_back(pending);
        if (held && disturbed) refuse(at, "bytes after the answer: the line is disturbed");
        held = false;
    };
    while (long(r.frames.size()) + held < r.samples) {
        if (r.request == maxRequests)
            return Ended(kExitRefused,
                         PortDevice(r.a) + ": " + std::to_string(r.refused.size()) + " of " + std::to_string(r.request) +
                             " measurement frames refused - is the line disturbed?",
                         r.progress);
        ++r.request;
        const Outcome o = TakeMeasurement(true);
        release(PreviousAnswerDisturbed(), r.request - 1);
        if (o == Outcome::Stopped) return FramesEnded(r, kExitInterrupted, "interrupted");
        if (o == Outcome::Refused || o == Outcome::Disturbed) {
            std::string text;  // the request's number is the entry's own
            ExchangeFailedText("the measurement request", text);
            refuse(r.request, text.substr(text.find(": ") + 2));
            continue;
        }
        if (o != Outcome::Answered) {
            std::string text;
            const int code = ExchangeFailedText("measurement request " + std::to_string(r.request), text);
            return FramesEnded(r, code, text);
        }
        pending = taken();
        held = true;
    }
    release(ConfirmLastAnswer() != Outcome::Answered, r.request);
    if (long(r.frames.size()) < r.samples) {  // the last one had bytes after it: one more
        ++r.request;
        const Outcome o = TakeMeasurement(false);
        if (o != Outcome::Answered) {
            std::string text;
            const int code = ExchangeFailedText("measurement request " + std::to_string(r.request), text);
            return FramesEnded(r, code == kExitOk ? kExitRefused : code, text);
        }
        r.frames.push_back(taken());
    }
    return kExitOk;
}

// The frames' part of the record, their statistics in um and the step their values move in.
QJsonObject MeasurementRecord(const ReportRun& r, Statistics& sUm, double& valueStep) {
    std::vector<double> px, um;
    int inside = 0, edgeless = 0;
    QJsonArray valuesPx, valuesUm;
    for (const Frame& f : r.frames) {
        px.push_back(f.px);
        um.push_back(f.um);
        inside += !f.outside;
        edgeless += f.edgeless;
        valuesPx.append(f.px);
        valuesUm.append(f.um);
    }
    const Statistics sPx = StatisticsOf(px);
    sUm = StatisticsOf(um);
    // the values come in the steps the sensor resolves (each step in the middle of its bin), or
    // in coarser ones of their own
    valueStep = StepOf(um);
    const Histogram h = HistogramOf(um, valueStep > 0 ? valueStep : r.umPerPosition, 20);
    QJsonArray counts;
    for (int c : h.counts) counts.append(c);
    const Drift drift = DriftOf(um);
    const double offset = r.learnedOffset, perPosition = r.umPerPosition;
    return QJsonObject{
        {"frames", int(r.frames.size())},
        {"requests", int(r.request)},
        {"values_px", valuesPx},
        {"values_um", valuesUm},
        {"refused_count", int(r.refused.size())},
        {"frames_without_edge", edgeless},
        {"refused", r.refused},
        {"statistics_px", StatisticsJson(sPx, "px")},
        {"statistics_um", StatisticsJson(sUm, "um")},
        {"um_per_position", perPosition},
        {"value_step_um", valueStep},
        {"set_point_px", r.setPoint},
        {"tolerance_window_px", QJsonArray{r.lower, r.upper}},
        {"tolerance_window_um", QJsonArray{r.lower * perPosition + offset, r.upper * perPosition + offset}},
        {"inside_share", r.frames.empty() ? 0.0 : double(inside) / double(r.frames.size())},
        {"histogram_um", QJsonObject{{"from_um", h.from}, {"width_um", h.width}, {"counts", counts}}},
        {"drift", QJsonObject{{"fifth_frames", drift.frames},
                              {"first_fifth_mean_um", drift.first},
                              {"last_fifth_mean_um", drift.last},
                              {"spread_um", drift.spread},
                              {"drifts", drift.drifts}}},
    };
}

// The type-1 gauge study of the frames against the reference part.
QJsonObject StudyRecord(const Args& a, const Statistics& sUm, double umPerPosition, double valueStep) {
    const GaugeStudy g = StudyOf(sUm, a.reference, a.tolerance, umPerPosition, valueStep);
    QJsonArray failing;
    for (const std::string& rule : g.failing) failing.append(Q(rule));
    const char* status = g.status == GaugeStudy::Capable      ? "capable"
                         : g.status == GaugeStudy::NotCapable ? "not capable"
                                                              : "cannot be assessed";
    return QJsonObject{
        {"part", a.part.empty() ? QJsonValue() : Q(a.part)},
        {"reference_um", a.reference},
        {"reference_uncertainty_um", std::isnan(a.uncertainty) ? QJsonValue() : QJsonValue(a.uncertainty)},
        {"tolerance_um", a.tolerance},
        {"frames", sUm.n},
        {"mean_um", sUm.mean},
        {"sd_um", sUm.sd},
        {"bias_um", g.bias},
        {"cg", g.indicesDefined ? QJsonValue(g.cg) : QJsonValue()},
        {"cgk", g.indicesDefined ? QJsonValue(g.cgk) : QJsonValue()},
        {"resolution_um", g.resolution},
        {"resolution_from", g.resolutionFromValues ? "value step" : "calibration factor"},
        {"calibration_factor_um", umPerPosition},
        {"value_step_um", valueStep},
        {"resolution_share_percent", g.resolutionShare},
        {"resolution_limit_um", g.resolutionLimit},
        {"resolution_fine", g.resolutionFine},
        {"status", status},
        {"capable", g.status == GaugeStudy::Capable},
        {"failing", failing},
        {"verdict", Q(g.verdict)},
    };
}

// The record on standard output (--json) and as the PDF of -o.
int WriteRecord(ReportRun& r, OutputFile& out) {
    if (r.a.json) std::printf("%s", JsonLine(r.record).c_str());
    if (r.a.output.empty()) return kExitOk;
    r.progress.done.push_back(std::to_string(r.frames.size()) + " of " + std::to_string(r.samples) + " frames");
    std::string pdf;
    if (const std::string why = DrawPdf(r.record, pdf); !why.empty())
        return Ended(kExitCannotWrite, "cannot draw " + r.a.output + ": " + why, r.progress, "no PDF written");
    std::string reason;
    if (!out.Write(pdf, reason))
        return Ended(kExitCannotWrite, "cannot write " + r.a.output + ": " + reason, r.progress, "no PDF written");
    return kExitOk;
}

}  // namespace

int CmdReport(const Args& a) {
    ReportRun r(a);
    if (const int code = CheckArguments(a, r.samples, r.study); code != kExitOk) return code;
    OutputFile out;  // a file that may not be replaced is refused before the sensor is asked
    if (!a.output.empty())
        if (const int code = out.Open(a.output, a.force); code != kExitOk) return code;

    r.record["record"] = QJsonObject{{"date_local", Q(Stamp(false))}, {"date_utc", Q(Stamp(true))},
                                     {"host", Q(Host())},
                                     {"program", Q("kryta-lt " + szSoftVersion.substr(szSoftVersion.find(' ') + 1))},
                                     {"station", a.station.empty() ? QJsonValue() : Q(a.station)},
                                     {"operator", a.operatorName.empty() ? QJsonValue() : Q(a.operatorName)},
                                     {"samples", int(r.samples)}};
    if (const int code = ReadSensor(r); code != kExitOk) return code;
    if (const int code = ReadSignals(r); code != kExitOk) return code;
    if (const int code = CheckReference(r); code != kExitOk) return code;
    if (const int code = TakeFrames(r); code != kExitOk) return code;
    Statistics sUm;
    double valueStep = 0;
    r.record["measurement"] = MeasurementRecord(r, sUm, valueStep);
    if (r.study) r.record["study"] = StudyRecord(a, sUm, r.umPerPosition, valueStep);
    return WriteRecord(r, out);
}
