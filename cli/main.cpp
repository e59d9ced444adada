// kryta-lt: back up, restore, compare and record a KRYTA-LT sensor from the command line. Runs
// without a display: the event loop of Qt Core drives the serial port; nothing else of Qt.
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include <fcntl.h>
#include <unistd.h>

#include <clocale>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "common/output.h"
#include "common/text.h"
#include "plant/plant.h"
#include "record/record.h"
#include "link/com232.h"
#include "platform/events.h"
#include "sensor/vars.h"

const char* const kExitCodeTable =
    "Exit codes:\n"
    "  0  done (compare: the sources are equal)\n"
    "  1  compare: the sources differ\n"
    "  2  wrong arguments\n"
    "  3  the port cannot be opened\n"
    "  4  no answer within 1.5 s: no sensor, or a silent port (scan, backup: no sensor found)\n"
    "  5  a wrong answer: not the sensor's sync word 0x00AA, another request's answer, or\n"
    "     reads of one parameter set that do not agree\n"
    "  6  the sensor is not identified (info; send writes only into an identified sensor)\n"
    "  7  a parameter file that cannot be read, does not hold exactly 30 numbers, or holds\n"
    "     a value outside 0 to 65535 (send); a companion file that cannot be read\n"
    "  8  an output file that cannot be written, or exists and --force is not given\n"
    "  9  the line went away (adapter unplugged, port closed)\n"
    " 10  send: values outside the sensor's ranges, and no --accept-corrections\n"
    " 11  send: the read-back differs from what was written\n"
    " 12  interrupted (Ctrl-C) before the work was done\n"
    " 13  send: the file's companion names another firmware variant or CCD family than\n"
    "     the sensor's, and no --other-variant\n"
    " 14  publish: the broker cannot be reached (address, port) or does not answer;\n"
    "     gateway: the broker's host name does not resolve, or its first connection\n"
    "     gets no answer within 10 s\n"
    " 15  publish, gateway: the broker refuses the connection (user name, password),\n"
    "     the TLS handshake fails, or the password file or CA file cannot be read\n"
    " 16  standard output cannot be written (a closed pipe, a full disk)\n"
    " 17  publish: another client keeps taking our client id at the broker\n";

