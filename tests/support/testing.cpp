// Test interface of the run-time layer: acts on the real widgets as an operator would and reads
// back what the operator sees; keeps the texts and dialogs the program showed, through the
// run-time's observers.

#include "support/testing.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>
#include <map>

#include "platform/internal.h"
#include "platform/uistate.h"
#include "support/testing_graph.h"

using namespace kryta;

namespace {

// Result codes of the run-time's functions besides 0.
constexpr int kNoPanel = -1;
constexpr int kNoCtrl = -2;
constexpr int kWrongKind = -3;
constexpr int kNoValue = -4;

// Records kept per control and of the dialogs: the newest only, so that a status line set for a
// whole long run, or a file read again and again, does not grow memory without end.
constexpr size_t kRecordLimit = 20000;

template <class T>
void Keep(std::vector<T>& records, T item) {
    if (records.size() >= kRecordLimit) records.erase(records.begin(), records.begin() + kRecordLimit / 2);
    records.push_back(std::move(item));
}

std::map<std::pair<int, int>, std::vector<std::string>>& TextHistory() {
    static std::map<std::pair<int, int>, std::vector<std::string>> h;
    return h;
}

void OnText(int panel, int control, const std::string& text) {
    const CtrlState* c = FindCtrl(panel, control);
    if (c && (c->kind == CtrlKind::String || c->kind == CtrlKind::TextMsg)) Keep(TextHistory()[{panel, control}], text);
}

// Test mode of the dialogs and the answers queued for them.
struct DialogQueue {
    bool fromQueue = false;
    std::deque<std::pair<int, std::string>> fileAnswers;
    std::deque<int> confirmAnswers;
    std::vector<DialogRecord> shown;
};

DialogQueue& Dialogs() {
    static DialogQueue q;
    return q;
}

// Every dialog is recorded; in the test mode it takes the next queued answer of its kind instead
// of opening, or is cancelled (file) or answered no (question) when none is queued.
bool OnDialog(const DialogRequest& dialog, DialogAnswer& answer) {
    DialogQueue& q = Dialogs();
    Keep(q.shown, dialog);
    if (!q.fromQueue) return false;
    answer = {};
    if (dialog.kind == "file" && !q.fileAnswers.empty()) {
        answer.result = q.fileAnswers.front().first;
        answer.path = q.fileAnswers.front().second;
        q.fileAnswers.pop_front();
    } else if (dialog.kind == "confirm" && !q.confirmAnswers.empty()) {
        answer.result = q.confirmAnswers.front();
        q.confirmAnswers.pop_front();
    }
    return true;
}

// Watching starts with the test process, before any panel is loaded.
const bool g_watching = [] {
    SetTextObserver(OnText);
    SetDialogObserver(OnDialog);
    return true;
}();

// A person can only act on a control that is there: a hidden control takes no clicks or
// entries (a dimmed one is refused by the widget itself).
QWidget* Reachable(int panel, int control) {
    CtrlState* c = FindCtrl(panel, control);
    if (!c || c->widget->isHidden()) return nullptr;
    return c->widget;
}

void Click(int panel, int control, Qt::MouseButton button) {
    QWidget* w = Reachable(panel, control);
    if (!w) return;
    QPointer<QWidget> guard(w);
    QTest::mouseClick(w, button, Qt::NoModifier, w->rect().center());
    // A left click opens a drop-down's list; the person picks nothing from it.
    if (auto* r = qobject_cast<QComboBox*>(guard.data())) r->hidePopup();
}

// Text that the spin box accepts for `value` as typed by a person.
QString TypedNumber(QAbstractSpinBox* s, double value) {
    if (auto* d = qobject_cast<QDoubleSpinBox*>(s)) {
        QString t = d->locale().toString(value, 'f', std::min(d->decimals(), 17));
        if (t.contains(d->locale().decimalPoint())) {
            while (t.endsWith(QLatin1Char('0'))) t.chop(1);
            if (t.endsWith(d->locale().decimalPoint())) t.chop(1);
        }
        return d->prefix() + t + d->suffix();
    }
    auto* i = qobject_cast<QSpinBox*>(s);
    return i->prefix() + i->locale().toString(qlonglong(std::llround(value))) + i->suffix();
}

}  // namespace

void TestLeftClick(int panel, int control) { Click(panel, control, Qt::LeftButton); }

void TestRightClick(int panel, int control) { Click(panel, control, Qt::RightButton); }

void TestKeyPress(int panel, int control) {
    QWidget* w = Reachable(panel, control);
    if (!w) return;
    // A key that no control acts on by itself.
    QTest::keyClick(w, Qt::Key_Shift);
}

