// Close requests that reach a window the program never shows.
//
// On X11, Qt keeps hidden windows of its own beside the program's: the client leader (1 x 1 pixel)
// carries the program's title, KRYTA-LT-Scope, as the main window does. A tool that finds "the"
// window by its title, and sends it WM_DELETE_WINDOW as a desktop's close button would, may pick
// that one; Qt drops the request, and the program would go on holding the port. Here such a
// request closes the program as its close button does.
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

#include "platform/internal.h"

namespace kryta {
namespace {

xcb_atom_t InternAtom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(r);
    return atom;
}

class HiddenWindowCloseFilter : public QAbstractNativeEventFilter {
public:
    HiddenWindowCloseFilter(xcb_connection_t* c, void (*close)())
        : protocols_(InternAtom(c, "WM_PROTOCOLS")), deleteWindow_(InternAtom(c, "WM_DELETE_WINDOW")), close_(close) {}

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        const auto* ev = static_cast<const xcb_generic_event_t*>(message);
        if ((ev->response_type & 0x7f) != XCB_CLIENT_MESSAGE) return false;
        const auto* cm = reinterpret_cast<const xcb_client_message_event_t*>(ev);
        if (cm->format != 32 || cm->type != protocols_ || cm->data.data32[0] != deleteWindow_) return false;
        // a window of the program's own: Qt hands the request on as its close event
        for (const QWindow* w : QGuiApplication::allWindows())
            if (w->handle() && xcb_window_t(w->winId()) == cm->window) return false;
        close_();
        return true;
    }

private:
    xcb_atom_t protocols_, deleteWindow_;
    void (*close_)();
};

}  // namespace

void CloseOnRequestsToHiddenWindows(void (*close)()) {
    static HiddenWindowCloseFilter* filter = nullptr;
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (filter || !app) return;
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return;  // another window system: nothing hidden to reach
    filter = new HiddenWindowCloseFilter(x11->connection(), close);
    app->installNativeEventFilter(filter);
}

}  // namespace kryta
