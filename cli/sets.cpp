// The parameter set: get (back up, with its companion), send (restore, with the range rules and a
// read-back) and compare.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "cli/cli.h"
#include "common/connect.h"
#include "common/json.h"
#include "common/output.h"
#include "common/text.h"
#include "link/com232.h"
#include "platform/utility.h"
#include "sensor/files.h"
#include "sensor/hardware.h"
#include "sensor/rules.h"
#include "sensor/vars.h"

namespace {

const char* MemoryName(int memTarget) { return memTarget == EEPROM ? "EEPROM" : "RAM"; }

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A shown value as a JSON number ("1.0", "-123456", "300").
QJsonValue Number(const std::string& s) {
    char* end = nullptr;
    const double d = std::strtod(s.c_str(), &end);
    return !s.empty() && *end == 0 ? QJsonValue(d) : QJsonValue(Q(s));
}

// A parameter file for send and compare: 30 numbers, each one 0 to 65535.
int ReadFile(const std::string& path, std::array<uint16_t, 30>& words) {
    const NumberFile f = ReadParaFile(path, words);
    if (f.status != NumberFile::Ok) return Fail(kExitBadFile, path + ": " + AsMessage(ParaFileProblem(f)));
    if (f.wideLine != 0)
        return Fail(kExitBadFile, path + ": line " + std::to_string(f.wideLine) + " holds " + f.wideText +
                                      ", above 65535 - nothing taken from the file");
    return kExitOk;
}

// What a backup's companion says of the sensor it came from.
struct Companion {
    bool present = false;
    QJsonObject json;
};

std::string CompanionPath(const std::string& cfg) { return LinkEnd(cfg) + ".json"; }

int ReadCompanion(const std::string& cfg, Companion& c) {
    const std::string path = CompanionPath(cfg);
    std::string bytes;
    if (!ReadWhole(path, bytes)) return kExitOk;  // a file without a companion
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(bytes), &error);
    if (!doc.isObject())
        return Fail(kExitBadFile, path + ": not a companion file (" + error.errorString().toStdString() + ")");
    c.present = true;
    c.json = doc.object();
    return kExitOk;
}

// "KRYTA-M03 (V303 firmware 303, CCD family 1, hardware code 55), RAM, DATE, /dev/ttyUSB0"
std::string Describe(const QJsonObject& o) {
    auto text = [&](const char* key) {
        const QJsonValue v = o.value(key);
        return v.isDouble() ? std::to_string(v.toInteger()) : v.toString("?").toStdString();
    };
    return text("designation") + " (" + text("firmware_variant") + " firmware " + text("firmware_number") +
           ", CCD family " + text("ccd_family") + ", hardware code " + text("hardware_code") + "), " +
           text("memory") + ", " + text("date") + ", " + text("port");
}

std::string NowIso() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char buf[40];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S%z", &local);
    return buf;
}

std::string Designation() {
    const auto lines = SensorLines(LastIdentity());
    return lines[0].empty() ? "hardware code " + std::to_string(hwtype) : TrimRight(lines[0]);
}

}  // namespace

int MemoryOf(const std::string& name) {
    if (name == "ram") return RAM;
    if (name == "eeprom") return EEPROM;
    return 0;
}

int WriteBackup(const std::string& path, bool force, int memTarget, const std::array<uint16_t, 30>& words,
                const std::string& port) {
    OutputFile out;
    if (const int code = out.Open(path, force); code != kExitOk) return code;
    std::string reason;
    if (!out.Write(FormatParaFile(words), reason))
        return Fail(kExitCannotWrite, "cannot write " + path + ": " + reason + " - the " +
                                          (memTarget == EEPROM ? "EEPROM" : "RAM") + " set was read; no file written");
    if (!out.IsRegular()) return kExitOk;  // standard output, a device: no place beside it
    QJsonObject companion = IdentityJson(port, "");
    companion.remove("firmware_text");
    companion["memory"] = memTarget == EEPROM ? "eeprom" : "ram";
    companion["date"] = Q(NowIso());
    companion["parameter_file"] = Q(out.Target().substr(out.Target().rfind('/') + 1));
    const std::string companionPath = out.Target() + ".json";
    if (!WriteFileReplacing(companionPath, QJsonDocument(companion).toJson().toStdString(), reason))
        return Fail(kExitCannotWrite, "cannot write " + companionPath + ": " + reason + " - " + path +
                                          " is written without its companion");
    return kExitOk;
}

