// kryta-lt gateway as a process, between paced simulated sensors (reached through links in the
// test's folder, as /dev/serial/by-id links reach adapters) and a mosquitto broker that the tests
// start on a free port of 127.0.0.1. A subscriber writes every message; the tests decode them with
// the generated Sparkplug B code.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <sstream>

#include <QJsonDocument>
#include <QJsonObject>

#include "plant/sparkplug_b.pb.h"
#include "files/files_test_util.h"
#include "platform/utility.h"
#include "sim/sensor_sim.h"
#include "support/processes.h"

namespace sp = kryta::sparkplug;

namespace {

struct Message {
    double t;                  // when the subscriber had it
    std::string type, device;  // NBIRTH, DDATA, ...; the device ID or ""
    sp::Payload p;
    int64_t Metric(const std::string& name) const {
        for (const auto& m : p.metrics())
            if (m.name() == name) return m.has_long_value() ? int64_t(m.long_value()) : int64_t(m.int_value());
        return -1;
    }
};

class GatewayTest : public ::testing::Test {
protected:
    std::string dir = getenv("TMPDIR");
    int port = FreePort();
    pid_t broker = -1, gateway = -1;
    std::vector<pid_t> subscribers;
    std::map<std::string, std::unique_ptr<sim::Simulator>> sensors;  // by link name

