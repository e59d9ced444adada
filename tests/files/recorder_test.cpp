// The data recorder against the running program and a simulated sensor.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <regex>

#include "files/files.h"
#include "sensor/files.h"
#include "files_test_util.h"
#include "fixture.h"
#include "link/com232.h"
#include "params/status.h"
#include "sensor/vars.h"
#include "platform/utility.h"

namespace {

class RecorderTest : public ProgramTest {
protected:
    TempDir dir;

    void Plan(int samples, double increment) {
        // Change both values so that the controls really see a change.
        SetCtrlVal(pRec, RECORD_NUMsample, samples == 7 ? 8 : 7);
        TestUserSetValue(pRec, RECORD_NUMsample, samples);
        TestUserSetValue(pRec, RECORD_NUMinctime, increment);
        uint16_t n = 0;
        double t = -1;
        GetCtrlVal(pRec, RECORD_NUMsample, n);
        GetCtrlVal(pRec, RECORD_NUMinctime, t);
        ASSERT_EQ(n, samples);
        ASSERT_DOUBLE_EQ(t, increment);
    }
    void ChooseNewFile(const std::string& path) {
        TestQueueFileSelect(VAL_NEW_FILE_SELECTED, path);
        TestLeftClick(pRec, RECORD_CMDBTNrecfile);
        ASSERT_EQ(rec_fname, path);
    }
    int Count() {
        int32_t k = -1;
        GetCtrlVal(pRec, RECORD_NUMreccount, k);
        return k;
    }
    int RequestsOf(int command) {
        int n = 0;
        for (const auto& r : sensor->Requests()) n += r.word(1) == command;
        return n;
    }
    std::string RecStatusText() { return TestCtrlText(pRec, RECORD_TEXTBOXrecstatus); }
    bool StatusSeen(const std::string& text) {
        for (const auto& s : TestTextHistory(pHandle, PANEL_STRStatus))
            if (s == text) return true;
        return false;
    }
    void ExpectButtonsUndimmed() {
        EXPECT_FALSE(GetCtrlDimmed(pHandle, PANEL_BTNRun));
        EXPECT_FALSE(GetCtrlDimmed(pHandle, PANEL_BTNVideo));
        EXPECT_FALSE(GetCtrlDimmed(pPara2, PARA2_ButtonTeach));
        EXPECT_FALSE(GetCtrlDimmed(pRec, RECORD_CBTNStartRecord));
    }

    // Checks header lines 1 to 7 and returns the data lines.
    std::vector<std::string> CheckHeader(const std::string& bytes, const std::string& increment, int samples,
                                         const std::string& slope) {
        bool crlf = false;
        auto lines = SplitCrLf(bytes, crlf);
        EXPECT_TRUE(crlf) << "every line ends with CR LF";
        if (lines.size() < 7) {
            ADD_FAILURE() << "header incomplete: " << lines.size() << " lines";
            return {};
        }
        EXPECT_TRUE(std::regex_match(lines[0], std::regex("Date:\t(0[1-9]|1[0-2])-(0[1-9]|[12][0-9]|3[01])-20[0-9]{2}")))
            << lines[0];
        EXPECT_TRUE(std::regex_match(lines[1], std::regex("Time:\t([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]"))) << lines[1];
        EXPECT_EQ(lines[2], "Time-Increment[s]:\t" + increment);
        EXPECT_EQ(lines[3], "Number of Samples:\t" + std::to_string(samples));
        EXPECT_EQ(lines[4], "Offset-Value [\xB5m]:\t" + std::to_string(CalOffset()));
        EXPECT_EQ(lines[5], "Slope-Value [\xB5m/pixel]:\t" + slope);
        EXPECT_EQ(lines[6], "E-LEFT\tE-RIGHT\tM-VALUE\tEDGES\tM-VAL[um]");
        return {lines.begin() + 7, lines.end()};
    }
    // A data line of the still object between 1000 and 2000: edges, count, value and micrometres.
    void CheckDataLine(const std::string& line) {
        const auto f = SplitTabs(line);
        ASSERT_EQ(f.size(), 5u) << line;
        for (const auto& x : f) ASSERT_TRUE(std::regex_match(x, std::regex("-?[0-9]+"))) << line;
        EXPECT_EQ(f[0], "1000");
        EXPECT_EQ(f[1], "2000");
        EXPECT_EQ(f[3], "2");
        const auto e = sensor->Ram(1);
        const uint64_t scale = uint64_t(e[11]) | uint64_t(e[12]) << 16;
        EXPECT_EQ(std::stoull(f[4]), std::stoull(f[2]) * scale / 16384) << line;
    }
};

}  // namespace

