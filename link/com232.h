// Sensor link: the serial port with its receive handler, the one exchange road through which
// every request and its answer go, the line check, the sensor identification, the block reads and
// the parameter frames. Plain C++ on the run-time layer's serial port: no window.
#pragma once

#include <cstdint>
#include <string>

#include "sensor/frame.h"
#include "sensor/hardware.h"

// ---- port and receive handler ----
extern int com;                 // port in use
extern const double TIMEOUT;    // 1.5 s, the answer time-out of every request
extern int eventMask;           // 0x8006
extern int rx_flag;             // a 36-byte frame has arrived
extern int graph_flag;          // the frame taken as the last answer was a measurement frame
extern int nBytesW, nBytesR;    // bytes of the last write and the last unframed read

void RX_Receive_Function(int port, int eventBits, void* callbackData);
void InstallRxHandler();
void RemoveRxHandler();

// ---- connections ----
// Every open and every close of the port begins a new connection. An exchange belongs to the
// connection of the sequence it is part of (see SensorOp): once the port has changed or closed,
// it writes nothing more.
int Connection();
// Opens port `port` with the line's settings (19200 baud, 8 data bits, no parity, 1 stop bit, no
// handshake), installs the receive handler; 0, or the open result (negative). A device path, when
// given, is opened under port number `port` instead of the device the number stands for.
int OpenLine(int port, const std::string& device = "");
// Closes the port in use.
void CloseLine();
// How the port list names port n: "COM<n>", and the device it stands for with what the system
// knows of it, e.g. "COM1 (/dev/ttyUSB0, FTDI FT232R USB UART)".
std::string PortLabel(int port);
// Text of an open result (0 or negative).
std::string ComOpenErrorText(int result);
// The text for a line that is not there: lost while open ("RS232-Line lost! - ...") or not open.
std::string LineLostText();
extern const char* const kLineLostText;

// ---- the exchange road ----
enum class Outcome {
    Answered,           // the answer came and fits the request (for a request without answer: written)
    TimedOut,           // no fitting answer within TIMEOUT
    Refused,            // answers came, none fitting (see LastRefusal)
    LineLost,           // the port is closed or went away
    ConnectionChanged,  // the port was changed or closed since the sequence began
    Stopped,            // STOP (stop_flag) ended the wait
};
struct Request {
    uint16_t command;                      // of the frame built in szWriteBuf
    bool stoppable = false;                // stop_flag ends the wait
    bool measurementOnly = false;          // only a measurement frame answers it
    const char* textIfWritten = nullptr;   // shown when all 36 bytes were written
    const char* textAfterWrite = nullptr;  // shown after the write in any case
};
// Why the last exchange refused an answer.
struct Refusal {
    enum Kind { None, Sync, Command, Length } kind = None;
    uint16_t value = 0;  // Sync: the sync word; Command: the command word
    int bytes = 0;       // Length: bytes received
};
// Writes the request built in szWriteBuf and waits for its answer, with the event loop running and
// bounded by TIMEOUT. A framed answer must carry the sync word 0x00AA and a command word that fits
// the request (AnswerFits); it is then decoded into pp (GetRxBuf) and graph_flag says whether it
// was a measurement frame. Frames that do not fit are passed over and the wait goes on. Unframed
// answers (firmware text, data blocks) are read with the receive handler removed: every byte that
// arrived, at most what szReadBuf holds, into szReadBuf (nBytesR); a count other than the expected
// one is refused. After a request whose answer may still come (a time-out, a refusal, a stop), the
// next one first lets the line fall quiet and discards what came late.
Outcome Exchange(const Request& request);
// The wait of one exchange (part of Exchange).
Outcome WaitRxFull(const Request& request);
const Refusal& LastRefusal();
// The sensor's answer to the last exchange could be late: the next request waits for a quiet line.
void ExpectLateAnswer();

// ---- the line check ----
int CheckComLine(int port);

// ---- identification ----
// 1 once the sensor on the port has answered the hardware request; 0 from the start of every
// connect sequence and after a failed open. Settings are written into a sensor only when it is 1.
extern int ident_flag;
// 1 once the pages hold values that this sensor gave (both frames of one GET taken) or that the
// operator loaded from a parameter file since the sensor was identified; 0 from the start of every
// connect sequence. Settings are written into a sensor only when it is 1.
extern int params_flag;
extern const char* const kNotIdentifiedText;
extern const char* const kNotReadText;
// Refuses an operation that writes into the sensor while it is not identified or its parameters
// were not read: shows why and returns true.
bool RefuseUnidentified();
int GetHARDWAREInfo();
int GetVERSIONInfo();
// The sensor identified by the last hardware answer.
const SensorIdentity& LastIdentity();

// ---- block read ----
int PushGETRAW();
int ReadData64(uint16_t offset, uint16_t source);

// ---- parameter frames ----
// Reads one parameter frame (frameSelect 0 main, 1 extension) of the sensor's RAM or EEPROM into
// the parameter words. A parameter set is read as frame 0 then frame 1: when either answer is
// refused, the set stores nothing (words 3-63 as before frame 0). Both frames taken: params_flag.
Outcome ReadParameterFrame(int memTarget, uint16_t frameSelect);
// Whether the parameter set read last had an answer refused.
bool ParameterSetRefused();
// Writes one parameter frame into the sensor's RAM or EEPROM (no answer is awaited).
Outcome WriteParameterFrame(int memTarget, uint16_t frameSelect);

// ---- one sensor exchange at a time ----
// Starts an operation that talks to the sensor. While another one runs (its wait keeps the event
// loop alive), the new one is refused: the status line says so and the result is false. The
// operation's exchanges belong to the connection it began on.
bool BeginSensorOp();
void EndSensorOp();
bool SensorOpRunning();
// The connect sequence: an operation that cannot be refused.
void BeginConnectOp();
extern const char* const kBusyText;
struct SensorOp {
    bool ok;
    SensorOp() : ok(BeginSensorOp()) {}
    ~SensorOp() {
        if (ok) EndSensorOp();
    }
    SensorOp(const SensorOp&) = delete;
    SensorOp& operator=(const SensorOp&) = delete;
};
// Runs `fn` once no sensor operation runs: at once when none does, else when the running one has
// ended (a later call replaces an earlier one not yet run; nullptr: nothing is run).
void RunWhenIdle(void (*fn)());