void TestUserSetValue(int panel, int control, double value) {
    QWidget* w = Reachable(panel, control);
    if (!w || !w->isEnabled() || std::isnan(value)) return;
    if (auto* s = qobject_cast<QAbstractSpinBox*>(w)) {
        // Type the number and confirm it; the box takes values within its range only.
        double lo = 0, hi = 0;
        if (auto* d = qobject_cast<QDoubleSpinBox*>(s)) lo = d->minimum(), hi = d->maximum();
        if (auto* i = qobject_cast<QSpinBox*>(s)) lo = i->minimum(), hi = i->maximum();
        value = std::clamp(value, lo, hi);
        QLineEdit* edit = s->findChild<QLineEdit*>();
        if (!edit) return;
        edit->setText(TypedNumber(s, value));
        s->interpretText();
        return;
    }
    if (auto* sl = qobject_cast<QSlider*>(w)) {
        int v = int(std::lround(std::clamp(value, double(sl->minimum()), double(sl->maximum()))));
        sl->setSliderDown(true);
        sl->setSliderPosition(v);
        sl->setSliderDown(false);
        return;
    }
    if (auto* r = qobject_cast<QComboBox*>(w)) {
        for (int i = 0; i < r->count(); ++i) {
            if (double(r->itemData(i).toInt()) == value) {
                r->setCurrentIndex(i);
                emit r->activated(i);
                return;
            }
        }
        return;
    }
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        if (b->isCheckable() && b->isChecked() != (value != 0)) b->click();
        return;
    }
}

std::vector<std::string> TestOpenList(int panel, int control) {
    std::vector<std::string> shown;
    QWidget* w = Reachable(panel, control);
    auto* r = qobject_cast<QComboBox*>(w);
    if (!r || !r->isEnabled()) return shown;
    QPointer<QComboBox> guard(r);
    QTest::mouseClick(r, Qt::LeftButton, Qt::NoModifier, r->rect().center());
    if (!guard) return shown;
    QAbstractItemView* list = r->view();
    if (list && list->isVisible()) {
        for (int i = 0; i < list->model()->rowCount(); ++i)
            shown.push_back(list->model()->index(i, 0).data(Qt::DisplayRole).toString().toStdString());
    }
    r->hidePopup();
    return shown;
}

void TestScrollIntoView(int panel, int control) {
    CtrlState* c = FindCtrl(panel, control);
    if (!c) return;
    for (QWidget* p = c->widget->parentWidget(); p; p = p->parentWidget()) {
        auto* area = qobject_cast<QScrollArea*>(p);
        if (!area || !area->widget()) continue;
        // Move each scroll bar, as a person drags it, just far enough to show the whole control.
        const QRect r(c->widget->mapTo(area->widget(), QPoint(0, 0)), c->widget->size());
        const QSize view = area->viewport()->size();
        auto bring = [](QScrollBar* bar, int lo, int hi, int extent) {
            if (hi > bar->value() + extent) bar->setValue(hi - extent);
            if (lo < bar->value()) bar->setValue(lo);
        };
        bring(area->verticalScrollBar(), r.top(), r.bottom() + 1, view.height());
        bring(area->horizontalScrollBar(), r.left(), r.right() + 1, view.width());
        return;
    }
}

