// kryta-lt gateway: every sensor of this computer on the plant's broker as one Sparkplug B edge
// node. link/ keeps one line's state in its globals, so each port has a process of its own
// (kryta-lt gateway-line, cli/gateway_line.cpp) that keeps its line's pace and prints the sensor's
// birth line and its frames. This process supervises them: it reads their pipes in one event loop
// that sleeps until a line comes, a child ends, a device appears (inotify) or a back-off ends; it
// owns the one MQTT session (libmosquitto's network thread; births, data and deaths published from
// here); and it writes the journal's lines on standard error.
#include <fcntl.h>
#include <mosquitto.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "common/connect.h"
#include "cli/mqtt.h"
#include "cli/sparkplug.h"
#include "platform/events.h"
#include "platform/rs232.h"
#include "platform/utility.h"
#include "sensor/files.h"

extern char** environ;

namespace {

constexpr double kFirstBackoff = 1, kLastBackoff = 30;  // seconds before a port is tried again
constexpr double kLookDelay = 0.2;    // after a change in a watched folder: the device settles
constexpr int kMaxOnTheWay = 64;      // messages handed to the network thread and not yet sent
constexpr double kStopSeconds = 3;    // for the sensors' processes to settle their lines and end
constexpr double kStoppedGrace = 0.5; // a signal to the gateway and its processes: one request
constexpr double kFirstAnswerSeconds = 10;  // for the broker's answer to the first connection
constexpr double kGatherSeconds = 5;  // for the sensors of the ports present to connect before a session's births
constexpr double kFinalSeconds = 2;   // for the broker's acknowledgement of NDEATH
const char* const kDefaultConfig = "/etc/kryta/gateway.conf";
const char* const kDefaultStateDir = "/var/lib/kryta";

void Log(const std::string& text) {
    std::fprintf(stderr, "kryta-lt: %s\n", text.c_str());
    std::fflush(stderr);
}

std::string Seconds(double s) {
    char t[32];
    std::snprintf(t, sizeof t, "%.1f s", s);
    return t;
}

// ---- settings ----

std::string Trim(const std::string& s) {
    const auto a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

// Where each setting taken from the configuration file stands ("FILE, line N"), by its key.
using Origins = std::map<std::string, std::string>;

// The configuration file into `a`, under what the command line gave. Every refusal names the
// file, the line, the key and the reason.
int ReadConfig(const std::string& path, Args& a, Origins& origins, OptionSetter setOption) {
    static const std::set<std::string> kKeys = {"broker", "group", "node", "ports", "scan", "every", "json-topics",
                                                "username", "password-file", "cafile", "state-dir", "primary-host"};
    const std::string file = "the configuration file " + path;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return Fail(kExitUsage, "cannot read " + file + ": " + std::strerror(errno));
    if (S_ISDIR(st.st_mode)) return Fail(kExitUsage, file + " is a folder, not a file of settings");
    if (!S_ISREG(st.st_mode)) return Fail(kExitUsage, file + " is not a regular file");
    if (st.st_size > (1 << 20)) return Fail(kExitUsage, file + " is too large for settings (" + std::to_string(st.st_size) + " bytes)");
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!in) return Fail(kExitUsage, "cannot read " + file + ": " + std::strerror(errno));
    std::set<std::string> seen;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string at = path + ", line " + std::to_string(number) + ": ";
        if (line.find('\0') != std::string::npos) return Fail(kExitUsage, at + "a NUL byte: not a file of settings");
        const std::string t = Trim(line);
        if (t.empty() || t[0] == '#') continue;
        if (const std::string why = TextProblem(t); !why.empty()) return Fail(kExitUsage, at + why);
        const auto eq = t.find('=');
        if (eq == std::string::npos) return Fail(kExitUsage, at + "not 'key = value'");
        const std::string key = Trim(t.substr(0, eq)), value = Trim(t.substr(eq + 1));
        if (!kKeys.count(key)) return Fail(kExitUsage, at + "no setting '" + key + "'");
        if (!seen.insert(key).second) return Fail(kExitUsage, at + key + " set a second time");
        if (std::find(a.given.begin(), a.given.end(), key) != a.given.end()) continue;  // the command line wins
        bool known = false;
        std::string why = setOption(a, key, value, known);
        if (why.rfind("--" + key, 0) == 0) why.erase(0, 2);  // the option's reason, in the file's words
        if (!why.empty()) return Fail(kExitUsage, at + why);
        origins[key] = path + ", line " + std::to_string(number);
    }
    if (in.bad()) return Fail(kExitUsage, "cannot read " + file + ": " + std::strerror(errno));
    return kExitOk;
}

// How a refusal names a setting: "--key" as given on the command line, "FILE, line N: key" from
// the configuration file.
std::string Named(const Origins& origins, const std::string& key) {
    const auto it = origins.find(key);
    return it == origins.end() ? "--" + key : it->second + ": " + key;
}

// Why `id` cannot be a Sparkplug ID; "" when it can.
std::string IdProblem(const std::string& id) {
    if (id.empty()) return "it is empty";
    if (std::string why = TextProblem(id); !why.empty()) return why;
    if (const auto at = id.find_first_of("+/#"); at != std::string::npos)
        return std::string("it holds '") + id[at] + "', which no Sparkplug ID may";
    return "";
}

// The broker's address: where the gateway connects.
struct BrokerAddress {
    std::string host;
    int port = 1883;
    std::string Name() const { return host + ":" + std::to_string(port); }
};

bool Writable(const std::string& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return ::access(dir.c_str(), W_OK | X_OK) == 0;
}

// ---- the MQTT session ----
// libmosquitto's network thread runs the callbacks; they change only what is under `mu` and wake
// the event loop through a pipe. Everything else happens on the event loop's thread.
struct Session {
    mosquitto* m = nullptr;
    std::string name, ncmdTopic, willTopic, stateTopic, stateFile;
    int wake[2] = {-1, -1};

