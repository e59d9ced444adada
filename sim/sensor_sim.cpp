// The simulated sensor: its memory, its measurement and the line it answers on.
#include "sim/sensor_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;
constexpr double kByteTime = 10.0 / 19200.0;  // 8N1 at 19200 baud
constexpr size_t kFrameBytes = 36;
constexpr size_t kMaxLoggedRequests = size_t(1) << 20;
constexpr double kPartialMaxAge = 0.2;        // a request must arrive within this
constexpr int kPages = 16;
constexpr int kPageWords = 256;

enum class Variant { Standard, V303, CL };

Variant VariantOf(const Model& m) {
    if (m.hwtype > 20000) return Variant::CL;
    if (m.softversion >= 303) return Variant::V303;
    return Variant::Standard;
}

// Slots of the main parameter frame that the sensor itself looks at.
constexpr int kPower = 0, kPowerMode = 1, kEvalMode = 3, kEdgeBegin = 4, kEdgeEnd = 5,
              kSetPoint = 6;
int ToleranceSlot(Variant v) { return v == Variant::Standard ? 7 : 8; }  // lower tolerance
int VideoThresholdSlot(Variant v) { return v == Variant::CL ? 13 : 14; }
// Extension frame slots.
constexpr int kScaleLow = 11, kScaleHigh = 12;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }
Clock::duration Dur(double s) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

void PutWord(std::vector<uint8_t>& b, uint16_t w) {
    b.push_back(uint8_t(w >> 8));
    b.push_back(uint8_t(w & 0xFF));
}

std::vector<uint8_t> Frame(uint16_t command, uint16_t argument,
                           const std::array<uint16_t, 15>& words) {
    std::vector<uint8_t> b;
    b.reserve(kFrameBytes);
    PutWord(b, 0x00AA);
    PutWord(b, command);
    PutWord(b, argument);
    for (uint16_t w : words) PutWord(b, w);
    return b;
}

}  // namespace

struct Simulator::Impl {
    Model model;
    Variant variant;

    mutable std::mutex mu;
    mutable std::condition_variable cv;

    // --- sensor state (under mu)
    std::array<std::array<uint16_t, 15>, 2> ram{}, eeprom{};
    std::array<std::array<uint16_t, kPageWords>, kPages> xflash{};
    uint16_t anaMax = 0, anaMin = 0;
    std::array<uint16_t, 256> trigger{};  // oldest first, newest at 255
    uint16_t scans = 0;
    double objLeft = 0, objRight = 0;
    bool moving = true;
    double jitter = 0;  // a still object's position spreads by this standard deviation, per scan
    std::mt19937 jitterRng{4711};
    double lastLeft = 0, lastRight = 0;
    bool measured = false;
    std::vector<FaultSpec> faults;
    AnswerStyle style;
    bool paced = true;
    int pieceBytes = 2;  // an answer on a paced line goes out in pieces of this many bytes
    std::vector<Request> requests;
    std::function<void(const Request&)> onRequest;
    std::mt19937 rng{20250};

    // --- the line
    int master = -1, slave = -1;
    int wake[2] = {-1, -1};
    std::string path;
    std::thread thread;
    bool running = false, stopRequested = false, unplugRequested = false, unplugged = false;
    Clock::time_point start = Clock::now();

    // --- serving thread only
    struct Outgoing {
        std::vector<uint8_t> bytes;
        Clock::time_point due;   // earliest start of the answer
        bool paced = true;
        bool started = false;
        Clock::time_point t0;    // start of the paced transmission
        size_t written = 0;
    };
    std::deque<Outgoing> out;
    double noiseRate = 0;              // random bytes a second mixed into the line
    Clock::time_point nextNoise{};
    Clock::time_point lastEnd{};
    std::vector<uint8_t> pending;
    Clock::time_point pendingSince{};

    explicit Impl(const Model& m, bool p) : model(m), variant(VariantOf(m)), paced(p) {
        FactorySettings();
        ram = eeprom;  // power-on: EEPROM into RAM
        for (auto& page : xflash) page.fill(0xFFFF);
        ResetAnalog();
        const double v = model.ccdvirtpixel;
        objLeft = std::round(v * 0.5);
        objRight = std::round(v * 0.7);
    }

