// common/: what kryta-lt's rooms share. The command line (cli/), the plant network (plant/) and
// the commissioning record (record/) stand on it; it stands on link/, sensor/ and platform/'s core.
//   common.h   exit codes, the options of the command line (Args), interruption, Fail
//   connect.h  the port of -p, connecting to a sensor, the texts of failed exchanges, confirmed
//              reads of the parameter set
//   stream.h   measurement frames, one or a stream at the line's pace
//   json.h     the JSON objects of the sensor: identity, parameter set, measurement
//   output.h   output files and standard output
//   text.h     the parameter set in words a person reads, and the messages' style
#pragma once

#include <cmath>
#include <string>
#include <vector>

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
// no such option. The command line's main hands its table's reader to the commands that read a
// configuration file (SetOption in cli/main.cpp).
using OptionSetter = std::string (*)(Args& a, const std::string& longName, const std::string& value, bool& known);

// Interruption (SIGINT, SIGTERM): StopWork, which the program's main installs for the signals,
// runs inside event processing and sets stop_flag, which the stoppable exchanges and the loops
// look at.
void StopWork();
bool Interrupted();
// stop_flag for the next stoppable exchanges: 0, or 1 when an interruption has come already.
void ArmStop();

// Prints "kryta-lt: TEXT" on standard error; returns `code`.
int Fail(int code, const std::string& text);