TEST_F(RecorderTest, CompletedRecordingFileByteForByte) {
    StartWith("M01");  // firmware 302: slope divisor 16384
    sensor->SetObject(1000, 2000, false);
    SetScaleFactor(24576);  // 1.5 um per pixel
    SetCalOffset(-1234567);
    const std::string path = dir.File("RUN1.DAT");
    ChooseNewFile(path);
    EXPECT_EQ(TestCtrlText(pRec, RECORD_TEXTBOXrecfile), path);
    Plan(5, 0.0);
    sensor->ClearRequests();
    TestLeftClick(pRec, RECORD_CBTNStartRecord);

    const auto data = CheckHeader(ReadBytes(path), "0.0", 5, "1.5");
    ASSERT_EQ(data.size(), 5u);
    for (const auto& line : data) CheckDataLine(line);
    EXPECT_EQ(RequestsOf(8), 5);
    EXPECT_EQ(Count(), 5);
    EXPECT_EQ(RecStatusText(), "DATA-RECORDER COMPLETED!");
    EXPECT_EQ(GetCtrlTextBgColor(pRec, RECORD_TEXTBOXrecstatus), 0xE0E0E0);
    EXPECT_EQ(GetCtrlTextColor(pRec, RECORD_TEXTBOXrecstatus), 0x000000);
    EXPECT_FALSE(GetCtrlBold(pRec, RECORD_TEXTBOXrecstatus));
    EXPECT_EQ(Status(), "Data-Recorder completed successfully!");
    for (int k = 1; k <= 5; ++k) EXPECT_TRUE(StatusSeen("Data-Recorder active!   Sample: " + std::to_string(k))) << k;
    ExpectButtonsUndimmed();
    EXPECT_EQ(TestCtrlText(pRec, RECORD_STRrecdate), DateStr());

    // Each request carries the active block, as a measurement request of RUN does.
    for (const auto& r : sensor->Requests()) {
        if (r.word(1) != 8) continue;
        EXPECT_EQ(r.word(0), 0x0055);
        EXPECT_EQ(r.word(2), 0);
        for (int i = 0; i < 15; ++i) EXPECT_EQ(r.word(3 + i), parameter[3 + i]) << i;
    }

    // A second recording with zero samples: the header only, completed at once, nothing sent.
    const std::string empty = dir.File("EMPTY.DAT");
    ChooseNewFile(empty);
    Plan(0, 0.0);
    sensor->ClearRequests();
    TestLeftClick(pRec, RECORD_CBTNStartRecord);
    EXPECT_TRUE(CheckHeader(ReadBytes(empty), "0.0", 0, "1.5").empty());
    EXPECT_EQ(RecStatusText(), "DATA-RECORDER COMPLETED!");
    EXPECT_EQ(RequestsOf(8), 0);
}

TEST_F(RecorderTest, SlopeAndIncrementFollowTheSensor) {
    // The slope divides by 1024 unless standard firmware runs on a sensor other than code 500.
    sim::Model code500 = *sim::FindModel("M25");
    code500.softversion = 302;
    struct Case {
        sim::Model model;
        const char* slope;  // scale factor 2048
    };
    for (const Case& c : {Case{*sim::FindModel("M03"), "2.0"},  // V303 firmware, code 55
                          Case{code500, "2.0"},                 // standard firmware, code 500
                          Case{*sim::FindModel("M02"), "0.125"}}) {  // standard firmware, code 10037
        SCOPED_TRACE(c.model.name + " firmware " + std::to_string(c.model.softversion));
        TearDown();
        StartWith(c.model);
        sensor->SetObject(100, 200, false);
        SetScaleFactor(2048);
        const std::string path = dir.File(c.model.name + ".DAT");
        ChooseNewFile(path);
        Plan(2, 0.125);
        TestLeftClick(pRec, RECORD_CBTNStartRecord);
        EXPECT_EQ(CheckHeader(ReadBytes(path), "0.125", 2, c.slope).size(), 2u);
    }

    // The number of samples stops at 32767, what the header's signed 16-bit field holds.
    TestUserSetValue(pRec, RECORD_NUMsample, 40000);
    EXPECT_EQ(TestCtrlText(pRec, RECORD_NUMsample), "32767");
    const std::string big = dir.File("BIG.DAT");
    ChooseNewFile(big);
    TestLeftClickLater(0.2, pRec, RECORD_CBTNStopRecord);
    TestLeftClick(pRec, RECORD_CBTNStartRecord);
    CheckHeader(ReadBytes(big), "0.125", 32767, "0.125");
}