namespace {

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

bool ParseMicrometres(const std::string& s, double& out) {
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (s.empty() || *end || !std::isfinite(v) || std::fabs(v) > 1e9) return false;
    out = v;
    return true;
}

// ---- the options: every one once, with its help and what it sets in Args ----
struct Option {
    const char* names;      // "p,port": a one-letter name is the short option
    const char* valueName;  // nullptr: a switch
    const char* help;       // lines after the first are indented under it
    // Takes the value into Args; "" or why the value is wrong.
    std::function<std::string(Args&, const std::string&)> take;
};

// An option that keeps its value as it is, and a switch.
std::function<std::string(Args&, const std::string&)> Text(std::string Args::*field) {
    return [field](Args& a, const std::string& v) {
        a.*field = v;
        return std::string();
    };
}
std::function<std::string(Args&, const std::string&)> Flag(bool Args::*field) {
    return [field](Args& a, const std::string&) {
        a.*field = true;
        return std::string();
    };
}

const Option kOptions[] = {
    {"p,port", "PORT",
     "the sensor's port, before or after the command: a port number n,\n"
     "the device that KRYTA_COM<n> names, else the n-th serial device of\n"
     "the machine in the order of its path (default 1); or a device: a\n"
     "path (/dev/ttyUSB0, a link, a pseudo-terminal, a path from the\n"
     "working directory) or a name under /dev (ttyUSB0)",
     [](Args& a, const std::string& v) {
         a.port = v;
         a.portGiven = true;
         return v.empty() ? std::string("-p needs a port number or a device path") : std::string();
     }},
    {"o,output", "FILE", "the output file; - is standard output",
     [](Args& a, const std::string& v) {
         a.output = v;
         return v.empty() ? std::string("-o needs a file name") : std::string();
     }},
    {"n,count", "N", "number of samples or frames",
     [](Args& a, const std::string& v) {
         return ParseCount(v, a.count) ? std::string() : std::string("-n needs a whole number, 0 or more");
     }},
    {"i,increment", "SECONDS", "seconds from one sample to the next",
     [](Args& a, const std::string& v) {
         return ParseSeconds(v, a.increment) ? std::string() : std::string("-i needs seconds, 0 to 86400");
     }},
    {"variant", "V", "name the words as firmware V does: standard, v303 or cl",
     [](Args& a, const std::string& v) {
         a.variant = v;
         return v == "standard" || v == "v303" || v == "cl" ? std::string()
                                                             : std::string("--variant is standard, v303 or cl");
     }},
    {"json", nullptr, "JSON instead of text",
     Flag(&Args::json)},
    {"force", nullptr, "replace an existing output file",
     Flag(&Args::force)},
    {"other-variant", nullptr,
     "send a set whose companion names another firmware variant or CCD\n"
     "family than the sensor's (its words then take other places)",
     Flag(&Args::otherVariant)},
    {"accept-corrections", nullptr,
     "send the values the ranges allow where the file's are outside\n"
     "(without it, such values are listed and nothing is sent)",
     Flag(&Args::acceptCorrections)},
    {"dry-run", nullptr, "show what would be sent; send nothing",
     Flag(&Args::dryRun)},
    {"no-verify", nullptr, "do not read back",
     Flag(&Args::noVerify)},
    {"keep-going", nullptr,
     "a sample whose answer is missing or wrong is asked for again at once\n"
     "(without it, such an answer ends the recording)",
     Flag(&Args::keepGoing)},
    {"broker", "HOST[:PORT]", "the MQTT broker; port 1883, 8883 with --cafile",
     Text(&Args::broker)},
    {"topic", "PREFIX", "the topics' prefix; default kryta/<host name>/<device name of the port>",
     Text(&Args::topic)},
    {"every", "N", "publish every N-th frame; default 1",
     [](Args& a, const std::string& v) {
         return ParseCount(v, a.every) && a.every >= 1 ? std::string() : std::string("--every needs a whole number, 1 or more");
     }},
    {"qos", "0|1", "quality of service of the measurement messages; default 0",
     [](Args& a, const std::string& v) {
         a.qos = v == "1";
         return v == "0" || v == "1" ? std::string() : std::string("--qos is 0 or 1");
     }},
    {"client-id", "ID", "the client id at the broker; default kryta-lt-<host name>-<device>",
     Text(&Args::clientId)},
    {"username", "NAME", "log in to the broker as NAME",
     Text(&Args::username)},
    {"password-file", "FILE", "the password for --username: the file's first line",
     Text(&Args::passwordFile)},
    {"cafile", "FILE", "TLS to the broker, its certificate checked against this CA",
     Text(&Args::cafile)},
    {"group", "ID", "the Sparkplug group ID; default kryta",
     Text(&Args::group)},
    {"node", "ID", "the Sparkplug edge node ID; default the host name",
     Text(&Args::node)},
    {"ports", "LIST", "the sensors' ports, comma-separated: device paths or port numbers",
     Text(&Args::ports)},
    {"scan", nullptr,
     "every serial device of the machine (and each KRYTA_COM<n>), and new\n"
     "ones as they appear",
     Flag(&Args::scan)},
    {"json-topics", nullptr, "also the topics of publish, under kryta/<node>/<device>/",
     Flag(&Args::jsonTopics)},
    {"state-dir", "DIR", "where the birth-death sequence number is kept; default /var/lib/kryta",
     Text(&Args::stateDir)},
    {"primary-host", "ID", "the Sparkplug Primary Host: births only while its STATE says online",
     Text(&Args::primaryHost)},
    {"config", "FILE",
     "the settings, a 'key = value' a line (the long option names);\n"
     "default /etc/kryta/gateway.conf when it exists; options given\n"
     "on the command line win",
     Text(&Args::config)},
    {"samples", "N", "measurement frames of the record, 10 to 32767; default 50",
     [](Args& a, const std::string& v) {
         return ParseCount(v, a.samples) && a.samples >= 10 && a.samples <= 32767
                    ? std::string() : std::string("--samples is 10 to 32767 measurement frames");
     }},
    {"reference", "UM", "the reference part's value xm of the gauge study, in um",
     [](Args& a, const std::string& v) {
         return ParseMicrometres(v, a.reference) ? std::string() : std::string("--reference needs a value in um");
     }},
    {"tolerance", "UM", "the tolerance T of the characteristic, in um, above 0",
     [](Args& a, const std::string& v) {
         return ParseMicrometres(v, a.tolerance) && a.tolerance > 0
                    ? std::string() : std::string("--tolerance is the tolerance T in um, above 0");
     }},
    {"part", "ID", "the reference part of the gauge study: its identity, for the\n"
     "record (at most 100 characters)",
     Text(&Args::part)},
    {"uncertainty", "UM", "the uncertainty of the reference part's calibrated value xm, in um",
     [](Args& a, const std::string& v) {
         return ParseMicrometres(v, a.uncertainty) && a.uncertainty >= 0
                    ? std::string() : std::string("--uncertainty needs a value in um, 0 or more");
     }},
    {"station", "TEXT", "the station the sensor is set up at, for the record (at most 100\n"
     "characters)",
     Text(&Args::station)},
    {"operator", "NAME", "who set it up, for the record (at most 100 characters)",
     Text(&Args::operatorName)},
};

// ---- the commands ----
struct Command {
    const char* name;
    int (*run)(const Args&);
    const char* options;  // the long names of the options it takes, space-separated
    const char* usage;    // after "kryta-lt NAME"
    const char* help;
};

std::string SetOption(Args& a, const std::string& longName, const std::string& value, bool& known);

const Command kCommands[] = {
    {"ports", CmdPorts, "json", "[--json]",
     "The serial ports that have a device, with the device each stands for and what the system\n"
     "knows of it, as the window's port list shows them.\n"},
    {"scan", CmdScan, "json", "[--json]",
     "Tries every port the program knows (the numbered ports, KRYTA_COM<n> included, and every\n"
     "serial device of the machine) with the echo check and the identification, and prints each\n"
     "port with its device and the sensor found or why none: silent, in use by NAME (pid N),\n"
     "cannot open. A port in use (open in another program, its lock file taken, the kernel's\n"
     "console) is not touched; a built-in port (/dev/ttyS*) is tried only when a KRYTA_COM<n>\n"
     "names it. Exit 0 when it found a sensor, else 4.\n"},
    {"backup", CmdBackup, "force", "DIR [ram|eeprom] [--force]",
     "A confirmed backup of every sensor that scan finds (RAM unless eeprom is said): in DIR, one\n"
     "parameter file PORT-DESIGNATION.cfg per sensor with its companion, then a summary. Exit 0\n"
     "only when every sensor found was backed up.\n"},
    {"info", CmdInfo, "port json", "[--json]",
     "The echo check and the identification, as at the window's start (with both RAM parameter\n"
     "frames and the firmware text): designation, pixels, resolution, working range, CCD family,\n"
     "hardware code, firmware number and text. Exit 0 only when the sensor is identified.\n"},
    {"get", CmdGet, "port output force json", "ram|eeprom [-o FILE.cfg] [--force] [--json]",
     "Reads both parameter frames from the sensor's RAM or EEPROM, twice: the set is taken only\n"
     "when two reads agree word for word (at most three reads, else exit 5).\n"
     "With -o FILE.cfg: the parameter file, byte for byte as the window saves it (the 30 words,\n"
     "one a line), and beside it FILE.cfg.json, its companion: the sensor's identification, the\n"
     "memory, the date and the port. An existing file is replaced only with --force.\n"
     "Without -o: each parameter with its line in the parameter file (kryta-lt help files), the\n"
     "name its page gives it, its value and unit.\n"},
    {"send", CmdSend, "port accept-corrections dry-run no-verify other-variant json",
     "ram|eeprom FILE.cfg [--accept-corrections] [--dry-run] [--no-verify] [--other-variant]\n"
     "          [--json]",
     "Writes a parameter file into the identified sensor's RAM or EEPROM: its values go into the\n"
     "block of the sensor's firmware, through the range rules of the window's pages, then both\n"
     "frames are read back and compared word for word. A file whose companion names another\n"
     "firmware variant or CCD family than the sensor's is refused (exit 13) unless\n"
     "--other-variant. --dry-run reads the sensor's RAM or EEPROM and shows what would change\n"
     "(POWER 500 -> 600), then the whole set it would send. After a failure it says what the\n"
     "sensor holds.\n"},
    {"compare", CmdCompare, "port variant json", "A B [--variant standard|v303|cl] [--json]",
     "Compares two parameter sets, each of A and B ram, eeprom or a .cfg file, and lists the\n"
     "parameters that differ, by name, with both values; a file's companion is shown. The words\n"
     "are named as the sensor's firmware names them when one side is ram or eeprom, else as the\n"
     "companions say, else as the standard firmware does; --variant names another.\n"},
    {"record", CmdRecord, "port count increment output force keep-going",
     "-n N -i SECONDS -o FILE.dat [--force] [--keep-going]",
     "The data recorder: N samples (1 to 32767), one each SECONDS (the first after SECONDS),\n"
     "into the recorder file of the window: header, tab-separated lines, CR LF. SECONDS is at\n"
     "least the shortest sample time of this line, found when connected: the sensor's delay\n"
     "before it answers, the answer at 19200 baud and the quiet after it (0.07 s or more on a\n"
     "serial line, never below 0.0375 s); a shorter one is refused (exit 2) before the first\n"
     "sample. The file appears with the first sample; every sample is on disk as soon as it is\n"
     "taken. Progress on standard error when it is a terminal. Ctrl-C ends the recording with\n"
     "every sample so far in the file (exit 12), its header made to say how many. With\n"
     "--keep-going a faulty answer is asked for again and the sample said to be late; only a\n"
     "lost line or 10 s without a sample end it.\n"},
    {"measure", CmdMeasure, "port count json", "[-n N] [--json]",
     "Measurement frames, one line each, on standard output, as fast as the sensor answers:\n"
     "left edge, right edge, measured value, measured value in um (signed), set-point,\n"
     "tolerance, edges, measurement start, end, power, analog maximum, minimum, IN0, video\n"
     "maximum, the frame's last word, tab-separated, under a line naming the columns when\n"
     "standard output is a terminal. -n 0: until Ctrl-C (then exit 0); default 1.\n"
     "More than one frame is a stream: a missing, refused or disturbed answer is a lost frame,\n"
     "told on standard error once frames come again, and -n counts the frames printed; only a\n"
     "lost line or 10 s without a frame end it (exit 9, 4 or 5).\n"},
    {"video", CmdVideo, "port output force", "[-o FILE.csv] [--force]",
     "The CCD video signal and the trigger buffer, 256 words each, as the window's VIDEO and\n"
     "DATA read them: CSV with the columns index, pixel, video, trigger, on standard output or\n"
     "into FILE.csv.\n"},
    {"publish", CmdPublish, "port broker topic every qos client-id username password-file cafile",
     "--broker HOST[:PORT] [--topic PREFIX] [--every N] [--qos 0|1] [--client-id ID]\n"
     "          [--username NAME --password-file FILE] [--cafile FILE]",
     "The sensor on an MQTT broker: connects as info does (an unidentified sensor is refused),\n"
     "then to the broker (nothing is published before the port is ours), exchanges measurement\n"
     "frames as measure does until Ctrl-C or SIGTERM (exit 0), and publishes under PREFIX:\n"
     "  PREFIX/status       retained: online; offline at the end and as the last will; line\n"
     "                      lost while the sensor is gone (line lost, or no frame for 10 s)\n"
     "  PREFIX/identity     retained: the object of info --json\n"
     "  PREFIX/parameters   retained: the object of get ram --json, read at start\n"
     "  PREFIX/measurement  a frame: the names of measure --json, seq and time (UTC)\n"
     "A faulty answer is a lost frame (seq skips it); a lost sensor is tried again, ever less\n"
     "often, and is online again when it answers. The measurement never waits for the broker:\n"
     "while it is away or slow, frames are not published but counted; the client reconnects by\n"
     "itself and says so on standard error. At --qos 0 a frame counts as published once the\n"
     "broker has acknowledged a later one. Another client that keeps taking our client id\n"
     "makes publish give way (exit 17).\n"},
    {"gateway", [](const Args& a) { return CmdGateway(a, SetOption); }, "broker group node ports scan every json-topics username password-file cafile state-dir config primary-host",
     "--broker HOST[:PORT][,...] [--group ID] [--node ID] [--ports LIST|--scan]\n"
     "          [--every N] [--json-topics] [--username NAME --password-file FILE]\n"
     "          [--cafile FILE] [--primary-host ID] [--state-dir DIR] [--config FILE]",
     "Every sensor of this computer on the broker as a Sparkplug B edge node: the node\n"
     "spBv1.0/GROUP/NBIRTH/NODE, each sensor a device (its ID the port's stable name) with a\n"
     "birth certificate of its identity, its RAM parameters and its measurement metrics, then\n"
     "a DDATA message per frame (every N-th with --every) with the values that changed, and a\n"
     "DDEATH when it is lost. Each port has a process of its own that keeps its line's pace;\n"
     "a port without a sensor is tried again after 1 s, backing off up to 30 s, and at once\n"
     "when its device appears; a port in use is left alone, and --scan leaves out the built-in\n"
     "ports (/dev/ttyS*). The births of a session wait (at most 5 s) for the sensors of the\n"
     "ports present, and with --primary-host for its STATE to say online; its offline STATE\n"
     "ends the session (NDEATH) for the next broker of --broker's list. Settings from --config\n"
     "FILE, by default /etc/kryta/gateway.conf when it exists. Runs until SIGTERM or Ctrl-C\n"
     "(exit 0): NDEATH, every port closed.\n"},
    {"gateway-line", CmdGatewayLine, "port every", "", nullptr},  // the gateway's own, not shown
    {"report", CmdReport, "port output force json samples reference tolerance part uncertainty station operator",
     "-o FILE.pdf [--samples N] [--reference UM --tolerance UM]\n"
     "          [--part ID] [--uncertainty UM] [--station TEXT] [--operator NAME] [--force] [--json]",
     "A commissioning record of the sensor, as one PDF: connects as info does (an unidentified\n"
     "sensor is refused), then reads its identity, both memories as a confirmed backup reads them\n"
     "(side by side, differing rows marked, a SHA-256 of each), the video signal with the edges\n"
     "of a measurement frame and the trigger buffer, and N measurement frames at the line's pace\n"
     "(run chart, histogram, mean, standard deviation, minimum, maximum, range, share inside the\n"
     "tolerance window). With --reference and --tolerance (the reference part's value xm and the\n"
     "tolerance T of its characteristic, in um), the type-1 gauge study: bias, Cg = 0.2 T / 6 s,\n"
     "Cgk = (0.1 T - |mean - xm|) / 3 s and the resolution as a share of T (%RE, the coarser of\n"
     "the calibration factor and the step the values move in), at least 25 frames; capable only\n"
     "when Cg and Cgk are at least 1.33 and %RE is at most 5 %, else not capable with every rule\n"
     "that fails, or cannot be assessed (s = 0) with the reason.\n"
     "--json: the same record as one JSON object on standard output. The PDF appears whole or\n"
     "not at all; an existing file is replaced only with --force. Nothing is written into the\n"
     "sensor.\n"},
};

const Command* FindCommand(const std::string& name) {
    for (const Command& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

// An option a command once took for something else: the command refuses it and names what to say.
struct MovedOption {
    const char* command;
    const char* option;  // its long name
    const char* instead;
};
const MovedOption kMovedOptions[] = {
    {"send", "force", "send writes no file; a set of another firmware variant or CCD family is sent with --other-variant"},
};

// ---- help topics: kryta-lt help TOPIC, beside the commands ----
std::string FilesHelp() {
    return "The parameter file (get -o FILE.cfg writes it, send and compare read it, and the\n"
           "window's FILE target saves and loads the same) is plain text: 30 lines of one number\n"
           "each, 0 to 65535, right-aligned in 6 characters, each line ending with CR LF. Lines 1\n"
           "to 15 are the sensor's main parameter frame, whose parameters depend on the sensor's\n"
           "firmware variant (kryta-lt info tells it); lines 16 to 30 are the extension frame. The\n"
           "file does not say which variant it came from; its companion FILE.cfg.json does. get\n"
           "shows each parameter with its line, by the name its page gives it.\n\n" +
           ParameterFileTable() +
           "\nA line holds its parameter's value as get shows it, but for FACTOR and OFFSET: each is\n"
           "one 32-bit number on two lines, its low 16 bits first. FACTOR, the calibration factor\n"
           "in um/pixel, is stored multiplied by " + FactorMultipliers() + ", so that\n"
           "a factor of 1.0 is that number on line 27 and 0 on line 28. OFFSET, in um, has a sign:\n"
           "-1 is 65535 on lines 29 and 30. RESERVED-1 to RESERVED-10 and SPARE are set on no\n"
           "page; send writes them as the file holds them.\n";
}

struct Topic {
    const char* name;
    const char* what;  // "of NAME" in the help's line on --help
    std::string (*text)();
};
const Topic kTopics[] = {
    {"files", "the parameter file's lines", FilesHelp},
};

const Topic* FindTopic(const std::string& name) {
    for (const Topic& t : kTopics)
        if (name == t.name) return &t;
    return nullptr;
}

std::string LongName(const Option& o) {
    const std::string n = o.names;
    const auto comma = n.find(',');
    return comma == std::string::npos ? n : n.substr(comma + 1);
}

bool Takes(const Command& c, const Option& o) {
    return (" " + std::string(c.options) + " ").find(" " + LongName(o) + " ") != std::string::npos;
}

// "  -p, --port PORT     first line\n                      next line\n"
std::string OptionHelp(const std::string& names, const char* valueName, const std::string& help) {
    std::string head = "  ";
    const auto comma = names.find(',');
    head += comma == std::string::npos ? "--" + names : "-" + names.substr(0, comma) + ", --" + names.substr(comma + 1);
    if (valueName) head += std::string(" ") + valueName;
    const std::string indent(22, ' ');
    head = head.size() < indent.size() - 1 ? head + std::string(indent.size() - head.size(), ' ') : head + "\n" + indent;
    std::string out = head;
    for (char ch : help) out += ch == '\n' ? "\n" + indent : std::string(1, ch);
    return out + "\n";
}

void GeneralHelp() {
    std::printf("Usage: kryta-lt [-p PORT] COMMAND [options]\n"
                "A KRYTA-LT laser line sensor from the command line: back up, restore, compare and\n"
                "record. Results on standard output, errors on standard error.\n\nCommands:\n");
    for (const Command& c : kCommands)
        if (c.help) std::printf("  %s %s\n", c.name, c.usage);
    std::string helpHelp = "this help; kryta-lt help COMMAND tells more of a command";
    for (const Topic& t : kTopics) helpHelp += ",\nkryta-lt help " + std::string(t.name) + " of " + t.what;
    std::printf("\nOptions:\n%s%s%s", OptionHelp(kOptions[0].names, kOptions[0].valueName, kOptions[0].help).c_str(),
                OptionHelp("h,help", nullptr, helpHelp).c_str(),
                OptionHelp("version", nullptr, "the program's version").c_str());
    std::printf("\n%s", kExitCodeTable);
}

void CommandHelp(const Command& c) {
    const bool port = (" " + std::string(c.options) + " ").find(" port ") != std::string::npos;
    std::printf("Usage: kryta-lt %s%s %s\n%s", port ? "[-p PORT] " : "", c.name, c.usage, c.help ? c.help : "");
    std::string options;
    for (const Option& o : kOptions)
        if (Takes(c, o)) options += OptionHelp(o.names, o.valueName, o.help);
    if (!options.empty()) std::printf("\nOptions:\n%s", options.c_str());
    std::printf("\nExit codes: see kryta-lt help\n");
}

enum class Parsed { Run, Done, Wrong };

// Reads the command line into `a`. Run: a command to run; Done: help or the version was
// printed; Wrong: the reason is printed (exit 2).
Parsed Parse(int argc, char** argv, Args& a, const Command*& command) {
    command = nullptr;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    std::vector<QCommandLineOption> options;
    for (const Option& o : kOptions) {
        const QStringList names = QString::fromLatin1(o.names).split(',');
        options.push_back(o.valueName ? QCommandLineOption(names, "", o.valueName) : QCommandLineOption(names));
        parser.addOption(options.back());
    }
    const QCommandLineOption help(QStringList{"h", "help"}), version(QStringList{"version"});
    parser.addOption(help);
    parser.addOption(version);
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    auto wrong = [](const std::string& text) {
        Fail(kExitUsage, text);
        return Parsed::Wrong;
    };
    if (!parser.parse(arguments)) {
        // the help of the command the line names, if it names one
        std::string see = "kryta-lt help";
        for (int i = 1; i < argc; ++i)
            if (const Command* c = FindCommand(argv[i]); c && c->help) {
                see += std::string(" ") + c->name;
                break;
            }
        return wrong(AsMessage(parser.errorText().toStdString()) + " (see " + see + ")");
    }
    if (parser.isSet(version)) {
        std::printf("kryta-lt %s\n", szSoftVersion.substr(szSoftVersion.find(' ') + 1).c_str());
        return Parsed::Done;
    }
    QStringList positional = parser.positionalArguments();
    const bool helpCommand = !positional.isEmpty() && positional.first() == "help";
    if (helpCommand) positional.removeFirst();
    if (!positional.isEmpty()) {
        const std::string name = positional.first().toStdString();
        if (const Topic* t = helpCommand ? FindTopic(name) : nullptr) {
            std::printf("%s", t->text().c_str());
            return Parsed::Done;
        }
        command = FindCommand(name);
        if (!command) return wrong(std::string(helpCommand ? "no command or topic '" : "no command '") + name + "' (see kryta-lt help)");
        positional.removeFirst();
    }
    if (helpCommand || parser.isSet(help)) {
        if (command) CommandHelp(*command);
        else GeneralHelp();
        return Parsed::Done;
    }
    if (!command) return wrong("say a command (see kryta-lt help)");
    for (const QString& p : positional) a.positional.push_back(p.toStdString());
    for (size_t k = 0; k < options.size(); ++k) {
        const Option& o = kOptions[k];
        if (!parser.isSet(options[k])) continue;
        const std::string shown = (o.names[1] == ',' ? std::string("-") + o.names[0] : "--" + LongName(o));
        if (!Takes(*command, o)) {
            std::string instead;
            for (const MovedOption& m : kMovedOptions)
                if (m.command == std::string(command->name) && m.option == LongName(o)) instead = std::string(": ") + m.instead;
            return wrong(std::string(command->name) + " takes no " + shown + instead + " (see kryta-lt help " +
                         command->name + ")");
        }
        const QStringList values = parser.values(options[k]);
        if (o.valueName && values.size() > 1) return wrong(shown + " given more than once");
        const std::string why = o.take(a, o.valueName ? values.first().toStdString() : "");
        if (!why.empty()) return wrong(why);
        a.given.push_back(LongName(o));
    }
    return Parsed::Run;
}

// The option `longName` set from a configuration file's value (see OptionSetter).
std::string SetOption(Args& a, const std::string& longName, const std::string& value, bool& known) {
    known = false;
    for (const Option& o : kOptions) {
        if (LongName(o) != longName) continue;
        known = true;
        if (o.valueName) return value.empty() ? longName + " needs a value" : o.take(a, value);
        if (value == "false") return "";
        return value == "true" ? o.take(a, value) : longName + " is true or false";
    }
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    // A closed standard descriptor is held by a stand-in, so that no port or file opened later takes
    // its number: output meant for the terminal never reaches the sensor's line. Standard output
    // held so fails its writes, and the command says so.
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            const int held = open("/dev/null", fd == STDERR_FILENO ? O_WRONLY : O_RDONLY);
            if (held >= 0 && held != fd) dup2(held, fd), close(held);
        }
    SetStartValues();
    Args args;
    const Command* command = nullptr;
    const Parsed parsed = Parse(argc, argv, args, command);
    if (parsed == Parsed::Done) return OutputFailed() ? kExitOutput : kExitOk;
    if (parsed == Parsed::Wrong) return kExitUsage;
    args.command = command->name;

    InitCoreRuntime(argc, argv);
    std::setlocale(LC_NUMERIC, "C");  // a point as decimal separator in every number written
    OnInterruption(StopWork);
    SetStartValues();
    int code = command->run(args);
    SettleLine();  // an answer still on its way is not left to the next program on the port
    CloseLine();
    // a result that did not reach standard output is no result
    if (OutputFailed() && (code == kExitOk || code == kExitDiffer)) code = kExitOutput;
    return code;
}
