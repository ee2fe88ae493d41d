// The GTK side of a core's top-level window: a GtkWindow holding a drawing
// area of exactly the client size, with GTK scroll bars to its right and
// below it when the window has them. The core's state is mapped onto it;
// the scroll bars move only when the program moves them.
#pragma once

#include <gtk/gtk.h>

#include <memory>

#include "platform/portable/display_driver.h"

namespace portable::gtk {

// What the host windows tell their driver: an event went to the core (null
// for one a popup menu cannot be started from).
class EventSink {
  public:
    virtual void delivered(const GdkEvent* event) = 0;

  protected:
    ~EventSink() = default;
};

struct HostWindow;

// One of a window's scroll bars, and the thumb drag it may be in.
struct HostScrollBar {
    HostWindow* window = nullptr;
    int bar = 0;  // SB_HORZ or SB_VERT
    GtkWidget* widget = nullptr;
    bool dragging = false;
    int thumb = 0;  // where the drag has put the thumb
};

struct HostWindow {
    EventSink* driver = nullptr;
    HWND hwnd = nullptr;
    GtkWidget* window = nullptr;
    GtkWidget* grid = nullptr;  // the area with the scroll bars beside it
    GtkWidget* area = nullptr;
    HostScrollBar bars[2];             // SB_HORZ, SB_VERT
    cairo_surface_t* image = nullptr;  // what the core presented last, client-sized
    // Parts presented since the last draw: a draw of these is our own redraw,
    // anything beyond them was exposed by the host and the core repaints it.
    cairo_region_t* presented = nullptr;
};

// A realized, hidden host window for `info`, its input going to the core.
std::unique_ptr<HostWindow> create_host_window(const WindowInfo& info, EventSink* driver);
// Title, size, scroll bars, place and frame as the core has them now.
void apply_window_info(HostWindow& w, const WindowInfo& info);
// Cuts the window from the core and destroys its widgets.
void destroy_host_window(HostWindow& w);

// What the title bar offers follows the core's system menu: the window
// manager reads these hints when the window is mapped.
void apply_frame_functions(GtkWidget* window, const WindowInfo& info);

}  // namespace portable::gtk