    void FactorySettings() {
        const uint16_t v = model.ccdvirtpixel;
        auto& f = eeprom[0];
        f.fill(0);
        f[kPower] = 500;
        f[kPowerMode] = 1;
        f[2] = 1;  // polarity
        f[kEvalMode] = 0;
        f[kEdgeBegin] = 1;
        f[kEdgeEnd] = v;
        f[kSetPoint] = v / 2;
        f[7] = 100;  // tolerance, or upper tolerance
        switch (variant) {
        case Variant::Standard:
            f[8] = 1;  // average
            break;
        case Variant::V303:
            f[8] = 100;  // lower tolerance
            f[9] = 1;    // average
            break;
        case Variant::CL:
            f[8] = 100;
            f[9] = 1;
            f[12] = 100;  // hold time, ms
            break;
        }
        f[VideoThresholdSlot(variant)] = 40;
        auto& e = eeprom[1];
        e.fill(0);
        e[0] = v / 4;  // trigger threshold
        const uint32_t scale = variant == Variant::Standard ? 16384 : 1024;
        e[kScaleLow] = uint16_t(scale & 0xFFFF);
        e[kScaleHigh] = uint16_t(scale >> 16);
        e[13] = 30000;  // offset
        e[14] = 0;
    }

    void ResetAnalog() {
        anaMax = 0;
        anaMin = uint16_t(model.ccdvirtpixel - 1);
    }

    double Now() const { return Seconds(Clock::now() - start); }

    // Object edges at time t, in virtual pixels.
    void ObjectAt(double t, double& left, double& right) const {
        double shift = 0;
        if (moving) shift = 0.04 * model.ccdvirtpixel * std::sin(2 * M_PI * t / 20.0);
        left = objLeft + shift;
        right = objRight + shift;
    }

    uint16_t DynamicPower() const {
        const auto& f = ram[0];
        int power = f[kPower];
        if (f[kPowerMode] == 1) {
            power += int(std::lround(power * 0.02 * std::sin(scans * 0.7)));
            power = std::clamp(power, 0, 1000);
        }
        return uint16_t(power);
    }

    int Bright() const {
        int p = std::min<int>(DynamicPower(), 1000);
        return std::min<int>(model.adcmax, int(model.adcmax * (0.35 + 0.55 * p / 1000.0)));
    }
    int Dark() const { return int(model.adcmax * 0.08); }

    // One scan of the line: the measurement frame's 16 words.
    std::array<uint16_t, 16> Measure() {
        const auto& f = ram[0];
        const int v = model.ccdvirtpixel;
        double left, right;
        ObjectAt(Now(), left, right);
        if (!moving && jitter > 0) {
            const double shift = std::normal_distribution<double>(0, jitter)(jitterRng);
            left += shift;
            right += shift;
        }
        // the sensor resolves edges to whole virtual pixels; the video shows the same edges
        left = std::round(left);
        right = std::round(right);
        lastLeft = left;
        lastRight = right;
        measured = true;
        ++scans;

        const int eb = f[kEdgeBegin], ee = f[kEdgeEnd];
        const int l = int(std::lround(left)), r = int(std::lround(right));
        auto found = [&](int x) { return x >= 1 && x < v && x >= eb && x <= ee; };
        const bool hasL = found(l), hasR = found(r);
        const int edges = int(hasL) + int(hasR);

        uint16_t ledge = 0, redge = 0, mvstart = 0, mvend = 0;
        if (edges == 2) {
            ledge = uint16_t(l);
            redge = uint16_t(r);
            mvstart = uint16_t(l);
            mvend = uint16_t(r);
        } else if (hasL) {  // object lies right of the only edge
            ledge = uint16_t(l);
            mvstart = uint16_t(l);
            mvend = uint16_t(std::max(ee, l + 1));
        } else if (hasR) {  // object lies left of the only edge
            ledge = uint16_t(r);
            mvstart = uint16_t(r);
            mvend = uint16_t(std::min(eb, r - 1));
        }

        uint32_t mvalue = 0;
        if (edges > 0) {
            const int first = hasL ? l : r, last = hasR ? r : l;
            switch (f[kEvalMode]) {
            case 0: mvalue = uint32_t(first); break;
            case 1: mvalue = uint32_t(last); break;
            case 2: mvalue = edges == 2 ? uint32_t(r - l) : 0; break;
            default: mvalue = uint32_t((first + last) / 2); break;
            }
        }

        const auto& e = ram[1];
        const uint64_t scale = uint64_t(e[kScaleLow]) | uint64_t(e[kScaleHigh]) << 16;
        const uint64_t divisor = variant == Variant::Standard ? 16384 : 1024;
        const uint64_t um = std::min<uint64_t>(uint64_t(mvalue) * scale / divisor, 0xFFFFFFFFu);

        if (edges > 0) {
            anaMax = std::max<uint16_t>(anaMax, uint16_t(mvalue));
            anaMin = std::min<uint16_t>(anaMin, uint16_t(mvalue));
        }
        std::rotate(trigger.begin(), trigger.begin() + 1, trigger.end());
        trigger[255] = uint16_t(mvalue);

        std::array<uint16_t, 16> w{};
        w[0] = ledge;
        w[1] = redge;
        w[2] = uint16_t(mvalue);
        w[3] = uint16_t(um & 0xFFFF);
        w[4] = uint16_t(um >> 16);
        w[5] = f[kSetPoint];
        w[6] = f[ToleranceSlot(variant)];
        w[7] = uint16_t(edges);
        w[8] = mvstart;
        w[9] = mvend;
        w[10] = DynamicPower();
        w[11] = anaMax;
        w[12] = anaMin;
        w[13] = 0;  // IN0 open
        w[14] = uint16_t(Bright());
        w[15] = scans;
        return w;
    }

