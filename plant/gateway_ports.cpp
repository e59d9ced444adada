// The gateway's ports: their devices (watched with inotify, so that a device that appears is tried
// at once), and a process of its own for each sensor (kryta-lt gateway-line), whose standard output
// and error the event loop reads.
#include <fcntl.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/connect.h"
#include "plant/gateway.h"
#include "platform/events.h"
#include "platform/rs232.h"
#include "platform/utility.h"

extern char** environ;

namespace {

constexpr double kLookDelay = 0.2;     // after a change in a watched folder: the device settles
constexpr double kStoppedGrace = 0.5;  // a signal to the gateway and its processes: one request

std::string Real(const std::string& device) {
    std::error_code ec;
    const auto p = std::filesystem::canonical(device, ec);
    return ec ? device : p.string();
}

}  // namespace

Ports::Ports(const GatewayConfig& config, std::function<void(Line&, const std::string&)> onLine,
             std::function<void(Line&)> onLost)
    : config_(config), onLine_(std::move(onLine)), onLost_(std::move(onLost)) {
    for (const std::string& device : config.ports) Add(device);
}

Ports::~Ports() {
    if (inotifyFd_ >= 0) ::close(inotifyFd_);
}

bool Ports::Present(const std::string& device) {
    struct stat st {};
    return ::stat(device.c_str(), &st) == 0;
}

void Ports::Watch(const std::string& folder) {
    if (inotifyFd_ < 0 || folder.empty()) return;
    for (const auto& [wd, f] : watched_)
        if (f == folder) return;
    const int wd = inotify_add_watch(inotifyFd_, folder.c_str(), IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_ATTRIB);
    if (wd >= 0) watched_[wd] = folder;
}

void Ports::WatchFolders() {
    Watch("/dev");
    Watch("/dev/serial");
    Watch("/dev/serial/by-id");
    for (const auto& l : lines) Watch(std::filesystem::path(l->device).parent_path().string());
}

void Ports::WatchDevices() {
    inotifyFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd_ < 0) return;
    inotifyNote_ = std::make_unique<QSocketNotifier>(inotifyFd_, QSocketNotifier::Read);
    QObject::connect(inotifyNote_.get(), &QSocketNotifier::activated, [this] { OnInotify(); });
}

std::string Ports::FreeId(const Line& l) const {
    const std::string base = DeviceIdOf(l.device);
    std::string id = base;
    for (int k = 2;; ++k) {
        bool taken = false;
        for (const auto& o : lines) taken = taken || (o.get() != &l && o->born && o->deviceId == id);
        if (!taken) return id;
        id = base + "-" + std::to_string(k);
    }
}

Line* Ports::Add(const std::string& device) {
    auto l = std::make_unique<Line>();
    l->device = device;
    l->deviceId = DeviceIdOf(device);
    l->aliasBase = uint64_t(lines.size() + 1) << 8;
    lines.push_back(std::move(l));
    Watch(std::filesystem::path(device).parent_path().string());
    return lines.back().get();
}

// The ports of --scan: every KRYTA_COM<n> and every serial device of the machine but the built-in
// ports, each once.
std::vector<std::string> Ports::ScanCandidates() {
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
        } else if (toldBuiltIn_.insert(d).second) {
            Log(d + ": a built-in serial port, not scanned (name it in ports or a KRYTA_COM<n> to serve it)");
        }
    }
    return found;
}

void Ports::Look() {
    lookAt_ = 0;
    if (config_.a.scan) {
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

void Ports::OnInotify() {
    alignas(inotify_event) char buf[4096];
    for (ssize_t n; (n = ::read(inotifyFd_, buf, sizeof buf)) > 0;)
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
            if (e->mask & IN_IGNORED) watched_.erase(e->wd);  // the folder went: watched again when it is back
            at += ssize_t(sizeof(inotify_event) + e->len);
        }
    if (lookAt_ == 0) lookAt_ = Timer() + kLookDelay;
}

double Ports::Due(double now, double next) {
    retired_.clear();
    if (lookAt_ != 0 && lookAt_ <= now) Look();
    for (const auto& l : lines) {
        if (l->settleAt != 0 && l->settleAt <= now) onLost_(*l);
        if (l->settleAt != 0) next = std::min(next, l->settleAt);
        if (l->pid > 0 || l->retryAt == 0) continue;
        if (l->retryAt <= now) Start(*l);
        else next = std::min(next, l->retryAt);
    }
    return lookAt_ != 0 ? std::min(next, lookAt_) : next;
}

void Ports::Retry(Line& l) {
    l.present = Present(l.device);
    l.retryAt = l.present ? Timer() + l.backoff : 0;
    l.backoff = std::min(kLastBackoff, l.backoff * 2);
}

// ---- the sensors' processes ----

void Ports::Start(Line& l) {
    l.retryAt = Timer() + kLastBackoff;  // unless it starts
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]), ::close(out[1]);
        return;
    }
    std::vector<std::string> args = {config_.self, "-p", l.device, "gateway-line", "--every", std::to_string(config_.a.every)};
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
        ::execv(config_.self.c_str(), argv.data());
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

void Ports::Read(Line& l, bool fromOut) {
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
        if (fromOut) onLine_(l, one);
        else if (!one.empty()) l.lastError = one.rfind("kryta-lt: ", 0) == 0 ? one.substr(10) : one;
    }
    buf.erase(0, start);
    if (buf.size() > (1 << 20)) buf.clear();  // no line end in a megabyte: nothing of ours
    if (!ended) return;
    auto& note = fromOut ? l.outNote : l.errNote;
    note->setEnabled(false);
    retired_.push_back(std::move(note));
    ::close(fd);
    fd = -1;
    if (l.out < 0 && l.err < 0) Ended(l);
}

void Ports::Ended(Line& l) {
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
    onLost_(l);
}

bool Ports::Gathered() const {
    for (const auto& l : lines)
        if (l->pid > 0 && !l->born && l->settleAt == 0) return false;
    return true;
}

uint32_t Ports::Serving() const {
    uint32_t n = 0;
    for (const auto& l : lines) n += l->born;
    return n;
}

void Ports::Stop() {
    ending = true;
    for (const auto& l : lines)
        if (l->pid > 0) ::kill(l->pid, SIGTERM);
}

void Ports::Reap(double seconds) {
    const double until = Timer() + seconds;
    auto running = [&] {
        int n = 0;
        for (const auto& l : lines) n += l->pid > 0;
        return n;
    };
    while (running() > 0 && Timer() < until) WaitForEvent(until);
    for (const auto& l : lines)
        if (l->pid > 0) {
            ::kill(l->pid, SIGKILL);
            ::waitpid(l->pid, nullptr, 0);
            l->pid = -1;
        }
}
