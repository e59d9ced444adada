// kryta-lt run as a process against simulated sensors, beside the window program on the same
// sensor where the two must agree.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <random>
#include <regex>
#include <thread>

#include "sensor/files.h"
#include "files/files_test_util.h"
#include "fixture.h"
#include "support/processes.h"
#include "link/com232.h"
#include "platform/utility.h"
#include "sensor/vars.h"

extern char** environ;

namespace {

using Result = Ran;

class CliTest : public ProgramTest {
protected:
    TempDir dir;
    std::string workDir;  // the program's working directory, when not the test's

    // Standard output into the file "stdout" of dir, or into `out` (a terminal's device).
    pid_t Spawn(std::vector<std::string> args, const std::string& out = "") {
        const pid_t pid = StartKrytaLt(std::move(args), out.empty() ? dir.File("stdout") : out, dir.File("stderr"), workDir);
        EXPECT_GT(pid, 0);
        return pid;
    }
    Result Wait(pid_t pid) { return Finished(pid, dir.File("stdout"), dir.File("stderr")); }
    Result Cli(const std::vector<std::string>& args) { return Wait(Spawn(args)); }

    // A simulated sensor of its own, unpaced.
    std::unique_ptr<sim::Simulator> Sensor(const std::string& model, sim::Fault fault = sim::Fault::None,
                                           int command = -1) {
        auto s = std::make_unique<sim::Simulator>(model, false);
        s->SetFault({fault, command});
        EXPECT_TRUE(s->Start());
        return s;
    }
    static std::vector<std::array<uint8_t, 36>> Frames(const sim::Simulator& s, int command) {
        std::vector<std::array<uint8_t, 36>> f;
        for (const auto& r : s.Requests())
            if (r.word(1) == command) f.push_back(r.bytes);
        return f;
    }
    // Data lines of a recorder file once it holds at least n (false when the process ended first).
    bool FileGrows(const std::string& path, pid_t pid, size_t n) {
        for (int i = 0; i < 3000 && waitpid(pid, nullptr, WNOHANG) == 0; ++i) {
            bool crlf;
            if (SplitCrLf(ReadBytes(path), crlf).size() >= 7 + n) return true;
            Delay(0.01);
        }
        return false;
    }
    std::string Leftovers() {
        std::vector<std::string> found;
        for (const auto& e : std::filesystem::directory_iterator(dir.path))
            if (e.path().filename() != "stdout" && e.path().filename() != "stderr") found.push_back(e.path().filename());
        std::sort(found.begin(), found.end());
        std::string names;
        for (const auto& n : found) names += n + " ";
        return names;
    }
};

// A parameter file of in-range values that differ from the simulator's own, per variant.
std::string ParaFile(const std::array<uint16_t, 15>& main, uint16_t trigger) {
    std::array<uint16_t, 30> v{};
    std::copy(main.begin(), main.end(), v.begin());
    v[15] = trigger;
    for (int i = 1; i <= 10; ++i) v[size_t(15 + i)] = uint16_t(1000 + i);
    v[26] = 0x3456;  // factor 0x123456
    v[27] = 0x0012;
    v[28] = 0x1DC0;  // offset -123456
    v[29] = 0xFFFE;
    return FormatParaFile(v);
}
const std::array<uint16_t, 15> kV303Main = {777, 0, 0, 2, 123, 3456, 2222, 66, 55, 3, 3, 6, 5, 2, 77};

}  // namespace

