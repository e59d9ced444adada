// Sends a close request (WM_DELETE_WINDOW, what a desktop's close button sends) to the windows
// of the X display that carry exactly the given title, as a tool that looks a window up by its
// title does. Usage: x11_close TITLE hidden|shown
// Prints how many windows got one; exit 1 when none did.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(r);
    return a;
}

std::string Title(xcb_connection_t* c, xcb_window_t w) {
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, XCB_ATOM_WM_NAME, XCB_ATOM_ANY, 0, 256), nullptr);
    std::string t = r ? std::string(static_cast<const char*>(xcb_get_property_value(r)),
                                    size_t(xcb_get_property_value_length(r)))
                      : std::string();
    std::free(r);
    return t;
}

bool Shown(xcb_connection_t* c, xcb_window_t w) {
    xcb_get_window_attributes_reply_t* r = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
    const bool shown = r && r->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(r);
    return shown;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: x11_close TITLE hidden|shown\n");
        return 2;
    }
    const bool wantShown = std::strcmp(argv[2], "shown") == 0;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "x11_close: no X display\n");
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t protocols = Atom(c, "WM_PROTOCOLS"), deleteWindow = Atom(c, "WM_DELETE_WINDOW");
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr);
    int sent = 0;
    for (int i = 0; tree && i < xcb_query_tree_children_length(tree); ++i) {
        const xcb_window_t w = xcb_query_tree_children(tree)[i];
        if (Title(c, w) != argv[1] || Shown(c, w) != wantShown) continue;
        xcb_client_message_event_t ev{};
        ev.response_type = XCB_CLIENT_MESSAGE;
        ev.format = 32;
        ev.window = w;
        ev.type = protocols;
        ev.data.data32[0] = deleteWindow;
        ev.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(c, 0, w, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
        ++sent;
    }
    std::free(tree);
    // a round trip: the server has taken every request before the connection ends
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    xcb_disconnect(c);
    std::printf("%d\n", sent);
    return sent > 0 ? 0 : 1;
}
