// The gateway's settings: the options given, the configuration file's under them, every one
// checked before anything starts; the folder of the birth-death sequence number and its last value.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "plant/gateway.h"
#include "platform/rs232.h"

namespace {

const char* const kDefaultConfig = "/etc/kryta/gateway.conf";
const char* const kDefaultStateDir = "/var/lib/kryta";

std::string Trim(const std::string& s) {
    const auto a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

// Where each setting taken from the configuration file stands ("FILE, line N"), by its key.
using Origins = std::map<std::string, std::string>;

// The configuration file into `a`, under what the command line gave. Every refusal names the
// file, the line, the key and the reason.
int ReadConfig(const std::string& path, Args& a, Origins& origins, OptionSetter setOption) {
    static const std::set<std::string> kKeys = {"broker", "group", "node", "ports", "scan", "every", "json-topics",
                                                "username", "password-file", "cafile", "state-dir", "primary-host"};
    const std::string file = "the configuration file " + path;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return Fail(kExitUsage, "cannot read " + file + ": " + std::strerror(errno));
    if (S_ISDIR(st.st_mode)) return Fail(kExitUsage, file + " is a folder, not a file of settings");
    if (!S_ISREG(st.st_mode)) return Fail(kExitUsage, file + " is not a regular file");
    if (st.st_size > (1 << 20)) return Fail(kExitUsage, file + " is too large for settings (" + std::to_string(st.st_size) + " bytes)");
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!in) return Fail(kExitUsage, "cannot read " + file + ": " + std::strerror(errno));
    std::set<std::string> seen;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string at = path + ", line " + std::to_string(number) + ": ";
        if (line.find('\0') != std::string::npos) return Fail(kExitUsage, at + "a NUL byte: not a file of settings");
        const std::string t = Trim(line);
        if (t.empty() || t[0] == '#') continue;
        if (const std::string why = TextProblem(t); !why.empty()) return Fail(kExitUsage, at + why);
        const auto eq = t.find('=');
        if (eq == std::string::npos) return Fail(kExitUsage, at + "not 'key = value'");
        const std::string key = Trim(t.substr(0, eq)), value = Trim(t.substr(eq + 1));
        if (!kKeys.count(key)) return Fail(kExitUsage, at + "no setting '" + key + "'");
        if (!seen.insert(key).second) return Fail(kExitUsage, at + key + " set a second time");
        if (std::find(a.given.begin(), a.given.end(), key) != a.given.end()) continue;  // the command line wins
        bool known = false;
        std::string why = setOption(a, key, value, known);
        if (why.rfind("--" + key, 0) == 0) why.erase(0, 2);  // the option's reason, in the file's words
        if (!why.empty()) return Fail(kExitUsage, at + why);
        origins[key] = path + ", line " + std::to_string(number);
    }
    if (in.bad()) return Fail(kExitUsage, "cannot read " + file + ": " + std::strerror(errno));
    return kExitOk;
}

// How a refusal names a setting: "--key" as given on the command line, "FILE, line N: key" from
// the configuration file.
std::string Named(const Origins& origins, const std::string& key) {
    const auto it = origins.find(key);
    return it == origins.end() ? "--" + key : it->second + ": " + key;
}

// Why `id` cannot be a Sparkplug ID; "" when it can.
std::string IdProblem(const std::string& id) {
    if (id.empty()) return "it is empty";
    if (std::string why = TextProblem(id); !why.empty()) return why;
    if (const auto at = id.find_first_of("+/#"); at != std::string::npos)
        return std::string("it holds '") + id[at] + "', which no Sparkplug ID may";
    return "";
}

bool Writable(const std::string& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return ::access(dir.c_str(), W_OK | X_OK) == 0;
}

// The brokers of --broker, comma-separated.
int ReadBrokers(const Args& a, const Origins& origins, GatewayConfig& c) {
    std::stringstream list(a.broker);
    for (std::string one; std::getline(list, one, ',');) {
        BrokerAddress b;
        if (!ParseBroker(Trim(one), a.cafile.empty() ? 1883 : 8883, b.host, b.port))
            return Fail(kExitUsage, Named(origins, "broker") + " '" + Trim(one) +
                                        "' is not HOST[:PORT] with a port of 1 to 65535 (several: comma-separated)");
        c.brokers.push_back(b);
    }
    return kExitOk;
}

// The group, the node and the Primary Host: IDs that Sparkplug allows, in topics MQTT allows.
int CheckIds(const Args& a, const Origins& origins, GatewayConfig& c) {
    c.group = a.group.empty() ? "kryta" : a.group;
    c.node = a.node.empty() ? SparkplugId(HostName()) : a.node;
    c.primaryHost = a.primaryHost;
    for (const auto& [key, id] : {std::pair<std::string, std::string>{"group", c.group}, {"node", c.node},
                                  {"primary-host", a.primaryHost}}) {
        if (key == "primary-host" && !origins.count(key) && std::find(a.given.begin(), a.given.end(), key) == a.given.end())
            continue;  // none named
        const std::string why = IdProblem(id);
        const bool shown = id.size() <= 80 && why.find("character") == std::string::npos;
        if (!why.empty()) return Fail(kExitUsage, Named(origins, key) + (shown ? " '" + id + "'" : "") + ": " + why);
    }
    // every topic within MQTT's 65535 bytes: spBv1.0/GROUP/DBIRTH/NODE/DEVICE, a device ID of up to 255
    if (const size_t longest = 8 + c.group.size() + 8 + c.node.size() + 1 + 255; longest > 65535)
        return Fail(kExitUsage, Named(origins, c.group.size() >= c.node.size() ? "group" : "node") +
                                    ": its topics would be up to " + std::to_string(longest) + " bytes long, and MQTT allows 65535");
    if (14 + c.primaryHost.size() > 65535)
        return Fail(kExitUsage, Named(origins, "primary-host") + ": its STATE topic would pass the 65535 bytes MQTT allows");
    return kExitOk;
}

