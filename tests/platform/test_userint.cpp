// Panels, controls, events and dialogs of the run-time layer, on a small resource file of the
// tests' own and on the program's real resource file.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/internal.h"
#include "support/testing.h"
#include "platform/userint.h"
#include "ui/uir.h"

namespace {

// Main panel (resource 2, top-level) and parameter page 1 (resource 3, child); no panel 4.
const char* kUi = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0">
 <class>uir</class>
 <widget class="QTabWidget" name="uir">
  <property name="geometry"><rect><x>0</x><y>0</y><width>900</width><height>700</height></rect></property>
  <widget class="QWidget" name="panel2">
   <property name="geometry"><rect><x>0</x><y>0</y><width>640</width><height>480</height></rect></property>
   <widget class="QPushButton" name="BTNRun">
    <property name="geometry"><rect><x>10</x><y>20</y><width>100</width><height>30</height></rect></property>
    <property name="text"><string>RUN</string></property>
   </widget>
   <widget class="QPushButton" name="TOGGBTN_Para1">
    <property name="geometry"><rect><x>10</x><y>60</y><width>100</width><height>30</height></rect></property>
    <property name="text"><string>PAGE 1</string></property>
    <property name="checkable"><bool>true</bool></property>
   </widget>
   <widget class="QRadioButton" name="RBTRam">
    <property name="geometry"><rect><x>10</x><y>100</y><width>100</width><height>20</height></rect></property>
    <property name="text"><string>RAM</string></property>
    <property name="autoExclusive"><bool>false</bool></property>
   </widget>
   <widget class="QLabel" name="DropDCom_label">
    <property name="geometry"><rect><x>130</x><y>4</y><width>80</width><height>16</height></rect></property>
    <property name="text"><string>PORT</string></property>
   </widget>
   <widget class="QComboBox" name="DropDCom">
    <property name="geometry"><rect><x>130</x><y>20</y><width>100</width><height>24</height></rect></property>
    <property name="itemValues" stdset="0"><string>1,2,4</string></property>
    <item><property name="text"><string>one</string></property></item>
    <item><property name="text"><string>two</string></property></item>
    <item><property name="text"><string>four</string></property></item>
   </widget>
   <widget class="QLabel" name="NEDITEdgeLeft_label">
    <property name="geometry"><rect><x>130</x><y>44</y><width>80</width><height>16</height></rect></property>
    <property name="text"><string>E-BEG</string></property>
   </widget>
   <widget class="QSpinBox" name="NEDITEdgeLeft">
    <property name="geometry"><rect><x>130</x><y>60</y><width>100</width><height>24</height></rect></property>
    <property name="maximum"><number>1024</number></property>
   </widget>
   <widget class="QSpinBox" name="NEDITEdgeRight">
    <property name="geometry"><rect><x>130</x><y>90</y><width>100</width><height>24</height></rect></property>
    <property name="minimum"><number>-100000</number></property>
    <property name="maximum"><number>100000</number></property>
   </widget>
   <widget class="QDoubleSpinBox" name="NUMumValue">
    <property name="geometry"><rect><x>130</x><y>120</y><width>100</width><height>24</height></rect></property>
    <property name="decimals"><number>3</number></property>
    <property name="maximum"><double>100000.0</double></property>
   </widget>
   <widget class="QLabel" name="HelpText1">
    <property name="geometry"><rect><x>300</x><y>20</y><width>200</width><height>60</height></rect></property>
    <property name="text"><string>HELPTEXT1</string></property>
   </widget>
   <widget class="QLineEdit" name="STRStatus">
    <property name="geometry"><rect><x>10</x><y>440</y><width>600</width><height>24</height></rect></property>
    <property name="readOnly"><bool>true</bool></property>
   </widget>
   <widget class="QLabel" name="PICTLogo">
    <property name="geometry"><rect><x>300</x><y>100</y><width>100</width><height>50</height></rect></property>
   </widget>
   <widget class="QFrame" name="DECOBanner">
    <property name="geometry"><rect><x>0</x><y>0</y><width>5</width><height>5</height></rect></property>
   </widget>
   <widget class="GraphWidget" name="GRAPHVideo">
    <property name="geometry"><rect><x>300</x><y>200</y><width>300</width><height>200</height></rect></property>
   </widget>
  </widget>
  <widget class="QWidget" name="panel3">
   <property name="geometry"><rect><x>0</x><y>0</y><width>400</width><height>200</height></rect></property>
   <widget class="QCheckBox" name="BINSWoption">
    <property name="geometry"><rect><x>10</x><y>10</y><width>120</width><height>20</height></rect></property>
    <property name="text"><string>OPTION</string></property>
   </widget>
   <widget class="QComboBox" name="DROPhold">
    <property name="geometry"><rect><x>10</x><y>40</y><width>120</width><height>24</height></rect></property>
    <item><property name="text"><string>a</string></property></item>
    <item><property name="text"><string>b</string></property></item>
   </widget>
  </widget>
  <widget class="QWidget" name="panel5">
   <property name="geometry"><rect><x>0</x><y>0</y><width>400</width><height>200</height></rect></property>
   <widget class="QPlainTextEdit" name="TEXTBOXrecfile">
    <property name="geometry"><rect><x>10</x><y>10</y><width>300</width><height>80</height></rect></property>
    <property name="readOnly"><bool>true</bool></property>
   </widget>
  </widget>
  <widget class="QWidget" name="panel4">
   <property name="geometry"><rect><x>0</x><y>0</y><width>400</width><height>200</height></rect></property>
   <widget class="QSlider" name="SLIDEpower">
    <property name="geometry"><rect><x>10</x><y>10</y><width>200</width><height>24</height></rect></property>
    <property name="orientation"><enum>Qt::Horizontal</enum></property>
    <property name="maximum"><number>1000</number></property>
   </widget>
  </widget>
 </widget>
 <customwidgets>
  <customwidget><class>GraphWidget</class><extends>QWidget</extends><header>platform/graph.h</header><container>0</container></customwidget>
 </customwidgets>
</ui>
)";

struct Seen {
    int panel, control, event;
    double value;  // the control's value read inside the callback
};
std::vector<Seen> g_seen;

int Record(int panel, int control, int event, void*, int, int) {
    double v = -1;
    if (control != 0) GetCtrlVal(panel, control, v);
    g_seen.push_back({panel, control, event, v});
    return 0;
}

std::vector<int> g_panelEvents;
int RecordPanel(int, int control, int event, void*, int, int) {
    g_panelEvents.push_back(control == 0 ? event : -1);
    return 0;
}

std::vector<int> Events(int control) {
    std::vector<int> out;
    for (const Seen& s : g_seen)
        if (s.control == control) out.push_back(s.event);
    return out;
}

