// User interface of the run-time layer over Qt Widgets: panels loaded from the resource file,
// control values and attributes, events to the program's callbacks, the event loop and dialogs.

#include "platform/userint.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QPixmapCache>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QUiLoader>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "platform/events.h"
#include "platform/internal.h"
#include "platform/utility.h"
#include "platform/uistate.h"

namespace kryta {

// The panel's own events (the window's close button) go to the panel callback.
void DeliverPanelEvent(int panel, int event);

namespace {

// Result codes besides 0.
constexpr int kNoPanel = -1;    // unknown panel handle
constexpr int kNoCtrl = -2;     // the panel holds no such control
constexpr int kWrongKind = -3;  // the operation does not apply to the control's kind
constexpr int kNoValue = -4;    // a value or index outside what the control holds
constexpr int kNoFile = -5;     // a file that cannot be read

// Digits a real numeric keeps internally; the precision attribute only formats the display, so
// that a value set by the program reads back unchanged (a calibration factor must survive a
// GET and a SEND).
constexpr int kRealKeptDecimals = 20;

std::map<int, PanelState> g_panels;
long g_loadSeq = 0;
int g_deliverDepth = 0;
QEventLoop* g_loop = nullptr;
// A quit asked for while no event loop runs (a close during the connect sequence at start):
// the loop then ends as soon as it starts, so that no close request is lost.
std::optional<int> g_quitAsked;

// A drop-down that tells its control, just before its list opens, so that the list can be filled
// afresh (the serial ports present now).
class RingBox : public QComboBox {
public:
    explicit RingBox(QWidget* parent) : QComboBox(parent) {}
    void showPopup() override {
        int panel = 0, control = 0;
        if (OwnerOf(this, panel, control)) DeliverEvent(panel, control, EVENT_DROPDOWN);
        QComboBox::showPopup();
    }
};

// A mouse or key event that a child widget ignored travels on to its parents, so the control's
// filter may see one action twice: once at the inner widget, then at an ancestor, with the same
// time stamp and within the same dispatch. Such a repeat is not a new action.
struct SeenInput {
    int panel = 0, control = 0, type = 0, detail = 0;
    quint64 timestamp = 0;
    QPointer<QObject> at;
    bool fresh = false;
};
SeenInput g_seen;

bool IsAncestor(QObject* a, QObject* of) {
    for (QObject* p = of ? of->parent() : nullptr; p; p = p->parent())
        if (p == a) return true;
    return false;
}

bool RepeatOfSeen(QObject* watched, int panel, int control, QInputEvent* e, int detail) {
    bool repeat = g_seen.fresh && g_seen.panel == panel && g_seen.control == control &&
                  g_seen.type == int(e->type()) && g_seen.detail == detail &&
                  g_seen.timestamp == e->timestamp() && IsAncestor(watched, g_seen.at);
    if (repeat) {
        g_seen.at = watched;
    } else {
        g_seen = {panel, control, int(e->type()), detail, e->timestamp(), watched, true};
        QTimer::singleShot(0, [] { g_seen.fresh = false; });
    }
    return repeat;
}

class EventRouter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* e) override {
        switch (e->type()) {
        case QEvent::Close: {
            QVariant p = watched->property("krytaPanelOf");
            if (!p.isValid()) break;
            e->ignore();  // the program decides whether the window goes away
            DeliverPanelEvent(p.toInt(), EVENT_CLOSE);
            return true;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            int panel = 0, control = 0;
            if (!OwnerOf(watched, panel, control)) break;
            CtrlState* c = FindCtrl(panel, control);
            if (!c || !c->widget || !c->widget->isEnabled()) break;
            auto* me = static_cast<QMouseEvent*>(e);
            if (me->button() == Qt::RightButton) {
                if (!RepeatOfSeen(watched, panel, control, me, me->button())) {
                    QPoint at = c->widget->mapTo(c->widget->window(), QPoint(0, 0));
                    QPoint pos = me->position().toPoint();
                    DeliverEvent(panel, control, EVENT_RIGHT_CLICK, at.y() + pos.y(), at.x() + pos.x());
                }
                return true;  // no context menus, no right-button actions of the widget
            }
            if (me->button() == Qt::LeftButton && !RepeatOfSeen(watched, panel, control, me, me->button())) {
                QPoint at = c->widget->mapTo(c->widget->window(), QPoint(0, 0));
                QPoint pos = me->position().toPoint();
                DeliverEvent(panel, control, EVENT_LEFT_CLICK, at.y() + pos.y(), at.x() + pos.x());
            }
            break;  // the widget handles the press itself
        }
        case QEvent::MouseButtonRelease: {
            auto* me = static_cast<QMouseEvent*>(e);
            int panel = 0, control = 0;
            if (me->button() == Qt::RightButton && OwnerOf(watched, panel, control)) return true;
            break;
        }
        case QEvent::KeyPress: {
            int panel = 0, control = 0;
            if (!OwnerOf(watched, panel, control)) break;
            CtrlState* c = FindCtrl(panel, control);
            if (!c || !c->widget || !c->widget->isEnabled()) break;
            auto* ke = static_cast<QKeyEvent*>(e);
            if (!RepeatOfSeen(watched, panel, control, ke, ke->key())) DeliverEvent(panel, control, EVENT_KEYPRESS, ke->key(), 0);
            break;
        }
        default:
            break;
        }
        return QObject::eventFilter(watched, e);
    }
};

EventRouter* Router() {
    static EventRouter* r = new EventRouter;
    return r;
}

// Loads the whole resource file but builds the graph widgets only for the panel asked for.
class PanelLoader : public QUiLoader {
public:
    explicit PanelLoader(QString panelName) : panelName_(std::move(panelName)) {}
    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
        QWidget* w = nullptr;
        if (IsGraphWidgetClass(className)) {
            w = InsideTarget(parent) ? CreateGraphWidget(className, parent, name) : new QWidget(parent);
        } else if (className == QLatin1String("QDoubleSpinBox")) {
            w = new RealSpinBox(parent);
        } else if (className == QLatin1String("QSpinBox")) {
            w = new IntSpinBox(parent);
        } else if (className == QLatin1String("QComboBox")) {
            w = new RingBox(parent);
        } else {
            return QUiLoader::createWidget(className, parent, name);
        }
        if (w && w->objectName().isEmpty()) w->setObjectName(name);
        return w;
    }

