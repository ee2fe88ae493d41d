#include "platform/gtk/frame_extents.h"

#ifdef GDK_WINDOWING_X11
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#endif

namespace portable::gtk {

#ifdef GDK_WINDOWING_X11

namespace {

// The four numbers of _NET_FRAME_EXTENTS (left, right, top, bottom) once the
// window manager has set them.
bool read_extents(Display* x, Window window, Atom property, RECT& extents) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(x, window, property, 0, 4, False, XA_CARDINAL, &type,
                                          &format, &count, &after, &data);
    const bool found = status == Success && type == XA_CARDINAL && format == 32 && count == 4;
    if (found) {
        const auto* v = reinterpret_cast<const long*>(data);  // format 32 comes as longs
        extents = RECT{static_cast<LONG>(v[0]), static_cast<LONG>(v[2]), static_cast<LONG>(v[1]),
                       static_cast<LONG>(v[3])};
    }
    if (data != nullptr)
        XFree(data);
    return found;
}

}  // namespace

bool frame_extents(GtkWidget* window, RECT& extents) {
    GdkDisplay* display = gdk_display_get_default();
    GdkWindow* gdk = gtk_widget_get_window(window);
    if (!GDK_IS_X11_DISPLAY(display) || gdk == nullptr)
        return false;
    GdkScreen* screen = gdk_display_get_default_screen(display);
    if (!gdk_x11_screen_supports_net_wm_hint(
            screen, gdk_atom_intern_static_string("_NET_REQUEST_FRAME_EXTENTS")))
        return false;
    Display* x = GDK_DISPLAY_XDISPLAY(display);
    const Window xid = GDK_WINDOW_XID(gdk);
    const Atom property = gdk_x11_get_xatom_by_name_for_display(display, "_NET_FRAME_EXTENTS");
    XEvent request{};
    request.xclient.type = ClientMessage;
    request.xclient.window = xid;
    request.xclient.message_type =
        gdk_x11_get_xatom_by_name_for_display(display, "_NET_REQUEST_FRAME_EXTENTS");
    request.xclient.format = 32;
    XSendEvent(x, DefaultRootWindow(x), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &request);
    XFlush(x);
    // The answer is a property on the window; a window manager sets it at once.
    for (int tries = 0; tries < 50; ++tries) {
        XSync(x, False);
        if (read_extents(x, xid, property, extents))
            return true;
        g_usleep(4000);
    }
    return false;
}

#else

bool frame_extents(GtkWidget*, RECT&) {
    return false;
}

#endif

}  // namespace portable::gtk