    // The video signal: 256 converter counts along the line, bright background, dark object with
    // soft edges that cross the video threshold exactly at the object's edges.
    std::array<uint16_t, 256> Video() const {
        double left = lastLeft, right = lastRight;
        if (!measured) {
            ObjectAt(Now(), left, right);
            left = std::round(left);
            right = std::round(right);
        }
        const double step = model.ccdvirtpixel / 256.0;
        const double ramp = 3 * step;
        const int bright = Bright(), dark = Dark();
        int thd = int(model.adcmax) * ram[0][VideoThresholdSlot(variant)] / 100;
        thd = std::clamp(thd, dark + 1, std::max(dark + 1, bright - 1));
        std::array<uint16_t, 256> video{};
        for (int i = 0; i < 256; ++i) {
            const double x = i * step;
            const bool inside = x > left && x < right;
            const double d = inside ? std::min(x - left, right - x)
                                    : std::min(std::fabs(x - left), std::fabs(x - right));
            const double k = std::min(d / ramp, 1.0);
            int value;
            if (inside)
                value = thd - std::max(1, int(std::lround((thd - dark) * k)));
            else
                value = thd + int(std::lround((bright - thd) * k));
            video[i] = uint16_t(std::clamp(value, 0, int(model.adcmax)));
        }
        return video;
    }

    struct Answer {
        std::vector<uint8_t> bytes;
        bool framed = true;
        bool none = false;
    };

    // Whether a write request is to be answered without changing the image (consumes the fault).
    bool IgnoresWrite(int cmd, int arg) {
        for (auto& f : faults) {
            if (f.kind != Fault::IgnoreWrites || f.times == 0) continue;
            if ((f.command != -1 && f.command != cmd) || (f.argument != -1 && f.argument != arg)) continue;
            if (f.times > 0) --f.times;
            return true;
        }
        return false;
    }