private:
    bool InsideTarget(QWidget* p) const {
        for (; p; p = p->parentWidget())
            if (p->objectName() == panelName_) return true;
        return false;
    }
    QString panelName_;
};

QString Css(int rgb) { return ToQColor(rgb).name(QColor::HexRgb); }

void ApplyStyle(CtrlState& c) {
    QWidget* w = c.widget;
    if (!w) return;
    QString decl, rest;  // rest: without the background colour
    if (c.textColor) decl += QStringLiteral("color: %1; ").arg(Css(*c.textColor));
    rest = decl;
    if (c.bgColor) decl += QStringLiteral("background-color: %1; ").arg(Css(*c.bgColor));
    QString tail;
    if (c.bold) tail += *c.bold ? QStringLiteral("font-weight: bold; ") : QStringLiteral("font-weight: normal; ");
    if (c.pointSize) tail += QStringLiteral("font-size: %1px; ").arg(*c.pointSize);
    if (c.font) {
        QString family = c.font->empty() ? QApplication::font().family() : QString::fromStdString(*c.font);
        tail += QStringLiteral("font-family: \"%1\"; ").arg(family);
    }
    const auto sheetOf = [&](const QString& d) {
        QString sheet = c.baseStyleSheet;
        if (!d.isEmpty()) {
            if (!sheet.isEmpty()) sheet += QLatin1Char('\n');
            sheet += QStringLiteral("#%1 { %2}").arg(w->objectName(), d);
        }
        return sheet;
    };
    const QString sheet = sheetOf(decl + tail);
    if (auto* shown = dynamic_cast<ShownNumber*>(w)) {
        // a display recoloured with every measurement frame keeps the looks of its colours
        shown->SetSheet(sheet, sheetOf(rest + tail));
    } else if (w->styleSheet() != sheet) {
        w->setStyleSheet(sheet);  // re-polishing is costly
    }
    if (c.autoSize) w->adjustSize();
}

void UpdateOnOffText(CtrlState& c) {
    auto* b = qobject_cast<QAbstractButton*>(c.widget);
    if (!b || !b->isCheckable() || !c.hasOnOffText) return;
    b->setText(b->isChecked() ? c.onText : c.offText);
}

TextObserverPtr g_textObserver = nullptr;
DialogObserverPtr g_dialogObserver = nullptr;

// Wires the widget's user signals to the program's events.
void Wire(int panel, int control, CtrlState& c) {
    QWidget* w = c.widget;
    auto deliver2 = [panel, control] {
        DeliverEvent(panel, control, EVENT_VAL_CHANGED);
        DeliverEvent(panel, control, EVENT_COMMIT);
    };
    switch (c.kind) {
    case CtrlKind::Button:
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            QObject::connect(b, &QAbstractButton::clicked, b, [panel, control] { DeliverEvent(panel, control, EVENT_COMMIT); });
        break;
    case CtrlKind::Toggle:
    case CtrlKind::Radio:
    case CtrlKind::BinarySwitch:
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            QObject::connect(b, &QAbstractButton::clicked, b, [panel, control, deliver2] {
                if (CtrlState* s = FindCtrl(panel, control)) s->switchValue.reset();  // the operator's choice
                deliver2();
            });
            QObject::connect(b, &QAbstractButton::toggled, b, [panel, control] {
                if (CtrlState* s = FindCtrl(panel, control)) UpdateOnOffText(*s);
            });
        }
        break;
    case CtrlKind::Ring:
        if (auto* r = qobject_cast<QComboBox*>(w)) QObject::connect(r, &QComboBox::activated, r, deliver2);
        break;
    case CtrlKind::Numeric:
        if (auto* s = qobject_cast<QSpinBox*>(w)) QObject::connect(s, &QSpinBox::valueChanged, s, deliver2);
        break;
    case CtrlKind::NumericReal:
        if (auto* s = qobject_cast<QDoubleSpinBox*>(w)) QObject::connect(s, &QDoubleSpinBox::valueChanged, s, deliver2);
        break;
    case CtrlKind::Slider:
        if (auto* s = qobject_cast<QSlider*>(w)) {
            QObject::connect(s, &QSlider::valueChanged, s, [s, panel, control] {
                DeliverEvent(panel, control, EVENT_VAL_CHANGED);
                if (!s->isSliderDown()) DeliverEvent(panel, control, EVENT_COMMIT);  // keyboard or page step
            });
            QObject::connect(s, &QSlider::sliderReleased, s, [panel, control] { DeliverEvent(panel, control, EVENT_COMMIT); });
        }
        break;
    default:
        break;
    }
}

void Prepare(int panel, int control, CtrlState& c) {
    QWidget* w = c.widget;
    w->setProperty("krytaPanel", panel);
    w->setProperty("krytaCtrl", control);
    c.baseStyleSheet = w->styleSheet();
    // A message box may follow its text in size (resource property "autoSize").
    if (w->property("autoSize").toBool()) c.autoSize = true;
    if (auto* r = qobject_cast<QComboBox*>(w)) {
        QStringList values = r->property("itemValues").toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (int i = 0; i < r->count(); ++i) {
            bool ok = false;
            int v = i < values.size() ? values[i].trimmed().toInt(&ok) : 0;
            r->setItemData(i, ok ? v : i);
        }
    }
    if (auto* s = qobject_cast<QAbstractSpinBox*>(w)) s->setKeyboardTracking(false);
    if (auto* d = dynamic_cast<RealSpinBox*>(w)) {
        d->digits = d->decimals();
        QSignalBlocker block(d);
        double v = d->value(), lo = d->minimum(), hi = d->maximum();
        d->setDecimals(kRealKeptDecimals);
        d->setRange(lo, hi);
        d->setValue(v);
    }
    if (auto* box = qobject_cast<QCheckBox*>(w)) {
        c.offText = c.onText = box->text();
    }
    QList<QWidget*> all = w->findChildren<QWidget*>();
    all.prepend(w);
    for (QWidget* x : all) {
        x->setContextMenuPolicy(Qt::NoContextMenu);
        x->installEventFilter(Router());
    }
    Wire(panel, control, c);
}

