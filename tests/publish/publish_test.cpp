// kryta-lt publish as a process, between a paced simulated sensor and a mosquitto broker that the
// tests start on a free port of 127.0.0.1 with a configuration of their own.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include <QJsonDocument>
#include <QJsonObject>

#include "files/files_test_util.h"
#include "support/processes.h"
#include "link/com232.h"
#include "platform/utility.h"
#include "sim/sensor_sim.h"

namespace {

QJsonObject Json(const std::string& text) { return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object(); }

class PublishTest : public ::testing::Test {
protected:
    struct {  // the test's TMPDIR: the broker's configuration and password file, what the programs print
        std::string File(const std::string& name) const { return std::string(getenv("TMPDIR")) + "/" + name; }
    } dir;
    int port = FreePort(), securePort = FreePort();  // the second one asks for user name and password
    pid_t broker = -1;
    std::vector<pid_t> subscribers;
    sim::Simulator sensor{"M01", true};

    void SetUp() override {
        ASSERT_TRUE(sensor.Start());
        WriteBytes(dir.File("pw"), "");
        ASSERT_EQ(system(("mosquitto_passwd -b " + dir.File("pw") + " plant secret").c_str()), 0);
        WriteBytes(dir.File("broker.conf"), "per_listener_settings true\nuser " + std::string(getpwuid(getuid())->pw_name) +
                                                "\npersistence false\nlistener " + std::to_string(port) +
                                                " 127.0.0.1\nallow_anonymous true\nlistener " + std::to_string(securePort) +
                                                " 127.0.0.1\nallow_anonymous false\npassword_file " + dir.File("pw") + "\n");
        StartBroker();
    }
    void TearDown() override {
        for (pid_t p : subscribers) kill(p, SIGTERM), Exit(p);
        StopBroker();
    }
    void StartBroker() {
        broker = Spawn({"mosquitto", "-c", dir.File("broker.conf")}, dir.File("broker.log"));
        for (int i = 0; i < 200 && ReadBytes(dir.File("broker.log")).find("running") == std::string::npos; ++i) Delay(0.02);
    }
    void StopBroker() { broker = broker > 0 ? (kill(broker, SIGTERM), Exit(broker), -1) : -1; }
    // A subscriber to t/#: its lines "TOPIC PAYLOAD" go into the file `name`.
    std::string Subscribe(const std::string& name) {
        subscribers.push_back(Spawn({"mosquitto_sub", "-h", "127.0.0.1", "-p", std::to_string(port), "-t", "t/#", "-v", "-k", "300"},
                                    dir.File(name)));
        return dir.File(name);
    }
    pid_t Publish(std::vector<std::string> options, const std::string& err = "stderr", std::string device = "") {
        // publish writes nothing on standard output
        options.insert(options.begin(), {"-p", device.empty() ? sensor.DevicePath() : device, "publish"});
        if (std::find(options.begin(), options.end(), "--topic") == options.end()) options.insert(options.end(), {"--topic", "t/s1"});
        return StartKrytaLt(options, dir.File(err));
    }
    // The closing line: frames measured, lost, to publish, published, not published.
    static std::array<unsigned long long, 5> Summary(const std::string& err) {
        std::array<unsigned long long, 5> n{};
        const auto at = err.rfind("kryta-lt: ");
        EXPECT_EQ(std::sscanf(err.c_str() + (at == std::string::npos ? 0 : at),
                              "kryta-lt: %llu frames measured, %llu lost; of %llu to publish, %llu published, %llu not published",
                              &n[0], &n[1], &n[2], &n[3], &n[4]), 5) << err;
        return n;
    }
    std::vector<std::string> Lines(const std::string& file, const std::string& topic) {
        std::vector<std::string> lines;
        std::istringstream in(ReadBytes(file));
        for (std::string l; std::getline(in, l);)
            if (l.rfind(topic + " ", 0) == 0) lines.push_back(l.substr(topic.size() + 1));
        return lines;
    }
    bool WaitFor(const std::string& file, const std::string& topic, size_t n, double seconds = 10) {
        for (const double end = Timer() + seconds; Timer() < end; Delay(0.05))
            if (Lines(file, topic).size() >= n) return true;
        return false;
    }
    // The sensor's exchanges never paused as a wait for the broker would pause them.
    void ExpectNoPause() {
        std::vector<double> t;
        for (const auto& r : sensor.Requests()) t.push_back(r.time);
        // a wait for the broker would last as long as the broker is away (seconds); a busy computer
        // may hold the program up for a fraction of that
        for (size_t i = 1; i < t.size(); ++i) EXPECT_LT(t[i] - t[i - 1], 2.0) << i;
    }
    // Every message's seq rises (by one when `consecutive`), and the sensor's own scan counter
    // with it: the frames in order, each the sensor's.
    static void ExpectFramesInOrder(const std::vector<std::string>& messages, bool consecutive) {
        for (size_t i = 1; i < messages.size(); ++i) {
            const QJsonObject a = Json(messages[i - 1]), b = Json(messages[i]);
            const qint64 step = b["seq"].toInteger() - a["seq"].toInteger();
            EXPECT_TRUE(consecutive ? step == 1 : step > 0) << messages[i];
            EXPECT_EQ(b["frame_word_15"].toInteger(), (a["frame_word_15"].toInteger() + step) % 65536) << messages[i];
        }
    }
};

}  // namespace