    Answer Respond(const Request& q) {
        Answer a;
        const uint16_t cmd = q.word(1), arg = q.word(2);
        std::array<uint16_t, 15> data{};
        for (int i = 0; i < 15; ++i) data[i] = q.word(3 + i);
        const int sel = arg == 0 ? 0 : 1;
        switch (cmd) {
        case 1:
        case 3: {
            auto& image = cmd == 1 ? ram : eeprom;
            if (!IgnoresWrite(cmd, arg)) image[sel] = data;
            a.bytes = Frame(cmd, arg, data);
            break;
        }
        case 2:
        case 4:
            if (style.swapFrames) {
                // the other frame of the set, named as such
                a.bytes = Frame(cmd, uint16_t(1 - sel), (cmd == 2 ? ram : eeprom)[1 - sel]);
                break;
            }
            a.bytes = Frame(cmd, arg, (cmd == 2 ? ram : eeprom)[sel]);
            break;
        case 5:
            a.bytes.assign(q.bytes.begin(), q.bytes.end());
            a.bytes[0] = 0x00;
            a.bytes[1] = 0xAA;
            break;
        case 6: {
            auto w = Measure();
            if (w[7] > 0) ram[0][kSetPoint] = w[2];
            a.bytes = Frame(6, 0, ram[0]);
            break;
        }
        case 7: {
            a.framed = false;
            a.bytes.assign(72, 0);
            const std::string& t = model.firmwareText;
            if (model.pcbtype == 0) {
                for (size_t i = 0; i < t.size() && i < 36; ++i) a.bytes[2 * i + 1] = uint8_t(t[i]);
            } else {
                for (size_t i = 0; i < t.size() && i < 72; ++i) a.bytes[i] = uint8_t(t[i]);
            }
            break;
        }
        case 8: {
            auto w = Measure();
            std::array<uint16_t, 15> rest{};
            std::copy(w.begin() + 1, w.end(), rest.begin());
            a.bytes = Frame(8, w[0], rest);
            break;
        }
        case 9: {
            a.framed = false;
            const auto source = q.word(3) == 1 ? trigger : Video();
            for (int i = 0; i < 64; ++i) PutWord(a.bytes, source[(arg + i) % 256]);
            break;
        }
        case 10: {
            const Model& m = model;
            std::array<uint16_t, 15> w{m.ccdmaxpixel, m.ccdresolution, m.pcbtype, m.ccdvirtpixel,
                                       m.ccdsubpixel, m.ccdpixB, m.ccdpixE, m.softversion,
                                       m.hwtype, m.adcmax};
            a.bytes = Frame(10, m.ccdtype, w);
            break;
        }
        case 11:
            ResetAnalog();
            a.bytes = Frame(11, 0, {anaMax, anaMin});
            break;
        case 101:
            for (auto& page : xflash) page.fill(0xFFFF);
            a.bytes = Frame(101, 0, {});
            break;
        case 102: {
            const uint16_t page = data[0];
            if (page < kPages)
                for (int k = 0; k < 8 && arg + k < kPageWords; ++k) xflash[page][arg + k] = data[1 + k];
            a.bytes = Frame(102, 0, {arg, page});
            break;
        }
        default:
            a.none = true;
            break;
        }
        return a;
    }

    // The words this sensor puts in its answers where the protocol leaves them open, and its tail.
    void Style(uint16_t cmd, Answer& a) const {
        if (a.framed && a.bytes.size() >= 6) {
            int command = -1;
            if (cmd >= 1 && cmd <= 4) command = style.parameterCommand;
            if (cmd == 6 || cmd == 11 || cmd == 101 || cmd == 102) command = style.ackCommand;
            if (command >= 0) {
                a.bytes[2] = uint8_t(command >> 8);
                a.bytes[3] = uint8_t(command);
            }
            if (!style.echo && cmd != 8 && cmd != 10) a.bytes[4] = a.bytes[5] = 0;
        }
        a.bytes.insert(a.bytes.end(), size_t(std::max(0, style.tail)), uint8_t(0));
    }

    struct Plan {
        std::vector<uint8_t> bytes;
        double delay = 0;
        bool silent = false;
        bool unplug = false;
    };

    std::vector<uint8_t> Random(size_t n) {
        std::vector<uint8_t> b(n);
        for (auto& c : b) c = uint8_t(rng());
        return b;
    }

    void ApplyFaults(int cmd, int arg, bool framed, Plan& p) {
        for (auto& f : faults) {
            if (f.kind == Fault::None || f.kind == Fault::IgnoreWrites || f.times == 0) continue;
            if (f.command != -1 && f.command != cmd) continue;
            if (f.argument != -1 && f.argument != arg) continue;
            if (f.every > 1 && ++f.seen % f.every != 0) continue;
            if (f.times > 0) --f.times;
            switch (f.kind) {
            case Fault::None: break;
            case Fault::Silent: p.silent = true; break;
            case Fault::Delay: p.delay += std::max(0.0, f.seconds); break;
            case Fault::WrongSync:
                if (framed && p.bytes.size() >= 2) {
                    const uint16_t sync = f.value ? uint16_t(f.value) : 0x0055;
                    p.bytes[0] = uint8_t(sync >> 8);
                    p.bytes[1] = uint8_t(sync);
                }
                break;
            case Fault::OtherCommand:
                if (framed && p.bytes.size() >= 4) {
                    p.bytes[2] = uint8_t(uint16_t(f.value) >> 8);
                    p.bytes[3] = uint8_t(f.value);
                }
                break;
            case Fault::Short:
                p.bytes.resize(std::min(p.bytes.size(), size_t(std::max(0, f.bytes > 0 ? f.bytes : int(p.bytes.size() / 2)))));
                break;
            case Fault::Surplus: {
                auto extra = Random(size_t(f.bytes > 0 ? f.bytes : 8));
                p.bytes.insert(p.bytes.end(), extra.begin(), extra.end());
                break;
            }
            case Fault::OtherArgument:
                if (framed && p.bytes.size() >= 6) {
                    p.bytes[4] = uint8_t(uint16_t(f.value) >> 8);
                    p.bytes[5] = uint8_t(f.value);
                }
                break;
            case Fault::Prefix: {
                auto extra = Random(size_t(f.bytes > 0 ? f.bytes : 8));
                p.bytes.insert(p.bytes.begin(), extra.begin(), extra.end());
                break;
            }
            case Fault::Double: {
                const std::vector<uint8_t> once = p.bytes;
                p.bytes.insert(p.bytes.end(), once.begin(), once.end());
                break;
            }
            case Fault::Garbage: p.bytes = Random(size_t(f.bytes > 0 ? f.bytes : 24)); break;
            case Fault::Flood: p.bytes = Random(size_t(f.bytes > 4096 ? f.bytes : 6000)); break;
            case Fault::Unplug: p.unplug = true; break;
            case Fault::IgnoreWrites: break;  // taken when the request is served
            }
        }
        faults.erase(std::remove_if(faults.begin(), faults.end(),
                                    [](const FaultSpec& f) { return f.times == 0; }),
                     faults.end());
    }

