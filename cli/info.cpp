// info: who the sensor on the port is, as the window's connect sequence finds it.
#include <cstdio>
#include <string>
#include <utility>

#include "cli/cli.h"
#include "common/connect.h"
#include "common/json.h"
#include "common/text.h"
#include "link/com232.h"
#include "sensor/hardware.h"
#include "sensor/vars.h"

int CmdInfo(const Args& a) {
    if (!a.positional.empty()) return Fail(kExitUsage, "info: no arguments beside its options");
    // the window's connect sequence: line check, identification, both RAM frames, firmware text
    if (const int code = Connect(a, Reach::Parameters, true); code != kExitOk) return code;
    const std::string line = "Echo Check - Line Ok!";
    std::string firmware;
    if (const int code = ReadFirmwareText(firmware); code != kExitOk) return code;
    const SensorIdentity& id = LastIdentity();
    const auto lines = SensorLines(id);
    const std::pair<const char*, std::string> rows[] = {
        {"port", ShownDevice()},
        {"line", line},
        {"designation", id.knownFamily && !id.row ? "(hardware code not in the table)" : lines[0]},
        {"pixels", lines[1]},
        {"resolution", lines[2]},
        {"working range", lines[3]},
        {"CCD family", std::to_string(ccdtype)},
        {"hardware code", std::to_string(hwtype)},
        {"firmware number", std::to_string(softversion)},
        {"firmware text", firmware},
    };
    if (a.json) {
        std::printf("%s", JsonLine(IdentityJson(ShownDevice(), firmware)).c_str());
    } else {
        for (const auto& [key, value] : rows) std::printf("%-16s %s\n", key, TrimRight(value).c_str());
    }
    return kExitOk;
}
