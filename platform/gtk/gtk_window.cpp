#include "platform/gtk/gtk_window.h"

#include <algorithm>

#include "platform/gtk/gtk_signals.h"
#include "platform/gtk/gtk_scroll.h"
#include "platform/portable/user.h"

namespace portable::gtk {

std::unique_ptr<HostWindow> create_host_window(const WindowInfo& info, EventSink* driver) {
    auto w = std::make_unique<HostWindow>();
    w->driver = driver;
    w->hwnd = info.hwnd;
    w->presented = cairo_region_create();
    w->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    w->grid = gtk_grid_new();
    w->area = gtk_drawing_area_new();
    gtk_widget_add_events(w->area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                       GDK_POINTER_MOTION_MASK | GDK_SCROLL_MASK |
                                       GDK_SMOOTH_SCROLL_MASK);
    gtk_container_add(GTK_CONTAINER(w->window), w->grid);
    gtk_grid_attach(GTK_GRID(w->grid), w->area, 0, 0, 1, 1);
    for (int bar : {SB_HORZ, SB_VERT}) {
        HostScrollBar& b = w->bars[bar];
        b.window = w.get();
        b.bar = bar;
        b.widget = gtk_scrollbar_new(
            bar == SB_HORZ ? GTK_ORIENTATION_HORIZONTAL : GTK_ORIENTATION_VERTICAL, nullptr);
        gtk_widget_set_can_focus(b.widget, FALSE);
        gtk_widget_add_events(b.widget, GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK);
        gtk_widget_set_no_show_all(b.widget, TRUE);  // shown when the core says so
        if (bar == SB_HORZ)
            gtk_grid_attach(GTK_GRID(w->grid), b.widget, 0, 1, 1, 1);
        else
            gtk_grid_attach(GTK_GRID(w->grid), b.widget, 1, 0, 1, 1);
    }
    gtk_widget_show(w->area);
    gtk_widget_show(w->grid);
    connect_signals(*w);
    gtk_widget_realize(w->window);
    apply_window_info(*w, info);
    return w;
}

void apply_window_info(HostWindow& w, const WindowInfo& info) {
    gchar* title = g_utf8_make_valid(info.title.c_str(), -1);
    gtk_window_set_title(GTK_WINDOW(w.window), title);
    g_free(title);
    int width = std::max(1, info.client_width), height = std::max(1, info.client_height);
    for (int bar : {SB_HORZ, SB_VERT}) {
        const ScrollBarInfo& b = bar == SB_HORZ ? info.horizontal : info.vertical;
        GtkWidget* widget = w.bars[bar].widget;
        set_scroll_range(gtk_range_get_adjustment(GTK_RANGE(widget)), b.min, b.max, b.page, b.pos);
        gtk_widget_set_sensitive(widget, b.enabled);
        gtk_widget_set_visible(widget, b.shown);
    }
    // A window the program placed goes where the core put its client area
    // (static gravity: the position is the client area's, not the frame's).
    if (info.placed && !gtk_widget_get_mapped(w.window)) {
        gtk_window_set_gravity(GTK_WINDOW(w.window), GDK_GRAVITY_STATIC);
        gtk_window_move(GTK_WINDOW(w.window), info.client_origin.x, info.client_origin.y);
    }
    gtk_window_set_resizable(GTK_WINDOW(w.window), info.resizable);
    if (info.resizable) {
        // The client size is where the window starts; the user may change it.
        gtk_widget_set_size_request(w.area, 1, 1);
        gtk_window_resize(GTK_WINDOW(w.window), width, height);
    } else {
        // A fixed window: GTK gives the window manager min = max = this size.
        gtk_widget_set_size_request(w.area, width, height);
    }
    apply_frame_functions(w.window, info);
}

void destroy_host_window(HostWindow& w) {
    disconnect_signals(w);
    gtk_widget_destroy(w.window);
    if (w.image != nullptr)
        cairo_surface_destroy(w.image);
    cairo_region_destroy(w.presented);
}

void apply_frame_functions(GtkWidget* window, const WindowInfo& info) {
    GdkWindow* gdk = gtk_widget_get_window(window);
    if (gdk == nullptr)
        return;
    int functions = GDK_FUNC_MOVE | GDK_FUNC_CLOSE;
    int decorations = GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MENU;
    if (info.resizable) {
        functions |= GDK_FUNC_RESIZE;
        decorations |= GDK_DECOR_RESIZEH;
    }
    if (info.maximizable) {
        functions |= GDK_FUNC_MAXIMIZE;
        decorations |= GDK_DECOR_MAXIMIZE;
    }
    if (info.minimizable) {
        functions |= GDK_FUNC_MINIMIZE;
        decorations |= GDK_DECOR_MINIMIZE;
    }
    gdk_window_set_functions(gdk, static_cast<GdkWMFunction>(functions));
    gdk_window_set_decorations(gdk, static_cast<GdkWMDecoration>(decorations));
}

}  // namespace portable::gtk