// The devices of --ports: device paths, and port numbers for the devices they stand for.
int ReadPorts(const Args& a, const Origins& origins, GatewayConfig& c) {
    std::stringstream list(a.ports);
    for (std::string p; std::getline(list, p, ',');) {
        p = Trim(p);
        if (p.empty()) continue;
        std::string device = p;
        if (p.find_first_not_of("0123456789") == std::string::npos && p.size() <= 6) {
            device = ComDeviceName(std::stoi(p));
            if (device.empty()) return Fail(kExitUsage, Named(origins, "ports") + ": port " + p + " stands for no device");
        }
        c.ports.push_back(device);
    }
    if (c.ports.empty()) return Fail(kExitUsage, Named(origins, "ports") + " names no port");
    return kExitOk;
}

// The birth-death sequence number: the last one used, kept in the state folder; this run's first
// connection takes the next.
int ReadBdSeq(const Args& a, const Origins& origins, GatewayConfig& c) {
    std::string stateDir = a.stateDir;
    if (stateDir.empty()) {
        stateDir = kDefaultStateDir;
        if (!Writable(stateDir)) {
            const char* xdg = std::getenv("XDG_STATE_HOME");
            const char* home = std::getenv("HOME");
            stateDir = xdg && *xdg ? std::string(xdg) + "/kryta" : std::string(home ? home : "/tmp") + "/.local/state/kryta";
            if (!Writable(stateDir)) return Fail(kExitCannotWrite, "no folder to keep the birth-death sequence number in (--state-dir)");
            Log(std::string(kDefaultStateDir) + " cannot be written: the birth-death sequence number is kept in " + stateDir);
        }
    } else if (!Writable(stateDir)) {
        return Fail(kExitCannotWrite, Named(origins, "state-dir") + " " + stateDir + " cannot be written");
    }
    c.stateFile = stateDir + "/sparkplug-" + c.group + "-" + c.node + ".bdseq";
    if (struct stat st {}; ::stat(c.stateFile.c_str(), &st) == 0) {
        std::ifstream in(c.stateFile);
        std::string text;
        if (!in || !std::getline(in, text)) text = "\x01";  // nothing to read
        text = Trim(text);
        const bool number = !text.empty() && text.size() <= 3 && text.find_first_not_of("0123456789") == std::string::npos;
        if (number && std::stoi(text) <= 255) {
            c.bdSeq = (std::stoi(text) + 1) % 256;
        } else {
            Log(c.stateFile + (!in ? " cannot be read (" + std::string(std::strerror(errno)) + ")" : " holds no birth-death sequence number (0 to 255)") +
                ": the sequence starts again at 0");
        }
    }
    return kExitOk;
}

}  // namespace

int ReadGatewayConfig(const Args& given, OptionSetter setOption, GatewayConfig& c) {
    if (!given.positional.empty()) return Fail(kExitUsage, "gateway: no arguments beside its options");
    Args a = given;
    const std::string config = !a.config.empty() ? a.config : (Ports::Present(kDefaultConfig) ? kDefaultConfig : "");
    Origins origins;
    if (!config.empty())
        if (const int code = ReadConfig(config, a, origins, setOption); code != kExitOk) return code;
    // what is missing: the option, and the key of the file when there is one
    auto say = [&](const std::string& option, const std::string& key) {
        return Fail(kExitUsage, "gateway: say " + option + (config.empty() ? "" : ", or set " + key + " in " + config) +
                                    " (see kryta-lt help gateway)");
    };
    if (a.broker.empty()) return say("--broker HOST[:PORT]", "broker = HOST:PORT");
    if (a.ports.empty() == !a.scan) return say("--ports LIST or --scan", "ports = LIST or scan = true");
    if (!a.passwordFile.empty() && a.username.empty())
        return Fail(kExitUsage, Named(origins, "password-file") + " needs a user name (username, --username)");
    if (const int code = ReadBrokers(a, origins, c); code != kExitOk) return code;
    c.a = a;
    if (const int code = CheckIds(a, origins, c); code != kExitOk) return code;
    c.self = std::filesystem::canonical("/proc/self/exe").string();
    if (!a.scan)
        if (const int code = ReadPorts(a, origins, c); code != kExitOk) return code;
    if (const int code = ReadBdSeq(a, origins, c); code != kExitOk) return code;
    if (!a.passwordFile.empty()) {
        std::ifstream in(a.passwordFile);
        if (!in || !std::getline(in, c.password)) return Fail(kExitBrokerRefused, "cannot read the password file " + a.passwordFile);
        if (!c.password.empty() && c.password.back() == '\r') c.password.pop_back();
    }
    return kExitOk;
}