// Size of a panel: as laid out in the resource file, at least enough for its controls.
QSize PanelSize(QWidget* page) {
    QSize s = page->geometry().size();
    QRect kids = page->childrenRect();
    s = s.expandedTo(QSize(kids.right() + 1, kids.bottom() + 1));
    if (s.width() < 1 || s.height() < 1) s = s.expandedTo(QSize(100, 100));
    return s;
}

// Room that the desktop's window frame (title bar, borders) takes beside the panel itself.
constexpr int kFrameRoomWidth = 16;
constexpr int kFrameRoomHeight = 48;

// A window larger than the free area of the screen (a screen lower than the window, less the
// desktop's panels) opens within that area and lets the operator scroll to every part of it, laid out as
// ever; on a screen that holds it, nothing changes (null: no frame needed). Sizes are in Qt's
// device-independent pixels, so a high-density screen counts at its scaled size.
QScrollArea* ScrollingFrameFor(QWidget* page, QSize size) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return nullptr;
    const QRect free = screen->availableGeometry();
    const QSize room(free.width() - kFrameRoomWidth, free.height() - kFrameRoomHeight);
    if (size.width() <= room.width() && size.height() <= room.height()) return nullptr;
    auto* frame = new QScrollArea;
    frame->setFrameShape(QFrame::NoFrame);
    frame->setWidgetResizable(false);
    frame->setWidget(page);
    const int bar = frame->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const QSize whole(size.width() + bar, size.height() + bar);
    frame->setMaximumSize(whole);
    frame->resize(whole.boundedTo(room.expandedTo(QSize(200, 150))));
    frame->move(free.topLeft());
    return frame;
}

int FreeHandle() {
    int h = 1;
    while (g_panels.count(h)) ++h;
    return h;
}

void DropPanel(int panel) {
    auto it = g_panels.find(panel);
    if (it == g_panels.end()) return;
    // Child panels go with their parent.
    std::vector<int> children;
    for (auto& [h, p] : g_panels)
        if (p.parent == panel) children.push_back(h);
    for (int h : children) DropPanel(h);
    it = g_panels.find(panel);
    // A scrolling frame goes with its panel, which it holds.
    QPointer<QWidget> w = it->second.frame ? it->second.frame : it->second.widget;
    g_panels.erase(it);
    if (w) {
        w->hide();
        if (g_deliverDepth > 0)
            w->deleteLater();  // a callback of this panel may still be running
        else
            delete w.data();
    }
}

QString ToQ(const std::string& s) { return QString::fromStdString(s); }

// An item that the program added for a value the list does not offer carries this mark; it goes
// again when the ring is set to another value or its list is changed.
constexpr int kAddedItemRole = Qt::UserRole + 1;

void RemoveAddedItems(QComboBox* r, std::optional<int> except = std::nullopt) {
    for (int i = r->count() - 1; i >= 0; --i)
        if (r->itemData(i, kAddedItemRole).toBool() && (!except || r->itemData(i).toInt() != *except))
            r->removeItem(i);
}

// Selects the item that carries the value. A value without an item gets one, labelled with its
// number and placed before the first item of a greater value, so that a ring always shows the
// value it was given and gives exactly that back.
int SelectRingValue(QComboBox* r, double v) {
    if (v != std::trunc(v) || std::fabs(v) > double(INT_MAX)) return kNoValue;
    const int value = int(v);
    RemoveAddedItems(r, value);
    int at = r->count();
    for (int i = 0; i < r->count(); ++i) {
        const int item = r->itemData(i).toInt();
        if (item == value) {
            r->setCurrentIndex(i);
            return 0;
        }
        if (item > value && at == r->count()) at = i;
    }
    r->insertItem(at, QString::number(value), value);
    r->setItemData(at, true, kAddedItemRole);
    r->setCurrentIndex(at);
    return 0;
}

// A numeric display hands the value it was given last to its spin box before it is read.
void SettleShown(QWidget* w) {
    if (auto* n = dynamic_cast<ShownNumber*>(w)) n->Settle();
}

// Numeric value of any control that holds one.
bool ReadNumber(const CtrlState& c, double& out) {
    QWidget* w = c.widget;
    SettleShown(w);
    switch (c.kind) {
    case CtrlKind::Toggle:
    case CtrlKind::Radio:
    case CtrlKind::BinarySwitch:
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            out = b->isChecked() ? c.switchValue.value_or(1) : 0;
            return true;
        }
        return false;
    case CtrlKind::Ring:
        if (auto* r = qobject_cast<QComboBox*>(w)) {
            if (r->currentIndex() < 0) return false;
            out = r->currentData().toInt();
            return true;
        }
        return false;
    case CtrlKind::Numeric:
        if (auto* s = qobject_cast<QSpinBox*>(w)) { out = s->value(); return true; }
        return false;
    case CtrlKind::NumericReal:
        if (auto* s = qobject_cast<QDoubleSpinBox*>(w)) { out = s->value(); return true; }
        return false;
    case CtrlKind::Slider:
        if (auto* s = qobject_cast<QSlider*>(w)) { out = s->value(); return true; }
        return false;
    case CtrlKind::String:
    case CtrlKind::TextMsg: {
        bool ok = false;
        double v = ShownText(c).trimmed().toDouble(&ok);
        if (ok) out = v;
        return ok;
    }
    default:
        return false;
    }
}

QString NumberText(double v) {
    if (std::isfinite(v) && v == std::trunc(v) && std::fabs(v) < 1e15) return QString::number(qint64(v));
    return QString::number(v, 'g', 10);
}

