// Each visible top-level window of the core is a GtkWindow holding a drawing
// area of exactly the client size, with GTK scroll bars to its right and
// below it when the window has them. The core paints into its own surface;
// present() copies that into a cairo image kept per window, and the drawing
// area's draw handler shows it. Host input goes to the core through
// core_input.h; the core decides what it means, and the scroll bars move
// only when the program moves them.
#include "platform/gtk/gtk_driver.h"

#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include "platform/gtk/app_icon.h"
#include "platform/gtk/frame_extents.h"
#include "platform/gtk/gtk_clipboard.h"
#include "platform/gtk/gtk_keys.h"
#include "platform/gtk/gtk_menu.h"
#include "platform/gtk/gtk_scroll.h"
#include "platform/portable/core_input.h"
#include "platform/portable/user.h"

namespace portable {

namespace {

class GtkDriver;

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
    GtkDriver* driver = nullptr;
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

class GtkDriver final : public DisplayDriver {
  public:
    GtkDriver();
    ~GtkDriver() override;

    const char* name() const override { return "gtk"; }

    void window_created(const WindowInfo& info) override;
    void window_changed(const WindowInfo& info) override;
    void window_shown(HWND hwnd, bool visible) override;
    void window_destroyed(HWND hwnd) override;
    void icon_changed(HWND hwnd, HICON icon, bool big) override;
    bool client_origin(HWND hwnd, POINT& origin) override;
    RECT screen() override;
    RECT work_area() override;
    bool frame_extents(RECT& extents) override;
    int scroll_bar_size() override;
    void present(HWND hwnd, const Surface& surface, const RECT& dirty) override;
    bool poll() override;
    void wait() override;
    UINT track_popup_menu(const std::vector<MenuEntry>& entries, POINT screen, HWND owner) override;
    void shutdown() override;

    // Called by the signal handlers for every event handed to the core.
    void delivered(const GdkEvent* event);

  private:
    HostWindow* find(HWND hwnd);
    void apply(HostWindow& w, const WindowInfo& info);
    void destroy(HostWindow& w);

