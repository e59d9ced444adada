// The gateway's births and data: the one MQTT session (session.h) on the broker of now, the
// Primary Host's STATE, NBIRTH and a DBIRTH for every sensor in their order, DDATA per frame, the
// deaths, and the way from one broker of the list to the next.
#include <fcntl.h>
#include <mosquitto.h>
#include <unistd.h>

#include <QJsonDocument>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "plant/gateway.h"
#include "platform/utility.h"
#include "sensor/files.h"

namespace {

constexpr double kFirstAnswerSeconds = 10;  // for the broker's answer to the first connection
constexpr double kGatherSeconds = 5;  // for the sensors of the ports present to connect before a session's births
constexpr double kFinalSeconds = 2;   // for the broker's acknowledgement of NDEATH

// A frame of the sensor's process as the JSON topics carry it: measure --json's names, "seq" and
// "time" (UTC, ISO 8601 with milliseconds), as publish sends it.
std::string JsonMeasurement(QJsonObject o) {
    const qint64 ms = o["time_ms"].toInteger();
    o["seq"] = o["frame"];
    o.remove("frame"), o.remove("time_ms"), o.remove("missed");
    const time_t secs = time_t(ms / 1000);
    tm t{};
    gmtime_r(&secs, &t);
    char text[40];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &t);
    std::snprintf(text + n, sizeof text - n, ".%03dZ", int(ms % 1000));
    o["time"] = text;
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

std::string Compact(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString(); }

}  // namespace

// ---- what the network thread tells ----

Mail::~Mail() {
    for (int fd : wake)
        if (fd >= 0) ::close(fd);
}

void Mail::Wake() {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake[1], &c, 1);
}

void Mail::SetWill() {
    std::string reason;
    if (!stateFile.empty() && !WriteFileReplacing(stateFile, std::to_string(bdSeq) + "\n", reason))
        Log("cannot keep the birth-death sequence number in " + stateFile + ": " + reason);
    session->SetWill(willTopic, NodeDeathPayload(uint64_t(bdSeq)), false);
}

int Mail::BdSeq() {
    std::lock_guard<std::mutex> lock(mu);
    return bdSeq;
}

void Mail::Connected(bool, double, uint64_t) {
    {
        std::lock_guard<std::mutex> lock(mu);
        ++connections;
    }
    // before NBIRTH
    session->Subscribe(ncmdTopic);
    if (!stateTopic.empty()) session->Subscribe(stateTopic);
    Wake();
}

void Mail::Refused(int rc) {
    {
        std::lock_guard<std::mutex> lock(mu);
        refused = rc;
    }
    Wake();
}

// Every CONNECT sent carries the next bdSeq: one cut off before the broker answered counts too.
void Mail::Ended(int rc, bool, const std::string&) {
    {
        std::lock_guard<std::mutex> lock(mu);
        lostRc = rc;
        lostNews = true;
        bdSeq = (bdSeq + 1) % 256;  // the next CONNECT's
        SetWill();
    }
    Wake();
}

void Mail::Message(const std::string& topic, const std::string& payload) {
    const bool command = ncmdTopic == topic, state = !stateTopic.empty() && stateTopic == topic;
    if (!command && !state) return;
    {
        std::lock_guard<std::mutex> lock(mu);
        (command ? commands : states).push_back(payload);
    }
    Wake();
}

// ---- the node ----

Node::Node(const GatewayConfig& config, Ports& ports) : config_(config), ports_(ports), session_(&mail_) {
    tried_.assign(config.brokers.size(), false);
    mail_.session = &session_;
    mail_.bdSeq = config.bdSeq;
    mail_.stateFile = config.stateFile;
    mail_.ncmdTopic = SparkplugTopic(config.group, "NCMD", config.node);
    mail_.willTopic = SparkplugTopic(config.group, "NDEATH", config.node);
    if (!config.primaryHost.empty()) mail_.stateTopic = "spBv1.0/STATE/" + config.primaryHost;
}

int Node::Open() {
    SessionOptions o;
    o.host = config_.brokers.front().host;
    o.port = config_.brokers.front().port;
    o.clientId = "kryta-lt-gateway-" + config_.group + "-" + config_.node;
    o.username = config_.a.username;
    o.password = config_.password;
    o.cafile = config_.a.cafile;
    if (const int code = session_.Configure(o); code != kExitOk) return code;
    if (::pipe2(mail_.wake, O_CLOEXEC | O_NONBLOCK) != 0) return Fail(kExitUsage, "gateway: no pipe");
    {
        std::lock_guard<std::mutex> lock(mail_.mu);
        mail_.SetWill();
    }
    wakeNote_ = std::make_unique<QSocketNotifier>(mail_.wake[0], QSocketNotifier::Read);
    QObject::connect(wakeNote_.get(), &QSocketNotifier::activated, [this] { OnSession(); });
    return kExitOk;
}

