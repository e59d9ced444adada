// kryta-lt gateway: every sensor of this computer on the plant's broker as one Sparkplug B edge
// node. link/ keeps one line's state in its globals, so each port has a process of its own
// (kryta-lt gateway-line, gateway_line.cpp) that keeps its line's pace and prints the sensor's
// birth line and its frames. The gateway supervises them in one event loop (gateway.cpp) that
// sleeps until a line comes, a child ends, a device appears (inotify), the network thread has news
// or a back-off ends. Its parts, each with the state of its own:
//   configuration   gateway_config.cpp   the settings (options, configuration file), the bdSeq file
//   ports           gateway_ports.cpp    the ports, their devices and the sensors' processes
//   births and data gateway_node.cpp     the MQTT session (session.h), the brokers, the Primary
//                                        Host, NBIRTH/DBIRTH in their order, DDATA, deaths
//   journal         gateway_journal.cpp  the lines it writes on standard error
#pragma once

#include <sys/types.h>

#include <QJsonObject>
#include <QSocketNotifier>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "common/common.h"
#include "plant/session.h"
#include "plant/sparkplug.h"

constexpr double kFirstBackoff = 1, kLastBackoff = 30;  // seconds before a port or a broker is tried again

// ---- configuration ----
// The broker's address: where the gateway connects.
struct BrokerAddress {
    std::string host;
    int port = 1883;
    std::string Name() const { return host + ":" + std::to_string(port); }
};

struct GatewayConfig {
    Args a;                            // the options: the command line's over the configuration file's
    std::string group, node, primaryHost;
    std::vector<BrokerAddress> brokers;  // in the order given; the gateway is on one of them at a time
    std::vector<std::string> ports;    // the devices of --ports (none with --scan)
    std::string self;                  // this program
    std::string stateFile;             // where the birth-death sequence number is kept
    int bdSeq = 0;                     // of the first CONNECT
    std::string password;              // of --password-file
};
// The settings of CmdGateway: the options given, the configuration file's under them, each one
// checked. kExitOk, or the code of the refusal (printed).
int ReadGatewayConfig(const Args& given, OptionSetter setOption, GatewayConfig& c);

// ---- ports: the sensors' lines and their processes ----
struct Line {
    std::string device;    // as given or found
    std::string deviceId;  // its Sparkplug device ID
    pid_t pid = -1;
    int out = -1, err = -1;
    std::unique_ptr<QSocketNotifier> outNote, errNote;
    std::string outBuf, errBuf, lastError;
    bool born = false;           // its birth line came from the running process
    bool birthSent = false;      // DBIRTH published in the current MQTT session
    bool everBorn = false;
    double lostAt = 0;           // when the sensor was lost
    double backoff = kFirstBackoff;
    double retryAt = 0;          // 0: when its device appears
    double settleAt = 0;         // its process was stopped from outside: taken as lost then
    std::string why;             // why its process ended
    std::string said;            // the last "no sensor" reason written to the log
    bool present = false;        // its device was there at the last look
    SparkplugDevice sensor;
    QJsonObject birthLine;       // for the JSON topics' retained messages
    uint64_t aliasBase = 0;
};

class Ports {
public:
    // `onLine`: a line of a sensor's process; `onLost`: its process ended for `Line::why`.
    Ports(const GatewayConfig& config, std::function<void(Line&, const std::string&)> onLine,
          std::function<void(Line&)> onLost);
    ~Ports();

    std::vector<std::unique_ptr<Line>> lines;
    bool ending = false;  // the sensors' processes are being stopped

    Line* Add(const std::string& device);
    // Watches the device folders (inotify) from now on; false when it cannot.
    void WatchDevices();
    // Which devices are there: a port whose device has appeared is tried at once (with --scan, new
    // devices are new ports).
    void Look();
    // The next moment the ports need the loop (a start, a look, a settled end), at most `next`;
    // what is due by `now` is done.
    double Due(double now, double next);
    // The sensors of the ports present have connected or failed: none is still connecting.
    bool Gathered() const;
    uint32_t Serving() const;  // sensors born
    // The device ID of the sensor on the line now, unique among the sensors served.
    std::string FreeId(const Line& l) const;
    // After a sensor's process ended: its port tried again after its back-off, once its device is there.
    void Retry(Line& l);
    // The end: every process asked to stop (SIGTERM) / given at most `seconds` to settle its line
    // and end, then killed.
    void Stop();
    void Reap(double seconds);
    static bool Present(const std::string& device);

private:
    void Watch(const std::string& folder);
    void WatchFolders();
    std::vector<std::string> ScanCandidates();
    void OnInotify();
    void Start(Line& l);
    void Read(Line& l, bool fromOut);
    void Ended(Line& l);

