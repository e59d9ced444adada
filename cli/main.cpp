// kryta-lt: back up, restore, compare and record a KRYTA-LT sensor from the command line. Runs
// without a display: the event loop of Qt Core drives the serial port; nothing else of Qt.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <clocale>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli.h"
#include "link/com232.h"
#include "platform/events.h"
#include "sensor/vars.h"

namespace {

// SIGINT and SIGTERM end the work in progress: stop_flag, which the stoppable exchanges and the
// loops look at, is set inside event processing.
bool interrupted = false;

void StopWork() {
    interrupted = true;
    stop_flag = 1;
}

const char* const kExitCodes =
    "Exit codes:\n"
    "  0  done (compare: the sources are equal)\n"
    "  1  compare: the sources differ\n"
    "  2  wrong arguments\n"
    "  3  the port cannot be opened\n"
    "  4  no answer within 1.5 s: no sensor, or a silent port\n"
    "  5  a wrong answer: not the sensor's sync word 0x00AA, another request's answer\n"
    "  6  the sensor is not identified (info; send writes only into an identified sensor)\n"
    "  7  a parameter file that cannot be read or does not hold exactly 30 numbers\n"
    "  8  an output file that cannot be written, or exists (record without --force)\n"
    "  9  the line went away (adapter unplugged, port closed)\n"
    " 10  send: values outside the sensor's ranges, and no --accept-corrections\n"
    " 11  send: the read-back differs from what was written\n"
    " 12  interrupted (Ctrl-C) before the work was done\n"
    " 14  publish: the broker cannot be reached (address, port) or does not answer\n"
    " 15  publish: the broker refuses the connection (user name, password), the TLS handshake\n"
    "     fails, or the password file or CA file cannot be read\n";

const char* const kPortHelp =
    "  -p, --port PORT   the sensor's port, before or after the command: a device path\n"
    "                    (/dev/ttyUSB0, a link, a pseudo-terminal) or a port number n, the\n"
    "                    device that KRYTA_COM<n> names, else the n-th serial device of the\n"
    "                    machine in the order of its path; default 1\n";

struct Command {
    const char* name;
    int (*run)(const Args&);
    const char* options;  // the options it takes, space-separated
    const char* usage;
    const char* help;
};

const Command kCommands[] = {
    {"ports", CmdPorts, "", "ports",
     "The serial ports with the device each stands for and what the system knows of it, as the\n"
     "window's port list shows them.\n"},
    {"info", CmdInfo, "-p --json", "info [--json]",
     "The echo check and the identification, as at the window's start (with both RAM parameter\n"
     "frames and the firmware text): designation, pixels, resolution, working range, CCD family,\n"
     "hardware code, firmware number and text. Exit 0 only when the sensor is identified.\n"
     "  --json            one JSON object\n"},
    {"get", CmdGet, "-p -o --json", "get ram|eeprom [-o FILE.cfg] [--json]",
     "Reads both parameter frames from the sensor's RAM or EEPROM.\n"
     "  -o, --output FILE the parameter file, byte for byte as the window saves it: the 30 words\n"
     "                    the sensor sent, one a line (written beside, then renamed)\n"
     "  --json            without -o: one JSON object, {\"memory\", \"variant\", \"parameters\":\n"
     "                    {NAME: {\"word\", \"value\", \"unit\"}}}\n"
     "Without -o: each parameter by the name its page gives it, its value and unit.\n"},
    {"send", CmdSend, "-p --accept-corrections --dry-run --no-verify",
     "send ram|eeprom FILE.cfg [--accept-corrections] [--dry-run] [--no-verify]",
     "Writes a parameter file into the identified sensor's RAM or EEPROM: its values go into the\n"
     "block of the sensor's firmware, through the range rules of the window's pages, then both\n"
     "frames are read back and compared word for word.\n"
     "  --accept-corrections  send the values the ranges allow where the file's are outside\n"
     "                    (without it, such values are listed and nothing is sent)\n"
     "  --dry-run         show what would be sent; send nothing\n"
     "  --no-verify       do not read back\n"},
    {"compare", CmdCompare, "-p --variant", "compare A B [--variant standard|v303|cl]",
     "Compares two parameter sets, each of A and B ram, eeprom or a .cfg file, and lists the\n"
     "parameters that differ, by name, with both values.\n"
     "  --variant V       name the words as firmware V does (default: the sensor's, when one\n"
     "                    side is ram or eeprom; standard for two files)\n"},
    {"record", CmdRecord, "-p -n -i -o --force", "record -n N -i SECONDS -o FILE.dat [--force]",
     "The data recorder: N samples (0 to 32767), one each SECONDS (the first after SECONDS),\n"
     "into the recorder file of the window: header, tab-separated lines, CR LF. The file appears\n"
     "with the first sample; every sample is on disk as soon as it is taken. Progress on\n"
     "standard error when it is a terminal. Ctrl-C ends the recording (exit 12) with every\n"
     "sample so far in the file.\n"
     "  -n, --count N     number of samples\n"
     "  -i, --increment S seconds from one sample to the next (a real number, 0 for at once)\n"
     "  -o, --output FILE the recorder file\n"
     "  --force           replace an existing file\n"},
    {"measure", CmdMeasure, "-p -n --json", "measure [-n N] [--json]",
     "Measurement frames, one line each, on standard output, as fast as the sensor answers:\n"
     "left edge, right edge, measured value, measured value in um (signed), set-point, tolerance,\n"
     "edges, measurement start, end, power, analog maximum, minimum, IN0, video maximum, scan,\n"
     "tab-separated.\n"
     "  -n, --count N     number of frames (default 1); 0: until Ctrl-C (then exit 0)\n"
     "  --json            one JSON object a line\n"},
    {"video", CmdVideo, "-p -o", "video [-o FILE.csv]",
     "The CCD video signal and the trigger buffer, 256 words each, as the window's VIDEO and\n"
     "DATA read them: CSV with the columns index, pixel, video, trigger.\n"
     "  -o, --output FILE write the CSV there (beside, then renamed) instead of standard output\n"},
};

const Command kPublish = {"publish", CmdPublish,
    "-p --broker --topic --every --qos --client-id --username --password-file --cafile",
    "publish --broker HOST[:PORT] [--topic PREFIX] [--every N] [--qos 0|1] [--client-id ID]\n"
    "        [--username NAME --password-file FILE] [--cafile FILE]",
    "The sensor on an MQTT broker: connects as info does (an unidentified sensor is refused),\n"
    "then exchanges measurement frames as measure does until Ctrl-C or SIGTERM (exit 0), and\n"
    "publishes under PREFIX (default kryta/<host name>/<device name of the port>):\n"
    "  PREFIX/status       retained: online; offline at the end and as the last will;\n"
    "                      line lost when the sensor went away (the exit code says why)\n"
    "  PREFIX/identity     retained: the object of info --json\n"
    "  PREFIX/parameters   retained: the object of get ram --json, read at start\n"
    "  PREFIX/measurement  a frame: the names of measure --json, seq and time (UTC)\n"
    "The measurement never waits for the broker: while it is away or slow, frames are not\n"
    "published and counted; it is reconnected by itself.\n"
    "  --broker HOST[:PORT]  the broker (port 1883, 8883 with --cafile)\n"
    "  --topic PREFIX    the topics' prefix\n"
    "  --every N         publish every N-th frame (default 1)\n"
    "  --qos 0|1         quality of service of the measurement messages (default 0)\n"
    "  --client-id ID    the client id at the broker (default kryta-lt-<prefix>)\n"
    "  --username NAME, --password-file FILE  log in; the password is the file's first line\n"
    "  --cafile FILE     TLS, the broker's certificate checked against this CA\n"};

const Command* FindCommand(const std::string& name) {
    for (const Command& c : kCommands)
        if (name == c.name) return &c;
    return name == kPublish.name ? &kPublish : nullptr;
}

bool Takes(const Command& c, const std::string& option) {
    const std::string list = std::string(" ") + c.options + " ";
    return list.find(" " + option + " ") != std::string::npos;
}

void GeneralHelp() {
    std::printf("Usage: kryta-lt [-p PORT] COMMAND [options]\n"
                "A KRYTA-LT laser line sensor from the command line: back up, restore, compare and\n"
                "record. Results on standard output, errors on standard error.\n\nCommands:\n");
    for (const Command& c : kCommands) std::printf("  %s\n", c.usage);
    std::printf("  %s\n", kPublish.usage);
    std::printf("\nOptions:\n%s  -h, --help        this help; kryta-lt COMMAND --help tells more\n\n%s",
                kPortHelp, kExitCodes);
}

void CommandHelp(const Command& c) {
    const bool port = Takes(c, "-p");
    std::printf("Usage: kryta-lt %s%s\n%s", port ? "[-p PORT] " : "", c.usage, c.help);
    if (port) std::printf("%s", kPortHelp);
    std::printf("\n%s", kExitCodes);
}

bool ParseCount(const std::string& s, long& out) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end || errno || v < 0) return false;
    out = v;
    return true;
}