    // ---------------------------------------------------------------- the line

    void CloseLine() {
        if (master >= 0) ::close(master);
        if (slave >= 0) ::close(slave);
        master = slave = -1;
        unplugged = true;
        cv.notify_all();
    }

    void Wake() {
        if (wake[1] >= 0) {
            char c = 1;
            [[maybe_unused]] auto n = ::write(wake[1], &c, 1);
        }
    }

    // `firstByte`: when the request's first byte arrived. On a paced line the request itself takes
    // 36 byte times to cross, so the sensor cannot answer before its last byte is in.
    void Dispatch(const std::array<uint8_t, 36>& bytes, Clock::time_point at, Clock::time_point firstByte) {
        Plan plan;
        bool paceIt;
        {
            std::lock_guard<std::mutex> lock(mu);
            Request q{Seconds(at - start), bytes};
            // A simulator left running for days keeps the last million requests, not all of them.
            if (requests.size() >= kMaxLoggedRequests)
                requests.erase(requests.begin(), requests.begin() + kMaxLoggedRequests / 2);
            requests.push_back(q);
            cv.notify_all();
            if (onRequest) onRequest(q);
            Answer a = Respond(q);
            if (a.none) return;
            Style(q.word(1), a);
            plan.bytes = std::move(a.bytes);
            ApplyFaults(q.word(1), q.word(2), a.framed, plan);
            paceIt = paced;
            if (plan.unplug) {
                CloseLine();
                out.clear();
                return;
            }
        }
        if (plan.silent || plan.bytes.empty()) return;
        Outgoing o;
        o.bytes = std::move(plan.bytes);
        const Clock::time_point received =
            paceIt ? std::max(at, firstByte + Dur(kFrameBytes * kByteTime)) : at;
        o.due = received + Dur(plan.delay);
        o.paced = paceIt;
        out.push_back(std::move(o));
    }

    void Received(const uint8_t* data, size_t n, Clock::time_point at) {
        if (!pending.empty() && Seconds(at - pendingSince) > kPartialMaxAge) pending.clear();
        for (size_t i = 0; i < n; ++i) {
            const uint8_t b = data[i];
            if (pending.empty()) {
                if (b == 0x00) {
                    pending.push_back(b);
                    pendingSince = at;
                }
                continue;
            }
            if (pending.size() == 1) {
                if (b == 0x55) {
                    pending.push_back(b);
                } else if (b != 0x00) {
                    pending.clear();
                } else {
                    pendingSince = at;
                }
                continue;
            }
            pending.push_back(b);
            if (pending.size() == kFrameBytes) {
                std::array<uint8_t, 36> frame;
                std::copy(pending.begin(), pending.end(), frame.begin());
                pending.clear();
                Dispatch(frame, at, pendingSince);
                std::lock_guard<std::mutex> lock(mu);
                if (unplugged) return;
            }
        }
    }