    const GatewayConfig& config_;
    std::function<void(Line&, const std::string&)> onLine_;
    std::function<void(Line&)> onLost_;
    std::vector<std::unique_ptr<QSocketNotifier>> retired_;  // notifiers to delete outside their signal
    int inotifyFd_ = -1;
    std::unique_ptr<QSocketNotifier> inotifyNote_;
    std::map<int, std::string> watched_;  // inotify's watch descriptors: the folders
    double lookAt_ = 0;                   // a look at the devices is due (0: none)
    std::set<std::string> toldBuiltIn_;   // built-in ports that --scan leaves out, said once
};

// ---- births and data ----
// What the network thread tells the event loop: kept under a lock of its own, the loop woken
// through a pipe. The birth-death sequence number of the next CONNECT's will lives here too: every
// CONNECT sent carries the next one, even one cut off before the broker answered.
struct Mail : SessionEvents {
    Session* session = nullptr;
    std::string ncmdTopic, stateTopic, willTopic, stateFile;
    int wake[2] = {-1, -1};

    std::mutex mu;
    int connections = 0;    // connections made so far
    int refused = -1;       // the broker's refusal of the last CONNECT
    int lostRc = 0;
    bool lostNews = false;  // a connection ended since the loop last looked
    int bdSeq = 0;          // of the Will of the connection made or being made
    std::vector<std::string> commands;  // NCMD payloads
    std::vector<std::string> states;    // the Primary Host's STATE payloads

    ~Mail() override;
    void Connected(bool again, double away, uint64_t missed) override;
    void Refused(int rc) override;
    void Ended(int rc, bool wasConnected, const std::string& why) override;
    void Message(const std::string& topic, const std::string& payload) override;
    void Wake();
    // The bdSeq in the state file and in the Will of the next CONNECT. Under mu.
    void SetWill();
    int BdSeq();
};

class Node {
public:
    Node(const GatewayConfig& config, Ports& ports);

    // The session's client, the wake pipe. kExitOk or the code of a failure (printed).
    int Open();
    // A connection to the broker of now. kExitOk, or the exit code of a fault that ends the gateway.
    int TryBroker();
    // What the network thread has told.
    void OnSession();
    // The births of the session, once it may have them: connected, the Primary Host online, and
    // the sensors of the ports present connected (or kGatherSeconds gone).
    void MaybeBirths();
    // The next moment the node needs the loop, at most `next`; what is due by `now` is done.
    double Due(double now, double next);
    // A line of a sensor's process, and the end of a sensor's process (see Ports).
    void OnLine(Line& l, const std::string& text);
    void Lost(Line& l);
    // The end: the JSON statuses offline and NDEATH when born, the session closed. Whether NDEATH
    // was acknowledged.
    bool Close();

    int fatal = 0;  // the exit code of a fault that ends the gateway
    uint64_t published = 0, dropped = 0;

private:
    bool Born() const { return bornSession_ != 0 && bornSession_ == currentSession_; }
    uint64_t NextSeq();
    std::string DTopic(const char* type, const Line& l) const;
    std::string JsonPrefix(const Line& l) const;
    void DeviceBirth(Line& l, const QJsonObject& birthLine);
    void NodeCount();
    void Births();
    bool SendDeath();
    void Leave(const std::string& why);
    void OnState(const std::string& payload);
    void OnCommands(const std::vector<std::string>& commands);

    const GatewayConfig& config_;
    Ports& ports_;
    Mail mail_;
    Session session_;
    std::unique_ptr<QSocketNotifier> wakeNote_;
    size_t current_ = 0;           // the broker of now
    std::vector<bool> tried_;      // each broker has been tried since the start
    double brokerAt_ = 0;          // a connection is to be tried (0: none due)
    double brokerBackoff_ = kFirstBackoff;
    double answerBy_ = 0;          // the broker's first answer is due (a TLS handshake that fails ends the thread silently)
    // the Primary Host: births only while its STATE says online (none named: always)
    bool hostOnline_ = false;      // on the connection of now
    int64_t lastStateAt_ = -1, lastOnlineAt_ = -1;  // the timestamps of the STATE messages taken
    double hopAt_ = 0;             // to the next broker, where the host is offline on this one (0: none due)
    double hopBackoff_ = kFirstBackoff;
    bool sessionLost_ = false;     // the last connection was lost, not left
    double gatherUntil_ = 0;       // the sensors of the ports present connect before the births, until then
    int bornSession_ = 0;          // the MQTT session whose births went out
    int currentSession_ = 0;
    uint64_t seq_ = 0;
    double awaySince_ = 0;
    uint64_t droppedWhenAway_ = 0;
};

// ---- journal: the lines on standard error ----
void Log(const std::string& text);
std::string Seconds(double s);
// A sensor came up on its line: found, or back after it was lost.
void TellFound(const Line& l);
// A sensor that was up is lost; one that never came up is said once per reason.
void TellLost(const Line& l, const std::string& why);
void TellNoSensor(Line& l, const std::string& why);
// A run of frames ridden over, as the sensor's process told it once it was over.
void TellFramesLost(const Line& l, const QJsonObject& o);
// The gateway's last line.
void TellEnd(bool finalSent, size_t ports, uint64_t published, uint64_t dropped);