class UserInterface : public ::testing::Test {
protected:
    static QTemporaryDir* dir;
    static std::string uiPath;
    int main = 0, page1 = 0;

    static void SetUpTestSuite() {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char arg0[] = "test_platform";
        static char* argv[] = {arg0, nullptr};
        ASSERT_TRUE(InitUserInterface(argc, argv));
        dir = new QTemporaryDir;
        uiPath = (dir->path() + "/test.uir").toStdString();
        QFile f(QString::fromStdString(uiPath));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(kUi);
    }
    static void TearDownTestSuite() {
        delete dir;  // and the folder with it
        dir = nullptr;
    }
    void SetUp() override {
        main = LoadPanel(0, uiPath, PANEL);
        ASSERT_GT(main, 0);
        page1 = LoadPanel(main, uiPath, PARA1);
        ASSERT_GT(page1, 0);
        for (int id = 0; id < CTRL_COUNT; ++id) {
            InstallCtrlCallback(main, id, Record, nullptr);
            InstallCtrlCallback(page1, id, Record, nullptr);
        }
        InstallPanelCallback(main, RecordPanel, nullptr);
        DisplayPanel(main);
        DisplayPanel(page1);
        g_seen.clear();
        g_panelEvents.clear();
        TestClearTextHistory();
        TestClearDialogs();
    }
    void TearDown() override {
        DiscardPanel(main);
        TestSetDialogMode(false);
    }
};
QTemporaryDir* UserInterface::dir = nullptr;
std::string UserInterface::uiPath;

TEST_F(UserInterface, LoadingPanelsAndTheirFailures) {
    EXPECT_LT(LoadPanel(0, dir->path().toStdString() + "/missing.uir", PANEL), 0);
    QFile junk(dir->path() + "/junk.uir");
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("this is no user-interface file");
    junk.close();
    EXPECT_LT(LoadPanel(0, junk.fileName().toStdString(), PANEL), 0);
    EXPECT_LT(LoadPanel(0, uiPath, CALIB), 0);       // the file holds no panel 1
    EXPECT_LT(LoadPanel(9999, uiPath, PARA2), 0);    // no such parent panel

    // The main panel is a window of the panel's size with the program's title.
    QWidget* w = kryta::PanelWidget(main);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isWindow());
    EXPECT_EQ(w->windowTitle().toStdString(), "KRYTA-LT-Scope");
    EXPECT_EQ(w->size(), QSize(640, 480));
    EXPECT_EQ(w->minimumSize(), w->maximumSize());

    // A page lives inside its parent and stays hidden until displayed.
    int page2 = LoadPanel(main, uiPath, PARA2);
    ASSERT_GT(page2, 0);
    EXPECT_NE(page2, main);
    EXPECT_NE(page2, page1);
    EXPECT_EQ(kryta::PanelWidget(page2)->parentWidget(), w);
    EXPECT_FALSE(IsPanelVisible(page2));
    EXPECT_EQ(DisplayPanel(page2), 0);
    EXPECT_TRUE(IsPanelVisible(page2));
    EXPECT_EQ(SetPanelPos(page2, 105, 8), 0);
    int top = 0, left = 0;
    EXPECT_EQ(GetPanelPos(page2, top, left), 0);
    EXPECT_EQ(top, 105);
    EXPECT_EQ(left, 8);
    EXPECT_EQ(HidePanel(page2), 0);
    EXPECT_FALSE(IsPanelVisible(page2));

    // Controls of the panel's resource are found; those of other panels are not.
    EXPECT_TRUE(TestCtrlExists(main, PANEL_BTNRun));
    EXPECT_FALSE(TestCtrlExists(main, PARA1_BINSWoption));
    EXPECT_TRUE(TestCtrlExists(page1, PARA1_BINSWoption));
    EXPECT_EQ(TestPanelFromControl(PARA2_SLIDEpower), page2);

    // Discarding a panel takes its pages with it.
    EXPECT_EQ(DiscardPanel(page2), 0);
    EXPECT_LT(DisplayPanel(page2), 0);
    EXPECT_LT(SetCtrlVal(page2, PARA2_SLIDEpower, 1), 0);
    EXPECT_LT(DiscardPanel(page2), 0);
    int other = LoadPanel(0, uiPath, PANEL);
    int otherPage = LoadPanel(other, uiPath, PARA2);
    ASSERT_GT(otherPage, 0);
    EXPECT_EQ(DiscardPanel(other), 0);
    EXPECT_FALSE(TestCtrlExists(otherPage, PARA2_SLIDEpower));
    EXPECT_EQ(TestPanelFromControl(PARA2_SLIDEpower), -1);
}