int SetText(int panel, int control, CtrlState& c, const QString& text) {
    QWidget* w = c.widget;
    switch (c.kind) {
    case CtrlKind::String:
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            e->setText(text);
            e->setCursorPosition(0);
            break;
        }
        return kWrongKind;
    case CtrlKind::TextMsg:
        if (auto* l = qobject_cast<QLabel*>(w)) {
            l->setText(text);
            if (c.autoSize) l->adjustSize();
            break;
        }
        return kWrongKind;
    case CtrlKind::TextBox:
        if (auto* t = qobject_cast<QPlainTextEdit*>(w)) { t->setPlainText(text); break; }
        return kWrongKind;
    default:
        return kWrongKind;
    }
    if (g_textObserver) g_textObserver(panel, control, text.toStdString());
    return 0;
}

// A spin box takes a new value; one that already shows it is left alone (setting it anyway
// repaints it), unless the operator is typing into it: the value replaces what was typed.
void SetSpinValue(QSpinBox* s, int v) {
    if (s->value() == v && !s->hasFocus()) return;
    s->setValue(v);
}

void SetSpinValue(QDoubleSpinBox* s, double v) {
    // the box keeps its value rounded to the digits it shows
    if (s->value() == s->valueFromText(s->textFromValue(v)) && !s->hasFocus()) return;
    s->setValue(v);
}

int SetNumber(int panel, int control, double v) {
    CtrlState* c = FindCtrl(panel, control);
    if (!c) return FindPanel(panel) ? kNoCtrl : kNoPanel;
    if (std::isnan(v)) return kNoValue;
    QWidget* w = c->widget;
    QSignalBlocker block(w);
    switch (c->kind) {
    case CtrlKind::Toggle:
    case CtrlKind::Radio:
    case CtrlKind::BinarySwitch:
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            b->setChecked(v != 0);
            c->switchValue.reset();
            if (c->kind == CtrlKind::BinarySwitch && v != 0 && v != 1 && v == std::trunc(v) &&
                std::fabs(v) <= double(INT_MAX))
                c->switchValue = int(v);
            UpdateOnOffText(*c);
            return 0;
        }
        return kWrongKind;
    case CtrlKind::Ring:
        if (auto* r = qobject_cast<QComboBox*>(w)) return SelectRingValue(r, v);
        return kWrongKind;
    case CtrlKind::Numeric:
        if (auto* s = qobject_cast<QSpinBox*>(w)) {
            double x = std::clamp(v, double(s->minimum()), double(s->maximum()));
            const int i = int(std::lround(x));
            auto* shown = dynamic_cast<ShownNumber*>(w);
            if (!shown || !shown->Take(i)) SetSpinValue(s, i);
            return 0;
        }
        return kWrongKind;
    case CtrlKind::NumericReal:
        if (auto* s = qobject_cast<QDoubleSpinBox*>(w)) {
            const double x = std::clamp(v, s->minimum(), s->maximum());
            auto* shown = dynamic_cast<ShownNumber*>(w);
            if (!shown || !shown->Take(x)) SetSpinValue(s, x);
            return 0;
        }
        return kWrongKind;
    case CtrlKind::Slider:
        if (auto* s = qobject_cast<QSlider*>(w)) {
            double x = std::clamp(v, double(s->minimum()), double(s->maximum()));
            s->setValue(int(std::lround(x)));
            return 0;
        }
        return kWrongKind;
    case CtrlKind::String:
    case CtrlKind::TextMsg:
    case CtrlKind::TextBox:
        return SetText(panel, control, *c, NumberText(v));
    default:
        return kWrongKind;
    }
}

template <class Int>
int GetInteger(int panel, int control, Int& value, double lo, double hi) {
    CtrlState* c = FindCtrl(panel, control);
    if (!c) return FindPanel(panel) ? kNoCtrl : kNoPanel;
    double v = 0;
    if (!ReadNumber(*c, v)) return kWrongKind;
    if (c->kind == CtrlKind::Ring && sizeof(Int) == 2) {
        value = Int(uint16_t(int(v)));  // a ring gives the low 16 bits of its item value
        return 0;
    }
    v = std::clamp(std::round(v), lo, hi);
    value = Int(v);
    return 0;
}

void SetTextBoxLines(QPlainTextEdit* t, const QStringList& lines) {
    QString all = lines.join(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) all += QLatin1Char('\n');
    t->setPlainText(all);
}

QPlainTextEdit* TextBoxOf(int panel, int control, int& err) {
    CtrlState* c = FindCtrl(panel, control);
    if (!c) { err = FindPanel(panel) ? kNoCtrl : kNoPanel; return nullptr; }
    auto* t = qobject_cast<QPlainTextEdit*>(c->widget);
    err = t ? 0 : kWrongKind;
    return t;
}

QComboBox* RingOf(int panel, int control, int& err) {
    CtrlState* c = FindCtrl(panel, control);
    if (!c) { err = FindPanel(panel) ? kNoCtrl : kNoPanel; return nullptr; }
    auto* r = qobject_cast<QComboBox*>(c->widget);
    err = r ? 0 : kWrongKind;
    return r;
}

// The extension of a filter such as "*.cfg" (".cfg"), empty when it has none.
QString FilterExtension(const QString& filter) {
    QString first = filter.section(QLatin1Char(';'), 0, 0).trimmed();
    int dot = first.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) return {};
    QString ext = first.mid(dot);
    if (ext.contains(QLatin1Char('*')) || ext.contains(QLatin1Char('?')) || ext.size() < 2) return {};
    return ext;
}

QString WithExtension(const QString& path, const QString& ext) {
    if (ext.isEmpty()) return path;
    QFileInfo fi(path);
    if (!fi.fileName().isEmpty() && fi.suffix().isEmpty()) return path + ext;
    return path;
}

// Can a window be opened? Without a display a Qt platform plugin aborts the program. Empty when
// it can; otherwise what is missing, for a line on standard error.
std::string MissingWindowSystem(int argc, char** argv) {
    QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i)
        if (argv[i] && std::string(argv[i]) == "-platform" && argv[i + 1]) platform = argv[i + 1];
