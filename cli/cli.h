// kryta-lt: the sensor on the command line. Sub-commands on the sensor core and the sensor link,
// each returning its exit code.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "link/com232.h"

// Exit codes, as --help and the README list them.
enum Exit : int {
    kExitOk = 0,
    kExitDiffer = 1,          // compare: the parameter sets differ
    kExitUsage = 2,           // wrong arguments
    kExitPort = 3,            // the port cannot be opened
    kExitNoAnswer = 4,        // no answer within the time-out: no sensor, silent port
    kExitRefused = 5,         // answers came, none fitting: wrong sync word, another request's answer
    kExitNotIdentified = 6,   // the sensor did not answer the identification (or is unknown: send)
    kExitBadFile = 7,         // a parameter file that cannot be read or is malformed
    kExitCannotWrite = 8,     // an output file that cannot be written, or exists without --force
    kExitLineLost = 9,        // the port went away
    kExitCorrections = 10,    // send: values outside the ranges, --accept-corrections not given
    kExitVerify = 11,         // send: the read-back differs from what was written
    kExitInterrupted = 12,    // Ctrl-C before the work was done
    kExitOtherSensor = 13,    // send: the file's companion names another variant or CCD family, no --other-variant
    kExitBrokerUnreachable = 14,  // publish: the broker cannot be reached or does not answer
    kExitBrokerRefused = 15,      // publish: the broker refuses us: credentials, TLS, CA file
    kExitOutput = 16,             // standard output cannot be written: a closed pipe, a full disk
    kExitTakenOver = 17,          // publish: another client keeps taking our client id at the broker
};

// The exit-code table, as kryta-lt --help prints it.
extern const char* const kExitCodeTable;

// The command line. A new option is a row of the option table in cli/main.cpp and a field here;
// a new command is a row of the command table and its Cmd function.
struct Args {
    std::string command;                  // sub-command
    std::vector<std::string> positional;  // after the sub-command
    std::string port = "1";               // -p: a number or a device path
    bool portGiven = false;               // -p was on the command line
    std::string output;                   // -o; "-" is standard output
    long count = -1;                      // -n (-1: not given)
    double increment = -1;                // -i (-1: not given)
    std::string variant;                  // compare --variant
    bool json = false, force = false, acceptCorrections = false, dryRun = false, noVerify = false;
    bool otherVariant = false;            // send: a set of another firmware variant or CCD family
    bool keepGoing = false;               // record: a faulty sample is taken again
    // publish
    std::string broker, topic, clientId, username, passwordFile, cafile;
    long every = 1;
    int qos = 0;
    // gateway
    std::string group, node, ports, stateDir, config, primaryHost;
    bool scan = false, jsonTopics = false;
    std::vector<std::string> given;  // the long names of the options on the command line
    // report
    long samples = -1;                      // --samples (-1: not given)
    double reference = std::nan(""), tolerance = std::nan("");  // --reference, --tolerance (um)
    std::string station, operatorName;
    std::string part;                       // --part: the reference part's identity
    double uncertainty = std::nan("");      // --uncertainty: of the reference part's value xm (um)
};

// The option `longName` of the option table set from `value`, as a configuration file gives it
// ("true"/"false" for a switch): "" or why the value is wrong. `known` is false when the table has
// no such option.
std::string SetOption(Args& a, const std::string& longName, const std::string& value, bool& known);

// Interruption (SIGINT, SIGTERM): set by the signal; stoppable exchanges end on stop_flag, which
// the program sets from it inside event processing.
bool Interrupted();
// stop_flag for the next stoppable exchanges: 0, or 1 when an interruption has come already.
void ArmStop();

// Prints "kryta-lt: TEXT" on standard error; returns `code`.
int Fail(int code, const std::string& text);

int CmdPorts(const Args& a);
int CmdInfo(const Args& a);
int CmdGet(const Args& a);
int CmdSend(const Args& a);
int CmdCompare(const Args& a);
int CmdRecord(const Args& a);
int CmdMeasure(const Args& a);
int CmdVideo(const Args& a);
int CmdScan(const Args& a);
int CmdBackup(const Args& a);
int CmdPublish(const Args& a);
int CmdGateway(const Args& a);      // cli/gateway.cpp
int CmdGatewayLine(const Args& a);  // cli/gateway_line.cpp: one sensor's line for the gateway
int CmdReport(const Args& a);

