// What the window-framework tests need beyond Win32 itself: scripting the
// user, and a look inside the window objects. The portable build scripts the headless driver; under
// real Win32 popup menus are driven with the keyboard and what cannot be observed there (driver
// waits, live menus) is skipped.
#pragma once

#include <functional>

#include "platform/win32.h"
#include "window/nwindow.h"

namespace seam {

// Starts each test from a clean window system, where that can be done.
void reset();

// Whether popup-menu choices can be scripted.
bool can_choose_popup();
// The next popup menu returns this command id; 0 dismisses it.
void choose_popup(UINT id);
// The owner of a popup menu calls this at WM_INITMENUPOPUP with the menu.
void menu_offered(HMENU menu);
// The owner of a tracked popup menu calls this at WM_ENTERIDLE with its
// lParam: under real Win32 it picks the scripted entry with the keyboard,
// or closes the menu, as a user would.
void menu_idle(HWND owner, LPARAM menu_window);
// The screen point of the last popup menu shown; false when it cannot be known.
bool last_popup_point(POINT& screen);
// Menus alive in the process; -1 when it cannot be known.
long live_menus();

// The user's hand on a shown window, through the system's own input: a
// click (press and release) on a part of a standard scroll bar, a turn of
// the wheel over the client area (WHEEL_DELTA a notch, positive away from
// the user), a key pressed and released. Each handles the messages that
// follow until `arrived` says they are all there (or a few seconds passed).
enum class BarPart { line_down, page_down };
using Arrived = std::function<bool()>;
void click_scroll_bar(HWND hwnd, int bar, BarPart part, const Arrived& arrived);
void turn_wheel(HWND hwnd, int delta, bool shift, const Arrived& arrived);
void press_key(HWND hwnd, UINT virtual_key, const Arrived& arrived);

// How often the program has blocked waiting for input; -1 when unknown.
int wait_calls();

// Inside a window object: the state and the operations that only the
// framework itself uses, for the tests that check them.
struct NWindowInside {
    static bool& auto_delete(NWindow& w) { return w.auto_delete; }
    static bool in_modal_loop(const NWindow& w) { return w.in_modal_loop; }
    static int32_t& modal_result(NWindow& w) { return w.modal_result; }
    static NWindow* handler(const NWindow& w) { return w.handler; }
    static WNDPROC prev_wnd_proc(const NWindow& w) { return w.prev_wnd_proc; }
    // Links the object to a window made elsewhere, as subclassing needs.
    static void link(NWindow& w, HWND hwnd) { w.hwnd = hwnd; }
    static bool subclass(NWindow& w) { return w.subclass(); }
    template <typename... Args>
    static bool create_window_in_class(NWindow& w, Args... args) {
        return w.create_window_in_class(args...);
    }
    template <typename... Args>
    static bool create_subclassed_window(NWindow& w, Args... args) {
        return w.create_subclassed_window(args...);
    }
    static HINSTANCE module_instance() { return NWindow::module_instance; }
    static WNDPROC class_window_proc() { return &NWindow::class_window_proc; }
    static WNDPROC subclass_window_proc() { return &NWindow::subclass_window_proc; }
    static LRESULT call_prev_window_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        return NWindow::call_prev_window_proc(hwnd, msg, wParam, lParam);
    }
};

}  // namespace seam
