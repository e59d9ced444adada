// Port n is the device named by the environment variable KRYTA_COM<n> (e.g. /dev/pts/5);
// without it, the n-th serial device (counting from 1) of the machine, the devices sorted by
// their path (/dev/ttyACM0, /dev/ttyS0, /dev/ttyUSB0 ...); on Windows, COMn. Port numbers start
// at 1.

#include "platform/rs232.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QTimer>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#ifndef _WIN32
#include <dirent.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#endif
#ifdef __linux__
#include <linux/serial.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <sstream>
#include <vector>

namespace {

constexpr double kDefaultTimeout = 10.0;  // seconds, until SetComTime says otherwise
constexpr int kDefaultQueueSize = 512;    // queue sizes below 30 stand for this
constexpr int kMinQueueSize = 30;

struct Port {
    QSerialPort* serial = nullptr;  // made once per port number, reused for every open
    bool open = false;
    unsigned generation = 0;        // counts the opens, so that late work of a closed line is dropped
    double timeout = kDefaultTimeout;
    int inputQueueSize = 4096;
    // receive callback
    int eventMask = 0;
    int notifyCount = 1;
    // the driver's settings as SetComWakeCount last left them, kept so that raising the count and
    // lowering it again cost one call each; forgotten whenever the port's settings change
    termios wakeSettings{};
    bool wakeSettingsKnown = false;
    cc_t minBytes = 0;        // the driver's minimum count before SetComWakeCount raised it
    bool minChanged = false;  // SetComWakeCount raised it
    ComCallbackPtr fn = nullptr;
    void* data = nullptr;
    bool inCallback = false;
    bool recheckQueued = false;
    // low latency asked of the driver at the open; the flags to give back at the close
    bool lowLatencySet = false;
    int savedSerialFlags = 0;
    std::string openError;  // why the last open failed, "" after a good one
    std::string heldBy;     // who held the device at the last open that found it in use
    std::string device;     // the device open now, links resolved
    std::string lockFile;   // the UUCP lock file this program made for the device ("": none)
};

// Entries are never erased: references stay valid across callbacks that close or reopen a port.
std::map<int, Port>& Ports() {
    static std::map<int, Port> ports;
    return ports;
}

// > 0 while a layer call (ComRd, FlushInQ, ...) runs: Qt may announce data from inside it, and
// the receive callback must then wait for the next event processing.
int g_layerCalls = 0;

struct LayerCall {
    LayerCall() { ++g_layerCalls; }
    ~LayerCall() { --g_layerCalls; }
    LayerCall(const LayerCall&) = delete;
    LayerCall& operator=(const LayerCall&) = delete;
};

Port* OpenPort(int port) {
    auto it = Ports().find(port);
    if (it == Ports().end() || !it->second.open || !it->second.serial) return nullptr;
    return &it->second;
}

void DeliverReceive(int port);
void ResumeReading(Port& p);

// Lets the receive check run at the next event processing.
void QueueReceiveCheck(int port) {
    auto it = Ports().find(port);
    if (it == Ports().end()) return;
    Port& p = it->second;
    if (p.recheckQueued || !p.serial) return;
    p.recheckQueued = true;
    const unsigned gen = p.generation;
    QMetaObject::invokeMethod(
        p.serial,
        [port, gen] {
            auto jt = Ports().find(port);
            if (jt == Ports().end()) return;
            jt->second.recheckQueued = false;
            if (jt->second.generation == gen) DeliverReceive(port);
        },
        Qt::QueuedConnection);
}

// Calls the receive callback while the input queue holds the notify count.
void DeliverReceive(int port) {
    Port* p = OpenPort(port);
    if (!p || !p->fn || !(p->eventMask & LWRS_RECEIVE)) return;
    if (g_layerCalls > 0) {  // announced from inside ComRd and the like
        QueueReceiveCheck(port);
        return;
    }
    if (p->inCallback) return;  // the running call re-checks the queue when it returns
    const unsigned gen = p->generation;
    p->inCallback = true;
    for (;;) {
        const qint64 before = p->serial->bytesAvailable();
        if (before < p->notifyCount) break;
        ComCallbackPtr fn = p->fn;
        void* data = p->data;
        fn(port, LWRS_RECEIVE, data);
        // The callback may have closed, reopened or removed the port's callback.
        p = &Ports()[port];
        if (!p->open || p->generation != gen || !p->fn || !(p->eventMask & LWRS_RECEIVE)) break;
        if (p->serial->bytesAvailable() >= before) break;  // nothing taken: wait for more data
    }
    Ports()[port].inCallback = false;
}

bool HungUp(int fd) {
    if (fd < 0) return true;
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, 0) < 0) return false;
    return (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool TransientErrorText(const QString& text) {
    return text == QString::fromLocal8Bit(std::strerror(EAGAIN)) ||
           text == QString::fromLocal8Bit(std::strerror(EINTR));
}

void RestoreLatency(Port& p);
void GiveLockFileBack(Port& p);

void ClosePort(Port& p) {
    if (p.serial && p.serial->isOpen()) {
        RestoreLatency(p);
        p.serial->close();
    }
    GiveLockFileBack(p);
    p.open = false;
    p.minChanged = p.wakeSettingsKnown = false;
    p.eventMask = 0;
    p.fn = nullptr;
    p.data = nullptr;
    ++p.generation;
}

// The device went away (adapter unplugged, other end of a pseudo-terminal closed). Left open,
// Qt reports the failed read again at every wake-up and keeps a core busy: close at once.
void OnSerialError(int port, QSerialPort::SerialPortError error) {
    Port* p = OpenPort(port);
    if (!p) return;
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError &&
        error != QSerialPort::WriteError)
        return;
    const bool hup = HungUp(p->serial->handle());
    if (!hup) {
        if (error == QSerialPort::WriteError) return;
        if (TransientErrorText(p->serial->errorString())) {
            // A read that would have blocked: Qt has paused reading; the line is fine.
            p->serial->clearError();
            ResumeReading(*p);
            return;
        }
    }
    p->serial->clearError();
    ClosePort(*p);
}