// The retained topics are the info and get objects; every frame comes, in order, with the
// sensor's values; SIGTERM leaves "offline" and exit 0.
TEST_F(PublishTest, RetainedTopicsAndEveryFrameInOrder) {
    sensor.SetObject(1000, 2000, false);
    EXPECT_EQ(Exit(StartKrytaLt({"-p", sensor.DevicePath(), "info", "--json"}, dir.File("identity"))), 0);
    EXPECT_EQ(Exit(StartKrytaLt({"-p", sensor.DevicePath(), "get", "ram", "--json"}, dir.File("parameters"))), 0);
    const std::string sub = Subscribe("sub");
    const pid_t p = Publish({"--broker", "127.0.0.1:" + std::to_string(port)});
    ASSERT_TRUE(WaitFor(sub, "t/s1/measurement", 10));
    kill(p, SIGTERM);
    EXPECT_EQ(Exit(p), 0) << ReadBytes(dir.File("stderr"));
    ASSERT_TRUE(WaitFor(sub, "t/s1/status", 2));
    EXPECT_EQ(Lines(sub, "t/s1/status").front(), "online");
    EXPECT_EQ(Lines(sub, "t/s1/status").back(), "offline");
    const auto frames = Lines(sub, "t/s1/measurement");
    EXPECT_EQ(Json(frames.front())["seq"].toInteger(), 1);
    EXPECT_EQ(Json(frames.front())["left_edge_px"].toInteger(), 1000);
    EXPECT_EQ(Json(frames.back())["right_edge_px"].toInteger(), 2000);
    ExpectFramesInOrder(frames, true);
    for (const std::string topic : {"identity", "parameters"})
        EXPECT_EQ(Json(Lines(sub, "t/s1/" + topic).at(0)), Json(ReadBytes(dir.File(topic)))) << ReadBytes(dir.File(topic));
}

