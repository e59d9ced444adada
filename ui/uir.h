// Panels and controls of the user-interface resource file "KRYTA-LT-VizizE309.uir".
//
// The resource file is a Qt Designer document with one top-level widget per panel; the
// widget's objectName is "panel<resource number>" and each control is a child widget whose
// objectName is the control name below. This header is the program's vocabulary for them:
// every control has one id, unique across all panels.
#pragma once

// Resource numbers of the five panels.
enum PanelResource : int {
    CALIB = 1,   // calibration page (child of the main panel)
    PANEL = 2,   // main panel
    PARA1 = 3,   // parameter page 1
    PARA2 = 4,   // parameter page 2
    RECORD = 5,  // recorder page
};

// What a control is; the platform maps each kind onto one Qt widget class.
enum class CtrlKind : int {
    Button,        // QPushButton: commit on click
    Toggle,        // QPushButton, checkable: on/off value
    Radio,         // QRadioButton (not auto-exclusive; the program keeps one on)
    BinarySwitch,  // QCheckBox whose text shows the on- or off-text
    Ring,          // QComboBox: items with a label and an integer value
    Numeric,       // QSpinBox: integer value (unsigned 16-bit or signed 32-bit)
    NumericReal,   // QDoubleSpinBox: real value with a precision
    Slider,        // QSlider: integer value
    TextBox,       // QPlainTextEdit, read-only: lines of text
    String,        // QLineEdit, read-only: one line of text
    TextMsg,       // QLabel: a message (help boxes, status line)
    Graph,         // GraphWidget: curves, rectangles, three cursors
    StripChart,    // StripChartWidget: traces rolling over the screen
    Decoration,    // QFrame
    Picture,       // QLabel showing an image file
};

// X(panel resource, control name, kind). Names begin with their kind.
#define KRYTA_CONTROLS(X)                                   \
    /* main panel */                                        \
    X(PANEL, BTNRun, Button)                                \
    X(PANEL, BTNStop, Button)                               \
    X(PANEL, BTNVideo, Button)                              \
    X(PANEL, BTNData, Button)                               \
    X(PANEL, BTNGet, Button)                                \
    X(PANEL, BTNSend, Button)                               \
    X(PANEL, ButtonReset, Button)                           \
    X(PANEL, RBTRam, Radio)                                 \
    X(PANEL, RBTEeprom, Radio)                              \
    X(PANEL, RBTFile, Radio)                                \
    X(PANEL, TOGGBTN_Para1, Toggle)                         \
    X(PANEL, TOGGBTN_Para2, Toggle)                         \
    X(PANEL, TOGGBTN_Recorder, Toggle)                      \
    X(PANEL, TOGGBTN_Calib, Toggle)                         \
    X(PANEL, TOGGButtonZoom, Toggle)                        \
    X(PANEL, NEDITEdgeLeft, Numeric)                        \
    X(PANEL, NEDITEdgeRight, Numeric)                       \
    X(PANEL, DropDCom, Ring)                                \
    X(PANEL, GRAPHVideoBar, Graph)                          \
    X(PANEL, GRAPHRaw, StripChart)                          \
    X(PANEL, GRAPHVideo, Graph)                             \
    X(PANEL, GRAPHData, Graph)                              \
    X(PANEL, NUMLedge, Numeric)                             \
    X(PANEL, NUMRedge, Numeric)                             \
    X(PANEL, NUMMvalue, Numeric)                            \
    X(PANEL, NUMumValue, NumericReal)                       \
    X(PANEL, NUMTolUP, NumericReal)                         \
    X(PANEL, NUMTol, NumericReal)                           \
    X(PANEL, NUManaOut, Numeric)                            \
    X(PANEL, NUManaMax, Numeric)                            \
    X(PANEL, NUManaMin, Numeric)                            \
    X(PANEL, HelpText1, TextMsg)                            \
    X(PANEL, HelpText2, TextMsg)                            \
    X(PANEL, DECOBanner, Decoration)                        \
    X(PANEL, PICTLogo, Picture)                             \
    X(PANEL, STRStatus, String)                             \
    /* parameter page 1 */                                  \
    X(PARA1, DROPevalmode, Ring)                            \
    X(PARA1, DROPhardware, Ring)                            \
    X(PARA1, DROPtrigmode, Ring)                            \
    X(PARA1, DROPpolarity, Ring)                            \
    X(PARA1, DROPaverage, Ring)                             \
    X(PARA1, DROPanaMode, Ring)                             \
    X(PARA1, DROPhold, Ring)                                \
    X(PARA1, NEDITToleranceUP, Numeric)                     \
    X(PARA1, NEDITTolerance, Numeric)                       \
    X(PARA1, BINSWoption, BinarySwitch)                     \
    /* parameter page 2 */                                  \
    X(PARA2, SLIDEpower, Slider)                            \
    X(PARA2, SLIDEVideoThreshold, Slider)                   \
    X(PARA2, NUMTriggThreshold, Numeric)                    \
    X(PARA2, DROPpowermode, Ring)                           \
    X(PARA2, ButtonTeach, Button)                           \
    X(PARA2, NEDITTeach, Numeric)                           \
    /* recorder page */                                     \
    X(RECORD, CMDBTNrecfile, Button)                        \
    X(RECORD, TEXTBOXrecfile, TextBox)                      \
    X(RECORD, NUMsample, Numeric)                           \
    X(RECORD, NUMinctime, NumericReal)                      \
    X(RECORD, CBTNStartRecord, Button)                      \
    X(RECORD, CBTNStopRecord, Button)                       \
    X(RECORD, TEXTBOXrecstatus, TextBox)                    \
    X(RECORD, STRrecdate, String)                           \
    X(RECORD, STRrectime, String)                           \
    X(RECORD, NUMreccount, Numeric)                         \
    X(RECORD, NUMrecday, Numeric)                           \
    X(RECORD, NUMrechour, Numeric)                          \
    X(RECORD, NUMrecmin, Numeric)                           \
    X(RECORD, NUMrecsec, Numeric)                           \
    /* calibration page */                                  \
    X(CALIB, BINSWopmode, BinarySwitch)                     \
    X(CALIB, NUMCalOffset, Numeric)                         \
    X(CALIB, NUMCalFactor, NumericReal)                     \
    X(CALIB, TEXTBOXsensor, TextBox)                        \
    X(CALIB, BTNWriteXFLASH, Button)                        \
    X(CALIB, BTNReadXFLASH, Button)

// Control ids: PANEL_BTNRun, PARA1_DROPevalmode, ... as the resource editor would name them.
enum CtrlId : int {
#define KRYTA_CTRL_ID(panel, name, kind) panel##_##name,
    KRYTA_CONTROLS(KRYTA_CTRL_ID)
#undef KRYTA_CTRL_ID
    CTRL_COUNT
};

struct CtrlInfo {
    int panelResource;
    const char* name;
    CtrlKind kind;
};

// Indexed by CtrlId.
inline constexpr CtrlInfo kCtrlTable[CTRL_COUNT] = {
#define KRYTA_CTRL_INFO(panel, name, kind) {panel, #name, CtrlKind::kind},
    KRYTA_CONTROLS(KRYTA_CTRL_INFO)
#undef KRYTA_CTRL_INFO
};
