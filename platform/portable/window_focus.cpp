// Windows: showing and hiding, enabling, activation and the keyboard focus.
#include "platform/portable/kernel.h"
#include "platform/portable/window_state.h"

namespace portable {

namespace {

HWND focus_window = nullptr;
HWND active_window = nullptr;

constexpr UINT swp_showwindow = 0x0040;
constexpr UINT swp_hidewindow = 0x0080;

void set_visible(HWND hwnd, bool visible) {
    Window* w = find_window(hwnd);
    if (w == nullptr)
        return;
    if (visible) {
        w->style |= WS_VISIBLE;
        invalidate(*w, nullptr, true);
    } else {
        w->style &= ~static_cast<DWORD>(WS_VISIBLE);
    }
    if (!w->is_child() && w->created)
        display_driver().window_shown(hwnd, visible);
}

void activate(HWND hwnd) {
    if (active_window == hwnd)
        return;
    HWND previous = active_window;
    active_window = hwnd;
    if (find_window(previous) != nullptr)
        send_message(previous, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
    send_message(hwnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(previous));
}

bool focus_within(HWND hwnd) {
    return focus_window != nullptr && (focus_window == hwnd || IsChild(hwnd, focus_window));
}

}  // namespace

HWND focus() {
    return focus_window;
}

void hide_for_destroy(HWND hwnd) {
    Window* w = find_window(hwnd);
    if (w->is_child())
        send_message(hwnd, WM_SHOWWINDOW, FALSE, 0);
    WINDOWPOS pos{hwnd, nullptr, 0, 0, 0, 0, swp_hidewindow};
    send_message(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
    set_visible(hwnd, false);
    send_message(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
}

void deactivate_for_destroy(HWND hwnd) {
    if (active_window == hwnd) {
        active_window = nullptr;
        send_message(hwnd, WM_ACTIVATE, WA_INACTIVE, 0);
    }
    if (focus_within(hwnd)) {
        HWND lost = focus_window;
        focus_window = nullptr;
        send_message(lost, WM_KILLFOCUS, 0, 0);
    }
}

void forget_focus_of(HWND hwnd) {
    if (focus_window == hwnd)
        focus_window = nullptr;
    if (active_window == hwnd)
        active_window = nullptr;
}

void reset_focus() {
    focus_window = nullptr;
    active_window = nullptr;
}

}  // namespace portable

using namespace portable;

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    Window* w = checked_window(hWnd);
    if (w == nullptr)
        return FALSE;
    const bool was_visible = (w->style & WS_VISIBLE) != 0;
    const bool show = nCmdShow != SW_HIDE;
    if (show != was_visible && !(show && w->destroying)) {
        send_message(hWnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
        set_visible(hWnd, show);
    }
    w = find_window(hWnd);
    const bool activating = nCmdShow != SW_HIDE && nCmdShow != SW_SHOWNA &&
                            nCmdShow != SW_SHOWNOACTIVATE && nCmdShow != SW_SHOWMINNOACTIVE;
    if (w != nullptr && show != was_visible && !w->destroying) {
        WINDOWPOS pos{hWnd,
                      nullptr,
                      w->window_rect.left,
                      w->window_rect.top,
                      w->window_rect.right - w->window_rect.left,
                      w->window_rect.bottom - w->window_rect.top,
                      show ? swp_showwindow : swp_hidewindow};
        send_message(hWnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
        if (find_window(hWnd) != nullptr && show && activating && !w->is_child())
            activate(hWnd);
        if (find_window(hWnd) != nullptr)
            send_message(hWnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
        w = find_window(hWnd);
        if (w != nullptr && show && w->needs_size_messages) {
            w->needs_size_messages = false;
            send_size_and_move(hWnd);
        }
    } else if (w != nullptr && show && activating && !w->is_child() && !w->destroying) {
        activate(hWnd);
    }
    return was_visible ? TRUE : FALSE;
}

BOOL WINAPI IsWindowVisible(HWND hWnd) {
    Window* w = find_window(hWnd);
    while (w != nullptr) {
        if ((w->style & WS_VISIBLE) == 0)
            return FALSE;
        if (!w->is_child())
            return TRUE;
        w = find_window(w->parent);
    }
    return FALSE;
}

BOOL WINAPI IsWindowEnabled(HWND hWnd) {
    Window* w = find_window(hWnd);
    return w != nullptr && (w->style & WS_DISABLED) == 0;
}

BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
    Window* w = checked_window(hWnd);
    if (w == nullptr)
        return FALSE;
    const bool was_disabled = (w->style & WS_DISABLED) != 0;
    if (bEnable && was_disabled) {
        w->style &= ~static_cast<DWORD>(WS_DISABLED);
        send_message(hWnd, WM_ENABLE, TRUE, 0);
    } else if (!bEnable && !was_disabled) {
        w->style |= WS_DISABLED;
        if (focus_within(hWnd))
            SetFocus(nullptr);
        send_message(hWnd, WM_ENABLE, FALSE, 0);
    }
    return was_disabled ? TRUE : FALSE;
}

HWND WINAPI SetFocus(HWND hWnd) {
    if (hWnd != nullptr && checked_window(hWnd) == nullptr)
        return nullptr;
    HWND previous = focus_window;
    if (previous == hWnd)
        return previous;
    focus_window = hWnd;
    if (find_window(previous) != nullptr)
        send_message(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
    if (hWnd != nullptr && focus_window == hWnd)
        send_message(hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    return previous;
}

HWND WINAPI GetFocus(void) {
    return focus_window;
}

HWND WINAPI GetActiveWindow(void) {
    return active_window;
}
