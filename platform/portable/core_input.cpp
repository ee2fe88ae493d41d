// Host events from the display driver, turned into the messages Win32 queues.
#include <bitset>

#include "platform/portable/core_input.h"
#include "platform/portable/window_state.h"

namespace portable {

namespace {

std::bitset<256> keys;
POINT cursor{};

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

}  // namespace

POINT cursor_position() {
    return cursor;
}
bool key_down(UINT virtual_key) {
    return virtual_key < keys.size() && keys[virtual_key];
}

void reset_input_state() {
    keys.reset();
    cursor = POINT{};
}

void input_mouse_button(HWND hwnd, MouseButton button, bool down, bool double_click, int x, int y) {
    Window* top = live_top_level(hwnd);
    if (top == nullptr)
        return;
    POINT screen = client_origin_on_screen(*top);
    cursor = POINT{screen.x + x, screen.y + y};
    POINT p{x, y};
    HWND target = window_at(hwnd, p);
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
    POINT screen = client_origin_on_screen(*top);
    cursor = POINT{screen.x + x, screen.y + y};
    POINT p{x, y};
    HWND target = window_at(hwnd, p);
    if (!IsWindowEnabled(target) || !IsWindowEnabled(hwnd))
        return;
    post_input_message(target, WM_MOUSEMOVE, mouse_key_state(), MAKELPARAM(p.x, p.y));
}

void input_key(HWND hwnd, UINT virtual_key, bool down) {
    if (live_top_level(hwnd) == nullptr || virtual_key >= keys.size())
        return;
    const bool was_down = keys[virtual_key];
    keys[virtual_key] = down;
    // Keys go to the focus window when it lies inside this window.
    HWND f = focus();
    HWND target = f != nullptr && (f == hwnd || IsChild(hwnd, f)) ? f : hwnd;
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