// get -o holds the bytes of the window's SEND to FILE; send puts the window's two frames of
// SEND after FILE + GET on the line, then reads both frames back.
TEST_F(CliTest, GetAndSendAreTheWindowsBytes) {
    StartWith("M03");
    const std::string window = dir.File("window.cfg"), cli = dir.File("cli.cfg"), set = dir.File("set.cfg");
    TestUserSetValue(pHandle, PANEL_RBTFile, 1);
    TestQueueFileSelect(VAL_NEW_FILE_SELECTED, window);
    TestLeftClick(pHandle, PANEL_BTNSend);
    EndProgram();
    EXPECT_EQ(Cli({"-p", sensor->DevicePath(), "get", "ram", "-o", cli}).code, 0);
    EXPECT_EQ(ReadBytes(cli), ReadBytes(window));

    WriteBytes(set, ParaFile(kV303Main, 999));
    ASSERT_EQ(StartProgram(), 0);
    TestUserSetValue(pHandle, PANEL_RBTFile, 1);
    TestQueueFileSelect(VAL_EXISTING_FILE_SELECTED, set);
    TestLeftClick(pHandle, PANEL_BTNGet);
    TestUserSetValue(pHandle, PANEL_RBTEeprom, 1);
    sensor->ClearRequests();
    TestLeftClick(pHandle, PANEL_BTNSend);
    ASSERT_TRUE(sensor->WaitForRequests(2, 3.0));
    const auto windowFrames = Frames(*sensor, 3);
    EndProgram();
    started = false;
    sensor->SetEeprom(0, {});
    sensor->ClearRequests();
    const Result r = Cli({"send", "eeprom", set, "--port", sensor->DevicePath()});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Frames(*sensor, 3), windowFrames);
    ASSERT_EQ(windowFrames.size(), 2u);
    EXPECT_EQ(Frames(*sensor, 4).size(), 4u);  // the read-back, twice
    EXPECT_EQ(sensor->Eeprom(0), kV303Main);
}

// send then get gives back every word of the file, for each firmware variant.
TEST_F(CliTest, SendThenGetRoundTripsEveryVariant) {
    const std::pair<const char*, std::array<uint16_t, 15>> cases[] = {
        {"M01", {777, 0, 0, 2, 123, 3456, 2222, 55, 3, 3, 5, 1, 5, 2, 77}},
        {"M03", kV303Main},
        {"M19", {777, 0, 0, 2, 123, 900, 700, 66, 55, 3, 1, 6, 300, 77, 4321}},
    };
    for (const auto& [model, main] : cases) {
        SCOPED_TRACE(model);
        auto s = Sensor(model);
        const std::string set = dir.File("set.cfg"), back = dir.File("back.cfg");
        WriteBytes(set, ParaFile(main, 999));
        EXPECT_EQ(Cli({"-p", s->DevicePath(), "send", "eeprom", set}).code, 0);
        EXPECT_EQ(Cli({"-p", s->DevicePath(), "get", "eeprom", "-o", back, "--force"}).code, 0);
        EXPECT_EQ(ReadBytes(back), ReadBytes(set));
    }
}

// Values outside the ranges, an unidentified sensor and a sensor that keeps its words: send
// says so with its exit code and writes nothing (or finds the difference on reading back).
TEST_F(CliTest, SendRefusesOrFindsTheDifference) {
    const std::string set = dir.File("set.cfg");
    auto main = kV303Main;
    main[0] = 1200;  // POWER above 1000: the ranges allow 500
    WriteBytes(set, ParaFile(main, 999));
    auto s = Sensor("M03");
    Result r = Cli({"-p", s->DevicePath(), "send", "ram", set});
    EXPECT_EQ(r.code, 10);
    EXPECT_EQ(r.out, "POWER            file 1200, the sensor's range allows 500\n");
    r = Cli({"-p", s->DevicePath(), "send", "ram", set, "--accept-corrections", "--dry-run"});
    EXPECT_EQ(r.code, 0) << r.err;
    const size_t change = r.out.find("\nTOLERANCE-UP     100 -> 66\n"), table = r.out.find("\n line  parameter");
    EXPECT_LT(change, table) << "the changes, then the set: " << r.out;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("\n27-28  FACTOR +1165.083984  \xC2\xB5m/pixel\n"))) << r.out;
    EXPECT_TRUE(Frames(*s, 1).empty());

    auto unidentified = Sensor("M03", sim::Fault::Silent, GET_HARDWARE);
    r = Cli({"-p", unidentified->DevicePath(), "send", "ram", set, "--accept-corrections"});
    EXPECT_EQ(r.code, 6);
    EXPECT_NE(r.err.find("sensor not identified (no answer to the identification request"), std::string::npos) << r.err;
    EXPECT_TRUE(Frames(*unidentified, 1).empty());

    auto deaf = Sensor("M03", sim::Fault::IgnoreWrites);
    const auto before = deaf->Ram(0);
    r = Cli({"-p", deaf->DevicePath(), "send", "ram", set, "--accept-corrections"});
    EXPECT_EQ(r.code, 11);
    EXPECT_EQ(Frames(*deaf, 1).size(), 2u);
    EXPECT_EQ(deaf->Ram(0), before);
    EXPECT_NE(r.out.find("TOLERANCE-UP     sent 66, the sensor holds 100\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("FACTOR           sent 1165.083984, the sensor holds 1.0\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "kryta-lt: the read-back of RAM differs in 27 parameter(s) from what was sent\n");
}