// ---- shared by the sub-commands (cli/sensor.cpp) ----
// What the connection to the sensor reached.
enum class Reach { Line, Identified, Parameters };
// Opens the port of -p, checks the line and asks for the identification; with Parameters also
// reads both RAM frames, as the window's connect sequence does. kExitOk or the failure's code
// (printed). An unidentified sensor is reported as a warning unless `mustIdentify`.
int Connect(const Args& a, Reach reach, bool mustIdentify);
// Connect's first steps without a word on standard error, for trying a port: the open, the echo
// check and the identification. kExitOk when a sensor is identified (the line stays open), else
// the failure's code and in `found` why: "silent", "in use by NAME (pid N)" (the port left
// alone), "cannot open: ..."
int Probe(const Args& a, std::string& found);
// Whether a scan (scan, backup DIR, gateway --scan) tries the machine's serial device `device`
// unasked: not a built-in port (/dev/ttyS*), which may be a console or wired to other equipment;
// a port that KRYTA_COM<n> names is tried whatever its device.
bool ScannedUnasked(const std::string& device);
// The device that -p stands for ("port N" when the number names none).
std::string PortDevice(const Args& a);
// The device the sub-command talks to, as its messages name it (set by Connect and Probe).
const std::string& ShownDevice();
// Exit code and message of an exchange that did not succeed: `what` tells what was asked.
int ExchangeFailed(const std::string& what);
// As ExchangeFailed, but the text (without its hint) is given back instead of printed.
int ExchangeFailedText(const std::string& what, std::string& text);
// The sensor's firmware text, as info shows it: kExitOk, with "" and a warning on standard error
// when it did not come, or the failure's code (printed) when the line went away.
int ReadFirmwareText(std::string& text);
// Reads both parameter frames of the sensor's RAM or EEPROM: the 30 words, frame 0 then frame 1.
int ReadSet(int memTarget, std::array<uint16_t, 30>& words);
// Reads the set until two reads agree word for word, at most three times; a read that fails
// counts as one. kExitOk, or the failure's code (printed): kExitRefused when the reads disagree.
// A Ctrl-C ends it after the read in progress unless `holdInterruption`.
int ReadConfirmedSet(int memTarget, std::array<uint16_t, 30>& words, bool holdInterruption = false);
// As ReadConfirmedSet, but the failure's text (without its hint) is given back instead of printed.
int ReadConfirmedSetText(int memTarget, std::array<uint16_t, 30>& words, std::string& text);
// Puts 30 words, frame 0 then frame 1, into the sensor's variant's block and the extension words.
void LoadSet(const std::array<uint16_t, 30>& words);
// RAM or EEPROM from its name (ram, eeprom); 0 for anything else.
int MemoryOf(const std::string& name);
// A backup: the parameter file at `path` (see OutputFile) and, beside a regular file, its
// companion PATH.json with the sensor's identification, the memory, the date and the port.
int WriteBackup(const std::string& path, bool force, int memTarget, const std::array<uint16_t, 30>& words,
                const std::string& port);
// The 30 words of the parameter words in frame order.
std::array<uint16_t, 30> StoredSet();
// ---- cli/stream.cpp ----
// One measurement frame exchanged and, when answered, decoded into the measurement variables.
Outcome TakeMeasurement(bool paced);

// A sensor that gives no measurement frame for this long has gone silent: a stream of frames ends
// (publish waits for it to come back).
constexpr double kSilenceLimit = 10;

// A stream of measurement frames at the line's pace. A frame is passed on once nothing has
// followed it on the line. Riding over faults, a missing, refused or disturbed answer is a lost
// frame: counted, its number skipped, and each run of lost frames told in one line on standard
// error once frames come again; only a lost line or kSilenceLimit without a frame ends the stream.
// Without riding, the first fault ends it.
struct FrameStream {
    bool ride = true;
    // The frame just decoded, number `seq` (1 for the first request of the stream, lost ones
    // counted), as it will be passed on; "" passes nothing for it.
    std::string (*take)(uint64_t seq, void* context) = nullptr;
    // A frame that stood; false ends the stream (its output failed).
    bool (*pass)(const std::string& frame, void* context) = nullptr;
    // Before each request: false ends the stream (enough frames, or the caller's own reason);
    // `holding`: a frame taken is still waiting to be passed on.
    bool (*more)(bool holding, void* context) = nullptr;
    void* context = nullptr;

    uint64_t seq = 0;        // requests so far (go on from where an earlier stream ended)
    uint64_t measured = 0;   // frames that stood
    uint64_t lost = 0;       // frames lost to faults
};
// How a stream ended: Stopped (Ctrl-C), Answered (`more` or `pass` said so), else the fault that
// ended it, its line printed and its exit code in `code`.
struct StreamEnd {
    Outcome outcome = Outcome::Answered;
    int code = 0;
};
StreamEnd RunStream(FrameStream& s);

// ---- standard output ----
// Writes `text` to standard output and flushes it: false once a write has failed (the first
// failure is told on standard error; the command then ends with kExitOutput).
bool Print(const std::string& text);
// Whether standard output has failed, its buffer flushed first; told on standard error once.
bool OutputFailed();
