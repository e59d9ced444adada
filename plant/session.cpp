// The broker connection on libmosquitto. The network thread (mosquitto_loop_start) runs the
// callbacks; the sensor loop only hands messages over. Neither thread holds our lock while it is
// inside libmosquitto, so the two never wait for each other there.
#include "plant/session.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "common/common.h"
#include "platform/events.h"

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A probe is a frame sent with quality 1 amid those of quality 0: the broker's acknowledgement of
// it proves that every frame handed over before it on the same connection reached the broker. A
// kept message goes whatever the way; the final one is waited for.
enum class Kind { Frame, Probe, Retained, Kept, Final };

constexpr double kProbeInterval = 1.0;  // at quality 0, one frame a second is a probe
constexpr double kSteadyConnection = 30;  // a connection that lasted this long ends a row of take-overs
constexpr double kAtOnce = 3;  // a reconnect this soon after a loss was taken at the first try

std::string Seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", s);
    return text;
}

std::string WhyLost(int rc) {
    if (rc == MQTT_RC_SESSION_TAKEN_OVER) return "another client connected with our client id";
    if (rc == MOSQ_ERR_KEEPALIVE) return "it did not answer our keep-alive ping";
    return rc >= 128 ? mosquitto_reason_string(rc) : mosquitto_strerror(rc);
}

}  // namespace

struct Session::State {
    mosquitto* m = nullptr;
    SessionOptions o;
    SessionEvents* events = nullptr;
    bool threadRunning = false;

    mutable std::mutex mu;
    std::condition_variable finalDone;
    std::vector<std::pair<std::string, std::string>> retained;
    std::map<int, Kind> onTheWay;  // message id -> kind, handed over and not yet sent/acknowledged
    std::set<int> doneEarly;       // completed before Hand had recorded its id
    int framesOnTheWay = 0;        // of onTheWay, plus those being handed over
    int finalMid = -1;
    bool finalSent = false;
    // quality 0: frames handed over on this connection that no acknowledgement has proved yet, and
    // the probe on its way with the number of them handed over before it
    uint64_t unconfirmed = 0;
    uint64_t handed = 0, proved = 0;  // of this connection: frames handed over, the first of them proved
    int generation = 0;  // connections lost so far
    bool probePending = false;
    uint64_t probeCovers = 0, finalCovers = 0;  // the frames handed over before it
    int probeGeneration = -1, finalGeneration = -1;
    double lastProbe = 0;
    int takeOvers = 0;  // in a row
    bool takenOver = false;
    bool closedEarly = false;  // the broker closed a connection younger than kSteadyConnection
    double connectedAt = 0;
    int connack = -1;              // the broker's answer to the last CONNECT
    int lostRc = MOSQ_ERR_SUCCESS; // why the first connection failed
    int lostErrno = 0;
    bool connected = false, everConnected = false, closing = false;
    double awaySince = 0;
    uint64_t droppedWhenAway = 0;
    bool slow = false;             // the way was full while connected: said, not yet said again
    uint64_t droppedWhenSlow = 0;
    uint64_t published = 0, dropped = 0;

    std::string Name() const { return o.host + ":" + std::to_string(o.port); }

