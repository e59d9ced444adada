// The KRYTA-LT sensor models the simulator can stand in for.
#include <cctype>
#include <cstdio>

#include "sim/sensor_sim.h"

namespace sim {
namespace {

// Geometry by CCD family: physical pixels and sub-pixel positions of the evaluated line.
Model Make(const std::string& name, uint16_t family, uint16_t code, uint16_t firmware,
           uint16_t board, uint16_t adcmax, uint16_t resolution, uint16_t subpixel = 0) {
    Model m;
    m.name = name;
    m.ccdtype = family;
    m.hwtype = code;
    m.softversion = firmware;
    m.pcbtype = board;
    switch (family) {
    case 1:
        m.ccdmaxpixel = 1024;
        m.ccdvirtpixel = 4096;
        break;
    case 4:
        m.ccdmaxpixel = 512;
        m.ccdvirtpixel = 2048;
        break;
    case 101:
        m.ccdmaxpixel = 256;
        m.ccdvirtpixel = 1024;
        break;
    default:
        m.ccdmaxpixel = 1024;
        m.ccdvirtpixel = 1024;
        break;
    }
    m.ccdresolution = resolution;
    m.ccdsubpixel = subpixel ? subpixel : m.ccdvirtpixel;
    m.ccdpixB = 1;
    m.ccdpixE = m.ccdmaxpixel;
    m.adcmax = adcmax;
    char text[64];
    std::snprintf(text, sizeof text, "KRYTA-%s FW %u.%02u (c) KRYTA",
                  name == "unknown" ? "LT" : name.c_str(), firmware / 100u, firmware % 100u);
    m.firmwareText = text;
    return m;
}

std::string Upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool ParseNumber(const std::string& s, long& out) {
    if (s.empty() || s.size() > 9) return false;
    long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

}  // namespace

const std::vector<Model>& Models() {
    //                        name   family code  firmware board adcmax resolution
    static const std::vector<Model> models = {
        Make("M01", 1, 37, 302, 0, 1024, 1),
        Make("M02", 1, 10037, 301, 101, 1024, 1),
        Make("M03", 1, 55, 303, 0, 1024, 3),
        Make("M04", 1, 10055, 303, 101, 1024, 3),
        Make("M05", 1, 80, 310, 101, 1024, 5),
        Make("M06", 1, 10080, 310, 0, 1024, 5),
        Make("M07", 1, 110, 302, 101, 255, 10),
        Make("M08", 1, 10110, 302, 101, 255, 10),
        Make("M09", 1, 135, 305, 101, 1024, 16),
        Make("M10", 1, 10135, 305, 0, 1024, 16),
        Make("M11", 1, 160, 304, 101, 1024, 25),
        Make("M12", 1, 10160, 304, 101, 1024, 25),
        Make("M13", 1, 200, 306, 101, 1024, 25),
        Make("M14", 1, 10200, 306, 101, 1024, 25),
        Make("M15", 1, 275, 301, 0, 255, 55),
        Make("M16", 1, 10275, 301, 101, 255, 55),
        Make("M17", 1, 450, 310, 101, 1024, 150),
        Make("M18", 1, 10450, 310, 101, 1024, 150),
        Make("M19", 4, 20250, 306, 101, 255, 400, 1024),
        Make("M20", 4, 37, 305, 101, 255, 2),
        Make("M21", 4, 55, 305, 0, 255, 5),
        Make("M22", 4, 10055, 304, 101, 255, 5),
        Make("M23", 4, 80, 306, 101, 255, 10),
        Make("M24", 4, 10080, 306, 101, 255, 10),
        Make("M25", 101, 500, 303, 101, 255, 500),
        Make("unknown", 7, 999, 300, 101, 1024, 0),
    };
    return models;
}

const Model* FindModel(const std::string& nameOrCode) {
    std::string key = Upper(nameOrCode);
    if (key.rfind("KRYTA-", 0) == 0) key = key.substr(6);
    for (const Model& m : Models())
        if (Upper(m.name) == key) return &m;
    // "CODE" picks the first model with that hardware code; "FAMILY:CODE" picks within a family
    // (code 37 exists in families 1 and 4).
    long family = -1, code = 0;
    auto colon = key.find(':');
    if (colon != std::string::npos) {
        if (!ParseNumber(key.substr(0, colon), family)) return nullptr;
        key = key.substr(colon + 1);
    }
    if (!ParseNumber(key, code)) return nullptr;
    for (const Model& m : Models())
        if (m.hwtype == code && (family < 0 || m.ccdtype == family)) return &m;
    return nullptr;
}

}  // namespace sim
