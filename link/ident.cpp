// Sensor identification: the hardware answer (CCD geometry, board, firmware number, hardware
// code) with the description texts and control changes per sensor family, and the firmware text.
#include <algorithm>
#include <string>

#include "app/app.h"
#include "link/com232.h"
#include "params/vars.h"
#include "platform/rs232.h"
#include "platform/userint.h"
#include "platform/utility.h"

uint16_t ccdtype = 1, ccdmaxpixel = 1024, ccdresolution = 0, pcbtype = 101, ccdvirtpixel = 4096,
         ccdsubpixel = 0, ccdpixB = 0, ccdpixE = 0, softversion = 0, hwtype = 37, adcmax = 0;
int HWTYPE = 0, ADCMAX = 255, YAXISMAX = 2048;
uint16_t pixB = 1, pixE = 1024;
std::string szVersion;

namespace {

#define MU "\xC2\xB5"  // the micro sign, UTF-8

struct HardwareRow {
    uint16_t family;
    uint16_t code;  // base code; the peak variant is code + 10000 where the row allows it
    bool peakVariant;
    const char* name;     // edge variant (HWTYPE 1 or 3)
    const char* peakName; // peak variant (HWTYPE 2)
    const char* line1;
    const char* line2;
    const char* line3;
};

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

void WriteSensorLines(const char* l0, const char* l1, const char* l2, const char* l3) {
    ReplaceTextBoxLine(pCalib, CALIB_TEXTBOXsensor, 0, l0);
    ReplaceTextBoxLine(pCalib, CALIB_TEXTBOXsensor, 1, l1);
    ReplaceTextBoxLine(pCalib, CALIB_TEXTBOXsensor, 2, l2);
    ReplaceTextBoxLine(pCalib, CALIB_TEXTBOXsensor, 3, l3);
}

void WriteRow(const HardwareRow& r, bool peak) {
    WriteSensorLines(peak ? r.peakName : r.name, r.line1, r.line2, r.line3);
}

void FillEvalList() {
    if (HWTYPE == 2) {
        ReplaceListItem(pPara1, PARA1_DROPevalmode, 0, "LEFT-PEAK", 0);
        ReplaceListItem(pPara1, PARA1_DROPevalmode, 1, "RIGHT-PEAK", 1);
        ReplaceListItem(pPara1, PARA1_DROPevalmode, 2, "PEAK-TO-PEAK", 2);
    } else {
        ReplaceListItem(pPara1, PARA1_DROPevalmode, 0, "LEFT-EDGE", 0);
        ReplaceListItem(pPara1, PARA1_DROPevalmode, 1, "RIGHT-EDGE", 1);
        ReplaceListItem(pPara1, PARA1_DROPevalmode, 2, "WIDTH", 2);
    }
}

void SetAnaModeDirect() { ReplaceListItem(pPara1, PARA1_DROPanaMode, 1, "DIRECT 5V/SET", 1); }

void LabelTolerance(const char* label) {
    SetCtrlLabel(pPara1, PARA1_NEDITTolerance, label);
    SetCtrlVisible(pPara1, PARA1_NEDITTolerance, true);
}

void KnownRange() {
    pixB = 1;
    pixE = ccdvirtpixel;
    YAXISMAX = ccdvirtpixel;
}

uint16_t PixelStep(uint16_t virt) {
    switch (virt) {
        case 256: return 1;
        case 512: return 2;
        case 768: return 3;
        case 1024: return 4;
        case 1180: return 5;
        case 1280: return 5;
        case 1536: return 6;
        case 2048: return 8;
        case 2360: return 10;
        case 2560: return 10;
        case 4096: return 16;
        case 8192: return 32;
        default: return 0;
    }
}

void Family1() {
    static const uint16_t bases[] = {37, 55, 80, 110, 135, 160, 200, 275, 450};
    for (uint16_t b : bases) {
        const HardwareRow* r = FindRow(1, b);
        if (hwtype == b) {
            HWTYPE = 1;
            WriteRow(*r, false);
        } else if (hwtype == b + 10000) {
            HWTYPE = 2;
            WriteRow(*r, true);
        }
    }
    if (HWTYPE != 1 && HWTYPE != 2) return;
    FillEvalList();
    if (softversion >= 302) SetAnaModeDirect();
    if (softversion > 302) {
        SetCtrlVisible(pPara1, PARA1_BINSWoption, false);
        SetCtrlVisible(pPara1, PARA1_DROPhold, false);
        SetCtrlVisible(pPara1, PARA1_NEDITToleranceUP, true);
        LabelTolerance("TOLERANCE-LOW");
    } else if (softversion < 302) {
        LabelTolerance("TOLERANCE");
        SetCtrlVisible(pPara1, PARA1_NEDITToleranceUP, false);
        SetCtrlVisible(pPara1, PARA1_DROPhold, false);
        SetCtrlVisible(pPara1, PARA1_BINSWoption, true);
        SetCtrlDimmed(pPara1, PARA1_BINSWoption, true);
        SetCtrlDimmed(pPara1, PARA1_DROPhardware, false);
    }
    KnownRange();
}

void Family4() {
    auto displayPrecision = [] {
        SetCtrlPrecision(pHandle, PANEL_NUMumValue, 2);
        SetCtrlPrecision(pHandle, PANEL_NUMTolUP, 1);
        SetCtrlPrecision(pHandle, PANEL_NUMTol, 1);
    };
    auto triggerSensor = [] {
        ReplaceListItem(pPara1, PARA1_DROPtrigmode, 3, "INTERN TRIG", 3);
        SetCtrlVisible(pPara1, PARA1_DROPhold, false);
        SetCtrlVisible(pPara2, PARA2_NUMTriggThreshold, true);
        SetCtrlOnOffText(pCalib, CALIB_BINSWopmode, "ADC-CONV", "DIG-COMP");
        SetCtrlVisible(pHandle, PANEL_BTNData, true);
    };
    if (hwtype == 20250) {
        HWTYPE = 3;
        WriteRow(*FindRow(4, 20250), false);
        SetCtrlVisible(pPara1, PARA1_DROPhardware, false);
        SetCtrlDimmed(pCalib, CALIB_BINSWopmode, true);
        SetCtrlVisible(pPara1, PARA1_DROPhold, true);
        displayPrecision();
    }
    if (hwtype == 37) {
        HWTYPE = 1;
        WriteRow(*FindRow(4, 37), false);
        triggerSensor();
    }
    if (hwtype == 55 || hwtype == 10055) {
        HWTYPE = hwtype == 55 ? 1 : 2;
        WriteRow(*FindRow(4, 55), HWTYPE == 2);
        triggerSensor();
    }
    if (hwtype == 80 || hwtype == 10080) {
        HWTYPE = hwtype == 80 ? 1 : 2;
        WriteRow(*FindRow(4, 80), HWTYPE == 2);
        triggerSensor();
        displayPrecision();
    }
    SetAnaModeDirect();
    SetCtrlVisible(pPara1, PARA1_BINSWoption, false);
    if (softversion <= 305) SetCtrlDimmed(pCalib, CALIB_BINSWopmode, true);
    SetCtrlVisible(pPara1, PARA1_NEDITToleranceUP, true);
    LabelTolerance("TOLERANCE-LOW");
    if (HWTYPE >= 1 && HWTYPE <= 3) {
        FillEvalList();
        KnownRange();
    }
}

void Family101() {
    if (hwtype != 500) return;
    WriteRow(*FindRow(101, 500), false);
    KnownRange();
    SetCtrlVisible(pPara1, PARA1_BINSWoption, false);
    SetCtrlVisible(pPara1, PARA1_DROPhardware, false);
    SetCtrlVisible(pPara1, PARA1_DROPhold, true);
    SetAnaModeDirect();
    LabelTolerance("TOLERANCE-LOW");
    SetCtrlVisible(pPara1, PARA1_NEDITToleranceUP, true);
    SetCtrlVisible(pCalib, CALIB_BINSWopmode, false);
}

void UnknownFamily() {
    const std::string blanks(25, ' ');
    WriteSensorLines("No information avialable!", blanks.c_str(), blanks.c_str(), blanks.c_str());
    SetAnaModeDirect();
    LabelTolerance("TOLERANCE");
    SetCtrlVisible(pPara1, PARA1_NEDITToleranceUP, false);
    SetCtrlVisible(pPara1, PARA1_BINSWoption, true);
    SetCtrlDimmed(pPara1, PARA1_BINSWoption, true);
    SetCtrlVisible(pPara1, PARA1_DROPhold, false);
    SetCtrlVisible(pPara1, PARA1_DROPhardware, false);
    pixB = 1;
    pixE = 1024;
    YAXISMAX = 1024;
    ADCMAX = 1024;
    SetCtrlDimmed(pHandle, PANEL_BTNSend, true);
}

// Reads everything waiting in the input queue into szReadBuf, at most what the buffer holds;
// the rest is discarded. Result: the number of bytes read.
int ReadWholeQueue(int n) {
    int want = std::clamp(n, 0, BUF_BYTES);
    int got = want > 0 ? ComRd(com, reinterpret_cast<char*>(szReadBuf.data()), want) : 0;
    if (n > want) FlushInQ(com);
    return got < 0 ? 0 : got;
}

}  // namespace