    std::mutex mu;
    std::condition_variable done;
    bool connected = false, closing = false, everConnected = false;
    bool leaving = false;   // the gateway itself ends this connection to go to the next broker
    int session = 0;        // connections made so far
    int refused = -1;       // the broker's refusal of the last CONNECT
    int lostRc = 0;
    bool lostNews = false;  // a connection ended since the loop last looked
    int bdSeq = 0;          // of the Will of the connection made or being made
    int onTheWay = 0;       // messages handed over, not yet written
    // NDEATH before a deliberate disconnect: its message id once known, and the ids completed
    // meanwhile (the broker's acknowledgement may come before the publish call has returned it)
    bool awaitingFinal = false;
    int finalMid = -1;
    bool finalSent = false;
    std::set<int> completed;
    std::vector<std::string> commands;  // NCMD payloads
    std::vector<std::string> states;    // the Primary Host's STATE payloads

    void Wake() {
        const char c = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake[1], &c, 1);
    }
    // The bdSeq in the state file and in the Will of the next CONNECT. Under mu.
    void SetWill() {
        std::string reason;
        if (!stateFile.empty() && !WriteFileReplacing(stateFile, std::to_string(bdSeq) + "\n", reason))
            Log("cannot keep the birth-death sequence number in " + stateFile + ": " + reason);
        const std::string will = NodeDeathPayload(uint64_t(bdSeq));
        mosquitto_will_set(m, willTopic.c_str(), int(will.size()), will.data(), 1, false);
    }

    static void OnConnect(mosquitto* m, void* obj, int rc) {
        auto* s = static_cast<Session*>(obj);
        {
            std::lock_guard<std::mutex> lock(s->mu);
            if (rc != 0) {
                s->refused = rc;
            } else {
                s->connected = true;
                s->everConnected = true;
                ++s->session;
            }
        }
        if (rc == 0) {  // before NBIRTH
            mosquitto_subscribe(m, nullptr, s->ncmdTopic.c_str(), 1);
            if (!s->stateTopic.empty()) mosquitto_subscribe(m, nullptr, s->stateTopic.c_str(), 1);
        }
        s->Wake();
    }
    // Every CONNECT sent carries the next bdSeq: one cut off before the broker answered counts too.
    static void OnDisconnect(mosquitto*, void* obj, int rc) {
        auto* s = static_cast<Session*>(obj);
        {
            std::lock_guard<std::mutex> lock(s->mu);
            s->connected = false;
            s->onTheWay = 0;  // what was not written went with the connection
            if (!s->closing && !s->leaving) {
                s->lostRc = rc;
                s->lostNews = true;
                s->bdSeq = (s->bdSeq + 1) % 256;  // the next CONNECT's
                s->SetWill();
            }
            s->done.notify_all();
        }
        s->Wake();
    }
    static void OnPublish(mosquitto*, void* obj, int mid) {
        auto* s = static_cast<Session*>(obj);
        std::lock_guard<std::mutex> lock(s->mu);
        if (s->onTheWay > 0) --s->onTheWay;
        if (!s->awaitingFinal) return;
        if (mid == s->finalMid) {
            s->finalSent = true;
            s->done.notify_all();
        } else {
            s->completed.insert(mid);
        }
    }
    static void OnMessage(mosquitto*, void* obj, const mosquitto_message* msg) {
        auto* s = static_cast<Session*>(obj);
        if (!msg->topic) return;
        const bool command = s->ncmdTopic == msg->topic, state = !s->stateTopic.empty() && s->stateTopic == msg->topic;
        if (!command && !state) return;
        {
            std::lock_guard<std::mutex> lock(s->mu);
            (command ? s->commands : s->states).emplace_back(static_cast<const char*>(msg->payload), size_t(msg->payloadlen));
        }
        s->Wake();
    }

    // A birth or death: always handed over. False when the connection is not there.
    bool Send(const std::string& topic, const std::string& payload, int qos = 0, bool retain = false, int* mid = nullptr) {
        {
            std::lock_guard<std::mutex> lock(mu);
            if (!connected) return false;
            ++onTheWay;
        }
        const int rc = mosquitto_publish(m, mid, topic.c_str(), int(payload.size()), payload.data(), qos, retain);
        if (rc != MOSQ_ERR_SUCCESS) {
            std::lock_guard<std::mutex> lock(mu);
            if (onTheWay > 0) --onTheWay;
        }
        return rc == MOSQ_ERR_SUCCESS;
    }
    // NDEATH with the bdSeq of this connection's Will, at quality 1: true once the broker has
    // acknowledged it, waiting at most `seconds`.
    bool SendFinal(double seconds) {
        int bd;
        {
            std::lock_guard<std::mutex> lock(mu);
            bd = bdSeq;
            awaitingFinal = true;
            finalSent = false;
            finalMid = -1;
            completed.clear();
        }
        int mid = -1;
        const bool handed = Send(willTopic, NodeDeathPayload(uint64_t(bd)), 1, false, &mid);
        std::unique_lock<std::mutex> lock(mu);
        if (handed) {
            finalMid = mid;
            finalSent = completed.count(mid) > 0;
            done.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return finalSent || !connected; });
        }
        awaitingFinal = false;
        completed.clear();
        return finalSent;
    }
    // Whether data may go now: connected, and the way not full.
    bool Room() {
        std::lock_guard<std::mutex> lock(mu);
        return connected && onTheWay < kMaxOnTheWay;
    }
    bool Connected() {
        std::lock_guard<std::mutex> lock(mu);
        return connected;
    }
};

// ---- the sensors' lines ----
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