uint64_t Node::NextSeq() {
    seq_ = (seq_ + 1) % 256;
    return seq_;
}

std::string Node::DTopic(const char* type, const Line& l) const {
    return SparkplugTopic(config_.group, type, config_.node, l.deviceId);
}

std::string Node::JsonPrefix(const Line& l) const { return "kryta/" + config_.node + "/" + l.deviceId; }

// ---- the broker ----

int Node::TryBroker() {
    const BrokerAddress& b = config_.brokers[current_];
    const std::string name = b.Name();
    const bool first = !tried_[current_];
    tried_[current_] = true;
    const int rc = session_.Start(b.host, b.port);
    if (rc == MOSQ_ERR_SUCCESS) {
        brokerAt_ = 0;
        if (!session_.EverConnected()) answerBy_ = Timer() + kFirstAnswerSeconds;
        return kExitOk;
    }
    if (rc == Session::kNoThread) return Fail(kExitBrokerUnreachable, "broker " + name + ": cannot start the network thread");
    if (rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_TLS_HANDSHAKE)
        return Fail(kExitBrokerRefused, "broker " + name + ": TLS fails - does --cafile hold the CA that signed the "
                                                            "broker's certificate?");
    if ((rc == MOSQ_ERR_EAI || rc == MOSQ_ERR_LOOKUP) && first && !session_.EverConnected())
        return Fail(kExitBrokerUnreachable, "broker " + name + " cannot be reached: no such host");
    const size_t brokers = config_.brokers.size();
    if (brokerBackoff_ == kFirstBackoff || brokers > 1)
        Log("broker " + name + " cannot be reached yet (" + (rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc)) +
            "); the sensors are served and " + (brokers > 1 ? "the next broker" : "the broker") +
            " is tried, backing off up to 30 s");
    current_ = (current_ + 1) % brokers;
    brokerAt_ = Timer() + brokerBackoff_;
    brokerBackoff_ = std::min(kLastBackoff, brokerBackoff_ * 2);
    return kExitOk;
}

// NDEATH with the bdSeq of this connection's Will, at quality 1: true once the broker has
// acknowledged it. The JSON topics' statuses go offline before it.
bool Node::SendDeath() {
    if (config_.a.jsonTopics)
        for (const auto& l : ports_.lines)
            if (l->birthSent) session_.Send(JsonPrefix(*l) + "/status", "offline", 1, true);
    return session_.SendFinal(mail_.willTopic, NodeDeathPayload(uint64_t(mail_.BdSeq())), false, kFinalSeconds);
}

// Ends the connection of now on purpose (NDEATH first, if the node was born on it) and goes to the
// next broker of the list (with one broker, to it again).
void Node::Leave(const std::string& why) {
    const bool published = Born() && SendDeath();
    const std::string from = session_.Name();
    session_.Disconnect();
    {
        std::lock_guard<std::mutex> lock(mail_.mu);
        mail_.bdSeq = (mail_.bdSeq + 1) % 256;  // the next CONNECT's
        mail_.SetWill();
        mail_.states.clear();
        mail_.commands.clear();
    }
    bornSession_ = 0;
    hostOnline_ = false;
    for (const auto& l : ports_.lines) l->birthSent = false;
    current_ = (current_ + 1) % config_.brokers.size();
    Log(why + ": " + (published ? "NDEATH published, " : "") + "disconnected from broker " + from + "; connecting to broker " +
        config_.brokers[current_].Name());
    brokerAt_ = Timer();
    brokerBackoff_ = kFirstBackoff;
}

// A STATE message of the Primary Host: {"online": true|false, "timestamp": ms UTC}.
void Node::OnState(const std::string& payload) {
    const std::string& host = config_.primaryHost;
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(payload)).object();
    if (!o["online"].isBool() || !o["timestamp"].isDouble()) {
        Log("primary host " + host + ": a STATE message that is not {\"online\": BOOLEAN, \"timestamp\": NUMBER} "
            "ignored: " + payload.substr(0, 80));
        return;
    }
    const bool online = o["online"].toBool();
    const int64_t at = o["timestamp"].toInteger();
    if (online) {
        if (at < lastStateAt_) return;  // older than what the host said since
        lastStateAt_ = lastOnlineAt_ = at;
        if (!hostOnline_) Log("primary host " + host + " is online on broker " + session_.Name());
        hostOnline_ = true;
        hopAt_ = 0;
        MaybeBirths();
        return;
    }
    if (Born() && at < lastOnlineAt_) {
        Log("primary host " + host + ": an offline STATE older than its online one ignored (a Will that came late)");
        return;
    }
    lastStateAt_ = std::max(lastStateAt_, at);
    hostOnline_ = false;
    if (Born()) {
        Leave("primary host " + host + " is offline");
    } else if (config_.brokers.size() > 1 && hopAt_ == 0) {
        // it may be on another broker: the next is tried after a pause, longer each time
        hopAt_ = Timer() + hopBackoff_;
        hopBackoff_ = std::min(kLastBackoff, hopBackoff_ * 2);
        Log("primary host " + host + " is offline on broker " + session_.Name() + ": births wait; the next broker in " +
            Seconds(hopAt_ - Timer()));
    } else if (hopAt_ == 0) {
        Log("primary host " + host + " is offline on broker " + session_.Name() + ": births wait until it is online");
    }
}