    // A message through libmosquitto, its id recorded for the completion.
    int Hand(const std::string& topic, const std::string& payload, Kind kind, int qos, bool retain) {
        int mid = 0;
        const bool frame = kind == Kind::Frame || kind == Kind::Probe;
        {
            // what a probe or the final message will prove: the frames handed over before it (the
            // sensor loop alone hands frames over, so none comes between this and the publish)
            std::lock_guard<std::mutex> lock(mu);
            if (kind == Kind::Probe) probeCovers = handed, probeGeneration = generation, probePending = true;
            if (kind == Kind::Final) finalCovers = handed, finalGeneration = generation;
        }
        const int rc = mosquitto_publish(m, &mid, topic.c_str(), int(payload.size()), payload.data(), qos, retain);
        std::lock_guard<std::mutex> lock(mu);
        if (rc != MOSQ_ERR_SUCCESS) {
            if (frame) {
                --framesOnTheWay;
                ++dropped;
            }
            if (kind == Kind::Probe) probePending = false;
            return -1;
        }
        if (kind == Kind::Frame && o.qos == 0) ++unconfirmed, ++handed;
        if (kind == Kind::Final) finalMid = mid;
        if (doneEarly.erase(mid)) Completed(mid, kind);
        else onTheWay[mid] = kind;
        return mid;
    }
    void Prove(uint64_t upTo) {  // under mu: the first upTo frames of this connection reached the broker
        if (upTo <= proved) return;
        published += upTo - proved;
        unconfirmed -= upTo - proved;
        proved = upTo;
    }
    void Completed(int mid, Kind kind) {  // under mu
        // quality 0: written to the connection, not yet proved; a probe proves those before it
        if (kind == Kind::Probe) {
            probePending = false;
            lastProbe = Now();
            if (probeGeneration == generation) Prove(probeCovers);
        }
        if (kind == Kind::Final && finalGeneration == generation) Prove(finalCovers);
        if (kind == Kind::Frame || kind == Kind::Probe) {
            --framesOnTheWay;
            if (kind == Kind::Probe || o.qos == 1) ++published;
            if (slow && framesOnTheWay == 0) {
                slow = false;
                std::fprintf(stderr, "kryta-lt: broker %s keeps up again; %llu frames were not published meanwhile\n",
                             Name().c_str(), static_cast<unsigned long long>(dropped - droppedWhenSlow));
            }
        }
        if (mid == finalMid) {
            finalSent = true;
            finalDone.notify_all();
        }
    }
    // Two clients with one id push each other off the broker by turns. After kTakeOvers take-overs
    // in a row, the next one makes this client give way: it does not reconnect, and the other one,
    // taken over no more, stays. The line to tell.
    std::string TakenOverOnce(bool said) {  // under mu
        ++takeOvers;
        return "kryta-lt: broker " + Name() + " " +
               (said ? "closed our connection" : "closes our connection and takes the next at once") +
               ": another client connected with our client id '" + o.clientId + "' (" + std::to_string(takeOvers) +
               " in a row)\n";
    }
    void GiveWay() {  // under mu
        takenOver = closing = true;
        mosquitto_disconnect(m);
    }
    // A connection ended that the session did not end: whether to tell the user, and why, or the
    // take-over to tell instead. Under mu.
    bool Watch(int rc, std::string& why, std::string& takeOver) {
        if (rc == MQTT_RC_SESSION_TAKEN_OVER) {
            if (Now() - connectedAt >= kSteadyConnection) takeOvers = 0;
            takeOver = TakenOverOnce(true);
            if (takeOvers >= kTakeOvers) GiveWay();
            return false;
        }
        closedEarly = rc == MOSQ_ERR_CONN_LOST && Now() - connectedAt < kSteadyConnection;
        if (!closedEarly) takeOvers = 0;
        if (closedEarly && takeOvers >= kTakeOvers) {
            GiveWay();
            return false;
        }
        why = closedEarly ? "the broker closed our connection after " + Seconds(Now() - connectedAt) : WhyLost(rc);
        return true;
    }