int CmdGet(const Args& a) {
    if (a.positional.size() != 1 || !MemoryOf(a.positional[0]))
        return Fail(kExitUsage, "get: say ram or eeprom (see kryta-lt help get)");
    const int memTarget = MemoryOf(a.positional[0]);
    if (!a.output.empty()) {
        OutputFile check;  // a path that cannot be written is refused before the sensor is asked
        if (const int code = check.Open(a.output, a.force); code != kExitOk) return code;
    }
    if (const int code = Connect(a, Reach::Identified, false); code != kExitOk) return code;
    std::array<uint16_t, 30> words{};
    if (const int code = ReadConfirmedSet(memTarget, words); code != kExitOk) return code;
    if (!a.output.empty()) return WriteBackup(a.output, a.force, memTarget, words, PortDevice(a));
    if (a.json) std::printf("%s", JsonLine(ParametersJson(memTarget, words)).c_str());
    else std::printf("%s", SetTable(ShowSet(ParamVariant(), words)).c_str());
    return kExitOk;
}

namespace {

// What send did, for --json and for the last line of text.
struct SendReport {
    QJsonObject json;
    int Done(const Args& a, int code, const std::string& holds) {
        json["exit_code"] = code;
        json["sensor_holds"] = Q(holds);
        if (a.json) std::printf("%s", JsonLine(json).c_str());
        return code;
    }
};

// send --dry-run: what the sensor's memory holds now, against what would go into it.
int DryRun(const Args& a, int memTarget, const std::array<uint16_t, 30>& sent, SendReport& report) {
    const Variant v = ParamVariant();
    const std::string memory = MemoryName(memTarget);
    std::array<uint16_t, 30> holds{};
    if (const int code = ReadConfirmedSet(memTarget, holds); code != kExitOk)
        return report.Done(a, code, "its own set: nothing written (dry run)");
    const auto changes = Differences(v, holds, sent);
    QJsonArray changed;
    std::string text;
    for (const Difference& d : changes) {
        changed.append(QJsonObject{{"name", Q(d.name)}, {"holds", Number(d.a)}, {"would_send", Number(d.b)}});
        char line[128];
        std::snprintf(line, sizeof line, "%-16s %s -> %s\n", d.name.c_str(), d.a.c_str(), d.b.c_str());
        text += line;
    }
    report.json["changes"] = changed;
    report.json["parameters"] = ParametersJson(memTarget, sent).value("parameters");
    if (!a.json) {
        const std::string of = memory + " of " + Designation() + " (" + VariantName(v) + " firmware)";
        if (changes.empty()) std::printf("would change nothing: %s holds this set\n", of.c_str());
        else std::printf("would change in %s:\n%s", of.c_str(), text.c_str());
        std::printf("\nwould send into %s:\n%s", of.c_str(), SetTable(ShowSet(v, sent)).c_str());
    }
    return report.Done(a, kExitOk, "its own set: nothing written (dry run)");
}

// The set `sent` (in the parameter words) written into the sensor's memory as the window's SEND
// writes it, then read back and compared.
int WriteAndVerify(const Args& a, int memTarget, const std::array<uint16_t, 30>& sent, SendReport& report) {
    const Variant v = ParamVariant();
    const std::string memory = MemoryName(memTarget);
    const std::string& path = a.positional[1];
    // the window's SEND: frame 0, a pause, frame 1; the sensor's answer is not awaited. From here
    // on a Ctrl-C waits until the set is written and read back: a set is not left half done.
    const std::string held = "Ctrl-C was held until the set was written and read back";
    auto heldNote = [&] {
        if (Interrupted()) std::fprintf(stderr, "kryta-lt: %s\n", held.c_str());
    };
    for (uint16_t frame : {0, 1}) {
        if (WriteParameterFrame(memTarget, frame) != Outcome::Answered) {
            std::string text;
            const int code = ExchangeFailedText("the writing of " + memory + " frame " + std::to_string(frame), text);
            const std::string holds = frame == 0 ? "its own set: nothing was written into its " + memory
                                                 : "a mixed set: the file's main frame with its own extension frame "
                                                   "in " + memory + " - send again";
            Fail(code, text + " - the sensor holds " + holds);
            heldNote();
            return report.Done(a, code, holds);
        }
        Delay(0.1);
    }
    if (a.noVerify) {
        if (!a.json)
            std::printf("sent %s into %s of %s (not read back)\n", path.c_str(), memory.c_str(), Designation().c_str());
        heldNote();
        return report.Done(a, kExitOk, "the file's set, written but not read back");
    }
    std::array<uint16_t, 30> back{};
    if (const int code = ReadConfirmedSet(memTarget, back, true); code != kExitOk) {
        std::fprintf(stderr, "kryta-lt: both frames were written into %s but the read-back did not confirm them\n",
                     memory.c_str());
        heldNote();
        return report.Done(a, code, "both frames written, not confirmed by reading back");
    }
    const auto diffs = Differences(v, sent, back);
    QJsonArray differences;
    for (const Difference& d : diffs) {
        differences.append(QJsonObject{{"name", Q(d.name)}, {"sent", Number(d.a)}, {"holds", Number(d.b)}});
        if (!a.json) std::printf("%-16s sent %s, the sensor holds %s\n", d.name.c_str(), d.a.c_str(), d.b.c_str());
    }
    report.json["differences"] = differences;
    heldNote();
    if (!diffs.empty()) {
        Fail(kExitVerify, "the read-back of " + memory + " differs in " + std::to_string(diffs.size()) +
                              " parameter(s) from what was sent");
        return report.Done(a, kExitVerify, "both frames written; the read-back differs from the file's set");
    }
    if (!a.json)
        std::printf("sent %s into %s of %s; the read-back holds every word\n", path.c_str(), memory.c_str(),
                    Designation().c_str());
    return report.Done(a, kExitOk, "the file's set, confirmed by reading back");
}

}  // namespace

