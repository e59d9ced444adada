// The linearisation table and its X-FLASH write against the running program and a simulated sensor.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/files.h"
#include "files_test_util.h"
#include "fixture.h"
#include "link/com232.h"
#include "params/origin.h"
#include "params/status.h"
#include "platform/rs232.h"
#include "platform/utility.h"
#include "sensor/vars.h"

namespace {

class XFlashTest : public ProgramTest {
protected:
    TempDir dir;

    static std::string TableText(const std::vector<long>& values) {
        std::string text;
        for (long v : values) text += std::to_string(v) + "\r\n";
        return text;
    }
    // A table with the corner values 0, 1 and 65535 and a pattern that tells positions apart.
    static std::vector<long> Table(int n) {
        std::vector<long> v(n);
        for (int i = 0; i < n; ++i) v[i] = (long(i) * 7919 + 13) % 65536;
        v[0] = 1;
        v[1] = 0;
        v[2] = 65535;
        v[3] = 32768;
        return v;
    }
    static uint16_t Mapped(long v) { return uint16_t((v + 32767) % 65536); }

    void Reveal() {
        SetCtrlVal(pRec, RECORD_NUMinctime, 1.0);  // so that entering the service value is a change
        TestUserSetValue(pRec, RECORD_NUMinctime, 8642.0);
        ASSERT_TRUE(GetCtrlVisible(pCalib, CALIB_BTNWriteXFLASH));
    }
    void WriteTable(const std::string& path) {
        Reveal();
        TestQueueFileSelect(VAL_EXISTING_FILE_SELECTED, path);
        TestLeftClick(pCalib, CALIB_BTNWriteXFLASH);
    }
    void ExpectHiddenAgain() {
        EXPECT_FALSE(GetCtrlVisible(pCalib, CALIB_BTNWriteXFLASH));
        EXPECT_TRUE(GetCtrlDimmed(pCalib, CALIB_NUMCalFactor));
    }
    std::vector<sim::Request> Requests(int command) {
        std::vector<sim::Request> out;
        for (const auto& r : sensor->Requests())
            if (r.word(1) == command) out.push_back(r);
        return out;
    }
    bool StatusSeen(const std::string& text) {
        for (const auto& s : TestTextHistory(pHandle, PANEL_STRStatus))
            if (s == text) return true;
        return false;
    }

    // The whole sequence on the line and in the sensor for a table of n values.
    void CheckWrite(const std::vector<long>& table) {
        const int n = int(table.size());
        const int lastPage = 2 + n / 256 - 1;
        const auto clears = Requests(101);
        ASSERT_EQ(clears.size(), 1u);
        for (int w = 3; w < 18; ++w) EXPECT_EQ(clears[0].word(w), 0x00AA);
        EXPECT_EQ(clears[0].word(0), 0x0055);
        EXPECT_EQ(clears[0].word(2), 0);
        const auto all = sensor->Requests();
        ASSERT_FALSE(all.empty());
        const auto writes = Requests(102);
        ASSERT_EQ(int(writes.size()), n / 8);
        int i = 0;
        for (int page = 2; page <= lastPage; ++page) {
            for (int offset = 0; offset < 256; offset += 8, ++i) {
                const auto& r = writes[i];
                ASSERT_EQ(r.word(2), offset) << "frame " << i;
                ASSERT_EQ(r.word(3), page) << "frame " << i;
                for (int k = 0; k < 8; ++k)
                    ASSERT_EQ(r.word(4 + k), Mapped(table[(page - 2) * 256 + offset + k])) << "frame " << i;
                for (int w = 12; w < 18; ++w) ASSERT_EQ(r.word(w), 0x00AA) << "frame " << i;
            }
        }
        // The clear comes first, then only the writes.
        size_t first = 0;
        while (first < all.size() && all[first].word(1) != 101) ++first;
        EXPECT_EQ(all.size() - first, size_t(1 + n / 8));
        for (int page = 2; page <= lastPage; ++page) {
            const auto got = sensor->XFlashPage(page);
            ASSERT_EQ(got.size(), 256u);
            for (int k = 0; k < 256; ++k)
                ASSERT_EQ(got[k], Mapped(table[(page - 2) * 256 + k])) << "page " << page << " word " << k;
        }
        EXPECT_EQ(parameter[1], 102);
    }
};

}  // namespace