bool ParseSeconds(const std::string& s, double& out) {
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (s.empty() || *end || !std::isfinite(v) || v < 0 || v > 86400.0) return false;
    out = v;
    return true;
}

// Reads the command line; kExitOk, kExitUsage (printed), or -1 when help was asked for.
int Parse(int argc, char** argv, Args& a, const Command*& command) {
    command = nullptr;
    bool help = false, optionsEnd = false;
    std::vector<std::pair<std::string, std::string>> given;  // options, for the command's check
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
            if (!command) {
                command = FindCommand(arg);
                if (!command) return Fail(kExitUsage, "no command '" + arg + "' (see kryta-lt --help)");
            } else {
                a.positional.push_back(arg);
            }
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        std::string value;
        bool inlineValue = false;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            inlineValue = true;
        }
        static const std::pair<const char*, const char*> kShort[] = {
            {"--port", "-p"}, {"--output", "-o"}, {"--count", "-n"}, {"--increment", "-i"}};
        for (const auto& [longName, shortName] : kShort)
            if (arg == longName) arg = shortName;
        if (arg == "-h" || arg == "--help") {
            help = true;
            continue;
        }
        const bool takesValue = arg == "-p" || arg == "-o" || arg == "-n" || arg == "-i" || arg == "--variant" ||
                                arg == "--broker" || arg == "--topic" || arg == "--every" || arg == "--qos" ||
                                arg == "--client-id" || arg == "--username" || arg == "--password-file" ||
                                arg == "--cafile";
        const bool flag = arg == "--json" || arg == "--force" || arg == "--accept-corrections" || arg == "--dry-run" ||
                          arg == "--no-verify";
        if (!takesValue && !flag) return Fail(kExitUsage, "unknown option '" + arg + "' (see kryta-lt --help)");
        if (takesValue && !inlineValue) {
            if (i + 1 >= argc) return Fail(kExitUsage, arg + " needs a value");
            value = argv[++i];
        }
        if (flag && inlineValue) return Fail(kExitUsage, arg + " takes no value");
        given.emplace_back(arg, value);
    }
    if (help) return -1;
    if (!command) return Fail(kExitUsage, "say a command (see kryta-lt --help)");
    for (const auto& [option, value] : given) {
        if (!Takes(*command, option))
            return Fail(kExitUsage, std::string(command->name) + " takes no " + option + " (see kryta-lt " +
                                        command->name + " --help)");
        if (option == "-p") a.port = value;
        else if (option == "-o") a.output = value;
        else if (option == "-n" && !ParseCount(value, a.count)) return Fail(kExitUsage, "-n needs a whole number, 0 or more");
        else if (option == "-i" && !ParseSeconds(value, a.increment))
            return Fail(kExitUsage, "-i needs seconds, 0 to 86400");
        else if (option == "--variant") {
            if (value != "standard" && value != "v303" && value != "cl")
                return Fail(kExitUsage, "--variant is standard, v303 or cl");
            a.variant = value;
        }
        else if (option == "--broker") a.broker = value;
        else if (option == "--topic") a.topic = value;
        else if (option == "--every" && (!ParseCount(value, a.every) || a.every < 1))
            return Fail(kExitUsage, "--every needs a whole number, 1 or more");
        else if (option == "--qos") {
            if (value != "0" && value != "1") return Fail(kExitUsage, "--qos is 0 or 1");
            a.qos = value[0] - '0';
        }
        else if (option == "--client-id") a.clientId = value;
        else if (option == "--username") a.username = value;
        else if (option == "--password-file") a.passwordFile = value;
        else if (option == "--cafile") a.cafile = value;
        else if (option == "--json") a.json = true;
        else if (option == "--force") a.force = true;
        else if (option == "--accept-corrections") a.acceptCorrections = true;
        else if (option == "--dry-run") a.dryRun = true;
        else if (option == "--no-verify") a.noVerify = true;
    }
    if (a.port.empty()) return Fail(kExitUsage, "-p needs a port number or a device path");
    return kExitOk;
}

}  // namespace

bool Interrupted() { return interrupted; }

void ArmStop() { stop_flag = Interrupted() ? 1 : 0; }

int Fail(int code, const std::string& text) {
    std::fprintf(stderr, "kryta-lt: %s\n", text.c_str());
    return code;
}

int main(int argc, char** argv) {
    Args args;
    const Command* command = nullptr;
    const int parsed = Parse(argc, argv, args, command);
    if (parsed == -1) {
        if (command) CommandHelp(*command);
        else GeneralHelp();
        return kExitOk;
    }
    if (parsed != kExitOk) return parsed;
    args.command = command->name;

    InitCoreRuntime(argc, argv);
    std::setlocale(LC_NUMERIC, "C");  // a point as decimal separator in every number written
    OnInterruption(StopWork);
    SetStartValues();
    const int code = command->run(args);
    CloseLine();
    std::fflush(stdout);
    return code;
}
