// The hardware answer, the hardware table and the firmware text.
#include "sensor/hardware.h"

#include "sensor/vars.h"

namespace {

#define MU "\xC2\xB5"  // the micro sign, UTF-8


const HardwareRow kHardware[] = {
    {1, 37, true, "KRYTA-M01", "KRYTA-M02", "1024-pixel;  7.8" MU "m pixel-pitch",
     "4096-subpixel;  resolution=1" MU "m", "working-range = 37 +/- 2.0mm"},
    {1, 55, true, "KRYTA-M03", "KRYTA-M04", "1024-pixel;  7.8" MU "m pixel-pitch",
     "4096-subpixel;  resolution=3" MU "m", "working-range = 55mm +/- 5.0mm"},
    {1, 80, true, "KRYTA-M05", "KRYTA-M06", "1024-pixel; 7.8" MU "m pixel-pitch",
     "4096-subpixel; resolution=5" MU "m", "working-range = 80mm +/- 10mm"},
    {1, 110, true, "KRYTA-M07", "KRYTA-M08", "1024-pixel; 7.8" MU "m pixel-pitch",
     "4096-subpixel; resolution=10" MU "m", "working-range = 110mm  +/- 20mm"},
    {1, 135, true, "KRYTA-M09", "KRYTA-M10", "1024-pixel; 7.8" MU "m pixel-pitch",
     "4096-subpixel; resolution=16" MU "m", "working-range = 110mm ... 175mm"},
    {1, 160, true, "KRYTA-M11", "KRYTA-M12", "1024-pixel; 7.8" MU "m pixel-pitch",
     "4096-subpixel; resolution=25" MU "m", "working-range = 125mm ... 215mm"},
    {1, 200, true, "KRYTA-M13", "KRYTA-M14", "1024-pixel; 7.8" MU "m pixel-pitch",
     "4096-subpixel; resolution=25" MU "m", "working-range = 160mm ... 255mm"},
    {1, 275, true, "KRYTA-M15", "KRYTA-M16", "1024-pixel; 7.8" MU "m pixel-pitch",
     "4096-subpixel; resolution=55" MU "m", "working-range = 200mm ... 425mm"},
    {1, 450, true, "KRYTA-M17", "KRYTA-M18", "1024-pixel; 7.8" MU "m pixel-pitch",
     "4096-subpixel; resolution=150" MU "m", "working-range = 285mm ...715mm"},
    {4, 20250, false, "KRYTA-M19", nullptr, "512-pixel;  12.5" MU "m pixel-pitch",
     "1024-subpixel;  resolution=+/-0.4mm", "working-range = 50mm ... 500mm"},
    {4, 37, false, "KRYTA-M20", nullptr, "512-pixel;  12.5" MU "m pixel-pitch",
     "2048-subpixel;  resolution=2" MU "m", "working-range = 55 +/- 2.0mm"},
    {4, 55, true, "KRYTA-M21", "KRYTA-M22", "512-pixel;  12.5" MU "m pixel-pitch",
     "2048-subpixel;  resolution=5" MU "m", "working-range = 55 +/- 5.0mm"},
    {4, 80, true, "KRYTA-M23", "KRYTA-M24", "512-pixel;  12.5" MU "m pixel-pitch",
     "2048-subpixel;  resolution=10" MU "m", "working-range = 80 +/- 10.0mm"},
    {101, 500, false, "KRYTA-M25", nullptr, "256-pixel;  63.5" MU "m pixel-pitch",
     "1024-subpixel; resolution=0.5mm", "working-range = 35mm ... 460mm"},
};

#undef MU
const HardwareRow* FindRow(uint16_t family, uint16_t base) {
    for (const auto& r : kHardware)
        if (r.family == family && r.code == base) return &r;
    return nullptr;
}

void KnownRange() {
    pixB = 1;
    pixE = ccdvirtpixel;
    YAXISMAX = ccdvirtpixel;
}

void Family1(SensorIdentity& id) {
    static const uint16_t bases[] = {37, 55, 80, 110, 135, 160, 200, 275, 450};
    for (uint16_t b : bases) {
        if (hwtype == b || hwtype == b + 10000) {
            HWTYPE = hwtype == b ? 1 : 2;
            id.row = FindRow(1, b);
            id.peak = HWTYPE == 2;
        }
    }
    if (HWTYPE == 1 || HWTYPE == 2) KnownRange();
}

void Family4(SensorIdentity& id) {
    if (hwtype == 20250) {
        HWTYPE = 3;
        id.row = FindRow(4, 20250);
    }
    if (hwtype == 37) {
        HWTYPE = 1;
        id.row = FindRow(4, 37);
    }
    if (hwtype == 55 || hwtype == 10055) {
        HWTYPE = hwtype == 55 ? 1 : 2;
        id.row = FindRow(4, 55);
        id.peak = HWTYPE == 2;
    }
    if (hwtype == 80 || hwtype == 10080) {
        HWTYPE = hwtype == 80 ? 1 : 2;
        id.row = FindRow(4, 80);
        id.peak = HWTYPE == 2;
    }
    if (HWTYPE >= 1 && HWTYPE <= 3) KnownRange();
}

void Family101(SensorIdentity& id) {
    if (hwtype != 500) return;
    id.row = FindRow(101, 500);
    KnownRange();
}

}  // namespace