    // A random byte on the line when one is due (exponential gaps at the noise rate).
    void Noise(Clock::time_point now, Clock::time_point& next) {
        double rate;
        {
            std::lock_guard<std::mutex> lock(mu);
            rate = noiseRate;
        }
        if (rate <= 0) return;
        if (nextNoise == Clock::time_point{}) nextNoise = now;
        if (now >= nextNoise) {
            const uint8_t b = uint8_t(rng());
            [[maybe_unused]] const ssize_t w = ::write(master, &b, 1);
            std::exponential_distribution<double> gap(rate);
            nextNoise = now + Dur(gap(rng));
        }
        next = std::min(next, nextNoise);
    }

    // Writes what is due of the queued answers; tells when to look again.
    void WriteDue(Clock::time_point now, Clock::time_point& next, bool& blocked) {
        while (!out.empty()) {
            Outgoing& o = out.front();
            if (now < o.due) {
                next = std::min(next, o.due);
                return;
            }
            if (!o.started) {
                o.started = true;
                o.t0 = std::max(o.due, lastEnd);
            }
            size_t allowed = o.bytes.size();
            size_t piece;
            {
                std::lock_guard<std::mutex> lock(mu);
                piece = size_t(pieceBytes);
            }
            if (o.paced) {
                // byte k (1-based) has fully crossed the line at t0 + k byte times
                const double elapsed = Seconds(now - o.t0);
                const size_t through = size_t(std::max(0.0, std::floor(elapsed / kByteTime + 1e-9)));
                if (through < allowed) allowed = through / piece * piece;
            }
            if (allowed > o.written) {
                const ssize_t w = ::write(master, o.bytes.data() + o.written, allowed - o.written);
                if (w > 0) {
                    o.written += size_t(w);
                } else if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                    blocked = true;
                    return;
                } else if (w < 0 && errno != EINTR) {
                    out.clear();  // the line is gone
                    return;
                }
                if (o.written < allowed) {
                    blocked = true;
                    return;
                }
            }
            if (o.written == o.bytes.size()) {
                lastEnd = o.paced ? o.t0 + Dur(o.bytes.size() * kByteTime) : now;
                out.pop_front();
                continue;
            }
            // look again when the next piece is through
            const size_t k = std::min(o.bytes.size(), (o.written / piece + 1) * piece);
            next = std::min(next, o.t0 + Dur(k * kByteTime));
            return;
        }
    }

    void Serve() {
        std::vector<uint8_t> buf(4096);
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mu);
                if (stopRequested) return;
                if (unplugRequested && !unplugged) {
                    CloseLine();
                    out.clear();
                }
            }
            bool dead;
            {
                std::lock_guard<std::mutex> lock(mu);
                dead = unplugged;
            }
            Clock::time_point now = Clock::now();
            Clock::time_point next = now + std::chrono::milliseconds(100);
            bool blocked = false;
            if (!dead) {
                if (!pending.empty() && Seconds(now - pendingSince) > kPartialMaxAge) pending.clear();
                WriteDue(now, next, blocked);
                Noise(now, next);
                if (!pending.empty())
                    next = std::min(next, pendingSince + Dur(kPartialMaxAge + 0.001));
            }
            pollfd fds[2] = {{wake[0], POLLIN, 0}, {master, short(POLLIN | (blocked ? POLLOUT : 0)), 0}};
            const nfds_t nfds = dead ? 1 : 2;
            auto wait = std::max(Clock::duration::zero(), next - Clock::now());
            if (blocked) wait = std::min<Clock::duration>(wait, std::chrono::milliseconds(5));
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            timespec ts{time_t(ns / 1000000000), long(ns % 1000000000)};
            const int r = ::ppoll(fds, nfds, &ts, nullptr);
            if (r <= 0) continue;
            if (fds[0].revents & POLLIN) {
                char drain[64];
                while (::read(wake[0], drain, sizeof drain) > 0) {
                }
            }
            if (!dead && (fds[1].revents & POLLIN)) {
                const ssize_t n = ::read(master, buf.data(), buf.size());
                if (n > 0) Received(buf.data(), size_t(n), Clock::now());
            }
            if (!dead && (fds[1].revents & (POLLHUP | POLLERR)) && !(fds[1].revents & POLLIN)) {
                // nobody holds the other side; do not spin on it
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
    }
};

Simulator::Simulator(const Model& model, bool paced) : impl_(std::make_unique<Impl>(model, paced)) {}

static const Model& ModelByName(const std::string& name) {
    const Model* m = FindModel(name);
    if (!m) throw std::invalid_argument("unknown sensor model: " + name);
    return *m;
}

