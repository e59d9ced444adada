// The parameter set: get (back up), send (restore, with the range rules and a read-back) and
// compare.
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "cli/json.h"
#include "cli/text.h"
#include "link/com232.h"
#include "platform/utility.h"
#include "sensor/files.h"
#include "sensor/hardware.h"
#include "sensor/rules.h"
#include "sensor/vars.h"

namespace {

// RAM or EEPROM from its name; 0 for anything else.
int MemoryOf(const std::string& name) {
    if (name == "ram") return RAM;
    if (name == "eeprom") return EEPROM;
    return 0;
}

const char* MemoryName(int memTarget) { return memTarget == EEPROM ? "EEPROM" : "RAM"; }

int ReadFile(const std::string& path, std::array<uint16_t, 30>& words) {
    const NumberFile f = ReadParaFile(path, words);
    if (f.status == NumberFile::Ok) return kExitOk;
    return Fail(kExitBadFile, path + ": " + ParaFileProblem(f));
}

std::string Designation() {
    const auto lines = SensorLines(LastIdentity());
    return lines[0].empty() ? "hardware code " + std::to_string(hwtype) : TrimRight(lines[0]);
}

}  // namespace

int CmdGet(const Args& a) {
    if (a.positional.size() != 1 || !MemoryOf(a.positional[0]))
        return Fail(kExitUsage, "get: say ram or eeprom (see kryta-lt get --help)");
    const int memTarget = MemoryOf(a.positional[0]);
    if (const int code = Connect(a, Reach::Identified, false); code != kExitOk) return code;
    std::array<uint16_t, 30> words{};
    if (const int code = ReadSet(memTarget, words); code != kExitOk) return code;
    if (!a.output.empty()) {
        std::string reason;
        if (!WriteFileReplacing(a.output, FormatParaFile(words), reason))
            return Fail(kExitCannotWrite, "cannot write " + a.output + ": " + reason + " - no file written");
        return kExitOk;
    }
    const Variant v = ParamVariant();
    const auto shown = ShowSet(v, words);
    if (a.json) {
        std::printf("%s", JsonLine(ParametersJson(memTarget, words)).c_str());
    } else {
        std::printf("%s", SetTable(shown).c_str());
    }
    return kExitOk;
}

int CmdSend(const Args& a) {
    if (a.positional.size() != 2 || !MemoryOf(a.positional[0]))
        return Fail(kExitUsage, "send: say ram or eeprom and the parameter file (see kryta-lt send --help)");
    const int memTarget = MemoryOf(a.positional[0]);
    const std::string& path = a.positional[1];
    std::array<uint16_t, 30> file{};
    if (const int code = ReadFile(path, file); code != kExitOk) return code;
    // Settings belong to the identified sensor's block: an unidentified one takes none.
    if (const int code = Connect(a, Reach::Identified, true); code != kExitOk) return code;
    if (!LastIdentity().knownFamily)
        return Fail(kExitNotIdentified, PortDevice(a) + ": sensor of unknown CCD family " + std::to_string(ccdtype) +
                                            " - nothing written into it");
    const Variant v = ParamVariant();

    // the file's values where the window's FILE + GET puts them, through the pages' range rules
    LoadSet(file);
    const RangeCorrections corrections = ApplyRangeRules(v, parameter, ccdvirtpixel);
    const std::array<uint16_t, 30> sent = StoredSet();
    for (int k = 0; k < corrections.count; ++k) {
        const RangeCorrection& c = corrections.at[size_t(k)];
        std::printf("%-16s file %u, the sensor's range allows %u\n", NameOfWord(v, c.word).name, unsigned(c.from),
                    unsigned(c.to));
    }
    if (corrections.count > 0 && !a.acceptCorrections)
        return Fail(kExitCorrections, std::to_string(corrections.count) +
                                          " value(s) outside the sensor's ranges - nothing sent "
                                          "(--accept-corrections sends the values the ranges allow)");
    if (a.dryRun) {
        std::printf("would send into %s of %s (%s firmware):\n%s", MemoryName(memTarget), Designation().c_str(),
                    VariantName(v), SetTable(ShowSet(v, sent)).c_str());
        return kExitOk;
    }
    if (Interrupted()) return Fail(kExitInterrupted, "interrupted - nothing sent");

    // the window's SEND: frame 0, a pause, frame 1; the sensor's answer is not awaited
    for (uint16_t frame : {0, 1}) {
        if (WriteParameterFrame(memTarget, frame) != Outcome::Answered)
            return ExchangeFailed(std::string("the writing of ") + MemoryName(memTarget) + " frame " +
                                  std::to_string(frame));
        Delay(0.1);
    }
    if (a.noVerify) {
        std::printf("sent %s into %s of %s (not read back)\n", path.c_str(), MemoryName(memTarget),
                    Designation().c_str());
        return kExitOk;
    }
    std::array<uint16_t, 30> back{};
    if (const int code = ReadSet(memTarget, back); code != kExitOk) return code;
    const auto diffs = Differences(v, sent, back);
    for (const Difference& d : diffs)
        std::printf("%-16s sent %s, the sensor holds %s\n", d.name.c_str(), d.a.c_str(), d.b.c_str());
    if (!diffs.empty())
        return Fail(kExitVerify, "the read-back of " + std::string(MemoryName(memTarget)) + " differs in " +
                                     std::to_string(diffs.size()) + " parameter(s) from what was sent");
    std::printf("sent %s into %s of %s; the read-back holds every word\n", path.c_str(), MemoryName(memTarget),
                Designation().c_str());
    return kExitOk;
}

int CmdCompare(const Args& a) {
    if (a.positional.size() != 2) return Fail(kExitUsage, "compare: say two sources (see kryta-lt compare --help)");
    std::array<std::array<uint16_t, 30>, 2> sets{};
    bool sensorNeeded = false;
    for (int s = 0; s < 2; ++s) {
        const std::string& source = a.positional[size_t(s)];
        if (MemoryOf(source)) {
            sensorNeeded = true;
        } else if (const int code = ReadFile(source, sets[size_t(s)]); code != kExitOk) {
            return code;
        }
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
            if (const int code = ReadSet(memTarget, sets[size_t(s)]); code != kExitOk) return code;
        }
    }
    if (a.variant == "v303") v = Variant::V303;
    if (a.variant == "cl") v = Variant::CL;
    if (a.variant == "standard") v = Variant::Standard;

    const auto diffs = Differences(v, sets[0], sets[1]);
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