    static void OnConnect(mosquitto*, void* obj, int rc) {
        auto* s = static_cast<State*>(obj);
        std::vector<std::pair<std::string, std::string>> again;
        bool reconnect = false;
        double away = 0;
        uint64_t missed = 0;
        std::string takeOver;
        {
            std::lock_guard<std::mutex> lock(s->mu);
            s->connack = rc;
            if (rc == 0) {
                s->connected = true;
                s->connectedAt = Now();
                reconnect = s->everConnected;
                away = s->connectedAt - s->awaySince;
                missed = s->dropped - s->droppedWhenAway;
                // A broker that closed our young connection and takes the next one at once has let
                // another client take our client id (a broker of MQTT 5 may say so: see OnDisconnect).
                if (s->closedEarly && away < kAtOnce) takeOver = s->TakenOverOnce(false);
                else if (s->closedEarly) s->takeOvers = 0;
                s->closedEarly = false;
                s->everConnected = true;
                again = s->retained;
            }
        }
        if (rc != 0) {
            if (s->events) s->events->Refused(rc);
            return;
        }
        if (s->events) s->events->Connected(reconnect, away, missed);
        std::fputs(takeOver.c_str(), stderr);
        for (const auto& [topic, payload] : again) s->Hand(topic, payload, Kind::Retained, 1, true);
    }
    static void OnDisconnect(mosquitto*, void* obj, int rc) {
        auto* s = static_cast<State*>(obj);
        bool was, tell = false;
        std::string why, takeOver;
        {
            std::lock_guard<std::mutex> lock(s->mu);
            if (!s->everConnected) {
                s->lostRc = rc;
                s->lostErrno = errno;
            }
            was = s->connected;
            s->connected = false;
            if (was && !s->closing) {
                s->awaySince = Now();
                s->droppedWhenAway = s->dropped;
            }
            s->Forget();
            s->finalDone.notify_all();  // a final message waits no more
            if (!s->closing) {
                tell = !was || !s->o.giveWay || s->Watch(rc, why, takeOver);
                if (was && !s->o.giveWay) why = WhyLost(rc);
            }
        }
        std::fputs(takeOver.c_str(), stderr);
        if (tell && s->events) s->events->Ended(rc, was, why);
    }
    // The connection is gone. Messages of quality 0 not proved go with it, written or not; those of
    // quality 1 (a probe among them) stay with libmosquitto, which sends them again after the
    // reconnect. Under mu.
    void Forget() {
        ++generation;
        dropped += unconfirmed;
        unconfirmed = handed = proved = 0;
        for (auto it = onTheWay.begin(); it != onTheWay.end();) {
            if (it->second == Kind::Frame && o.qos == 0) {
                --framesOnTheWay;
                it = onTheWay.erase(it);
            } else if (it->second == Kind::Retained) {
                it = onTheWay.erase(it);  // published again on reconnect
            } else {
                ++it;
            }
        }
        slow = false;
    }
    static void OnPublish(mosquitto*, void* obj, int mid) {
        auto* s = static_cast<State*>(obj);
        std::lock_guard<std::mutex> lock(s->mu);
        const auto it = s->onTheWay.find(mid);
        if (it == s->onTheWay.end()) {
            s->doneEarly.insert(mid);
            return;
        }
        const Kind kind = it->second;
        s->onTheWay.erase(it);
        s->Completed(mid, kind);
    }
    static void OnMessage(mosquitto*, void* obj, const mosquitto_message* msg) {
        auto* s = static_cast<State*>(obj);
        if (!msg->topic || !s->events) return;
        s->events->Message(msg->topic, std::string(static_cast<const char*>(msg->payload), size_t(msg->payloadlen)));
    }
};

Session::Session(SessionEvents* events) : s_(std::make_unique<State>()) {
    s_->events = events;
    mosquitto_lib_init();
}

Session::~Session() {
    if (s_->m) {
        if (s_->threadRunning) mosquitto_loop_stop(s_->m, true);
        mosquitto_destroy(s_->m);
    }
    mosquitto_lib_cleanup();
}

