// The data recorder: samples the sensor at a fixed time increment and appends one tab-separated
// line per sample to the recorder file.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "display/display.h"
#include "files/files.h"
#include "link/com232.h"
#include "params/status.h"
#include "params/panels.h"
#include "platform/events.h"
#include "platform/userint.h"
#include "platform/utility.h"
#include "sensor/codec.h"
#include "sensor/files.h"
#include "sensor/vars.h"

std::string rec_fname;

namespace {

// Stop reasons held in stop_flag while recording.
constexpr int kRecRunning = 0;
constexpr int kRecStopped = 1;
constexpr int kRecCompleted = 2;
constexpr int kRecTimeout = 3;
constexpr int kRecFileError = 4;  // the recorder file could not be written
constexpr int kRecLineLost = 5;   // the port went away
constexpr int kRecDisturbed = 6;  // an answer with bytes around it: not recorded
constexpr int kRecRefused = 7;    // an answer that was not the sample's (see LastRefusal): not recorded

constexpr int kGreenDark = 0x008000;
constexpr int kWhite = 0xFFFFFF;
constexpr int kBlack = 0x000000;
constexpr int kRed = 0xFF0000;
constexpr int kGreyLight = 0xE0E0E0;

constexpr double kServiceIncrement = 8642.0;

// A recording runs (its file is not to be replaced meanwhile).
bool recording = false;
// Why the recording ended on a refused answer.
std::string refusedText;

void RecStatus(const std::string& text) { ResetTextBox(pRec, RECORD_TEXTBOXrecstatus, text); }

// n x t in whole seconds, kept within what CalcRecTime takes.
int32_t WholeSeconds(double seconds) {
    if (!(seconds > 0)) return 0;
    if (seconds >= double(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    return int32_t(seconds);
}

void ReadPlan(uint16_t& samples, double& increment) {
    samples = 0;
    increment = 0;
    GetCtrlVal(pRec, RECORD_NUMsample, samples);
    GetCtrlVal(pRec, RECORD_NUMinctime, increment);
}

// Header lines 1 to 7; false when the file could not be written.
bool AppendHeader() {
    uint16_t samples;
    double increment;
    ReadPlan(samples, increment);
    return AppendWhole(rec_fname, RecorderHeader(DateStr(), TimeStr(), increment, samples));
}

void SetRecButtonsDimmed(bool dimmed) {
    SetCtrlDimmed(pHandle, PANEL_BTNRun, dimmed);
    SetCtrlDimmed(pHandle, PANEL_BTNVideo, dimmed);
    SetCtrlDimmed(pPara2, PARA2_ButtonTeach, dimmed);
    SetCtrlDimmed(pRec, RECORD_CBTNStartRecord, dimmed);
    SetCtrlDimmed(pRec, RECORD_CMDBTNrecfile, dimmed);
}

void PlotEdgeGraphOfVariant() {
    switch (DisplayVariant()) {
    case Variant::CL: PlotVIDEOBarGraphCL(); break;
    case Variant::V303: PlotVIDEOBarGraphV303(); break;
    default: PlotVIDEOBarGraph(); break;
    }
}

// One sample: request, answer, graph, data line. Sets stop_flag on a time-out, a lost line or a
// write error. Result: true when a data line was written.
bool TakeSample() {
    RecStatus("DATA-RECORDER: RS-232-BUSY ...");
    // Only a measurement frame is a sample; any other answer is as good as none. A sample whose
    // exchange has begun is taken: STOP ends the recording between samples.
    Measurement m;
    m.stoppable = false;
    switch (ExchangeMeasurement(m)) {
    case Outcome::Answered: break;
    case Outcome::TimedOut:
        ShowStatus("Timeout RS232-Line!");
        stop_flag = kRecTimeout;
        return false;
    case Outcome::Refused:
        refusedText = "Data-Recorder error - " + RefusalText("not recorded");
        if (refusedText.size() > 72) refusedText = RefusalText("not recorded");
        stop_flag = kRecRefused;
        return false;
    case Outcome::Disturbed:
        stop_flag = kRecDisturbed;
        return false;
    case Outcome::LineLost:
        ShowStatus(LineLostText());
        stop_flag = kRecLineLost;
        return false;
    default: return false;  // STOP or a port change: stop_flag says so
    }
    CopyPPtoRAWVars();
    PlotEdgeGraphOfVariant();
    RecStatus("APPEND TO DATA-FILE...");
    if (!AppendWhole(rec_fname, RecorderDataLine())) {
        stop_flag = kRecFileError;
        return false;
    }
    return true;
}

// Deletes the file to be overwritten; false, with the reason in the status line, when it stays.
bool DeleteForOverwrite(const std::string& path) {
    std::string reason;
    if (RemoveFile(path, reason)) return true;
    ShowStatus("Cannot delete " + path + ": " + reason + " - nothing recorded!");
    return false;
}

}  // namespace

void CalcRecTime(int32_t seconds) {
    int32_t s = seconds;
    const int32_t days = s / 86400;
    s -= days * 86400;
    const int32_t hours = s / 3600;
    s -= hours * 3600;
    const int32_t minutes = s / 60;
    const int32_t secs = s - minutes * 60;
    SetCtrlVal(pRec, RECORD_NUMrecday, unsigned(uint16_t(days)));
    SetCtrlVal(pRec, RECORD_NUMrechour, unsigned(uint16_t(hours)));
    SetCtrlVal(pRec, RECORD_NUMrecmin, unsigned(uint16_t(minutes)));
    SetCtrlVal(pRec, RECORD_NUMrecsec, unsigned(uint16_t(secs)));
}

void writeFileHeader() { AppendHeader(); }

int CC_CMDBTNrecfile(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    if (recording) {
        ShowStatus("Recording runs - the recorder file cannot be changed now!");
        return 0;
    }
    std::string path;
    const int chosen = FileSelectPopup(proj_dir, "RECORD.DAT", "*.dat", "KRYTA-Series Recorder-File:", "OK",
                                       false, true, true, true, path);
    if (chosen == VAL_EXISTING_FILE_SELECTED) {
        // Declined: the previous file stays the recorder file, as the file-name box shows.
        if (ConfirmPopup("ATTENTION!", "Output-File already exist! - Overwrite ?") != 1) return 0;
        if (!DeleteForOverwrite(path)) return 0;
    } else if (chosen != VAL_NEW_FILE_SELECTED) {
        return 0;
    }
    rec_fname = path;
    ResetTextBox(pRec, RECORD_TEXTBOXrecfile, rec_fname);
    return 0;
}

int CC_NUMsample(int, int, int event, void*, int, int) {
    if (event != EVENT_VAL_CHANGED) return 0;
    uint16_t n;
    double t;
    ReadPlan(n, t);
    if (n < 32000) CalcRecTime(WholeSeconds(double(n) * t));
    return 0;
}

int CC_NUMinctime(int, int, int event, void*, int, int) {
    if (event != EVENT_VAL_CHANGED) return 0;
    uint16_t n;
    double t;
    ReadPlan(n, t);
    if (t < 3600) CalcRecTime(WholeSeconds(double(n) * t));
    if (t == kServiceIncrement) {
        SetCtrlVisible(pCalib, CALIB_BTNWriteXFLASH, true);
        SetCtrlDimmed(pCalib, CALIB_BTNWriteXFLASH, false);
        SetCtrlDimmed(pCalib, CALIB_NUMCalFactor, false);
    }
    return 0;
}

int CC_CBTNStopRecord(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    stop_flag = kRecStopped;
    SetRecButtonsDimmed(false);
    return 0;
}

int CC_CBTNStartRecord(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    SensorOp op;
    if (!op.ok) return 0;

    {
        // One sample is one exchange with the line's quiet time after it: a shorter increment would
        // put the samples further apart than the header says.
        uint16_t n;
        double t;
        ReadPlan(n, t);
        const double shortest = ShortestIncrement();
        if (t > 0 && t < shortest) {
            ShowStatus("Time-Increment too short - the shortest is " + FormatReal(shortest) + " s (or 0)!");
            return 0;
        }
    }
    long size = 0;
    if (GetFileInfo(rec_fname, size) == 1) {
        if (ConfirmPopup("ATTENTION !", "File already exist - overwrite ?") != 1) return 0;
        if (!DeleteForOverwrite(rec_fname)) return 0;
    }
    recording = true;

    SetRecButtonsDimmed(true);
    SetCtrlTextBgColor(pRec, RECORD_TEXTBOXrecstatus, kGreenDark);
    SetCtrlTextColor(pRec, RECORD_TEXTBOXrecstatus, kWhite);
    SetCtrlBold(pRec, RECORD_TEXTBOXrecstatus, true);
    for (int ctrl : {RECORD_STRrecdate, RECORD_STRrectime, RECORD_NUMreccount, RECORD_NUMrecday,
                     RECORD_NUMrechour, RECORD_NUMrecmin, RECORD_NUMrecsec})
        SetCtrlDimmed(pRec, ctrl, false);
    SetCtrlVal(pRec, RECORD_STRrecdate, DateStr());
    SetCtrlVal(pRec, RECORD_STRrectime, TimeStr());
    SetCtrlVal(pRec, RECORD_NUMreccount, 0);

    const bool headerWritten = AppendHeader();

    uint16_t n;
    double t;
    ReadPlan(n, t);
    const double t0 = Timer();
    double tl = t0;
    stop_flag = headerWritten ? kRecRunning : kRecFileError;
    graph_flag = 0;
    uint16_t k = 0;
    int32_t shownSeconds = -1;
    while (stop_flag == kRecRunning) {
        if (k < n && Timer() - tl >= t) {
            tl = Timer();
            if (TakeSample()) {
                ++k;
                SetCtrlVal(pRec, RECORD_NUMreccount, unsigned(k));
                ShowStatus("Data-Recorder active!   Sample: " + std::to_string(k));
            }
            graph_flag = 0;
        }
        // the elapsed time changes once a second: showing it more often only repaints
        if (const int32_t s = WholeSeconds(Timer() - t0); s != shownSeconds) {
            CalcRecTime(s);
            shownSeconds = s;
        }
        // All samples taken: completed, also when a stop request came during the last exchange.
        if (k >= n && (stop_flag == kRecRunning || stop_flag == kRecStopped)) stop_flag = kRecCompleted;
        // Sleep until the next sample is due, the elapsed time's next second, or the operator.
        if (stop_flag == kRecRunning) WaitForEvent(std::min(tl + t, t0 + shownSeconds + 1.0));
    }

    graph_flag = 0;
    ProcessSystemEvents();
    SetRecButtonsDimmed(false);
    recording = false;

    switch (stop_flag) {
    case kRecCompleted:
        SetCtrlTextBgColor(pRec, RECORD_TEXTBOXrecstatus, kGreyLight);
        SetCtrlTextColor(pRec, RECORD_TEXTBOXrecstatus, kBlack);
        SetCtrlBold(pRec, RECORD_TEXTBOXrecstatus, false);
        RecStatus("DATA-RECORDER COMPLETED!");
        ShowStatus("Data-Recorder completed successfully!");
        break;
    case kRecTimeout:
        SetCtrlTextBgColor(pRec, RECORD_TEXTBOXrecstatus, kRed);
        RecStatus("DATA-REC. ERROR - TIMEOUT!");
        ShowStatus("Data-Recorder error - rs232 timeout!");
        break;
    case kRecLineLost:
        SetCtrlTextBgColor(pRec, RECORD_TEXTBOXrecstatus, kRed);
        RecStatus("DATA-REC. ERROR - LINE LOST!");
        ShowStatus(LineLostText());
        break;
    case kRecDisturbed:
        SetCtrlTextBgColor(pRec, RECORD_TEXTBOXrecstatus, kRed);
        RecStatus("DATA-REC. ERROR - LINE DISTURBED!");
        ShowStatus(kDisturbedText);
        break;
    case kRecRefused:
        // the status line keeps the refusal's reason
        SetCtrlTextBgColor(pRec, RECORD_TEXTBOXrecstatus, kRed);
        RecStatus("DATA-REC. ERROR - ANSWER REFUSED!");
        ShowStatus(refusedText);
        break;
    case kRecFileError:
        SetCtrlTextBgColor(pRec, RECORD_TEXTBOXrecstatus, kRed);
        RecStatus("DATA-REC. ERROR - FILE!");
        ShowStatus("Data-Recorder error - cannot write recorder file!");
        break;
    default:
        SetCtrlTextBgColor(pRec, RECORD_TEXTBOXrecstatus, kRed);
        RecStatus("DATA-RECORDER STOPPED!");
        ShowStatus("Data-Recorder stopped!");
        break;
    }
    return 0;
}
