// The ports of the machine and the sensors on them: ports, scan and backup.
#include <QJsonArray>
#include <QJsonObject>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "common/connect.h"
#include "common/json.h"
#include "common/output.h"
#include "common/text.h"
#include "link/com232.h"
#include "platform/rs232.h"
#include "platform/utility.h"
#include "sensor/hardware.h"
#include "sensor/vars.h"

extern char** environ;

namespace {

struct KnownPort {
    int number;          // 0: a device of the machine that no port number stands for
    std::string device;  // the device path
    std::string name;    // COM<n>, or the device's file name
    bool named;          // KRYTA_COM<n> names it
};

std::string RealPath(const std::string& path) {
    char real[PATH_MAX];
    return ::realpath(path.c_str(), real) ? std::string(real) : path;
}

// The numbered ports that name a device (KRYTA_COM<n> included, whatever n), then the machine's
// serial devices that a KRYTA_COM<n> hides from the numbers, each device once.
std::vector<KnownPort> KnownPorts() {
    RescanComPorts();
    int last = ComPortCount();
    // the highest n of a KRYTA_COM<n>
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const auto eq = entry.find('=');
        if (entry.rfind("KRYTA_COM", 0) != 0 || eq == std::string::npos || eq == 9) continue;
        const std::string digits = entry.substr(9, eq - 9);
        if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 6) continue;
        last = std::max(last, std::stoi(digits));
    }
    std::vector<KnownPort> ports;
    std::vector<std::string> seen;
    auto add = [&](int number, const std::string& device) {
        const std::string real = RealPath(device);
        for (const std::string& s : seen)
            if (s == real) return;
        seen.push_back(real);
        const std::string var = "KRYTA_COM" + std::to_string(number);
        const char* env = number ? std::getenv(var.c_str()) : nullptr;
        ports.push_back({number, device, number ? "COM" + std::to_string(number) : device.substr(device.rfind('/') + 1),
                         env && *env});
    };
    for (int n = 1; n <= last; ++n)
        if (const std::string d = ComDeviceName(n); !d.empty()) add(n, d);
    for (const std::string& d : SerialDevices()) add(0, d);
    return ports;
}

// A port that a scan leaves alone unless it is named: why, else "".
std::string NotTried(const KnownPort& p) {
    if (p.named || ScannedUnasked(p.device)) return "";
    return "not tried: a built-in serial port (name it to try it: KRYTA_COM" +
           (p.number ? std::to_string(p.number) : std::string("<n>")) + "=" + p.device + ")";
}

Args PortArgs(const KnownPort& p) {
    Args a;
    a.port = p.number ? std::to_string(p.number) : p.device;
    return a;
}

// A file name of letters, digits, '.', '-' and '_' only.
std::string FileNamePart(const std::string& s) {
    std::string out;
    for (char c : TrimRight(s)) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                           c == '-' || c == '_';
        out += plain ? c : '_';
    }
    return out;
}

std::string DesignationOf() {
    const auto lines = SensorLines(LastIdentity());
    const std::string d = TrimRight(lines[0]);
    return d.empty() || (LastIdentity().knownFamily && !LastIdentity().row) ? "hardware-code-" + std::to_string(hwtype) : d;
}

}  // namespace

int CmdPorts(const Args& a) {
    if (!a.positional.empty()) return Fail(kExitUsage, "ports: no arguments beside its options");
    QJsonArray list;
    for (const KnownPort& p : KnownPorts()) {
        if (!p.number) continue;
        if (a.json) {
            const std::string about = ComDeviceAbout(p.number);
            list.append(QJsonObject{{"port", p.number},
                                    {"device", QString::fromStdString(p.device)},
                                    {"about", about.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(about))}});
        } else {
            std::printf("%s\n", PortLabel(p.number).c_str());
        }
    }
    if (a.json) std::printf("%s", JsonLine(QJsonObject{{"ports", list}}).c_str());
    return kExitOk;
}

int CmdScan(const Args& a) {
    if (!a.positional.empty()) return Fail(kExitUsage, "scan: no arguments beside its options");
    QJsonArray list;
    int sensors = 0;
    for (const KnownPort& p : KnownPorts()) {
        if (Interrupted()) return Fail(kExitInterrupted, "interrupted");
        std::string why = NotTried(p);
        const bool found = why.empty() && Probe(PortArgs(p), why) == kExitOk;
        QJsonObject o{{"port", QString::fromStdString(p.name)}, {"device", QString::fromStdString(p.device)}};
        if (found) {
            ++sensors;
            o["sensor"] = QJsonObject{{"designation", QString::fromStdString(DesignationOf())},
                                      {"firmware_number", int(softversion)},
                                      {"firmware_variant", VariantName(ParamVariant())},
                                      {"ccd_family", int(ccdtype)},
                                      {"hardware_code", int(hwtype)}};
        } else {
            o["problem"] = QString::fromStdString(why);
        }
        if (!a.json) {
            const std::string what = found ? DesignationOf() + ", firmware " + std::to_string(softversion) + " (" +
                                                 VariantName(ParamVariant()) + ")"
                                           : (why.rfind("not tried", 0) == 0 ? "" : "no sensor: ") + why;
            std::printf("%-8s %-24s %s\n", p.name.c_str(), p.device.c_str(), what.c_str());
            std::fflush(stdout);
        }
        list.append(o);
        CloseLine();
    }
    if (a.json) std::printf("%s", JsonLine(QJsonObject{{"ports", list}}).c_str());
    return sensors > 0 ? kExitOk : kExitNoAnswer;
}

int CmdBackup(const Args& a) {
    if (a.positional.empty() || a.positional.size() > 2 || (a.positional.size() == 2 && !MemoryOf(a.positional[1])))
        return Fail(kExitUsage, "backup: say the folder and, if not ram, eeprom (see kryta-lt help backup)");
    const std::string dir = a.positional[0];
    const int memTarget = a.positional.size() == 2 ? MemoryOf(a.positional[1]) : RAM;
    if (const std::string why = FolderRefuses(dir); !why.empty())
        return Fail(kExitCannotWrite, "backup: " + why + " - no port tried");
    std::string summary;
    int found = 0, saved = 0, firstFailure = kExitOk;
    for (const KnownPort& p : KnownPorts()) {
        if (Interrupted()) break;
        std::string why;
        const Args port = PortArgs(p);
        if (!NotTried(p).empty() || Probe(port, why) != kExitOk) {
            CloseLine();
            continue;
        }
        ++found;
        const std::string path = dir + "/" + FileNamePart(p.name) + "-" + FileNamePart(DesignationOf()) + ".cfg";
        std::array<uint16_t, 30> words{};
        Delay(0.1);
        int code = ReadConfirmedSet(memTarget, words);
        if (code == kExitOk) code = WriteBackup(path, a.force, memTarget, words, PortDevice(port));
        CloseLine();
        summary += p.name + " " + p.device + " " + DesignationOf() + ": " + (code == kExitOk ? path : "not backed up") + "\n";
        if (code == kExitOk) ++saved;
        else if (firstFailure == kExitOk) firstFailure = code;
    }
    std::printf("%s%d of %d sensor(s) backed up\n", summary.c_str(), saved, found);
    if (Interrupted()) return Fail(kExitInterrupted, "interrupted - " + std::to_string(saved) + " sensor(s) backed up");
    if (found == 0) return Fail(kExitNoAnswer, "no sensor found on any port (see kryta-lt scan)");
    return firstFailure;
}