// The broker away for three seconds: the sensor's exchanges go on, the client comes back by itself
// with the retained topics and says how many frames were not published: the frames missing
// between what the subscribers saw before and after. Killed, it leaves the last will.
TEST_F(PublishTest, BrokerAwayAndBack) {
    const std::string before = Subscribe("before");
    const pid_t p = Publish({"--broker", "127.0.0.1:" + std::to_string(port), "--qos", "1"});
    ASSERT_TRUE(WaitFor(before, "t/s1/measurement", 10));
    StopBroker();
    Delay(3.0);
    auto frames = Lines(before, "t/s1/measurement");  // all that came before the broker went
    StartBroker();
    const std::string after = Subscribe("after");
    ASSERT_TRUE(WaitFor(after, "t/s1/measurement", 10, 40)) << ReadBytes(dir.File("stderr"));
    kill(p, SIGKILL);
    Exit(p);
    EXPECT_TRUE(WaitFor(after, "t/s1/status", 2, 2));
    EXPECT_EQ(Lines(after, "t/s1/status"), (std::vector<std::string>{"online", "offline"}));
    EXPECT_EQ(Lines(after, "t/s1/identity").size(), 1u);
    EXPECT_EQ(Lines(after, "t/s1/parameters").size(), 1u);
    ExpectFramesInOrder(Lines(after, "t/s1/measurement"), false);
    std::set<qint64> seen;
    for (const auto& m : Lines(after, "t/s1/measurement")) frames.push_back(m);
    for (const auto& m : frames) seen.insert(Json(m)["seq"].toInteger());
    const qint64 missing = *seen.rbegin() - *seen.begin() + 1 - qint64(seen.size());
    EXPECT_GT(missing, 3 * 26 * 0.9);
    const std::string err = ReadBytes(dir.File("stderr"));
    EXPECT_NE(err.find("went away"), std::string::npos) << err;
    EXPECT_NE(err.find("s; " + std::to_string(missing) + " frames were not published"), std::string::npos) << missing << "\n" << err;
    ExpectNoPause();
}

// A broker that takes nothing for four seconds: what cannot be handed over is dropped and counted,
// never queued, and the exchanges go on.
TEST_F(PublishTest, SlowBrokerCostsFramesNotTime) {
    const pid_t p = Publish({"--broker", "127.0.0.1:" + std::to_string(port), "--qos", "1"});
    for (const auto& [seconds, pid, signal] : {std::tuple{1.5, broker, SIGSTOP}, {4.0, broker, SIGCONT}, {1.0, p, SIGTERM}})
        Delay(seconds), kill(pid, signal);
    EXPECT_EQ(Exit(p), 0);
    const std::string err = ReadBytes(dir.File("stderr"));
    const auto [measured, lost, handed, published, dropped] = Summary(err);
    EXPECT_EQ(published + dropped, measured);
    EXPECT_EQ(handed, measured);
    EXPECT_EQ(lost, 0u);
    EXPECT_GT(dropped, 0u);
    EXPECT_NE(err.find("keeps up again; " + std::to_string(dropped) + " frames were not published"), std::string::npos) << err;
    ExpectNoPause();
}