TEST_F(XFlashTest, FullTableOfAnotherSensor) {
    StartWith("M01");
    ASSERT_NE(hwtype, 400);
    const auto table = Table(2048);
    const std::string path = dir.File("XF-LINEAR.DAT");
    WriteBytes(path, TableText(table));
    sensor->ClearRequests();
    TestClearTextHistory();
    WriteTable(path);
    CheckWrite(table);
    EXPECT_EQ(linArray[0], 32768);  // file value 1
    EXPECT_EQ(linArray[1], 32767);  // file value 0
    EXPECT_EQ(linArray[2], 32766);  // file value 65535

    EXPECT_TRUE(StatusSeen("clearing X-FLASH..."));
    EXPECT_TRUE(StatusSeen("X-FLASH-cleared!"));
    EXPECT_TRUE(StatusSeen("X-FLASH-write OK: PAGE2 ..."));
    EXPECT_TRUE(StatusSeen("X-FLASH-write OK: PAGE9 ..."));
    EXPECT_EQ(Status(), "X-FLASH Data successfully written!");
    int32_t index = -1;
    GetCtrlVal(pHandle, PANEL_NUManaMax, index);
    EXPECT_EQ(index, 2040);

    const auto g = TestGraphModel(pHandle, PANEL_GRAPHVideoBar);
    EXPECT_EQ(g.xAxis.mode, VAL_MANUAL);
    EXPECT_DOUBLE_EQ(g.xAxis.min, 1);
    EXPECT_DOUBLE_EQ(g.xAxis.max, ccdvirtpixel);
    // one progress bar, replaced as it grew (the graph does not pile up a bar per frame), then the
    // grey bar of the whole table
    ASSERT_EQ(g.plots.size(), 2u);
    const auto& bar = g.plots[0];
    EXPECT_TRUE(bar.rectangle);
    EXPECT_DOUBLE_EQ(bar.x2, 2032);  // page 9, offset 240: the frame before the last
    EXPECT_EQ(bar.fillColor, 0x00FF00);
    const auto& last = g.plots.back();
    EXPECT_TRUE(last.rectangle);
    EXPECT_DOUBLE_EQ(last.x1, 1);
    EXPECT_DOUBLE_EQ(last.y1, 0);
    EXPECT_DOUBLE_EQ(last.x2, ccdsubpixel);
    EXPECT_DOUBLE_EQ(last.y2, 1.0);
    EXPECT_EQ(last.color, 0xA0A0A0);
    EXPECT_EQ(last.fillColor, 0xA0A0A0);
    ExpectHiddenAgain();
}

TEST_F(XFlashTest, HalfTableForHardwareCode400) {
    StartWith("M03");
    hwtype = 400;  // no simulated model carries this code
    const auto table = Table(1024);
    const std::string path = dir.File("XF400.DAT");
    WriteBytes(path, TableText(table));
    sensor->ClearRequests();
    TestClearTextHistory();
    WriteTable(path);
    CheckWrite(table);
    for (int page = 6; page <= 9; ++page) {
        const auto got = sensor->XFlashPage(page);
        for (uint16_t w : got) ASSERT_EQ(w, 0xFFFF) << "page " << page << " stays erased";
    }
    EXPECT_FALSE(StatusSeen("X-FLASH-write OK: PAGE6 ..."));
    // the last frame is page 5's: the completion message belongs to page 9
    EXPECT_EQ(Status(), "X-FLASH-write OK: PAGE5 ...");
    EXPECT_FALSE(StatusSeen("X-FLASH Data successfully written!"));
    const auto g = TestGraphModel(pHandle, PANEL_GRAPHVideoBar);
    ASSERT_FALSE(g.plots.empty());
    EXPECT_EQ(g.plots.back().fillColor, 0x00FF00);
    EXPECT_DOUBLE_EQ(g.plots.back().x2, 1016);
    ExpectHiddenAgain();
}