struct Gateway {
    Args a;
    std::string group, node;
    Session s;
    // the brokers, in the order given; the gateway is on one of them at a time
    std::vector<BrokerAddress> brokers;
    size_t current = 0;
    std::vector<bool> tried;     // each broker has been tried since the start
    double brokerAt = 0;         // a connection is to be tried (0: none due)
    double brokerBackoff = kFirstBackoff;
    double answerBy = 0;         // the broker's first answer is due (a TLS handshake that fails ends the thread silently)
    bool threadRunning = false;
    // the Primary Host: births only while its STATE says online (none named: always)
    std::string primaryHost;
    bool hostOnline = false;     // on the connection of now
    int64_t lastStateAt = -1, lastOnlineAt = -1;  // the timestamps of the STATE messages taken
    double hopAt = 0;            // to the next broker, where the host is offline on this one (0: none due)
    double hopBackoff = kFirstBackoff;
    bool sessionLost = false;    // the last connection was lost, not left
    double gatherUntil = 0;      // the sensors of the ports present connect before the births, until then
    std::set<std::string> toldBuiltIn;  // built-in ports that --scan leaves out, said once
    std::vector<std::unique_ptr<Line>> lines;
    std::vector<std::unique_ptr<QSocketNotifier>> retired;  // notifiers to delete outside their signal
    int inotifyFd = -1;
    std::map<int, std::string> watched;  // inotify's watch descriptors: the folders
    double lookAt = 0;           // a look at the devices is due (0: none)
    int bornSession = 0;         // the MQTT session whose births went out
    uint64_t seq = 0;
    double awaySince = 0;
    uint64_t dropped = 0, droppedWhenAway = 0, published = 0;
    bool slow = false;
    uint64_t droppedWhenSlow = 0;
    std::string self;            // this program
    int fatal = 0;               // the exit code of a fault that ends the gateway
    bool ending = false;         // the sensors' processes are being stopped

    bool Born() const { return bornSession != 0 && bornSession == currentSession; }
    int currentSession = 0;

    uint64_t NextSeq() {
        seq = (seq + 1) % 256;
        return seq;
    }
    std::string DTopic(const char* type, const Line& l) const { return SparkplugTopic(group, type, node, l.deviceId); }
    std::string JsonPrefix(const Line& l) const { return "kryta/" + node + "/" + l.deviceId; }
    uint32_t Serving() const {
        uint32_t n = 0;
        for (const auto& l : lines) n += l->born;
        return n;
    }

