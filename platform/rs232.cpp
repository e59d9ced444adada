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

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

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
    ComCallbackPtr fn = nullptr;
    void* data = nullptr;
    bool inCallback = false;
    bool recheckQueued = false;
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

void ClosePort(Port& p) {
    if (p.serial && p.serial->isOpen()) p.serial->close();
    p.open = false;
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

}  // namespace

std::string ComDeviceName(int port) {
    if (port < 1) return "";
    const std::string var = "KRYTA_COM" + std::to_string(port);
    if (const char* env = std::getenv(var.c_str()); env && *env) return env;
#ifdef _WIN32
    return "COM" + std::to_string(port);
#endif
    std::vector<std::string> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        devices.push_back(info.systemLocation().toStdString());
    std::sort(devices.begin(), devices.end());
    if (static_cast<size_t>(port) > devices.size()) return "";
    return devices[static_cast<size_t>(port) - 1];
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

    const std::string device = deviceName.empty() ? ComDeviceName(port) : deviceName;
#ifdef _WIN32
    if (device.empty()) return kComNoSerialPort;
#else
    if (device.empty() || !QFileInfo::exists(QString::fromStdString(device))) return kComNoSerialPort;
#endif

    if (!p.serial) {
        p.serial = new QSerialPort();  // lives as long as the program; reused by every open
        QObject::connect(p.serial, &QSerialPort::readyRead, p.serial, [port] { DeliverReceive(port); });
        QObject::connect(p.serial, &QSerialPort::errorOccurred, p.serial,
                         [port](QSerialPort::SerialPortError e) { OnSerialError(port, e); });
    }
    QSerialPort* serial = p.serial;
    serial->setPortName(QString::fromStdString(device));
    serial->clearError();
    p.inputQueueSize = inputQueueSize < kMinQueueSize ? kDefaultQueueSize : inputQueueSize;
    serial->setReadBufferSize(p.inputQueueSize);
    if (!serial->open(QIODevice::ReadWrite)) {
        const int code = OpenErrorCode(serial->error());
        serial->clearError();
        return code;
    }
    const bool ok = Apply(serial, serial->setBaudRate(static_cast<qint32>(baudRate))) &&
                    Apply(serial, serial->setDataBits(static_cast<QSerialPort::DataBits>(dataBits))) &&
                    Apply(serial, serial->setParity(qtParity)) &&
                    Apply(serial, serial->setStopBits(stopBits == 2 ? QSerialPort::TwoStop
                                                                    : QSerialPort::OneStop)) &&
                    Apply(serial, serial->setFlowControl(QSerialPort::NoFlowControl));
    if (!ok) {
        serial->close();
        serial->clearError();
        return kComInvalidParameter;
    }
    ++p.generation;
    p.open = true;
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
    const qint64 written = p->serial->write(buffer, count);
    p = OpenPort(port);
    if (!p || p->generation != gen || written <= 0) return 0;
    p->serial->flush();  // hand the bytes to the driver now, not at the next event processing
    p = OpenPort(port);  // a line that went away while writing took nothing
    if (!p || p->generation != gen) return 0;
    return static_cast<int>(written);
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
