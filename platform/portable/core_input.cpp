// Host events from the display driver, turned into the messages Win32 queues.
#include <bitset>

#include "platform/portable/core_input.h"
#include "platform/portable/window_state.h"

namespace portable {

namespace {

std::bitset<256> keys;
POINT cursor{};
HWND capture_window = nullptr;

// The visible, enabled child deepest under `p` (client coordinates of
// `hwnd`), with `p` turned into its client coordinates.
HWND window_at(HWND hwnd, POINT& p) {
    for (;;) {
        HWND found = nullptr;
        for (auto& [value, w] : window_table()) {
            if (!w->is_child() || w->parent != hwnd || (w->style & WS_VISIBLE) == 0)
                continue;
            const RECT& r = w->window_rect;
            if (p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom)
                found = w->hwnd;
        }
        if (found == nullptr)
            return hwnd;
        Window* child = find_window(found);
        p.x -= child->client_rect.left;
        p.y -= child->client_rect.top;
        hwnd = found;
    }
}

WPARAM mouse_key_state() {
    WPARAM state = 0;
    if (keys[VK_LBUTTON])
        state |= MK_LBUTTON;
    if (keys[VK_RBUTTON])
        state |= MK_RBUTTON;
    if (keys[VK_MBUTTON])
        state |= MK_MBUTTON;
    if (keys[VK_SHIFT])
        state |= MK_SHIFT;
    if (keys[VK_CONTROL])
        state |= MK_CONTROL;
    return state;
}

Window* live_top_level(HWND hwnd) {
    Window* w = find_window(hwnd);
    return w != nullptr && !w->is_child() && !w->destroying ? w : nullptr;
}

// Where a mouse event at client point (x, y) of the top-level window `top`
// goes: to the window that has the capture, wherever the point is, else to
// the child under it. `p` comes back in the target's client coordinates.
HWND mouse_target(Window& top, int x, int y, POINT& p) {
    POINT screen = client_origin_on_screen(top);
    cursor = POINT{screen.x + x, screen.y + y};
    p = POINT{x, y};
    if (Window* held = find_window(capture_window)) {
        POINT origin = client_origin_on_screen(*held);
        p = POINT{cursor.x - origin.x, cursor.y - origin.y};
        return held->hwnd;
    }
    return window_at(top.hwnd, p);
}

// Keys go to the focus window when it lies inside this window.
HWND key_target(HWND hwnd) {
    HWND f = focus();
    return f != nullptr && (f == hwnd || IsChild(hwnd, f)) ? f : hwnd;
}

}  // namespace

POINT cursor_position() {
    return cursor;
}
bool key_down(UINT virtual_key) {
    return virtual_key < keys.size() && keys[virtual_key];
}

void forget_capture_of(HWND hwnd) {
    if (capture_window == hwnd)
        capture_window = nullptr;
}

void reset_input_state() {
    keys.reset();
    cursor = POINT{};
    capture_window = nullptr;
}

void input_mouse_button(HWND hwnd, MouseButton button, bool down, bool double_click, int x, int y) {
    Window* top = live_top_level(hwnd);
    if (top == nullptr)
        return;
    POINT p;
    HWND target = mouse_target(*top, x, y, p);
    UINT vk = VK_LBUTTON, first = WM_LBUTTONDOWN;
    if (button == MouseButton::right)
        vk = VK_RBUTTON, first = WM_RBUTTONDOWN;
    if (button == MouseButton::middle)
        vk = VK_MBUTTON, first = WM_MBUTTONDOWN;
    keys[vk] = down;
    // A disabled window (the owner of a modal one) takes no input.
    if (!IsWindowEnabled(target) || !IsWindowEnabled(hwnd))
        return;
    Window* w = find_window(target);
    UINT msg = first + 1;  // button up
    if (down) {
        const bool class_wants_double = (w->window_class->style & CS_DBLCLKS) != 0;
        msg = double_click && class_wants_double ? first + 2 : first;
    }
    post_input_message(target, msg, mouse_key_state(), MAKELPARAM(p.x, p.y));
}

void input_mouse_move(HWND hwnd, int x, int y) {
    Window* top = live_top_level(hwnd);
    if (top == nullptr)
        return;
    POINT p;
    HWND target = mouse_target(*top, x, y, p);
    if (!IsWindowEnabled(target) || !IsWindowEnabled(hwnd))
        return;
    post_input_message(target, WM_MOUSEMOVE, mouse_key_state(), MAKELPARAM(p.x, p.y));
}

void input_mouse_wheel(HWND hwnd, bool horizontal, int delta, int x, int y) {
    Window* top = live_top_level(hwnd);
    if (top == nullptr)
        return;
    POINT screen = client_origin_on_screen(*top);
    cursor = POINT{screen.x + x, screen.y + y};
    // The wheel turns for the focus window, as the keys do; the point is on
    // the screen.
    HWND target = key_target(hwnd);
    if (!IsWindowEnabled(target) || !IsWindowEnabled(hwnd))
        return;
    post_input_message(target, horizontal ? WM_MOUSEHWHEEL : WM_MOUSEWHEEL,
                       MAKEWPARAM(mouse_key_state(), static_cast<WORD>(delta)),
                       MAKELPARAM(cursor.x, cursor.y));
}

void input_scroll(HWND hwnd, int bar, UINT code, int position) {
    Window* w = live_top_level(hwnd);
    if (w == nullptr || (bar != SB_HORZ && bar != SB_VERT) || !IsWindowEnabled(hwnd))
        return;
    if ((w->style & (bar == SB_HORZ ? WS_HSCROLL : WS_VSCROLL)) == 0 ||
        w->scroll_bars[bar].disabled)
        return;
    // Only the thumb's messages carry a position: its 16 low bits, the whole
    // of it through GetScrollInfo's SIF_TRACKPOS.
    const bool thumb = code == SB_THUMBTRACK || code == SB_THUMBPOSITION;
    const int at = thumb ? within_bar(w->scroll_bars[bar], position) : 0;
    post_input_message(hwnd, bar == SB_HORZ ? WM_HSCROLL : WM_VSCROLL,
                       MAKEWPARAM(code, thumb ? static_cast<WORD>(at) : 0), 0, at);
}

void input_key(HWND hwnd, UINT virtual_key, bool down) {
    if (live_top_level(hwnd) == nullptr || virtual_key >= keys.size())
        return;
    const bool was_down = keys[virtual_key];
    keys[virtual_key] = down;
    HWND target = key_target(hwnd);
    if (!IsWindowEnabled(target) || !IsWindowEnabled(hwnd))
        return;
    const bool alt = keys[VK_MENU];
    const bool system = alt || virtual_key == VK_MENU;
    LPARAM info = 1;
    if (alt)
        info |= LPARAM{1} << 29;
    if (was_down)
        info |= LPARAM{1} << 30;
    if (!down)
        info |= (LPARAM{1} << 30) | (LPARAM{1} << 31);
    UINT msg = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    post_input_message(target, msg, virtual_key, static_cast<LPARAM>(static_cast<DWORD>(info)));
}

void input_expose(HWND hwnd, const RECT* client_rect) {
    if (Window* w = live_top_level(hwnd))
        invalidate(*w, client_rect, true);
}

void input_close_request(HWND hwnd) {
    Window* w = live_top_level(hwnd);
    if (w == nullptr || (w->style & WS_DISABLED) != 0)
        return;
    // A window whose close command is gone or whose class forbids closing keeps its close box grey.
    if ((w->window_class->style & CS_NOCLOSE) != 0)
        return;
    if (w->system_menu != nullptr && !menu_has_command(w->system_menu, SC_CLOSE))
        return;
    post_input_message(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
}

}  // namespace portable

using namespace portable;

HWND WINAPI SetCapture(HWND hWnd) {
    HWND previous = capture_window;
    if (hWnd != nullptr && checked_window(hWnd) == nullptr)
        return previous;
    capture_window = hWnd;
    if (previous != nullptr && previous != hWnd && find_window(previous) != nullptr)
        send_message(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hWnd));
    return previous;
}

BOOL WINAPI ReleaseCapture(void) {
    HWND previous = capture_window;
    capture_window = nullptr;
    if (previous != nullptr && find_window(previous) != nullptr)
        send_message(previous, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND WINAPI GetCapture(void) {
    return capture_window;
}

namespace portable {

std::vector<HWND> visible_top_level_windows() {
    std::vector<HWND> list;
    for (auto& [value, w] : window_table())
        if (!w->is_child() && w->created && !w->destroying && (w->style & WS_VISIBLE) != 0)
            list.push_back(w->hwnd);
    return list;
}

const Surface* window_surface(HWND hwnd) {
    Window* w = find_window(hwnd);
    return w != nullptr ? &w->surface : nullptr;
}

}  // namespace portable