int ToQtParity(int parity, QSerialPort::Parity& out) {
    switch (parity) {
        case 0: out = QSerialPort::NoParity; return 0;
        case 1: out = QSerialPort::OddParity; return 0;
        case 2: out = QSerialPort::EvenParity; return 0;
        case 3: out = QSerialPort::MarkParity; return 0;
        case 4: out = QSerialPort::SpaceParity; return 0;
        default: return kComInvalidParameter;
    }
}

int OpenErrorCode(QSerialPort::SerialPortError error) {
    switch (error) {
        case QSerialPort::DeviceNotFoundError: return kComNoSerialPort;
        case QSerialPort::PermissionError:  // also busy: open elsewhere
        case QSerialPort::OpenError:
        case QSerialPort::UnsupportedOperationError: return kComCannotOpen;  // e.g. not a terminal
        default: return kComUnknownSystemError;
    }
}

// Applies one setting to an open device. Pseudo-terminals answer some settings with a harmless
// "Invalid argument"; only a setting that Qt calls unsupported is impossible.
bool Apply(QSerialPort* serial, bool ok) {
    if (ok) return true;
    const bool impossible = serial->error() == QSerialPort::UnsupportedOperationError;
    serial->clearError();
    return !impossible;
}

// Qt stops reading from the device while its buffer is full; taking bytes out of the buffer does
// not always start it again. Setting the size again does.
void ResumeReading(Port& p) {
    if (p.serial->bytesAvailable() < p.inputQueueSize) p.serial->setReadBufferSize(p.inputQueueSize);
}

// A USB serial adapter holds short answers back until its latency timer runs out (16 ms on
// common chips), which would stretch every exchange. Where the driver knows low latency, ask for it
// while the port is open; elsewhere (a pseudo-terminal) nothing changes.
void AskLowLatency(Port& p) {
    p.lowLatencySet = false;
#ifdef __linux__
    const int fd = static_cast<int>(p.serial->handle());
    serial_struct ss {};
    if (fd < 0 || ::ioctl(fd, TIOCGSERIAL, &ss) != 0) return;
    if (ss.flags & ASYNC_LOW_LATENCY) return;
    p.savedSerialFlags = ss.flags;
    ss.flags |= ASYNC_LOW_LATENCY;
    if (::ioctl(fd, TIOCSSERIAL, &ss) == 0) p.lowLatencySet = true;
#endif
}

void RestoreLatency(Port& p) {
    if (!p.lowLatencySet) return;
    p.lowLatencySet = false;
#ifdef __linux__
    const int fd = static_cast<int>(p.serial->handle());
    serial_struct ss {};
    if (fd < 0 || ::ioctl(fd, TIOCGSERIAL, &ss) != 0) return;
    ss.flags = (ss.flags & ~ASYNC_LOW_LATENCY) | (p.savedSerialFlags & ASYNC_LOW_LATENCY);
    ::ioctl(fd, TIOCSSERIAL, &ss);
#endif
}

