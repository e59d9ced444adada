// The connection to the plant's MQTT broker, on libmosquitto with a network thread of its own: the
// sensor loop hands a message over and goes on, it never waits for the network. At most
// kMaxInFlight measurement messages are on their way at a time; one that finds the broker away or
// the way full is dropped and counted, never queued. The client reconnects by itself (after 1 s,
// then backing off up to 30 s) and publishes its retained messages again on every reconnect.
// MQTT 5 where the broker speaks it (it names a take-over of our client id), else 3.1.1.
// A message counts as published once the broker has acknowledged it, or, at quality 0, a later
// one of the same connection: one frame a second goes with quality 1 to prove those before it.
#pragma once

#include <cstdint>
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

struct BrokerOptions {
    std::string host;
    int port = 1883;
    std::string clientId;
    std::string username, password;  // no user name: anonymous
    std::string cafile;              // TLS with this CA file when not empty
    int qos = 0;                     // of the measurement messages; retained ones always go with 1
    std::string willTopic;           // the broker publishes "offline" there, retained, when we vanish
};

class Broker {
public:
    static constexpr int kMaxInFlight = 64;
    static constexpr int kTakeOvers = 3;  // take-overs of our client id in a row that end the work

    Broker();
    ~Broker();
    Broker(const Broker&) = delete;
    Broker& operator=(const Broker&) = delete;

    // Connects and waits for the broker's answer, at most `seconds`, events processed meanwhile.
    // kExitOk with the network thread running, or (one line printed, nothing left running)
    // kExitBrokerUnreachable, kExitBrokerRefused, kExitUsage (options libmosquitto refuses) or
    // kExitInterrupted.
    int Open(const BrokerOptions& options, double seconds = 10);
    // A retained message (quality of service 1): published now and again after each reconnect; a
    // later one for the same topic takes its place.
    void Retain(const std::string& topic, const std::string& payload);
    // Hands a message over to the network thread; false when it was dropped because the broker is
    // away or kMaxInFlight messages are still on their way.
    bool Publish(const std::string& topic, const std::string& payload);
    // The last retained message (the status), waits at most `seconds` until the broker has it,
    // disconnects cleanly (no last will) and stops the network thread. After a take-over nothing
    // is published. What no acknowledgement has proved by then counts as not published.
    void Close(const std::string& topic, const std::string& payload, double seconds = 3);
    // Another client took our client id kTakeOvers times in a row: the client has stopped.
    bool TakenOver() const;

    uint64_t Published() const;  // Publish messages the broker has acknowledged, or a later one
    uint64_t Dropped() const;    // Publish messages not handed over, or lost or unproved with the connection

private:
    struct State;
    std::unique_ptr<State> s_;
};
