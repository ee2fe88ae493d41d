#include "platform/gtk/gtk_signals.h"

#include <cmath>

#include "platform/gtk/gtk_keys.h"
#include "platform/gtk/gtk_paint.h"
#include "platform/gtk/gtk_scroll.h"
#include "platform/portable/core_input.h"
#include "platform/portable/user.h"

namespace portable::gtk {

namespace {

// Pointer events carry doubles; client pixels are the integers below them.
int pixel(double v) {
    return static_cast<int>(std::floor(v));
}

bool mouse_button(guint button, MouseButton& out) {
    switch (button) {
        case 1:
            out = MouseButton::left;
            return true;
        case 2:
            out = MouseButton::middle;
            return true;
        case 3:
            out = MouseButton::right;
            return true;
        default:  // wheel, back and forward have no button message here
            return false;
    }
}

gboolean on_button(GtkWidget*, GdkEventButton* ev, gpointer data) {
    auto* w = static_cast<HostWindow*>(data);
    MouseButton button;
    if (!mouse_button(ev->button, button))
        return FALSE;
    bool down = ev->type != GDK_BUTTON_RELEASE;
    bool double_click = ev->type == GDK_2BUTTON_PRESS;
    if (ev->type == GDK_3BUTTON_PRESS)
        return TRUE;  // its plain press came already
    if (ev->type == GDK_BUTTON_PRESS) {
        // GDK follows the second press of a double click with a
        // GDK_2BUTTON_PRESS; that one goes to the core, this one not.
        if (GdkEvent* next = gdk_event_peek()) {
            bool pair = next->type == GDK_2BUTTON_PRESS && next->button.button == ev->button;
            gdk_event_free(next);
            if (pair)
                return TRUE;
        }
    }
    input_mouse_button(w->hwnd, button, down, double_click, pixel(ev->x), pixel(ev->y));
    w->driver->delivered(reinterpret_cast<GdkEvent*>(ev));
    return TRUE;
}

gboolean on_motion(GtkWidget*, GdkEventMotion* ev, gpointer data) {
    auto* w = static_cast<HostWindow*>(data);
    input_mouse_move(w->hwnd, pixel(ev->x), pixel(ev->y));
    w->driver->delivered(nullptr);
    return TRUE;
}

gboolean on_key(GtkWidget*, GdkEventKey* ev, gpointer data) {
    auto* w = static_cast<HostWindow*>(data);
    UINT vk = virtual_key_from_keyval(ev->keyval);
    if (vk == 0)
        return FALSE;
    input_key(w->hwnd, vk, ev->type == GDK_KEY_PRESS);
    w->driver->delivered(reinterpret_cast<GdkEvent*>(ev));
    return TRUE;
}

gboolean on_wheel(GtkWidget*, GdkEventScroll* ev, gpointer data) {
    auto* w = static_cast<HostWindow*>(data);
    int vertical, horizontal;
    if (!wheel_deltas(*ev, vertical, horizontal))
        return TRUE;
    // The point is where the pointer is over the drawing area, also for a
    // turn over a scroll bar.
    int x = 0, y = 0;
    if (GdkWindow* area = gtk_widget_get_window(w->area)) {
        int ax = 0, ay = 0;
        gdk_window_get_origin(area, &ax, &ay);
        x = pixel(ev->x_root) - ax;
        y = pixel(ev->y_root) - ay;
    }
    if (vertical != 0)
        input_mouse_wheel(w->hwnd, false, vertical, x, y);
    if (horizontal != 0)
        input_mouse_wheel(w->hwnd, true, horizontal, x, y);
    w->driver->delivered(nullptr);
    return TRUE;
}

// The user works a scroll bar: the core hears what it means and the bar
// stays where it is (TRUE) until the program moves it.
gboolean on_scroll_bar_change(GtkRange*, GtkScrollType type, gdouble value, gpointer data) {
    auto* b = static_cast<HostScrollBar*>(data);
    const int code = scroll_code(type);
    if (code < 0)
        return TRUE;
    if (code == SB_THUMBTRACK) {
        b->dragging = true;
        b->thumb = static_cast<int>(std::lround(value));
    }
    input_scroll(b->window->hwnd, b->bar, static_cast<UINT>(code), b->thumb);
    b->window->driver->delivered(nullptr);
    return TRUE;
}

// Letting go of a scroll bar ends what the press began, as on Win32.
gboolean on_scroll_bar_release(GtkWidget*, GdkEventButton*, gpointer data) {
    auto* b = static_cast<HostScrollBar*>(data);
    if (b->dragging)
        input_scroll(b->window->hwnd, b->bar, SB_THUMBPOSITION, b->thumb);
    b->dragging = false;
    input_scroll(b->window->hwnd, b->bar, SB_ENDSCROLL, 0);
    b->window->driver->delivered(nullptr);
    return FALSE;  // GTK ends its own drag too
}

gboolean on_delete(GtkWidget*, GdkEvent*, gpointer data) {
    auto* w = static_cast<HostWindow*>(data);
    // The core decides whether the window goes (WM_CLOSE); GTK must not
    // destroy it on its own.
    input_close_request(w->hwnd);
    w->driver->delivered(nullptr);
    return TRUE;
}

}  // namespace

void connect_signals(HostWindow& w) {
    for (HostScrollBar& b : w.bars) {
        g_signal_connect(b.widget, "change-value", G_CALLBACK(on_scroll_bar_change), &b);
        g_signal_connect(b.widget, "button-release-event", G_CALLBACK(on_scroll_bar_release), &b);
        g_signal_connect(b.widget, "scroll-event", G_CALLBACK(on_wheel), &w);
    }
    g_signal_connect(w.area, "draw", G_CALLBACK(draw_host_window), &w);
    g_signal_connect(w.area, "button-press-event", G_CALLBACK(on_button), &w);
    g_signal_connect(w.area, "button-release-event", G_CALLBACK(on_button), &w);
    g_signal_connect(w.area, "motion-notify-event", G_CALLBACK(on_motion), &w);
    g_signal_connect(w.area, "scroll-event", G_CALLBACK(on_wheel), &w);
    g_signal_connect(w.window, "key-press-event", G_CALLBACK(on_key), &w);
    g_signal_connect(w.window, "key-release-event", G_CALLBACK(on_key), &w);
    g_signal_connect(w.window, "delete-event", G_CALLBACK(on_delete), &w);
}

void disconnect_signals(HostWindow& w) {
    g_signal_handlers_disconnect_by_data(w.area, &w);
    g_signal_handlers_disconnect_by_data(w.window, &w);
    for (HostScrollBar& b : w.bars) {
        g_signal_handlers_disconnect_by_data(b.widget, &b);
        g_signal_handlers_disconnect_by_data(b.widget, &w);
    }
}

}  // namespace portable::gtk