TEST_F(RecorderTest, StoppedRecordingKeepsWhatWasWritten) {
    StartWith("M01");
    sensor->SetObject(1000, 2000, false);
    const std::string path = dir.File("STOP.DAT");
    ChooseNewFile(path);
    Plan(1000, 0.05);
    sensor->ClearRequests();
    TestLeftClickLater(0.4, pRec, RECORD_CBTNStopRecord);
    TestLeftClick(pRec, RECORD_CBTNStartRecord);

    const auto data = CheckHeader(ReadBytes(path), "0.05", 1000, FormatReal(ScaleFactor() / 16384.0));
    EXPECT_GE(data.size(), 2u);
    EXPECT_LT(data.size(), 20u);
    EXPECT_EQ(int(data.size()), Count());
    EXPECT_EQ(int(data.size()), RequestsOf(8));
    for (const auto& line : data) CheckDataLine(line);
    unsetenv("KRYTA_COM2");
    EXPECT_EQ(RecStatusText(), "DATA-RECORDER STOPPED!");
    EXPECT_EQ(GetCtrlTextBgColor(pRec, RECORD_TEXTBOXrecstatus), 0xFF0000);
    EXPECT_EQ(GetCtrlTextColor(pRec, RECORD_TEXTBOXrecstatus), 0xFFFFFF);
    EXPECT_TRUE(GetCtrlBold(pRec, RECORD_TEXTBOXrecstatus));
    EXPECT_EQ(Status(), "Data-Recorder stopped!");
    ExpectButtonsUndimmed();
}

TEST_F(RecorderTest, TimedOutSampleIsNotWritten) {
    StartWith("M01");
    sensor->SetObject(1000, 2000, false);
    const std::string path = dir.File("TIMEOUT.DAT");
    ChooseNewFile(path);
    Plan(50, 0.1);
    sensor->ClearRequests();
    static sim::Simulator* silent;
    silent = sensor.get();
    TestRunLater(0.35, [](void*) { silent->SetFault({sim::Fault::Silent, 8}); }, nullptr);
    const double start = Timer();
    TestLeftClick(pRec, RECORD_CBTNStartRecord);
    const double took = Timer() - start;

    const auto data = CheckHeader(ReadBytes(path), "0.1", 50, FormatReal(ScaleFactor() / 16384.0));
    EXPECT_GE(data.size(), 2u);
    for (const auto& line : data) CheckDataLine(line);
    EXPECT_EQ(int(data.size()), Count());
    EXPECT_EQ(int(data.size()) + 1, RequestsOf(8));  // the last request went unanswered
    EXPECT_GT(took, 1.5);
    EXPECT_TRUE(StatusSeen("Timeout RS232-Line!"));
    EXPECT_EQ(RecStatusText(), "DATA-REC. ERROR - TIMEOUT!");
    EXPECT_EQ(GetCtrlTextBgColor(pRec, RECORD_TEXTBOXrecstatus), 0xFF0000);
    EXPECT_EQ(Status(), "Data-Recorder error - rs232 timeout!");
    ExpectButtonsUndimmed();

    // A time-out on the last planned sample is still a time-out, not a completion.
    const std::string one = dir.File("ONE.DAT");
    ChooseNewFile(one);
    Plan(1, 0.0);
    TestLeftClick(pRec, RECORD_CBTNStartRecord);
    EXPECT_TRUE(CheckHeader(ReadBytes(one), "0.0", 1, FormatReal(ScaleFactor() / 16384.0)).empty());
    EXPECT_EQ(RecStatusText(), "DATA-REC. ERROR - TIMEOUT!");
    EXPECT_FALSE(StatusSeen("Data-Recorder completed successfully!"));

    // An answer that is not a measurement frame is no sample either: nothing decoded, written or
    // counted; passed over until the time-out, and said so.
    sensor->ClearFaults();
    sim::FaultSpec other;
    other.kind = sim::Fault::OtherCommand;
    other.command = 8;
    other.value = 2;
    sensor->SetFault(other);
    const std::string wrong = dir.File("WRONG.DAT");
    ChooseNewFile(wrong);
    Plan(3, 0.0);
    TestClearTextHistory();
    TestLeftClick(pRec, RECORD_CBTNStartRecord);
    EXPECT_TRUE(CheckHeader(ReadBytes(wrong), "0.0", 3, FormatReal(ScaleFactor() / 16384.0)).empty());
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(Status(), "No measurement frame (answer with command 2) - not recorded!");
    EXPECT_EQ(RecStatusText(), "DATA-REC. ERROR - ANSWER REFUSED!");
}

