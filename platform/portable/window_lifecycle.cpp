// Windows: the table of live windows, creation and destruction in Win32's
// message order, and the window tree.
#include <algorithm>

#include "platform/portable/kernel.h"
#include "platform/portable/window_state.h"

namespace portable {

namespace {

UINT_PTR next_handle = 0x10010;
int cascade = 0;

// Where top-level windows go when the caller leaves the position or size to
// the system.
constexpr int default_width = 800;
constexpr int default_height = 600;
// The largest window, frame included (the default tracking size).
constexpr int max_track_size = 16384;

std::vector<HWND> owned_by(HWND owner) {
    std::vector<HWND> list;
    for (auto& [value, w] : window_table())
        if (!w->is_child() && w->owner == owner)
            list.push_back(w->hwnd);
    return list;
}

HWND top_level_of(HWND hwnd) {
    Window* w = find_window(hwnd);
    while (w != nullptr && w->is_child())
        w = find_window(w->parent);
    return w != nullptr ? w->hwnd : nullptr;
}

// The parent (child windows) or owner (top-level windows) that hWndParent
// names; false, with the error set, when it cannot be one.
bool resolve_parent(HWND hWndParent, bool child, HWND& parent, HWND& owner) {
    parent = owner = nullptr;
    if (hWndParent == nullptr) {
        if (!child)
            return true;
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return false;
    }
    if (checked_window(hWndParent) == nullptr)
        return false;
    if (child)
        parent = hWndParent;
    else
        owner = top_level_of(hWndParent);  // the owner is always a top-level window
    return true;
}

// Positions and sizes left to the system.
void place_by_default(bool child, int& x, int& y, int& width, int& height) {
    if (child) {
        if (x == CW_USEDEFAULT)
            x = y = 0;
        if (width == CW_USEDEFAULT)
            width = height = 0;
    } else {
        if (x == CW_USEDEFAULT) {
            x = y = 40 + 24 * (cascade % 10);
            ++cascade;
        }
        if (width == CW_USEDEFAULT) {
            width = default_width;
            height = default_height;
        }
    }
    width = std::max(0, width);
    height = std::max(0, height);
}

HWND add_window(WindowClass* window_class, DWORD style, DWORD ex_style, HWND parent, HWND owner,
                HINSTANCE instance, HMENU menu, const RECT& rect) {
    auto record = std::make_unique<Window>();
    Window& w = *record;
    w.hwnd = reinterpret_cast<HWND>(next_handle);
    next_handle += 4;
    w.window_class = window_class;
    w.proc = window_class->proc;
    w.style = style & ~static_cast<DWORD>(WS_VISIBLE);  // ShowWindow sets it
    // Overlapped windows always have a caption, as on Win32.
    if ((style & (WS_CHILD | WS_POPUP)) == 0)
        w.style |= WS_CAPTION | WS_CLIPSIBLINGS;
    w.ex_style = ex_style;
    w.parent = parent;
    w.owner = owner;
    w.instance = instance;
    if (w.is_child())
        w.id = reinterpret_cast<UINT_PTR>(menu);
    else
        w.menu = menu;
    w.window_rect = rect;
    w.client_rect = rect;
    w.extra.assign(static_cast<size_t>(window_class->window_extra), 0);
    make_scroll_bars(w);
    ++window_class->windows;
    HWND hwnd = w.hwnd;
    window_table().emplace(reinterpret_cast<UINT_PTR>(hwnd), std::move(record));
    return hwnd;
}

// Top-level and sizable windows keep within their tracking size, as on
// Win32; the core's largest is far beyond any screen but keeps a window's
// pixels within reason. False when the window went meanwhile.
bool keep_within_tracking_size(HWND hwnd, int& width, int& height) {
    MINMAXINFO info{};
    info.ptMaxSize = POINT{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    info.ptMaxTrackSize = POINT{max_track_size, max_track_size};
    info.ptMinTrackSize = POINT{1, 1};
    if (!send_survives(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)))
        return false;
    width = std::max<int>(std::min<int>(width, info.ptMaxTrackSize.x), info.ptMinTrackSize.x);
    height = std::max<int>(std::min<int>(height, info.ptMaxTrackSize.y), info.ptMinTrackSize.y);
    width = std::max(0, width);
    height = std::max(0, height);
    Window* w = find_window(hwnd);
    w->window_rect = RECT{w->window_rect.left, w->window_rect.top, w->window_rect.left + width,
                          w->window_rect.top + height};
    w->client_rect = w->window_rect;
    return true;
}

// The driver hears of a new top-level window, with the icons it got while
// being created.
void introduce_to_driver(Window& w) {
    HWND hwnd = w.hwnd;
    DisplayDriver& driver = display_driver();
    driver.window_created(window_info(w));
    HICON big = w.icon_big, small = w.icon_small;
    if (big != nullptr)
        driver.icon_changed(hwnd, big, true);
    if (small != nullptr && find_window(hwnd) != nullptr)
        driver.icon_changed(hwnd, small, false);
}

// WM_DESTROY goes to the window first, then to its children.
void send_destroy(HWND hwnd) {
    if (Window* w = find_window(hwnd))
        w->destroying = true;
    send_message(hwnd, WM_DESTROY, 0, 0);
    for (HWND child : children_of(hwnd))
        if (find_window(child) != nullptr)
            send_destroy(child);
}

// WM_NCDESTROY goes to the children first; then the record goes.
void free_window(HWND hwnd) {
    for (HWND child : children_of(hwnd))
        if (find_window(child) != nullptr)
            free_window(child);
    if (!send_survives(hwnd, WM_NCDESTROY, 0, 0))
        return;
    Window* w = find_window(hwnd);
    if (w->window_class != nullptr)
        --w->window_class->windows;
    if (w->system_menu != nullptr)
        destroy_menu(w->system_menu);
    if (!w->is_child() && w->menu != nullptr)
        destroy_menu(w->menu);
    bool tell_driver = !w->is_child() && w->created;
    detach_paint_contexts(*w);
    purge_messages(hwnd);
    forget_focus_of(hwnd);
    forget_capture_of(hwnd);
    window_table().erase(reinterpret_cast<UINT_PTR>(hwnd));
    if (tell_driver)
        display_driver().window_destroyed(hwnd);
}

}  // namespace

std::map<UINT_PTR, std::unique_ptr<Window>>& window_table() {
    static std::map<UINT_PTR, std::unique_ptr<Window>> table;
    return table;
}

Window* find_window(HWND hwnd) {
    if (hwnd == nullptr)
        return nullptr;
    auto& table = window_table();
    auto it = table.find(reinterpret_cast<UINT_PTR>(hwnd));
    return it == table.end() ? nullptr : it->second.get();
}

Window* checked_window(HWND hwnd) {
    Window* w = find_window(hwnd);
    if (w == nullptr)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return w;
}

LRESULT send_message(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    Window* w = find_window(hwnd);
    if (w == nullptr || w->proc == nullptr)
        return 0;
    return w->proc(hwnd, msg, wparam, lparam);
}

bool send_survives(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result) {
    LRESULT r = send_message(hwnd, msg, wparam, lparam);
    if (result != nullptr)
        *result = r;
    return find_window(hwnd) != nullptr;
}

std::vector<HWND> children_of(HWND parent) {
    std::vector<HWND> list;
    for (auto& [value, w] : window_table())
        if (w->is_child() && w->parent == parent)
            list.push_back(w->hwnd);
    return list;
}

void reset_windows() {
    window_table().clear();
    reset_focus();
    cascade = 0;
}

}  // namespace portable

