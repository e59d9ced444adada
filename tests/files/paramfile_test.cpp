// The parameter file against the running program and a simulated sensor.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <regex>

#include "files/files.h"
#include "files_test_util.h"
#include "fixture.h"
#include "link/com232.h"
#include "sensor/vars.h"

namespace {

class ParamFileTest : public ProgramTest {
protected:
    TempDir dir;

    void UseFileTarget() {
        TestUserSetValue(pHandle, PANEL_RBTFile, 1);
        ASSERT_EQ(target, DATFILE);
    }
    void UseRamTarget() {
        TestUserSetValue(pHandle, PANEL_RBTRam, 1);
        ASSERT_EQ(target, RAM);
    }
    // SEND with the file target into `path` (a new file unless it exists).
    void SaveTo(const std::string& path) {
        struct stat st;
        TestQueueFileSelect(stat(path.c_str(), &st) == 0 ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED, path);
        TestLeftClick(pHandle, PANEL_BTNSend);
    }
    void LoadFrom(const std::string& path) {
        TestQueueFileSelect(VAL_EXISTING_FILE_SELECTED, path);
        TestLeftClick(pHandle, PANEL_BTNGet);
    }
    // The 30 values of a parameter file, checking its layout on the way.
    std::array<uint16_t, 30> ParseParaFile(const std::string& path) {
        std::array<uint16_t, 30> v{};
        const std::string bytes = ReadBytes(path);
        EXPECT_EQ(bytes.size(), 240u);
        const std::regex field("^ *[0-9]{1,5}$");
        for (int i = 0; i < 30 && size_t(8 * i + 8) <= bytes.size(); ++i) {
            const std::string line = bytes.substr(8 * i, 8);
            EXPECT_EQ(line.substr(6), "\r\n") << "line " << i + 1;
            const std::string f = line.substr(0, 6);
            EXPECT_TRUE(std::regex_match(f, field)) << "line " << i + 1 << ": '" << f << "'";
            v[i] = uint16_t(std::stoul(f));
        }
        return v;
    }
};

// The value words of the last two requests with command `command` (arguments 0 and 1).
std::array<uint16_t, 30> SentFrames(const sim::Simulator& s, int command) {
    std::array<uint16_t, 30> v{};
    bool seen[2] = {false, false};
    for (const auto& r : s.Requests()) {
        if (r.word(1) != command || r.word(2) > 1) continue;
        const int frame = r.word(2);
        seen[frame] = true;
        for (int i = 0; i < 15; ++i) v[15 * frame + i] = r.word(3 + i);
    }
    EXPECT_TRUE(seen[0] && seen[1]) << "both frames of command " << command;
    return v;
}

}  // namespace

TEST_F(ParamFileTest, SavedFileHoldsExactlyWhatSendTransmits) {
    StartWith("M20");  // V303 firmware: the V303 block is the main frame
    sensor->ClearRequests();
    UseRamTarget();
    TestLeftClick(pHandle, PANEL_BTNSend);
    ASSERT_TRUE(sensor->WaitForRequests(2, 3.0));
    const auto sent = SentFrames(*sensor, 1);

    UseFileTarget();
    const std::string path = dir.File("KRYTApara.cfg");
    sensor->ClearRequests();
    SaveTo(path);
    const auto saved = ParseParaFile(path);
    EXPECT_EQ(saved, sent);
    // Values below 100000 sit right-aligned: the field ends with a digit.
    const std::string bytes = ReadBytes(path);
    for (int i = 0; i < 30 && bytes.size() == 240; ++i) EXPECT_NE(bytes[8 * i + 5], ' ');
    // Nothing went to the sensor.
    ProcessSystemEvents();
    EXPECT_TRUE(sensor->Requests().empty());

    // Saving onto an existing file replaces it without a question.
    WriteBytes(path, std::string(1000, 'x'));
    TestClearDialogs();
    SaveTo(path);
    EXPECT_EQ(ParseParaFile(path), sent);
    for (const auto& d : TestDialogs()) EXPECT_NE(d.kind, "confirm");
}