TEST_F(CliTest, CompareEqualAndDifferent) {
    auto s = Sensor("M19");
    const std::string a = dir.File("a.cfg");
    ASSERT_EQ(Cli({"-p", s->DevicePath(), "get", "eeprom", "-o", a}).code, 0);
    EXPECT_EQ(Cli({"-p", s->DevicePath(), "compare", "eeprom", a}).code, 0);
    auto image = s->Ram(0);
    image[12] = 300;  // the hold time of a CL sensor
    s->SetRam(0, image);
    const Result r = Cli({"-p", s->DevicePath(), "compare", a, "ram"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(std::regex_search(r.out, std::regex("\nHOLD +100 +300\n$"))) << r.out;
}

// The recorder file of kryta-lt and of the window, for a still object: the same lines but for
// the date and time.
TEST_F(CliTest, RecordWritesTheWindowsRecorderFile) {
    StartWith("M01");
    sensor->SetObject(1000, 2000, false);
    const std::string window = dir.File("window.dat"), cli = dir.File("cli.dat");
    TestQueueFileSelect(VAL_NEW_FILE_SELECTED, window);
    TestLeftClick(pRec, RECORD_CMDBTNrecfile);
    SetCtrlVal(pRec, RECORD_NUMsample, 8);
    TestUserSetValue(pRec, RECORD_NUMsample, 3);
    TestUserSetValue(pRec, RECORD_NUMinctime, 0.5);
    TestLeftClick(pRec, RECORD_CBTNStartRecord);
    EndProgram();
    started = false;
    EXPECT_EQ(Cli({"record", "-n", "3", "-i", "0.5", "-o", cli, "-p", sensor->DevicePath()}).code, 0);
    const std::regex dateTime("(Date|Time):\t[0-9:-]+\r\n");
    EXPECT_EQ(std::regex_replace(ReadBytes(cli), dateTime, "$1\r\n"), std::regex_replace(ReadBytes(window), dateTime, "$1\r\n"));
    EXPECT_EQ(Cli({"record", "-n", "3", "-i", "0.5", "-o", cli, "-p", sensor->DevicePath()}).code, 8);

    // on a line at 19200 baud a sample with the quiet after it takes longer than 0.05 s: refused,
    // and no file, rather than a header whose time base the samples do not keep
    sim::Simulator paced("M01", true);
    ASSERT_TRUE(paced.Start());
    const Result r = Cli({"record", "-n", "3", "-i", "0.05", "-o", dir.File("fast.dat"), "-p", paced.DevicePath()});
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_NE(r.err.find("shorter than a sample takes on this line: at least 0.0"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("fast.dat")));
}

// Ctrl-C and a port that vanishes end a recording with every sample taken on disk, complete.
TEST_F(CliTest, InterruptedOrLostRecordingKeepsEverySample) {
    for (const bool unplug : {false, true}) {
        SCOPED_TRACE(unplug ? "unplugged" : "SIGINT");
        auto s = Sensor("M01");
        const std::string path = dir.File(unplug ? "lost.dat" : "int.dat");
        const pid_t pid = Spawn({"-p", s->DevicePath(), "record", "-n", "1000", "-i", "0.04", "-o", path});
        ASSERT_TRUE(FileGrows(path, pid, 3));
        if (unplug) s->Unplug();
        else kill(pid, SIGINT);
        const Result r = Wait(pid);
        bool crlf = false;
        const auto lines = SplitCrLf(ReadBytes(path), crlf);
        EXPECT_TRUE(crlf);
        const size_t samples = lines.size() - 7;
        for (size_t i = 7; i < lines.size(); ++i) EXPECT_EQ(SplitTabs(lines[i]).size(), 5u) << lines[i];
        EXPECT_EQ(lines[3], "Number of Samples:\t" + std::to_string(samples)) << "the header tells what the file holds";
        const size_t asked = Frames(*s, GET_RAW).size();
        EXPECT_TRUE(samples == asked || samples + 1 == asked) << samples << " of " << asked;
        if (unplug) {
            EXPECT_EQ(r.code, 9);
            EXPECT_NE(r.err.find("the line went away during the measurement request of sample " +
                                 std::to_string(samples + 1)), std::string::npos) << r.err;
        } else {
            EXPECT_EQ(r.code, 12);
            EXPECT_EQ(r.err, "kryta-lt: interrupted after " + std::to_string(samples) +
                                 " of 1000 samples - every one is in " + path + "\n");
        }
    }
}

// Each fault: its exit code, one line on standard error, no output file.
TEST_F(CliTest, FaultsGiveTheirCodeAndLineAndNoFile) {
    const std::string out = dir.File("out.cfg"), bad = dir.File("bad.cfg");
    WriteBytes(bad, std::string(29 * 8, ' ').replace(0, 1, "1"));
    std::string wide = ParaFile(kV303Main, 999);
    WriteBytes(dir.File("wide.cfg"), wide.replace(6 * 8, 6, " 70000"));
    struct Case {
        sim::Fault fault;
        int command;
        std::vector<std::string> args;  // after -p DEVICE
        int code;
        std::string message;
    };
    const std::vector<Case> cases = {
        {sim::Fault::None, -1, {"-p", "/dev/kryta-no-such-device", "get", "ram", "-o", out}, 3,
         "no serial port found: /dev/kryta-no-such-device: No such file or directory"},
        {sim::Fault::Silent, -1, {"get", "ram", "-o", out}, 4, "no answer to the echo check within 1.5 s"},
        {sim::Fault::Silent, GET_EEPROM, {"get", "eeprom", "-o", out}, 4,
         "no answer to the request for EEPROM parameter frame 0 within 1.5 s"},
        {sim::Fault::WrongSync, -1, {"video", "-o", out}, 5, "without the sensor's sync word 0x00AA (0x0055)"},
        {sim::Fault::Short, GET_DATA64, {"video", "-o", out}, 5, "video block 0 that stopped short: 64 bytes"},
        {sim::Fault::Silent, GET_RAW, {"measure"}, 4, "no answer to the measurement request within 1.5 s"},
        {sim::Fault::Unplug, GET_RAM, {"get", "ram", "-o", out}, 9, "the line went away during the request for RAM"},
        {sim::Fault::None, -1, {"send", "ram", dir.File("missing.cfg")}, 7,
         "missing.cfg: cannot read parameter file: No such file or directory"},
        {sim::Fault::None, -1, {"send", "eeprom", bad}, 7, "bad.cfg: parameter file holds 1 number, 30 are needed"},
        {sim::Fault::None, -1, {"get", "ram", "-o", dir.File("no/folder/out.cfg")}, 8, "cannot write "},
        {sim::Fault::None, -1, {"send", "ram", dir.File("wide.cfg")}, 7, "wide.cfg: line 7 holds 70000, above 65535"},
        {sim::Fault::None, -1, {"get", "ram", "-o", dir.File("wide.cfg")}, 8, "wide.cfg exists - --force replaces it"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        auto s = Sensor("M01", c.fault, c.command);
        std::vector<std::string> args = c.args;
        if (args[0] != "-p") args.insert(args.begin(), {"-p", s->DevicePath()});
        const Result r = Cli(args);
        EXPECT_EQ(r.code, c.code);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.rfind("kryta-lt: ", 0), 0u);
        EXPECT_FALSE(std::isupper(r.err[10]) && std::islower(r.err[11])) << "a lower-case start";
        EXPECT_EQ(r.err.find_first_of(".!", r.err.size() - 2), std::string::npos) << "no full stop";
        EXPECT_TRUE(Frames(*s, SEND_RAM).empty() && Frames(*s, SEND_EEPROM).empty());
        EXPECT_EQ(Leftovers(), "bad.cfg wide.cfg ") << "no output file";
    }
}

// Command lines that are refused before any port is opened, the conventions of the shell, and the
// names a port goes by, from the working directory.
TEST_F(CliTest, CommandLinesOfTheShell) {
    const std::string out = dir.File("rec.dat");
    auto s = Sensor("M01");
    const std::string underDev = s->DevicePath().substr(5);  // pts/N
    std::filesystem::create_symlink(s->DevicePath(), dir.File("sensor-link"));
    WriteBytes(dir.File("null"), "");
    workDir = dir.path;
    const struct {
        std::vector<std::string> args;
        int code;
        std::string err, out;  // a part of each
    } cases[] = {
        {{"--version"}, 0, "", "kryta-lt 3.09\n"},
        {{"help", "send"}, 0, "", "--accept-corrections"},
        {{"--help"}, 0, "", " 13  send: the file's companion"},
        {{"-p", "/dev/a", "-p/dev/b", "info"}, 2, "-p given more than once", ""},
        {{"record", "-n", "5", "-i", "0.01", "-o", out}, 2, "-i is at least 0.0375 s", ""},
        {{"record", "-n", "0", "-i", "1", "-o", out}, 2, "record: -n is 1 to 32767 samples", ""},
        {{"help", "record"}, 0, "", "least the shortest sample time of this line, found when connected"},
        {{"help", "files"}, 0, "", "    27  FACTOR           um/pixel  standard       x 16384, low 16 bits\n"
                                   "        FACTOR           um/pixel  V303, CL       x 1024, low 16 bits\n"},
        {{"send", "ram", out, "--force"}, 2, "send takes no --force: send writes no file; a set of another firmware "
                                            "variant or CCD family is sent with --other-variant", ""},
        {{"info", "-V"}, 2, "kryta-lt: unknown option 'V' (see kryta-lt help info)\n", ""},
        {{"-p", underDev, "info"}, 0, "", "KRYTA-M01"},
        {{"-p", "sensor-link", "info"}, 0, "", "KRYTA-M01"},
        {{"-p", "kryta-no-such-port", "info"}, 3, "neither ./kryta-no-such-port nor /dev/kryta-no-such-port exists", ""},
        {{"-p", "null", "info"}, 2, "null names both ./null and /dev/null - say which", ""},
        {{"ports", "-p", "3"}, 2, "ports takes no -p", ""},
        {{"info", "--json=yes"}, 2, "--json", ""},
        {{"info", "extra"}, 2, "info: no arguments", ""},
        {{"frob"}, 2, "no command 'frob'", ""},
        {{"-n5", "-p/dev/kryta-no-such-device", "measure"}, 3, "/dev/kryta-no-such-device", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back());
        const Result r = Cli(c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
    }
    const std::string command = Cli({"get", "--help"}).out;
    EXPECT_EQ(command.find(" 12  interrupted"), std::string::npos) << "the exit codes are in kryta-lt --help only";
    EXPECT_FALSE(std::filesystem::exists(out));
}

// Where get -o writes: standard output, a link's target, a device in place, an existing file
// only with --force; a regular file gets its companion.
TEST_F(CliTest, OutputPathsNeverDestroyAFile) {
    auto s = Sensor("M03");
    const std::string cfg = FormatParaFile([&] {
        std::array<uint16_t, 30> w{};
        const auto main = s->Ram(0), ext = s->Ram(1);
        std::copy(main.begin(), main.end(), w.begin());
        std::copy(ext.begin(), ext.end(), w.begin() + 15);
        return w;
    }());
    const std::string kept = dir.File("kept.cfg"), target = dir.File("target.cfg"), link = dir.File("link.cfg");
    WriteBytes(kept, "old");
    std::filesystem::create_symlink("target.cfg", link);
    const struct {
        std::vector<std::string> extra;
        int code;
        std::string file, bytes, out;  // the file that must then hold the bytes; standard output
        bool companion;
    } cases[] = {
        {{"-o", "-"}, 0, "", "", cfg, false},
        {{"-o", link}, 0, target, cfg, "", true},
        {{"-o", "/dev/null"}, 0, "", "", "", false},
        {{"-o", kept}, 8, kept, "old", "", false},
        {{"-o", kept, "--force"}, 0, kept, cfg, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.extra[1]);
        std::vector<std::string> args = {"-p", s->DevicePath(), "get", "ram"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const Result r = Cli(args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_EQ(r.out, c.out);
        if (!c.file.empty()) {
            EXPECT_EQ(ReadBytes(c.file), c.bytes);
        }
        const std::string companion = c.file.empty() ? "" : ReadBytes(c.file + ".json");
        EXPECT_EQ(companion.find("\"firmware_variant\": \"V303\"") != std::string::npos, c.companion) << companion;
    }
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
    EXPECT_EQ(Leftovers(), "kept.cfg kept.cfg.json link.cfg target.cfg target.cfg.json ");
}

// A backup is taken only when two reads agree; one of a sensor with another firmware variant is
// sent only with --other-variant.
TEST_F(CliTest, ConfirmedBackupAndItsCompanion) {
    for (const int changes : {1, 2}) {
        SCOPED_TRACE(changes);
        auto s = Sensor("M03");
        // after the extension frame of read k, the set-point changes (k up to `changes`)
        std::thread changer([&] {
            for (int k = 1; k <= changes; ++k) {
                for (int i = 0; i < 500 && Frames(*s, GET_RAM).size() < size_t(2 * k); ++i) Delay(0.002);
                auto image = s->Ram(0);
                image[6] = uint16_t(1000 + k);
                s->SetRam(0, image);
            }
        });
        const std::string path = dir.File(changes == 1 ? "c.cfg" : "none.cfg");
        const Result r = Cli({"-p", s->DevicePath(), "get", "ram", "-o", path});
        changer.join();
        if (changes == 1) {
            EXPECT_EQ(r.code, 0) << r.err;
            EXPECT_NE(ReadBytes(path).find("  1001\r\n"), std::string::npos);
        } else {
            EXPECT_EQ(r.code, 5);
            EXPECT_NE(r.err.find("3 reads of the RAM parameter set disagree"), std::string::npos) << r.err;
            EXPECT_FALSE(std::filesystem::exists(path));
        }
        EXPECT_EQ(Frames(*s, GET_RAM).size(), 6u);  // three reads of both frames
    }
    auto standard = Sensor("M01");
    const std::string path = dir.File("c.cfg");
    Result r = Cli({"-p", standard->DevicePath(), "send", "ram", path});
    EXPECT_EQ(r.code, 13);
    EXPECT_NE(r.err.find("c.cfg was read from a sensor of the V303 firmware, CCD family 1; " + standard->DevicePath() +
                         " holds the standard firmware, CCD family 1 - nothing sent"), std::string::npos) << r.err;
    EXPECT_TRUE(Frames(*standard, SEND_RAM).empty());
    r = Cli({"-p", standard->DevicePath(), "send", "ram", path, "--other-variant", "--accept-corrections", "--json"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\"sensor_holds\":\"the file's set, confirmed by reading back\""), std::string::npos) << r.out;
    std::smatch firmware;  // the sensor as info --json describes it
    const std::string info = Cli({"-p", standard->DevicePath(), "info", "--json"}).out;
    ASSERT_TRUE(std::regex_search(info, firmware, std::regex("\"firmware_text\":\"[^\"]+\""))) << info;
    EXPECT_NE(r.out.find(firmware.str()), std::string::npos) << r.out;
    r = Cli({"compare", path, path});
    EXPECT_NE(r.out.find("c.cfg: from KRYTA-M03 (V303 firmware 303, CCD family 1, hardware code 55), ram, "), std::string::npos) << r.out;
}

// After a failure send says what the sensor holds.
TEST_F(CliTest, FailedSendSaysWhatTheSensorHolds) {
    const std::string set = dir.File("set.cfg");
    WriteBytes(set, ParaFile(kV303Main, 999));
    const struct {
        sim::Fault fault;
        int command;
        int code;
        std::string err;
    } cases[] = {
        {sim::Fault::Unplug, SEND_RAM, 9, "the line went away during the writing of RAM frame 1 - the sensor holds a mixed set"},
        {sim::Fault::Unplug, GET_RAM, 9, "both frames were written into RAM but the read-back did not confirm them"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        auto s = Sensor("M03", c.fault, c.command);
        const Result r = Cli({"-p", s->DevicePath(), "send", "ram", set});
        EXPECT_EQ(r.code, c.code);
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
}

// scan names what it found on each port and leaves a port in use alone; backup saves each sensor.
TEST_F(CliTest, ScanAndBackupALineOfSensors) {
    auto a = Sensor("M03"), silent = Sensor("M19", sim::Fault::Silent), busy = Sensor("M01");
    setenv("KRYTA_COM1", a->DevicePath().c_str(), 1);
    setenv("KRYTA_COM2", silent->DevicePath().c_str(), 1);
    setenv("KRYTA_COM3", busy->DevicePath().c_str(), 1);
    setenv("KRYTA_COM14", "/dev/kryta-no-such-device", 1);
    const pid_t holder = Spawn({"-p", "3", "record", "-n", "30000", "-i", "0.05", "-o", dir.File("holder.dat")});
    ASSERT_TRUE(FileGrows(dir.File("holder.dat"), holder, 1));
    Result r = Cli({"scan"});
    kill(holder, SIGINT);
    Wait(holder);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("COM1 +" + a->DevicePath() + " +KRYTA-M03, firmware 303 \\(V303\\)\n"))) << r.out;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("COM2 +" + silent->DevicePath() + " +no sensor: silent\n"))) << r.out;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("COM3 +" + busy->DevicePath() + " +no sensor: in use by kryta-lt \\(pid " +
                                                    std::to_string(holder) + "\\)\n"))) << r.out;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("COM14 +/dev/kryta-no-such-device +no sensor: cannot open"))) << r.out;
    EXPECT_EQ(Frames(*busy, GET_HARDWARE).size(), 1u) << "only the holder's identification";

    unsetenv("KRYTA_COM2");
    r = Cli({"backup", dir.path, "eeprom"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("2 of 2 sensor(s) backed up"), std::string::npos) << r.out;
    EXPECT_EQ(ReadBytes(dir.File("COM3-KRYTA-M01.cfg")).size(), 240u);
    EXPECT_NE(ReadBytes(dir.File("COM1-KRYTA-M03.cfg.json")).find("\"memory\": \"eeprom\""), std::string::npos);
    for (const char* v : {"KRYTA_COM1", "KRYTA_COM3", "KRYTA_COM14"}) unsetenv(v);
}