TEST_F(RecorderTest, UnwritableFileEndsTheRecordingAsAnError) {
    StartWith("M01");
    const std::string folder = dir.File("taken.dat");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    for (const std::string& path : {dir.File("no/such/folder/REC.DAT"), folder}) {
        SCOPED_TRACE(path);
        rec_fname = path;
        Plan(3, 0.0);
        sensor->ClearRequests();
        TestClearTextHistory();
        TestLeftClick(pRec, RECORD_CBTNStartRecord);
        EXPECT_EQ(RecStatusText(), "DATA-REC. ERROR - FILE!");
        EXPECT_EQ(Status(), "Data-Recorder error - cannot write recorder file!");
        EXPECT_FALSE(StatusSeen("Data-Recorder completed successfully!"));
        EXPECT_EQ(RequestsOf(8), 0);
        ExpectButtonsUndimmed();
    }

    // The file turns unwritable in the middle of a recording.
    sensor->SetObject(1000, 2000, false);
    const std::string path = dir.File("LATER.DAT");
    ChooseNewFile(path);
    Plan(200, 0.05);
    static std::string victim;
    victim = path;
    TestRunLater(0.3, [](void*) {
        std::filesystem::remove(victim);
        std::filesystem::create_directory(victim);
    }, nullptr);
    TestLeftClick(pRec, RECORD_CBTNStartRecord);
    EXPECT_EQ(RecStatusText(), "DATA-REC. ERROR - FILE!");
    EXPECT_EQ(Status(), "Data-Recorder error - cannot write recorder file!");
    EXPECT_LT(Count(), 200);
}

TEST_F(RecorderTest, ChoosingTheFile) {
    StartWith("M01");
    const std::string first = dir.File("FIRST.DAT");
    ChooseNewFile(first);
    TestClearDialogs();

    // Declining the overwrite keeps the previous file, as the box shows; the chosen file stays.
    const std::string existing = dir.File("OLD.DAT");
    WriteBytes(existing, "old data\r\n");
    TestQueueFileSelect(VAL_EXISTING_FILE_SELECTED, existing);
    TestQueueConfirm(0);
    TestLeftClick(pRec, RECORD_CMDBTNrecfile);
    EXPECT_EQ(rec_fname, first);
    EXPECT_EQ(TestCtrlText(pRec, RECORD_TEXTBOXrecfile), first);
    EXPECT_EQ(ReadBytes(existing), "old data\r\n");

    auto dialogs = TestDialogs();
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[0].title, "KRYTA-Series Recorder-File:");
    EXPECT_EQ(dialogs[0].buttonLabel, "OK");
    EXPECT_EQ(dialogs[0].defaultName, "RECORD.DAT");
    EXPECT_EQ(dialogs[0].filter, "*.dat");
    EXPECT_EQ(dialogs[0].defaultDir, proj_dir);
    EXPECT_EQ(dialogs[1].kind, "confirm");
    EXPECT_EQ(dialogs[1].title, "ATTENTION!");
    EXPECT_EQ(dialogs[1].message, "Output-File already exist! - Overwrite ?");

    // Yes deletes the old file and takes the new name.
    TestQueueFileSelect(VAL_EXISTING_FILE_SELECTED, existing);
    TestQueueConfirm(1);
    TestLeftClick(pRec, RECORD_CMDBTNrecfile);
    EXPECT_EQ(rec_fname, existing);
    EXPECT_EQ(TestCtrlText(pRec, RECORD_TEXTBOXrecfile), existing);
    struct stat st;
    EXPECT_NE(stat(existing.c_str(), &st), 0);

    // Cancel changes nothing.
    TestLeftClick(pRec, RECORD_CMDBTNrecfile);
    EXPECT_EQ(rec_fname, existing);
    EXPECT_EQ(TestCtrlText(pRec, RECORD_TEXTBOXrecfile), existing);
}

