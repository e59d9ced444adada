// Sensor identification: the hardware answer (CCD geometry, board, firmware number, hardware
// code) and the firmware text.
#include <algorithm>
#include <array>
#include <string>

#include "link/com232.h"
#include "link/status.h"
#include "sensor/hardware.h"
#include "sensor/vars.h"

int ident_flag = 0;
int params_flag = 0;
const char* const kNotIdentifiedText = "Sensor not identified! - select the COM-port again";
const char* const kNotReadText = "Parameters not read from this sensor! - press GET first";

namespace {

SensorIdentity lastIdentity;

}  // namespace

const SensorIdentity& LastIdentity() { return lastIdentity; }

bool RefuseUnidentified() {
    if (ident_flag == 1 && params_flag == 1) return false;
    szStatus = ident_flag == 1 ? kNotReadText : kNotIdentifiedText;
    ShowStatus(szStatus);
    return true;
}

int GetHARDWAREInfo() {
    parameter[1] = GET_HARDWARE;
    parameter[2] = 0;
    FillTxBuf(GET_HARDWARE, 0, pp.data());
    switch (Exchange({GET_HARDWARE})) {
    case Outcome::Answered: break;
    case Outcome::LineLost: szStatus = LineLostText(); return 0;
    default: szStatus = "Timeout-RS-232..."; return 0;
    }
    // Only a hardware answer (command word 10) gets here: it identifies the sensor.
    std::array<uint16_t, 13> w{};
    for (int i = 1; i <= 12; ++i) w[size_t(i)] = GetWord(szReadBuf.data(), i);
    lastIdentity = IdentifySensor(w);
    ident_flag = 1;
    return 1;
}

int GetVERSIONInfo() {
    parameter[1] = GET_VERSION;
    parameter[2] = 0;
    FillTxBuf(GET_VERSION, 0, pp.data());
    const Outcome o = Exchange({GET_VERSION, false, false, "Waiting for parameter-frame ...",
                                "Waiting for firmware info ..."});
    const int n = o == Outcome::LineLost || o == Outcome::ConnectionChanged ? 0 : std::max(nBytesR, LastRefusal().bytes);
    szVersion.clear();
    if (o == Outcome::Answered) {
        if (pcbtype == 0) {
            szVersion = FirmwareText(szReadBuf.data(), FIRMWARE_TEXT_BYTES, 2);
            szStatus = szVersion;
        } else {
            szStatus = FirmwareText(szReadBuf.data(), FIRMWARE_TEXT_BYTES, 1);
        }
    } else if (o == Outcome::Refused) {
        szStatus = "Error reading firmware-info! - " + std::to_string(n) + " bytes instead of 72";
    } else if (o == Outcome::LineLost) {
        szStatus = LineLostText();
    } else {
        szStatus = "Timeout - reading firmware info!";
    }
    rx_flag = 0;
    ShowStatus(szStatus);
    return n;
}
