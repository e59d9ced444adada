// The connect sequence on a port (line check, identification, parameter read, firmware text) and
// the controls that follow the identified sensor.
#include <array>
#include <string>

#include "link/com232.h"
#include "params/status.h"
#include "ops/ops.h"
#include "params/origin.h"
#include "params/panels.h"
#include "platform/rs232.h"
#include "platform/userint.h"
#include "platform/utility.h"
#include "sensor/hardware.h"
#include "sensor/vars.h"

namespace {

void WriteSensorLines(const std::array<std::string, 4>& lines) {
    for (int i = 0; i < 4; ++i) ReplaceTextBoxLine(pCalib, CALIB_TEXTBOXsensor, i, lines[size_t(i)]);
}

void FillEvalList() {
    const bool peak = HWTYPE == 2;
    ReplaceListItem(pPara1, PARA1_DROPevalmode, 0, peak ? "LEFT-PEAK" : "LEFT-EDGE", 0);
    ReplaceListItem(pPara1, PARA1_DROPevalmode, 1, peak ? "RIGHT-PEAK" : "RIGHT-EDGE", 1);
    ReplaceListItem(pPara1, PARA1_DROPevalmode, 2, peak ? "PEAK-TO-PEAK" : "WIDTH", 2);
}

void SetAnaModeDirect() { ReplaceListItem(pPara1, PARA1_DROPanaMode, 1, "DIRECT 5V/SET", 1); }

void LabelTolerance(const char* label) {
    SetCtrlLabel(pPara1, PARA1_NEDITTolerance, label);
    SetCtrlVisible(pPara1, PARA1_NEDITTolerance, true);
}

void Family1() {
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
}

void Family4() {
    auto displayPrecision = [] {
        SetCtrlPrecision(pHandle, PANEL_NUMumValue, 2);
        SetCtrlPrecision(pHandle, PANEL_NUMTolUP, 1);
        SetCtrlPrecision(pHandle, PANEL_NUMTol, 1);
    };
    if (hwtype == 20250) {
        SetCtrlVisible(pPara1, PARA1_DROPhardware, false);
        SetCtrlDimmed(pCalib, CALIB_BINSWopmode, true);
        SetCtrlVisible(pPara1, PARA1_DROPhold, true);
        displayPrecision();
    }
    if (hwtype == 37 || hwtype == 55 || hwtype == 10055 || hwtype == 80 || hwtype == 10080) {
        ReplaceListItem(pPara1, PARA1_DROPtrigmode, 3, "INTERN TRIG", 3);
        SetCtrlVisible(pPara1, PARA1_DROPhold, false);
        SetCtrlVisible(pPara2, PARA2_NUMTriggThreshold, true);
        SetCtrlOnOffText(pCalib, CALIB_BINSWopmode, "ADC-CONV", "DIG-COMP");
        SetCtrlVisible(pHandle, PANEL_BTNData, true);
        if (hwtype == 80 || hwtype == 10080) displayPrecision();
    }
    SetAnaModeDirect();
    SetCtrlVisible(pPara1, PARA1_BINSWoption, false);
    if (softversion <= 305) SetCtrlDimmed(pCalib, CALIB_BINSWopmode, true);
    SetCtrlVisible(pPara1, PARA1_NEDITToleranceUP, true);
    LabelTolerance("TOLERANCE-LOW");
    if (HWTYPE >= 1 && HWTYPE <= 3) FillEvalList();
}

void Family101() {
    if (hwtype != 500) return;
    SetCtrlVisible(pPara1, PARA1_BINSWoption, false);
    SetCtrlVisible(pPara1, PARA1_DROPhardware, false);
    SetCtrlVisible(pPara1, PARA1_DROPhold, true);
    SetAnaModeDirect();
    LabelTolerance("TOLERANCE-LOW");
    SetCtrlVisible(pPara1, PARA1_NEDITToleranceUP, true);
    SetCtrlVisible(pCalib, CALIB_BINSWopmode, false);
}

void UnknownFamily() {
    SetAnaModeDirect();
    LabelTolerance("TOLERANCE");
    SetCtrlVisible(pPara1, PARA1_NEDITToleranceUP, false);
    SetCtrlVisible(pPara1, PARA1_BINSWoption, true);
    SetCtrlDimmed(pPara1, PARA1_BINSWoption, true);
    SetCtrlVisible(pPara1, PARA1_DROPhold, false);
    SetCtrlVisible(pPara1, PARA1_DROPhardware, false);
    SetCtrlDimmed(pHandle, PANEL_BTNSend, true);
}

}  // namespace

