// Windows: where they are. Client areas within window rectangles, screen
// coordinates, moving, and what the driver is told of a window's frame.
#include <algorithm>

#include "platform/portable/window_state.h"

namespace portable {

bool calculate_client(HWND hwnd) {
    Window* w = find_window(hwnd);
    if (w == nullptr)
        return false;
    RECT r = w->window_rect;
    if (!send_survives(hwnd, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&r)))
        return false;
    w = find_window(hwnd);
    r.right = std::max(r.right, r.left);
    r.bottom = std::max(r.bottom, r.top);
    w->client_rect = r;
    resize_surface(*w);
    return true;
}

bool send_size_and_move(HWND hwnd) {
    Window* w = find_window(hwnd);
    if (w == nullptr)
        return false;
    const RECT c = w->client_rect;
    return send_survives(hwnd, WM_SIZE, SIZE_RESTORED,
                         MAKELPARAM(c.right - c.left, c.bottom - c.top)) &&
           send_survives(hwnd, WM_MOVE, 0, MAKELPARAM(c.left, c.top));
}

bool frame_changed(HWND hwnd) {
    Window* w = find_window(hwnd);
    if (w == nullptr)
        return false;
    const RECT before = w->client_rect;
    const RECT& r = w->window_rect;
    constexpr UINT flags = 0x0020 | 0x0001 | 0x0002 | 0x0004 | 0x0010;  // SWP_FRAMECHANGED,
    // SWP_NOSIZE, SWP_NOMOVE, SWP_NOZORDER, SWP_NOACTIVATE
    WINDOWPOS pos{hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, flags};
    if (!send_survives(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos)) ||
        !calculate_client(hwnd) ||
        !send_survives(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos)))
        return false;
    w = find_window(hwnd);
    const RECT after = w->client_rect;
    invalidate(*w, nullptr, true);
    window_changed(*w);
    if (after.right - after.left == before.right - before.left &&
        after.bottom - after.top == before.bottom - before.top)
        return true;
    return send_survives(hwnd, WM_SIZE, SIZE_RESTORED,
                         MAKELPARAM(after.right - after.left, after.bottom - after.top));
}

POINT client_origin_on_screen(const Window& w) {
    if (!w.is_child()) {
        POINT p{w.client_rect.left, w.client_rect.top};
        if (w.created)
            display_driver().client_origin(w.hwnd, p);
        return p;
    }
    Window* parent = find_window(w.parent);
    POINT p = parent != nullptr ? client_origin_on_screen(*parent) : POINT{0, 0};
    p.x += w.client_rect.left;
    p.y += w.client_rect.top;
    return p;
}

WindowInfo window_info(const Window& w) {
    WindowInfo info;
    info.hwnd = w.hwnd;
    info.title = w.title;
    info.client_width = w.client_rect.right - w.client_rect.left;
    info.client_height = w.client_rect.bottom - w.client_rect.top;
    info.client_origin = POINT{w.client_rect.left, w.client_rect.top};
    info.placed = w.placed;
    // Without a copy of its own a window has the whole default system menu.
    auto in_menu = [&](UINT command) {
        return w.system_menu == nullptr || menu_has_command(w.system_menu, command);
    };
    info.resizable = (w.style & WS_THICKFRAME) != 0 && in_menu(SC_SIZE);
    info.maximizable = (w.style & WS_MAXIMIZEBOX) != 0 && in_menu(SC_MAXIMIZE);
    info.minimizable = (w.style & WS_MINIMIZEBOX) != 0 && in_menu(SC_MINIMIZE);
    info.horizontal = scroll_bar_info(w, SB_HORZ);
    info.vertical = scroll_bar_info(w, SB_VERT);
    return info;
}

void window_changed(const Window& w) {
    if (!w.is_child() && w.created && !w.destroying)
        display_driver().window_changed(window_info(w));
}

namespace {

// ClientToScreen (sign 1) and ScreenToClient (sign -1).
BOOL move_by_client_origin(HWND hwnd, LPPOINT point, int sign) {
    Window* w = checked_window(hwnd);
    if (w == nullptr || point == nullptr)
        return FALSE;
    const POINT origin = client_origin_on_screen(*w);
    point->x += sign * origin.x;
    point->y += sign * origin.y;
    return TRUE;
}

}  // namespace

}  // namespace portable

using namespace portable;

BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
    Window* w = checked_window(hWnd);
    if (w == nullptr)
        return FALSE;
    w->window_rect = RECT{X, Y, X + std::max(0, nWidth), Y + std::max(0, nHeight)};
    w->placed = !w->is_child();
    calculate_client(hWnd);
    send_size_and_move(hWnd);
    w = find_window(hWnd);
    if (w == nullptr)
        return TRUE;
    if (bRepaint)
        invalidate(*w, nullptr, true);
    window_changed(*w);
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
    Window* w = checked_window(hWnd);
    if (w == nullptr || lpRect == nullptr)
        return FALSE;
    *lpRect = RECT{0, 0, w->client_rect.right - w->client_rect.left,
                   w->client_rect.bottom - w->client_rect.top};
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
    Window* w = checked_window(hWnd);
    if (w == nullptr || lpRect == nullptr)
        return FALSE;
    POINT origin = client_origin_on_screen(*w);
    LONG dx = origin.x - w->client_rect.left, dy = origin.y - w->client_rect.top;
    *lpRect = RECT{w->window_rect.left + dx, w->window_rect.top + dy, w->window_rect.right + dx,
                   w->window_rect.bottom + dy};
    return TRUE;
}

BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
    return move_by_client_origin(hWnd, lpPoint, 1);
}

BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
    return move_by_client_origin(hWnd, lpPoint, -1);
}