using namespace portable;

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle,
                            int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                            HINSTANCE hInstance, LPVOID lpParam) {
    WindowClass* window_class = find_class(lpClassName, hInstance);
    if (window_class == nullptr) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    const bool child = (dwStyle & WS_CHILD) != 0;
    HWND parent, owner;
    if (!resolve_parent(hWndParent, child, parent, owner))
        return nullptr;
    const bool placed = !child && X != CW_USEDEFAULT;
    place_by_default(child, X, Y, nWidth, nHeight);
    HWND hwnd = add_window(window_class, dwStyle, dwExStyle, parent, owner, hInstance, hMenu,
                           RECT{X, Y, X + nWidth, Y + nHeight});
    find_window(hwnd)->placed = placed;
    if ((dwStyle & WS_THICKFRAME) != 0 || (dwStyle & (WS_POPUP | WS_CHILD)) == 0) {
        if (!keep_within_tracking_size(hwnd, nWidth, nHeight))
            return nullptr;
    }

    CREATESTRUCTA cs{};
    cs.lpCreateParams = lpParam;
    cs.hInstance = hInstance;
    cs.hMenu = hMenu;
    cs.hwndParent = hWndParent;
    cs.cy = nHeight;
    cs.cx = nWidth;
    cs.y = Y;
    cs.x = X;
    cs.style = static_cast<LONG>(dwStyle);
    cs.lpszName = lpWindowName;
    cs.lpszClass = lpClassName;
    cs.dwExStyle = dwExStyle;

    LRESULT answer = 0;
    if (!send_survives(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs), &answer))
        return nullptr;
    if (answer == 0) {
        // Refused: the window goes again, with WM_NCDESTROY only.
        find_window(hwnd)->destroying = true;
        free_window(hwnd);
        return nullptr;
    }
    if (!calculate_client(hwnd))
        return nullptr;
    if (!send_survives(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs), &answer))
        return nullptr;
    if (answer == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    // Children hear their size at once and tell their parent; a top-level
    // window hears it when it is first shown, as on Win32.
    if (child) {
        if (!send_size_and_move(hwnd))
            return nullptr;
        if ((dwExStyle & WS_EX_NOPARENTNOTIFY) == 0) {
            const UINT_PTR id = find_window(hwnd)->id;
            send_message(parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, id),
                         reinterpret_cast<LPARAM>(hwnd));
        }
    }
    Window* made = find_window(hwnd);
    if (made == nullptr)
        return nullptr;
    made->created = true;
    if (!child) {
        made->needs_size_messages = true;
        introduce_to_driver(*made);
    }
    if ((dwStyle & WS_VISIBLE) != 0 && find_window(hwnd) != nullptr)
        ShowWindow(hwnd, SW_SHOW);
    return find_window(hwnd) != nullptr ? hwnd : nullptr;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
    Window* w = checked_window(hWnd);
    if (w == nullptr || w->destroying)
        return FALSE;
    w->destroying = true;
    // As on Win32: the parent hears of a child first; then the window is
    // hidden and loses activation and focus; owned windows go; then WM_DESTROY
    // down the tree and WM_NCDESTROY up it.
    if (w->is_child() && (w->ex_style & WS_EX_NOPARENTNOTIFY) == 0)
        send_message(w->parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_DESTROY, w->id),
                     reinterpret_cast<LPARAM>(hWnd));
    if ((w = find_window(hWnd)) != nullptr && (w->style & WS_VISIBLE) != 0)
        hide_for_destroy(hWnd);
    deactivate_for_destroy(hWnd);
    for (HWND owned : owned_by(hWnd))
        if (find_window(owned) != nullptr)
            DestroyWindow(owned);
    if (find_window(hWnd) == nullptr)
        return TRUE;
    send_destroy(hWnd);
    if (find_window(hWnd) != nullptr)
        free_window(hWnd);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd) {
    return find_window(hWnd) != nullptr;
}

