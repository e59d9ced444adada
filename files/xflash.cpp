// The linearisation table: loaded from a file and written into the sensor's X-FLASH pages, eight
// values per frame, with a progress bar on the edge graph.
#include <array>
#include <cstdint>
#include <string>

#include "app/app.h"
#include "files/files.h"
#include "link/com232.h"
#include "params/vars.h"
#include "platform/rs232.h"
#include "platform/userint.h"
#include "platform/utility.h"

namespace {

constexpr uint16_t XFLASH_CLEAR = 101;
constexpr uint16_t XFLASH_WRITE = 102;
constexpr uint16_t kFiller = 0x00AA;
constexpr int kPageWords = 256;
constexpr int kWordsPerFrame = 8;
constexpr int kFirstPage = 2;
constexpr int kGrey = 0xA0A0A0;
constexpr int kGreen = 0x00FF00;

// Frames of the running sequence that got no answer.
int unconfirmedFrames = 0;

int TableSize() { return hwtype == 400 ? 1024 : 2048; }
int LastPage() { return kFirstPage + TableSize() / kPageWords - 1; }

void PutWord(int index, uint16_t value) {
    szWriteBuf[2 * index] = uint8_t(value >> 8);
    szWriteBuf[2 * index + 1] = uint8_t(value & 0xFF);
}

void FlushBoth() {
    FlushInQ(com);
    FlushOutQ(com);
}

// Waits for rx_flag as every framed exchange does; true when the answer came within TIMEOUT.
bool WaitAnswer() {
    const double start = Timer();
    for (;;) {
        ProcessSystemEvents();
        if (rx_flag) return true;
        if (Timer() - start > TIMEOUT) return false;
    }
}

void Status(const std::string& text) {
    szStatus = text;
    ShowStatus(text);
}

}  // namespace

int ReadLinDataFromFile() {
    std::string path;
    const int chosen = FileSelectPopup(proj_dir, "XF-LINEAR.DAT", "*.dat", "KRYTA-LT-Series-Linearisation-File",
                                       "Load", false, true, true, true, path);
    if (chosen != VAL_EXISTING_FILE_SELECTED && chosen != VAL_NEW_FILE_SELECTED) return -1;
    file_name = path;

    const int n = TableSize();
    std::array<uint16_t, 2048> values{};
    switch (ReadNumberFile(file_name, n, values.data(), NumRange::Strict)) {
    case NumFileResult::Ok:
        break;
    case NumFileResult::TooShort:
        Status("Linearisation file holds less than " + std::to_string(n) + " values - nothing written!");
        return -2;
    case NumFileResult::NotNumber:
        Status("Linearisation file holds a non-number - nothing written!");
        return -3;
    case NumFileResult::OutOfRange:
        Status("Linearisation file: value outside 0...65535 - nothing written!");
        return -4;
    case NumFileResult::Unreadable:
    default:
        Status("Cannot read linearisation file - nothing written!");
        return -5;
    }
    for (int i = 0; i < n; ++i) linArray[i] = uint16_t((uint32_t(values[i]) + 32767u) % 65536u);
    return 0;
}

int ClearXFLASH() {
    FlushBoth();
    rx_flag = 0;
    parameter[1] = XFLASH_CLEAR;
    parameter[2] = 0;
    PutWord(0, 0x0055);
    PutWord(1, XFLASH_CLEAR);
    PutWord(2, 0);
    for (int w = 3; w < 18; ++w) PutWord(w, kFiller);
    nBytesW = ComWrt(com, reinterpret_cast<const char*>(szWriteBuf.data()), FRAME_BYTES);
    ShowStatus("clearing X-FLASH...");
    if (WaitAnswer()) {
        Status("X-FLASH-cleared!");
        return 1;
    }
    ++unconfirmedFrames;
    Status("Timeout-RS-232...");
    return 0;
}

void WriteXFLASH(uint16_t offset, uint16_t page) {
    const int index = (int(page) - kFirstPage) * kPageWords + int(offset);
    if (page < kFirstPage || index < 0 || index + kWordsPerFrame > 2048) return;  // outside the table

    FlushBoth();
    rx_flag = 0;
    parameter[1] = XFLASH_WRITE;
    PutWord(0, 0x0055);
    PutWord(1, XFLASH_WRITE);
    PutWord(2, offset);
    PutWord(3, page);
    for (int k = 0; k < kWordsPerFrame; ++k) PutWord(4 + k, linArray[index + k]);
    for (int w = 4 + kWordsPerFrame; w < 18; ++w) PutWord(w, kFiller);
    nBytesW = ComWrt(com, reinterpret_cast<const char*>(szWriteBuf.data()), FRAME_BYTES);

    if (WaitAnswer()) {
        SetCtrlVal(pHandle, PANEL_NUManaMax, index);
        const uint16_t answeredPage = pp[1];
        if (answeredPage >= 2 && answeredPage <= 9)
            szStatus = "X-FLASH-write OK: PAGE" + std::to_string(answeredPage) + " ...";
    } else {
        ++unconfirmedFrames;
        szStatus = "Timeout-RS-232...";
    }

    // The last frame of the table confirmed, and every frame before it: the table is complete.
    if (pp[1] == LastPage() && pp[0] == kPageWords - kWordsPerFrame && unconfirmedFrames == 0) {
        PlotRectangle(pHandle, PANEL_GRAPHVideoBar, 1, 0, ccdsubpixel, 1.0, kGrey, kGrey);
        ShowStatus("X-FLASH Data successfully written!");
    } else {
        PlotRectangle(pHandle, PANEL_GRAPHVideoBar, 1, 0, index, 1.0, kGreen, kGreen);
        ShowStatus(szStatus);
    }
}

int CC_WriteXFLASH(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    SensorOp op;
    if (!op.ok) return 0;

    if (!RefuseUnidentified() && ReadLinDataFromFile() == 0) {
        unconfirmedFrames = 0;
        ClearXFLASH();
        SetAxisScalingMode(pHandle, PANEL_GRAPHVideoBar, XAXIS, VAL_MANUAL, 1, ccdvirtpixel);
        DeleteGraphPlot(pHandle, PANEL_GRAPHVideoBar, VAL_DELETE_ALL);
        const int lastPage = LastPage();
        for (int page = kFirstPage; page <= lastPage; ++page)
            for (int offset = 0; offset < kPageWords; offset += kWordsPerFrame)
                WriteXFLASH(uint16_t(offset), uint16_t(page));
        if (unconfirmedFrames > 0)
            Status("X-FLASH write incomplete: " + std::to_string(unconfirmedFrames) +
                   (unconfirmedFrames == 1 ? " frame" : " frames") + " not confirmed!");
    }
    SetCtrlVisible(pCalib, CALIB_BTNWriteXFLASH, false);
    SetCtrlDimmed(pCalib, CALIB_NUMCalFactor, true);
    return 0;
}

int CC_ReadXFLASH(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    SetAxisScalingMode(pHandle, PANEL_GRAPHVideoBar, XAXIS, VAL_MANUAL, 1, ccdsubpixel);
    DeleteGraphPlot(pHandle, PANEL_GRAPHVideoBar, VAL_DELETE_ALL);
    return 0;
}