TEST_F(ParamFileTest, RoundTripThroughTheSensor) {
    StartWith("M01");
    UseFileTarget();
    const std::string path = dir.File("set-a.cfg");
    SaveTo(path);
    const auto a = ParseParaFile(path);

    // The sensor gets other reserved words and another power; a GET takes them into the program.
    auto ram0 = sensor->Ram(0), ram1 = sensor->Ram(1);
    for (int i = 1; i <= 10; ++i) ram1[i] = uint16_t(1000 + i);
    ram0[0] = uint16_t(a[0] == 300 ? 400 : 300);
    sensor->SetRam(0, ram0);
    sensor->SetRam(1, ram1);
    UseRamTarget();
    TestLeftClick(pHandle, PANEL_BTNGet);
    ASSERT_EQ(parameter[49], 1001);
    ASSERT_EQ(parameter[3], ram0[0]);

    // Load the file and send it back: the sensor holds the saved values again.
    UseFileTarget();
    LoadFrom(path);
    EXPECT_EQ(parameter[49], a[16]);
    EXPECT_EQ(Status(), "Parameter file loaded!");
    UseRamTarget();
    sensor->ClearRequests();
    TestLeftClick(pHandle, PANEL_BTNSend);
    ASSERT_TRUE(sensor->WaitForRequests(2, 3.0));
    EXPECT_EQ(SentFrames(*sensor, 1), a);
    const auto r0 = sensor->Ram(0), r1 = sensor->Ram(1);
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(r0[i], a[i]) << "main frame word " << i;
        EXPECT_EQ(r1[i], a[15 + i]) << "extension frame word " << i;
    }
}

TEST_F(ParamFileTest, BadFilesChangeNothingAndSaySo) {
    StartWith("M01");
    UseFileTarget();
    const std::string good = dir.File("good.cfg");
    SaveTo(good);
    std::string text = ReadBytes(good);
    ASSERT_EQ(text.size(), 240u);

    struct Case {
        std::string name, content, status;
    };
    std::string nonNumber = text;
    nonNumber.replace(8 * 4, 6, "  12a ");
    const std::vector<Case> cases = {
        {"short.cfg", text.substr(0, 29 * 8), "Parameter file holds 29 numbers, 30 are needed - nothing loaded!"},
        {"long.cfg", text + "     7\r\n", "Parameter file holds 31 numbers, 30 are needed - nothing loaded!"},
        {"word.cfg", nonNumber, "line 5 holds '12a' - nothing loaded!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(c.name);
        WriteBytes(path, c.content);
        const auto before = parameter;
        LoadFrom(path);
        EXPECT_EQ(parameter, before);
        EXPECT_EQ(Status(), c.status);
    }
    // A folder in place of the file, and a file that does not exist.
    const std::string folder = dir.File("folder.cfg");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    for (const std::string& path : {folder, dir.File("gone.cfg")}) {
        const auto before = parameter;
        LoadFrom(path);
        EXPECT_EQ(parameter, before);
        EXPECT_EQ(Status().rfind("Cannot read parameter file: ", 0), 0u) << Status();
    }
    // A good file afterwards is loaded and reported as loaded, not with the old complaint.
    LoadFrom(good);
    EXPECT_EQ(Status(), "Parameter file loaded!");
}

TEST_F(ParamFileTest, CancelledDialogsChangeNothing) {
    StartWith("M01");
    UseFileTarget();
    file_name = dir.File("before.cfg");
    const auto before = parameter;
    sensor->ClearRequests();
    TestClearDialogs();
    TestLeftClick(pHandle, PANEL_BTNGet);   // no answer queued: the dialog is cancelled
    TestLeftClick(pHandle, PANEL_BTNSend);
    EXPECT_EQ(parameter, before);
    EXPECT_EQ(file_name, dir.File("before.cfg"));
    struct stat st;
    EXPECT_NE(stat(file_name.c_str(), &st), 0);
    ProcessSystemEvents();
    EXPECT_TRUE(sensor->Requests().empty());

    const auto dialogs = TestDialogs();
    ASSERT_GE(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[0].kind, "file");
    EXPECT_EQ(dialogs[0].title, "KRYTA-LT-Series-Parameter-File");
    EXPECT_EQ(dialogs[0].buttonLabel, "Load");
    EXPECT_EQ(dialogs[0].defaultName, "KRYTApara.cfg");
    EXPECT_EQ(dialogs[0].filter, "*.cfg");
    EXPECT_EQ(dialogs[0].defaultDir, proj_dir);
    EXPECT_EQ(dialogs[1].title, "KRYTA-LT-Series Parameter File");
    EXPECT_EQ(dialogs[1].buttonLabel, "OK");
}

TEST_F(ParamFileTest, UnwritableFileIsReportedNotSaved) {
    StartWith("M01");
    UseFileTarget();
    const std::string noFolder = dir.File("no/such/folder/para.cfg");
    const std::string folder = dir.File("taken.cfg");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    for (const std::string& path : {noFolder, folder}) {
        SCOPED_TRACE(path);
        TestClearTextHistory();
        TestQueueFileSelect(VAL_NEW_FILE_SELECTED, path);
        TestLeftClick(pHandle, PANEL_BTNSend);
        EXPECT_EQ(Status().rfind("Cannot write parameter file: ", 0), 0u) << Status();
    }
    struct stat st;
    EXPECT_NE(stat(noFolder.c_str(), &st), 0);
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}