    std::map<HWND, std::unique_ptr<HostWindow>> windows_;
    GdkPixbuf* icon_ = nullptr;
    int scroll_bar_size_ = 0;   // measured on first use
    bool frame_asked_ = false;  // the window manager was asked about its frame
    bool frame_known_ = false;
    RECT frame_{};
    GdkEvent* last_input_ = nullptr;  // the grab of a popup menu needs its trigger
    bool delivered_ = false;
    bool shut_down_ = false;
    gtk::GtkClipboardHost clipboard_{host_clipboard_taken};
};

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
    UINT vk = gtk::virtual_key_from_keyval(ev->keyval);
    if (vk == 0)
        return FALSE;
    input_key(w->hwnd, vk, ev->type == GDK_KEY_PRESS);
    w->driver->delivered(reinterpret_cast<GdkEvent*>(ev));
    return TRUE;
}

gboolean on_wheel(GtkWidget*, GdkEventScroll* ev, gpointer data) {
    auto* w = static_cast<HostWindow*>(data);
    int vertical, horizontal;
    if (!gtk::wheel_deltas(*ev, vertical, horizontal))
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
    const int code = gtk::scroll_code(type);
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

gboolean on_draw(GtkWidget*, cairo_t* cr, gpointer data) {
    auto* w = static_cast<HostWindow*>(data);
    GdkRectangle clip;
    if (!gdk_cairo_get_clip_rectangle(cr, &clip))
        return TRUE;
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    if (w->image != nullptr) {
        cairo_set_source_surface(cr, w->image, 0, 0);
        cairo_paint(cr);
    }
    cairo_region_t* exposed = cairo_region_create_rectangle(&clip);
    cairo_region_subtract(exposed, w->presented);
    cairo_region_destroy(w->presented);
    w->presented = cairo_region_create();
    if (!cairo_region_is_empty(exposed)) {
        cairo_rectangle_int_t r;
        cairo_region_get_extents(exposed, &r);
        RECT rect{r.x, r.y, r.x + r.width, r.y + r.height};
        input_expose(w->hwnd, &rect);
        w->driver->delivered(nullptr);
    }
    cairo_region_destroy(exposed);
    return TRUE;
}

// What the title bar offers follows the core's system menu: the window
// manager reads these hints when the window is mapped.
void apply_functions(GtkWidget* window, const WindowInfo& info) {
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

GtkDriver::GtkDriver() : icon_(gtk::application_icon(48)) {
    set_clipboard_host(&clipboard_);
}

GtkDriver::~GtkDriver() {
    // After shutdown() the core may be gone already (the driver can outlive
    // it at exit), so only a driver that was never shut down unhooks here.
    if (!shut_down_)
        set_clipboard_host(nullptr);
    for (auto& [hwnd, w] : windows_)
        destroy(*w);
    windows_.clear();
    if (last_input_ != nullptr)
        gdk_event_free(last_input_);
    if (icon_ != nullptr)
        g_object_unref(icon_);
}

HostWindow* GtkDriver::find(HWND hwnd) {
    auto it = windows_.find(hwnd);
    return it == windows_.end() ? nullptr : it->second.get();
}

void GtkDriver::delivered(const GdkEvent* event) {
    delivered_ = true;
    // A popup menu grabs the pointer and keyboard for the press that asked
    // for it; releases and moves are no use to it.
    if (event == nullptr || event->type == GDK_BUTTON_RELEASE || event->type == GDK_KEY_RELEASE)
        return;
    if (last_input_ != nullptr)
        gdk_event_free(last_input_);
    last_input_ = gdk_event_copy(event);
}

void GtkDriver::apply(HostWindow& w, const WindowInfo& info) {
    gchar* title = g_utf8_make_valid(info.title.c_str(), -1);
    gtk_window_set_title(GTK_WINDOW(w.window), title);
    g_free(title);
    int width = std::max(1, info.client_width), height = std::max(1, info.client_height);
    for (int bar : {SB_HORZ, SB_VERT}) {
        const ScrollBarInfo& b = bar == SB_HORZ ? info.horizontal : info.vertical;
        GtkWidget* widget = w.bars[bar].widget;
        gtk::set_scroll_range(gtk_range_get_adjustment(GTK_RANGE(widget)), b.min, b.max, b.page,
                              b.pos);
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
    apply_functions(w.window, info);
}

void GtkDriver::window_created(const WindowInfo& info) {
    if (find(info.hwnd) != nullptr)
        return;
    auto w = std::make_unique<HostWindow>();
    w->driver = this;
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
    HostWindow* raw = w.get();
    for (int bar : {SB_HORZ, SB_VERT}) {
        HostScrollBar& b = w->bars[bar];
        b.window = raw;
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
        g_signal_connect(b.widget, "change-value", G_CALLBACK(on_scroll_bar_change), &b);
        g_signal_connect(b.widget, "button-release-event", G_CALLBACK(on_scroll_bar_release), &b);
        g_signal_connect(b.widget, "scroll-event", G_CALLBACK(on_wheel), raw);
    }
    gtk_widget_show(w->area);
    gtk_widget_show(w->grid);
    g_signal_connect(w->area, "draw", G_CALLBACK(on_draw), raw);
    g_signal_connect(w->area, "button-press-event", G_CALLBACK(on_button), raw);
    g_signal_connect(w->area, "button-release-event", G_CALLBACK(on_button), raw);
    g_signal_connect(w->area, "motion-notify-event", G_CALLBACK(on_motion), raw);
    g_signal_connect(w->area, "scroll-event", G_CALLBACK(on_wheel), raw);
    g_signal_connect(w->window, "key-press-event", G_CALLBACK(on_key), raw);
    g_signal_connect(w->window, "key-release-event", G_CALLBACK(on_key), raw);
    g_signal_connect(w->window, "delete-event", G_CALLBACK(on_delete), raw);
    gtk_widget_realize(w->window);
    apply(*w, info);
    windows_.emplace(info.hwnd, std::move(w));
}

void GtkDriver::window_changed(const WindowInfo& info) {
    if (HostWindow* w = find(info.hwnd))
        apply(*w, info);
}

void GtkDriver::window_shown(HWND hwnd, bool visible) {
    HostWindow* w = find(hwnd);
    if (w == nullptr)
        return;
    if (visible)
        gtk_widget_show(w->window);
    else
        gtk_widget_hide(w->window);
}

void GtkDriver::destroy(HostWindow& w) {
    // A press in a window that is going cannot start a menu's grab any more.
    if (last_input_ != nullptr) {
        GdkWindow* of = gdk_event_get_window(last_input_);
        if (of == gtk_widget_get_window(w.area) || of == gtk_widget_get_window(w.window)) {
            gdk_event_free(last_input_);
            last_input_ = nullptr;
        }
    }
    g_signal_handlers_disconnect_by_data(w.area, &w);
    g_signal_handlers_disconnect_by_data(w.window, &w);
    for (HostScrollBar& b : w.bars) {
        g_signal_handlers_disconnect_by_data(b.widget, &b);
        g_signal_handlers_disconnect_by_data(b.widget, &w);
    }
    gtk_widget_destroy(w.window);
    if (w.image != nullptr)
        cairo_surface_destroy(w.image);
    cairo_region_destroy(w.presented);
}

void GtkDriver::window_destroyed(HWND hwnd) {
    auto it = windows_.find(hwnd);
    if (it == windows_.end())
        return;
    destroy(*it->second);
    windows_.erase(it);
}

void GtkDriver::icon_changed(HWND hwnd, HICON icon, bool) {
    // The system has one icon, the standard application icon; both sizes
    // show the same picture, which the window manager scales.
    if (HostWindow* w = find(hwnd))
        gtk_window_set_icon(GTK_WINDOW(w->window), icon ? icon_ : nullptr);
}

bool GtkDriver::client_origin(HWND hwnd, POINT& origin) {
    HostWindow* w = find(hwnd);
    GdkWindow* gdk = w != nullptr ? gtk_widget_get_window(w->area) : nullptr;
    if (gdk == nullptr || !gtk_widget_get_mapped(w->area))
        return false;
    int x = 0, y = 0;
    gdk_window_get_origin(gdk, &x, &y);
    origin = POINT{x, y};
    return true;
}

// The primary monitor, or the first where none is marked primary.
GdkMonitor* primary_monitor() {
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    return monitor != nullptr ? monitor : gdk_display_get_monitor(display, 0);
}

// The whole monitor, or what its panels leave.
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

RECT GtkDriver::screen() {
    RECT area;
    return monitor_area(false, area) ? area : DisplayDriver::screen();
}

RECT GtkDriver::work_area() {
    RECT area;
    return monitor_area(true, area) ? area : DisplayDriver::work_area();
}

bool GtkDriver::frame_extents(RECT& extents) {
    // Asked once, with a window like the core's fixed ones that is never shown.
    if (!frame_asked_) {
        frame_asked_ = true;
        GtkWidget* probe = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_resizable(GTK_WINDOW(probe), FALSE);
        gtk_widget_realize(probe);
        WindowInfo fixed;
        fixed.minimizable = true;
        apply_functions(probe, fixed);
        frame_known_ = gtk::frame_extents(probe, frame_);
        gtk_widget_destroy(probe);
    }
    if (frame_known_)
        extents = frame_;
    return frame_known_;
}

int GtkDriver::scroll_bar_size() {
    // What the theme gives a vertical scroll bar; horizontal ones are as high.
    if (scroll_bar_size_ == 0) {
        GtkWidget* bar = gtk_scrollbar_new(GTK_ORIENTATION_VERTICAL, nullptr);
        g_object_ref_sink(bar);
        gtk_widget_show(bar);  // a hidden widget asks for no room
        int minimum = 0, natural = 0;
        gtk_widget_get_preferred_width(bar, &minimum, &natural);
        gtk_widget_destroy(bar);
        g_object_unref(bar);
        scroll_bar_size_ = std::max(1, natural);
    }
    return scroll_bar_size_;
}

void GtkDriver::present(HWND hwnd, const Surface& surface, const RECT& dirty) {
    HostWindow* w = find(hwnd);
    if (w == nullptr || surface.width <= 0 || surface.height <= 0)
        return;
    if (w->image == nullptr || cairo_image_surface_get_width(w->image) != surface.width ||
        cairo_image_surface_get_height(w->image) != surface.height) {
        if (w->image != nullptr)
            cairo_surface_destroy(w->image);
        w->image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, surface.width, surface.height);
    }
    int left = std::clamp<int>(dirty.left, 0, surface.width);
    int right = std::clamp<int>(dirty.right, left, surface.width);
    int top = std::clamp<int>(dirty.top, 0, surface.height);
    int bottom = std::clamp<int>(dirty.bottom, top, surface.height);
    if (left == right || top == bottom)
        return;
    // CAIRO_FORMAT_RGB24 is a native-endian 32-bit 0x00RRGGBB per pixel: the
    // surface's own layout, so rows copy as they are.
    cairo_surface_flush(w->image);
    unsigned char* data = cairo_image_surface_get_data(w->image);
    int stride = cairo_image_surface_get_stride(w->image);
    for (int y = top; y < bottom; ++y) {
        std::memcpy(data + static_cast<size_t>(y) * stride + static_cast<size_t>(left) * 4,
                    &surface.pixels[static_cast<size_t>(y) * surface.width + left],
                    static_cast<size_t>(right - left) * 4);
    }
    cairo_surface_mark_dirty_rectangle(w->image, left, top, right - left, bottom - top);
    cairo_rectangle_int_t r{left, top, right - left, bottom - top};
    cairo_region_union_rectangle(w->presented, &r);
    gtk_widget_queue_draw_area(w->area, left, top, right - left, bottom - top);
}

bool GtkDriver::poll() {
    delivered_ = false;
    // Bounded, so that a host that keeps producing events cannot hold the
    // core here.
    for (int i = 0; i < 256 && gtk_events_pending(); ++i)
        gtk_main_iteration_do(FALSE);
    return delivered_;
}

void GtkDriver::wait() {
    delivered_ = false;
    // Each iteration blocks in GLib until a source is ready; events that mean
    // nothing to the core (focus, configure, clipboard requests) are handled
    // here and the wait goes on.
    while (!delivered_)
        g_main_context_iteration(nullptr, TRUE);
}

UINT GtkDriver::track_popup_menu(const std::vector<MenuEntry>& entries, POINT screen, HWND owner) {
    HostWindow* w = find(owner);
    return gtk::run_popup_menu(entries, screen, w != nullptr ? w->window : nullptr, last_input_);
}

void GtkDriver::shutdown() {
    clipboard_.store_for_manager();
    set_clipboard_host(nullptr);
    shut_down_ = true;
    for (auto& [hwnd, w] : windows_)
        destroy(*w);
    windows_.clear();
    while (gtk_events_pending())
        gtk_main_iteration_do(FALSE);
    gdk_display_flush(gdk_display_get_default());
}

}  // namespace

DisplayDriver* create_gtk_driver() {
    // Numbers and the report keep the C locale; GTK would switch to the
    // user's otherwise.
    gtk_disable_setlocale();
    gdk_set_allowed_backends("x11,*");
    if (!gtk_init_check(nullptr, nullptr))
        return nullptr;
#ifdef GDK_WINDOWING_X11
    // One picture pixel is one screen pixel, whatever scale the desktop or
    // GDK_SCALE asks for.
    GdkDisplay* display = gdk_display_get_default();
    if (GDK_IS_X11_DISPLAY(display))
        gdk_x11_display_set_window_scale(display, 1);
#endif
    return new GtkDriver;
}

}  // namespace portable