void ShowHARDWAREInfo(const SensorIdentity& id) {
    SetAxisScalingMode(pHandle, PANEL_GRAPHVideo, XAXIS, VAL_MANUAL, 1, id.virtPixelSent);
    SetAxisScalingMode(pHandle, PANEL_GRAPHData, XAXIS, VAL_MANUAL, 1, 256);
    if (!id.knownFamily || id.row) {
        WriteSensorLines(SensorLines(id));
        DesignationFromSensor();
    }
    switch (ccdtype) {
    case 1: Family1(); break;
    case 4: Family4(); break;
    case 101: Family101(); break;
    default: UnknownFamily(); break;
    }
    if (id.knownFamily) SetCtrlDimmed(pHandle, PANEL_BTNSend, false);
    if (softversion < 305) {
        ReplaceListItem(pPara1, PARA1_DROPtrigmode, 3, "NOT-USED", 1);
        SetCtrlVisible(pPara2, PARA2_NUMTriggThreshold, false);
        SetCtrlVisible(pHandle, PANEL_BTNData, false);
    }
}

namespace {

// The line check's outcome as the status line says it; true when the line is good.
bool ShowEchoCheck(int result) {
    if (result == 1) {
        szStatus = "Echo Check - Line Ok!";
    } else {
        switch (LastOutcome()) {
        case Outcome::Refused:
            szStatus = LastRefusal().kind == Refusal::Sync ? "read error - not sync byte 0xAA!" : RefusalText("line not checked");
            break;
        case Outcome::Disturbed: szStatus = kDisturbedText; break;
        case Outcome::LineLost: szStatus = LineLostText(); break;
        default: szStatus = "Timeout-RS-232..."; break;
        }
    }
    ShowStatus(szStatus);
    return result == 1;
}

void WaitingForFirmware(bool all) {
    if (all) ShowStatus("Waiting for parameter-frame ...");
    ShowStatus("Waiting for firmware info ...");
}

// The firmware request's outcome in the status line; the number of bytes that came.
int ShowVersionInfo() {
    const int n = GetVERSIONInfo(WaitingForFirmware);
    switch (LastOutcome()) {
    case Outcome::Answered: szStatus = FirmwareTextRead(); break;
    case Outcome::Disturbed:
        szStatus = "Error reading firmware-info! - " + std::to_string(n) + " bytes instead of 72";
        break;
    case Outcome::Refused: szStatus = RefusalText("firmware info not read"); break;
    case Outcome::LineLost: szStatus = LineLostText(); break;
    default: szStatus = "Timeout - reading firmware info!"; break;
    }
    ShowStatus(szStatus);
    return n;
}

}  // namespace

void InitRS232(int port) {
    ident_flag = 0;
    const int r = OpenLine(port);
    if (r < 0) {
        // The text for the kind of failure, then the system's reason and, for a port the user may
        // not use, the cure.
        szStatus = ComOpenErrorText(r);
        const std::string why = ComOpenErrorDetail(port);
        if (!why.empty()) szStatus += ": " + why;
        ShowStatus(szStatus);
        return;
    }
    // The connect sequence is a sensor exchange of its own: buttons pressed meanwhile are refused,
    // and a port change ends it.
    BeginConnectOp();
    const int conn = Connection();
    if (!ShowEchoCheck(CheckComLine(port))) {
        EndSensorOp();
        return;
    }
    // Each failure is kept: the status line ends with the first one, after the firmware text.
    std::string failure;
    if (GetHARDWAREInfo() == 0) {
        szStatus = "Error reading HARDWARE-info!";
        failure = szStatus;
    } else {
        ShowHARDWAREInfo(LastIdentity());
    }
    Delay(0.1);
    for (uint16_t frame : {0, 1}) {
        if (conn != Connection()) break;
        PushGET(RAM, frame);
        if (failure.empty() && szStatus != "Parameter-frame received! - Line Ok!") failure = szStatus;
        Delay(0.1);
    }
    if (conn == Connection()) {
        const int n = ShowVersionInfo();
        if (n < 72) szStatus = "Error reading firmware-info!";
        if (n != 72 && failure.empty()) failure = szStatus;
    }
    if (conn == Connection()) {
        ShowStatus(szStatus);
        if (!failure.empty() && failure != szStatus) ShowStatus(failure);
    }
    EndSensorOp();
}
