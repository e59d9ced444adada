// Sensor link: the sole owner of the serial line. Every exchange with the sensor is one call here:
// it builds its request from the command once, writes it, waits for the answer with the event
// loop running and proves that what came is this request's answer before anything takes it. It
// returns what happened (Outcome) and the decoded answer; it shows no text: the operations above
// turn outcomes into the words the operator reads. Plain C++ on the run-time layer's serial port.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "sensor/frame.h"
#include "sensor/hardware.h"

// ---- port and receive handler ----
extern int com;                 // port in use
extern const double TIMEOUT;    // 1.5 s, the answer time-out of every request
extern int eventMask;           // 0x8006
extern int rx_flag;             // the answer awaited has arrived whole
extern int graph_flag;          // the frame taken as the last answer was a measurement frame
extern int nBytesW, nBytesR;    // bytes of the last write and of the last answer taken

// Takes every byte that has arrived into the answer window of the request in progress.
void RX_Receive_Function(int port, int eventBits, void* callbackData);

// ---- connections ----
// Every open and every close of the port begins a new connection. An exchange belongs to the
// connection of the sequence it is part of (see BeginSensorOp): once the port has changed or
// closed, it writes nothing more.
int Connection();
// Opens port `port` with the line's settings (19200 baud, 8 data bits, no parity, 1 stop bit, no
// handshake) and starts receiving; 0, or the open result (negative). A device path, when given, is
// opened under port number `port` instead of the device the number stands for.
int OpenLine(int port, const std::string& device = "");
// Closes the port in use.
void CloseLine();
// Before a program gives the port up: waits (at most TIMEOUT after the last request) until an
// answer the line still owes has come and the line is quiet, so that it reaches no later program
// on the port.
void SettleLine();
// Whether the port of this connection opened (a lost line had opened; a failed open had not).
bool LineOpened();
// How the port list names port n: "COM<n>", and the device it stands for with what the system
// knows of it, e.g. "COM1 (/dev/ttyUSB0, FTDI FT232R USB UART)".
std::string PortLabel(int port);

// ---- what an exchange returns ----
enum class Outcome {
    Answered,           // the answer came and is provably this request's (no answer awaited: written)
    TimedOut,           // no answer within TIMEOUT
    Refused,            // an answer came that is not this request's (see LastRefusal)
    Disturbed,          // bytes around the answer, or a line that never fell quiet: nothing taken
    LineLost,           // the port is closed or went away
    ConnectionChanged,  // the port was changed or closed since the sequence began
    Stopped,            // STOP (stop_flag) ended the wait
};
// Why the last exchange refused its answer. Refused always, whatever the sensor: a frame without
// the sync word 0x00AA, a measurement frame where none was asked, a hardware answer without command
// word 10, a second frame (or the start of one) after the answer. Held to what this connection has
// shown of the sensor (see AnswerHabitOf): the command and argument words of parameter answers.
struct Refusal {
    enum Kind {
        None,
        Sync,       // value: the sync word, not 0x00AA
        Command,    // value: a command word this request's answers do not carry (a measurement
                    // frame's 8; a hardware answer's word other than 10; a parameter answer's word
                    // other than the sensor's own; in a wait for a measurement frame, the word of
                    // the frame passed over when none came before the time-out)
        Argument,   // value: the argument word of another request (another frame's, say)
        Twice,      // a second frame, or what starts one, after the answer: the sensor answered twice
        Disturbed,  // bytes: what came in the answer window
    } kind = None;
    uint16_t value = 0;
    int bytes = 0;
    uint16_t request = 0;  // the command of the request refused
};
const Refusal& LastRefusal();
// What the last exchange returned (for the calls that return a count or a flag).
Outcome LastOutcome();
// Called once the request has been written: `all` when all 36 bytes went out. PreviousAnswerDisturbed
// then tells what came after an answer taken at the line's pace before this request was written;
// a second frame that comes while this request crosses the line is found in its window (refused,
// Refusal::Twice) and counted there.
using WrittenHook = void (*)(bool all);

// ---- the exchanges ----
// The line check: the echo request; 1 when a frame with the sync word 0x00AA answers it. The
// sync word received is in pp[0] either way.
int CheckComLine(int port);
// The identification: 1 when the hardware answer came; LastIdentity() then describes the sensor.
int GetHARDWAREInfo();
const SensorIdentity& LastIdentity();
// The firmware text: the number of bytes that came (72 when it is whole; 0 when the line is gone).
// FirmwareTextRead() holds the text of a whole answer, as the board type codes it.
int GetVERSIONInfo(WrittenHook written = nullptr);
const std::string& FirmwareTextRead();