// A backup on a line with random bytes mixed in: it fails, or it is the sensor's RAM, never a file of
// other words with exit 0. A full line of noise and a line with now and then a stray byte.
TEST_F(CliTest, ABackupOnANoisyLineIsTheSensorsOrNone) {
    auto s = Sensor("M01");
    std::array<uint16_t, 30> ram{};
    for (int i = 0; i < 15; ++i) {
        ram[size_t(i)] = s->Ram(0)[size_t(i)];
        ram[size_t(15 + i)] = s->Ram(1)[size_t(i)];
    }
    const std::string expected = FormatParaFile(ram), path = dir.File("noisy.cfg");
    for (double rate : {1920.0, 3.0}) {
        s->SetNoise(rate);
        int written = 0;
        for (int run = 0; run < 20; ++run) {
            std::filesystem::remove(path);
            const Result r = Cli({"-p", s->DevicePath(), "get", "ram", "-o", path});
            if (r.code == 0) {
                ++written;
                EXPECT_EQ(ReadBytes(path), expected) << rate << " run " << run;
            } else {
                EXPECT_FALSE(std::filesystem::exists(path)) << r.err;
                EXPECT_NE(r.err.find("kryta-lt: "), std::string::npos);
            }
        }
        if (rate > 100) {
            EXPECT_EQ(written, 0);  // a line full of noise never gives a backup
        }
        s->SetNoise(0);
    }
}