#if defined(Q_OS_LINUX) || defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const bool x11 = !qgetenv("DISPLAY").isEmpty();
    const bool wayland = !qgetenv("WAYLAND_DISPLAY").isEmpty();
    const char* cure = "start it in a desktop session, or without a screen under xvfb-run (package xvfb)";
    if (platform.isEmpty() && !x11 && !wayland)
        return std::string("no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set): ") + cure;
    if (platform.startsWith("xcb") && !x11)
        return std::string("no X display to open the window on (DISPLAY is not set): ") + cure;
    if (platform.startsWith("wayland") && !wayland)
        return std::string("no Wayland display to open the window on (WAYLAND_DISPLAY is not set): ") + cure;
#else
    (void)argc;
    (void)argv;
    (void)platform;
#endif
    return {};
}

// Headless platforms have no window stacking (and say so on every try).
bool WindowsStack() {
    const QString name = QGuiApplication::platformName();
    return name != QLatin1String("offscreen") && name != QLatin1String("minimal");
}

}  // namespace

// ---- shared with the rest of platform/ -------------------------------------------------------

// The control whose widget is `o` or an ancestor of it.
bool OwnerOf(QObject* o, int& panel, int& control) {
    for (QObject* p = o; p; p = p->parent()) {
        QVariant c = p->property("krytaCtrl");
        if (c.isValid()) {
            panel = p->property("krytaPanel").toInt();
            control = c.toInt();
            return true;
        }
        if (p->property("krytaPanelOf").isValid()) return false;  // reached the panel itself
    }
    return false;
}

// The lines of a text box: a trailing line break does not open another line.
QStringList TextBoxLines(QPlainTextEdit* t) {
    QString all = t->toPlainText();
    if (all.isEmpty()) return {};
    QStringList lines = all.split(QLatin1Char('\n'));
    if (lines.size() > 1 && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

PanelState* FindPanel(int panel) {
    auto it = g_panels.find(panel);
    if (it == g_panels.end() || !it->second.widget) return nullptr;
    return &it->second;
}

CtrlState* FindCtrl(int panel, int control) {
    PanelState* p = FindPanel(panel);
    if (!p) return nullptr;
    auto it = p->ctrls.find(control);
    if (it == p->ctrls.end() || !it->second.widget) return nullptr;
    return &it->second;
}

const std::map<int, PanelState>& AllPanels() { return g_panels; }

QString ShownText(const CtrlState& c) {
    QWidget* w = c.widget;
    if (!w) return {};
    SettleShown(w);
    if (auto* s = qobject_cast<QAbstractSpinBox*>(w)) return s->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* r = qobject_cast<QComboBox*>(w)) return r->currentText();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* t = qobject_cast<QPlainTextEdit*>(w)) return t->toPlainText();
    if (auto* s = qobject_cast<QSlider*>(w)) return QString::number(s->value());
    return {};
}

QWidget* ControlWidget(int panel, int control) {
    CtrlState* c = FindCtrl(panel, control);
    return c ? c->widget.data() : nullptr;
}

QWidget* PanelWidget(int panel) {
    PanelState* p = FindPanel(panel);
    return p ? p->widget.data() : nullptr;
}

void DeliverEvent(int panel, int control, int event, int eventData1, int eventData2) {
    // Control ids start at 0 (the RUN button): id 0 is a control here, never the panel.
    CtrlState* c = FindCtrl(panel, control);
    if (!c || !c->callback) return;
    CtrlCallbackPtr fn = c->callback;
    void* data = c->callbackData;
    ++g_deliverDepth;
    fn(panel, control, event, data, eventData1, eventData2);
    --g_deliverDepth;
}

void DeliverPanelEvent(int panel, int event) {
    PanelState* p = FindPanel(panel);
    if (!p || !p->callback) return;
    PanelCallbackPtr fn = p->callback;
    void* data = p->callbackData;
    ++g_deliverDepth;
    fn(panel, 0, event, data, 0, 0);
    --g_deliverDepth;
}

QColor ToQColor(int rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

}  // namespace kryta

using namespace kryta;

// ---- run-time, panels ---------------------------------------------------------------------------

bool InitUserInterface(int argc, char** argv) {
    if (QCoreApplication::instance()) return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    if (const std::string missing = MissingWindowSystem(argc, argv); !missing.empty()) {
        std::fprintf(stderr, "KRYTA-LT-Scope: %s\n", missing.c_str());
        return false;
    }
    EnsureRuntimeDir();
    // Qt keeps references to argc and argv for the life of the application.
    static int s_argc = 0;
    static std::vector<std::string> s_args;
    static std::vector<char*> s_argv;
    s_args.clear();
    for (int i = 0; i < argc && argv && argv[i]; ++i) s_args.emplace_back(argv[i]);
    if (s_args.empty()) s_args.emplace_back("KRYTA-LT-Scope");
    s_argv.clear();
    for (auto& a : s_args) s_argv.push_back(a.data());
    s_argv.push_back(nullptr);
    s_argc = int(s_args.size());
    auto* app = new QApplication(s_argc, s_argv.data());
    app->setQuitOnLastWindowClosed(false);
    // No pixmap cache: Qt 6.4's cache keeps the name of every pixmap it ever held, and the styled
    // numeric displays are painted with a fresh palette each time, so their names never repeat.
    // With a cache, an unpaced RUN grew by about 1.5 MiB a second; without it, memory stays flat
    // (bench_run_memory) and painting costs the same per frame.
    QPixmapCache::setCacheLimit(0);
    return true;
}