    void SetUp() override {
        WriteBytes(dir + "/broker.conf", "listener " + std::to_string(port) + " 127.0.0.1\nallow_anonymous true\npersistence false\n");
        StartBroker();
    }
    void TearDown() override {
        if (gateway > 0) kill(gateway, SIGKILL), Exit(gateway);
        for (pid_t p : subscribers) kill(p, SIGTERM), Exit(p);
        if (broker > 0) kill(broker, SIGTERM), Exit(broker);
    }
    void StartBroker() {
        broker = Spawn({"mosquitto", "-c", dir + "/broker.conf"}, dir + "/broker.log");
        for (int i = 0; i < 200 && ReadBytes(dir + "/broker.log").find("running") == std::string::npos; ++i) Delay(0.02);
    }
    std::string Subscribe(const std::string& name) {
        subscribers.push_back(Spawn({"mosquitto_sub", "-h", "127.0.0.1", "-p", std::to_string(port), "-t", "spBv1.0/#", "-F", "%U %t %x"},
                                    dir + "/" + name));
        Delay(0.3);
        return dir + "/" + name;
    }
    // A sensor plugged in: a simulator and the link to it.
    void Plug(const std::string& link, const char* model, double left, double right) {
        auto s = std::make_unique<sim::Simulator>(model, true);
        ASSERT_TRUE(s->Start());
        s->SetObject(left, right, false);
        unlink((dir + "/" + link).c_str());
        ASSERT_EQ(symlink(s->DevicePath().c_str(), (dir + "/" + link).c_str()), 0);
        sensors[link] = std::move(s);
    }
    void Unplug(const std::string& link) {
        sensors[link]->Unplug();
        unlink((dir + "/" + link).c_str());
    }
    void StartGateway(std::vector<std::string> options) {
        options.insert(options.begin(), {"gateway", "--broker", "127.0.0.1:" + std::to_string(port), "--state-dir", dir + "/state"});
        gateway = StartKrytaLt(options, dir + "/gateway.log");
    }
    static std::vector<Message> Messages(const std::string& file) {
        std::vector<Message> out;
        std::istringstream in(ReadBytes(file));
        for (std::string t, topic, hex; in >> t >> topic;) {
            std::getline(in, hex);
            if (in.eof()) break;  // the subscriber is still writing this line
            Message m{std::stod(t), "", "", {}};
            std::vector<std::string> level;
            std::istringstream parts(topic);
            for (std::string l; std::getline(parts, l, '/');) level.push_back(l);
            if (level.at(1) == "STATE") continue;  // the Primary Host's, JSON
            m.type = level.at(2);
            m.device = level.size() > 4 ? level[4] : "";
            std::string bytes;
            for (size_t i = 1; i + 1 < hex.size(); i += 2) bytes += char(std::stoi(hex.substr(i, 2), nullptr, 16));
            EXPECT_TRUE(m.p.ParseFromString(bytes)) << topic;
            out.push_back(m);
        }
        return out;
    }
    static size_t Count(const std::vector<Message>& ms, const std::string& type, const std::string& device = "") {
        return size_t(std::count_if(ms.begin(), ms.end(), [&](const Message& m) { return m.type == type && m.device == device; }));
    }
    // Until `file` holds `n` messages of the type (and device); false after `seconds`.
    bool WaitFor(const std::string& file, const std::string& type, const std::string& device, size_t n, double seconds) {
        for (const double end = Timer() + seconds; Timer() < end; Delay(0.05))
            if (Count(Messages(file), type, device) >= n) return true;
        return false;
    }
    static const Message& Last(const std::vector<Message>& ms, const std::string& type, const std::string& device = "") {
        for (auto it = ms.rbegin(); it != ms.rend(); ++it)
            if (it->type == type && it->device == device) return *it;
        throw std::runtime_error("no " + type);
    }
    // From each NBIRTH on, seq rises by one with every message but NDEATH, 255 followed by 0.
    static void ExpectSequence(const std::vector<Message>& ms) {
        ASSERT_FALSE(ms.empty());
        EXPECT_EQ(ms.front().type, "NBIRTH");
        int64_t last = -1;
        for (const Message& m : ms) {
            if (m.type == "NCMD") continue;  // the test's own
            if (m.type == "NDEATH") {
                EXPECT_FALSE(m.p.has_seq());
                continue;
            }
            ASSERT_TRUE(m.p.has_seq()) << m.type;
            if (m.type == "NBIRTH") EXPECT_EQ(m.p.seq(), 0u);
            else EXPECT_EQ(int64_t(m.p.seq()), (last + 1) % 256) << m.type << " " << m.device;
            last = int64_t(m.p.seq());
        }
    }
    void Rebirth() {
        sp::Payload p;
        auto* m = p.add_metrics();
        m->set_name("Node Control/Rebirth");
        m->set_datatype(sp::Boolean);
        m->set_boolean_value(true);
        WriteBytes(dir + "/rebirth", p.SerializeAsString());
        EXPECT_EQ(Exit(Spawn({"mosquitto_pub", "-h", "127.0.0.1", "-p", std::to_string(port), "-t", "spBv1.0/kryta/NCMD/line3",
                              "-f", dir + "/rebirth"}, dir + "/pub.log")), 0);
    }
};

// Two sensors on the ports given: the births declare every metric with its datatype and the
// values the sensor holds; DDATA carries each frame in order; a sensor unplugged gets its DDEATH
// at once while the other's data goes on, and a new DBIRTH when it is back; a rebirth, a broker
// restart and a gateway killed and started again each give the births and bdSeq they must.
TEST_F(GatewayTest, SessionsBirthsDataAndDeaths) {
    Plug("s1", "M01", 1000, 2000);
    Plug("s2", "M19", 300, 700);
    ASSERT_EQ(Exit(StartKrytaLt({"-p", dir + "/s1", "get", "ram", "--json"}, dir + "/s1.json")), 0);
    std::string sub = Subscribe("sub1");
    StartGateway({"--node", "line3", "--ports", dir + "/s1," + dir + "/s2"});
    ASSERT_TRUE(WaitFor(sub, "DDATA", "s2", 160, 20) && WaitFor(sub, "DDATA", "s1", 160, 5)) << ReadBytes(dir + "/gateway.log");
    auto ms = Messages(sub);
    ExpectSequence(ms);  // more than 256 messages: the wrap is among them
    // births in order: the NBIRTH counts both sensors, their DBIRTHs follow it, then data
    ASSERT_GE(ms.size(), 3u);
    EXPECT_EQ(ms[0].Metric("Properties/Sensors"), 2);
    EXPECT_EQ(ms[1].type + ms[2].type, "DBIRTHDBIRTH");
    EXPECT_EQ(Count(ms, "NDATA"), 0u);
    const int64_t bdSeq = ms.front().Metric("bdSeq");
    EXPECT_EQ(ReadBytes(dir + "/state/sparkplug-kryta-line3.bdseq"), std::to_string(bdSeq) + "\n");
    // every metric of a birth with its datatype and a value; the parameters those of get ram
    const Message& birth = Last(ms, "DBIRTH", "s1");
    const QJsonObject get = QJsonDocument::fromJson(QByteArray::fromStdString(ReadBytes(dir + "/s1.json"))).object()["parameters"].toObject();
    std::map<std::string, const sp::Payload::Metric*> byName;
    for (const auto& m : birth.p.metrics()) {
        EXPECT_TRUE(m.has_datatype() && m.has_timestamp() && (m.is_null() || m.value_case() != m.VALUE_NOT_SET)) << m.name();
        byName[m.name()] = &m;
    }
    for (auto it = get.begin(); it != get.end(); ++it) {
        const auto* m = byName["Parameters/" + it.key().toStdString()];
        ASSERT_NE(m, nullptr) << it.key().toStdString();
        const double v = m->datatype() == sp::Double ? m->double_value() : m->datatype() == sp::Int32 ? int32_t(m->int_value()) : m->int_value();
        EXPECT_EQ(v, it.value().toObject()["value"].toDouble()) << it.key().toStdString();
        const std::string unit = it.value().toObject()["unit"].toString().toStdString();
        EXPECT_EQ(m->has_properties() ? m->properties().values(0).string_value() : "", unit) << it.key().toStdString();
    }
    EXPECT_EQ(byName["Identity/Designation"]->string_value(), "KRYTA-M01");
    EXPECT_EQ(Last(ms, "DBIRTH", "s2").p.metrics(1).string_value(), "KRYTA-M19");
    EXPECT_EQ(byName["Measurement/Left Edge"]->datatype(), sp::UInt16);
    // DDATA by alias: the object's edges, and each frame once, in order (the sensor's own counter);
    // a frame the line rode over (its answer disturbed) is counted as missed instead
    std::map<uint64_t, std::string> alias;
    for (const auto& m : birth.p.metrics())
        if (m.has_alias()) alias[m.alias()] = m.name();
    std::map<std::string, int64_t> now;
    int64_t frames = 0;
    for (const Message& m : ms) {
        if (m.type != "DDATA" || m.device != "s1") continue;
        std::map<std::string, int64_t> before = now;
        for (const auto& v : m.p.metrics()) {
            EXPECT_FALSE(v.has_name() || v.has_datatype());
            now[alias.at(v.alias())] = int64_t(v.int_value() ? v.int_value() : v.long_value());
        }
        if (frames++ == 0) continue;
        const int64_t step = 1 + now["Line/Frames Missed"] - before["Line/Frames Missed"];
        EXPECT_EQ(now["Line/Frame"], before["Line/Frame"] + step);
        EXPECT_EQ(now["Measurement/Frame Word 15"], (before["Measurement/Frame Word 15"] + step) % 65536);
    }
    EXPECT_EQ(now["Measurement/Left Edge"], 1000);
    EXPECT_EQ(now["Measurement/Right Edge"], 2000);

    // s1 unplugged: DDEATH within 3 s; s2's data never pauses; s1 back: its new DBIRTH
    const double unplugged = Timer();
    Unplug("s1");
    ASSERT_TRUE(WaitFor(sub, "DDEATH", "s1", 1, 3)) << ReadBytes(dir + "/gateway.log");
    EXPECT_LT(Timer() - unplugged, 3.0);
    Delay(1.0);
    Plug("s1", "M03", 1500, 2500);
    ASSERT_TRUE(WaitFor(sub, "DBIRTH", "s1", 2, 5)) << ReadBytes(dir + "/gateway.log");
    ms = Messages(sub);
    EXPECT_EQ(Last(ms, "DBIRTH", "s1").Metric("Identity/Hardware Code"), 55);  // the new sensor
    double previous = 0;
    for (const Message& m : ms) {
        if (m.type != "DDATA" || m.device != "s2") continue;
        EXPECT_LT(m.t - (previous ? previous : m.t), 0.5);
        previous = m.t;
    }

    // a rebirth: NBIRTH (seq 0, the same bdSeq) and both DBIRTHs again
    Rebirth();
    ASSERT_TRUE(WaitFor(sub, "NBIRTH", "", 2, 5) && WaitFor(sub, "DBIRTH", "s2", 2, 2));
    EXPECT_EQ(Last(Messages(sub), "NBIRTH").Metric("bdSeq"), bdSeq);
    EXPECT_GE(Count(Messages(sub), "DBIRTH", "s1"), 3u);
    ExpectSequence(Messages(sub));

    // the broker restarted: a new session with bdSeq + 1 and all births
    kill(broker, SIGTERM), Exit(broker);
    StartBroker();
    sub = Subscribe("sub2");
    ASSERT_TRUE(WaitFor(sub, "DBIRTH", "s1", 1, 40) && WaitFor(sub, "DBIRTH", "s2", 1, 2)) << ReadBytes(dir + "/gateway.log");
    ASSERT_TRUE(WaitFor(sub, "DDATA", "s2", 5, 5));
    ms = Messages(sub);
    EXPECT_EQ(ms.front().Metric("bdSeq"), (bdSeq + 1) % 256);
    ExpectSequence(ms);

    // killed: the broker gives the Will, NDEATH with that bdSeq; started again: bdSeq + 2
    kill(gateway, SIGKILL), Exit(gateway);
    ASSERT_TRUE(WaitFor(sub, "NDEATH", "", 1, 3));
    EXPECT_EQ(Last(Messages(sub), "NDEATH").Metric("bdSeq"), (bdSeq + 1) % 256);
    StartGateway({"--node", "line3", "--ports", dir + "/s1," + dir + "/s2"});
    ASSERT_TRUE(WaitFor(sub, "NBIRTH", "", 2, 10));
    EXPECT_EQ(Last(Messages(sub), "NBIRTH").Metric("bdSeq"), (bdSeq + 2) % 256);
}

// --scan: a sensor whose link appears while the gateway runs has its DBIRTH within 5 s, and its
// JSON topics; one that another program holds is left alone; SIGTERM ends the gateway with exit 0
// after NDEATH.
TEST_F(GatewayTest, ScanFindsASensorPluggedInLater) {
    setenv("KRYTA_COM7", (dir + "/late").c_str(), 1);
    setenv("KRYTA_COM8", (dir + "/held").c_str(), 1);
    Plug("held", "M01", 1000, 2000);
    const pid_t holder = StartKrytaLt({"-p", dir + "/held", "measure", "-n", "0"}, "/dev/null");
    Delay(1.0);
    const std::string sub = Subscribe("sub");
    subscribers.push_back(Spawn({"mosquitto_sub", "-h", "127.0.0.1", "-p", std::to_string(port), "-t", "kryta/#", "-v"}, dir + "/json"));
    StartGateway({"--scan", "--json-topics", "--node", "n1"});
    ASSERT_TRUE(WaitFor(sub, "NBIRTH", "", 1, 5));
    Delay(1.0);
    Plug("late", "M01", 1000, 2000);
    const double plugged = Timer();
    ASSERT_TRUE(WaitFor(sub, "DBIRTH", "late", 1, 5)) << ReadBytes(dir + "/gateway.log");
    EXPECT_LT(Timer() - plugged, 5.0);
    ASSERT_TRUE(WaitFor(sub, "DDATA", "late", 3, 3));
    sim::FaultSpec silent;  // one measurement answer left out: ridden over, and told
    silent.kind = sim::Fault::Silent;
    silent.command = 8;
    silent.times = 1;
    sensors["late"]->SetFault(silent);
    for (int i = 0; i < 100 && ReadBytes(dir + "/gateway.log").find("late (late): 1 frame lost") == std::string::npos; ++i) Delay(0.05);
    EXPECT_EQ(Count(Messages(sub), "DBIRTH", "held"), 0u);
    const std::vector<sim::Request> heldRequests = sensors["held"]->Requests();
    kill(holder, SIGTERM), Exit(holder);
    const std::string json = ReadBytes(dir + "/json");
    EXPECT_NE(json.find("kryta/n1/late/status online\nkryta/n1/late/identity {\"ccd_family\":1,\"designation\":\"KRYTA-M01\""),
              std::string::npos) << json;
    EXPECT_NE(json.find("kryta/n1/late/measurement {\"analog_output_max\""), std::string::npos) << json;
    kill(gateway, SIGTERM);
    EXPECT_EQ(Exit(gateway), 0) << ReadBytes(dir + "/gateway.log");
    gateway = -1;
    ASSERT_TRUE(WaitFor(sub, "NDEATH", "", 1, 2));
    const std::string log = ReadBytes(dir + "/gateway.log");
    EXPECT_NE(log.find("gateway ends: NDEATH published, "), std::string::npos) << log;
    EXPECT_NE(log.find("late): sensor found: KRYTA-M01"), std::string::npos) << log;
    EXPECT_NE(log.find("late (late): 1 frame lost, number "), std::string::npos) << log;
    EXPECT_NE(log.find(": no answer to the measurement request within 1.5 s\n"), std::string::npos) << log;
    const std::string held = "held: in use by kryta-lt (pid " + std::to_string(holder) + "): left alone";
    EXPECT_NE(log.find(held), std::string::npos) << log;
    EXPECT_EQ(log.find(held), log.rfind(held)) << "said once";
    EXPECT_EQ(std::count_if(heldRequests.begin(), heldRequests.end(), [](const sim::Request& r) { return r.word(1) == 5; }),
              1) << "the holder's echo check alone";
    unsetenv("KRYTA_COM7"), unsetenv("KRYTA_COM8");
}

// A configuration file's faults are refused with the file, the line, the key and the reason, and
// a name for the reason that applies; an option on the command line wins over the file's.
TEST_F(GatewayTest, ConfigurationFile) {
    const std::string conf = dir + "/gateway.conf";
    const struct {
        std::string text, option, message;
    } cases[] = {
        {"# the plant\n\nbroker = 127.0.0.1\nbrokr = x\n", "", "line 4: no setting 'brokr'"},
        {"broker = 127.0.0.1\nports =\n", "", "line 2: ports needs a value"},
        {"scan = maybe\n", "", "line 1: scan is true or false"},
        {"every = 0\n", "", "line 1: every needs a whole number, 1 or more"},
        {"broker 127.0.0.1\n", "", "line 1: not 'key = value'"},
        {"every = 0\nbroker = 127.0.0.1\n", "--every", "say --ports LIST or --scan, or set ports = LIST or scan = true in " + conf},
        {"scan = true\n", "", "say --broker HOST[:PORT], or set broker = HOST:PORT in " + conf},
        {"scan = true\nbroker = 127.0.0.1:1883, 127.0.0.1:99999\n", "",
         "line 2: broker '127.0.0.1:99999' is not HOST[:PORT] with a port of 1 to 65535"},
        {"scan = true\nbroker = h\nnode = a/b\n", "", "line 3: node 'a/b': it holds '/', which no Sparkplug ID may"},
        {"scan = true\nbroker = h\ngroup = line\xff\n", "", "line 3: it is not valid UTF-8 (character 13)"},
        {"scan = true\nbroker = h\n", "--group", "--group: its topics would be up to 70"},
        {std::string("\x7f" "ELF\x02\0\0\n", 8), "", "line 1: a NUL byte: not a file of settings"},
    };
    for (const auto& c : cases) {
        WriteBytes(conf, c.text);
        std::vector<std::string> args = {"gateway", "--config", conf};
        if (c.option == "--every") args.insert(args.end(), {"--every", "2"});
        if (c.option == "--group") args.insert(args.end(), {"--group", std::string(70000, 'g')});
        EXPECT_EQ(Exit(StartKrytaLt(args, dir + "/err")), 2) << c.text;
        EXPECT_NE(ReadBytes(dir + "/err").find(c.message), std::string::npos) << ReadBytes(dir + "/err");
    }
    EXPECT_EQ(Exit(StartKrytaLt({"gateway", "--config", dir}, dir + "/err")), 2);
    EXPECT_NE(ReadBytes(dir + "/err").find("the configuration file " + dir + " is a folder"), std::string::npos) << ReadBytes(dir + "/err");
}

// With a Primary Host: nothing is born until its STATE says online; a stale offline STATE is
// ignored, a valid one ends the session (NDEATH) and the gateway goes to the next broker, whose
// births wait for the host there; Node Control/Next Server moves it on too, and where the host is
// offline it moves on again. A state file that holds no number is told, and bdSeq starts at 0.
TEST_F(GatewayTest, PrimaryHostAndTwoBrokers) {
    const int port2 = FreePort();
    WriteBytes(dir + "/broker2.conf", "listener " + std::to_string(port2) + " 127.0.0.1\nallow_anonymous true\npersistence false\n");
    const pid_t broker2 = Spawn({"mosquitto", "-c", dir + "/broker2.conf"}, dir + "/broker2.log");
    for (int i = 0; i < 200 && ReadBytes(dir + "/broker2.log").find("running") == std::string::npos; ++i) Delay(0.02);
    auto publish = [&](int at, const std::string& topic, const std::string& payload, bool retain) {
        std::vector<std::string> args = {"mosquitto_pub", "-h", "127.0.0.1", "-p", std::to_string(at), "-q", "1", "-t", topic, "-m", payload};
        if (retain) args.push_back("-r");
        EXPECT_EQ(Exit(Spawn(args, dir + "/pub.log")), 0);
    };
    auto state = [&](int at, bool online, long long timestamp) {
        publish(at, "spBv1.0/STATE/scada1", std::string("{\"online\":") + (online ? "true" : "false") + ",\"timestamp\":" +
                                                std::to_string(timestamp) + "}", true);
    };
    Plug("s1", "M01", 1000, 2000);
    const std::string sub = Subscribe("sub1");
    subscribers.push_back(Spawn({"mosquitto_sub", "-h", "127.0.0.1", "-p", std::to_string(port2), "-t", "spBv1.0/#", "-F", "%U %t %x"},
                                dir + "/sub2"));
    const std::string sub2 = dir + "/sub2";
    std::filesystem::create_directories(dir + "/state");
    WriteBytes(dir + "/state/sparkplug-kryta-line3.bdseq", "seven\n");
    gateway = StartKrytaLt({"gateway", "--broker", "127.0.0.1:" + std::to_string(port) + ",127.0.0.1:" + std::to_string(port2),
                     "--state-dir", dir + "/state", "--node", "line3", "--ports", dir + "/s1", "--primary-host", "scada1"},
                    dir + "/gateway.log");
    for (int i = 0; i < 200 && ReadBytes(dir + "/gateway.log").find("sensor found") == std::string::npos; ++i) Delay(0.05);
    Delay(0.5);
    EXPECT_EQ(Messages(sub).size(), 0u) << ReadBytes(dir + "/gateway.log");
    state(port, true, 1000);
    ASSERT_TRUE(WaitFor(sub, "DBIRTH", "s1", 1, 5)) << ReadBytes(dir + "/gateway.log");
    const Message birth = Last(Messages(sub), "NBIRTH");
    EXPECT_EQ(birth.Metric("bdSeq"), 0);
    EXPECT_EQ(birth.Metric("Node Control/Next Server"), 0);
    state(port, false, 900);  // older than the online one: a Will that came late
    Delay(1.0);
    EXPECT_EQ(Count(Messages(sub), "NDEATH"), 0u);
    state(port, false, 2000);
    ASSERT_TRUE(WaitFor(sub, "NDEATH", "", 1, 5)) << ReadBytes(dir + "/gateway.log");
    EXPECT_EQ(Last(Messages(sub), "NDEATH").Metric("bdSeq"), 0);
    Delay(1.0);
    EXPECT_EQ(Count(Messages(sub2), "NBIRTH"), 0u);
    state(port2, true, 3000);
    ASSERT_TRUE(WaitFor(sub2, "DBIRTH", "s1", 1, 5)) << ReadBytes(dir + "/gateway.log");
    EXPECT_EQ(Last(Messages(sub2), "NBIRTH").Metric("bdSeq"), 1);

    // asked for the next server: to the first broker, where the host is offline, and back
    sp::Payload next;
    auto* m = next.add_metrics();
    m->set_name("Node Control/Next Server");
    m->set_datatype(sp::Boolean);
    m->set_boolean_value(true);
    WriteBytes(dir + "/next", next.SerializeAsString());
    EXPECT_EQ(Exit(Spawn({"mosquitto_pub", "-h", "127.0.0.1", "-p", std::to_string(port2), "-t", "spBv1.0/kryta/NCMD/line3", "-f",
                          dir + "/next"}, dir + "/pub.log")), 0);
    ASSERT_TRUE(WaitFor(sub2, "NDEATH", "", 1, 5)) << ReadBytes(dir + "/gateway.log");
    ASSERT_TRUE(WaitFor(sub2, "NBIRTH", "", 2, 10)) << ReadBytes(dir + "/gateway.log");
    EXPECT_EQ(Last(Messages(sub2), "NBIRTH").Metric("bdSeq"), 3);  // 2 went with the first broker's connection
    EXPECT_EQ(Count(Messages(sub), "NBIRTH"), 1u);
    const std::string log = ReadBytes(dir + "/gateway.log");
    EXPECT_NE(log.find("sparkplug-kryta-line3.bdseq holds no birth-death sequence number (0 to 255)"), std::string::npos) << log;
    EXPECT_NE(log.find("primary host scada1 is offline: NDEATH published, disconnected from broker"), std::string::npos) << log;
    kill(broker2, SIGTERM), Exit(broker2);
}

}  // namespace