// Ctrl-C while a measurement answer is on its way: kryta-lt lets it come before it gives the port
// up, so the next program on the port gets only its own answers.
TEST_F(CliTest, AnAnswerOnItsWayIsNotLeftToTheNextProgram) {
    auto s = Sensor("M01");
    sim::FaultSpec slow{sim::Fault::Delay, GET_RAW, 0.6};
    const pid_t pid = Spawn({"-p", s->DevicePath(), "measure", "-n", "0"});
    ASSERT_TRUE(s->WaitForRequests(5, 3.0));  // echo, hardware, both frames, the first measurement
    s->SetFault(slow);
    const size_t asked = s->Requests().size();
    ASSERT_TRUE(s->WaitForRequests(asked + 2, 2.0));  // a slow answer is awaited now
    kill(pid, SIGINT);
    EXPECT_EQ(Wait(pid).code, 0);
    s->ClearFaults();
    const Result r = Cli({"-p", s->DevicePath(), "info", "--json"});
    EXPECT_EQ(r.code, 0) << r.err;
}

// A stream of frames rides over faulty answers: each is a lost frame, told once frames come
// again, and -n counts the frames printed.
TEST_F(CliTest, MeasureRidesOverFaultyAnswers) {
    auto s = Sensor("M01");
    sim::FaultSpec silent{sim::Fault::Silent, GET_RAW}, garbage{sim::Fault::Garbage, GET_RAW};
    silent.every = 5, garbage.every = 7;
    s->SetFault(silent), s->SetFault(garbage);
    const Result r = Cli({"-p", s->DevicePath(), "measure", "-n", "12"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 12);
    const std::string at = "kryta-lt: " + s->DevicePath() + ": ";
    EXPECT_NE(r.err.find(at + "1 frame lost, number 5: no answer to the measurement request within 1.5 s\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(at + "1 frame lost, number 7: an answer to the measurement request that stopped short"), std::string::npos);
    size_t lost = 0;
    const std::regex told("(\\d+) frames? lost");
    for (auto m = std::sregex_iterator(r.err.begin(), r.err.end(), told); m != std::sregex_iterator(); ++m) lost += std::stoul((*m)[1]);
    EXPECT_EQ(lost, Frames(*s, GET_RAW).size() - 12) << r.err;
}

// A program held up by its own computer loses time, not frames: measure at the line's pace while
// the test stops and continues it, for 50 to 150 ms every few tenths of a second.
TEST_F(CliTest, MeasureHeldUpAgainAndAgainLosesNoFrame) {
    sim::Simulator s("M01", true);
    ASSERT_TRUE(s.Start());
    // two busy threads beside it, ahead of it where the test may raise them
    std::atomic<bool> busy{true};
    std::vector<std::thread> spinners;
    for (int i = 0; i < 2; ++i)
        spinners.emplace_back([&busy] {
            setpriority(PRIO_PROCESS, id_t(gettid()), -5);
            while (busy) {
            }
        });
    const pid_t pid = Spawn({"-p", s.DevicePath(), "measure", "-n", "150", "--json"});
    std::mt19937 rng(35);
    auto ms = [&](int lo, int hi) { return std::chrono::milliseconds(std::uniform_int_distribution<int>(lo, hi)(rng)); };
    siginfo_t ended{};
    for (;;) {
        std::this_thread::sleep_for(ms(100, 400));
        ended.si_pid = 0;
        if (waitid(P_PID, id_t(pid), &ended, WEXITED | WNOHANG | WNOWAIT) != 0 || ended.si_pid == pid) break;
        kill(pid, SIGSTOP);
        std::this_thread::sleep_for(ms(50, 150));
        kill(pid, SIGCONT);
    }
    busy = false;
    for (auto& t : spinners) t.join();
    const Result r = Wait(pid);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 150);
    EXPECT_EQ(r.err, "");
}

// On a terminal measure names its columns above the frames (in a pipe only frames, as above).
TEST_F(CliTest, MeasureNamesItsColumnsOnATerminal) {
    auto s = Sensor("M01");
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
    const Result r = Wait(Spawn({"-p", s->DevicePath(), "measure", "-n", "2"}, ptsname(terminal)));
    EXPECT_EQ(r.code, 0) << r.err;
    std::string shown;
    char chunk[4096];
    for (ssize_t n; (n = read(terminal, chunk, sizeof chunk)) > 0;) shown.append(chunk, size_t(n));
    close(terminal);
    EXPECT_TRUE(std::regex_match(shown, std::regex("left\tright\tvalue\tum\t[a-z0-9\t]+\r\n(\\d+\t.*\r\n){2}"))) << shown;
}

// Standard output that cannot be written ends the command with exit 16 and one line: a pipe
// whose reader has gone (SIGPIPE ignored), a full device, a closed descriptor.
TEST_F(CliTest, AFailedStandardOutputEndsTheCommand) {
    auto s = Sensor("M01");
    signal(SIGPIPE, SIG_IGN);  // inherited by the program
    for (const std::string how : {"pipe", "/dev/full", "closed"}) {
        SCOPED_TRACE(how);
        std::vector<std::string> args = {GetProjectDir() + "/kryta-lt", "-p", s->DevicePath(), how == "pipe" ? "measure" : "info"};
        if (how == "pipe") args.insert(args.end(), {"-n", "0"});
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int fds[2];
        ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);  // the program holds no end but its standard output
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        if (how == "pipe") posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
        else if (how == "closed") posix_spawn_file_actions_addclose(&fa, 1);
        else posix_spawn_file_actions_addopen(&fa, 1, how.c_str(), O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 2, dir.File("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = -1;
        ASSERT_EQ(posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&fa);
        close(fds[1]);
        char line[256];
        if (how == "pipe") {
            EXPECT_GT(read(fds[0], line, sizeof line), 0);  // the first frame, then the reader goes
        }
        close(fds[0]);
        const Result r = Wait(pid);
        EXPECT_EQ(r.code, 16);
        EXPECT_EQ(r.err.rfind("kryta-lt: cannot write to standard output: ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    signal(SIGPIPE, SIG_DFL);
}