namespace {

// Why a connection could not be made: network trouble is "unreachable", a refusal or trust and
// credential trouble is "refused".
int ConnectFailed(const std::string& name, int rc, int err, bool tls, double seconds) {
    if (rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_TLS_HANDSHAKE || (tls && rc == MOSQ_ERR_CONN_LOST))
        return Fail(kExitBrokerRefused, "broker " + name + ": the TLS handshake failed - does --cafile hold the CA "
                                            "that signed the broker's certificate?");
    if (rc == MOSQ_ERR_KEEPALIVE)
        return Fail(kExitBrokerUnreachable, "broker " + name + " did not answer the connection request within " +
                                                std::to_string(int(seconds)) + " s - is an MQTT broker on that port?");
    const std::string why = rc == MOSQ_ERR_ERRNO && err ? std::strerror(err) : WhyLost(rc);
    return Fail(kExitBrokerUnreachable, "broker " + name + " cannot be reached: " + why);
}

// A CA file holds at least one certificate in PEM form; "" or why it is no CA file.
std::string CaFileProblem(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return std::string("it cannot be read: ") + std::strerror(errno);
    std::string text;
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0 && text.size() < (1u << 24);) text.append(chunk, n);
    std::fclose(f);
    const auto begin = text.find("-----BEGIN CERTIFICATE-----");
    if (begin == std::string::npos || text.find("-----END CERTIFICATE-----", begin) == std::string::npos)
        return "it holds no certificate (no -----BEGIN CERTIFICATE----- block)";
    return "";
}

}  // namespace