TEST_F(RecorderTest, APortChangeKeepsTheChosenFile) {
    StartWith("M01");
    const std::string path = dir.File("CHOSEN.DAT");
    ChooseNewFile(path);
    SetCtrlVal(pHandle, PANEL_DropDCom, 1);
    TestFireEvent(pHandle, PANEL_DropDCom, EVENT_COMMIT);
    ASSERT_EQ(Status(), sensor->model().firmwareText);  // connected anew
    EXPECT_EQ(rec_fname, path);
    EXPECT_EQ(TestCtrlText(pRec, RECORD_TEXTBOXrecfile), path);
}

TEST_F(RecorderTest, ExistingFileAtTheStart) {
    StartWith("M01");
    sensor->SetObject(1000, 2000, false);
    const std::string path = dir.File("AGAIN.DAT");
    rec_fname = path;
    WriteBytes(path, "earlier recording\r\n");
    Plan(2, 0.0);
    sensor->ClearRequests();
    TestClearDialogs();
    TestQueueConfirm(0);
    TestLeftClick(pRec, RECORD_CBTNStartRecord);
    EXPECT_EQ(ReadBytes(path), "earlier recording\r\n");
    EXPECT_EQ(RequestsOf(8), 0);
    auto dialogs = TestDialogs();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].title, "ATTENTION !");
    EXPECT_EQ(dialogs[0].message, "File already exist - overwrite ?");

    TestQueueConfirm(1);
    TestLeftClick(pRec, RECORD_CBTNStartRecord);
    const auto data = CheckHeader(ReadBytes(path), "0.0", 2, FormatReal(ScaleFactor() / 16384.0));
    EXPECT_EQ(data.size(), 2u);
}

TEST_F(RecorderTest, PlannedTimeAndServiceValue) {
    StartWith("M01");
    auto shown = [&] {
        int32_t d = -1, h = -1, m = -1, s = -1;
        GetCtrlVal(pRec, RECORD_NUMrecday, d);
        GetCtrlVal(pRec, RECORD_NUMrechour, h);
        GetCtrlVal(pRec, RECORD_NUMrecmin, m);
        GetCtrlVal(pRec, RECORD_NUMrecsec, s);
        return std::to_string(d) + "/" + std::to_string(h) + "/" + std::to_string(m) + "/" + std::to_string(s);
    };
    TestUserSetValue(pRec, RECORD_NUMinctime, 1.0);
    TestUserSetValue(pRec, RECORD_NUMsample, 11);
    TestUserSetValue(pRec, RECORD_NUMsample, 10);
    EXPECT_EQ(shown(), "0/0/0/10");
    TestUserSetValue(pRec, RECORD_NUMinctime, 2.5);
    EXPECT_EQ(shown(), "0/0/0/25");

    // 3600 s or more does not update from the increment; the sample count then does.
    TestUserSetValue(pRec, RECORD_NUMinctime, 90061.0);
    EXPECT_EQ(shown(), "0/0/0/25");
    TestUserSetValue(pRec, RECORD_NUMsample, 1);
    EXPECT_EQ(shown(), "1/1/1/1");
    // 32000 samples or more do not update.
    TestUserSetValue(pRec, RECORD_NUMinctime, 1.0);
    EXPECT_EQ(shown(), "0/0/0/1");
    TestUserSetValue(pRec, RECORD_NUMsample, 32000);
    EXPECT_EQ(shown(), "0/0/0/1");
    TestUserSetValue(pRec, RECORD_NUMsample, 31999);
    EXPECT_EQ(shown(), "0/8/53/19");
    CalcRecTime(86399);
    EXPECT_EQ(shown(), "0/23/59/59");

    // The service value reveals the X-FLASH control.
    EXPECT_FALSE(GetCtrlVisible(pCalib, CALIB_BTNWriteXFLASH));
    EXPECT_TRUE(GetCtrlDimmed(pCalib, CALIB_NUMCalFactor));
    TestUserSetValue(pRec, RECORD_NUMinctime, 8642.5);
    EXPECT_FALSE(GetCtrlVisible(pCalib, CALIB_BTNWriteXFLASH));
    TestUserSetValue(pRec, RECORD_NUMinctime, 8642.0);
    EXPECT_TRUE(GetCtrlVisible(pCalib, CALIB_BTNWriteXFLASH));
    EXPECT_FALSE(GetCtrlDimmed(pCalib, CALIB_BTNWriteXFLASH));
    EXPECT_FALSE(GetCtrlDimmed(pCalib, CALIB_NUMCalFactor));
}