bool TestCtrlInView(int panel, int control) {
    CtrlState* c = FindCtrl(panel, control);
    if (!c || !c->widget->isVisible()) return false;
    QWidget* w = c->widget;
    // Not clipped by the window or a scrolled-away part of it, nor covered but by its own parts...
    std::function<QRegion(QWidget*)> seen = [&](QWidget* v) {
        QRegion r = v->visibleRegion();
        for (QWidget* part : v->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (part->isVisible()) r += seen(part).translated(part->pos());
        return r;
    };
    if (!(QRegion(w->rect()) - seen(w)).isEmpty()) return false;
    // ...and the window's part that holds it lies on the screen's free area.
    const QScreen* screen = w->screen();
    if (!screen) return false;
    const QRect global(w->mapToGlobal(QPoint(0, 0)), w->size());
    return screen->availableGeometry().contains(global);
}

WindowModel TestWindowModel(int panel) {
    WindowModel m;
    PanelState* p = FindPanel(panel);
    if (!p) return m;
    QWidget* win = p->widget->window();
    m.width = win->width();
    m.height = win->height();
    m.scrolls = qobject_cast<QScrollArea*>(win) != nullptr;
    if (const QScreen* screen = win->screen()) {
        const QRect free = screen->availableGeometry();
        m.freeWidth = free.width();
        m.freeHeight = free.height();
        m.onFreeArea = free.contains(win->geometry());
    }
    return m;
}

void TestClosePanel(int panel) {
    QWidget* w = PanelWidget(panel);
    if (!w) return;
    QCloseEvent ev;
    QCoreApplication::sendEvent(w, &ev);
}

void TestFireEvent(int panel, int control, int event) { DeliverEvent(panel, control, event); }

void TestLeftClickLater(double seconds, int panel, int control) {
    int ms = int(std::lround(std::max(0.0, seconds) * 1000));
    QTimer::singleShot(ms, qApp, [panel, control] { TestLeftClick(panel, control); });
}

void TestRunLater(double seconds, void (*fn)(void*), void* data) {
    if (!fn) return;
    int ms = int(std::lround(std::max(0.0, seconds) * 1000));
    QTimer::singleShot(ms, qApp, [fn, data] { fn(data); });
}

void TestQueueFileSelect(int result, const std::string& path) { Dialogs().fileAnswers.emplace_back(result, path); }

void TestQueueConfirm(int answer) { Dialogs().confirmAnswers.push_back(answer); }

int TestPendingDialogAnswers() {
    return int(Dialogs().fileAnswers.size() + Dialogs().confirmAnswers.size());
}

std::vector<DialogRecord> TestDialogs() { return Dialogs().shown; }

void TestClearDialogs() {
    Dialogs().shown.clear();
    Dialogs().fileAnswers.clear();
    Dialogs().confirmAnswers.clear();
}

void TestSetDialogMode(bool fromQueue) { Dialogs().fromQueue = fromQueue; }

std::string TestCtrlText(int panel, int control) {
    CtrlState* c = FindCtrl(panel, control);
    return c ? ShownText(*c).toStdString() : std::string();
}

std::vector<std::string> TestTextHistory(int panel, int control) {
    auto it = TextHistory().find({panel, control});
    return it == TextHistory().end() ? std::vector<std::string>() : it->second;
}

void TestClearTextHistory() { TextHistory().clear(); }

std::string TestWidgetClass(int panel, int control) {
    QWidget* w = ControlWidget(panel, control);
    return w ? std::string(w->metaObject()->className()) : std::string();
}

bool TestCtrlExists(int panel, int control) { return ControlWidget(panel, control) != nullptr; }

std::string TestCtrlFontFamily(int panel, int control) {
    QWidget* w = ControlWidget(panel, control);
    if (!w) return {};
    w->ensurePolished();
    return w->font().family().toStdString();
}

std::string TestAppFontFamily() { return QApplication::font().family().toStdString(); }

bool TestCtrlShowsPicture(int panel, int control) {
    auto* l = qobject_cast<QLabel*>(ControlWidget(panel, control));
    return l && !l->pixmap().isNull();
}

int TestPanelFromControl(int control) {
    int best = -1;
    long bestSeq = -1;
    for (const auto& [handle, p] : AllPanels()) {
        if (!p.widget) continue;
        auto it = p.ctrls.find(control);
        if (it == p.ctrls.end() || !it->second.widget) continue;
        if (p.loadSeq > bestSeq) best = handle, bestSeq = p.loadSeq;
    }
    return best;
}

GraphModel TestGraphModel(int panel, int control) {
    QWidget* w = ControlWidget(panel, control);
    return w ? GraphModelOf(w) : GraphModel();
}

int TestPixelsLike(const std::string& pngPath, int panel, int control, int rgb, int tolerance) {
    QWidget* w = ControlWidget(panel, control);
    const PanelState* top = nullptr;
    for (const auto& [handle, p] : AllPanels())
        if (p.widget && p.parent == 0 && p.widget->isAncestorOf(w)) top = &p;
    QImage img;
    if (!w || !top || !img.load(QString::fromStdString(pngPath))) return -1;
    const QRect r = QRect(w->mapTo(top->widget, QPoint(0, 0)), w->size()) & img.rect();
    const QColor want(QRgb(unsigned(rgb) | 0xFF000000u));
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (std::abs(c.red() - want.red()) <= tolerance && std::abs(c.green() - want.green()) <= tolerance &&
                std::abs(c.blue() - want.blue()) <= tolerance)
                ++n;
        }
    return n;
}

bool TestScreenshot(const std::string& pngPath) {
    // The main panel is the newest top-level panel; its pages are drawn inside it.
    QWidget* window = nullptr;
    long seq = -1;
    for (const auto& [handle, p] : AllPanels()) {
        if (p.widget && p.parent == 0 && p.loadSeq > seq) window = p.widget, seq = p.loadSeq;
    }
    if (!window) return false;
    window->ensurePolished();
    QPixmap shot = window->grab();
    return !shot.isNull() && shot.save(QString::fromStdString(pngPath), "PNG");
}

