// The GTK driver: each visible top-level window of the core is a host window
// (gtk_window.h) whose signals feed the core (gtk_signals.h) and which shows
// what the core painted (gtk_paint.h); the screen is asked of GDK
// (gtk_screen.h). This file keeps the windows, runs GTK's events for the
// core's message loop, and hands popup menus and the clipboard to GTK.
#include "platform/gtk/gtk_driver.h"

#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

#include <map>
#include <memory>

#include "platform/gtk/app_icon.h"
#include "platform/gtk/gtk_clipboard.h"
#include "platform/gtk/gtk_menu.h"
#include "platform/gtk/gtk_paint.h"
#include "platform/gtk/gtk_screen.h"
#include "platform/gtk/gtk_window.h"

namespace portable {

namespace {

using gtk::HostWindow;

class GtkDriver final : public DisplayDriver, public gtk::EventSink {
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

    void delivered(const GdkEvent* event) override;

  private:
    HostWindow* find(HWND hwnd);
    void destroy(HostWindow& w);
    void destroy_all();

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

GtkDriver::GtkDriver() : icon_(gtk::application_icon(48)) {
    set_clipboard_host(&clipboard_);
}

GtkDriver::~GtkDriver() {
    // After shutdown() the core may be gone already (the driver can outlive
    // it at exit), so only a driver that was never shut down unhooks here.
    if (!shut_down_)
        set_clipboard_host(nullptr);
    destroy_all();
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

void GtkDriver::window_created(const WindowInfo& info) {
    if (find(info.hwnd) == nullptr)
        windows_.emplace(info.hwnd, gtk::create_host_window(info, this));
}

void GtkDriver::window_changed(const WindowInfo& info) {
    if (HostWindow* w = find(info.hwnd))
        gtk::apply_window_info(*w, info);
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
    gtk::destroy_host_window(w);
}

void GtkDriver::destroy_all() {
    for (auto& [hwnd, w] : windows_)
        destroy(*w);
    windows_.clear();
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

RECT GtkDriver::screen() {
    RECT area;
    return gtk::monitor_area(false, area) ? area : DisplayDriver::screen();
}

RECT GtkDriver::work_area() {
    RECT area;
    return gtk::monitor_area(true, area) ? area : DisplayDriver::work_area();
}

bool GtkDriver::frame_extents(RECT& extents) {
    // Asked once.
    if (!frame_asked_) {
        frame_asked_ = true;
        frame_known_ = gtk::probe_frame_extents(frame_);
    }
    if (frame_known_)
        extents = frame_;
    return frame_known_;
}

int GtkDriver::scroll_bar_size() {
    if (scroll_bar_size_ == 0)
        scroll_bar_size_ = gtk::measure_scroll_bar_size();
    return scroll_bar_size_;
}

void GtkDriver::present(HWND hwnd, const Surface& surface, const RECT& dirty) {
    if (HostWindow* w = find(hwnd))
        gtk::present_surface(*w, surface, dirty);
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
    destroy_all();
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