// Each fault: its exit code and line, the status left on the broker.
TEST_F(PublishTest, FaultsGiveTheirCodeAndStatus) {
    WriteBytes(dir.File("wrong"), "guess\n"), WriteBytes(dir.File("empty"), "");
    const std::string broker = "127.0.0.1:" + std::to_string(port), secure = "127.0.0.1:" + std::to_string(securePort);
    struct Case {
        std::vector<std::string> options;
        sim::Fault fault;
        int code;
        std::string message;
        std::vector<std::string> statuses;  // that a subscriber sees, from the retained one on
    };
    const Case cases[] = {  // each a broker or sensor fault at start, or the sensor lost on the way
        {{"--broker", "127.0.0.1:" + std::to_string(FreePort())}, sim::Fault::None, 14, "cannot be reached: Connection refused", {}},
        {{"--broker", secure, "--username", "plant", "--password-file", dir.File("wrong")}, sim::Fault::None, 15,
         "refused the connection: Not authorized", {}},
        {{"--broker", secure, "--username", "plant", "--password-file", dir.File("none")}, sim::Fault::None, 15,
         "cannot use the password file " + dir.File("none") + ": No such file or directory", {}},
        {{"--broker", secure, "--username", "plant", "--password-file", dir.File("empty")}, sim::Fault::None, 15, "it is empty", {}},
        {{"--broker", broker, "--cafile", dir.File("none")}, sim::Fault::None, 15, "cannot use the CA file", {}},
        {{"--broker", broker, "--cafile", dir.File("wrong")}, sim::Fault::None, 15, "it holds no certificate", {}},
        {{"--broker", broker}, sim::Fault::Silent, 6, "sensor not identified", {}},
        {{"--broker", broker, "--topic", std::string(65524, 't')}, sim::Fault::None, 2, "its topics would be 65536 bytes long", {}},
        {{"--broker", broker, "--topic", "t/\x7f"}, sim::Fault::None, 2, "a control character (U+007F, character 3)", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        sensor.ClearFaults();
        if (c.fault != sim::Fault::None) sensor.SetFault({c.fault, c.fault == sim::Fault::Silent ? GET_HARDWARE : GET_RAW});
        const std::string sub = Subscribe("sub" + std::to_string(&c - cases));
        const pid_t p = Publish(c.options);
        EXPECT_EQ(Exit(p), c.code);
        const std::string err = ReadBytes(dir.File("stderr"));
        EXPECT_EQ(err.rfind("kryta-lt: ", 0), 0u);
        EXPECT_NE(err.find(c.message), std::string::npos) << err;  // one line when nothing began:
        EXPECT_TRUE(!c.statuses.empty() || std::count(err.begin(), err.end(), '\n') == 1) << err;
        WaitFor(sub, "t/s1/status", c.statuses.size(), 2);
        EXPECT_EQ(Lines(sub, "t/s1/status"), c.statuses);
    }
}

// One faulty answer now and then: publishing goes on, the status stays online, and the gaps in
// seq are the frames said lost.
TEST_F(PublishTest, AFaultyAnswerIsAGapNotAnEnd) {
    sim::FaultSpec silent{sim::Fault::Silent, GET_RAW}, garbage{sim::Fault::Garbage, GET_RAW};
    silent.every = 30, garbage.every = 45;
    sensor.SetFault(silent), sensor.SetFault(garbage);
    const std::string sub = Subscribe("sub");
    const pid_t p = Publish({"--broker", "127.0.0.1:" + std::to_string(port)});
    ASSERT_TRUE(WaitFor(sub, "t/s1/measurement", 100, 30));
    kill(p, SIGTERM);
    EXPECT_EQ(Exit(p), 0);
    WaitFor(sub, "t/s1/status", 2, 2);
    EXPECT_EQ(Lines(sub, "t/s1/status"), (std::vector<std::string>{"online", "offline"}));
    const std::string err = ReadBytes(dir.File("stderr"));
    const auto [measured, lost, handed, published, dropped] = Summary(err);
    const auto frames = Lines(sub, "t/s1/measurement");
    EXPECT_EQ(frames.size(), published);
    EXPECT_EQ(published, measured);
    EXPECT_GE(lost, 2u);
    const qint64 gaps = Json(frames.back())["seq"].toInteger() - qint64(frames.size());
    EXPECT_EQ(gaps, qint64(lost)) << err;
    EXPECT_NE(err.find("1 frame lost, number 30: no answer to the measurement request within 1.5 s"), std::string::npos) << err;
    EXPECT_NE(err.find("1 frame lost, number 45: an answer to the measurement request that stopped short"), std::string::npos);
}

// The sensor gone for five seconds, its device with it, and back (behind the same link): status
// line lost, then online and frames again, the program never restarted.
TEST_F(PublishTest, TheSensorGoneAndBack) {
    const std::string link = dir.File("sensor");
    ASSERT_EQ(symlink(sensor.DevicePath().c_str(), link.c_str()), 0);
    const std::string sub = Subscribe("sub");
    const pid_t p = Publish({"--broker", "127.0.0.1:" + std::to_string(port)}, "stderr", link);
    ASSERT_TRUE(WaitFor(sub, "t/s1/measurement", 10));
    // unplugged, its device goes: the terminal number it had is free for other tests' sensors
    sensor.Stop();
    unlink(link.c_str());
    Delay(5);
    ASSERT_TRUE(sensor.Start());
    ASSERT_EQ(symlink(sensor.DevicePath().c_str(), link.c_str()), 0);
    ASSERT_TRUE(WaitFor(sub, "t/s1/status", 3, 40)) << ReadBytes(dir.File("stderr"));
    const size_t before = Lines(sub, "t/s1/measurement").size();
    EXPECT_TRUE(WaitFor(sub, "t/s1/measurement", before + 10));
    kill(p, SIGTERM);
    EXPECT_EQ(Exit(p), 0);
    WaitFor(sub, "t/s1/status", 4, 2);
    EXPECT_EQ(Lines(sub, "t/s1/status"), (std::vector<std::string>{"online", "line lost", "online", "offline"}));
    EXPECT_EQ(Lines(sub, "t/s1/identity").size(), 2u);
}

// A second publish on a port in use is refused before it talks to the broker: the first one's
// status stays online.
TEST_F(PublishTest, ARefusedStartLeavesTheStatusAlone) {
    const std::string sub = Subscribe("sub");
    const pid_t first = Publish({"--broker", "127.0.0.1:" + std::to_string(port)});
    ASSERT_TRUE(WaitFor(sub, "t/s1/measurement", 5));
    EXPECT_EQ(Exit(Publish({"--broker", "127.0.0.1:" + std::to_string(port)}, "second")), 3);
    EXPECT_NE(ReadBytes(dir.File("second")).find("is in use by kryta-lt (pid " + std::to_string(first) + ")"), std::string::npos)
        << ReadBytes(dir.File("second"));
    Delay(1);
    EXPECT_EQ(Lines(sub, "t/s1/status"), std::vector<std::string>{"online"});
    kill(first, SIGTERM);
    EXPECT_EQ(Exit(first), 0);
}

// A broker frozen long enough to lose the connection, at quality 0: what is counted as published
// reached the subscriber, and published and not published add up to the frames to publish.
TEST_F(PublishTest, AFrozenBrokerAtQos0CountsWhatArrived) {
    const std::string sub = Subscribe("sub");
    const pid_t p = Publish({"--broker", "127.0.0.1:" + std::to_string(port)});
    ASSERT_TRUE(WaitFor(sub, "t/s1/measurement", 10));
    kill(broker, SIGSTOP);
    Delay(25);
    kill(broker, SIGCONT);
    const size_t woke = Lines(sub, "t/s1/measurement").size();
    EXPECT_TRUE(WaitFor(sub, "t/s1/measurement", woke + 30, 20));
    kill(p, SIGTERM);
    EXPECT_EQ(Exit(p), 0);
    WaitFor(sub, "t/s1/status", 2, 2);
    const std::string err = ReadBytes(dir.File("stderr"));
    EXPECT_NE(err.find("went away (it did not answer our keep-alive ping)"), std::string::npos) << err;
    const auto [measured, lost, handed, published, dropped] = Summary(err);
    EXPECT_EQ(published + dropped, handed);
    EXPECT_GT(dropped, 0u);
    const size_t seen = Lines(sub, "t/s1/measurement").size();
    EXPECT_GE(seen, published) << err;
    EXPECT_LE(seen, handed);
}

// Two publish with one client id: the one taken over a few times in a row gives way (exit 17),
// the other goes on.
TEST_F(PublishTest, ATakenClientIdGivesWay) {
    sim::Simulator other{"M01", true};
    ASSERT_TRUE(other.Start());
    const std::string broker = "127.0.0.1:" + std::to_string(port);
    const pid_t a = Publish({"--broker", broker, "--client-id", "one"}, "a");
    Delay(2);
    const pid_t b = Publish({"--broker", broker, "--client-id", "one", "--topic", "t/s2"}, "b", other.DevicePath());
    pid_t gone = -1;
    int st = 0;
    for (const double end = Timer() + 30; Timer() < end && gone < 0; Delay(0.1))
        for (const pid_t q : {a, b})
            if (gone < 0 && waitpid(q, &st, WNOHANG) == q) gone = q;
    ASSERT_GT(gone, 0);
    EXPECT_EQ(WIFEXITED(st) ? WEXITSTATUS(st) : -1, 17);
    const pid_t survivor = gone == a ? b : a;
    Delay(3);
    EXPECT_EQ(waitpid(survivor, nullptr, WNOHANG), 0) << "the other goes on";
    kill(survivor, SIGTERM);
    EXPECT_EQ(Exit(survivor), 0);
    const std::string err = ReadBytes(dir.File("a")) + ReadBytes(dir.File("b"));
    EXPECT_NE(err.find("another client connected with our client id 'one' (3 in a row)"), std::string::npos) << err;
    EXPECT_NE(err.find("this one gives way"), std::string::npos);
}
