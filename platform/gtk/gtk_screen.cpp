#include "platform/gtk/gtk_screen.h"

#include <gtk/gtk.h>

#include <algorithm>

#include "platform/gtk/frame_extents.h"
#include "platform/gtk/gtk_window.h"

namespace portable::gtk {

namespace {

GdkMonitor* primary_monitor() {
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    return monitor != nullptr ? monitor : gdk_display_get_monitor(display, 0);
}

}  // namespace

bool monitor_area(bool work, RECT& area) {
    GdkMonitor* monitor = primary_monitor();
    if (monitor == nullptr)
        return false;
    GdkRectangle r;
    if (work)
        gdk_monitor_get_workarea(monitor, &r);
    else
        gdk_monitor_get_geometry(monitor, &r);
    area = RECT{r.x, r.y, r.x + r.width, r.y + r.height};
    return true;
}

bool probe_frame_extents(RECT& extents) {
    GtkWidget* probe = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_resizable(GTK_WINDOW(probe), FALSE);
    gtk_widget_realize(probe);
    WindowInfo fixed;
    fixed.minimizable = true;
    apply_frame_functions(probe, fixed);
    const bool known = frame_extents(probe, extents);
    gtk_widget_destroy(probe);
    return known;
}

int measure_scroll_bar_size() {
    GtkWidget* bar = gtk_scrollbar_new(GTK_ORIENTATION_VERTICAL, nullptr);
    g_object_ref_sink(bar);
    gtk_widget_show(bar);  // a hidden widget asks for no room
    int minimum = 0, natural = 0;
    gtk_widget_get_preferred_width(bar, &minimum, &natural);
    gtk_widget_destroy(bar);
    g_object_unref(bar);
    return std::max(1, natural);
}

}  // namespace portable::gtk