TEST_F(UserInterface, ButtonsTogglesAndRadiosDeliverTheirEvents) {
    // The RUN button has control id 0; its events are its own, not the panel's.
    ASSERT_EQ(PANEL_BTNRun, 0);
    TestLeftClick(main, PANEL_BTNRun);
    EXPECT_EQ(Events(PANEL_BTNRun), (std::vector<int>{EVENT_LEFT_CLICK, EVENT_COMMIT}));
    EXPECT_TRUE(g_panelEvents.empty());
    g_seen.clear();
    TestRightClick(main, PANEL_BTNRun);
    EXPECT_EQ(Events(PANEL_BTNRun), (std::vector<int>{EVENT_RIGHT_CLICK}));
    g_seen.clear();
    TestKeyPress(main, PANEL_BTNRun);
    EXPECT_EQ(Events(PANEL_BTNRun), (std::vector<int>{EVENT_KEYPRESS}));

    // The toggle's callback reads its new state; a second click turns it off again.
    g_seen.clear();
    TestLeftClick(main, PANEL_TOGGBTN_Para1);
    ASSERT_EQ(Events(PANEL_TOGGBTN_Para1), (std::vector<int>{EVENT_LEFT_CLICK, EVENT_VAL_CHANGED, EVENT_COMMIT}));
    EXPECT_EQ(g_seen[0].value, 0);
    EXPECT_EQ(g_seen[1].value, 1);
    g_seen.clear();
    TestLeftClick(main, PANEL_TOGGBTN_Para1);
    ASSERT_EQ(g_seen.size(), 3u);
    EXPECT_EQ(g_seen[1].value, 0);

    // Radio buttons are not exclusive by themselves: a click on one that is on turns it off.
    SetCtrlVal(main, PANEL_RBTRam, 1);
    g_seen.clear();
    TestUserSetValue(main, PANEL_RBTRam, 0);
    ASSERT_EQ(Events(PANEL_RBTRam), (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    EXPECT_EQ(g_seen[0].value, 0);
    g_seen.clear();
    TestUserSetValue(main, PANEL_RBTRam, 0);  // already off: no action
    EXPECT_TRUE(g_seen.empty());

    // Dimmed or hidden controls take no clicks.
    SetCtrlDimmed(main, PANEL_BTNRun, true);
    g_seen.clear();
    TestLeftClick(main, PANEL_BTNRun);
    TestRightClick(main, PANEL_BTNRun);
    EXPECT_TRUE(g_seen.empty());
    SetCtrlDimmed(main, PANEL_BTNRun, false);
    SetCtrlVisible(main, PANEL_BTNRun, false);
    TestLeftClick(main, PANEL_BTNRun);
    EXPECT_TRUE(g_seen.empty());

    // Calling the callback directly, and the window's close button.
    TestFireEvent(main, PANEL_BTNRun, EVENT_COMMIT);
    EXPECT_EQ(Events(PANEL_BTNRun), (std::vector<int>{EVENT_COMMIT}));
    g_seen.clear();
    TestClosePanel(main);
    EXPECT_TRUE(g_seen.empty());
    EXPECT_EQ(g_panelEvents, (std::vector<int>{EVENT_CLOSE}));
    EXPECT_TRUE(kryta::PanelWidget(main)->isVisible());  // the program decides about closing
}

TEST_F(UserInterface, ValueControlsDeliverChangesOfTheOperatorOnly) {
    // Programmatic values never produce events.
    SetCtrlVal(main, PANEL_DropDCom, 4);
    SetCtrlVal(main, PANEL_NEDITEdgeLeft, 77);
    SetCtrlVal(main, PANEL_NUMumValue, 2.5);
    SetCtrlVal(main, PANEL_TOGGBTN_Para1, 1);
    SetCtrlVal(page1, PARA1_BINSWoption, 1);
    EXPECT_TRUE(g_seen.empty());

    TestUserSetValue(main, PANEL_DropDCom, 2);
    ASSERT_EQ(Events(PANEL_DropDCom), (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    EXPECT_EQ(g_seen[0].value, 2);
    EXPECT_EQ(TestCtrlText(main, PANEL_DropDCom), "two");
    g_seen.clear();
    TestUserSetValue(main, PANEL_DropDCom, 3);  // no item carries 3
    EXPECT_TRUE(g_seen.empty());

    TestUserSetValue(main, PANEL_NEDITEdgeLeft, 500);
    ASSERT_EQ(Events(PANEL_NEDITEdgeLeft), (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    EXPECT_EQ(g_seen[0].value, 500);
    g_seen.clear();
    TestUserSetValue(main, PANEL_NEDITEdgeLeft, 5000);  // the box takes its maximum
    ASSERT_EQ(Events(PANEL_NEDITEdgeLeft).size(), 2u);
    EXPECT_EQ(g_seen[0].value, 1024);

    g_seen.clear();
    TestUserSetValue(main, PANEL_NUMumValue, 12.3456);
    ASSERT_EQ(Events(PANEL_NUMumValue), (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    EXPECT_DOUBLE_EQ(g_seen[0].value, 12.3456);

    // A real value set with more digits than shown survives Enter without an edit.
    SetCtrlVal(main, PANEL_NUMumValue, 0.97662353515625);
    g_seen.clear();
    QTest::keyClick(kryta::ControlWidget(main, PANEL_NUMumValue), Qt::Key_Return);
    EXPECT_EQ(Events(PANEL_NUMumValue), (std::vector<int>{EVENT_KEYPRESS}));
    double real = 0;
    GetCtrlVal(main, PANEL_NUMumValue, real);
    EXPECT_EQ(real, 0.97662353515625);

    // Binary switch.
    SetCtrlVal(page1, PARA1_BINSWoption, 0);
    g_seen.clear();
    TestLeftClick(page1, PARA1_BINSWoption);
    ASSERT_EQ(Events(PARA1_BINSWoption), (std::vector<int>{EVENT_LEFT_CLICK, EVENT_VAL_CHANGED, EVENT_COMMIT}));
    EXPECT_EQ(g_seen[1].value, 1);

    // Slider: a drag gives a change per value and one commit on release; a key step commits.
    int page2 = LoadPanel(main, uiPath, PARA2);
    ASSERT_GT(page2, 0);
    InstallCtrlCallback(page2, PARA2_SLIDEpower, Record, nullptr);
    DisplayPanel(page2);
    g_seen.clear();
    TestUserSetValue(page2, PARA2_SLIDEpower, 300);
    ASSERT_EQ(Events(PARA2_SLIDEpower), (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    EXPECT_EQ(g_seen[0].value, 300);
    g_seen.clear();
    QTest::keyClick(kryta::ControlWidget(page2, PARA2_SLIDEpower), Qt::Key_Right);
    EXPECT_EQ(Events(PARA2_SLIDEpower), (std::vector<int>{EVENT_KEYPRESS, EVENT_VAL_CHANGED, EVENT_COMMIT}));
    uint16_t u = 0;
    GetCtrlVal(page2, PARA2_SLIDEpower, u);
    EXPECT_EQ(u, 301);
}

TEST_F(UserInterface, OneMouseActionIsOneEventEvenWhenChildrenPassItOn) {
    // The graph's inner chart view and the label ignore the press; the spin box's editor takes it.
    for (int control : {PANEL_GRAPHVideo, PANEL_HelpText1, PANEL_NEDITEdgeLeft, PANEL_DropDCom}) {
        g_seen.clear();
        TestLeftClick(main, control);
        // A drop-down's list opens on the click, and says so just before.
        const std::vector<int> expected = control == PANEL_DropDCom ? std::vector<int>{EVENT_LEFT_CLICK, EVENT_DROPDOWN}
                                                                    : std::vector<int>{EVENT_LEFT_CLICK};
        EXPECT_EQ(Events(control), expected) << kCtrlTable[control].name;
        g_seen.clear();
        TestRightClick(main, control);
        EXPECT_EQ(Events(control), (std::vector<int>{EVENT_RIGHT_CLICK})) << kCtrlTable[control].name;
    }
    // Two clicks in a row are two actions.
    g_seen.clear();
    TestLeftClick(main, PANEL_HelpText1);
    TestLeftClick(main, PANEL_HelpText1);
    EXPECT_EQ(Events(PANEL_HelpText1).size(), 2u);
}

TEST_F(UserInterface, ValuesReadBackByKindAndRange) {
    // Rings: the value of the selected item. A value no item carries gets an item of its own,
    // labelled with the number, in order among the others; it goes again with the next value.
    auto items = [&] {
        std::string all, label;
        int value = 0;
        for (int k = 0; k < GetNumListItems(main, PANEL_DropDCom); ++k) {
            GetListItem(main, PANEL_DropDCom, k, label, value);
            all += label + "=" + std::to_string(value) + " ";
        }
        return all;
    };
    int32_t i = 0;
    EXPECT_EQ(SetCtrlVal(main, PANEL_DropDCom, 3), 0);
    EXPECT_EQ(items(), "one=1 two=2 3=3 four=4 ");
    EXPECT_EQ(GetCtrlVal(main, PANEL_DropDCom, i), 0);
    EXPECT_EQ(i, 3);
    EXPECT_EQ(TestCtrlText(main, PANEL_DropDCom), "3");
    EXPECT_EQ(SetCtrlVal(main, PANEL_DropDCom, 9), 0);
    EXPECT_EQ(items(), "one=1 two=2 four=4 9=9 ");
    EXPECT_EQ(SetCtrlVal(main, PANEL_DropDCom, 0), 0);
    EXPECT_EQ(items(), "0=0 one=1 two=2 four=4 ");
    EXPECT_EQ(SetCtrlVal(main, PANEL_DropDCom, 4), 0);
    EXPECT_EQ(items(), "one=1 two=2 four=4 ");
    EXPECT_LT(SetCtrlVal(main, PANEL_DropDCom, 2.5), 0);  // no ring value: the selection stays
    GetCtrlVal(main, PANEL_DropDCom, i);
    EXPECT_EQ(i, 4);
    // The program's own list changes start from the resource's items.
    SetCtrlVal(main, PANEL_DropDCom, 3);
    EXPECT_EQ(ReplaceListItem(main, PANEL_DropDCom, 3, "big", 70000), 0);
    EXPECT_EQ(items(), "one=1 two=2 four=4 big=70000 ");
    EXPECT_EQ(SetCtrlVal(main, PANEL_DropDCom, 70000), 0);
    uint16_t u = 0;
    EXPECT_EQ(GetCtrlVal(main, PANEL_DropDCom, u), 0);
    EXPECT_EQ(u, 70000 & 0xFFFF);

    // Numerics clamp to their range on Set; a 16-bit read clamps to 0..65535.
    SetCtrlVal(main, PANEL_NEDITEdgeLeft, 2000);
    GetCtrlVal(main, PANEL_NEDITEdgeLeft, i);
    EXPECT_EQ(i, 1024);
    SetCtrlVal(main, PANEL_NEDITEdgeLeft, -3);
    GetCtrlVal(main, PANEL_NEDITEdgeLeft, i);
    EXPECT_EQ(i, 0);
    SetCtrlVal(main, PANEL_NEDITEdgeLeft, 4294967295u);
    GetCtrlVal(main, PANEL_NEDITEdgeLeft, i);
    EXPECT_EQ(i, 1024);
    SetCtrlVal(main, PANEL_NEDITEdgeRight, -5);
    GetCtrlVal(main, PANEL_NEDITEdgeRight, u);
    EXPECT_EQ(u, 0);
    GetCtrlVal(main, PANEL_NEDITEdgeRight, i);
    EXPECT_EQ(i, -5);
    SetCtrlVal(main, PANEL_NEDITEdgeRight, 99999);
    GetCtrlVal(main, PANEL_NEDITEdgeRight, u);
    EXPECT_EQ(u, 65535);

    // Reals keep their value; the precision only shapes the text.
    SetCtrlVal(main, PANEL_NUMumValue, 1.23456789);
    EXPECT_EQ(GetCtrlPrecision(main, PANEL_NUMumValue), 3);
    EXPECT_EQ(TestCtrlText(main, PANEL_NUMumValue), "1.235");
    EXPECT_EQ(SetCtrlPrecision(main, PANEL_NUMumValue, 1), 0);
    EXPECT_EQ(TestCtrlText(main, PANEL_NUMumValue), "1.2");
    double d = 0;
    GetCtrlVal(main, PANEL_NUMumValue, d);
    EXPECT_DOUBLE_EQ(d, 1.23456789);
    float f = 0;
    GetCtrlVal(main, PANEL_NUMumValue, f);
    EXPECT_FLOAT_EQ(f, 1.23456789f);
    EXPECT_LT(SetCtrlPrecision(main, PANEL_NEDITEdgeLeft, 2), 0);

    // Toggles: 0 or 1. A switch shows any value but 0 as on and gives that value back until the
    // operator flips it; it shows its on- or off-text.
    SetCtrlOnOffText(page1, PARA1_BINSWoption, "ADC-CONV", "DIG-COMP");
    SetCtrlVal(page1, PARA1_BINSWoption, 7);
    GetCtrlVal(page1, PARA1_BINSWoption, i);
    EXPECT_EQ(i, 7);
    EXPECT_EQ(TestCtrlText(page1, PARA1_BINSWoption), "ADC-CONV");
    TestLeftClick(page1, PARA1_BINSWoption);
    TestLeftClick(page1, PARA1_BINSWoption);
    GetCtrlVal(page1, PARA1_BINSWoption, i);
    EXPECT_EQ(i, 1);
    SetCtrlVal(main, PANEL_TOGGBTN_Para1, 7);
    GetCtrlVal(main, PANEL_TOGGBTN_Para1, i);
    EXPECT_EQ(i, 1);
    SetCtrlVal(page1, PARA1_BINSWoption, 0);
    EXPECT_EQ(TestCtrlText(page1, PARA1_BINSWoption), "DIG-COMP");
    TestLeftClick(page1, PARA1_BINSWoption);
    EXPECT_EQ(TestCtrlText(page1, PARA1_BINSWoption), "ADC-CONV");
    SetCtrlOnOffText(main, PANEL_TOGGBTN_Para1, "ZOOM ON", "ZOOM OFF");
    SetCtrlVal(main, PANEL_TOGGBTN_Para1, 0);
    EXPECT_EQ(TestCtrlText(main, PANEL_TOGGBTN_Para1), "ZOOM OFF");
    TestLeftClick(main, PANEL_TOGGBTN_Para1);
    EXPECT_EQ(TestCtrlText(main, PANEL_TOGGBTN_Para1), "ZOOM ON");
    EXPECT_LT(SetCtrlOnOffText(main, PANEL_BTNRun, "a", "b"), 0);  // a plain button has no state

    // Text controls; String and TextMsg keep a history of what was shown.
    SetCtrlVal(main, PANEL_STRStatus, "Transmit...");
    SetCtrlVal(main, PANEL_STRStatus, std::string("Line Ok!"));
    std::string s;
    GetCtrlVal(main, PANEL_STRStatus, s);
    EXPECT_EQ(s, "Line Ok!");
    EXPECT_EQ(TestTextHistory(main, PANEL_STRStatus), (std::vector<std::string>{"Transmit...", "Line Ok!"}));
    SetCtrlVal(main, PANEL_HelpText1, 42);
    EXPECT_EQ(TestCtrlText(main, PANEL_HelpText1), "42");
    EXPECT_EQ(TestTextHistory(main, PANEL_HelpText1), (std::vector<std::string>{"42"}));

    // Unknown panels and controls, and values a kind cannot take.
    EXPECT_LT(SetCtrlVal(4242, PANEL_BTNRun, 1), 0);
    EXPECT_LT(SetCtrlVal(main, PARA1_BINSWoption, 1), 0);
    EXPECT_LT(GetCtrlVal(main, PANEL_BTNRun, i), 0);
    EXPECT_LT(SetCtrlVal(main, PANEL_NEDITEdgeLeft, "12"), 0);
}

TEST_F(UserInterface, AttributesReadBackAsSet) {
    // Colours: the widget's own until set.
    QWidget* status = kryta::ControlWidget(main, PANEL_STRStatus);
    int own = int(status->palette().color(status->foregroundRole()).rgb() & 0xFFFFFF);
    EXPECT_EQ(GetCtrlTextColor(main, PANEL_STRStatus), own);
    SetCtrlTextColor(main, PANEL_STRStatus, 0xFF0000);
    SetCtrlTextBgColor(main, PANEL_STRStatus, 0x008000);
    EXPECT_EQ(GetCtrlTextColor(main, PANEL_STRStatus), 0xFF0000);
    EXPECT_EQ(GetCtrlTextBgColor(main, PANEL_STRStatus), 0x008000);
    status->ensurePolished();
    EXPECT_EQ(status->palette().color(QPalette::Text), QColor(0xFF, 0, 0));

    EXPECT_FALSE(GetCtrlBold(main, PANEL_STRStatus));
    SetCtrlBold(main, PANEL_STRStatus, true);
    EXPECT_TRUE(GetCtrlBold(main, PANEL_STRStatus));
    EXPECT_TRUE(status->font().bold());
    SetCtrlBold(main, PANEL_STRStatus, false);
    EXPECT_FALSE(GetCtrlBold(main, PANEL_STRStatus));
    EXPECT_EQ(GetCtrlTextColor(main, PANEL_STRStatus), 0xFF0000);  // one attribute leaves the others

    // Visibility and dimming carry the label along; visibility is the control's own.
    QWidget* label = kryta::PanelWidget(main)->findChild<QLabel*>("NEDITEdgeLeft_label");
    ASSERT_NE(label, nullptr);
    SetCtrlVisible(main, PANEL_NEDITEdgeLeft, false);
    EXPECT_FALSE(GetCtrlVisible(main, PANEL_NEDITEdgeLeft));
    EXPECT_TRUE(label->isHidden());
    SetCtrlVisible(main, PANEL_NEDITEdgeLeft, true);
    EXPECT_FALSE(label->isHidden());
    HidePanel(page1);
    EXPECT_TRUE(GetCtrlVisible(page1, PARA1_DROPhold));
    SetCtrlDimmed(main, PANEL_NEDITEdgeLeft, true);
    EXPECT_TRUE(GetCtrlDimmed(main, PANEL_NEDITEdgeLeft));
    EXPECT_FALSE(label->isEnabled());
    SetCtrlDimmed(main, PANEL_NEDITEdgeLeft, false);
    EXPECT_FALSE(GetCtrlDimmed(main, PANEL_NEDITEdgeLeft));

    // Labels: a button's own text, otherwise the label beside the control.
    EXPECT_EQ(GetCtrlLabel(main, PANEL_BTNRun), "RUN");
    SetCtrlLabel(main, PANEL_BTNRun, "GO");
    EXPECT_EQ(TestCtrlText(main, PANEL_BTNRun), "GO");
    EXPECT_EQ(GetCtrlLabel(main, PANEL_NEDITEdgeLeft), "E-BEG");
    SetCtrlLabel(main, PANEL_NEDITEdgeLeft, "TOLERANCE-LOW");
    EXPECT_EQ(static_cast<QLabel*>(label)->text().toStdString(), "TOLERANCE-LOW");
    EXPECT_LT(SetCtrlLabel(main, PANEL_STRStatus, "x"), 0);  // no label beside it

    // Geometry in panel coordinates; the label moves with its control.
    int top, left, height, width;
    EXPECT_EQ(GetCtrlBoundingRect(main, PANEL_DropDCom, top, left, height, width), 0);
    EXPECT_EQ(top, 20);
    EXPECT_EQ(left, 130);
    EXPECT_EQ(height, 24);
    EXPECT_EQ(width, 100);
    QWidget* ringLabel = kryta::PanelWidget(main)->findChild<QLabel*>("DropDCom_label");
    EXPECT_EQ(SetCtrlPos(main, PANEL_DropDCom, 200, 50), 0);
    GetCtrlBoundingRect(main, PANEL_DropDCom, top, left, height, width);
    EXPECT_EQ(top, 200);
    EXPECT_EQ(left, 50);
    EXPECT_EQ(ringLabel->pos(), QPoint(50, 184));

    // Point size and font.
    SetCtrlPointSize(main, PANEL_HelpText1, 18);
    SetCtrlFont(main, PANEL_HelpText1, APP_STANDARD_FONT);
    QWidget* help = kryta::ControlWidget(main, PANEL_HelpText1);
    help->ensurePolished();
    EXPECT_EQ(help->font().pixelSize(), 18);  // the run-time's size is the text height in pixels
    EXPECT_EQ(GetCtrlTextColor(4242, PANEL_HelpText1) < 0, true);
}

TEST_F(UserInterface, RingItemsAndTextBoxLines) {
    // Item values from the resource file, or the index without them.
    std::string label;
    int value = 0;
    EXPECT_EQ(GetNumListItems(main, PANEL_DropDCom), 3);
    EXPECT_EQ(GetListItem(main, PANEL_DropDCom, 2, label, value), 0);
    EXPECT_EQ(label, "four");
    EXPECT_EQ(value, 4);
    EXPECT_EQ(GetListItem(page1, PARA1_DROPhold, 1, label, value), 0);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(ReplaceListItem(page1, PARA1_DROPhold, 1, "DIRECT 5V/SET", 7), 0);
    EXPECT_EQ(ReplaceListItem(page1, PARA1_DROPhold, 2, "INTERN TRIG", 3), 0);  // appended
    EXPECT_LT(ReplaceListItem(page1, PARA1_DROPhold, 4, "gap", 9), 0);
    EXPECT_LT(GetListItem(page1, PARA1_DROPhold, 3, label, value), 0);
    EXPECT_EQ(GetNumListItems(page1, PARA1_DROPhold), 3);
    EXPECT_EQ(SetCtrlVal(page1, PARA1_DROPhold, 7), 0);
    EXPECT_EQ(TestCtrlText(page1, PARA1_DROPhold), "DIRECT 5V/SET");
    EXPECT_LT(GetNumListItems(main, PANEL_BTNRun), 0);

    int rec = LoadPanel(main, uiPath, RECORD);
    ASSERT_GT(rec, 0);
    EXPECT_EQ(GetNumTextBoxLines(rec, RECORD_TEXTBOXrecfile), 0);
    EXPECT_EQ(ReplaceTextBoxLine(rec, RECORD_TEXTBOXrecfile, 2, "third"), 0);
    EXPECT_EQ(GetNumTextBoxLines(rec, RECORD_TEXTBOXrecfile), 3);
    std::string text;
    EXPECT_EQ(GetTextBoxLine(rec, RECORD_TEXTBOXrecfile, 0, text), 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(GetTextBoxLine(rec, RECORD_TEXTBOXrecfile, 2, text), 0);
    EXPECT_EQ(text, "third");
    EXPECT_LT(GetTextBoxLine(rec, RECORD_TEXTBOXrecfile, 3, text), 0);
    EXPECT_EQ(ReplaceTextBoxLine(rec, RECORD_TEXTBOXrecfile, 0, "first"), 0);
    EXPECT_EQ(ReplaceTextBoxLine(rec, RECORD_TEXTBOXrecfile, 4, ""), 0);
    EXPECT_EQ(GetNumTextBoxLines(rec, RECORD_TEXTBOXrecfile), 5);
    EXPECT_EQ(TestCtrlText(rec, RECORD_TEXTBOXrecfile), "first\n\nthird\n\n\n");
    EXPECT_EQ(ReplaceTextBoxLine(rec, RECORD_TEXTBOXrecfile, 1, "a\nb"), 0);  // stays one line
    EXPECT_EQ(GetNumTextBoxLines(rec, RECORD_TEXTBOXrecfile), 5);

    EXPECT_EQ(ResetTextBox(rec, RECORD_TEXTBOXrecfile, "/tmp/RECORD.DAT"), 0);
    EXPECT_EQ(GetNumTextBoxLines(rec, RECORD_TEXTBOXrecfile), 1);
    EXPECT_EQ(SetCtrlVal(rec, RECORD_TEXTBOXrecfile, "DATA-RECORDER STOPPED!"), 0);
    std::string whole;
    GetCtrlVal(rec, RECORD_TEXTBOXrecfile, whole);
    EXPECT_EQ(whole, "DATA-RECORDER STOPPED!");
    EXPECT_LT(ReplaceTextBoxLine(main, PANEL_STRStatus, 0, "x"), 0);
}

TEST_F(UserInterface, TextMessagesAndPictures) {
    int a = NewTextMsg(main, "KRYTA-LT-Scope", 35, 300);
    int b = NewTextMsg(main, "Version 3.09", 40, 450);
    EXPECT_GE(a, CTRL_COUNT);
    EXPECT_GE(b, CTRL_COUNT);
    EXPECT_NE(a, b);
    EXPECT_EQ(TestCtrlText(main, a), "KRYTA-LT-Scope");
    int top, left, height, width;
    GetCtrlBoundingRect(main, a, top, left, height, width);
    EXPECT_EQ(top, 35);
    EXPECT_EQ(left, 300);
    int smallWidth = width;
    SetCtrlPointSize(main, a, 30);
    GetCtrlBoundingRect(main, a, top, left, height, width);
    EXPECT_GT(width, smallWidth);  // the message follows its text
    SetCtrlTextBgColor(main, a, 0x0080FF);
    EXPECT_EQ(GetCtrlTextBgColor(main, a), 0x0080FF);
    EXPECT_LT(NewTextMsg(4242, "x", 0, 0), 0);

    QImage img(8, 6, QImage::Format_RGB32);
    img.fill(Qt::blue);
    QString png = dir->path() + "/logo.png";
    ASSERT_TRUE(img.save(png));
    auto* pic = static_cast<QLabel*>(kryta::ControlWidget(main, PANEL_PICTLogo));
    EXPECT_EQ(DisplayImageFile(main, PANEL_PICTLogo, png.toStdString()), 0);
    EXPECT_EQ(pic->pixmap().size(), QSize(8, 6));
    EXPECT_LT(DisplayImageFile(main, PANEL_PICTLogo, (dir->path() + "/qz.bmp").toStdString()), 0);
    EXPECT_TRUE(pic->pixmap().isNull());
}

TEST_F(UserInterface, DialogsTakeQueuedAnswersInTestMode) {
    TestSetDialogMode(true);
    std::string path = "unchanged";
    TestQueueFileSelect(VAL_NEW_FILE_SELECTED, "/data/KRYTApara");
    TestQueueFileSelect(VAL_EXISTING_FILE_SELECTED, "/data/old.cfg");
    TestQueueConfirm(1);
    EXPECT_EQ(TestPendingDialogAnswers(), 3);

    EXPECT_EQ(FileSelectPopup("/dir", "KRYTApara.cfg", "*.cfg", "KRYTA-LT-Series Parameter File", "OK", false,
                              true, true, true, path),
              VAL_NEW_FILE_SELECTED);
    EXPECT_EQ(path, "/data/KRYTApara.cfg");  // the extension is added to a name without one
    EXPECT_EQ(FileSelectPopup("/dir", "RECORD.DAT", "*.dat", "T", "OK", false, true, true, true, path),
              VAL_EXISTING_FILE_SELECTED);
    EXPECT_EQ(path, "/data/old.cfg");  // a name with an extension keeps it
    EXPECT_EQ(ConfirmPopup("ATTENTION!", "Output-File already exist! - Overwrite ?"), 1);
    EXPECT_EQ(TestPendingDialogAnswers(), 0);

    // Nothing queued: cancelled, path unchanged; no.
    EXPECT_EQ(FileSelectPopup("/dir", "x.dat", "*.dat", "T", "OK", false, true, true, true, path),
              VAL_NO_FILE_SELECTED);
    EXPECT_EQ(path, "/data/old.cfg");
    EXPECT_EQ(ConfirmPopup("ATTENTION !", "File already exist - overwrite ?"), 0);
    TestQueueFileSelect(VAL_NO_FILE_SELECTED, "/ignored.dat");
    EXPECT_EQ(FileSelectPopup("/dir", "x.dat", "*.dat", "T", "OK", false, true, true, true, path), 0);
    EXPECT_EQ(path, "/data/old.cfg");

    std::vector<DialogRecord> shown = TestDialogs();
    ASSERT_EQ(shown.size(), 6u);
    EXPECT_EQ(shown[0].kind, "file");
    EXPECT_EQ(shown[0].title, "KRYTA-LT-Series Parameter File");
    EXPECT_EQ(shown[0].defaultDir, "/dir");
    EXPECT_EQ(shown[0].defaultName, "KRYTApara.cfg");
    EXPECT_EQ(shown[0].filter, "*.cfg");
    EXPECT_EQ(shown[0].buttonLabel, "OK");
    EXPECT_EQ(shown[2].kind, "confirm");
    EXPECT_EQ(shown[2].title, "ATTENTION!");
    EXPECT_EQ(shown[2].message, "Output-File already exist! - Overwrite ?");
    TestClearDialogs();
    EXPECT_TRUE(TestDialogs().empty());
}

// The operator's hand in the real dialogs: waits for the modal dialog and acts on it.
void AnswerFileDialog(const QString& name, bool accept) {
    QTimer::singleShot(20, [name, accept] {
        auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dlg) return AnswerFileDialog(name, accept);
        if (!accept) return dlg->reject();
        // Typed into the name field, which has the focus once the dialog is up.
        auto* edit = dlg->findChild<QLineEdit*>("fileNameEdit");
        if (!edit) return;
        edit->setText(name);
        QMetaObject::invokeMethod(dlg, "accept");
    });
}

void AnswerQuestion(QMessageBox::StandardButton button) {
    QTimer::singleShot(20, [button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return AnswerQuestion(button);
        box->button(button)->click();
    });
}

TEST_F(UserInterface, RealDialogsTellNewFromExistingFiles) {
    QString folder = dir->path();
    QFile existing(folder + "/old.dat");
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    std::string path = "unchanged";
    const std::string d = folder.toStdString();

    AnswerFileDialog("old.dat", true);
    EXPECT_EQ(FileSelectPopup(d, "RECORD.DAT", "*.dat", "KRYTA-Series Recorder-File:", "OK", false, true, true,
                              true, path),
              VAL_EXISTING_FILE_SELECTED);
    EXPECT_EQ(path, d + "/old.dat");

    AnswerFileDialog("fresh", true);  // typed without extension
    EXPECT_EQ(FileSelectPopup(d, "RECORD.DAT", "*.dat", "T", "OK", false, true, true, true, path),
              VAL_NEW_FILE_SELECTED);
    EXPECT_EQ(path, d + "/fresh.dat");

    AnswerFileDialog({}, false);
    EXPECT_EQ(FileSelectPopup(d, "RECORD.DAT", "*.dat", "T", "OK", false, true, true, true, path),
              VAL_NO_FILE_SELECTED);
    EXPECT_EQ(path, d + "/fresh.dat");
    EXPECT_EQ(TestDialogs().size(), 3u);  // recorded in either mode

    AnswerQuestion(QMessageBox::Yes);
    EXPECT_EQ(ConfirmPopup("ATTENTION!", "Output-File already exist! - Overwrite ?"), 1);
    AnswerQuestion(QMessageBox::No);
    EXPECT_EQ(ConfirmPopup("ATTENTION!", "Output-File already exist! - Overwrite ?"), 0);
}

void QuitWithSeven(void*) { QuitUserInterface(7); }

void ClickRunLater(void* panel) { TestLeftClick(*static_cast<int*>(panel), PANEL_BTNRun); }

TEST_F(UserInterface, EventLoopAndActionsLater) {
    // A quit asked for while no loop runs (a close during a wait at start) is not lost: the next
    // loop ends as soon as it starts; a later one runs until its own quit.
    EXPECT_EQ(QuitUserInterface(1), 0);
    TestRunLater(0.05, QuitWithSeven, nullptr);
    ASSERT_EQ(RunUserInterface(), 1);
    EXPECT_EQ(RunUserInterface(), 7);

    // A click scheduled for later happens inside whatever event processing runs then, e.g. the
    // polling loop of an operation.
    TestLeftClickLater(0.05, main, PANEL_BTNRun);
    TestRunLater(0.02, ClickRunLater, &main);
    QElapsedTimer t;
    t.start();
    while (Events(PANEL_BTNRun).size() < 4 && t.elapsed() < 3000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(Events(PANEL_BTNRun), (std::vector<int>{EVENT_LEFT_CLICK, EVENT_COMMIT, EVENT_LEFT_CLICK, EVENT_COMMIT}));
}

// A numeric display shows the colour and value set last, also when a frame sets again what it
// already shows.
TEST_F(UserInterface, NumericDisplayShowsTheColourAndValueSetLast) {
    auto* box = static_cast<QDoubleSpinBox*>(kryta::ControlWidget(main, PANEL_NUMumValue));
    DisplayPanel(main);
    for (int colour : {0xFF0000, 0x008000, 0x008000, 0xFF0000}) {
        SetCtrlTextBgColor(main, PANEL_NUMumValue, colour);
        EXPECT_EQ(box->grab().toImage().pixel(box->width() / 2, box->height() - 4) & 0xFFFFFF, QRgb(colour));
    }
    for (double v : {2.5, 2.5, 3.25}) SetCtrlVal(main, PANEL_NUMumValue, v);
    EXPECT_EQ(box->cleanText(), box->textFromValue(3.25));
}

TEST_F(UserInterface, ActivePanelAndControlAndScreenshot) {
    EXPECT_EQ(SetActivePanel(main), 0);
    EXPECT_EQ(GetActivePanel(), main);
    EXPECT_EQ(SetActiveCtrl(main, PANEL_NEDITEdgeLeft), 0);
    EXPECT_EQ(GetActiveCtrl(main), PANEL_NEDITEdgeLeft);
    EXPECT_LT(SetActiveCtrl(main, PARA1_DROPhold), 0);

    EXPECT_EQ(TestWidgetClass(main, PANEL_NUMumValue), "QDoubleSpinBox");
    EXPECT_EQ(TestWidgetClass(main, PANEL_DropDCom), "QComboBox");

    QString png = dir->path() + "/shot.png";
    ASSERT_TRUE(TestScreenshot(png.toStdString()));
    QImage shot(png);
    EXPECT_EQ(shot.size(), QSize(640, 480));
}

// The program's own resource file, beside the tests in the build's bin folder.
TEST(ResourceFile, EveryControlIsOnItsPanelWithTheClassOfItsKind) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char arg0[] = "test_platform";
    static char* argv[] = {arg0, nullptr};
    ASSERT_TRUE(InitUserInterface(argc, argv));
    const std::string uir = "KRYTA-LT-VizizE309.uir";
    int main = LoadPanel(0, uir, PANEL);
    ASSERT_GT(main, 0) << "run from the build's bin folder";
    int handles[6] = {0, 0, main, 0, 0, 0};
    for (int res : {PARA1, PARA2, RECORD, CALIB}) {
        handles[res] = LoadPanel(main, uir, res);
        ASSERT_GT(handles[res], 0) << res;
    }
    for (int id = 0; id < CTRL_COUNT; ++id) {
        const CtrlInfo& info = kCtrlTable[id];
        QWidget* w = kryta::ControlWidget(handles[info.panelResource], id);
        ASSERT_NE(w, nullptr) << info.name;
        const char* cls = nullptr;
        switch (info.kind) {
        case CtrlKind::Button:
        case CtrlKind::Toggle: cls = "QPushButton"; break;
        case CtrlKind::Radio: cls = "QRadioButton"; break;
        case CtrlKind::BinarySwitch: cls = "QCheckBox"; break;
        case CtrlKind::Ring: cls = "QComboBox"; break;
        case CtrlKind::Numeric: cls = "QSpinBox"; break;
        case CtrlKind::NumericReal: cls = "QDoubleSpinBox"; break;
        case CtrlKind::Slider: cls = "QSlider"; break;
        case CtrlKind::TextBox: cls = "QPlainTextEdit"; break;
        case CtrlKind::String: cls = "QLineEdit"; break;
        case CtrlKind::TextMsg:
        case CtrlKind::Picture: cls = "QLabel"; break;
        case CtrlKind::Decoration: cls = "QFrame"; break;
        case CtrlKind::Graph:
        case CtrlKind::StripChart: cls = nullptr; break;
        }
        if (cls) {
            EXPECT_TRUE(w->inherits(cls)) << info.name << " is a " << w->metaObject()->className();
        } else {
            EXPECT_STRNE(w->metaObject()->className(), "QWidget") << info.name << " is no graph";
        }
        if (info.kind == CtrlKind::Toggle) {
            EXPECT_TRUE(static_cast<QPushButton*>(w)->isCheckable()) << info.name;
        }
        if (info.kind == CtrlKind::Button) {
            EXPECT_FALSE(static_cast<QPushButton*>(w)->isCheckable()) << info.name;
        }
        if (info.kind == CtrlKind::Radio) {
            EXPECT_FALSE(static_cast<QAbstractButton*>(w)->autoExclusive()) << info.name;
        }
    }
    DiscardPanel(main);
}

// Every field that holds a parameter word shows and gives back every value the word carries:
// the 16-bit words, the signed 32-bit offset, and the 32-bit scale factor over 16384 (standard
// firmware) or 1024 (V303, CL) as exactly as single precision carries it.
TEST(ResourceFile, ParameterFieldsHoldEveryValueOfTheirWords) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char arg0[] = "test_platform";
    static char* argv[] = {arg0, nullptr};
    ASSERT_TRUE(InitUserInterface(argc, argv));
    const std::string uir = "KRYTA-LT-VizizE309.uir";
    int handles[6] = {0, 0, LoadPanel(0, uir, PANEL), 0, 0, 0};
    ASSERT_GT(handles[PANEL], 0) << "run from the build's bin folder";
    for (int res : {PARA1, PARA2, CALIB}) ASSERT_GT(handles[res] = LoadPanel(handles[PANEL], uir, res), 0);
    auto at = [&](int control) { return handles[kCtrlTable[control].panelResource]; };
    for (int c : {PANEL_NEDITEdgeLeft, PANEL_NEDITEdgeRight, PARA1_NEDITToleranceUP, PARA1_NEDITTolerance,
                  PARA2_NUMTriggThreshold, PARA2_NEDITTeach})
        for (unsigned word : {0u, 1u, 65535u}) {
            uint16_t got = 7;
            SetCtrlVal(at(c), c, word);
            EXPECT_EQ(GetCtrlVal(at(c), c, got), 0);
            EXPECT_EQ(got, word) << kCtrlTable[c].name;
        }
    for (int32_t offset : {INT32_MIN, -1, INT32_MAX}) {
        int32_t got = 7;
        SetCtrlVal(at(CALIB_NUMCalOffset), CALIB_NUMCalOffset, int(offset));
        GetCtrlVal(at(CALIB_NUMCalOffset), CALIB_NUMCalOffset, got);
        EXPECT_EQ(got, offset);
    }
    for (double unit : {16384.0, 1024.0})
        for (uint32_t word : {1u, 0x7FFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
            const float factor = float(double(word) / unit);
            float got = 0;
            SetCtrlVal(at(CALIB_NUMCalFactor), CALIB_NUMCalFactor, double(factor));
            GetCtrlVal(at(CALIB_NUMCalFactor), CALIB_NUMCalFactor, got);
            EXPECT_EQ(got, factor) << word << " / " << unit;
            const QString shown = QString::fromStdString(TestCtrlText(at(CALIB_NUMCalFactor), CALIB_NUMCalFactor));
            EXPECT_NEAR(QLocale().toDouble(shown), factor, 0.00005) << shown.toStdString();
        }
    DiscardPanel(handles[PANEL]);
}

// A display that only shows values draws itself; after every frame it shows the colour and the
// value set last exactly as its spin box draws them (which it does while it holds the focus).
TEST(ResourceFile, DisplayShowsWhatItsSpinBoxDraws) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char arg0[] = "test_platform";
    static char* argv[] = {arg0, nullptr};
    ASSERT_TRUE(InitUserInterface(argc, argv));
    const int main = LoadPanel(0, "KRYTA-LT-VizizE309.uir", PANEL);
    ASSERT_GT(main, 0) << "run from the build's bin folder";
    DisplayPanel(main);
    QWidget* box = kryta::ControlWidget(main, PANEL_NUMMvalue);
    // (a text shown before comes back drawn from what was laid out for it then)
    for (auto [colour, value] :
         {std::pair{0x008000, 1911u}, {0xFF0000, 1910u}, {0x008000, 1910u}, {0xFF0000, 1911u}, {0xFFFFFF, 7u}}) {
        SetCtrlTextBgColor(main, PANEL_NUMMvalue, colour);
        SetCtrlVal(main, PANEL_NUMMvalue, value);
        const QImage shown = box->grab().toImage();
        EXPECT_EQ(shown.pixel(box->width() / 2, box->height() - 4) & 0xFFFFFF, QRgb(colour));
        SetActiveCtrl(main, PANEL_NUMMvalue);
        EXPECT_EQ(shown, box->grab().toImage().convertToFormat(shown.format())) << value;
        SetActiveCtrl(main, PANEL_BTNRun);
    }
    DiscardPanel(main);
}

}  // namespace