int CmdSend(const Args& a) {
    if (a.positional.size() != 2 || !MemoryOf(a.positional[0]))
        return Fail(kExitUsage, "send: say ram or eeprom and the parameter file (see kryta-lt help send)");
    const int memTarget = MemoryOf(a.positional[0]);
    const std::string& path = a.positional[1];
    std::array<uint16_t, 30> file{};
    if (const int code = ReadFile(path, file); code != kExitOk) return code;
    Companion companion;
    if (const int code = ReadCompanion(path, companion); code != kExitOk) return code;
    // Settings belong to the identified sensor's block: an unidentified one takes none.
    if (const int code = Connect(a, Reach::Identified, true); code != kExitOk) return code;
    if (!LastIdentity().knownFamily)
        return Fail(kExitNotIdentified, PortDevice(a) + ": sensor of unknown CCD family " + std::to_string(ccdtype) +
                                            " - nothing written into it");
    const Variant v = ParamVariant();
    if (companion.present) {
        const std::string fileVariant = companion.json.value("firmware_variant").toString().toStdString();
        const int fileFamily = companion.json.value("ccd_family").toInt(-1);
        if ((fileVariant != VariantName(v) || fileFamily != int(ccdtype)) && !a.otherVariant)
            return Fail(kExitOtherSensor, path + " was read from a sensor of the " + fileVariant +
                                              " firmware, CCD family " + std::to_string(fileFamily) + "; " +
                                              PortDevice(a) + " holds the " + VariantName(v) + " firmware, CCD family " +
                                              std::to_string(ccdtype) + " - nothing sent (--other-variant sends it)");
    }
    std::string firmware;  // the sensor as info --json describes it
    if (a.json)
        if (const int code = ReadFirmwareText(firmware); code != kExitOk) return code;
    SendReport report;
    report.json["file"] = Q(path);
    report.json["memory"] = Q(a.positional[0]);
    report.json["sensor"] = IdentityJson(PortDevice(a), firmware);

    // the file's values where the window's FILE + GET puts them, through the pages' range rules
    LoadSet(file);
    const RangeCorrections corrections = ApplyRangeRules(v, parameter, ccdvirtpixel);
    const std::array<uint16_t, 30> sent = StoredSet();
    QJsonArray corrected;
    for (int k = 0; k < corrections.count; ++k) {
        const RangeCorrection& c = corrections.at[size_t(k)];
        corrected.append(QJsonObject{{"name", NameOfWord(v, c.word).name}, {"word", c.word}, {"file", c.from},
                                     {"allowed", c.to}});
        if (!a.json)
            std::printf("%-16s file %u, the sensor's range allows %u\n", NameOfWord(v, c.word).name,
                        unsigned(c.from), unsigned(c.to));
    }
    report.json["corrections"] = corrected;
    if (corrections.count > 0 && !a.acceptCorrections) {
        Fail(kExitCorrections, std::to_string(corrections.count) +
                                   " value(s) outside the sensor's ranges - nothing sent "
                                   "(--accept-corrections sends the values the ranges allow)");
        return report.Done(a, kExitCorrections, "its own set: nothing written");
    }
    if (a.dryRun) return DryRun(a, memTarget, sent, report);
    if (Interrupted()) {
        Fail(kExitInterrupted, "interrupted - nothing sent");
        return report.Done(a, kExitInterrupted, "its own set: nothing written");
    }
    return WriteAndVerify(a, memTarget, sent, report);
}