uint16_t PixelStep(uint16_t virt) {
    switch (virt) {
    case 256: return 1;
    case 512: return 2;
    case 768: return 3;
    case 1024: return 4;
    case 1180:
    case 1280: return 5;
    case 1536: return 6;
    case 2048: return 8;
    case 2360:
    case 2560: return 10;
    case 4096: return 16;
    case 8192: return 32;
    default: return 0;
    }
}

SensorIdentity IdentifySensor(const std::array<uint16_t, 13>& w) {
    ccdtype = w[2];
    ccdmaxpixel = w[3];
    ccdresolution = w[4];
    pcbtype = w[5];
    ccdvirtpixel = w[6];
    ccdsubpixel = w[7];
    ccdpixB = w[8];
    ccdpixE = w[9];
    softversion = w[10];
    hwtype = w[11];
    adcmax = w[12];

    SensorIdentity id;
    id.virtPixelSent = ccdvirtpixel;
    uint16_t step = PixelStep(ccdvirtpixel);
    if (step == 0) {
        step = 4;
        ccdvirtpixel = 1024;
    }
    for (int i = 0; i < 256; ++i) xArray[i] = double(i) * step;

    id.knownFamily = ccdtype == 1 || ccdtype == 4 || ccdtype == 101;
    switch (ccdtype) {
    case 1: Family1(id); break;
    case 4: Family4(id); break;
    case 101: Family101(id); break;
    default:
        pixB = 1;
        pixE = 1024;
        YAXISMAX = 1024;
        ADCMAX = 1024;
        break;
    }
    if (id.knownFamily) ADCMAX = adcmax == 1024 ? 1024 : 256;
    return id;
}

std::array<std::string, 4> SensorLines(const SensorIdentity& id) {
    if (!id.knownFamily) {
        const std::string blanks(25, ' ');
        return {"No information avialable!", blanks, blanks, blanks};
    }
    if (!id.row) return {};
    return {id.peak ? id.row->peakName : id.row->name, id.row->line1, id.row->line2, id.row->line3};
}

std::string FirmwareText(const uint8_t* bytes, int count, int stride) {
    std::string text;
    int chars = 0;
    for (int i = stride - 1; i < count && chars < 72; i += stride, ++chars) {
        const uint8_t c = bytes[i];
        if (c == 0) break;
        if (c >= 0x20 && c < 0x7F) {
            text += char(c);
        } else if (c >= 0xA0) {
            text += char(0xC0 | (c >> 6));
            text += char(0x80 | (c & 0x3F));
        } else {
            text += '?';
        }
    }
    return text;
}
