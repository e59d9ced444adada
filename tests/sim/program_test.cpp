// The program kryta-sensor-sim as a person or a script starts it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "line_client.h"

using simtest::Line;
using simtest::Word;

namespace {

std::string SimulatorProgram() {
    char self[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, size_t(n)) : std::string();
    dir = dir.substr(0, dir.rfind('/'));
    return dir + "/kryta-sensor-sim";
}

struct SimRun {
    pid_t pid = -1;
    int out = -1;
    std::string text;

    // withErrors: standard error goes into the same pipe as standard output.
    explicit SimRun(const std::vector<std::string>& args, bool withErrors = false) {
        int p[2];
        if (::pipe(p) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::dup2(p[1], 1);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(withErrors ? p[1] : null, 2);
            ::close(p[0]);
            std::vector<char*> argv;
            static std::string prog = SimulatorProgram();
            argv.push_back(prog.data());
            for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(prog.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(p[1]);
        out = p[0];
    }
    ~SimRun() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (out >= 0) ::close(out);
    }
    // Reads standard output until a full line has come (or the deadline); returns the line.
    std::string OutputLine(double timeout) {
        const auto start = simtest::Clock::now();
        while (text.find('\n') == std::string::npos && simtest::Since(start) < timeout) {
            pollfd p{out, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char buf[512];
            const ssize_t k = ::read(out, buf, sizeof buf);
            if (k <= 0) break;
            text.append(buf, size_t(k));
        }
        const auto nl = text.find('\n');
        return nl == std::string::npos ? std::string() : text.substr(0, nl);
    }
    // Everything on standard output until it closes.
    std::string All(double timeout) {
        const auto start = simtest::Clock::now();
        while (simtest::Since(start) < timeout) {
            pollfd p{out, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char buf[4096];
            const ssize_t k = ::read(out, buf, sizeof buf);
            if (k <= 0) break;
            text.append(buf, size_t(k));
        }
        return text;
    }
    // Exit status, or -1 if it has not ended within the deadline.
    int Wait(double timeout) {
        const auto start = simtest::Clock::now();
        while (simtest::Since(start) < timeout) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
};

TEST(SimProgram, HelpListsEveryOption) {
    SimRun run({"--help"});
    const std::string help = run.All(5);
    EXPECT_EQ(run.Wait(5), 0);
    for (const char* opt : {"--model", "--fault", "--ram", "--log", "--unpaced", "--link", "--list-models", "--help",
                            "--no-echo", "--parameter-command", "--ack-command", "--tail"})
        EXPECT_NE(help.find(opt), std::string::npos) << opt;
    for (const char* kind : {"silent", "delay", "wrong-sync", "other-command", "short", "surplus",
                             "garbage", "flood", "unplug"})
        EXPECT_NE(help.find(kind), std::string::npos) << kind;
}

TEST(SimProgram, ListsTheModelsAndRejectsBadOptions) {
    SimRun list({"--list-models"});
    const std::string models = list.All(5);
    EXPECT_EQ(list.Wait(5), 0);
    for (const char* name : {"M01", "M19", "M25", "unknown"})
        EXPECT_NE(models.find(name), std::string::npos) << name;

    SimRun badOption({"--colour"});
    EXPECT_EQ(badOption.Wait(5), 2);
    SimRun badModel({"--model", "M99"});
    EXPECT_EQ(badModel.Wait(5), 2);
    SimRun badFault({"--fault", "loud"});
    EXPECT_EQ(badFault.Wait(5), 2);
    SimRun missing({"--model"});
    EXPECT_EQ(missing.Wait(5), 2);
}

TEST(SimProgram, ServesOnTheDeviceItPrintsAndEndsOnSigterm) {
    SimRun run({"--model", "M19", "--unpaced"});
    const std::string path = run.OutputLine(5);
    ASSERT_FALSE(path.empty());
    struct stat st{};
    ASSERT_EQ(::stat(path.c_str(), &st), 0) << path;
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    {
        Line line(path);
        ASSERT_TRUE(line.ok());
        const auto a = line.Ask(10, 0);
        ASSERT_EQ(a.size(), 36u);
        EXPECT_EQ(Word(a, 11), 20250);
    }
    ::kill(run.pid, SIGTERM);
    EXPECT_EQ(run.Wait(5), 0);
}

TEST(SimProgram, StartsWithTheRamWordsGivenAsTheProgramNumbersThem) {
    // CL: average is word 42 (slot 9), hold time word 45 (slot 12); word 60 is the low scale word
    SimRun run({"--model", "M19", "--ram", "42=3", "--ram", "45=300", "--ram", "60=2048", "--unpaced"});
    const std::string path = run.OutputLine(5);
    ASSERT_FALSE(path.empty());
    {
        Line line(path);
        ASSERT_TRUE(line.ok());
        const auto main = line.Ask(2, 0);
        ASSERT_EQ(main.size(), 36u);
        EXPECT_EQ(Word(main, 3 + 9), 3);
        EXPECT_EQ(Word(main, 3 + 12), 300);
        EXPECT_EQ(Word(line.Ask(2, 1), 3 + 11), 2048);
    }
    // a word of another firmware's block, word 59, a value too big, no value
    for (const char* bad : {"5=1", "59=1", "42=65536", "42", "42="}) {
        SimRun refused({"--model", "M19", "--ram", bad});
        EXPECT_EQ(refused.Wait(5), 2) << bad;
    }
}

TEST(SimProgram, LinkIsMadeAndRemovedAndFaultsApply) {
    char dir[] = "/tmp/kryta-sim-test-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/ttyKRYTA";
    SimRun run({"--link", link, "--fault", "silent:10", "--unpaced"});
    const std::string path = run.OutputLine(5);
    ASSERT_FALSE(path.empty());
    char target[PATH_MAX] = {};
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(target, size_t(n)), path);
    {
        Line line(link);
        ASSERT_TRUE(line.ok());
        EXPECT_TRUE(line.Ask(10, 0, {}, 36, 0.3).empty()) << "silent for the hardware request";
        EXPECT_EQ(Word(line.Ask(2, 0), 1), 2);
    }
    ::kill(run.pid, SIGINT);
    EXPECT_EQ(run.Wait(5), 0);
    struct stat st{};
    EXPECT_NE(::lstat(link.c_str(), &st), 0) << "the link is gone";
    ::rmdir(dir);
}

// A script that starts the simulator can follow the line: every request, as it arrives.
TEST(SimProgram, LogsEveryRequestOnStandardError) {
    SimRun run({"--unpaced", "--log"}, true);
    const std::string path = run.OutputLine(5);
    ASSERT_EQ(path.rfind("/dev/", 0), 0u) << path;
    {
        Line line(path);
        ASSERT_TRUE(line.ok());
        ASSERT_EQ(line.Ask(5, 0).size(), 36u);
        ASSERT_EQ(line.Ask(2, 1).size(), 36u);
        ASSERT_EQ(line.Ask(7, 0, {}, 72).size(), 72u);
    }
    ::kill(run.pid, SIGTERM);
    const std::string all = run.All(5);
    // The start-up line, then one line a request with all 18 words, in order.
    const std::regex request("request [0-9]+\\.[0-9]{3} s: 85 ([0-9]+) ([0-9]+)( [0-9]+){15}");
    std::vector<std::string> seen;
    for (std::sregex_iterator it(all.begin(), all.end(), request), end; it != end; ++it)
        seen.push_back((*it)[1].str() + "." + (*it)[2].str());
    EXPECT_EQ(seen, (std::vector<std::string>{"5.0", "2.1", "7.0"})) << all;
    EXPECT_EQ(run.Wait(5), 0);
}

}  // namespace