TEST_F(XFlashTest, UnansweredFramesAreCountedNotReportedAsSuccess) {
    StartWith("M01");
    const auto table = Table(2048);
    const std::string path = dir.File("XF.DAT");
    WriteBytes(path, TableText(table));
    sim::FaultSpec silentClear{sim::Fault::Silent, 101};
    silentClear.times = 1;
    sim::FaultSpec silentWrites{sim::Fault::Silent, 102};
    silentWrites.times = 2;
    sensor->SetFault(silentClear);
    sensor->SetFault(silentWrites);
    sensor->ClearRequests();
    TestClearTextHistory();
    WriteTable(path);
    EXPECT_EQ(Requests(102).size(), 256u);  // a time-out does not end the sequence
    EXPECT_TRUE(StatusSeen("Timeout-RS-232..."));
    EXPECT_FALSE(StatusSeen("X-FLASH Data successfully written!"));
    EXPECT_EQ(Status(), "X-FLASH write incomplete: 3 frames not confirmed!");
    ExpectHiddenAgain();
}

TEST_F(XFlashTest, BadFilesAndCancelSendNothing) {
    StartWith("M01");
    for (auto& e : linArray) e = 4711;
    const auto before = linArray;
    struct Case {
        std::string name, content, status;
    };
    auto table = Table(2048);
    auto withBad = [&](const std::string& bad) {
        std::string t = TableText(table);
        return t + bad + "\r\n";
    };
    table.resize(2047);
    const std::vector<Case> cases = {
        {"short.dat", TableText(Table(1024)), "Linearisation file holds 1024 values, 2048 are needed - nothing written!"},
        {"long.dat", TableText(Table(2048)) + "5\r\n", "Linearisation file holds 2049 values, 2048 are needed - nothing written!"},
        {"word.dat", TableText(std::vector<long>{1, 2}) + "x3\r\n" + TableText(Table(2048)),
         "Linearisation file line 3 holds 'x3' - nothing written!"},
        {"big.dat", withBad("65536"), "Linearisation file line 2048: 65536 not in 0...65535 - nothing written!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(c.name);
        WriteBytes(path, c.content);
        sensor->ClearRequests();
        WriteTable(path);
        ProcessSystemEvents();
        EXPECT_TRUE(sensor->Requests().empty());
        EXPECT_EQ(linArray, before);
        EXPECT_EQ(Status(), c.status);
        ExpectHiddenAgain();
    }

    // Cancelled dialog: nothing sent, nothing loaded, the control hidden again.
    Reveal();
    TestClearDialogs();
    sensor->ClearRequests();
    TestLeftClick(pCalib, CALIB_BTNWriteXFLASH);
    ProcessSystemEvents();
    EXPECT_TRUE(sensor->Requests().empty());
    EXPECT_EQ(linArray, before);
    ExpectHiddenAgain();
    const auto dialogs = TestDialogs();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].title, "KRYTA-LT-Series-Linearisation-File");
    EXPECT_EQ(dialogs[0].buttonLabel, "Load");
    EXPECT_EQ(dialogs[0].defaultName, "XF-LINEAR.DAT");
    EXPECT_EQ(dialogs[0].filter, "*.dat");
    EXPECT_EQ(dialogs[0].defaultDir, proj_dir);
}

TEST_F(XFlashTest, ReadButtonOnlyPreparesTheEdgeGraph) {
    StartWith("M19");
    PlotRectangle(pHandle, PANEL_GRAPHVideoBar, 1, 0, 100, 1, 0xFF0000, 0xFF0000);
    sensor->ClearRequests();
    TestLeftClick(pCalib, CALIB_BTNReadXFLASH);
    const auto g = TestGraphModel(pHandle, PANEL_GRAPHVideoBar);
    EXPECT_TRUE(g.plots.empty());
    EXPECT_EQ(g.xAxis.mode, VAL_MANUAL);
    EXPECT_DOUBLE_EQ(g.xAxis.min, 1);
    EXPECT_DOUBLE_EQ(g.xAxis.max, sensor->model().ccdsubpixel);
    ProcessSystemEvents();
    EXPECT_TRUE(sensor->Requests().empty());
}

TEST_F(XFlashTest, RefusedWhileAnotherExchangeWaits) {
    StartWith("M01");
    const std::string path = dir.File("XF.DAT");
    WriteBytes(path, TableText(Table(2048)));
    Reveal();
    sensor->SetFault({sim::Fault::Delay, 2, 0.8});
    TestUserSetValue(pHandle, PANEL_RBTRam, 1);
    TestLeftClickLater(0.2, pCalib, CALIB_BTNWriteXFLASH);
    sensor->ClearRequests();
    TestLeftClick(pHandle, PANEL_BTNGet);
    EXPECT_TRUE(StatusSeen(kBusyText));
    EXPECT_TRUE(Requests(101).empty());
    EXPECT_TRUE(Requests(102).empty());
}

