// The one connection to the plant's MQTT broker that publish and the gateway share, on
// libmosquitto with a network thread of its own: the sensor loop hands a message over and goes on,
// it never waits for the network. It makes the client (its id, will, login and TLS), connects,
// reconnects by itself (after 1 s, then backing off up to 30 s), keeps at most kMaxInFlight frames
// on their way (a frame that finds the broker away or the way full is dropped and counted, never
// queued), follows every message to its acknowledgement, publishes its retained messages again on
// every reconnect, and, where its user asks, watches for another client that takes our client id.
// What is the user's own (publish's topics and texts, the gateway's births and bdSeq) it adds
// through SessionEvents.
//
// A frame counts as published once the broker has acknowledged it, or, at quality 0 with
// proveFrames, a later one of the same connection: one frame a second goes with quality 1 to
// prove those before it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// The broker's address: HOST, HOST:PORT, [IPv6] or [IPv6]:PORT; `defaultPort` when none is given.
// False when it is none of these.
bool ParseBroker(const std::string& text, int defaultPort, std::string& host, int& port);
// This computer's host name ("localhost" when it has none).
std::string HostName();
// Why `text` cannot stand in a topic as it is: "it is not valid UTF-8 (character N)" or "it holds
// a control character (U+XXXX, character N)"; "" when it can.
std::string TextProblem(const std::string& text);

struct SessionOptions {
    std::string host;
    int port = 1883;
    std::string clientId;
    std::string username, password;  // no user name: anonymous
    std::string cafile;              // TLS with this CA file when not empty
    bool mqtt5 = false;              // MQTT 5 where the broker speaks it (it names a take-over), else 3.1.1
    int qos = 0;                     // of the frames
    bool proveFrames = false;        // quality 0: one frame a second goes with quality 1 (see above)
    bool giveWay = false;            // kTakeOvers take-overs of our client id in a row end the session
};

// What the session tells its user. Called on the thread that runs the network (libmosquitto's, or
// Open's while it waits), never while the session holds its lock: they may call the session.
class SessionEvents {
public:
    virtual ~SessionEvents() = default;
    // The broker took a CONNECT. `again`: not the first connection of the session, which was away
    // for `away` seconds and dropped `missed` frames meanwhile. Before the retained messages go
    // again (a subscription made here comes before them).
    virtual void Connected([[maybe_unused]] bool again, [[maybe_unused]] double away, [[maybe_unused]] uint64_t missed) {}
    // The broker refused a CONNECT with `rc`.
    virtual void Refused([[maybe_unused]] int rc) {}
    // A connection, or a CONNECT not yet answered (`wasConnected` false), ended without the session
    // ending it: libmosquitto's reason `rc` and, for a connection, why in words. A take-over that
    // the session watches for is told by the session instead.
    virtual void Ended([[maybe_unused]] int rc, [[maybe_unused]] bool wasConnected, [[maybe_unused]] const std::string& why) {}
    // A message of a topic the user subscribed to.
    virtual void Message([[maybe_unused]] const std::string& topic, [[maybe_unused]] const std::string& payload) {}
};

class Session {
public:
    static constexpr int kMaxInFlight = 64;
    static constexpr int kTakeOvers = 3;  // take-overs of our client id in a row that end the work
    static constexpr int kNoThread = -100;  // Start: connected, but the network thread did not start

    explicit Session(SessionEvents* events = nullptr);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Makes the client: its id, the protocol, login, TLS, the reconnect back-off and the in-flight
    // limit. kExitOk, or (one line printed) kExitUsage (what libmosquitto refuses) or
    // kExitBrokerRefused (a CA file that cannot be used).
    int Configure(const SessionOptions& options);
    // The will the broker publishes with quality 1 when this client vanishes; for the next CONNECT.
    void SetWill(const std::string& topic, const std::string& payload, bool retain);
    // Connects and waits for the broker's answer, at most `seconds`, events processed meanwhile.
    // kExitOk with the network thread running, or (one line printed, nothing left running)
    // kExitBrokerUnreachable, kExitBrokerRefused or kExitInterrupted.
    int Open(double seconds = 10);
    // Starts a connection to `host`:`port` and the network thread, without waiting for the answer
    // (the broker of a list, tried in turn). libmosquitto's code of the attempt: MOSQ_ERR_SUCCESS
    // with the network thread running, or kNoThread.
    int Start(const std::string& host, int port);
    // "HOST:PORT" of the broker of now.
    std::string Name() const;
    void Subscribe(const std::string& topic);

    // A retained message (quality of service 1): published now and again after each reconnect; a
    // later one for the same topic takes its place.
    void Retain(const std::string& topic, const std::string& payload);
    // A frame, handed over to the network thread; false when it was dropped because the broker is
    // away or kMaxInFlight frames are still on their way.
    bool Publish(const std::string& topic, const std::string& payload);
    // As Publish, the payload made only when the frame finds room (a payload that counts its
    // messages, as Sparkplug's seq does, makes no gap for a dropped one).
    bool Publish(const std::string& topic, const std::function<std::string()>& payload);
    // Whether a frame would find room now: connected, and the way not full.
    bool Room() const;
    // A message that goes whatever the way (a birth, a status): false when there is no connection.
    bool Send(const std::string& topic, const std::string& payload, int qos, bool retain);
    // The last message of a connection, with quality 1: true once the broker has acknowledged it,
    // waiting at most `seconds` (or until the connection is gone).
    bool SendFinal(const std::string& topic, const std::string& payload, bool retain, double seconds);
    // Ends the connection on purpose (no will) and stops the network thread. What no
    // acknowledgement has proved by then counts as not published. Start connects again.
    void Disconnect();

    bool Connected() const;
    bool EverConnected() const;  // a connection was made since the start
    // Another client took our client id kTakeOvers times in a row: the session has stopped.
    bool TakenOver() const;
    uint64_t Published() const;  // frames the broker has acknowledged, or a later one
    uint64_t Dropped() const;    // frames not handed over, or lost or unproved with the connection

private:
    struct State;
    std::unique_ptr<State> s_;
};
