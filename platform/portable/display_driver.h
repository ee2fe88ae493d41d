// The display driver: maps the portable core's windows, painting, input, popup
// menus and clipboard onto a host. The core owns every Win32 semantic (window
// tree, message queue, default handling, menus, clipboard bookkeeping); a
// driver only shows what the core tells it and feeds the host's events back
// through core_input.h. Every method has a default, so a driver implements
// only what its host can do.
#pragma once

#include <string>
#include <vector>

#include "platform/portable/clipboard_host.h"
#include "platform/portable/gdi_objects.h"
#include "platform/portable/types.h"

namespace portable {

// A popup menu entry as the core hands it to a driver.
struct MenuEntry {
    enum class Kind { item, separator, submenu };
    Kind kind = Kind::item;
    UINT id = 0;          // command id of an item
    bool grayed = false;  // shown, but cannot be chosen
    bool checked = false;
    std::string text;
    std::vector<MenuEntry> children;  // entries of a submenu
};

// A standard scroll bar of a window, as the core hands it to a driver.
struct ScrollBarInfo {
    bool shown = false;
    bool enabled = true;  // false: shown without anything to scroll
    int min = 0;
    int max = 0;
    int page = 0;  // 0: no proportional thumb
    int pos = 0;
};

// A top-level window as the core hands it to a driver. Child windows are the
// core's business alone.
struct WindowInfo {
    HWND hwnd = nullptr;
    std::string title;
    int client_width = 0;
    int client_height = 0;
    POINT client_origin{};     // where the core placed the client area on the screen
    bool placed = false;       // the program chose that place (else the host places it)
    bool resizable = false;    // a sizing frame, and SC_SIZE still in the system menu
    bool maximizable = false;  // a maximize box, and SC_MAXIMIZE still in the system menu
    bool minimizable = false;  // a minimize box, and SC_MINIMIZE still in the system menu
    // Beside the client area: the vertical bar to its right, the horizontal
    // one below it.
    ScrollBarInfo horizontal;
    ScrollBarInfo vertical;
};

class DisplayDriver {
  public:
    virtual ~DisplayDriver() = default;
    virtual const char* name() const = 0;

    // Windows.
    virtual void window_created(const WindowInfo&) {}
    virtual void window_changed(const WindowInfo&) {}  // title, size, frame or system menu
    virtual void window_shown(HWND, bool /*visible*/) {}
    virtual void window_destroyed(HWND) {}
    virtual void icon_changed(HWND, HICON, bool /*big*/) {}
    // Where the host put the client area's top-left corner on the screen, when
    // it knows better than the core (a window manager placed the window).
    virtual bool client_origin(HWND, POINT&) { return false; }

    // The primary screen, and its work area: what the host's panels and docks
    // leave of it.
    virtual RECT screen() { return RECT{0, 0, 1920, 1080}; }
    virtual RECT work_area() { return screen(); }
    // How far the host's frame (title bar, borders) reaches beyond a client
    // area on each side; false while that is not known.
    virtual bool frame_extents(RECT&) { return false; }
    // The thickness of the host's scroll bars: the width of a vertical one,
    // the height of a horizontal one.
    virtual int scroll_bar_size() { return 17; }

    // Painting: the core painted into the window's surface; show `dirty` of it.
    virtual void present(HWND, const Surface&, const RECT& /*dirty*/) {}

    // Input. poll() moves pending host events into the core without blocking
    // and says whether it delivered any. wait() blocks until the host has
    // something for the core and delivers it; the core calls it from
    // WaitMessage only when its own queue is empty and nothing needs painting.
    // It must not spin.
    virtual bool poll() { return false; }
    virtual void wait() = 0;

    // A modal popup menu with its top-left corner at `screen`; runs until it
    // closes and returns the chosen entry's command id, or 0 when dismissed.
    virtual UINT track_popup_menu(const std::vector<MenuEntry>&, POINT /*screen*/, HWND /*owner*/) {
        return 0;
    }

    // The program is ending (hand the clipboard to a manager, close the display).
    virtual void shutdown() {}
};

// The driver in use, chosen once on first use from a small {name, create}
// table: the real display when one can be opened, else the headless driver.
// QUANTVIEW_DISPLAY=headless forces the headless driver; =NAME asks for that
// driver by name.
DisplayDriver& display_driver();

}  // namespace portable