namespace {

// What ends a running X-FLASH write, acting from inside its waits.
struct Interruption {
    sim::Simulator* sensor;
    sim::Simulator* second;
};
void PickPortTwo(void*) { TestUserSetValue(pHandle, PANEL_DropDCom, 2); }
void PressStop(void*) { TestLeftClick(pHandle, PANEL_BTNStop); }
void Unplug(void* s) { static_cast<sim::Simulator*>(s)->Unplug(); }
void CloseWindow(void*) { TestClosePanel(pHandle); }
void RunEventsFor(double seconds) {
    for (const double end = Timer() + seconds; Timer() < end;) ProcessSystemEvents();
}

}  // namespace

// STOP, a lost line, a port change and the window's close each end the write at once: nothing of
// the table goes on afterwards, nowhere, and the status line says the table is incomplete.
TEST_F(XFlashTest, StopLostLinePortChangeAndCloseEndTheWriteAtOnce) {
    const std::string path = dir.File("XF.DAT");
    WriteBytes(path, TableText(Table(2048)));
    struct Case {
        const char* name;
        void (*act)(void*);
        const char* ends;  // the start of the status text the write ends with
    };
    const Case cases[] = {
        {"stop", PressStop, "X-FLASH write stopped after "},
        {"unplug", Unplug, "RS232-Line lost after "},
        {"port change", PickPortTwo, "X-FLASH write interrupted after "},
        {"close", CloseWindow, "X-FLASH write interrupted after "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Simulator second("M01", false);
        ASSERT_TRUE(second.Start());
        setenv("KRYTA_COM2", second.DevicePath().c_str(), 1);
        StartWith("M01");
        sensor->SetFault({sim::Fault::Delay, 102, 0.02});  // about 5 s for the whole table
        TestClearTextHistory();
        TestRunLater(0.5, c.act, sensor.get());
        const double t0 = Timer();
        WriteTable(path);
        EXPECT_LT(Timer() - t0, 2.5);
        // the status line ends with it, also after the connect sequence on the port picked
        ASSERT_EQ(Status().rfind(c.ends, 0), 0u) << Status();
        EXPECT_NE(Status().find(" of 256 "), std::string::npos) << Status();
        // the frames it says were written reach the sensor (an unplugged line may swallow the last
        // one), however late the sensor reads them, and none after them
        const size_t written = std::stoul(Status().substr(std::string(c.ends).size()));
        EXPECT_GT(written, 0u);
        EXPECT_LT(written, 100u);
        for (int i = 0; i < 500 && Requests(102).size() < written && c.act != Unplug; ++i) RunEventsFor(0.01);
        RunEventsFor(0.5);
        if (c.act == Unplug) {
            EXPECT_LE(Requests(102).size(), written);
        } else {
            EXPECT_EQ(Requests(102).size(), written);
        }
        for (const auto& r : second.Requests()) EXPECT_LT(r.word(1), 101) << "X-FLASH frame on port 2";
        if (c.act == PickPortTwo) {
            EXPECT_EQ(com, 2);
            EXPECT_EQ(ident_flag, 1);  // port 2's sensor was identified after the write ended
            EXPECT_FALSE(second.Requests().empty());
        }
        ExpectHiddenAgain();
        TearDown();
        unsetenv("KRYTA_COM2");
    }
}

TEST_F(XFlashTest, AnswersWithoutTheSyncWordConfirmNothing) {
    StartWith("M01");
    const std::string path = dir.File("XF.DAT");
    WriteBytes(path, TableText(Table(2048)));
    sim::FaultSpec wrongSync{sim::Fault::WrongSync, 102};
    wrongSync.times = 2;
    sensor->SetFault(wrongSync);
    TestClearTextHistory();
    WriteTable(path);
    EXPECT_EQ(Requests(102).size(), 256u);
    EXPECT_FALSE(StatusSeen("X-FLASH Data successfully written!"));
    EXPECT_EQ(Status(), "X-FLASH write incomplete: 2 frames not confirmed!");
}
