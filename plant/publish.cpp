// kryta-lt publish: one sensor on the plant's MQTT broker. The sensor is connected as info
// connects it and its frames are exchanged as measure exchanges them; under a topic prefix go
//   PREFIX/status       retained: "online"; "offline" on a clean end and as the broker's last
//                       will; "line lost" while the sensor is gone (its line lost, or silent)
//   PREFIX/identity     retained: the info --json object
//   PREFIX/parameters   retained: the get ram --json object, read at start
//   PREFIX/measurement  one object per published frame: measure --json's names, "seq" (the frame's
//                       request since start, lost frames counted) and "time" (UTC, ISO 8601
//                       with milliseconds)
// The broker's network thread does the publishing; the sensor loop never waits for it.
#include <mosquitto.h>
#include <unistd.h>

#include <QJsonObject>
#include <QString>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <utility>

#include "common/connect.h"
#include "common/json.h"
#include "common/output.h"
#include "common/stream.h"
#include "plant/plant.h"
#include "plant/session.h"
#include "link/com232.h"
#include "platform/events.h"
#include "platform/rs232.h"
#include "platform/utility.h"
#include "sensor/frame.h"
#include "sensor/vars.h"

namespace {

// A name as one level of a topic: the wildcards and the level separator replaced.
std::string TopicLevel(std::string s) {
    for (char& c : s)
        if (c == '+' || c == '#' || c == '/') c = '_';
    return s.empty() ? "_" : s;
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

// The first line of the file, without its line end: "" or why the file gives no password.
std::string ReadPassword(const std::string& path, std::string& password) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return "it is a folder";
    std::ifstream in(path);
    if (!in) return std::strerror(errno ? errno : EACCES);
    if (!std::getline(in, password)) return in.bad() ? "it cannot be read" : "it is empty - the password is its first line";
    if (!password.empty() && password.back() == '\r') password.pop_back();
    if (password.empty()) return "its first line is empty - the password is its first line";
    return "";
}

// Why `prefix` cannot head the topics (the longest is PREFIX/measurement); "" when it can.
std::string TopicProblem(const std::string& prefix) {
    const size_t longest = prefix.size() + std::strlen("/measurement");
    if (longest > 65535)
        return "its topics would be " + std::to_string(longest) + " bytes long, and MQTT allows 65535";
    if (!prefix.empty() && prefix[0] == '$') return "topics that begin with $ are the broker's own";
    if (std::string why = TextProblem(prefix); !why.empty()) return why;
    if (prefix.find_first_of("+#") != std::string::npos) return "it holds + or #, which only subscriptions use";
    return "";
}

// Sleeps until `due` or an interruption.
void PauseUntil(double due) {
    while (stop_flag == 0 && Timer() < due) WaitForEvent(due);
}

// The sensor again after it was lost: the port opened anew, the echo check, the identification,
// the RAM set and the firmware text, without a word on standard error. False, with why in
// `found`, while it does not answer.
bool SensorBack(const Args& a, std::string& firmware, std::string& found) {
    CloseLine();
    if (Probe(a, found) != kExitOk) return false;
    Delay(0.1);
    for (uint16_t frame : {0, 1}) {
        if (ReadParameterFrame(RAM, frame) != Outcome::Answered) {
            found = "the RAM parameters did not come";
            return false;
        }
        Delay(0.1);
    }
    if (!ParameterSetTaken()) {
        found = "the RAM parameter frames did not come as one set";
        return false;
    }
    const int n = GetVERSIONInfo();
    firmware = n == FIRMWARE_TEXT_BYTES ? FirmwareTextRead() : "";
    return IsComOpen(com);
}

// What publish says of the broker's connection: that it went away and that it is back.
class BrokerNews : public SessionEvents {
public:
    explicit BrokerNews(std::string name) : name_(std::move(name)) {}
    void Connected(bool again, double away, uint64_t missed) override {
        if (again)
            std::fprintf(stderr, "kryta-lt: broker %s is back after %.1f s; %llu frames were not published meanwhile\n",
                         name_.c_str(), away, static_cast<unsigned long long>(missed));
    }
    void Ended(int, bool wasConnected, const std::string& why) override {
        if (wasConnected)
            std::fprintf(stderr, "kryta-lt: broker %s went away (%s); measuring goes on, frames are not published until it is back\n",
                         name_.c_str(), why.c_str());
    }

private:
    std::string name_;
};

struct Publishing {
    Session* broker;
    std::string topic;
    long every;
    uint64_t handed = 0;  // frames handed to the broker
};

// The options of publish checked: kExitOk with the session's options and the topics' prefix, or
// the code of a wrong one (printed).
int PublishOptions(const Args& a, SessionOptions& o, std::string& prefix) {
    if (!a.positional.empty()) return Fail(kExitUsage, "publish: no arguments beside its options");
    if (a.broker.empty() || !ParseBroker(a.broker, a.cafile.empty() ? 1883 : 8883, o.host, o.port))
        return Fail(kExitUsage, "publish: say --broker HOST[:PORT] (see kryta-lt publish --help)");
    if (a.every < 1) return Fail(kExitUsage, "--every needs a whole number, 1 or more");
    if (a.qos != 0 && a.qos != 1) return Fail(kExitUsage, "--qos is 0 or 1");
    if (!a.passwordFile.empty() && a.username.empty()) return Fail(kExitUsage, "--password-file needs --username");
    const std::string device = PortDevice(a);
    const std::string deviceName = TopicLevel(device.substr(device.rfind('/') + 1));
    prefix = a.topic;
    while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
    if (prefix.empty()) prefix = "kryta/" + TopicLevel(HostName()) + "/" + deviceName;
    if (const std::string why = TopicProblem(prefix); !why.empty()) {
        const bool shown = prefix.size() <= 80 && why.find("character") == std::string::npos;
        return Fail(kExitUsage, "--topic " + (shown ? "'" + prefix + "' " : std::string()) + "cannot head the topics: " + why);
    }
    if (mosquitto_pub_topic_check((prefix + "/status").c_str()) != MOSQ_ERR_SUCCESS)
        return Fail(kExitUsage, "--topic '" + prefix + "' is no topic to publish to");
    if (!a.passwordFile.empty())
        if (const std::string why = ReadPassword(a.passwordFile, o.password); !why.empty())
            return Fail(kExitBrokerRefused, "cannot use the password file " + a.passwordFile + ": " + why);
    o.username = a.username;
    o.cafile = a.cafile;
    o.qos = a.qos;
    o.mqtt5 = true;
    o.proveFrames = true;
    o.giveWay = true;
    // one client id per machine and port, whatever the topics
    o.clientId = a.clientId.empty() ? "kryta-lt-" + TopicLevel(HostName()) + "-" + TopicLevel(LinkEnd(device)) : a.clientId;
    return kExitOk;
}

}  // namespace