Simulator::Simulator(const std::string& modelName, bool paced)
    : impl_(std::make_unique<Impl>(ModelByName(modelName), paced)) {}

Simulator::~Simulator() { Stop(); }

bool Simulator::Start() {
    Impl& s = *impl_;
    std::lock_guard<std::mutex> lock(s.mu);
    if (s.running) return true;
    if (s.unplugged) return false;
    char name[256] = {};
    if (::openpty(&s.master, &s.slave, name, nullptr, nullptr) != 0) return false;
    termios tio{};
    if (::tcgetattr(s.slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B19200);
        ::cfsetospeed(&tio, B19200);
        tio.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(s.slave, TCSANOW, &tio);
    }
    ::fcntl(s.master, F_SETFL, ::fcntl(s.master, F_GETFL) | O_NONBLOCK);
    ::fcntl(s.master, F_SETFD, FD_CLOEXEC);
    ::fcntl(s.slave, F_SETFD, FD_CLOEXEC);
    if (::pipe2(s.wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        ::close(s.master);
        ::close(s.slave);
        s.master = s.slave = -1;
        return false;
    }
    s.path = name;
    s.stopRequested = false;
    s.running = true;
    s.thread = std::thread([&s] { s.Serve(); });
    return true;
}

void Simulator::SetStillNoise(double pixels) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->jitter = pixels > 0 ? pixels : 0;
}

void Simulator::SetNoise(double bytesPerSecond) {
    {
        std::lock_guard<std::mutex> lock(impl_->mu);
        impl_->noiseRate = bytesPerSecond > 0 ? bytesPerSecond : 0;
    }
    impl_->Wake();
}

void Simulator::Stop() {
    Impl& s = *impl_;
    {
        std::lock_guard<std::mutex> lock(s.mu);
        if (!s.running) return;
        s.stopRequested = true;
    }
    s.Wake();
    if (s.thread.joinable()) s.thread.join();
    std::lock_guard<std::mutex> lock(s.mu);
    s.running = false;
    if (s.master >= 0) ::close(s.master);
    if (s.slave >= 0) ::close(s.slave);
    s.master = s.slave = -1;
    for (int& fd : s.wake) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    s.cv.notify_all();
}

std::string Simulator::DevicePath() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->path;
}

const Model& Simulator::model() const { return impl_->model; }

void Simulator::SetFault(const FaultSpec& fault) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    if (fault.kind != Fault::None && fault.times != 0) impl_->faults.push_back(fault);
}

void Simulator::ClearFaults() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->faults.clear();
}

void Simulator::SetPaced(bool paced) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->paced = paced;
}

void Simulator::SetAnswerStyle(const AnswerStyle& style) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->style = style;
}

void Simulator::SetPieceBytes(int bytes) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->pieceBytes = std::max(1, bytes);
}

void Simulator::Unplug() {
    Impl& s = *impl_;
    std::unique_lock<std::mutex> lock(s.mu);
    if (s.unplugged) return;
    if (!s.running) {
        s.CloseLine();
        return;
    }
    s.unplugRequested = true;
    lock.unlock();
    s.Wake();
    lock.lock();
    s.cv.wait(lock, [&] { return s.unplugged || !s.running; });
}

std::vector<Request> Simulator::Requests() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->requests;
}

void Simulator::OnRequest(std::function<void(const Request&)> fn) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->onRequest = std::move(fn);
}

void Simulator::ClearRequests() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->requests.clear();
}

bool Simulator::WaitForRequests(size_t n, double timeout) const {
    std::unique_lock<std::mutex> lock(impl_->mu);
    return impl_->cv.wait_for(lock, std::chrono::duration<double>(timeout),
                              [&] { return impl_->requests.size() >= n; });
}

std::array<uint16_t, 15> Simulator::Ram(int frame) const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->ram[frame == 0 ? 0 : 1];
}

std::array<uint16_t, 15> Simulator::Eeprom(int frame) const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->eeprom[frame == 0 ? 0 : 1];
}

void Simulator::SetRam(int frame, const std::array<uint16_t, 15>& words) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->ram[frame == 0 ? 0 : 1] = words;
}

void Simulator::SetEeprom(int frame, const std::array<uint16_t, 15>& words) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->eeprom[frame == 0 ? 0 : 1] = words;
}

std::array<uint16_t, 256> Simulator::VideoSignal() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->Video();
}

