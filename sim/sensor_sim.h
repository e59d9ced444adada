// A KRYTA-LT sensor behind a pseudo-terminal: the device side of the program's protocol.
//
// The simulator opens a pseudo-terminal, serves requests on a thread of its own and paces the
// line like a real one (19200 baud, 10 bits a byte) unless told otherwise: a request takes its
// 36 byte times to come in before the answer starts, and the answer goes out in small pieces
// (2 bytes unless told otherwise) at the line's pace. It keeps RAM and
// EEPROM images of both parameter frames, the X-FLASH pages and the analog maximum/minimum, and
// computes measurement frames and video profiles from a moving object and its settings.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sim {

struct Model {
    std::string name;          // e.g. "M01", "M19", "unknown"
    uint16_t ccdtype;          // CCD family: 1, 4, 101, or another value for an unknown sensor
    uint16_t hwtype;           // hardware code
    uint16_t softversion;      // firmware number
    uint16_t pcbtype;          // board type: 0 sends the firmware text word-coded
    uint16_t ccdmaxpixel;
    uint16_t ccdresolution;
    uint16_t ccdvirtpixel;
    uint16_t ccdsubpixel;
    uint16_t ccdpixB, ccdpixE;
    uint16_t adcmax;           // converter full scale
    std::string firmwareText;  // at most 72 characters (36 when word-coded)
};

// Every row of the sensor table, plus an unknown family.
const std::vector<Model>& Models();
// By name ("M01" ... "M25", "unknown") or by hardware code as text ("20250"); nullptr if none.
const Model* FindModel(const std::string& nameOrCode);

enum class Fault {
    None,
    Silent,        // no answer
    Delay,         // answer after `seconds`
    WrongSync,     // sync word other than 0x00AA
    OtherCommand,  // another command word in the answer (`value`)
    Short,         // only the first `bytes` bytes
    Surplus,       // `bytes` extra bytes after the answer
    Garbage,       // a burst of `bytes` random bytes instead of the answer
    Flood,         // more than 4096 bytes (`bytes`, default 6000) instead of the answer
    Unplug,        // close the line as an unplugged adapter would
    IgnoreWrites,  // SEND RAM/EEPROM answered as usual, but the image keeps its words
    OtherArgument, // another argument word in the answer (`value`)
    Prefix,        // `bytes` random bytes before the answer
    Double,        // the answer sent twice, back to back
};

struct FaultSpec {
    Fault kind = Fault::None;
    int command = -1;      // command code it applies to; -1 = every command
    double seconds = 0;    // Delay
    int bytes = 0;         // Short, Surplus, Garbage, Flood
    int value = 0;         // OtherCommand, OtherArgument
    int times = -1;        // how many answers it affects; -1 = until cleared
    int argument = -1;     // argument word of the request it applies to; -1 = any
    int every = 0;         // only every `every`-th request it applies to (0, 1: each)
    int seen = 0;          // requests it applied to so far
};

// Reads a fault as the simulator's command line writes it: KIND[:COMMAND[:ARG]][@N] (@N: only
// every N-th request it applies to), KIND one of
// silent, delay, wrong-sync, other-command, short, surplus, garbage, flood, unplug,
// ignore-writes, other-argument, prefix, double; COMMAND a
// command code or "all"; ARG seconds (delay), bytes (short, surplus, garbage, flood) or the
// word sent instead (wrong-sync, other-command). False for anything else.
bool ParseFault(const std::string& text, FaultSpec& out);

// Where a parameter word as the program numbers it (3-47 the three firmware blocks, 48-58 and
// 60-63 the extension) lies in this sensor's RAM images: frame 0 (main) or 1 (extension) and the
// slot in it. False for a word of another firmware's block, and for word 59, which no frame
// carries.
bool ParameterWordPlace(const Model& model, int word, int& frame, int& slot);
const char* FaultName(Fault kind);

// How a sensor fills its answers beyond what the protocol promises (sync word 0x00AA, command word 8
// in a measurement frame and 10 in the hardware answer, fixed lengths).
struct AnswerStyle {
    bool echo = true;           // false: argument word 0 in every framed answer but the hardware
                                // answer and measurement frames
    int parameterCommand = -1;  // command word of the answers to SEND and GET (1-4); -1: the request's
    int ackCommand = -1;        // command word of the answers to teach, reset, X-FLASH erase and write
                                // (6, 11, 101, 102); -1: the request's
    int tail = 0;               // bytes 0x00 after every answer
    bool swapFrames = false;    // GET answers frame 0 with the extension frame and argument 1, and
                                // frame 1 with the main frame and argument 0
};

struct Request {
    double time;                   // seconds since the simulator started, when the last byte arrived
    std::array<uint8_t, 36> bytes; // the request as received
    uint16_t word(int i) const { return uint16_t(bytes[2 * i] << 8 | bytes[2 * i + 1]); }
};

class Simulator {
public:
    explicit Simulator(const Model& model, bool paced = true);
    explicit Simulator(const std::string& modelName, bool paced = true);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    bool Start();                     // opens the pseudo-terminal and starts serving
    void Stop();                      // stops serving and closes the line
    std::string DevicePath() const;   // the device the program opens
    const Model& model() const;

    void SetFault(const FaultSpec& fault);  // adds a fault
    void ClearFaults();
    void SetPaced(bool paced);
    void SetAnswerStyle(const AnswerStyle& style);
    // On a paced line, each answer goes out in pieces of `bytes` bytes (default 2), each piece
    // once its last byte has crossed the line, as a USB serial adapter hands them on.
    void SetPieceBytes(int bytes);
    // Random bytes mixed into the line, `bytesPerSecond` on average (0: none), between and inside
    // answers, as a noisy cable brings them.
    void SetNoise(double bytesPerSecond);
    void Unplug();                    // closes the line now

    std::vector<Request> Requests() const;  // every request received, in order
    // Called on the serving thread with every request as it arrives, before it is answered.
    void OnRequest(std::function<void(const Request&)> fn);
    void ClearRequests();
    // Waits until at least n requests have been received (false after `timeout` seconds).
    bool WaitForRequests(size_t n, double timeout) const;

    // Parameter images: frame 0 = main frame, 1 = extension frame; 15 words each.
    std::array<uint16_t, 15> Ram(int frame) const;
    std::array<uint16_t, 15> Eeprom(int frame) const;
    void SetRam(int frame, const std::array<uint16_t, 15>& words);
    void SetEeprom(int frame, const std::array<uint16_t, 15>& words);
    // The 256 words the sensor would send now as its video signal, and its trigger buffer.
    std::array<uint16_t, 256> VideoSignal() const;
    std::array<uint16_t, 256> TriggerBuffer() const;
    // X-FLASH: pages of 256 words.
    std::vector<uint16_t> XFlashPage(int page) const;
    bool XFlashErased() const;
    // The object on the line: left and right edge in virtual pixels; moving or still.
    void SetObject(double left, double right, bool moving);
    // A still object whose position spreads from scan to scan by a normal distribution of
    // `pixels` virtual pixels standard deviation (0: none), before the edges are rounded.
    void SetStillNoise(double pixels);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sim