TEST_F(RecorderTest, RefusedWhileAnotherExchangeWaits) {
    StartWith("M01");
    const std::string path = dir.File("BUSY.DAT");
    ChooseNewFile(path);
    Plan(3, 0.0);
    sensor->SetFault({sim::Fault::Delay, 2, 0.8});  // a GET that waits for its answer
    TestUserSetValue(pHandle, PANEL_RBTRam, 1);
    TestLeftClickLater(0.2, pRec, RECORD_CBTNStartRecord);
    TestLeftClick(pHandle, PANEL_BTNGet);
    EXPECT_TRUE(StatusSeen(kBusyText));
    struct stat st;
    EXPECT_NE(stat(path.c_str(), &st), 0);
}

namespace {

void TryAnotherFile(void*) { TestFireEvent(pRec, RECORD_CMDBTNrecfile, EVENT_COMMIT); }
void PickPortTwo(void*) { TestUserSetValue(pHandle, PANEL_DropDCom, 2); }

}  // namespace

// The file of a running recording is not replaced; a port change ends the recording with every
// sample so far on disk; a file that cannot be deleted for the overwrite records nothing.
TEST_F(RecorderTest, TheRecordingsFileStaysWhole) {
    StartWith("M01");
    sensor->SetObject(1000, 2000, false);
    const std::string path = dir.File("RUN.DAT");
    ChooseNewFile(path);
    Plan(100, 0.05);
    setenv("KRYTA_COM2", "/dev/kryta-no-such-device", 1);
    TestQueueFileSelect(VAL_NEW_FILE_SELECTED, dir.File("OTHER.DAT"));
    TestRunLater(0.3, TryAnotherFile, nullptr);
    TestRunLater(0.6, PickPortTwo, nullptr);
    TestLeftClick(pRec, RECORD_CBTNStartRecord);
    EXPECT_TRUE(StatusSeen("Recording runs - the recorder file cannot be changed now!"));
    EXPECT_EQ(TestPendingDialogAnswers(), 1);  // no dialog opened
    TestQueueFileSelect(VAL_NO_FILE_SELECTED, "");
    unsetenv("KRYTA_COM2");
    EXPECT_EQ(RecStatusText(), "DATA-RECORDER STOPPED!");
    const auto data = CheckHeader(ReadBytes(path), "0.05", 100, FormatReal(ScaleFactor() / 16384.0));
    EXPECT_GT(data.size(), 2u);
    EXPECT_LT(data.size(), 30u);
    EXPECT_EQ(int(data.size()), Count());
    for (const auto& line : data) CheckDataLine(line);

    // "overwrite ?" answered yes, and the old file cannot go: said, and nothing recorded
    TearDown();
    StartWith("M01");
    rec_fname = "/proc/version";
    sensor->ClearRequests();
    TestQueueConfirm(1);
    TestLeftClick(pRec, RECORD_CBTNStartRecord);
    EXPECT_EQ(Status().rfind("Cannot delete /proc/version: ", 0), 0u) << Status();
    EXPECT_EQ(RequestsOf(8), 0);
    EXPECT_FALSE(GetCtrlDimmed(pRec, RECORD_CBTNStartRecord));
}
