// The line check and the sensor identification: the echo request, the hardware answer (CCD
// geometry, board, firmware number, hardware code) and the firmware text.
#include <algorithm>
#include <array>
#include <string>

#include "link/road.h"
#include "sensor/codec.h"
#include "sensor/hardware.h"
#include "sensor/vars.h"

int ident_flag = 0;

namespace {

SensorIdentity lastIdentity;
std::string firmwareText;

}  // namespace

const SensorIdentity& LastIdentity() { return lastIdentity; }
const std::string& FirmwareTextRead() { return firmwareText; }

int CheckComLine(int /*port*/) {
    // the exchange goes to the port of the connection
    parameter[2] = 0;
    CopyVarsToPP(0);
    Request r;
    r.expect.command = ECHO_CHECK;
    const Outcome o = Exchange(r);
    if (o == Outcome::Answered) {
        pp[0] = GetWord(szReadBuf.data(), 0);
        return 1;
    }
    if (o == Outcome::Refused && LastRefusal().kind == Refusal::Sync) pp[0] = LastRefusal().value;
    return 0;
}

int GetHARDWAREInfo() {
    Request r;
    r.expect.command = GET_HARDWARE;
    if (Exchange(r) != Outcome::Answered) return 0;
    // Only a hardware answer (command word 10) gets here: it identifies the sensor.
    std::array<uint16_t, 13> w{};
    for (int i = 1; i <= 12; ++i) w[size_t(i)] = GetWord(szReadBuf.data(), i);
    lastIdentity = IdentifySensor(w);
    ident_flag = 1;
    return 1;
}

int GetVERSIONInfo(WrittenHook written) {
    Request r;
    r.expect.command = GET_VERSION;
    r.written = written;
    const Outcome o = Exchange(r);
    firmwareText.clear();
    szVersion.clear();
    if (o == Outcome::Answered) {
        firmwareText = FirmwareText(szReadBuf.data(), FIRMWARE_TEXT_BYTES, pcbtype == 0 ? 2 : 1);
        if (pcbtype == 0) szVersion = firmwareText;
        return FIRMWARE_TEXT_BYTES;
    }
    if (o == Outcome::LineLost || o == Outcome::ConnectionChanged) return 0;
    return o == Outcome::Disturbed ? std::max(FIRMWARE_TEXT_BYTES + 1, LastRefusal().bytes) : nBytesR;
}