// The machine's serial devices, as found at the last look: path and what the system knows of it.
struct Device {
    std::string path;
    std::string about;  // maker and product of a USB adapter, or the driver's description
};

std::vector<Device> LookForDevices() {
    std::vector<Device> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        Device d;
        d.path = info.systemLocation().toStdString();
        const QString maker = info.manufacturer().trimmed();
        const QString product = info.description().trimmed();
        QString about = product.startsWith(maker) ? product : (maker + QLatin1Char(' ') + product).trimmed();
        d.about = about.toStdString();
        devices.push_back(std::move(d));
    }
    std::sort(devices.begin(), devices.end(), [](const Device& a, const Device& b) { return a.path < b.path; });
    return devices;
}

std::vector<Device>& Devices() {
    static std::vector<Device> devices = LookForDevices();
    return devices;
}

// The user's name, for the command that adds the user to a group.
std::string UserName() {
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name) return pw->pw_name;
    if (const char* u = std::getenv("USER"); u && *u) return u;
    return "$USER";
}

bool ProcessHasGroup(gid_t gid) {
    if (::getegid() == gid) return true;
    const int n = ::getgroups(0, nullptr);
    if (n <= 0) return false;
    std::vector<gid_t> groups(static_cast<size_t>(n));
    const int got = ::getgroups(n, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

std::string InUse(const std::string& device) { return device + " is in use by another program"; }

// The device as the system knows it: a link (/dev/serial/by-id/..., a link to a pseudo-terminal)
// stands for the device it points at.
std::string RealDevice(const std::string& device) {
    const QString real = QFileInfo(QString::fromStdString(device)).canonicalFilePath();
    return real.isEmpty() ? device : real.toStdString();
}

#ifndef _WIN32
// ---- other programs on a device ----
// Serial programs share a device by convention: the one that uses it holds it open (the kernel
// tells which processes do), takes the UUCP lock file /var/lock/LCK..NAME with its process number
// in it, or the kernel writes its console messages there. A device in any of these hands is left
// alone: not opened, so neither written nor reconfigured.

const char* const kLockFolder = "/var/lock";

// A small file of the system, whole; "" when it cannot be read.
std::string ReadSmallFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return "";
    std::string text;
    char chunk[4096];
    for (ssize_t n; text.size() < 65536 && (n = ::read(fd, chunk, sizeof chunk)) > 0;) text.append(chunk, size_t(n));
    ::close(fd);
    return text;
}

// The name the kernel knows process `pid` by; "another program" when it cannot be read.
std::string ProgramName(pid_t pid) {
    std::string name = ReadSmallFile("/proc/" + std::to_string(pid) + "/comm");
    while (!name.empty() && (name.back() == '\n' || name.back() == ' ')) name.pop_back();
    return name.empty() ? "another program" : name;
}

std::string Holder(pid_t pid) { return ProgramName(pid) + " (pid " + std::to_string(pid) + ")"; }

bool Alive(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

// The lock file of a device by the convention: its path below /dev, '/' written as '_'.
std::string LockFileOf(const std::string& realDevice) {
    std::string name = realDevice.rfind("/dev/", 0) == 0 ? realDevice.substr(5) : realDevice;
    std::replace(name.begin(), name.end(), '/', '_');
    return std::string(kLockFolder) + "/LCK.." + name;
}

// The process number a lock file holds: ten digits and a line end as the convention writes it,
// or any decimal number first in the file; a binary number of four bytes in an old lock file.
// 0 when it holds none.
pid_t LockFilePid(const std::string& text) {
    if (text.size() == 4) {
        int32_t binary = 0;
        std::memcpy(&binary, text.data(), 4);
        if (binary > 0 && text.find_first_not_of(" 0123456789") != std::string::npos) return binary;
    }
    const char* begin = text.c_str();
    char* end = nullptr;
    const long pid = std::strtol(begin, &end, 10);
    return end != begin && pid > 0 && pid <= INT32_MAX ? pid_t(pid) : 0;
}

// Whether process `pid` has the device open: 1, 0, or -1 when its open files cannot be seen.
int HasOpen(pid_t pid, const std::string& realDevice) {
    DIR* fds = ::opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    if (!fds) return -1;
    int found = 0;
    for (dirent* f; !found && (f = ::readdir(fds));) {
        if (f->d_name[0] == '.') continue;
        char target[PATH_MAX];
        const ssize_t n = ::readlinkat(::dirfd(fds), f->d_name, target, sizeof target - 1);
        found = n > 0 && realDevice == std::string(target, size_t(n));
    }
    ::closedir(fds);
    return found;
}

// Who holds the device's lock file: "" when nobody does: no file, or one left behind, by a
// process that has ended or (its number taken again) one that does not have the device open;
// a file that names no process is held while it is fresh (its maker may be writing it).
std::string LockHolder(const std::string& realDevice) {
    const std::string path = LockFileOf(realDevice);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "";
    const pid_t pid = LockFilePid(ReadSmallFile(path));
    if (pid == ::getpid()) return "";
    if (pid > 0) return Alive(pid) && HasOpen(pid, realDevice) != 0 ? Holder(pid) : "";
    return ::time(nullptr) - st.st_mtime < 5 ? "another program (its lock file " + path + ")" : "";
}

// Whether the kernel writes its console there (/proc/consoles: "ttyS0 -W- (EC p a) 4:64").
bool KernelConsole(dev_t device) {
    std::istringstream lines(ReadSmallFile("/proc/consoles"));
    for (std::string line; std::getline(lines, line);) {
        const auto colon = line.rfind(':');
        const auto space = line.rfind(' ', colon);
        if (colon == std::string::npos || space == std::string::npos) continue;
        const unsigned maj = unsigned(std::atoi(line.c_str() + space + 1)), min = unsigned(std::atoi(line.c_str() + colon + 1));
        if (maj == major(device) && min == minor(device)) return true;
    }
    return false;
}

// A process other than this one that has the device open or as its controlling terminal, as
// fuser finds them (the open files of another user's processes only where this one may see
// them). The process that holds a pseudo-terminal's master side is the far end of that line (a
// sensor's stand-in, a terminal), not a user of the device. 0 when none.
pid_t ProcessHolding(const std::string& realDevice, dev_t device) {
    int pts = -1;  // the pseudo-terminal's number
    if (realDevice.rfind("/dev/pts/", 0) == 0) pts = std::atoi(realDevice.c_str() + 9);
    DIR* proc = ::opendir("/proc");
    if (!proc) return 0;
    pid_t found = 0;
    const pid_t self = ::getpid();
    for (dirent* e; !found && (e = ::readdir(proc));) {
        char* end = nullptr;
        const long pid = std::strtol(e->d_name, &end, 10);
        if (*end || pid <= 0 || pid == self) continue;
        const std::string dir = "/proc/" + std::to_string(pid);
        // field 7 of stat, the controlling terminal, readable for every process
        const std::string status = ReadSmallFile(dir + "/stat");
        const auto paren = status.rfind(')');
        bool holds = false, farEnd = false;
        if (paren != std::string::npos) {
            std::istringstream fields(status.substr(paren + 1));
            std::string state;
            long ppid = 0, group = 0, session = 0;
            unsigned long tty = 0;
            if (fields >> state >> ppid >> group >> session >> tty && tty != 0)
                holds = ((tty >> 8) & 0xfff) == major(device) && ((tty & 0xff) | ((tty >> 12) & 0xfff00)) == minor(device);
        }
        DIR* fds = ::opendir((dir + "/fd").c_str());
        for (dirent* f; fds && (f = ::readdir(fds));) {
            if (f->d_name[0] == '.') continue;
            char target[PATH_MAX];
            const ssize_t n = ::readlinkat(::dirfd(fds), f->d_name, target, sizeof target - 1);
            if (n <= 0) continue;
            const std::string link(target, size_t(n));
            if (link == realDevice) holds = true;
            if (pts >= 0 && (link == "/dev/ptmx" || link == "/dev/pts/ptmx")) {
                const std::string info = ReadSmallFile(dir + "/fdinfo/" + f->d_name);
                const auto at = info.find("tty-index:");
                if (at != std::string::npos && std::atoi(info.c_str() + at + 10) == pts) farEnd = true;
            }
        }
        if (fds) ::closedir(fds);
        if (holds && !farEnd) found = pid_t(pid);
    }
    ::closedir(proc);
    return found;
}

// Who other than this program holds the device: "NAME (pid N)", "the kernel's console", or ""
// when nobody is seen to.
std::string DeviceHolder(const std::string& realDevice) {
    struct stat st {};
    if (::stat(realDevice.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return "";
    if (const pid_t pid = ProcessHolding(realDevice, st.st_rdev)) return Holder(pid);
    if (std::string lock = LockHolder(realDevice); !lock.empty()) return lock;
    if (KernelConsole(st.st_rdev)) return "the kernel's console";
    return "";
}

// The device's lock file, made for this program while it holds the device (the one Qt's open made
// under the same name counts as ours, and Qt removes it). False when another program took it
// first; a lock file left by a process that has ended is replaced. Where the lock folder cannot
// be written, the device is held without one.
bool TakeLockFile(Port& p, const std::string& realDevice) {
    p.lockFile.clear();
    const std::string path = LockFileOf(realDevice);
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", int(::getpid()));
    const std::string temporary = std::string(kLockFolder) + "/LTMP." + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return true;
    const bool written = ::write(fd, text, std::strlen(text)) == ssize_t(std::strlen(text));
    ::close(fd);
    bool ours = true;
    for (int attempt = 0; written && attempt < 2; ++attempt) {
        if (::link(temporary.c_str(), path.c_str()) == 0) {
            p.lockFile = path;
            break;
        }
        if (errno != EEXIST) break;
        const pid_t holder = LockFilePid(ReadSmallFile(path));
        if (holder == ::getpid()) break;  // Qt's, of the same name
        if (!LockHolder(realDevice).empty()) {
            ours = false;
            break;
        }
        ::unlink(path.c_str());  // stale
    }
    ::unlink(temporary.c_str());
    return ours;
}

// A lock file that nobody holds was left behind (by a process that has ended, or by an earlier
// one of this process's number, as no port of this one holds the device): gone, so that the open
// may take the lock.
void LeftLockFileGone(const std::string& realDevice) {
    const std::string path = LockFileOf(realDevice);
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && LockHolder(realDevice).empty()) ::unlink(path.c_str());
}

void GiveLockFileBack(Port& p) {
    if (p.lockFile.empty()) return;
    if (LockFilePid(ReadSmallFile(p.lockFile)) == ::getpid()) ::unlink(p.lockFile.c_str());
    p.lockFile.clear();
}
#else
std::string DeviceHolder(const std::string&) { return ""; }
void LeftLockFileGone(const std::string&) {}
bool TakeLockFile(Port&, const std::string&) { return true; }
void GiveLockFileBack(Port&) {}
#endif

// The port number of this program that holds the device open, 0 when none.
int PortHolding(const std::string& realDevice) {
    for (const auto& [number, p] : Ports())
        if (p.open && p.device == realDevice) return number;
    return 0;
}

// One program per device, by whatever path it is named: after the open, the line is exclusive
// (further opens of the terminal are refused, except to root) and the open file holds a lock
// that every opener of this program asks for, root included. Qt's own lock file is named after
// the path, so it does not see a second name of the device. False when another program holds the
// lock.
bool TakeExclusively(QSerialPort* serial) {
#ifndef _WIN32
    const int fd = static_cast<int>(serial->handle());
    if (fd < 0) return true;
    ::ioctl(fd, TIOCEXCL);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return false;
#else
    (void)serial;
#endif
    return true;
}

// Why the device cannot be opened, in the system's words, with the cure for missing permission.
std::string WhyNotOpened(const std::string& device, QSerialPort::SerialPortError error, const QString& qtReason) {
#ifndef _WIN32
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        // The device opens: held by another program (its lock, or Qt's lock file of the same
        // path), or the reason lies in the serial layer (not a line).
        const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        ::close(fd);
        if (locked || (error == QSerialPort::PermissionError && qtReason.contains(QLatin1String("locking the device"))))
            return InUse(device);
        return device + ": " + qtReason.toStdString();
    }
    const int err = errno;
    if (err == EBUSY) return InUse(device);  // opened exclusively by another program
    if (err != EACCES && err != EPERM) return device + ": " + std::strerror(err);
    struct stat st {};
    const group* gr = ::stat(device.c_str(), &st) == 0 ? ::getgrgid(st.st_gid) : nullptr;
    const std::string denied = "permission denied on " + device;
    if (!gr || !gr->gr_name || st.st_gid == 0 || (st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return denied + ", which only its owner may use";
    const std::string name = gr->gr_name;
    if (ProcessHasGroup(st.st_gid)) return denied + " (group " + name + ")";
    const std::string user = UserName();
    for (char** m = gr->gr_mem; m && *m; ++m)
        if (user == *m) return denied + ": you joined its group " + name + " after logging in; log in again";
    return denied + ", which belongs to group " + name + ": join it (sudo adduser " + user + " " + name +
           ") and log in again";
#else
    (void)error;
    return device + ": " + qtReason.toStdString();
#endif
}

}  // namespace

void RescanComPorts() { Devices() = LookForDevices(); }

int ComPortCount() { return std::max<int>(8, static_cast<int>(Devices().size())); }

std::vector<std::string> SerialDevices() {
    std::vector<std::string> paths;
    for (const Device& d : Devices()) paths.push_back(d.path);
    return paths;
}

std::string ComDeviceName(int port) {
    if (port < 1) return "";
    const std::string var = "KRYTA_COM" + std::to_string(port);
    if (const char* env = std::getenv(var.c_str()); env && *env) return env;
#ifdef _WIN32
    return "COM" + std::to_string(port);
#endif
    const std::vector<Device>& devices = Devices();
    if (static_cast<size_t>(port) > devices.size()) return "";
    return devices[static_cast<size_t>(port) - 1].path;
}

std::string ComDeviceAbout(int port) {
    const std::string device = ComDeviceName(port);
    if (device.empty()) return "";
    const QFileInfo file(QString::fromStdString(device));
    if (!file.exists()) return "not present";
    // A link (e.g. /dev/serial/by-id/...) stands for the device it points at.
    const std::string real = file.canonicalFilePath().toStdString();
    std::string about = real != device ? "link to " + real : "";
    for (const Device& d : Devices())
        if ((d.path == device || d.path == real) && !d.about.empty())
            return about.empty() ? d.about : about + ", " + d.about;
    return about;
}

std::string ComOpenErrorDetail(int port) {
    auto it = Ports().find(port);
    return it == Ports().end() ? std::string() : it->second.openError;
}

std::string ComDeviceHeldBy(int port) {
    auto it = Ports().find(port);
    return it == Ports().end() || it->second.openError.empty() ? std::string() : it->second.heldBy;
}

int LowLatencyOf(int port) {
    Port* p = OpenPort(port);
    if (!p) return -1;
#ifdef __linux__
    serial_struct ss {};
    if (::ioctl(static_cast<int>(p->serial->handle()), TIOCGSERIAL, &ss) != 0) return -1;
    return (ss.flags & ASYNC_LOW_LATENCY) ? 1 : 0;
#else
    return -1;
#endif
}

int OpenComConfig(int port, const std::string& deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize) {
    if (port < 1) return kComInvalidPort;
    QSerialPort::Parity qtParity = QSerialPort::NoParity;
    if (baudRate <= 0 || baudRate > 4000000 || ToQtParity(parity, qtParity) != 0 || dataBits < 5 ||
        dataBits > 8 || stopBits < 1 || stopBits > 2 || inputQueueSize < 0 || outputQueueSize < 0)
        return kComInvalidParameter;

    Port& p = Ports()[port];
    if (p.open || (p.serial && p.serial->isOpen())) ClosePort(p);
    p.openError.clear();
    p.heldBy.clear();

    const std::string device = deviceName.empty() ? ComDeviceName(port) : deviceName;
    if (device.empty()) {
        p.openError = "no device for port " + std::to_string(port);
        return kComNoSerialPort;
    }
#ifndef _WIN32
    if (!QFileInfo::exists(QString::fromStdString(device))) {
        p.openError = device + ": " + std::strerror(ENOENT);
        return kComNoSerialPort;
    }
#endif

    if (!p.serial) {
        p.serial = new QSerialPort();  // lives as long as the program; reused by every open
        QObject::connect(p.serial, &QSerialPort::readyRead, p.serial, [port] { DeliverReceive(port); });
        QObject::connect(p.serial, &QSerialPort::errorOccurred, p.serial,
                         [port](QSerialPort::SerialPortError e) { OnSerialError(port, e); });
    }
    const std::string real = RealDevice(device);
    if (const int holder = PortHolding(real)) {
        p.openError = device + " is already open as port " + std::to_string(holder);
        return kComCannotOpen;
    }
    p.heldBy = DeviceHolder(real);
    if (!p.heldBy.empty()) {
        p.openError = device + " is in use by " + p.heldBy;
        return kComCannotOpen;
    }
    LeftLockFileGone(real);
    QSerialPort* serial = p.serial;
    serial->setPortName(QString::fromStdString(device));
    serial->clearError();
    p.inputQueueSize = inputQueueSize < kMinQueueSize ? kDefaultQueueSize : inputQueueSize;
    serial->setReadBufferSize(p.inputQueueSize);
    if (!serial->open(QIODevice::ReadWrite)) {
        const int code = OpenErrorCode(serial->error());
        p.openError = WhyNotOpened(device, serial->error(), serial->errorString());
        if (p.openError == InUse(device)) p.heldBy = "another program";
        serial->clearError();
        return code;
    }
    if (!TakeExclusively(serial) || !TakeLockFile(p, real)) {
        serial->close();
        serial->clearError();
        GiveLockFileBack(p);
        p.heldBy = DeviceHolder(real);
        if (p.heldBy.empty()) p.heldBy = "another program";
        p.openError = device + " is in use by " + p.heldBy;
        return kComCannotOpen;
    }
    const bool ok = Apply(serial, serial->setBaudRate(static_cast<qint32>(baudRate))) &&
                    Apply(serial, serial->setDataBits(static_cast<QSerialPort::DataBits>(dataBits))) &&
                    Apply(serial, serial->setParity(qtParity)) &&
                    Apply(serial, serial->setStopBits(stopBits == 2 ? QSerialPort::TwoStop
                                                                    : QSerialPort::OneStop)) &&
                    Apply(serial, serial->setFlowControl(QSerialPort::NoFlowControl));
    if (!ok) {
        p.openError = device + ": " + serial->errorString().toStdString();
        serial->close();
        serial->clearError();
        GiveLockFileBack(p);
        return kComInvalidParameter;
    }
    AskLowLatency(p);
    ++p.generation;
    p.open = true;
    p.device = real;
    p.timeout = kDefaultTimeout;
    p.eventMask = 0;
    p.fn = nullptr;
    p.data = nullptr;
    p.inCallback = false;
    return 0;
}

int SetComTime(int port, double timeoutSeconds) {
    if (port < 1) return kComInvalidPort;
    Port* p = OpenPort(port);
    if (!p) return kComPortNotOpen;
    if (!(timeoutSeconds >= 0.0)) return kComInvalidParameter;  // also rejects NaN
    p->timeout = timeoutSeconds;
    return 0;
}

int SetCTSMode(int port, int mode) {
    if (port < 1) return kComInvalidPort;
    Port* p = OpenPort(port);
    if (!p) return kComPortNotOpen;
    if (mode < 0 || mode > 2) return kComInvalidParameter;
    LayerCall guard;
    const auto flow = mode == 0 ? QSerialPort::NoFlowControl : QSerialPort::HardwareControl;
    p->wakeSettingsKnown = false;  // the driver's settings are written anew (a raised count stays)
    return Apply(p->serial, p->serial->setFlowControl(flow)) ? 0 : kComInvalidParameter;
}

int FlushInQ(int port) {
    if (port < 1) return kComInvalidPort;
    Port* p = OpenPort(port);
    if (!p) return kComPortNotOpen;
    LayerCall guard;
    p->serial->clear(QSerialPort::Input);  // Qt's buffer and the driver's
    p->serial->clearError();
    ResumeReading(*p);
    return 0;
}

int FlushOutQ(int port) {
    if (port < 1) return kComInvalidPort;
    Port* p = OpenPort(port);
    if (!p) return kComPortNotOpen;
    LayerCall guard;
    p->serial->clear(QSerialPort::Output);
    p->serial->clearError();
    return 0;
}

int ComWrt(int port, const char* buffer, int count) {
    Port* p = OpenPort(port);
    if (!p || !buffer || count <= 0) return 0;
    LayerCall guard;
    const unsigned gen = p->generation;
    // With nothing queued before them, the bytes go to the driver at once, without the port's
    // write watch being set up and taken down for each request; what the driver does not take
    // (and any error) goes through the port as ever.
    int direct = 0;
    if (const int fd = int(p->serial->handle()); fd >= 0 && p->serial->bytesToWrite() == 0) {
        const ssize_t n = ::write(fd, buffer, size_t(count));
        if (n == count) return count;
        if (n > 0) direct = int(n);
    }
    if (direct > 0) {
        buffer += direct;
        count -= direct;
    }
    const qint64 written = p->serial->write(buffer, count);
    p = OpenPort(port);
    if (!p || p->generation != gen || written <= 0) return direct;
    p->serial->flush();  // hand the bytes to the driver now, not at the next event processing
    p = OpenPort(port);  // a line that went away while writing took nothing more
    if (!p || p->generation != gen) return direct;
    return direct + static_cast<int>(written);
}

int ComRd(int port, char* buffer, int count) {
    Port* p = OpenPort(port);
    if (!p || !buffer || count <= 0) return 0;
    LayerCall guard;
    const unsigned gen = p->generation;
    QDeadlineTimer deadline(static_cast<qint64>(p->timeout * 1000.0 + 0.5));
    int got = 0;
    for (;;) {
        const qint64 n = p->serial->read(buffer + got, count - got);
        if (n > 0) got += static_cast<int>(n);
        if (got >= count || deadline.hasExpired()) break;
        const int wait = static_cast<int>(std::max<qint64>(1, deadline.remainingTime()));
        const bool more = p->serial->waitForReadyRead(wait);
        p = OpenPort(port);
        if (!p || p->generation != gen) break;  // the line went away while waiting
        if (!more) {
            p->serial->clearError();
            if (p->serial->bytesAvailable() == 0 && deadline.hasExpired()) break;
            if (HungUp(p->serial->handle())) {
                ClosePort(*p);
                break;
            }
        }
    }
    if (Port* q = OpenPort(port); q && q->generation == gen) {
        ResumeReading(*q);
        // Data may have arrived during the wait; the callback hears of it at the next event
        // processing.
        if (q->fn && q->serial->bytesAvailable() >= q->notifyCount) QueueReceiveCheck(port);
    }
    return got;
}

int GetInQLen(int port) {
    Port* p = OpenPort(port);
    if (!p) return 0;
    return static_cast<int>(p->serial->bytesAvailable());
}

int TakeComInput(int port) {
    if (port < 1) return kComInvalidPort;
    Port* p = OpenPort(port);
    if (!p) return kComPortNotOpen;
    LayerCall guard;
    if (!p->serial->waitForReadyRead(0)) p->serial->clearError();  // nothing there: not a fault
    return 0;
}

int SetComWakeCount(int port, int count) {
    if (port < 1) return kComInvalidPort;
    Port* p = OpenPort(port);
    if (!p) return kComPortNotOpen;
    if (count < 1 || count > 255) return kComInvalidParameter;
    // In raw mode the terminal driver reports the line readable once it holds the minimum count
    // of bytes (with no inter-byte timer); reads still take whatever it holds.
    const int fd = int(p->serial->handle());
    termios& t = p->wakeSettings;
    if (!p->wakeSettingsKnown) {
        if (fd < 0 || ::tcgetattr(fd, &t) != 0) return 0;  // not a terminal: every byte wakes, as ever
        p->wakeSettingsKnown = true;
    }
    const cc_t want = cc_t(count == 1 ? p->minBytes : count);
    if (t.c_cc[VMIN] != want || t.c_cc[VTIME] != 0) {
        if (count > 1 && !p->minChanged) {
            p->minBytes = t.c_cc[VMIN];
            p->minChanged = true;
        }
        t.c_cc[VMIN] = want;
        t.c_cc[VTIME] = 0;
        if (::tcsetattr(fd, TCSANOW, &t) != 0) p->wakeSettingsKnown = false;
    }
    if (count == 1) {
        p->minChanged = false;
        LayerCall guard;
        if (!p->serial->waitForReadyRead(0)) p->serial->clearError();  // what came meanwhile, below the count
    }
    return 0;
}

int InstallComCallback(int port, int eventMask, int notifyCount, int eventCharacter, ComCallbackPtr fn,
                       void* callbackData) {
    (void)eventCharacter;  // only the receive event is delivered
    if (port < 1) return kComInvalidPort;
    Port* p = OpenPort(port);
    if (!p) return kComPortNotOpen;
    if (eventMask == 0) {
        p->eventMask = 0;
        p->fn = nullptr;
        p->data = nullptr;
        return 0;
    }
    if (!fn || ((eventMask & LWRS_RECEIVE) && (notifyCount < 1 || notifyCount > p->inputQueueSize)))
        return kComInvalidParameter;
    p->eventMask = eventMask;
    p->notifyCount = notifyCount < 1 ? 1 : notifyCount;
    p->fn = fn;
    p->data = callbackData;
    if ((eventMask & LWRS_RECEIVE) && p->serial->bytesAvailable() >= p->notifyCount)
        QueueReceiveCheck(port);
    return 0;
}

int CloseCom(int port) {
    if (port < 1) return kComInvalidPort;
    auto it = Ports().find(port);
    if (it != Ports().end()) ClosePort(it->second);
    return 0;
}

bool IsComOpen(int port) { return OpenPort(port) != nullptr; }

std::string ComOpenErrorText(int result) {
    switch (result) {
    case 0: return "";
    case kComUnknownSystemError: return "Unknown system error";
    case kComInvalidPort: return "Invalid port number";
    case kComPortNotOpen: return "Port is not open";
    case kComIoError: return "Unknown I/0 error";
    case kComNoSerialPort: return "No serial port found";
    case kComCannotOpen: return "Cannot open port";
    case kComInvalidParameter: return "Invalid parameter";
    case kComTimeout: return "Timeout";
    default: return "RS-232 error!";
    }
}