int LoadPanel(int parent, const std::string& uirFile, int resourceId) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return kNoPanel;
    QWidget* parentWidget = nullptr;
    if (parent != 0) {
        parentWidget = PanelWidget(parent);
        if (!parentWidget) return kNoPanel;
    }
    QFile file(ToQ(uirFile));
    if (!file.open(QIODevice::ReadOnly)) return kNoFile;
    const QString pageName = QStringLiteral("panel%1").arg(resourceId);
    PanelLoader loader(pageName);
    QWidget* root = loader.load(&file, nullptr);
    if (!root) return kNoFile;
    QWidget* page = root->objectName() == pageName ? root : root->findChild<QWidget*>(pageName);
    if (!page) {
        delete root;
        return kNoValue;
    }
    QSize size = PanelSize(page);
    if (page != root) {
        page->setParent(nullptr);
        delete root;
    }
    if (parentWidget) {
        page->setParent(parentWidget);
        page->resize(size);
        page->move(0, 0);
        page->hide();
    }
    QScrollArea* frame = nullptr;
    if (!parentWidget) {
        page->setWindowFlags(Qt::Window);
        page->setWindowTitle(QStringLiteral("KRYTA-LT-Scope"));
        page->setFixedSize(size);
        page->move(0, 0);
        page->hide();
        frame = ScrollingFrameFor(page, size);
    }
    page->setAttribute(Qt::WA_StyledBackground, true);

    int handle = FreeHandle();
    PanelState& p = g_panels[handle];
    p.widget = page;
    p.frame = frame;
    if (frame) {
        frame->setWindowTitle(page->windowTitle());
        frame->setProperty("krytaPanelOf", handle);  // its close button closes the panel
        frame->installEventFilter(Router());
        frame->hide();
    }
    p.resource = resourceId;
    p.parent = parent;
    p.loadSeq = ++g_loadSeq;
    page->setProperty("krytaPanelOf", handle);
    page->installEventFilter(Router());
    for (int id = 0; id < CTRL_COUNT; ++id) {
        if (kCtrlTable[id].panelResource != resourceId) continue;
        const QString name = QString::fromLatin1(kCtrlTable[id].name);
        QWidget* w = page->findChild<QWidget*>(name);
        if (!w) continue;
        CtrlState& c = p.ctrls[id];
        c.widget = w;
        c.kind = kCtrlTable[id].kind;
        c.label = page->findChild<QLabel*>(name + QStringLiteral("_label"));
        Prepare(handle, id, c);
    }
    return handle;
}

int DisplayPanel(int panel) {
    PanelState* p = FindPanel(panel);
    if (!p) return kNoPanel;
    p->widget->show();
    if (p->frame) p->frame->show();
    if (p->parent != 0 || WindowsStack()) p->widget->raise();
    // A page shown over the main panel must not cover its visible message boxes (the help boxes).
    if (PanelState* parent = p->parent != 0 ? FindPanel(p->parent) : nullptr) {
        for (auto& [id, c] : parent->ctrls)
            if (c.kind == CtrlKind::TextMsg && c.widget && !c.widget->isHidden()) c.widget->raise();
    }
    return 0;
}

int HidePanel(int panel) {
    PanelState* p = FindPanel(panel);
    if (!p) return kNoPanel;
    p->widget->hide();
    if (p->frame) p->frame->hide();
    return 0;
}

int DiscardPanel(int panel) {
    if (!FindPanel(panel)) {
        g_panels.erase(panel);
        return kNoPanel;
    }
    DropPanel(panel);
    return 0;
}

int SetPanelPos(int panel, int top, int left) {
    PanelState* p = FindPanel(panel);
    if (!p) return kNoPanel;
    p->widget->move(left, top);
    return 0;
}

int GetPanelPos(int panel, int& top, int& left) {
    PanelState* p = FindPanel(panel);
    if (!p) return kNoPanel;
    top = p->widget->y();
    left = p->widget->x();
    return 0;
}

int SetActivePanel(int panel) {
    PanelState* p = FindPanel(panel);
    if (!p) return kNoPanel;
    QWidget* win = p->widget->window();
    int owner = 0, control = 0;
    QWidget* focus = win->focusWidget();
    if (!focus || !OwnerOf(focus, owner, control) || owner != panel) p->widget->setFocus(Qt::OtherFocusReason);
    if (win->isVisible() && WindowsStack()) {
        win->raise();
        win->activateWindow();
    }
    return 0;
}

int SetActiveCtrl(int panel, int control) {
    CtrlState* c = FindCtrl(panel, control);
    if (!c) return FindPanel(panel) ? kNoCtrl : kNoPanel;
    c->widget->setFocus(Qt::OtherFocusReason);
    return 0;
}

int InstallPanelCallback(int panel, PanelCallbackPtr fn, void* callbackData) {
    PanelState* p = FindPanel(panel);
    if (!p) return kNoPanel;
    p->callback = fn;
    p->callbackData = callbackData;
    return 0;
}

int InstallCtrlCallback(int panel, int control, CtrlCallbackPtr fn, void* callbackData) {
    CtrlState* c = FindCtrl(panel, control);
    if (!c) return FindPanel(panel) ? kNoCtrl : kNoPanel;
    c->callback = fn;
    c->callbackData = callbackData;
    return 0;
}

int RunUserInterface() {
    if (g_loop || !QCoreApplication::instance()) return -1;
    if (g_quitAsked) {
        const int code = *g_quitAsked;
        g_quitAsked.reset();
        return code;
    }
    QEventLoop loop;
    g_loop = &loop;
    int code = loop.exec();
    g_loop = nullptr;
    return code;
}

int QuitUserInterface(int code) {
    if (g_loop)
        g_loop->exit(code);
    else
        g_quitAsked = code;
    return 0;
}

namespace {

// Inside event processing, also in the waits of a running exchange: every window gets its
// close event, as from its close button.
void DeliverCloseToWindows() {
    std::vector<int> windows;
    for (const auto& [handle, p] : g_panels)
        if (p.parent == 0) windows.push_back(handle);
    for (int handle : windows) DeliverPanelEvent(handle, EVENT_CLOSE);
}

}  // namespace

int CloseOnTerminationSignals() {
    if (!QCoreApplication::instance()) return -1;
    OnInterruption(DeliverCloseToWindows);
    CloseOnRequestsToHiddenWindows(DeliverCloseToWindows);
    return 0;
}

// ---- control values -------------------------------------------------------------------------------

int SetCtrlVal(int panel, int control, int value) { return SetNumber(panel, control, double(value)); }
int SetCtrlVal(int panel, int control, unsigned int value) { return SetNumber(panel, control, double(value)); }
int SetCtrlVal(int panel, int control, double value) { return SetNumber(panel, control, value); }

