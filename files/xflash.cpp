// The linearisation table: loaded from a file and written into the sensor's X-FLASH pages, eight
// values per frame, with a progress bar on the edge graph.
#include <cstdint>
#include <string>

#include "files/files.h"
#include "link/com232.h"
#include "params/origin.h"
#include "params/status.h"
#include "params/panels.h"
#include "platform/userint.h"
#include "sensor/files.h"
#include "sensor/vars.h"

namespace {

constexpr int kPageWords = 256;
constexpr int kWordsPerFrame = 8;
constexpr int kFirstPage = 2;
constexpr int kGrey = 0xA0A0A0;
constexpr int kGreen = 0x00FF00;

// The running write: frames not confirmed, write frames written, and the last frame's outcome.
int unconfirmedFrames = 0;
int writtenFrames = 0;
Outcome lastOutcome = Outcome::Answered;
int progressPlot = 0;  // the progress bar on the edge graph

int LastPage() { return kFirstPage + LinTableSize() / kPageWords - 1; }

// STOP, a lost line, a port change or the window's close ended the write.
bool Ended(Outcome o) {
    return o == Outcome::Stopped || o == Outcome::LineLost || o == Outcome::ConnectionChanged;
}

void Status(const std::string& text) {
    szStatus = text;
    ShowStatus(text);
}

// Why the write ended before the table was complete, with how far it got.
std::string EndedText(Outcome o) {
    const std::string count = std::to_string(writtenFrames) + " of " + std::to_string(LinTableSize() / kWordsPerFrame);
    switch (o) {
    case Outcome::Stopped: return "X-FLASH write stopped after " + count + " frames - table incomplete!";
    case Outcome::LineLost: return "RS232-Line lost after " + count + " X-FLASH frames - table incomplete!";
    default: return "X-FLASH write interrupted after " + count + " frames - table incomplete!";
    }
}

}  // namespace

int ReadLinDataFromFile() {
    std::string path;
    const int chosen = FileSelectPopup(proj_dir, "XF-LINEAR.DAT", "*.dat", "KRYTA-LT-Series-Linearisation-File",
                                       "Load", false, true, true, true, path);
    if (chosen != VAL_EXISTING_FILE_SELECTED && chosen != VAL_NEW_FILE_SELECTED) return -1;
    file_name = path;
    const NumberFile f = ReadLinFile(file_name);
    if (f.status == NumberFile::Ok) return 0;
    Status(LinFileProblem(f));
    return -2;
}

int ClearXFLASH() {
    lastOutcome = ClearXFlash([](bool) { ShowStatus("clearing X-FLASH..."); });
    if (lastOutcome == Outcome::Answered) {
        Status("X-FLASH-cleared!");
        return 1;
    }
    if (!Ended(lastOutcome)) {
        ++unconfirmedFrames;
        switch (lastOutcome) {
        case Outcome::Refused: Status(RefusalText("erase not confirmed")); break;
        case Outcome::Disturbed: Status(kDisturbedText); break;
        default: Status("Timeout-RS-232..."); break;
        }
    }
    return 0;
}

void WriteXFLASH(uint16_t offset, uint16_t page) {
    const int index = (int(page) - kFirstPage) * kPageWords + int(offset);
    if (page < kFirstPage || index < 0 || index + kWordsPerFrame > 2048) return;  // outside the table

    bool confirmed = false;
    lastOutcome = WriteXFlashFrame(offset, page, &linArray[size_t(index)], confirmed);
    // bytes after the previous frame's answer: that frame is not confirmed after all
    if (PreviousAnswerDisturbed()) ++unconfirmedFrames;
    if (nBytesW == FRAME_BYTES) ++writtenFrames;
    if (Ended(lastOutcome)) return;

    if (lastOutcome == Outcome::Answered) {
        SetCtrlVal(pHandle, PANEL_NUManaMax, index);
        if (!confirmed)
            szStatus = "X-FLASH-write not confirmed: PAGE" + std::to_string(page) + " ...";
        else if (page >= 2 && page <= 9)
            szStatus = "X-FLASH-write OK: PAGE" + std::to_string(page) + " ...";
    } else if (lastOutcome == Outcome::Refused) {
        szStatus = RefusalText("PAGE" + std::to_string(page) + " not confirmed");
    } else if (lastOutcome == Outcome::Disturbed) {
        szStatus = "RS232-Line disturbed! - PAGE" + std::to_string(page) + " not confirmed!";
    } else {
        szStatus = "Timeout-RS-232...";
    }
    if (!confirmed) ++unconfirmedFrames;

    // The last frame of the full table confirmed, and every frame before it.
    if (confirmed && page == 9 && offset == kPageWords - kWordsPerFrame && unconfirmedFrames == 0) {
        PlotRectangle(pHandle, PANEL_GRAPHVideoBar, 1, 0, ccdsubpixel, 1.0, kGrey, kGrey);
        ShowStatus("X-FLASH Data successfully written!");
    } else {
        // one bar for the progress, replaced as it grows: the graph holds no more with every frame
        if (progressPlot > 0) DeleteGraphPlot(pHandle, PANEL_GRAPHVideoBar, progressPlot);
        progressPlot = PlotRectangle(pHandle, PANEL_GRAPHVideoBar, 1, 0, index, 1.0, kGreen, kGreen);
        ShowStatus(szStatus);
    }
}

int CC_WriteXFLASH(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    SensorOp op;
    if (!op.ok) return 0;

    if (!RefuseUnidentified() && ReadLinDataFromFile() == 0) {
        stop_flag = 0;
        unconfirmedFrames = 0;
        writtenFrames = 0;
        ClearXFLASH();
        if (!Ended(lastOutcome)) {
            SetAxisScalingMode(pHandle, PANEL_GRAPHVideoBar, XAXIS, VAL_MANUAL, 1, ccdvirtpixel);
            DeleteGraphPlot(pHandle, PANEL_GRAPHVideoBar, VAL_DELETE_ALL);
        }
        progressPlot = 0;
        const int lastPage = LastPage();
        for (int page = kFirstPage; page <= lastPage && !Ended(lastOutcome); ++page)
            for (int offset = 0; offset < kPageWords && !Ended(lastOutcome); offset += kWordsPerFrame)
                WriteXFLASH(uint16_t(offset), uint16_t(page));
        // the last frame's answer stands once the line stayed quiet after it
        if (!Ended(lastOutcome) && ConfirmLastAnswer() == Outcome::Disturbed) ++unconfirmedFrames;
        if (Ended(lastOutcome)) {
            Status(EndedText(lastOutcome));
            // after a port change the new connection's texts follow: this one comes again last
            if (lastOutcome == Outcome::ConnectionChanged) RememberFailure(szStatus);
        } else if (unconfirmedFrames > 0) {
            Status("X-FLASH write incomplete: " + std::to_string(unconfirmedFrames) +
                   (unconfirmedFrames == 1 ? " frame" : " frames") + " not confirmed!");
        }
        stop_flag = 1;
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
