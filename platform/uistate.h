// The run-time layer's record of loaded panels and their controls, shared by the user-interface
// functions (userint.cpp) and the test interface (testing.cpp). Inside platform/ only.
#pragma once

#include <QLabel>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/testing.h"
#include "platform/userint.h"

namespace kryta {

struct CtrlState {
    QPointer<QWidget> widget;
    QPointer<QLabel> label;  // "<control>_label" on the same panel, if any
    CtrlKind kind = CtrlKind::Decoration;
    CtrlCallbackPtr callback = nullptr;
    void* callbackData = nullptr;
    // Attributes set by the program; unset ones read back from the widget itself.
    std::optional<int> textColor, bgColor, pointSize;
    std::optional<bool> bold;
    std::optional<std::string> font;
    QString baseStyleSheet;  // the widget's own style sheet from the resource file
    bool hasOnOffText = false;
    QString onText, offText;
    bool autoSize = false;  // text messages created at run time follow their text
    // A binary switch set to a value other than 0 and 1 (a sensor word it can only show as on)
    // gives that value back until the operator flips it.
    std::optional<int> switchValue;
};

struct PanelState {
    QPointer<QWidget> widget;
    // A top-level panel larger than the screen sits in a scrolling window of its own; null otherwise.
    QPointer<QWidget> frame;
    int resource = 0;
    int parent = 0;  // 0: a top-level window
    long loadSeq = 0;
    PanelCallbackPtr callback = nullptr;
    void* callbackData = nullptr;
    std::map<int, CtrlState> ctrls;
    int activeCtrl = 0;
};

PanelState* FindPanel(int panel);
CtrlState* FindCtrl(int panel, int control);
const std::map<int, PanelState>& AllPanels();

// The numeric kinds show their value through a spin box's text; readers of what is shown use it.
QString ShownText(const CtrlState& c);

// Test mode of the dialogs and the answers queued for them.
struct DialogQueue {
    bool fromQueue = false;
    std::deque<std::pair<int, std::string>> fileAnswers;
    std::deque<int> confirmAnswers;
    std::vector<DialogRecord> shown;
};
DialogQueue& Dialogs();

// Every text put into a String or TextMsg control, per (panel, control).
std::map<std::pair<int, int>, std::vector<std::string>>& TextHistory();

}  // namespace kryta