int Session::Configure(const SessionOptions& options) {
    State& s = *s_;
    s.o = options;
    s.m = mosquitto_new(options.clientId.c_str(), true, &s);
    if (!s.m) return Fail(kExitUsage, "broker: cannot make a client with the id '" + options.clientId + "'");
    mosquitto_int_option(s.m, MOSQ_OPT_PROTOCOL_VERSION, options.mqtt5 ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
    if (!options.username.empty() &&
        mosquitto_username_pw_set(s.m, options.username.c_str(),
                                  options.password.empty() ? nullptr : options.password.c_str()) != MOSQ_ERR_SUCCESS)
        return Fail(kExitUsage, "broker: the user name or password is not valid UTF-8");
    if (!options.cafile.empty()) {
        if (const std::string why = CaFileProblem(options.cafile); !why.empty())
            return Fail(kExitBrokerRefused, "cannot use the CA file " + options.cafile + ": " + why);
        if (const int rc = mosquitto_tls_set(s.m, options.cafile.c_str(), nullptr, nullptr, nullptr, nullptr);
            rc != MOSQ_ERR_SUCCESS)
            return Fail(kExitBrokerRefused, "cannot use the CA file " + options.cafile + ": " +
                                                (rc == MOSQ_ERR_INVAL ? "it cannot be read" : mosquitto_strerror(rc)));
    }
    mosquitto_reconnect_delay_set(s.m, 1, 30, true);
    mosquitto_max_inflight_messages_set(s.m, kMaxInFlight);
    mosquitto_connect_callback_set(s.m, State::OnConnect);
    mosquitto_disconnect_callback_set(s.m, State::OnDisconnect);
    mosquitto_publish_callback_set(s.m, State::OnPublish);
    mosquitto_message_callback_set(s.m, State::OnMessage);
    return kExitOk;
}

void Session::SetWill(const std::string& topic, const std::string& payload, bool retain) {
    mosquitto_will_set(s_->m, topic.c_str(), int(payload.size()), payload.data(), 1, retain);
}

int Session::Open(double seconds) {
    State& s = *s_;
    const std::string name = s.Name();
    const bool tls = !s.o.cafile.empty();
    for (int version : {MQTT_PROTOCOL_V5, MQTT_PROTOCOL_V311}) {
        if (version == MQTT_PROTOCOL_V5 && !s.o.mqtt5) continue;
        mosquitto_int_option(s.m, MOSQ_OPT_PROTOCOL_VERSION, version);
        s.connack = -1;
        s.lostRc = MOSQ_ERR_SUCCESS;
        s.lostErrno = 0;
        errno = 0;
        const bool first = version == MQTT_PROTOCOL_V5 || !s.o.mqtt5;
        int rc = first ? mosquitto_connect_async(s.m, s.o.host.c_str(), s.o.port, 10) : mosquitto_reconnect_async(s.m);
        if (rc == MOSQ_ERR_EAI || rc == MOSQ_ERR_LOOKUP)
            return Fail(kExitBrokerUnreachable, "broker " + name + " cannot be reached: no such host");
        if (rc != MOSQ_ERR_SUCCESS) return ConnectFailed(name, rc, errno, tls, seconds);
        // The broker's answer, on this thread: a refusal or a failure is known before anything runs.
        const double deadline = Now() + seconds;
        bool older = false;  // a broker of MQTT 3.1.1 only
        while (s.connack < 0) {
            errno = 0;
            rc = mosquitto_loop(s.m, 100, 1);
            if (s.connack < 0 && rc != MOSQ_ERR_SUCCESS) {
                const int why = s.lostRc != MOSQ_ERR_SUCCESS ? s.lostRc : rc;
                if (version == MQTT_PROTOCOL_V5 && (why == MOSQ_ERR_PROTOCOL || why == MOSQ_ERR_MALFORMED_PACKET)) {
                    older = true;
                    break;
                }
                return ConnectFailed(name, why, s.lostErrno ? s.lostErrno : errno, tls, seconds);
            }
            ProcessSystemEvents();
            if (Interrupted()) return Fail(kExitInterrupted, "interrupted - nothing done");
            if (s.connack < 0 && Now() > deadline) return ConnectFailed(name, MOSQ_ERR_KEEPALIVE, 0, tls, seconds);
        }
        if (version == MQTT_PROTOCOL_V5 && (s.connack == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION || s.connack == 1)) older = true;
        if (older) continue;
        if (s.connack != 0)
            return Fail(kExitBrokerRefused, "broker " + name + " refused the connection: " +
                                                (version == MQTT_PROTOCOL_V5 ? mosquitto_reason_string(s.connack)
                                                                             : mosquitto_connack_string(s.connack)));
        break;
    }
    if (s.connack != 0) return Fail(kExitBrokerRefused, "broker " + name + " refused the connection: it speaks neither MQTT 5 nor 3.1.1");
    if (mosquitto_loop_start(s.m) != MOSQ_ERR_SUCCESS)
        return Fail(kExitBrokerUnreachable, "broker " + name + ": cannot start the network thread");
    s.threadRunning = true;
    return kExitOk;
}

int Session::Start(const std::string& host, int port) {
    State& s = *s_;
    {
        std::lock_guard<std::mutex> lock(s.mu);
        s.o.host = host;
        s.o.port = port;
        s.closing = false;
    }
    errno = 0;
    const int rc = mosquitto_connect_async(s.m, host.c_str(), port, 10);
    if (rc != MOSQ_ERR_SUCCESS) return rc;
    if (mosquitto_loop_start(s.m) != MOSQ_ERR_SUCCESS) return kNoThread;
    s.threadRunning = true;
    return MOSQ_ERR_SUCCESS;
}

std::string Session::Name() const {
    std::lock_guard<std::mutex> lock(s_->mu);
    return s_->Name();
}

void Session::Subscribe(const std::string& topic) { mosquitto_subscribe(s_->m, nullptr, topic.c_str(), 1); }

void Session::Retain(const std::string& topic, const std::string& payload) {
    bool now;
    {
        std::lock_guard<std::mutex> lock(s_->mu);
        bool known = false;
        for (auto& [t, p] : s_->retained)
            if (t == topic) p = payload, known = true;
        if (!known) s_->retained.emplace_back(topic, payload);
        now = s_->connected;
    }
    if (now) s_->Hand(topic, payload, Kind::Retained, 1, true);
}

bool Session::Publish(const std::string& topic, const std::string& payload) {
    return Publish(topic, [&payload] { return payload; });
}

bool Session::Publish(const std::string& topic, const std::function<std::string()>& payload) {
    State& s = *s_;
    bool probe = false;
    {
        std::lock_guard<std::mutex> lock(s.mu);
        if (!s.connected || s.framesOnTheWay >= kMaxInFlight) {
            if (s.connected && !s.slow) {
                s.slow = true;
                s.droppedWhenSlow = s.dropped;
                std::fprintf(stderr, "kryta-lt: broker %s does not keep up (%d messages on their way); frames are "
                                     "not published until it does\n", s.Name().c_str(), kMaxInFlight);
            }
            ++s.dropped;
            return false;
        }
        ++s.framesOnTheWay;
        if (s.o.proveFrames && s.o.qos == 0 && !s.probePending && Now() - s.lastProbe >= kProbeInterval) probe = true;
    }
    const std::string bytes = payload();
    return probe ? s.Hand(topic, bytes, Kind::Probe, 1, false) >= 0 : s.Hand(topic, bytes, Kind::Frame, s.o.qos, false) >= 0;
}

bool Session::Room() const {
    std::lock_guard<std::mutex> lock(s_->mu);
    return s_->connected && s_->framesOnTheWay < kMaxInFlight;
}

bool Session::Send(const std::string& topic, const std::string& payload, int qos, bool retain) {
    if (!Connected()) return false;
    return s_->Hand(topic, payload, Kind::Kept, qos, retain) >= 0;
}

bool Session::SendFinal(const std::string& topic, const std::string& payload, bool retain, double seconds) {
    State& s = *s_;
    {
        std::lock_guard<std::mutex> lock(s.mu);
        if (!s.connected) return false;
        s.finalSent = false;
        s.finalMid = -1;
    }
    if (s.Hand(topic, payload, Kind::Final, 1, retain) < 0) return false;
    std::unique_lock<std::mutex> lock(s.mu);
    s.finalDone.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return s.finalSent || !s.connected; });
    return s.finalSent;
}

