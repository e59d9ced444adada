// The run-time layer's state of loaded panels and their controls, kept by the user-interface
// functions (userint.cpp). Internal to platform/; tools that read the widgets (the test library)
// include it too.
#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStringList>
#include <QString>
#include <QWidget>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/numericbox.h"
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
};

PanelState* FindPanel(int panel);
CtrlState* FindCtrl(int panel, int control);
const std::map<int, PanelState>& AllPanels();

// The numeric kinds show their value through a spin box's text; readers of what is shown use it.
QString ShownText(const CtrlState& c);

// The control whose widget is `o` or one of its ancestors (panel and control); false when `o`
// lies outside every control.
bool OwnerOf(QObject* o, int& panel, int& control);

// The lines of a text box: a trailing line break does not open another line.
QStringList TextBoxLines(QPlainTextEdit* t);

}  // namespace kryta