// The firmware text as the status line can show it: Latin-1 letters become UTF-8, control bytes
// '?'; at most 72 characters, ending at the first zero byte.
std::string FirmwareText(const uint8_t* bytes, int count, int stride) {
    std::string text;
    int chars = 0;
    for (int i = stride - 1; i < count && chars < 72; i += stride, ++chars) {
        uint8_t c = bytes[i];
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

void ApplyHardwareAnswer(const std::array<uint16_t, 13>& w) {
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

    SetAxisScalingMode(pHandle, PANEL_GRAPHVideo, XAXIS, VAL_MANUAL, 1, ccdvirtpixel);
    SetAxisScalingMode(pHandle, PANEL_GRAPHData, XAXIS, VAL_MANUAL, 1, 256);

    uint16_t step = PixelStep(ccdvirtpixel);
    if (step == 0) {
        step = 4;
        ccdvirtpixel = 1024;
    }
    for (int i = 0; i < 256; ++i) xArray[i] = double(i) * step;

    bool known = true;
    switch (ccdtype) {
        case 1: Family1(); break;
        case 4: Family4(); break;
        case 101: Family101(); break;
        default:
            known = false;
            UnknownFamily();
            break;
    }
    if (known) {
        ADCMAX = adcmax == 1024 ? 1024 : 256;
        SetCtrlDimmed(pHandle, PANEL_BTNSend, false);
    }
    if (softversion < 305) {
        ReplaceListItem(pPara1, PARA1_DROPtrigmode, 3, "NOT-USED", 1);
        SetCtrlVisible(pPara2, PARA2_NUMTriggThreshold, false);
        SetCtrlVisible(pHandle, PANEL_BTNData, false);
    }
}

int GetHARDWAREInfo() {
    parameter[1] = 10;
    parameter[2] = 0;
    FillTxBuf(10, 0, pp.data());
    FlushOutQ(com);
    FlushInQ(com);
    rx_flag = 0;
    nBytesW = ComWrt(com, reinterpret_cast<const char*>(szWriteBuf.data()), FRAME_BYTES);
    if (!WaitRxFull()) return 0;

    std::array<uint16_t, 13> w{};
    for (int i = 1; i <= 12; ++i) w[i] = uint16_t(szReadBuf[2 * i] << 8 | szReadBuf[2 * i + 1]);
    // Only a hardware answer identifies the sensor; anything else (a late answer to an earlier
    // request, a wrong command word) leaves the identification as it was.
    if (w[1] != 10) return 0;
    ApplyHardwareAnswer(w);
    ident_flag = 1;
    return 1;
}

int GetVERSIONInfo() {
    RemoveRxHandler();
    FlushInQ(com);
    FlushOutQ(com);
    parameter[1] = 7;
    parameter[2] = 0;
    FillTxBuf(7, 0, pp.data());
    nBytesW = ComWrt(com, reinterpret_cast<const char*>(szWriteBuf.data()), FRAME_BYTES);
    if (nBytesW == FRAME_BYTES) ShowStatus("Waiting for parameter-frame ...");
    ShowStatus("Waiting for firmware info ...");

    double t0 = Timer();
    int n = 0;
    for (;;) {
        ProcessSystemEvents();
        n = GetInQLen(com);
        if (n >= 72) break;
        if (Timer() - t0 > TIMEOUT) {
            szStatus = "Timeout - reading firmware info!";
            break;
        }
    }
    n = GetInQLen(com);
    szVersion.clear();
    nBytesR = ReadWholeQueue(n);
    if (n > 72) szStatus = "Error reading firmware-info! - " + std::to_string(n) + " bytes instead of 72";
    if (nBytesR == 72) {
        if (pcbtype == 0) {
            szVersion = FirmwareText(szReadBuf.data(), 72, 2);
            szStatus = szVersion;
        } else {
            szStatus = FirmwareText(szReadBuf.data(), 72, 1);
        }
    }
    InstallRxHandler();
    FlushInQ(com);
    FlushOutQ(com);
    rx_flag = 0;
    ShowStatus(szStatus);
    return n;
}
