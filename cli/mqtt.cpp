// The broker connection on libmosquitto. The network thread (mosquitto_loop_start) runs the
// callbacks; the sensor loop only calls Publish. Neither thread holds our lock while it is inside
// libmosquitto, so the two never wait for each other there.
#include "cli/mqtt.h"

#include <mosquitto.h>

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

#include "cli/cli.h"
#include "platform/events.h"

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

enum class Kind { Measurement, Retained, Final };

}  // namespace

struct Broker::State {
    mosquitto* m = nullptr;
    BrokerOptions o;
    bool threadRunning = false;

    std::mutex mu;
    std::condition_variable finalDone;
    std::vector<std::pair<std::string, std::string>> retained;
    std::map<int, Kind> onTheWay;  // message id -> kind, handed over and not yet sent/acknowledged
    std::set<int> doneEarly;       // completed before Send had recorded its id
    int measurementsOnTheWay = 0;  // of onTheWay, plus those being handed over
    int finalMid = -1;
    bool finalSent = false;
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
    int Send(const std::string& topic, const std::string& payload, Kind kind) {
        int mid = 0;
        const bool retain = kind != Kind::Measurement;
        const int rc = mosquitto_publish(m, &mid, topic.c_str(), int(payload.size()), payload.data(),
                                         retain ? 1 : o.qos, retain);
        std::lock_guard<std::mutex> lock(mu);
        if (rc != MOSQ_ERR_SUCCESS) {
            if (kind == Kind::Measurement) {
                --measurementsOnTheWay;
                ++dropped;
            }
            return -1;
        }
        if (kind == Kind::Final) finalMid = mid;
        if (doneEarly.erase(mid)) Completed(mid, kind);
        else onTheWay[mid] = kind;
        return mid;
    }
    void Completed(int mid, Kind kind) {  // under mu
        if (kind == Kind::Measurement) {
            --measurementsOnTheWay;
            ++published;
            if (slow && measurementsOnTheWay == 0) {
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

    static void OnConnect(mosquitto*, void* obj, int rc) {
        auto* s = static_cast<State*>(obj);
        std::vector<std::pair<std::string, std::string>> again;
        {
            std::lock_guard<std::mutex> lock(s->mu);
            s->connack = rc;
            if (rc != 0) return;
            s->connected = true;
            if (s->everConnected)
                std::fprintf(stderr, "kryta-lt: broker %s is back after %.1f s; %llu frames were not published meanwhile\n",
                             s->Name().c_str(), Now() - s->awaySince,
                             static_cast<unsigned long long>(s->dropped - s->droppedWhenAway));
            s->everConnected = true;
            again = s->retained;
        }
        for (const auto& [topic, payload] : again) s->Send(topic, payload, Kind::Retained);
    }
    static void OnDisconnect(mosquitto*, void* obj, int rc) {
        auto* s = static_cast<State*>(obj);
        std::lock_guard<std::mutex> lock(s->mu);
        if (!s->everConnected) {
            s->lostRc = rc;
            s->lostErrno = errno;
        }
        const bool was = s->connected;
        s->connected = false;
        // Sent-but-unwritten messages of quality 0 go with the connection; those of quality 1
        // stay with libmosquitto, which sends them again after the reconnect.
        for (auto it = s->onTheWay.begin(); it != s->onTheWay.end();) {
            if (it->second == Kind::Measurement && s->o.qos == 0) {
                --s->measurementsOnTheWay;
                ++s->dropped;
                it = s->onTheWay.erase(it);
            } else if (it->second == Kind::Retained) {
                it = s->onTheWay.erase(it);  // published again on reconnect
            } else {
                ++it;
            }
        }
        s->slow = false;
        if (was && !s->closing) {
            s->awaySince = Now();
            s->droppedWhenAway = s->dropped;
            std::fprintf(stderr, "kryta-lt: broker %s went away (%s); measuring goes on, frames are not published until it is back\n",
                         s->Name().c_str(), mosquitto_strerror(rc));
        }
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
};

Broker::Broker() : s_(std::make_unique<State>()) { mosquitto_lib_init(); }

Broker::~Broker() {
    if (s_->m) {
        if (s_->threadRunning) mosquitto_loop_stop(s_->m, true);
        mosquitto_destroy(s_->m);
    }
    mosquitto_lib_cleanup();
}

namespace {

// Why a connection could not be made: network trouble is "unreachable", a refusal or trust and
// credential trouble is "refused".
int ConnectFailed(const std::string& name, int rc, int err, bool tls) {
    if (rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_TLS_HANDSHAKE || (tls && rc == MOSQ_ERR_CONN_LOST))
        return Fail(kExitBrokerRefused, "broker " + name + ": the TLS handshake failed - does --cafile hold the CA "
                                            "that signed the broker's certificate?");
    const std::string why = rc == MOSQ_ERR_ERRNO && err ? std::strerror(err) : mosquitto_strerror(rc);
    return Fail(kExitBrokerUnreachable, "broker " + name + " cannot be reached: " + why);
}

}  // namespace

int Broker::Open(const BrokerOptions& options, double seconds) {
    State& s = *s_;
    s.o = options;
    const std::string name = s.Name();
    s.m = mosquitto_new(options.clientId.c_str(), true, &s);
    if (!s.m) return Fail(kExitUsage, "broker: cannot make a client with the id '" + options.clientId + "'");
    mosquitto_int_option(s.m, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    static const char kOffline[] = "offline";
    mosquitto_will_set(s.m, options.willTopic.c_str(), int(sizeof kOffline - 1), kOffline, 1, true);
    if (!options.username.empty() &&
        mosquitto_username_pw_set(s.m, options.username.c_str(),
                                  options.password.empty() ? nullptr : options.password.c_str()) != MOSQ_ERR_SUCCESS)
        return Fail(kExitUsage, "broker: the user name or password is not valid UTF-8");
    if (!options.cafile.empty()) {
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

    errno = 0;
    int rc = mosquitto_connect_async(s.m, options.host.c_str(), options.port, 10);
    if (rc == MOSQ_ERR_EAI || rc == MOSQ_ERR_LOOKUP)
        return Fail(kExitBrokerUnreachable, "broker " + name + " cannot be reached: no such host");
    if (rc != MOSQ_ERR_SUCCESS) return ConnectFailed(name, rc, errno, !options.cafile.empty());
    // The broker's answer, on this thread: a refusal or a failure is known before anything runs.
    const double deadline = Now() + seconds;
    while (s.connack < 0) {
        errno = 0;
        rc = mosquitto_loop(s.m, 100, 1);
        if (s.connack < 0 && rc != MOSQ_ERR_SUCCESS)
            return ConnectFailed(name, s.lostRc != MOSQ_ERR_SUCCESS ? s.lostRc : rc, s.lostErrno ? s.lostErrno : errno,
                                 !options.cafile.empty());
        ProcessSystemEvents();
        if (Interrupted()) return Fail(kExitInterrupted, "interrupted - nothing done");
        if (s.connack < 0 && Now() > deadline)
            return Fail(kExitBrokerUnreachable, "broker " + name + " did not answer within " +
                                                    std::to_string(int(seconds)) + " s");
    }
    if (s.connack != 0)
        return Fail(kExitBrokerRefused, "broker " + name + " refused the connection: " + mosquitto_connack_string(s.connack));
    if (mosquitto_loop_start(s.m) != MOSQ_ERR_SUCCESS)
        return Fail(kExitBrokerUnreachable, "broker " + name + ": cannot start the network thread");
    s.threadRunning = true;
    return kExitOk;
}

void Broker::Retain(const std::string& topic, const std::string& payload) {
    bool now;
    {
        std::lock_guard<std::mutex> lock(s_->mu);
        s_->retained.emplace_back(topic, payload);
        now = s_->connected;
    }
    if (now) s_->Send(topic, payload, Kind::Retained);
}

bool Broker::Publish(const std::string& topic, const std::string& payload) {
    {
        std::lock_guard<std::mutex> lock(s_->mu);
        if (!s_->connected || s_->measurementsOnTheWay >= kMaxInFlight) {
            if (s_->connected && !s_->slow) {
                s_->slow = true;
                s_->droppedWhenSlow = s_->dropped;
                std::fprintf(stderr, "kryta-lt: broker %s does not keep up (%d messages on their way); frames are "
                                     "not published until it does\n", s_->Name().c_str(), kMaxInFlight);
            }
            ++s_->dropped;
            return false;
        }
        ++s_->measurementsOnTheWay;
    }
    return s_->Send(topic, payload, Kind::Measurement) >= 0;
}

void Broker::Close(const std::string& topic, const std::string& payload, double seconds) {
    State& s = *s_;
    if (!s.threadRunning) return;
    bool connected;
    {
        std::lock_guard<std::mutex> lock(s.mu);
        connected = s.connected;
    }
    if (connected && s.Send(topic, payload, Kind::Final) >= 0) {
        std::unique_lock<std::mutex> lock(s.mu);
        s.finalDone.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return s.finalSent; });
    }
    {
        std::lock_guard<std::mutex> lock(s.mu);
        s.closing = true;
    }
    mosquitto_disconnect(s.m);
    mosquitto_loop_stop(s.m, false);
    s.threadRunning = false;
}

uint64_t Broker::Published() const {
    std::lock_guard<std::mutex> lock(s_->mu);
    return s_->published;
}

uint64_t Broker::Dropped() const {
    std::lock_guard<std::mutex> lock(s_->mu);
    return s_->dropped;
}
