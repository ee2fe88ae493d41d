// Inside the portable USER core: the records behind HWND and class handles,
// shared by the files that implement the services. Nothing outside
// platform/portable/ includes this.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/portable/display_driver.h"
#include "platform/portable/gdi_objects.h"
#include "platform/portable/user.h"

namespace portable {

struct WindowClass {
    std::string name;  // as registered; looked up without regard to case
    ATOM atom = 0;
    HINSTANCE instance = nullptr;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int class_extra = 0;
    int window_extra = 0;
    HICON icon = nullptr;
    HICON icon_small = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    int windows = 0;  // live windows of this class; such a class cannot be unregistered
};

// One of a window's standard scroll bars.
struct ScrollBar {
    bool disabled = false;  // kept without anything to scroll (SIF_DISABLENOSCROLL)
    int min = 0;
    int max = 100;
    UINT page = 0;
    int pos = 0;
    // While the user drags the thumb: where it is, as the scroll messages
    // taken so far left it.
    bool tracking = false;
    int track_pos = 0;
};

struct Window {
    HWND hwnd = nullptr;
    WindowClass* window_class = nullptr;
    WNDPROC proc = nullptr;
    std::string title;
    DWORD style = 0;
    DWORD ex_style = 0;
    HWND parent = nullptr;  // child windows only
    HWND owner = nullptr;   // owned top-level windows only
    HINSTANCE instance = nullptr;
    HMENU menu = nullptr;  // the menu bar of a top-level window
    UINT_PTR id = 0;       // the identifier of a child window
    RECT window_rect{};    // relative to the parent's client area; the screen for top-level
    RECT client_rect{};    // the same coordinates as window_rect
    bool placed = false;   // a top-level window whose position the program chose
    // SB_HORZ, SB_VERT: both exist once the window had either bar's style or
    // was given scroll information, as on Win32.
    ScrollBar scroll_bars[2];
    bool has_scroll_bars = false;
    std::map<std::string, HANDLE> properties;  // keyed by the upper-cased name
    HMENU system_menu = nullptr;
    HICON icon_big = nullptr;
    HICON icon_small = nullptr;
    LONG_PTR user_data = 0;
    std::vector<BYTE> extra;  // cbWndExtra bytes

    RECT update{};  // bounding rectangle of the invalid region, client coordinates
    bool erase = false;
    bool needs_size_messages = false;  // a top-level window hears WM_SIZE at its first show
    bool created = false;     // WM_CREATE succeeded; the driver knows top-level windows from then
    bool destroying = false;  // inside DestroyWindow; a second call does nothing
    Surface surface;          // the client area's pixels
    std::vector<HDC> open_contexts;  // BeginPaint/GetDC contexts drawing into `surface`

    bool is_child() const { return (style & WS_CHILD) != 0; }
};

// Live windows by handle value. Handle values grow and are never reused, so
// the map's order is the creation order and a stale handle finds nothing.
std::map<UINT_PTR, std::unique_ptr<Window>>& window_table();
Window* find_window(HWND hwnd);
// Sets ERROR_INVALID_WINDOW_HANDLE when the handle is not a live window.
Window* checked_window(HWND hwnd);

// Calls the window's current procedure (SendMessageA without checking the
// handle: a window that is gone gets nothing and the answer is 0).
LRESULT send_message(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
// The same, saying whether the window outlived the message: any window
// procedure may destroy its own window.
bool send_survives(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result = nullptr);
std::vector<HWND> children_of(HWND parent);  // in creation order

void reset_windows();

// Visibility, activation and focus.
HWND focus();
void hide_for_destroy(HWND hwnd);        // a visible window that is being destroyed
void deactivate_for_destroy(HWND hwnd);  // it loses activation, and focus within it
void forget_focus_of(HWND hwnd);         // a window that is gone
void reset_focus();

// Coordinates. The first three say whether the window outlived the messages.
bool calculate_client(HWND hwnd);  // WM_NCCALCSIZE for the window rectangle
bool send_size_and_move(HWND hwnd);
// The frame changed (a scroll bar came or went): the client area is
// calculated again, and the window hears of a new size.
bool frame_changed(HWND hwnd);
POINT client_origin_on_screen(const Window& w);
RECT frame_insets(DWORD style, DWORD ex_style, bool menu_bar);
void window_changed(const Window& w);  // tells the driver about a top-level window's new state
WindowInfo window_info(const Window& w);

// Scroll bars.
void make_scroll_bars(Window& w);                  // those of its style, at creation
int within_bar(const ScrollBar& b, int position);  // a position the page leaves room for
ScrollBarInfo scroll_bar_info(const Window& w, int bar);
// A scroll message taken from the queue: the thumb's tracking follows it.
void note_scroll_taken(const MSG& m, int track_pos);
int scroll_bar_size();  // SM_CXVSCROLL, and SM_CYHSCROLL as well

// Painting.
void invalidate(Window& w, const RECT* client_rect, bool erase);
HWND window_needing_paint();
void resize_surface(Window& w);
// Contexts still open on a window that goes away draw nowhere from then on.
void detach_paint_contexts(Window& w);

// The message queue. An input message may carry the thumb's position of a
// scroll message, which needs more than its 16 bits.
void post_input_message(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, int track_pos = 0);
void purge_messages(HWND hwnd);
bool messages_waiting();
void reset_message_queue();

// Input state, as the last host events left it.
POINT cursor_position();  // screen coordinates
void forget_capture_of(HWND hwnd);
bool key_down(UINT virtual_key);
void reset_input_state();

// Menus.
size_t menu_count();  // live menus
HMENU create_system_menu(HWND owner);
void destroy_menu(HMENU menu);
bool menu_has_command(HMENU menu, UINT command);
void reset_menus();

// Classes.
WindowClass* find_class(LPCSTR name, HINSTANCE instance);
void reset_classes();

// Replaces the driver in use (the test control starts each test on its own).
void use_display_driver(std::unique_ptr<DisplayDriver> driver);

}  // namespace portable
