// Shared inside platform/ only: how the pieces of the run-time layer find each other's widgets.
#pragma once

#include <QString>
#include <QWidget>

namespace kryta {

// The widget of a control on a loaded panel; nullptr when the panel or control is unknown.
QWidget* ControlWidget(int panel, int control);
// The top-level widget of a loaded panel; nullptr when unknown.
QWidget* PanelWidget(int panel);
// Delivers an event to the control's callback (if one is installed).
void DeliverEvent(int panel, int control, int event, int eventData1 = 0, int eventData2 = 0);
// Colour conversions: 0xRRGGBB.
QColor ToQColor(int rgb);

// Graph widgets, created by the resource loader for the classes "GraphWidget" and
// "StripChartWidget" of the resource file. They keep what they draw and render it with Qt Charts.
QWidget* CreateGraphWidget(const QString& className, QWidget* parent, const QString& name);
bool IsGraphWidgetClass(const QString& className);

// On X11: a close request (WM_DELETE_WINDOW) sent to a window that Qt keeps hidden for itself
// calls `close`, as one sent to a shown window closes it.
void CloseOnRequestsToHiddenWindows(void (*close)());

}  // namespace kryta