int CmdCompare(const Args& a) {
    if (a.positional.size() != 2) return Fail(kExitUsage, "compare: say two sources (see kryta-lt help compare)");
    std::array<std::array<uint16_t, 30>, 2> sets{};
    std::array<Companion, 2> companions;
    bool sensorNeeded = false;
    for (int s = 0; s < 2; ++s) {
        const std::string& source = a.positional[size_t(s)];
        if (MemoryOf(source)) {
            sensorNeeded = true;
            continue;
        }
        if (const int code = ReadFile(source, sets[size_t(s)]); code != kExitOk) return code;
        if (const int code = ReadCompanion(source, companions[size_t(s)]); code != kExitOk) return code;
        if (companions[size_t(s)].present && !a.json)
            std::printf("%s: from %s\n", source.c_str(), Describe(companions[size_t(s)].json).c_str());
    }
    Variant v = Variant::Standard;
    if (sensorNeeded) {
        if (const int code = Connect(a, Reach::Identified, false); code != kExitOk) return code;
        v = ParamVariant();
        for (int s = 0; s < 2; ++s) {
            const int memTarget = MemoryOf(a.positional[size_t(s)]);
            if (!memTarget) continue;
            if (s == 1 && memTarget == MemoryOf(a.positional[0])) {
                sets[1] = sets[0];
                continue;
            }
            if (s == 1) Delay(0.1);
            if (const int code = ReadConfirmedSet(memTarget, sets[size_t(s)]); code != kExitOk) return code;
        }
    } else {
        for (const Companion& c : companions) {
            const std::string named = c.json.value("firmware_variant").toString().toStdString();
            if (named == VariantName(Variant::V303)) v = Variant::V303;
            if (named == VariantName(Variant::CL)) v = Variant::CL;
        }
    }
    if (a.variant == "v303") v = Variant::V303;
    if (a.variant == "cl") v = Variant::CL;
    if (a.variant == "standard") v = Variant::Standard;

    const auto diffs = Differences(v, sets[0], sets[1]);
    if (a.json) {
        QJsonObject o;
        o["a"] = Q(a.positional[0]);
        o["b"] = Q(a.positional[1]);
        o["variant"] = VariantName(v);
        for (int s = 0; s < 2; ++s)
            if (companions[size_t(s)].present) o[s ? "b_companion" : "a_companion"] = companions[size_t(s)].json;
        QJsonArray list;
        for (const Difference& d : diffs) list.append(QJsonObject{{"name", Q(d.name)}, {"a", Number(d.a)}, {"b", Number(d.b)}});
        o["differences"] = list;
        std::printf("%s", JsonLine(o).c_str());
        return diffs.empty() ? kExitOk : kExitDiffer;
    }
    if (diffs.empty()) {
        std::printf("%s and %s hold the same parameters\n", a.positional[0].c_str(), a.positional[1].c_str());
        return kExitOk;
    }
    int width = 10;
    for (const auto& s : a.positional) width = std::max(width, int(s.size()));
    std::printf("%-16s %*s %*s\n", "parameter", width, a.positional[0].c_str(), width, a.positional[1].c_str());
    for (const Difference& d : diffs)
        std::printf("%-16s %*s %*s\n", d.name.c_str(), width, d.a.c_str(), width, d.b.c_str());
    return kExitDiffer;
}