int SetCtrlVal(int panel, int control, const std::string& value) {
    CtrlState* c = FindCtrl(panel, control);
    if (!c) return FindPanel(panel) ? kNoCtrl : kNoPanel;
    QSignalBlocker block(c->widget.data());
    return SetText(panel, control, *c, ToQ(value));
}

int SetCtrlVal(int panel, int control, const char* value) {
    return SetCtrlVal(panel, control, std::string(value ? value : ""));
}

int GetCtrlVal(int panel, int control, uint16_t& value) { return GetInteger(panel, control, value, 0, 65535); }
int GetCtrlVal(int panel, int control, int32_t& value) { return GetInteger(panel, control, value, INT32_MIN, INT32_MAX); }

int GetCtrlVal(int panel, int control, double& value) {
    CtrlState* c = FindCtrl(panel, control);
    if (!c) return FindPanel(panel) ? kNoCtrl : kNoPanel;
    double v = 0;
    if (!ReadNumber(*c, v)) return kWrongKind;
    value = v;
    return 0;
}

int GetCtrlVal(int panel, int control, float& value) {
    double v = 0;
    int r = GetCtrlVal(panel, control, v);
    if (r == 0) value = float(v);
    return r;
}

int GetCtrlVal(int panel, int control, std::string& value) {
    CtrlState* c = FindCtrl(panel, control);
    if (!c) return FindPanel(panel) ? kNoCtrl : kNoPanel;
    switch (c->kind) {
    case CtrlKind::Graph:
    case CtrlKind::StripChart:
    case CtrlKind::Decoration:
    case CtrlKind::Picture:
        return kWrongKind;
    default:
        value = ShownText(*c).toStdString();
        return 0;
    }
}

// ---- control attributes ------------------------------------------------------------------------

#define KRYTA_CTRL_OR_FAIL(c)                                     \
    CtrlState* c = FindCtrl(panel, control);                      \
    if (!c) return FindPanel(panel) ? kNoCtrl : kNoPanel

int SetCtrlVisible(int panel, int control, bool visible) {
    KRYTA_CTRL_OR_FAIL(c);
    c->widget->setVisible(visible);
    if (c->label) c->label->setVisible(visible);
    if (visible) {
        // A control made visible comes to the top, e.g. a help box over the page beside it.
        c->widget->raise();
        if (c->label) c->label->raise();
    }
    return 0;
}

bool GetCtrlVisible(int panel, int control) {
    CtrlState* c = FindCtrl(panel, control);
    return c && !c->widget->isHidden();
}

int SetCtrlDimmed(int panel, int control, bool dimmed) {
    KRYTA_CTRL_OR_FAIL(c);
    c->widget->setEnabled(!dimmed);
    if (c->label) c->label->setEnabled(!dimmed);
    return 0;
}

int SetCtrlLabel(int panel, int control, const std::string& label) {
    KRYTA_CTRL_OR_FAIL(c);
    auto* b = qobject_cast<QAbstractButton*>(c->widget);
    if (b && !(c->kind == CtrlKind::BinarySwitch && c->hasOnOffText)) {
        b->setText(ToQ(label));
        if (auto* box = qobject_cast<QCheckBox*>(c->widget)) c->onText = c->offText = box->text();
        return 0;
    }
    if (c->label) {
        c->label->setText(ToQ(label));
        return 0;
    }
    return kWrongKind;
}

int SetCtrlTextColor(int panel, int control, int rgb) {
    KRYTA_CTRL_OR_FAIL(c);
    c->textColor = rgb & 0xFFFFFF;
    ApplyStyle(*c);
    return 0;
}

int SetCtrlTextBgColor(int panel, int control, int rgb) {
    KRYTA_CTRL_OR_FAIL(c);
    // the measurement displays are coloured after every frame, mostly in the colour they have
    if (c->bgColor == (rgb & 0xFFFFFF)) return 0;
    c->bgColor = rgb & 0xFFFFFF;
    ApplyStyle(*c);
    return 0;
}

int SetCtrlBold(int panel, int control, bool bold) {
    KRYTA_CTRL_OR_FAIL(c);
    c->bold = bold;
    ApplyStyle(*c);
    return 0;
}

int SetCtrlPrecision(int panel, int control, int digits) {
    KRYTA_CTRL_OR_FAIL(c);
    auto* d = dynamic_cast<RealSpinBox*>(c->widget.data());
    if (!d) return kWrongKind;
    if (digits < 0 || digits > 15) return kNoValue;
    QSignalBlocker block(d);
    d->setDigits(digits);
    return 0;
}

int SetCtrlOnOffText(int panel, int control, const std::string& onText, const std::string& offText) {
    KRYTA_CTRL_OR_FAIL(c);
    auto* b = qobject_cast<QAbstractButton*>(c->widget);
    if (!b || !b->isCheckable()) return kWrongKind;
    c->hasOnOffText = true;
    c->onText = ToQ(onText);
    c->offText = ToQ(offText);
    UpdateOnOffText(*c);
    return 0;
}

int SetCtrlFont(int panel, int control, const std::string& font) {
    KRYTA_CTRL_OR_FAIL(c);
    c->font = font;
    ApplyStyle(*c);
    return 0;
}

int SetCtrlPointSize(int panel, int control, int points) {
    KRYTA_CTRL_OR_FAIL(c);
    if (points < 1 || points > 500) return kNoValue;
    c->pointSize = points;
    ApplyStyle(*c);
    return 0;
}

int SetCtrlPos(int panel, int control, int top, int left) {
    KRYTA_CTRL_OR_FAIL(c);
    QWidget* w = c->widget;
    QWidget* page = PanelWidget(panel);
    QPoint target(left, top);
    QPoint inParent = w->parentWidget() && w->parentWidget() != page ? w->parentWidget()->mapFrom(page, target) : target;
    QPoint delta = inParent - w->pos();
    w->move(inParent);
    if (c->label) c->label->move(c->label->pos() + delta);  // the label travels with its control
    return 0;
}

