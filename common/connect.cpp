// The connection to the sensor as the sub-commands make it, the texts of failed exchanges, the
// parameter set as 30 words.
#include "common/connect.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "common/text.h"
#include "link/com232.h"
#include "platform/rs232.h"
#include "platform/utility.h"
#include "sensor/codec.h"
#include "sensor/hardware.h"
#include "sensor/vars.h"

namespace {

std::string shownDevice;  // the device the sub-command talks to, for its messages

bool AllDigits(const std::string& s) {
    if (s.empty() || s.size() > 6) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// What -p names: a port number, or a device opened under port 1.
struct PortChoice {
    int port = 1;
    std::string device;  // "" for a port number
    int code = kExitOk;  // a name that leads nowhere (kExitPort) or to two devices (kExitUsage)
    std::string problem;
};

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// An absolute path as it stands. A relative one is taken from the working directory when it exists
// there, else, unless it begins with ./ or ../, as a name under /dev (ttyUSB0, serial/by-id/...);
// the serial port library would otherwise take any name without a leading / as one under /dev.
PortChoice ChoosePort(const std::string& given) {
    PortChoice c;
    if (AllDigits(given)) {
        c.port = std::stoi(given);
        return c;
    }
    c.device = given;
    if (given.empty() || given[0] == '/') return c;
    std::error_code ec;
    const std::string here = std::filesystem::absolute(given, ec).lexically_normal().string();
    const bool explicitlyHere = given.rfind("./", 0) == 0 || given.rfind("../", 0) == 0;
    const std::string underDev = "/dev/" + given;
    const bool isHere = !ec && Exists(here), isUnderDev = !explicitlyHere && Exists(underDev);
    const std::string shownHere = explicitlyHere ? given : "./" + given;
    if (isHere && isUnderDev && !SameFile(here, underDev)) {
        c.code = kExitUsage;
        c.problem = given + " names both " + shownHere + " and " + underDev + " - say which";
    } else if (isHere) {
        c.device = here;
    } else if (isUnderDev) {
        c.device = underDev;
    } else {
        c.code = kExitPort;
        c.problem = "no serial port found: " +
                    (explicitlyHere ? given + " does not exist" : "neither " + shownHere + " nor " + underDev + " exists");
    }
    return c;
}

std::string Hex4(uint16_t w) {
    char t[8];
    std::snprintf(t, sizeof t, "0x%04X", unsigned(w));
    return t;
}

}  // namespace

std::string PortDevice(const Args& a) {
    const PortChoice c = ChoosePort(a.port);
    if (!c.device.empty()) return c.device;
    const std::string named = ComDeviceName(c.port);
    return named.empty() ? "port " + std::to_string(c.port) : named;
}

const std::string& ShownDevice() { return shownDevice; }

bool ScannedUnasked(const std::string& device) {
    char real[PATH_MAX];
    const std::string path = ::realpath(device.c_str(), real) ? std::string(real) : device;
    const std::string name = std::filesystem::path(path).filename().string();
    return !(name.size() > 4 && name.rfind("ttyS", 0) == 0 && name.find_first_not_of("0123456789", 4) == std::string::npos);
}

namespace {

struct Failure {
    int code;
    std::string text;  // what happened
    std::string hint;  // what to check
};

// Why the last exchange, the request for `what`, did not succeed.
Failure WhyFailed(const std::string& what) {
    const std::string& at = shownDevice;
    if (!IsComOpen(com))
        return {kExitLineLost, at + ": the line went away during " + what, "adapter unplugged or port closed"};
    const Refusal& r = LastRefusal();
    switch (r.kind) {
    case Refusal::Sync:
        return {kExitRefused, at + ": answer to " + what + " without the sensor's sync word 0x00AA (" + Hex4(r.value) + ")",
                "is a KRYTA-LT sensor on this port, at 19200 baud?"};
    case Refusal::Command: {
        const std::string n = std::to_string(r.value);
        if (r.request == GET_RAW)
            return {kExitRefused, at + ": no measurement frame in answer to " + what + " (a frame with command " + n +
                                      " passed over)", ""};
        if (r.value == GET_RAW) return {kExitRefused, at + ": a measurement frame answered " + what, ""};
        if (r.request == GET_HARDWARE)
            return {kExitRefused, at + ": answer to " + what + " without command word 10 (command " + n + ")", ""};
        return {kExitRefused, at + ": answer of another request (command " + n + ") to " + what, ""};
    }
    case Refusal::Twice:
        return {kExitRefused, at + ": two frames came in answer to " + what + " (a late one, or one sent twice)",
                "nothing of them was taken"};
    case Refusal::Argument:
        return {kExitRefused, at + ": answer for another frame (argument " + std::to_string(r.value) + ") to " + what, ""};
    case Refusal::Disturbed:
        return {kExitRefused, at + ": the line is disturbed: bytes around the answer to " + what,
                "check the cable and that nothing else talks on the line"};
    default: break;
    }
    if (LastOutcome() == Outcome::TimedOut && nBytesR > 0)
        return {kExitRefused, at + ": an answer to " + what + " that stopped short: " + std::to_string(nBytesR) +
                                  " bytes within 1.5 s", "check the cable and that nothing else talks on the line"};
    return {kExitNoAnswer, at + ": no answer to " + what + " within 1.5 s",
            "is the sensor connected, powered and on this port?"};
}

}  // namespace

int ExchangeFailed(const std::string& what) {
    const Failure f = WhyFailed(what);
    return Fail(f.code, f.text + (f.hint.empty() ? "" : " - " + f.hint));
}

int ExchangeFailedText(const std::string& what, std::string& text) {
    const Failure f = WhyFailed(what);
    text = f.text;
    return f.code;
}

namespace {

// ReadConfirmedSet's work: kExitOk, or the failure with its text and hint.
Failure ConfirmedSet(int memTarget, std::array<uint16_t, 30>& words, bool holdInterruption) {
    const char* memory = memTarget == EEPROM ? "EEPROM" : "RAM";
    std::vector<std::array<uint16_t, 30>> reads;
    Failure last{kExitOk, "", ""};
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0) Delay(0.1);
        bool whole = true;
        for (uint16_t frame : {0, 1}) {
            if (ReadParameterFrame(memTarget, frame) != Outcome::Answered) {
                last = WhyFailed(std::string("the request for ") + memory + " parameter frame " + std::to_string(frame));
                if (last.code == kExitLineLost) return {last.code, last.text, ""};
                whole = false;
                break;
            }
            if (frame == 0) Delay(0.1);
        }
        if (Interrupted() && !holdInterruption) return {kExitInterrupted, "interrupted", "nothing read"};
        if (!whole) continue;
        const std::array<uint16_t, 30> set = StoredSet();
        for (const auto& earlier : reads) {
            if (earlier == set) {
                words = set;
                return {kExitOk, "", ""};
            }
        }
        reads.push_back(set);
    }
    if (reads.size() >= 2)
        return {kExitRefused, shownDevice + ": " + std::to_string(reads.size()) + " reads of the " + memory +
                                  " parameter set disagree", "is the line disturbed?"};
    return last;
}

}  // namespace