// One parameter frame (frameSelect 0 main, 1 extension) of the sensor's RAM or EEPROM. A set is
// read as frame 0 then frame 1 and taken whole or not at all: frame 0's words wait until frame 1
// of the same set has come on the same connection; only then do both go into the parameter
// words. A failed frame leaves the parameter words as they were before the set.
Outcome ReadParameterFrame(int memTarget, uint16_t frameSelect, WrittenHook written = nullptr);
// Whether the parameter words hold the whole set that the last ReadParameterFrame(…, 1) completed.
bool ParameterSetTaken();
// Writes one parameter frame into the sensor's RAM or EEPROM (no answer is awaited; one that
// comes is let pass before the next request that awaits one).
Outcome WriteParameterFrame(int memTarget, uint16_t frameSelect, WrittenHook written = nullptr);

// A measurement exchange (command 8). The request carries pp as it stands, or the active block of
// the parameter words (activeBlock). The answer is decoded into pp; graph_flag says whether it is
// a measurement frame.
struct Measurement {
    bool activeBlock = true;
    bool stoppable = true;        // STOP ends the wait
    // Only a measurement frame answers it: a framed answer of another kind is passed over and the
    // wait goes on until its time-out (then Refused, Refusal::Command with the word passed over).
    // Otherwise any frame with the sync word answers it (graph_flag tells which kind it was).
    bool measurementOnly = true;
    // Taken as soon as it is whole, without waiting for the line's quiet after it (to keep the
    // line's pace): surplus after it is found when the next request begins (LateDisturbances).
    bool paced = false;
    WrittenHook written = nullptr;
};
Outcome ExchangeMeasurement(const Measurement& m);
// The window's single measurement request before a block read: 1 when a measurement frame came.
int PushGETRAW(WrittenHook written = nullptr);
// Answers taken at the line's pace that turned out to have a frame (or what starts one, or a frame's
// worth of other bytes) after them, counted since the line opened; and whether the answer before
// the latest request was one of them. A tail of fewer bytes without a sync word among them is
// dropped, the answer stands.
int LateDisturbances();
bool PreviousAnswerDisturbed();
// Waits the line's quiet time after the last answer taken at the line's pace: Answered when
// nothing (or only a tail that cannot be a frame) followed it, Disturbed when something did.
Outcome ConfirmLastAnswer();
// The shortest time between the starts of two measurement exchanges taken with the line's quiet
// time after each (as the recorder takes its samples): the least delay this connection has shown
// before an answer begins, the answer's 36 bytes at 19200 baud (none on a line that hands bytes over
// at once), and the quiet time.
double ShortestSampleTime();
// The shortest time increment a recording can keep on this connection: ShortestSampleTime and the
// program's own part in a sample, up to the next hundredth of a second.
double ShortestIncrement();

// One 64-word block (128 unframed bytes) of the video signal (source 0) or the trigger buffer
// (source 1) into adcbuf at `offset`: 1 when it came whole.
int ReadData64(uint16_t offset, uint16_t source, WrittenHook written = nullptr);
// The four blocks of a source into adcbuf, as VIDEO, DATA and the command line read them. `block`
// is told of each block: once written (o == nullptr), once done (its outcome). Stops at the first
// block that fails, or on STOP.
using BlockHook = void (*)(uint16_t offset, const Outcome* o);
Outcome ReadBlocks(uint16_t source, BlockHook block = nullptr);

// Teach (command 6, the main frame in pp) and the reset of the analog maximum/minimum (11).
Outcome TeachSetPoint(WrittenHook written = nullptr);
Outcome ResetAnalogMaxMin(WrittenHook written = nullptr);
// X-FLASH: the erase request, and one write frame of eight table words at `offset` of `page`.
// Teach, reset and erase take any whole frame with the sync word that is not a measurement frame
// as their answer. A write frame is confirmed when the answer names the page and offset just
// written in its first two data words (its other words are not held); its answer is taken at the
// line's pace, so a confirmation stands only while nothing followed it on the line
// (PreviousAnswerDisturbed with the next frame, ConfirmLastAnswer after the last).
Outcome ClearXFlash(WrittenHook written = nullptr);
Outcome WriteXFlashFrame(uint16_t offset, uint16_t page, const uint16_t* eightWords, bool& confirmed);

// ---- identification state ----
// 1 once the sensor on the port has answered the hardware request; 0 from the start of every
// connect sequence and after a failed open. Settings are written into a sensor only when it is 1.
extern int ident_flag;

// ---- one sensor exchange at a time ----
// Starts an operation that talks to the sensor: false while another one runs (its wait keeps the
// event loop alive). The operation's exchanges belong to the connection it began on.
bool BeginSensorOp();
void EndSensorOp();
bool SensorOpRunning();
// The connect sequence: an operation that cannot be refused.
void BeginConnectOp();
// Runs `fn` once no sensor operation runs: at once when none does, else when the running one has
// ended (a later call replaces an earlier one not yet run; nullptr: nothing is run).
void RunWhenIdle(void (*fn)());