    // ---- devices and watching ----
    void Watch(const std::string& folder) {
        if (inotifyFd < 0 || folder.empty()) return;
        for (const auto& [wd, f] : watched)
            if (f == folder) return;
        const int wd = inotify_add_watch(inotifyFd, folder.c_str(), IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_ATTRIB);
        if (wd >= 0) watched[wd] = folder;
    }
    void WatchFolders() {
        Watch("/dev");
        Watch("/dev/serial");
        Watch("/dev/serial/by-id");
        for (const auto& l : lines) Watch(std::filesystem::path(l->device).parent_path().string());
    }
    static bool Present(const std::string& device) {
        struct stat st {};
        return ::stat(device.c_str(), &st) == 0;
    }
    static std::string Real(const std::string& device) {
        std::error_code ec;
        const auto p = std::filesystem::canonical(device, ec);
        return ec ? device : p.string();
    }
    // The device ID of the sensor on the line now (a by-id link names the adapter plugged in), made
    // unique among the sensors served.
    std::string FreeId(const Line& l) const {
        const std::string base = DeviceIdOf(l.device);
        std::string id = base;
        for (int k = 2;; ++k) {
            bool taken = false;
            for (const auto& o : lines) taken = taken || (o.get() != &l && o->born && o->deviceId == id);
            if (!taken) return id;
            id = base + "-" + std::to_string(k);
        }
    }
    Line* Add(const std::string& device) {
        auto l = std::make_unique<Line>();
        l->device = device;
        l->deviceId = DeviceIdOf(device);
        l->aliasBase = uint64_t(lines.size() + 1) << 8;
        lines.push_back(std::move(l));
        Watch(std::filesystem::path(device).parent_path().string());
        return lines.back().get();
    }
    // The ports of --scan: every KRYTA_COM<n> and every serial device of the machine but the
    // built-in ports, each once.
    std::vector<std::string> ScanCandidates() {
        RescanComPorts();
        std::vector<std::string> found;
        std::vector<std::pair<int, std::string>> named;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            const auto eq = entry.find('=');
            if (entry.rfind("KRYTA_COM", 0) != 0 || eq == std::string::npos || eq == 9 || eq + 1 == entry.size()) continue;
            const std::string digits = entry.substr(9, eq - 9);
            if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 6) continue;
            named.emplace_back(std::stoi(digits), entry.substr(eq + 1));
        }
        std::sort(named.begin(), named.end());
        for (const auto& [n, d] : named) found.push_back(d);
        for (const std::string& d : SerialDevices()) {
            if (ScannedUnasked(d)) {
                found.push_back(d);
            } else if (toldBuiltIn.insert(d).second) {
                Log(d + ": a built-in serial port, not scanned (name it in ports or a KRYTA_COM<n> to serve it)");
            }
        }
        return found;
    }
    void Look() {
        lookAt = 0;
        if (a.scan) {
            for (const std::string& d : ScanCandidates()) {
                bool known = false;
                for (const auto& l : lines)
                    known = known || l->device == d || (Present(d) && Present(l->device) && Real(d) == Real(l->device));
                if (!known) Add(d);
            }
        }
        WatchFolders();
        // A port whose device has appeared is tried at once; one backing off keeps its time.
        for (const auto& l : lines) {
            const bool was = l->present;
            l->present = Present(l->device);
            if (l->pid > 0 || !l->present || (was && l->retryAt != 0)) continue;
            l->retryAt = Timer();
            l->backoff = kFirstBackoff;
        }
    }
    void OnInotify() {
        alignas(inotify_event) char buf[4096];
        for (ssize_t n; (n = ::read(inotifyFd, buf, sizeof buf)) > 0;)
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
                if (e->mask & IN_IGNORED) watched.erase(e->wd);  // the folder went: watched again when it is back
                at += ssize_t(sizeof(inotify_event) + e->len);
            }
        if (lookAt == 0) lookAt = Timer() + kLookDelay;
    }

    // ---- the sensors' processes ----
    void Start(Line& l) {
        l.retryAt = Timer() + kLastBackoff;  // unless it starts
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        if (::pipe2(err, O_CLOEXEC) != 0) {
            ::close(out[0]), ::close(out[1]);
            return;
        }
        std::vector<std::string> args = {self, "-p", l.device, "gateway-line", "--every", std::to_string(a.every)};
        std::vector<char*> argv;
        for (auto& s : args) argv.push_back(s.data());
        argv.push_back(nullptr);
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // the gateway gone: the line is settled and closed
            if (getppid() != parent) _exit(kExitInterrupted);
            ::dup2(out[1], STDOUT_FILENO);
            ::dup2(err[1], STDERR_FILENO);
            ::close_range(3, ~0U, 0);  // nothing of the gateway's (the broker's socket) stays open in it
            ::execv(self.c_str(), argv.data());
            _exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        if (pid < 0) {
            ::close(out[0]), ::close(err[0]);
            Log(l.device + ": cannot start its process: " + std::strerror(errno));
            return;
        }
        l.pid = pid;
        l.retryAt = 0;
        l.out = out[0];
        l.err = err[0];
        l.outBuf.clear(), l.errBuf.clear(), l.lastError.clear();
        for (int fd : {l.out, l.err}) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        Line* lp = &l;
        l.outNote = std::make_unique<QSocketNotifier>(l.out, QSocketNotifier::Read);
        QObject::connect(l.outNote.get(), &QSocketNotifier::activated, [this, lp] { Read(*lp, true); });
        l.errNote = std::make_unique<QSocketNotifier>(l.err, QSocketNotifier::Read);
        QObject::connect(l.errNote.get(), &QSocketNotifier::activated, [this, lp] { Read(*lp, false); });
    }
    void Read(Line& l, bool fromOut) {
        int& fd = fromOut ? l.out : l.err;
        std::string& buf = fromOut ? l.outBuf : l.errBuf;
        char chunk[16384];
        bool ended = false;
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n > 0) {
                buf.append(chunk, size_t(n));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            ended = n == 0 || errno != EAGAIN;
            break;
        }
        size_t start = 0;
        for (size_t nl; (nl = buf.find('\n', start)) != std::string::npos; start = nl + 1) {
            const std::string one = buf.substr(start, nl - start);
            if (fromOut) OnLine(l, one);
            else if (!one.empty()) l.lastError = one.rfind("kryta-lt: ", 0) == 0 ? one.substr(10) : one;
        }
        buf.erase(0, start);
        if (buf.size() > (1 << 20)) buf.clear();  // no line end in a megabyte: nothing of ours
        if (!ended) return;
        auto& note = fromOut ? l.outNote : l.errNote;
        note->setEnabled(false);
        retired.push_back(std::move(note));
        ::close(fd);
        fd = -1;
        if (l.out < 0 && l.err < 0) Ended(l);
    }
    void Ended(Line& l) {
        int status = 0;
        ::waitpid(l.pid, &status, 0);
        l.pid = -1;
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::string why = l.lastError.empty() ? (code < 0 ? "its process was killed" : "exit " + std::to_string(code))
                                              : l.lastError;
        if (why.rfind(l.device + ": ", 0) == 0) why = why.substr(l.device.size() + 2);
        if (Interrupted() || ending) return;
        l.why = why;
        // A process that ended by itself after an interruption was stopped from outside, as a service
        // manager or a terminal's Ctrl-C stops the gateway with it: a moment for that to arrive.
        if (code == kExitOk || code == kExitInterrupted) {
            l.settleAt = Timer() + kStoppedGrace;
            return;
        }
        Lost(l);
    }
    // The sensor's process has ended for `l.why`: DDEATH, the journal's line, the next try.
    void Lost(Line& l) {
        l.settleAt = 0;
        const std::string& why = l.why;
        if (l.born) {
            l.born = false;
            l.lostAt = Timer();
            l.backoff = kFirstBackoff;
            if (l.birthSent && Born()) {
                s.Send(DTopic("DDEATH", l), SparkplugDevice::DeathPayload(NextSeq(), UtcNowMs()));
                if (a.jsonTopics) s.Send(JsonPrefix(l) + "/status", "line lost", 1, true);
                NodeCount();
            }
            l.birthSent = false;
            Log(l.device + " (" + l.deviceId + "): sensor lost after " + std::to_string(l.sensor.LastFrame()) +
                " frames (" + std::to_string(l.sensor.Missed()) + " ridden over): " + why);
            l.said.clear();
        } else {
            // never came up: said once per reason, then tried again quietly
            const auto inUse = why.find("in use by ");
            const std::string reason = inUse != std::string::npos ? why.substr(inUse) + ": left alone" : "no sensor: " + why;
            if (reason != l.said)
                Log(l.device + ": " + reason + "; tried again in " + Seconds(l.backoff) + ", backing off up to " +
                    Seconds(kLastBackoff));
            l.said = reason;
        }
        l.present = Present(l.device);
        l.retryAt = l.present ? Timer() + l.backoff : 0;
        l.backoff = std::min(kLastBackoff, l.backoff * 2);
        MaybeBirths();
    }
    void OnLine(Line& l, const std::string& text) {
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
        if (!l.born) {
            std::string why;
            if (!l.sensor.Birth(o, l.aliasBase, why)) {
                Log(l.device + ": " + why);
                return;
            }
            l.deviceId = FreeId(l);
            l.born = true;
            l.backoff = kFirstBackoff;
            l.said.clear();
            Log(l.device + " (" + l.deviceId + "): sensor " + (l.everBorn ? "back after " + Seconds(Timer() - l.lostAt) : "found") +
                ": " + l.sensor.Describe());
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
            const qint64 n = o["lost"].toInteger(), first = o["first"].toInteger();
            const std::string numbers = n == 1 ? "number " + std::to_string(first)
                                               : "numbers " + std::to_string(first) + " to " + std::to_string(first + n - 1);
            Log(l.device + " (" + l.deviceId + "): " + std::to_string(n) + (n == 1 ? " frame" : " frames") + " lost, " +
                numbers + ": " + o["why"].toString().toStdString());
            return;
        }
        if (!l.sensor.Frame(o) || !Born() || !l.birthSent || Interrupted()) return;
        if (!s.Room()) {
            Dropped();
            return;
        }
        if (s.Send(DTopic("DDATA", l), l.sensor.DataPayload(NextSeq(), UtcNowMs()))) {
            ++published;
            if (slow) {
                slow = false;
                Log("broker " + s.name + " keeps up again; " + std::to_string(dropped - droppedWhenSlow) +
                    " frames were not published meanwhile");
            }
        }
        if (a.jsonTopics && s.Room()) s.Send(JsonPrefix(l) + "/measurement", JsonMeasurement(o));
    }
    void Dropped() {
        ++dropped;
        bool connected;
        {
            std::lock_guard<std::mutex> lock(s.mu);
            connected = s.connected;
        }
        if (connected && !slow) {
            slow = true;
            droppedWhenSlow = dropped;
            Log("broker " + s.name + " does not keep up (" + std::to_string(kMaxOnTheWay) +
                " messages on their way); frames are not published until it does");
        }
    }
    static std::string JsonMeasurement(QJsonObject o) {
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
    void DeviceBirth(Line& l, const QJsonObject& birthLine) {
        l.birthSent = s.Send(DTopic("DBIRTH", l), l.sensor.BirthPayload(NextSeq(), UtcNowMs()));
        if (!a.jsonTopics || !l.birthSent) return;
        s.Send(JsonPrefix(l) + "/status", "online", 1, true);
        if (!birthLine.isEmpty()) {
            s.Send(JsonPrefix(l) + "/identity", QJsonDocument(birthLine["identity"].toObject()).toJson(QJsonDocument::Compact).toStdString(), 1, true);
            QJsonObject parameters = birthLine["parameters"].toObject();
            QJsonObject each = parameters["parameters"].toObject();
            for (auto it = each.begin(); it != each.end(); ++it) {
                QJsonObject p = it.value().toObject();
                p.remove("type");
                it.value() = p;
            }
            parameters["parameters"] = each;
            s.Send(JsonPrefix(l) + "/parameters", QJsonDocument(parameters).toJson(QJsonDocument::Compact).toStdString(), 1, true);
        }
    }
    void NodeCount() {
        if (Born()) s.Send(SparkplugTopic(group, "NDATA", node), NodeSensorsPayload(Serving(), NextSeq(), UtcNowMs()));
    }
    // NBIRTH (seq 0) and a DBIRTH for every sensor: a new session, or a rebirth asked for.
    void Births() {
        int bd;
        {
            std::lock_guard<std::mutex> lock(s.mu);
            bd = s.bdSeq;
        }
        seq = 0;
        bornSession = currentSession;
        if (!s.Send(SparkplugTopic(group, "NBIRTH", node), NodeBirthPayload(uint64_t(bd), Serving(), UtcNowMs(), brokers.size() > 1))) {
            bornSession = 0;
            return;
        }
        for (const auto& l : lines) {
            l->birthSent = false;
            if (l->born) DeviceBirth(*l, l->birthLine);
        }
    }
    // Whether the sensors of the ports present have connected or failed: none is still connecting.
    bool Gathered() const {
        for (const auto& l : lines)
            if (l->pid > 0 && !l->born && l->settleAt == 0) return false;
        return true;
    }
    // The births of the session, once it may have them: connected, the Primary Host online, and
    // the sensors of the ports present connected (or kGatherSeconds gone).
    void MaybeBirths() {
        if (currentSession == 0 || Born() || ending || fatal || !s.Connected()) return;
        if (!primaryHost.empty() && !hostOnline) return;
        if (!Gathered() && Timer() < gatherUntil) return;
        Births();
        if (!Born()) return;
        int bd;
        {
            std::lock_guard<std::mutex> lock(s.mu);
            bd = s.bdSeq;
        }
        Log(std::string(sessionLost ? "broker " + s.name + " is back after " + Seconds(Timer() - awaySince) + "; " +
                                          std::to_string(dropped - droppedWhenAway) + " frames were not published meanwhile; "
                                    : "on broker " + s.name + ": ") +
            "node " + SparkplugTopic(group, "NBIRTH", node) + ", bdSeq " + std::to_string(bd) + ", " +
            std::to_string(Serving()) + " sensor(s)");
        sessionLost = false;
        hopBackoff = kFirstBackoff;
    }

    // ---- the broker ----
    // A connection to the broker of now. kExitOk, or the exit code of a fault that ends the gateway.
    int TryBroker() {
        const BrokerAddress& b = brokers[current];
        s.name = b.Name();
        const bool first = !tried[current];
        tried[current] = true;
        errno = 0;
        const int rc = mosquitto_connect_async(s.m, b.host.c_str(), b.port, 10);
        if (rc == MOSQ_ERR_SUCCESS) {
            brokerAt = 0;
            if (mosquitto_loop_start(s.m) != MOSQ_ERR_SUCCESS)
                return Fail(kExitBrokerUnreachable, "broker " + s.name + ": cannot start the network thread");
            threadRunning = true;
            std::lock_guard<std::mutex> lock(s.mu);
            if (!s.everConnected) answerBy = Timer() + kFirstAnswerSeconds;
            return kExitOk;
        }
        if (rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_TLS_HANDSHAKE)
            return Fail(kExitBrokerRefused, "broker " + s.name + ": TLS fails - does --cafile hold the CA that signed the "
                                                                  "broker's certificate?");
        bool everConnected;
        {
            std::lock_guard<std::mutex> lock(s.mu);
            everConnected = s.everConnected;
        }
        if ((rc == MOSQ_ERR_EAI || rc == MOSQ_ERR_LOOKUP) && first && !everConnected)
            return Fail(kExitBrokerUnreachable, "broker " + s.name + " cannot be reached: no such host");
        if (brokerBackoff == kFirstBackoff || brokers.size() > 1)
            Log("broker " + s.name + " cannot be reached yet (" + (rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc)) +
                "); the sensors are served and " + (brokers.size() > 1 ? "the next broker" : "the broker") +
                " is tried, backing off up to 30 s");
        current = (current + 1) % brokers.size();
        brokerAt = Timer() + brokerBackoff;
        brokerBackoff = std::min(kLastBackoff, brokerBackoff * 2);
        return kExitOk;
    }
    // Ends the connection of now on purpose (NDEATH first, if the node was born on it) and goes
    // to the next broker of the list (with one broker, to it again).
    void Leave(const std::string& why) {
        bool published = false;
        if (Born()) {
            if (a.jsonTopics)
                for (const auto& l : lines)
                    if (l->birthSent) s.Send(JsonPrefix(*l) + "/status", "offline", 1, true);
            published = s.SendFinal(kFinalSeconds);
        }
        {
            std::lock_guard<std::mutex> lock(s.mu);
            s.leaving = true;
        }
        mosquitto_disconnect(s.m);
        if (threadRunning) mosquitto_loop_stop(s.m, false);
        threadRunning = false;
        {
            std::lock_guard<std::mutex> lock(s.mu);
            s.leaving = false;
            s.connected = false;
            s.bdSeq = (s.bdSeq + 1) % 256;  // the next CONNECT's
            s.SetWill();
            s.states.clear();
            s.commands.clear();
        }
        bornSession = 0;
        hostOnline = false;
        for (const auto& l : lines) l->birthSent = false;
        const std::string from = s.name;
        current = (current + 1) % brokers.size();
        Log(why + ": " + (published ? "NDEATH published, " : "") + "disconnected from broker " + from + "; connecting to broker " +
            brokers[current].Name());
        brokerAt = Timer();
        brokerBackoff = kFirstBackoff;
    }
    // A STATE message of the Primary Host: {"online": true|false, "timestamp": ms UTC}.
    void OnState(const std::string& payload) {
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(payload)).object();
        if (!o["online"].isBool() || !o["timestamp"].isDouble()) {
            Log("primary host " + primaryHost + ": a STATE message that is not {\"online\": BOOLEAN, \"timestamp\": NUMBER} "
                "ignored: " + payload.substr(0, 80));
            return;
        }
        const bool online = o["online"].toBool();
        const int64_t at = o["timestamp"].toInteger();
        if (online) {
            if (at < lastStateAt) return;  // older than what the host said since
            lastStateAt = lastOnlineAt = at;
            if (!hostOnline) Log("primary host " + primaryHost + " is online on broker " + s.name);
            hostOnline = true;
            hopAt = 0;
            MaybeBirths();
            return;
        }
        if (Born() && at < lastOnlineAt) {
            Log("primary host " + primaryHost + ": an offline STATE older than its online one ignored (a Will that came late)");
            return;
        }
        lastStateAt = std::max(lastStateAt, at);
        hostOnline = false;
        if (Born()) {
            Leave("primary host " + primaryHost + " is offline");
        } else if (brokers.size() > 1 && hopAt == 0) {
            // it may be on another broker: the next is tried after a pause, longer each time
            hopAt = Timer() + hopBackoff;
            hopBackoff = std::min(kLastBackoff, hopBackoff * 2);
            Log("primary host " + primaryHost + " is offline on broker " + s.name + ": births wait; the next broker in " +
                Seconds(hopAt - Timer()));
        } else if (hopAt == 0) {
            Log("primary host " + primaryHost + " is offline on broker " + s.name + ": births wait until it is online");
        }
    }

    // What the network thread has told.
    void OnSession() {
        char drain[64];
        while (::read(s.wake[0], drain, sizeof drain) > 0) {
        }
        bool connected, lost;
        int session, lostRc, refused;
        std::vector<std::string> commands, states;
        {
            std::lock_guard<std::mutex> lock(s.mu);
            connected = s.connected;
            session = s.session;
            lost = s.lostNews;
            lostRc = s.lostRc;
            refused = s.refused;
            s.lostNews = false;
            s.refused = -1;
            if (refused > 0 && !s.everConnected) fatal = kExitBrokerRefused;
            commands.swap(s.commands);
            states.swap(s.states);
        }
        if (lost && currentSession != 0 && !sessionLost) {
            sessionLost = true;
            awaySince = Timer();
            droppedWhenAway = dropped;
            hostOnline = false;
            hopAt = 0;
            Log("broker " + s.name + " went away (" + mosquitto_strerror(lostRc) +
                "); the sensors go on, their data is not published until it is back");
        }
        if (refused > 0 && fatal) {
            Fail(fatal, "broker " + s.name + " refused the connection: " + mosquitto_connack_string(refused));
            return;
        }
        if (refused > 0) Log("broker " + s.name + " refused the connection: " + mosquitto_connack_string(refused));
        if (connected && session != currentSession) {  // a new session: births once it may have them
            currentSession = session;
            hostOnline = false;
            hopAt = 0;
            gatherUntil = Timer() + kGatherSeconds;
            if (!primaryHost.empty()) Log("on broker " + s.name + ": births wait for primary host " + primaryHost + " to be online");
        }
        for (const std::string& state : states) {
            if (!s.Connected()) break;
            OnState(state);
        }
        for (const std::string& c : commands) {
            if (!Born()) break;
            if (brokers.size() > 1 && NodeCommandAsks(c, "Node Control/Next Server")) {
                Leave("the next server asked for");
                break;
            }
            if (NodeCommandAsks(c, "Node Control/Rebirth")) {
                Log("rebirth asked for: NBIRTH and " + std::to_string(Serving()) + " DBIRTH(s) again");
                Births();
            }
        }
        MaybeBirths();
    }
};