int ReadConfirmedSet(int memTarget, std::array<uint16_t, 30>& words, bool holdInterruption) {
    const Failure f = ConfirmedSet(memTarget, words, holdInterruption);
    return f.code == kExitOk ? kExitOk : Fail(f.code, f.text + (f.hint.empty() ? "" : " - " + f.hint));
}

int ReadConfirmedSetText(int memTarget, std::array<uint16_t, 30>& words, std::string& text) {
    const Failure f = ConfirmedSet(memTarget, words, false);
    text = f.text;
    return f.code;
}

int Connect(const Args& a, Reach reach, bool mustIdentify) {
    const PortChoice choice = ChoosePort(a.port);
    const int port = choice.port;
    shownDevice = PortDevice(a);
    if (choice.code != kExitOk) return Fail(choice.code, choice.problem);
    if (port < 1) return Fail(kExitUsage, "port numbers start at 1");
    com = port;
    ident_flag = 0;
    const int r = OpenLine(port, choice.device);
    if (r < 0) {
        // the window's text for the kind of failure, the system's reason and, for a port the user
        // may not use, the cure
        const std::string why = ComOpenErrorDetail(port);
        return Fail(kExitPort, AsMessage(ComOpenErrorText(r)) + (why.empty() ? "" : ": " + why));
    }
    if (Interrupted()) return Fail(kExitInterrupted, "interrupted - nothing done");
    if (CheckComLine(port) != 1) return ExchangeFailed("the echo check");
    if (GetHARDWAREInfo() == 0) {
        const Failure f = WhyFailed("the identification request");
        if (f.code == kExitLineLost) return Fail(f.code, f.text);
        if (mustIdentify)
            return Fail(kExitNotIdentified, shownDevice + ": sensor not identified (" +
                                                f.text.substr(shownDevice.size() + 2) + ")");
        std::fprintf(stderr, "kryta-lt: warning: %s: the sensor did not answer the identification; its "
                             "parameters are named as those of the standard firmware\n",
                     shownDevice.c_str());
    }
    Delay(0.1);
    if (reach == Reach::Parameters) {
        std::array<uint16_t, 30> words{};
        if (const int code = ReadSet(RAM, words); code != kExitOk) return code;
        Delay(0.1);
    }
    if (Interrupted()) return Fail(kExitInterrupted, "interrupted - nothing done");
    return kExitOk;
}

