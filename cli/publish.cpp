// kryta-lt publish: one sensor on the plant's MQTT broker. The sensor is connected as info
// connects it and its frames are exchanged as measure exchanges them; under a topic prefix go
//   PREFIX/status       retained: "online"; "offline" on a clean end and as the broker's last
//                       will; "line lost" when the sensor ends the work
//   PREFIX/identity     retained: the info --json object
//   PREFIX/parameters   retained: the get ram --json object, read at start
//   PREFIX/measurement  one object per published frame: measure --json's names, "seq" (the frame's
//                       number since start) and "time" (UTC, ISO 8601 with milliseconds)
// The broker's network thread does the publishing; the sensor loop never waits for it.
#include <mosquitto.h>
#include <unistd.h>

#include <QJsonObject>
#include <QString>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>

#include "cli/cli.h"
#include "cli/json.h"
#include "cli/mqtt.h"
#include "link/com232.h"
#include "platform/rs232.h"
#include "sensor/frame.h"
#include "sensor/vars.h"

namespace {

// HOST, HOST:PORT, [IPv6] or [IPv6]:PORT.
bool ParseBroker(const std::string& text, int defaultPort, std::string& host, int& port) {
    std::string rest;
    if (!text.empty() && text[0] == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos) return false;
        host = text.substr(1, close - 1);
        rest = text.substr(close + 1);
    } else {
        const auto colon = text.find(':');
        host = text.substr(0, colon);
        rest = colon == std::string::npos ? "" : text.substr(colon);
    }
    port = defaultPort;
    if (!rest.empty()) {
        if (rest[0] != ':' || rest.size() < 2 || rest.size() > 6 || rest.find_first_not_of("0123456789", 1) != std::string::npos)
            return false;
        port = std::stoi(rest.substr(1));
    }
    return !host.empty() && port >= 1 && port <= 65535;
}

// A name as one level of a topic: the wildcards and the level separator replaced.
std::string TopicLevel(std::string s) {
    for (char& c : s)
        if (c == '+' || c == '#' || c == '/') c = '_';
    return s.empty() ? "_" : s;
}

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "localhost";
    return name;
}

// Now, UTC, e.g. 2026-03-02T14:05:09.123Z.
std::string UtcNow() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm t{};
    gmtime_r(&ts.tv_sec, &t);
    char text[40];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &t);
    std::snprintf(text + n, sizeof text - n, ".%03dZ", int(ts.tv_nsec / 1000000));
    return text;
}

std::string Compact(const QJsonObject& o) {
    std::string line = JsonLine(o);
    line.pop_back();  // the line break
    return line;
}

// The first line of the file, without its line end.
bool ReadPassword(const std::string& path, std::string& password) {
    std::ifstream in(path);
    if (!in || !std::getline(in, password)) return false;
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return true;
}

}  // namespace

int CmdPublish(const Args& a) {
    if (!a.positional.empty()) return Fail(kExitUsage, "publish: no arguments beside its options");
    BrokerOptions o;
    if (a.broker.empty() || !ParseBroker(a.broker, a.cafile.empty() ? 1883 : 8883, o.host, o.port))
        return Fail(kExitUsage, "publish: say --broker HOST[:PORT] (see kryta-lt publish --help)");
    if (a.every < 1) return Fail(kExitUsage, "--every needs a whole number, 1 or more");
    if (a.qos != 0 && a.qos != 1) return Fail(kExitUsage, "--qos is 0 or 1");
    if (!a.passwordFile.empty() && a.username.empty()) return Fail(kExitUsage, "--password-file needs --username");
    const std::string device = PortDevice(a);
    std::string prefix = a.topic;
    while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
    if (prefix.empty()) prefix = "kryta/" + TopicLevel(HostName()) + "/" + TopicLevel(device.substr(device.rfind('/') + 1));
    if (mosquitto_pub_topic_check((prefix + "/status").c_str()) != MOSQ_ERR_SUCCESS)
        return Fail(kExitUsage, "--topic '" + prefix + "' is no topic to publish to (no + or #)");
    if (!a.passwordFile.empty() && !ReadPassword(a.passwordFile, o.password))
        return Fail(kExitBrokerRefused, "cannot read the password file " + a.passwordFile);
    o.username = a.username;
    o.cafile = a.cafile;
    o.qos = a.qos;
    o.clientId = a.clientId.empty() ? "kryta-lt-" + TopicLevel(prefix) : a.clientId;
    const std::string status = prefix + "/status", measurement = prefix + "/measurement";
    o.willTopic = status;

    // the broker first: a wrong address or credentials are found before the sensor is touched
    Broker broker;
    if (const int code = broker.Open(o); code != kExitOk) return code;

    int code = Connect(a, Reach::Parameters, true);
    std::string firmware;
    if (code == kExitOk) {
        const int n = GetVERSIONInfo();
        if (!IsComOpen(com)) code = ExchangeFailed("the firmware request");
        else if (n == FIRMWARE_TEXT_BYTES) firmware = FirmwareTextRead();
    }
    if (code != kExitOk) {
        broker.Close(status, code == kExitInterrupted ? "offline" : "line lost");
        return code;
    }
    broker.Retain(status, "online");
    broker.Retain(prefix + "/identity", Compact(IdentityJson(device, firmware)));
    broker.Retain(prefix + "/parameters", Compact(ParametersJson(RAM, StoredSet())));

    ArmStop();
    // Frames come at the line's pace; a frame is handed to the broker once nothing has followed it
    // on the line: when the next request begins on a quiet line, or after the quiet time at the end.
    uint64_t seq = 0;
    std::string held;
    auto release = [&](bool disturbed) {
        if (!held.empty() && !disturbed) broker.Publish(measurement, held);
        held.clear();
    };
    for (;;) {
        const Outcome result = TakeMeasurement(true);
        release(PreviousAnswerDisturbed());
        if (result == Outcome::Stopped) {
            release(ConfirmLastAnswer() != Outcome::Answered);
            break;
        }
        if (result != Outcome::Answered) {
            code = ExchangeFailed("the measurement request");
            break;
        }
        if (++seq % uint64_t(a.every) != 0) continue;
        QJsonObject m = MeasurementJson();
        m["seq"] = qint64(seq);
        m["time"] = QString::fromStdString(UtcNow());
        held = Compact(m);
    }
    broker.Close(status, code == kExitOk ? "offline" : "line lost");
    std::fprintf(stderr, "kryta-lt: %llu frames measured, %llu published, %llu not published\n",
                 static_cast<unsigned long long>(seq), static_cast<unsigned long long>(broker.Published()),
                 static_cast<unsigned long long>(broker.Dropped()));
    return code;
}