void Node::OnCommands(const std::vector<std::string>& commands) {
    for (const std::string& c : commands) {
        if (!Born()) break;
        if (config_.brokers.size() > 1 && NodeCommandAsks(c, "Node Control/Next Server")) {
            Leave("the next server asked for");
            break;
        }
        if (NodeCommandAsks(c, "Node Control/Rebirth")) {
            Log("rebirth asked for: NBIRTH and " + std::to_string(ports_.Serving()) + " DBIRTH(s) again");
            Births();
        }
    }
}

void Node::OnSession() {
    char drain[64];
    while (::read(mail_.wake[0], drain, sizeof drain) > 0) {
    }
    bool lost;
    int session, lostRc, refused;
    std::vector<std::string> commands, states;
    {
        std::lock_guard<std::mutex> lock(mail_.mu);
        session = mail_.connections;
        lost = mail_.lostNews;
        lostRc = mail_.lostRc;
        refused = mail_.refused;
        mail_.lostNews = false;
        mail_.refused = -1;
        commands.swap(mail_.commands);
        states.swap(mail_.states);
    }
    const bool connected = session_.Connected();
    if (refused > 0 && !session_.EverConnected()) fatal = kExitBrokerRefused;
    const std::string name = session_.Name();
    if (lost && currentSession_ != 0 && !sessionLost_) {
        sessionLost_ = true;
        awaySince_ = Timer();
        droppedWhenAway_ = dropped;
        hostOnline_ = false;
        hopAt_ = 0;
        Log("broker " + name + " went away (" + mosquitto_strerror(lostRc) +
            "); the sensors go on, their data is not published until it is back");
    }
    if (refused > 0 && fatal) {
        Fail(fatal, "broker " + name + " refused the connection: " + mosquitto_connack_string(refused));
        return;
    }
    if (refused > 0) Log("broker " + name + " refused the connection: " + mosquitto_connack_string(refused));
    if (connected && session != currentSession_) {  // a new session: births once it may have them
        currentSession_ = session;
        hostOnline_ = false;
        hopAt_ = 0;
        gatherUntil_ = Timer() + kGatherSeconds;
        if (!config_.primaryHost.empty())
            Log("on broker " + name + ": births wait for primary host " + config_.primaryHost + " to be online");
    }
    for (const std::string& state : states) {
        if (!session_.Connected()) break;
        OnState(state);
    }
    OnCommands(commands);
    MaybeBirths();
}

double Node::Due(double now, double next) {
    if (brokerAt_ != 0 && brokerAt_ <= now)
        if (const int c = TryBroker(); c != kExitOk) fatal = c;
    if (brokerAt_ != 0) next = std::min(next, brokerAt_);
    if (hopAt_ != 0 && hopAt_ <= now) {
        hopAt_ = 0;
        Leave("primary host " + config_.primaryHost + " is still offline on broker " + session_.Name());
    }
    if (hopAt_ != 0) next = std::min(next, hopAt_);
    MaybeBirths();
    if (currentSession_ != 0 && !Born() && gatherUntil_ > now) next = std::min(next, gatherUntil_);
    if (answerBy_ == 0) return next;
    if (session_.EverConnected()) {
        answerBy_ = 0;
    } else if (answerBy_ <= now) {
        const std::string name = session_.Name();
        fatal = config_.a.cafile.empty()
                    ? Fail(kExitBrokerUnreachable, "broker " + name + " did not answer within " + Seconds(kFirstAnswerSeconds))
                    : Fail(kExitBrokerRefused, "broker " + name + ": the TLS handshake failed - does --cafile "
                                                                  "hold the CA that signed the broker's certificate?");
    } else {
        next = std::min(next, answerBy_);
    }
    return next;
}

// ---- births and data ----