int Probe(const Args& a, std::string& found) {
    const PortChoice choice = ChoosePort(a.port);
    const int port = choice.port;
    shownDevice = PortDevice(a);
    if (choice.code != kExitOk) {
        found = "cannot open: " + choice.problem;
        return choice.code;
    }
    com = port;
    ident_flag = 0;
    if (const int r = OpenLine(port, choice.device); r < 0) {
        const std::string why = ComOpenErrorDetail(port), holder = ComDeviceHeldBy(port);
        found = !holder.empty() ? "in use by " + holder
                                : "cannot open: " + (why.empty() ? AsMessage(ComOpenErrorText(r)) : why);
        return kExitPort;
    }
    if (CheckComLine(port) != 1) {
        const Failure f = WhyFailed("the echo check");
        found = f.code == kExitNoAnswer ? "silent" : f.text.substr(shownDevice.size() + 2);
        return f.code;
    }
    if (GetHARDWAREInfo() == 0) {
        const Failure f = WhyFailed("the identification request");
        found = "answers the echo check, not the identification (" + f.text.substr(shownDevice.size() + 2) + ")";
        return f.code == kExitLineLost ? f.code : kExitNotIdentified;
    }
    found = "";
    return kExitOk;
}

int ReadSet(int memTarget, std::array<uint16_t, 30>& words) {
    const char* memory = memTarget == EEPROM ? "EEPROM" : "RAM";
    for (uint16_t frame : {0, 1}) {
        if (ReadParameterFrame(memTarget, frame) != Outcome::Answered)
            return ExchangeFailed(std::string("the request for ") + memory + " parameter frame " +
                                  std::to_string(frame));
        if (frame == 0) Delay(0.1);
    }
    if (!ParameterSetTaken())
        return Fail(kExitRefused, shownDevice + ": the " + memory + " parameter frames did not come as one set");
    words = StoredSet();
    return kExitOk;
}

void LoadSet(const std::array<uint16_t, 30>& words) {
    for (uint16_t frame : {0, 1}) {
        for (int i = 0; i < 15; ++i) pp[size_t(i)] = words[size_t(15 * frame + i)];
        CopyPPtoVars(frame);
    }
}

std::array<uint16_t, 30> StoredSet() {
    std::array<uint16_t, 30> words{};
    for (uint16_t frame : {0, 1}) {
        CopyVarsToPP(frame);
        for (int i = 0; i < 15; ++i) words[size_t(15 * frame + i)] = pp[size_t(i)];
    }
    return words;
}

// ---------------------------------------------------------------------------------------------

int ReadFirmwareText(std::string& text) {
    const int n = GetVERSIONInfo();
    if (!IsComOpen(com)) return ExchangeFailed("the firmware request");
    text = n == FIRMWARE_TEXT_BYTES ? FirmwareTextRead() : "";
    if (n != FIRMWARE_TEXT_BYTES) {
        const Failure f = WhyFailed("the firmware request");
        std::fprintf(stderr, "kryta-lt: warning: %s\n", f.text.c_str());
    }
    return kExitOk;
}