BOOL WINAPI IsChild(HWND hWndParent, HWND hWnd) {
    Window* w = find_window(hWnd);
    while (w != nullptr && w->is_child()) {
        if (w->parent == hWndParent)
            return TRUE;
        w = find_window(w->parent);
    }
    return FALSE;
}

HWND WINAPI GetWindow(HWND hWnd, UINT uCmd) {
    Window* w = checked_window(hWnd);
    if (w == nullptr)
        return nullptr;
    if (uCmd == GW_OWNER)
        return w->is_child() ? nullptr : w->owner;
    if (uCmd == GW_CHILD) {
        auto list = children_of(hWnd);
        return list.empty() ? nullptr : list.front();
    }
    // Siblings, in creation order (the core keeps no z-order).
    std::vector<HWND> siblings;
    for (auto& [value, other] : window_table())
        if (other->is_child() == w->is_child() && (!w->is_child() || other->parent == w->parent))
            siblings.push_back(other->hwnd);
    auto it = std::find(siblings.begin(), siblings.end(), hWnd);
    switch (uCmd) {
        case GW_HWNDFIRST:
            return siblings.front();
        case GW_HWNDLAST:
            return siblings.back();
        case GW_HWNDNEXT:
            return it + 1 != siblings.end() ? *(it + 1) : nullptr;
        case GW_HWNDPREV:
            return it != siblings.begin() ? *(it - 1) : nullptr;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
    }
}

HWND WINAPI GetParent(HWND hWnd) {
    Window* w = checked_window(hWnd);
    if (w == nullptr)
        return nullptr;
    if (w->is_child())
        return w->parent;
    if ((w->style & WS_POPUP) != 0)
        return w->owner;
    return nullptr;
}