std::array<uint16_t, 256> Simulator::TriggerBuffer() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->trigger;
}

std::vector<uint16_t> Simulator::XFlashPage(int page) const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    if (page < 0 || page >= kPages) return {};
    return {impl_->xflash[page].begin(), impl_->xflash[page].end()};
}

bool Simulator::XFlashErased() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    for (const auto& page : impl_->xflash)
        for (uint16_t w : page)
            if (w != 0xFFFF) return false;
    return true;
}

void Simulator::SetObject(double left, double right, bool moving) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->objLeft = std::min(left, right);
    impl_->objRight = std::max(left, right);
    impl_->moving = moving;
    impl_->measured = false;
}

// ------------------------------------------------------------------ faults as text

const char* FaultName(Fault kind) {
    switch (kind) {
    case Fault::None: return "none";
    case Fault::Silent: return "silent";
    case Fault::Delay: return "delay";
    case Fault::WrongSync: return "wrong-sync";
    case Fault::OtherCommand: return "other-command";
    case Fault::Short: return "short";
    case Fault::Surplus: return "surplus";
    case Fault::Garbage: return "garbage";
    case Fault::Flood: return "flood";
    case Fault::Unplug: return "unplug";
    case Fault::IgnoreWrites: return "ignore-writes";
    case Fault::OtherArgument: return "other-argument";
    case Fault::Prefix: return "prefix";
    case Fault::Double: return "double";
    }
    return "none";
}

bool ParameterWordPlace(const Model& model, int word, int& frame, int& slot) {
    if (word >= 48 && word <= 58) {
        frame = 1;
        slot = word - 48;
        return true;
    }
    if (word >= 60 && word <= 63) {
        frame = 1;
        slot = word - 49;
        return true;
    }
    const Variant v = VariantOf(model);
    const int first = v == Variant::CL ? 33 : v == Variant::V303 ? 18 : 3;
    if (word < first || word > first + 14) return false;
    frame = 0;
    slot = word - first;
    return true;
}

bool ParseFault(const std::string& spec, FaultSpec& out) {
    std::string text = spec;
    int every = 0;
    if (const auto at = spec.find('@'); at != std::string::npos) {
        char* end = nullptr;
        const long n = std::strtol(spec.c_str() + at + 1, &end, 10);
        if (at + 1 == spec.size() || *end || n < 1 || n > 1000000) return false;
        every = int(n);
        text = spec.substr(0, at);
    }
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        const size_t colon = text.find(':', from);
        parts.push_back(text.substr(from, colon == std::string::npos ? std::string::npos : colon - from));
        if (colon == std::string::npos) break;
        from = colon + 1;
    }
    if (parts.size() > 3) return false;
    FaultSpec f;
    static const Fault kinds[] = {Fault::Silent, Fault::Delay, Fault::WrongSync, Fault::OtherCommand,
                                  Fault::Short, Fault::Surplus, Fault::Garbage, Fault::Flood,
                                  Fault::Unplug, Fault::IgnoreWrites, Fault::OtherArgument,
                                  Fault::Prefix, Fault::Double};
    bool known = false;
    for (Fault k : kinds)
        if (parts[0] == FaultName(k)) {
            f.kind = k;
            known = true;
        }
    if (!known) return false;
    if (parts.size() > 1 && parts[1] != "all" && parts[1] != "*" && !parts[1].empty()) {
        char* end = nullptr;
        const long c = std::strtol(parts[1].c_str(), &end, 10);
        if (*end || c < 0 || c > 65535) return false;
        f.command = int(c);
    }
    if (parts.size() > 2) {
        char* end = nullptr;
        const double v = std::strtod(parts[2].c_str(), &end);
        if (parts[2].empty() || *end || !(v >= 0) || v > 1e6) return false;
        switch (f.kind) {
        case Fault::Delay: f.seconds = v; break;
        case Fault::Short:
        case Fault::Surplus:
        case Fault::Prefix:
        case Fault::Garbage:
        case Fault::Flood: f.bytes = int(v); break;
        case Fault::WrongSync:
        case Fault::OtherArgument:
        case Fault::OtherCommand:
            if (v > 65535) return false;
            f.value = int(v);
            break;
        default: break;
        }
    } else {
        if (f.kind == Fault::Delay) f.seconds = 2.0;
        if (f.kind == Fault::OtherCommand) f.value = 99;
    }
    f.every = every;
    out = f;
    return true;
}

}  // namespace sim