void Session::Disconnect() {
    State& s = *s_;
    if (!s.threadRunning) return;
    {
        std::lock_guard<std::mutex> lock(s.mu);
        s.closing = true;
    }
    mosquitto_disconnect(s.m);
    mosquitto_loop_stop(s.m, false);
    s.threadRunning = false;
    // what no acknowledgement proved by now is not published
    std::lock_guard<std::mutex> lock(s.mu);
    s.connected = false;
    s.dropped += s.unconfirmed + (s.probePending ? 1 : 0) + (s.o.qos == 1 ? uint64_t(s.framesOnTheWay) : 0);
    s.unconfirmed = 0;
    s.probePending = false;
    s.framesOnTheWay = 0;
}

bool Session::Connected() const {
    std::lock_guard<std::mutex> lock(s_->mu);
    return s_->connected;
}

bool Session::EverConnected() const {
    std::lock_guard<std::mutex> lock(s_->mu);
    return s_->everConnected;
}

bool Session::TakenOver() const {
    std::lock_guard<std::mutex> lock(s_->mu);
    return s_->takenOver;
}

uint64_t Session::Published() const {
    std::lock_guard<std::mutex> lock(s_->mu);
    return s_->published;
}

uint64_t Session::Dropped() const {
    std::lock_guard<std::mutex> lock(s_->mu);
    return s_->dropped;
}

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


std::string TextProblem(const std::string& text) {
    // (an argument that is not UTF-8 reaches us with U+FFFD in place of its wrong bytes)
    for (size_t i = 0, at = 1; i < text.size(); ++at) {
        const auto b = static_cast<unsigned char>(text[i]);
        const int more = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
        uint32_t cp = more == 0 ? b : more == 1 ? b & 0x1F : more == 2 ? b & 0x0F : b & 0x07;
        bool valid = more >= 0 && i + size_t(more) < text.size() + (more == 0 ? 1 : 0);
        for (int k = 1; valid && k <= more; ++k) {
            const auto c = static_cast<unsigned char>(text[i + size_t(k)]);
            valid = (c & 0xC0) == 0x80;
            cp = cp << 6 | (c & 0x3F);
        }
        static const uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (!valid || cp < kLeast[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFD)
            return "it is not valid UTF-8 (character " + std::to_string(at) + ")";
        if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", unsigned(cp));
            return std::string("it holds a control character (") + code + ", character " + std::to_string(at) + ")";
        }
        i += size_t(more) + 1;
    }
    return "";
}

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "localhost";
    return name;
}