Gateway* g_gateway = nullptr;

}  // namespace

int CmdGateway(const Args& given, OptionSetter setOption) {
    if (!given.positional.empty()) return Fail(kExitUsage, "gateway: no arguments beside its options");
    Args a = given;
    const std::string config = !a.config.empty() ? a.config : (Gateway::Present(kDefaultConfig) ? kDefaultConfig : "");
    Origins origins;
    if (!config.empty())
        if (const int code = ReadConfig(config, a, origins, setOption); code != kExitOk) return code;
    // what is missing: the option, and the key of the file when there is one
    auto say = [&](const std::string& option, const std::string& key) {
        return Fail(kExitUsage, "gateway: say " + option + (config.empty() ? "" : ", or set " + key + " in " + config) +
                                    " (see kryta-lt help gateway)");
    };
    if (a.broker.empty()) return say("--broker HOST[:PORT]", "broker = HOST:PORT");
    if (a.ports.empty() == !a.scan) return say("--ports LIST or --scan", "ports = LIST or scan = true");
    if (!a.passwordFile.empty() && a.username.empty())
        return Fail(kExitUsage, Named(origins, "password-file") + " needs a user name (username, --username)");

    Gateway gw;
    g_gateway = &gw;
    {
        std::stringstream list(a.broker);
        for (std::string one; std::getline(list, one, ',');) {
            BrokerAddress b;
            if (!ParseBroker(Trim(one), a.cafile.empty() ? 1883 : 8883, b.host, b.port))
                return Fail(kExitUsage, Named(origins, "broker") + " '" + Trim(one) +
                                            "' is not HOST[:PORT] with a port of 1 to 65535 (several: comma-separated)");
            gw.brokers.push_back(b);
        }
        gw.tried.assign(gw.brokers.size(), false);
    }
    gw.a = a;
    gw.group = a.group.empty() ? "kryta" : a.group;
    gw.node = a.node.empty() ? SparkplugId(HostName()) : a.node;
    gw.primaryHost = a.primaryHost;
    for (const auto& [key, id] : {std::pair<std::string, std::string>{"group", gw.group}, {"node", gw.node},
                                  {"primary-host", a.primaryHost}}) {
        if (key == "primary-host" && !origins.count(key) && std::find(a.given.begin(), a.given.end(), key) == a.given.end())
            continue;  // none named
        const std::string why = IdProblem(id);
        const bool shown = id.size() <= 80 && why.find("character") == std::string::npos;
        if (!why.empty()) return Fail(kExitUsage, Named(origins, key) + (shown ? " '" + id + "'" : "") + ": " + why);
    }
    // every topic within MQTT's 65535 bytes: spBv1.0/GROUP/DBIRTH/NODE/DEVICE, a device ID of up to 255
    if (const size_t longest = 8 + gw.group.size() + 8 + gw.node.size() + 1 + 255; longest > 65535)
        return Fail(kExitUsage, Named(origins, gw.group.size() >= gw.node.size() ? "group" : "node") +
                                    ": its topics would be up to " + std::to_string(longest) + " bytes long, and MQTT allows 65535");
    if (14 + gw.primaryHost.size() > 65535)
        return Fail(kExitUsage, Named(origins, "primary-host") + ": its STATE topic would pass the 65535 bytes MQTT allows");
    gw.self = std::filesystem::canonical("/proc/self/exe").string();
    if (!a.scan) {
        std::stringstream list(a.ports);
        for (std::string p; std::getline(list, p, ',');) {
            p = Trim(p);
            if (p.empty()) continue;
            std::string device = p;
            if (p.find_first_not_of("0123456789") == std::string::npos && p.size() <= 6) {
                device = ComDeviceName(std::stoi(p));
                if (device.empty()) return Fail(kExitUsage, Named(origins, "ports") + ": port " + p + " stands for no device");
            }
            gw.Add(device);
        }
        if (gw.lines.empty()) return Fail(kExitUsage, Named(origins, "ports") + " names no port");
    }

    // the birth-death sequence number: the last one used, kept in the state folder
    std::string stateDir = a.stateDir;
    if (stateDir.empty()) {
        stateDir = kDefaultStateDir;
        if (!Writable(stateDir)) {
            const char* xdg = std::getenv("XDG_STATE_HOME");
            const char* home = std::getenv("HOME");
            stateDir = xdg && *xdg ? std::string(xdg) + "/kryta" : std::string(home ? home : "/tmp") + "/.local/state/kryta";
            if (!Writable(stateDir)) return Fail(kExitCannotWrite, "no folder to keep the birth-death sequence number in (--state-dir)");
            Log(std::string(kDefaultStateDir) + " cannot be written: the birth-death sequence number is kept in " + stateDir);
        }
    } else if (!Writable(stateDir)) {
        return Fail(kExitCannotWrite, Named(origins, "state-dir") + " " + stateDir + " cannot be written");
    }
    Session& s = gw.s;
    s.stateFile = stateDir + "/sparkplug-" + gw.group + "-" + gw.node + ".bdseq";
    if (struct stat st {}; ::stat(s.stateFile.c_str(), &st) == 0) {
        // the last one used: this run's first connection takes the next
        std::ifstream in(s.stateFile);
        std::string text;
        if (!in || !std::getline(in, text)) text = "\x01";  // nothing to read
        text = Trim(text);
        const bool number = !text.empty() && text.size() <= 3 && text.find_first_not_of("0123456789") == std::string::npos;
        if (number && std::stoi(text) <= 255) {
            s.bdSeq = (std::stoi(text) + 1) % 256;
        } else {
            Log(s.stateFile + (!in ? " cannot be read (" + std::string(std::strerror(errno)) + ")" : " holds no birth-death sequence number (0 to 255)") +
                ": the sequence starts again at 0");
        }
    }
    s.name = gw.brokers.front().Name();
    s.ncmdTopic = SparkplugTopic(gw.group, "NCMD", gw.node);
    s.willTopic = SparkplugTopic(gw.group, "NDEATH", gw.node);
    if (!gw.primaryHost.empty()) s.stateTopic = "spBv1.0/STATE/" + gw.primaryHost;
    std::string password;
    if (!a.passwordFile.empty()) {
        std::ifstream in(a.passwordFile);
        if (!in || !std::getline(in, password)) return Fail(kExitBrokerRefused, "cannot read the password file " + a.passwordFile);
        if (!password.empty() && password.back() == '\r') password.pop_back();
    }

    mosquitto_lib_init();
    const std::string clientId = "kryta-lt-gateway-" + gw.group + "-" + gw.node;
    s.m = mosquitto_new(clientId.c_str(), true, &s);
    if (!s.m) return Fail(kExitUsage, "broker: cannot make a client with the id '" + clientId + "'");
    mosquitto_int_option(s.m, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (!a.username.empty() &&
        mosquitto_username_pw_set(s.m, a.username.c_str(), password.empty() ? nullptr : password.c_str()) != MOSQ_ERR_SUCCESS)
        return Fail(kExitUsage, "broker: the user name or password is not valid UTF-8");
    if (!a.cafile.empty())
        if (const int rc = mosquitto_tls_set(s.m, a.cafile.c_str(), nullptr, nullptr, nullptr, nullptr); rc != MOSQ_ERR_SUCCESS)
            return Fail(kExitBrokerRefused, "cannot use the CA file " + a.cafile + ": " +
                                                (rc == MOSQ_ERR_INVAL ? "it cannot be read" : mosquitto_strerror(rc)));
    mosquitto_reconnect_delay_set(s.m, 1, 30, true);
    mosquitto_max_inflight_messages_set(s.m, kMaxOnTheWay);
    mosquitto_connect_callback_set(s.m, Session::OnConnect);
    mosquitto_disconnect_callback_set(s.m, Session::OnDisconnect);
    mosquitto_publish_callback_set(s.m, Session::OnPublish);
    mosquitto_message_callback_set(s.m, Session::OnMessage);
    if (::pipe2(s.wake, O_CLOEXEC | O_NONBLOCK) != 0) return Fail(kExitUsage, "gateway: no pipe");
    {
        std::lock_guard<std::mutex> lock(s.mu);
        s.SetWill();
    }
    QSocketNotifier wakeNote(s.wake[0], QSocketNotifier::Read);
    QObject::connect(&wakeNote, &QSocketNotifier::activated, [&gw] { gw.OnSession(); });
    gw.inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    std::unique_ptr<QSocketNotifier> inotifyNote;
    if (gw.inotifyFd >= 0) {
        inotifyNote = std::make_unique<QSocketNotifier>(gw.inotifyFd, QSocketNotifier::Read);
        QObject::connect(inotifyNote.get(), &QSocketNotifier::activated, [&gw] { gw.OnInotify(); });
    }

    // The first connection is tried from here (the network thread reconnects only a connection it
    // has had); a broker that is not there yet is tried again (or the next one), backing off up to 30 s.
    if (const int c = gw.TryBroker(); c != kExitOk) return c;

    gw.Look();
    for (const auto& l : gw.lines)
        if (!l->present)
            Log(l->device + ": no device; it is tried when it appears");
    int code = kExitOk;
    while (!Interrupted() && !gw.fatal) {
        gw.retired.clear();
        const double now = Timer();
        if (gw.lookAt != 0 && gw.lookAt <= now) gw.Look();
        double next = now + 86400;
        for (const auto& l : gw.lines) {
            if (l->settleAt != 0 && l->settleAt <= now) gw.Lost(*l);
            if (l->settleAt != 0) next = std::min(next, l->settleAt);
            if (l->pid > 0 || l->retryAt == 0) continue;
            if (l->retryAt <= now) gw.Start(*l);
            else next = std::min(next, l->retryAt);
        }
        if (gw.brokerAt != 0 && gw.brokerAt <= now)
            if (const int c = gw.TryBroker(); c != kExitOk) gw.fatal = c;
        if (gw.brokerAt != 0) next = std::min(next, gw.brokerAt);
        if (gw.hopAt != 0 && gw.hopAt <= now) {
            gw.hopAt = 0;
            gw.Leave("primary host " + gw.primaryHost + " is still offline on broker " + s.name);
        }
        if (gw.hopAt != 0) next = std::min(next, gw.hopAt);
        gw.MaybeBirths();
        if (gw.currentSession != 0 && !gw.Born() && gw.gatherUntil > now) next = std::min(next, gw.gatherUntil);
        if (gw.answerBy != 0) {
            std::lock_guard<std::mutex> lock(s.mu);
            if (s.everConnected) {
                gw.answerBy = 0;
            } else if (gw.answerBy <= now) {
                gw.fatal = a.cafile.empty()
                               ? Fail(kExitBrokerUnreachable, "broker " + s.name + " did not answer within " +
                                                                  Seconds(kFirstAnswerSeconds))
                               : Fail(kExitBrokerRefused, "broker " + s.name + ": the TLS handshake failed - does --cafile "
                                                                                "hold the CA that signed the broker's certificate?");
                break;
            } else {
                next = std::min(next, gw.answerBy);
            }
        }
        if (gw.lookAt != 0) next = std::min(next, gw.lookAt);
        WaitForEvent(next);
    }
    if (gw.fatal) code = gw.fatal;

    // The end: the sensors' processes settle and close their lines; NDEATH; the session closed.
    gw.ending = true;
    for (const auto& l : gw.lines)
        if (l->pid > 0) ::kill(l->pid, SIGTERM);
    bool finalSent = false;
    if (gw.Born()) {
        if (a.jsonTopics)
            for (const auto& l : gw.lines)
                if (l->birthSent) s.Send(gw.JsonPrefix(*l) + "/status", "offline", 1, true);
        finalSent = s.SendFinal(kFinalSeconds);
    }
    {
        std::lock_guard<std::mutex> lock(s.mu);
        s.closing = true;
    }
    mosquitto_disconnect(s.m);
    if (gw.threadRunning) mosquitto_loop_stop(s.m, false);
    const double until = Timer() + kStopSeconds;
    auto running = [&] {
        int n = 0;
        for (const auto& l : gw.lines) n += l->pid > 0;
        return n;
    };
    while (running() > 0 && Timer() < until) WaitForEvent(until);
    for (const auto& l : gw.lines)
        if (l->pid > 0) {
            ::kill(l->pid, SIGKILL);
            ::waitpid(l->pid, nullptr, 0);
            l->pid = -1;
        }
    Log(std::string("gateway ends: ") + (finalSent ? "NDEATH published, " : "") + std::to_string(gw.lines.size()) +
        " port(s) closed; " +
        std::to_string(gw.published) + " frames published, " + std::to_string(gw.dropped) + " not published");
    mosquitto_destroy(s.m);
    mosquitto_lib_cleanup();
    return code;
}