int GetCtrlBoundingRect(int panel, int control, int& top, int& left, int& height, int& width) {
    KRYTA_CTRL_OR_FAIL(c);
    QWidget* w = c->widget;
    QPoint at = w->parentWidget() ? w->mapTo(PanelWidget(panel), QPoint(0, 0)) : w->pos();
    top = at.y();
    left = at.x();
    height = w->height();
    width = w->width();
    return 0;
}

// ---- ring items ------------------------------------------------------------------------------------

int ReplaceListItem(int panel, int control, int index, const std::string& label, int value) {
    int err = 0;
    QComboBox* r = RingOf(panel, control, err);
    if (!r) return err;
    QSignalBlocker block(r);
    RemoveAddedItems(r);
    if (index < 0 || index > r->count()) return kNoValue;
    if (index == r->count()) {
        r->addItem(ToQ(label), value);
    } else {
        r->setItemText(index, ToQ(label));
        r->setItemData(index, value);
    }
    return 0;
}

int DeleteListItem(int panel, int control, int index, int count) {
    int err = 0;
    QComboBox* r = RingOf(panel, control, err);
    if (!r) return err;
    if (index < 0 || index >= r->count()) return kNoValue;
    if (count < 0 || index + count > r->count()) count = r->count() - index;
    QSignalBlocker block(r);
    for (int i = 0; i < count; ++i) r->removeItem(index);
    return 0;
}

int GetNumListItems(int panel, int control) {
    int err = 0;
    QComboBox* r = RingOf(panel, control, err);
    return r ? r->count() : err;
}

// ---- text boxes -----------------------------------------------------------------------------------

int ReplaceTextBoxLine(int panel, int control, int line, const std::string& text) {
    int err = 0;
    QPlainTextEdit* t = TextBoxOf(panel, control, err);
    if (!t) return err;
    if (line < 0 || line > 100000) return kNoValue;
    QStringList lines = TextBoxLines(t);
    while (lines.size() <= line) lines.append(QString());
    // One line stays one line: a line break in the text would shift the lines below.
    lines[line] = ToQ(text).split(QLatin1Char('\n')).first();
    SetTextBoxLines(t, lines);
    return 0;
}

int ResetTextBox(int panel, int control, const std::string& text) {
    int err = 0;
    QPlainTextEdit* t = TextBoxOf(panel, control, err);
    if (!t) return err;
    t->setPlainText(ToQ(text));
    return 0;
}

// ---- new controls, pictures -------------------------------------------------------------------

int NewTextMsg(int panel, const std::string& text, int top, int left) {
    PanelState* p = FindPanel(panel);
    if (!p) return kNoPanel;
    static int s_nextId = CTRL_COUNT;
    int id = s_nextId++;
    auto* label = new QLabel(ToQ(text), p->widget);
    label->setObjectName(QStringLiteral("TextMsg%1").arg(id));
    label->move(left, top);
    label->adjustSize();
    label->show();
    CtrlState& c = p->ctrls[id];
    c.widget = label;
    c.kind = CtrlKind::TextMsg;
    c.autoSize = true;
    Prepare(panel, id, c);
    return id;
}

int DisplayImageFile(int panel, int control, const std::string& path) {
    KRYTA_CTRL_OR_FAIL(c);
    auto* l = qobject_cast<QLabel*>(c->widget);
    if (!l) return kWrongKind;
    QPixmap pm;
    if (!pm.load(ToQ(path))) {
        l->clear();
        return kNoFile;
    }
    l->setPixmap(pm);
    return 0;
}

// ---- dialogs ----------------------------------------------------------------------------------------

void SetTextObserver(TextObserverPtr fn) { g_textObserver = fn; }

void SetDialogObserver(DialogObserverPtr fn) { g_dialogObserver = fn; }

int FileSelectPopup(const std::string& defaultDir, const std::string& defaultName, const std::string& filter,
                    const std::string& title, const std::string& buttonLabel, bool restrictDirectory,
                    bool restrictExtension, bool allowCancel, bool allowMakeDirectory, std::string& path) {
    const QString ext = restrictExtension ? FilterExtension(ToQ(filter)) : QString();
    DialogAnswer answer;
    if (g_dialogObserver &&
        g_dialogObserver({"file", title, "", defaultDir, defaultName, filter, buttonLabel}, answer)) {
        if (answer.result != VAL_EXISTING_FILE_SELECTED && answer.result != VAL_NEW_FILE_SELECTED)
            return VAL_NO_FILE_SELECTED;
        path = WithExtension(ToQ(answer.path), ext).toStdString();
        return answer.result;
    }
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return VAL_NO_FILE_SELECTED;
    QFileDialog dlg(QApplication::activeWindow(), ToQ(title), ToQ(defaultDir));
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, true);  // the program asks itself
    dlg.setOption(QFileDialog::ReadOnly, !allowMakeDirectory);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    if (!filter.empty()) dlg.setNameFilter(ToQ(filter));
    if (!buttonLabel.empty()) dlg.setLabelText(QFileDialog::Accept, ToQ(buttonLabel));
    if (!defaultName.empty()) dlg.selectFile(ToQ(defaultName));
    if (restrictDirectory) {
        const QString dir = QDir(ToQ(defaultDir)).absolutePath();
        QObject::connect(&dlg, &QFileDialog::directoryEntered, &dlg, [&dlg, dir](const QString& d) {
            if (QDir(d).absolutePath() != dir) dlg.setDirectory(dir);
        });
    }
    (void)allowCancel;  // the dialog always offers cancel; cancelling changes nothing
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return VAL_NO_FILE_SELECTED;
    QString chosen = WithExtension(dlg.selectedFiles().first(), ext);
    QFileInfo fi(chosen);
    if (fi.isDir()) return VAL_NO_FILE_SELECTED;
    path = chosen.toStdString();
    return fi.exists() ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
}

int ConfirmPopup(const std::string& title, const std::string& message) {
    DialogAnswer answer;
    if (g_dialogObserver && g_dialogObserver({"confirm", title, message, "", "", "", ""}, answer))
        return answer.result ? 1 : 0;
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return 0;
    const auto button = QMessageBox::question(QApplication::activeWindow(), ToQ(title), ToQ(message),
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return button == QMessageBox::Yes ? 1 : 0;
}