int CmdPublish(const Args& a) {
    SessionOptions o;
    std::string prefix;
    if (const int code = PublishOptions(a, o, prefix); code != kExitOk) return code;
    const std::string device = PortDevice(a);
    const std::string status = prefix + "/status", measurement = prefix + "/measurement";

    // The port first, and the sensor identified: nothing goes to the broker before the sensor is
    // ours, so a start refused on a port in use leaves the status of the one using it alone.
    int code = Connect(a, Reach::Parameters, true);
    std::string firmware;
    if (code == kExitOk) {
        const int n = GetVERSIONInfo();
        if (!IsComOpen(com)) code = ExchangeFailed("the firmware request");
        else if (n == FIRMWARE_TEXT_BYTES) firmware = FirmwareTextRead();
    }
    if (code != kExitOk) return code;
    BrokerNews news(o.host + ":" + std::to_string(o.port));
    Session broker(&news);
    if (const int c = broker.Configure(o); c != kExitOk) return c;
    broker.SetWill(status, "offline", true);
    if (const int c = broker.Open(); c != kExitOk) return c;
    auto announce = [&] {
        broker.Retain(prefix + "/identity", Compact(IdentityJson(device, firmware)));
        broker.Retain(prefix + "/parameters", Compact(ParametersJson(RAM, StoredSet())));
        broker.Retain(status, "online");
    };
    announce();

    ArmStop();
    // Frames come at the line's pace; a frame is handed to the broker once nothing has followed it
    // on the line. A faulty answer is a lost frame; a lost line or a silent sensor makes the status
    // "line lost" until the sensor answers again.
    Publishing pub{&broker, measurement, a.every};
    FrameStream s;
    s.context = &pub;
    s.take = [](uint64_t seq, void* c) {
        if (seq % uint64_t(static_cast<Publishing*>(c)->every) != 0) return std::string();
        QJsonObject m = MeasurementJson();
        m["seq"] = qint64(seq);
        m["time"] = QString::fromStdString(UtcNow());
        return Compact(m);
    };
    s.pass = [](const std::string& frame, void* c) {
        auto* p = static_cast<Publishing*>(c);
        ++p->handed;
        p->broker->Publish(p->topic, frame);
        return true;
    };
    s.more = [](bool, void* c) { return !static_cast<Publishing*>(c)->broker->TakenOver(); };
    for (;;) {
        const StreamEnd end = RunStream(s);
        if (end.outcome == Outcome::Stopped) break;
        if (broker.TakenOver()) {
            code = kExitTakenOver;
            Fail(code, "another client keeps taking the client id '" + o.clientId + "' at broker " + o.host + ":" +
                           std::to_string(o.port) + " - this one gives way (say another --client-id)");
            break;
        }
        // the sensor is gone: its status says so while it is tried again, ever less often
        broker.Retain(status, "line lost");
        const double lostAt = Timer();
        std::fprintf(stderr, "kryta-lt: %s: status 'line lost'; the sensor is tried again after 1 s, then ever less "
                             "often (at most every 30 s)\n", device.c_str());
        double wait = 1;
        std::string found, told;
        bool back = false;
        while (!back && stop_flag == 0 && !broker.TakenOver()) {
            PauseUntil(Timer() + wait);
            if (stop_flag != 0) break;
            wait = std::min(wait * 2, 30.0);
            back = SensorBack(a, firmware, found);
            if (!back && found != told) {
                std::fprintf(stderr, "kryta-lt: the sensor is not back yet: %s\n", found.c_str());
                told = found;
            }
        }
        if (!back) {
            if (broker.TakenOver()) continue;  // said at the top
            break;
        }
        announce();
        std::fprintf(stderr, "kryta-lt: %s: the sensor answers again after %.1f s; status 'online'\n", device.c_str(),
                     Timer() - lostAt);
        ArmStop();
    }
    broker.SendFinal(status, "offline", true, 3);
    broker.Disconnect();
    std::fprintf(stderr, "kryta-lt: %llu frames measured, %llu lost; of %llu to publish, %llu published, %llu not published\n",
                 static_cast<unsigned long long>(s.measured), static_cast<unsigned long long>(s.lost),
                 static_cast<unsigned long long>(pub.handed), static_cast<unsigned long long>(broker.Published()),
                 static_cast<unsigned long long>(broker.Dropped()));
    return code;
}