void Node::DeviceBirth(Line& l, const QJsonObject& birthLine) {
    l.birthSent = session_.Send(DTopic("DBIRTH", l), l.sensor.BirthPayload(NextSeq(), UtcNowMs()), 0, false);
    if (!config_.a.jsonTopics || !l.birthSent) return;
    session_.Send(JsonPrefix(l) + "/status", "online", 1, true);
    if (birthLine.isEmpty()) return;
    session_.Send(JsonPrefix(l) + "/identity", Compact(birthLine["identity"].toObject()), 1, true);
    QJsonObject parameters = birthLine["parameters"].toObject();
    QJsonObject each = parameters["parameters"].toObject();
    for (auto it = each.begin(); it != each.end(); ++it) {
        QJsonObject p = it.value().toObject();
        p.remove("type");
        it.value() = p;
    }
    parameters["parameters"] = each;
    session_.Send(JsonPrefix(l) + "/parameters", Compact(parameters), 1, true);
}

void Node::NodeCount() {
    if (Born())
        session_.Send(SparkplugTopic(config_.group, "NDATA", config_.node),
                      NodeSensorsPayload(ports_.Serving(), NextSeq(), UtcNowMs()), 0, false);
}

// NBIRTH (seq 0) and a DBIRTH for every sensor: a new session, or a rebirth asked for.
void Node::Births() {
    seq_ = 0;
    bornSession_ = currentSession_;
    if (!session_.Send(SparkplugTopic(config_.group, "NBIRTH", config_.node),
                       NodeBirthPayload(uint64_t(mail_.BdSeq()), ports_.Serving(), UtcNowMs(), config_.brokers.size() > 1),
                       0, false)) {
        bornSession_ = 0;
        return;
    }
    for (const auto& l : ports_.lines) {
        l->birthSent = false;
        if (l->born) DeviceBirth(*l, l->birthLine);
    }
}

void Node::MaybeBirths() {
    if (currentSession_ == 0 || Born() || ports_.ending || fatal || !session_.Connected()) return;
    if (!config_.primaryHost.empty() && !hostOnline_) return;
    if (!ports_.Gathered() && Timer() < gatherUntil_) return;
    Births();
    if (!Born()) return;
    const std::string name = session_.Name();
    Log(std::string(sessionLost_ ? "broker " + name + " is back after " + Seconds(Timer() - awaySince_) + "; " +
                                       std::to_string(dropped - droppedWhenAway_) + " frames were not published meanwhile; "
                                 : "on broker " + name + ": ") +
        "node " + SparkplugTopic(config_.group, "NBIRTH", config_.node) + ", bdSeq " + std::to_string(mail_.BdSeq()) +
        ", " + std::to_string(ports_.Serving()) + " sensor(s)");
    sessionLost_ = false;
    hopBackoff_ = kFirstBackoff;
}

void Node::OnLine(Line& l, const std::string& text) {
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
    if (!l.born) {
        std::string why;
        if (!l.sensor.Birth(o, l.aliasBase, why)) {
            Log(l.device + ": " + why);
            return;
        }
        l.deviceId = ports_.FreeId(l);
        l.born = true;
        l.backoff = kFirstBackoff;
        l.said.clear();
        TellFound(l);
        l.everBorn = true;
        l.birthLine = o;
        if (Born()) {
            DeviceBirth(l, o);
            NodeCount();
        } else {
            MaybeBirths();
        }
        return;
    }
    if (o.contains("lost")) {  // a run of frames ridden over, told once it is over
        TellFramesLost(l, o);
        return;
    }
    if (!l.sensor.Frame(o) || !Born() || !l.birthSent || Interrupted()) return;
    // the payload is made only for a frame that finds room: seq goes on without a gap
    if (session_.Publish(DTopic("DDATA", l), [&] { return l.sensor.DataPayload(NextSeq(), UtcNowMs()); })) ++published;
    else ++dropped;
    if (config_.a.jsonTopics && session_.Room()) session_.Send(JsonPrefix(l) + "/measurement", JsonMeasurement(o), 0, false);
}

// The sensor's process has ended for `l.why`: DDEATH, the journal's line, the next try.
void Node::Lost(Line& l) {
    l.settleAt = 0;
    if (l.born) {
        l.born = false;
        l.lostAt = Timer();
        l.backoff = kFirstBackoff;
        if (l.birthSent && Born()) {
            session_.Send(DTopic("DDEATH", l), SparkplugDevice::DeathPayload(NextSeq(), UtcNowMs()), 0, false);
            if (config_.a.jsonTopics) session_.Send(JsonPrefix(l) + "/status", "line lost", 1, true);
            NodeCount();
        }
        l.birthSent = false;
        TellLost(l, l.why);
        l.said.clear();
    } else {
        TellNoSensor(l, l.why);
    }
    ports_.Retry(l);
    MaybeBirths();
}

bool Node::Close() {
    const bool finalSent = Born() && SendDeath();
    session_.Disconnect();
    return finalSent;
}
