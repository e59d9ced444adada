// Test interface of the run-time layer: acts on the real widgets as an operator would and reads
// back what the operator sees.

#include "platform/testing.h"

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

#include "platform/internal.h"
#include "platform/uistate.h"

using namespace kryta;

namespace {

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
    // Not clipped by the window or a scrolled-away part of it...
    if (w->visibleRegion().boundingRect() != w->rect()) return false;
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
