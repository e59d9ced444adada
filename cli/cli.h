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
    kExitOtherSensor = 13,    // send: the file's companion names another firmware variant or CCD family
    kExitBrokerUnreachable = 14,  // publish: the broker cannot be reached or does not answer
    kExitBrokerRefused = 15,      // publish: the broker refuses us: credentials, TLS, CA file
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
    // publish
    std::string broker, topic, clientId, username, passwordFile, cafile;
    long every = 1;
    int qos = 0;
    // gateway
    std::string group, node, ports, stateDir, config;
    bool scan = false, jsonTopics = false;
    std::vector<std::string> given;  // the long names of the options on the command line
    // report
    long samples = -1;                      // --samples (-1: not given)
    double reference = std::nan(""), tolerance = std::nan("");  // --reference, --tolerance (um)
    std::string station, operatorName;
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
// the failure's code and in `found` why: "silent", "in use by another program", "cannot open: ..."
int Probe(const Args& a, std::string& found);
// The device that -p stands for ("port N" when the number names none).
std::string PortDevice(const Args& a);
// Exit code and message of an exchange that did not succeed: `what` tells what was asked.
int ExchangeFailed(const std::string& what);
// As ExchangeFailed, but the text (without its hint) is given back instead of printed.
int ExchangeFailedText(const std::string& what, std::string& text);
// Reads both parameter frames of the sensor's RAM or EEPROM: the 30 words, frame 0 then frame 1.
int ReadSet(int memTarget, std::array<uint16_t, 30>& words);
// Reads the set until two reads agree word for word, at most three times; a read that fails
// counts as one. kExitOk, or the failure's code (printed): kExitRefused when the reads disagree.
// A Ctrl-C ends it after the read in progress unless `holdInterruption`.
int ReadConfirmedSet(int memTarget, std::array<uint16_t, 30>& words, bool holdInterruption = false);
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