bool TestScreenScreenshot(const std::string& pngPath) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return false;
    QCoreApplication::processEvents();
    const QPixmap shot = screen->grabWindow(0);
    return !shot.isNull() && shot.save(QString::fromStdString(pngPath), "PNG");
}

// ---- attributes as set -----------------------------------------------------------------------

#define KRYTA_CTRL_OR_FAIL(c)                \
    CtrlState* c = FindCtrl(panel, control); \
    if (!c) return FindPanel(panel) ? kNoCtrl : kNoPanel

bool IsPanelVisible(int panel) {
    PanelState* p = FindPanel(panel);
    return p && !p->widget->isHidden();
}

bool GetCtrlDimmed(int panel, int control) {
    CtrlState* c = FindCtrl(panel, control);
    return c && c->widget->testAttribute(Qt::WA_ForceDisabled);
}

std::string GetCtrlLabel(int panel, int control) {
    CtrlState* c = FindCtrl(panel, control);
    if (!c) return {};
    auto* b = qobject_cast<QAbstractButton*>(c->widget);
    if (b && !(c->kind == CtrlKind::BinarySwitch && c->hasOnOffText)) return b->text().toStdString();
    if (c->label) return c->label->text().toStdString();
    return {};
}

int GetCtrlTextColor(int panel, int control) {
    KRYTA_CTRL_OR_FAIL(c);
    if (c->textColor) return *c->textColor;
    c->widget->ensurePolished();
    return int(c->widget->palette().color(c->widget->foregroundRole()).rgb() & 0xFFFFFF);
}

int GetCtrlTextBgColor(int panel, int control) {
    KRYTA_CTRL_OR_FAIL(c);
    if (c->bgColor) return *c->bgColor;
    c->widget->ensurePolished();
    return int(c->widget->palette().color(c->widget->backgroundRole()).rgb() & 0xFFFFFF);
}

bool GetCtrlBold(int panel, int control) {
    CtrlState* c = FindCtrl(panel, control);
    if (!c) return false;
    if (c->bold) return *c->bold;
    return c->widget->font().bold();
}

int GetCtrlPrecision(int panel, int control) {
    KRYTA_CTRL_OR_FAIL(c);
    auto* d = dynamic_cast<RealSpinBox*>(c->widget.data());
    return d ? d->digits : kWrongKind;
}

namespace {

// The program's window: the active one, else the newest shown top-level panel's.
QWidget* ProgramWindow() {
    if (QWidget* active = QApplication::activeWindow()) return active;
    QWidget* window = nullptr;
    long seq = -1;
    for (const auto& [handle, p] : AllPanels())
        if (p.widget && p.parent == 0 && p.loadSeq > seq) window = p.widget->window(), seq = p.loadSeq;
    return window;
}

}  // namespace

int GetActivePanel() {
    QWidget* window = ProgramWindow();
    for (QWidget* w = window ? window->focusWidget() : nullptr; w; w = w->parentWidget()) {
        const QVariant p = w->property("krytaPanelOf");
        if (p.isValid() && FindPanel(p.toInt())) return p.toInt();
    }
    return 0;
}

int GetActiveCtrl(int panel) {
    PanelState* p = FindPanel(panel);
    if (!p) return kNoPanel;
    int owner = 0, control = 0;
    QWidget* f = p->widget->window()->focusWidget();
    return f && OwnerOf(f, owner, control) && owner == panel ? control : kNoCtrl;
}

int GetListItem(int panel, int control, int index, std::string& label, int& value) {
    KRYTA_CTRL_OR_FAIL(c);
    auto* r = qobject_cast<QComboBox*>(c->widget);
    if (!r) return kWrongKind;
    if (index < 0 || index >= r->count()) return kNoValue;
    label = r->itemText(index).toStdString();
    value = r->itemData(index).toInt();
    return 0;
}

int GetTextBoxLine(int panel, int control, int line, std::string& text) {
    KRYTA_CTRL_OR_FAIL(c);
    auto* t = qobject_cast<QPlainTextEdit*>(c->widget);
    if (!t) return kWrongKind;
    const QStringList lines = TextBoxLines(t);
    if (line < 0 || line >= lines.size()) return kNoValue;
    text = lines[line].toStdString();
    return 0;
}

int GetNumTextBoxLines(int panel, int control) {
    KRYTA_CTRL_OR_FAIL(c);
    auto* t = qobject_cast<QPlainTextEdit*>(c->widget);
    return t ? int(TextBoxLines(t).size()) : kWrongKind;
}

int GetGraphCursor(int panel, int control, int cursor, double& x, double& y) {
    return GraphGetCursor(ControlWidget(panel, control), cursor, x, y);
}
