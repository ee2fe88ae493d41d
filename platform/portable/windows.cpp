// Windows: creation and destruction in Win32's message order, the window
// tree, state, window longs and coordinates.
#include <algorithm>
#include <cstring>

#include "platform/portable/kernel.h"
#include "platform/portable/window_state.h"

namespace portable {

namespace {

UINT_PTR next_handle = 0x10010;
HWND focus_window = nullptr;
HWND active_window = nullptr;
int cascade = 0;

// Where top-level windows go when the caller leaves the position or size to
// the system.
constexpr int default_width = 800;
constexpr int default_height = 600;
// The largest window, frame included (the default tracking size).
constexpr int max_track_size = 16384;

std::vector<HWND> children_of(HWND parent) {
    std::vector<HWND> list;
    for (auto& [value, w] : window_table())
        if (w->is_child() && w->parent == parent)
            list.push_back(w->hwnd);
    return list;
}

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

// Asks the window procedure for its client area within `window_rect`.
void calculate_client(HWND hwnd) {
    Window* w = find_window(hwnd);
    if (w == nullptr)
        return;
    RECT r = w->window_rect;
    send_message(hwnd, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&r));
    w = find_window(hwnd);
    if (w == nullptr)
        return;
    r.right = std::max(r.right, r.left);
    r.bottom = std::max(r.bottom, r.top);
    w->client_rect = r;
    resize_surface(*w);
}

UINT_PTR w_id(HWND hwnd) {
    Window* w = find_window(hwnd);
    return w != nullptr ? w->id : 0;
}

void send_size_and_move(HWND hwnd) {
    Window* w = find_window(hwnd);
    if (w == nullptr)
        return;
    const RECT c = w->client_rect;
    send_message(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(c.right - c.left, c.bottom - c.top));
    send_message(hwnd, WM_MOVE, 0, MAKELPARAM(c.left, c.top));
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
    send_message(hwnd, WM_NCDESTROY, 0, 0);
    Window* w = find_window(hwnd);
    if (w == nullptr)
        return;
    if (w->window_class != nullptr)
        --w->window_class->windows;
    if (w->system_menu != nullptr)
        destroy_menu(w->system_menu);
    if (!w->is_child() && w->menu != nullptr)
        destroy_menu(w->menu);
    bool tell_driver = !w->is_child() && w->created;
    detach_paint_contexts(*w);
    purge_messages(hwnd);
    if (focus_window == hwnd)
        focus_window = nullptr;
    if (active_window == hwnd)
        active_window = nullptr;
    window_table().erase(reinterpret_cast<UINT_PTR>(hwnd));
    if (tell_driver)
        display_driver().window_destroyed(hwnd);
}

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

std::string property_key(LPCSTR name) {
    if (IS_INTRESOURCE(name))
        return "#" + std::to_string(reinterpret_cast<UINT_PTR>(name));
    std::string key(name);
    for (char& c : key)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return key;
}

LONG_PTR get_long(HWND hwnd, int index) {
    Window* w = checked_window(hwnd);
    if (w == nullptr)
        return 0;
    switch (index) {
        case GWLP_WNDPROC:
            return reinterpret_cast<LONG_PTR>(w->proc);
        case GWLP_HINSTANCE:
            return reinterpret_cast<LONG_PTR>(w->instance);
        case GWLP_HWNDPARENT:
            return reinterpret_cast<LONG_PTR>(w->is_child() ? w->parent : w->owner);
        case GWLP_ID:
            return static_cast<LONG_PTR>(w->id);
        case GWL_STYLE:
            return static_cast<LONG>(w->style);
        case GWL_EXSTYLE:
            return static_cast<LONG>(w->ex_style);
        case GWLP_USERDATA:
            return w->user_data;
        default:
            break;
    }
    if (index >= 0 && static_cast<size_t>(index) + sizeof(LONG_PTR) <= w->extra.size()) {
        LONG_PTR value;
        std::memcpy(&value, w->extra.data() + index, sizeof value);
        return value;
    }
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
}

LONG_PTR set_long(HWND hwnd, int index, LONG_PTR value) {
    Window* w = checked_window(hwnd);
    if (w == nullptr)
        return 0;
    LONG_PTR previous = get_long(hwnd, index);
    switch (index) {
        case GWLP_WNDPROC:
            if (value == 0) {  // a window always has a procedure
                SetLastError(ERROR_INVALID_PARAMETER);
                return 0;
            }
            w->proc = reinterpret_cast<WNDPROC>(value);
            return previous;
        case GWLP_HINSTANCE:
            w->instance = reinterpret_cast<HINSTANCE>(value);
            return previous;
        case GWLP_ID:
            w->id = static_cast<UINT_PTR>(value);
            return previous;
        case GWL_STYLE:
            // Visibility changes only through ShowWindow; the child bit stays.
            w->style = (static_cast<DWORD>(value) & ~static_cast<DWORD>(WS_VISIBLE | WS_CHILD)) |
                       (w->style & (WS_VISIBLE | WS_CHILD));
            window_changed(*w);
            return previous;
        case GWL_EXSTYLE:
            w->ex_style = static_cast<DWORD>(value);
            window_changed(*w);
            return previous;
        case GWLP_USERDATA:
            w->user_data = value;
            return previous;
        default:
            break;
    }
    if (index >= 0 && static_cast<size_t>(index) + sizeof(LONG_PTR) <= w->extra.size()) {
        std::memcpy(w->extra.data() + index, &value, sizeof value);
        return previous;
    }
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
}

std::string log_long_call(const char* name, HWND hwnd, int index, const LONG_PTR* value) {
    std::string s = std::string(name) + "(" + log_handle(hwnd) + ", " + std::to_string(index);
    if (value != nullptr)
        s += ", " + log_hex(static_cast<UINT_PTR>(*value));
    return s + ")";
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
    // Without a copy of its own a window has the whole default system menu.
    auto in_menu = [&](UINT command) {
        return w.system_menu == nullptr || menu_has_command(w.system_menu, command);
    };
    info.resizable = (w.style & WS_THICKFRAME) != 0 && in_menu(SC_SIZE);
    info.maximizable = (w.style & WS_MAXIMIZEBOX) != 0 && in_menu(SC_MAXIMIZE);
    info.minimizable = (w.style & WS_MINIMIZEBOX) != 0 && in_menu(SC_MINIMIZE);
    return info;
}

void window_changed(const Window& w) {
    if (!w.is_child() && w.created && !w.destroying)
        display_driver().window_changed(window_info(w));
}

HWND focus() {
    return focus_window;
}

void reset_windows() {
    window_table().clear();
    focus_window = nullptr;
    active_window = nullptr;
    cascade = 0;
}

}  // namespace portable

using namespace portable;

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle,
                            int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                            HINSTANCE hInstance, LPVOID lpParam) {
    if (call_log_enabled())
        log_call("CreateWindowExA(" + log_hex(dwExStyle) + ", " + log_text(lpClassName) + ", " +
                 log_text(lpWindowName) + ", " + log_hex(dwStyle) + ", " + std::to_string(X) +
                 ", " + std::to_string(Y) + ", " + std::to_string(nWidth) + ", " +
                 std::to_string(nHeight) + ", " + log_handle(hWndParent) + ", " +
                 log_handle(hMenu) + ", " + log_handle(hInstance) + ", " + log_handle(lpParam) +
                 ")");
    WindowClass* window_class = find_class(lpClassName, hInstance);
    if (window_class == nullptr) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    const bool child = (dwStyle & WS_CHILD) != 0;
    HWND parent = nullptr, owner = nullptr;
    if (hWndParent != nullptr) {
        if (checked_window(hWndParent) == nullptr)
            return nullptr;
        if (child)
            parent = hWndParent;
        else
            owner = top_level_of(hWndParent);  // the owner is always a top-level window
    } else if (child) {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
    }

    // Positions and sizes left to the system.
    if (child) {
        if (X == CW_USEDEFAULT)
            X = Y = 0;
        if (nWidth == CW_USEDEFAULT)
            nWidth = nHeight = 0;
    } else {
        if (X == CW_USEDEFAULT) {
            X = Y = 40 + 24 * (cascade % 10);
            ++cascade;
        }
        if (nWidth == CW_USEDEFAULT) {
            nWidth = default_width;
            nHeight = default_height;
        }
    }
    nWidth = std::max(0, nWidth);
    nHeight = std::max(0, nHeight);

    auto record = std::make_unique<Window>();
    Window& w = *record;
    w.hwnd = reinterpret_cast<HWND>(next_handle);
    next_handle += 4;
    w.window_class = window_class;
    w.proc = window_class->proc;
    w.style = dwStyle & ~static_cast<DWORD>(WS_VISIBLE);  // ShowWindow sets it below
    // Overlapped windows always have a caption, as on Win32.
    if ((dwStyle & (WS_CHILD | WS_POPUP)) == 0)
        w.style |= WS_CAPTION | WS_CLIPSIBLINGS;
    w.ex_style = dwExStyle;
    w.parent = parent;
    w.owner = owner;
    w.instance = hInstance;
    if (child)
        w.id = reinterpret_cast<UINT_PTR>(hMenu);
    else
        w.menu = hMenu;
    w.window_rect = RECT{X, Y, X + nWidth, Y + nHeight};
    w.client_rect = w.window_rect;
    w.extra.assign(static_cast<size_t>(window_class->window_extra), 0);
    ++window_class->windows;
    HWND hwnd = w.hwnd;
    window_table().emplace(reinterpret_cast<UINT_PTR>(hwnd), std::move(record));

    // Top-level and sizable windows keep within their tracking size, as on
    // Win32; the core's largest is far beyond any screen but keeps a window's
    // pixels within reason.
    if ((dwStyle & WS_THICKFRAME) != 0 || (dwStyle & (WS_POPUP | WS_CHILD)) == 0) {
        MINMAXINFO info{};
        info.ptMaxSize = POINT{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        info.ptMaxTrackSize = POINT{max_track_size, max_track_size};
        info.ptMinTrackSize = POINT{1, 1};
        send_message(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
        Window* sized = find_window(hwnd);
        if (sized == nullptr)
            return nullptr;
        nWidth = std::max<int>(std::min<int>(nWidth, info.ptMaxTrackSize.x), info.ptMinTrackSize.x);
        nHeight =
            std::max<int>(std::min<int>(nHeight, info.ptMaxTrackSize.y), info.ptMinTrackSize.y);
        nWidth = std::max(0, nWidth);
        nHeight = std::max(0, nHeight);
        sized->window_rect = RECT{X, Y, X + nWidth, Y + nHeight};
        sized->client_rect = sized->window_rect;
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

    if (send_message(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) == 0) {
        // Refused: the window goes again, with WM_NCDESTROY only.
        if (Window* failed = find_window(hwnd)) {
            failed->destroying = true;
            free_window(hwnd);
        }
        return nullptr;
    }
    if (find_window(hwnd) == nullptr)
        return nullptr;
    calculate_client(hwnd);
    if (find_window(hwnd) == nullptr)
        return nullptr;
    if (send_message(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        destroy_window(hwnd);
        return nullptr;
    }
    if (find_window(hwnd) == nullptr)
        return nullptr;
    // Children hear their size at once and tell their parent; a top-level
    // window hears it when it is first shown, as on Win32.
    if (child) {
        send_size_and_move(hwnd);
        if ((dwExStyle & WS_EX_NOPARENTNOTIFY) == 0 && find_window(hwnd) != nullptr)
            send_message(parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, w_id(hwnd)),
                         reinterpret_cast<LPARAM>(hwnd));
    } else if (Window* top = find_window(hwnd)) {
        top->needs_size_messages = true;
    }
    Window* made = find_window(hwnd);
    if (made == nullptr)
        return nullptr;
    made->created = true;
    if (!made->is_child()) {
        DisplayDriver& driver = display_driver();
        driver.window_created(window_info(*made));
        // Icons set during creation reach the driver now that it knows the window.
        HICON big = made->icon_big, small = made->icon_small;
        if (big != nullptr)
            driver.icon_changed(hwnd, big, true);
        if (small != nullptr && find_window(hwnd) != nullptr)
            driver.icon_changed(hwnd, small, false);
    }
    if ((dwStyle & WS_VISIBLE) != 0 && find_window(hwnd) != nullptr)
        show_window(hwnd, SW_SHOW);
    return find_window(hwnd) != nullptr ? hwnd : nullptr;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
    if (call_log_enabled())
        log_call("DestroyWindow(" + log_handle(hWnd) + ")");
    return destroy_window(hWnd);
}

BOOL portable::destroy_window(HWND hWnd) {
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
    if ((w = find_window(hWnd)) != nullptr && (w->style & WS_VISIBLE) != 0) {
        if (w->is_child())
            send_message(hWnd, WM_SHOWWINDOW, FALSE, 0);
        WINDOWPOS pos{hWnd, nullptr, 0, 0, 0, 0, 0x0080};  // SWP_HIDEWINDOW
        send_message(hWnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
        set_visible(hWnd, false);
        send_message(hWnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
    }
    if (active_window == hWnd) {
        active_window = nullptr;
        send_message(hWnd, WM_ACTIVATE, WA_INACTIVE, 0);
    }
    if (focus_window != nullptr && (focus_window == hWnd || IsChild(hWnd, focus_window))) {
        HWND lost = focus_window;
        focus_window = nullptr;
        send_message(lost, WM_KILLFOCUS, 0, 0);
    }
    for (HWND owned : owned_by(hWnd))
        if (find_window(owned) != nullptr)
            destroy_window(owned);
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
    if (call_log_enabled())
        log_call("EnableWindow(" + log_handle(hWnd) + ", " + std::to_string(bEnable) + ")");
    Window* w = checked_window(hWnd);
    if (w == nullptr)
        return FALSE;
    const bool was_disabled = (w->style & WS_DISABLED) != 0;
    if (bEnable && was_disabled) {
        w->style &= ~static_cast<DWORD>(WS_DISABLED);
        send_message(hWnd, WM_ENABLE, TRUE, 0);
    } else if (!bEnable && !was_disabled) {
        w->style |= WS_DISABLED;
        if (focus_window != nullptr && (focus_window == hWnd || IsChild(hWnd, focus_window)))
            SetFocus(nullptr);
        send_message(hWnd, WM_ENABLE, FALSE, 0);
    }
    return was_disabled ? TRUE : FALSE;
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    if (call_log_enabled())
        log_call("ShowWindow(" + log_handle(hWnd) + ", " + std::to_string(nCmdShow) + ")");
    return show_window(hWnd, nCmdShow);
}

BOOL portable::show_window(HWND hWnd, int nCmdShow) {
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
                      static_cast<UINT>(show ? 0x0040 : 0x0080)};  // SWP_SHOWWINDOW, SWP_HIDEWINDOW
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

BOOL WINAPI UpdateWindow(HWND hWnd) {
    if (call_log_enabled())
        log_call("UpdateWindow(" + log_handle(hWnd) + ")");
    Window* w = checked_window(hWnd);
    if (w == nullptr)
        return FALSE;
    if (IsWindowVisible(hWnd) && !IsRectEmpty(&w->update))
        send_message(hWnd, WM_PAINT, 0, 0);
    for (HWND child : children_of(hWnd))
        if (find_window(child) != nullptr)
            UpdateWindow(child);
    return TRUE;
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
    if (call_log_enabled())
        log_call("GetWindow(" + log_handle(hWnd) + ", " + std::to_string(uCmd) + ")");
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
    if (call_log_enabled())
        log_call("GetParent(" + log_handle(hWnd) + ")");
    Window* w = checked_window(hWnd);
    if (w == nullptr)
        return nullptr;
    if (w->is_child())
        return w->parent;
    if ((w->style & WS_POPUP) != 0)
        return w->owner;
    return nullptr;
}

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
    if (call_log_enabled())
        log_call("SetWindowTextA(" + log_handle(hWnd) + ", " + log_text(lpString) + ")");
    if (checked_window(hWnd) == nullptr)
        return FALSE;
    return send_message(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) != 0;
}

int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
    if (checked_window(hWnd) == nullptr || lpString == nullptr || nMaxCount <= 0)
        return 0;
    return static_cast<int>(send_message(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount),
                                         reinterpret_cast<LPARAM>(lpString)));
}

int WINAPI GetWindowTextLengthA(HWND hWnd) {
    if (checked_window(hWnd) == nullptr)
        return 0;
    return static_cast<int>(send_message(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

int WINAPI GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount) {
    Window* w = checked_window(hWnd);
    if (w == nullptr || lpClassName == nullptr || nMaxCount <= 0)
        return 0;
    const std::string& name = w->window_class->name;
    size_t n = std::min(name.size(), static_cast<size_t>(nMaxCount - 1));
    std::memcpy(lpClassName, name.data(), n);
    lpClassName[n] = '\0';
    return static_cast<int>(n);
}

BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
    if (call_log_enabled())
        log_call("MoveWindow(" + log_handle(hWnd) + ", " + std::to_string(X) + ", " +
                 std::to_string(Y) + ", " + std::to_string(nWidth) + ", " +
                 std::to_string(nHeight) + ", " + std::to_string(bRepaint) + ")");
    Window* w = checked_window(hWnd);
    if (w == nullptr)
        return FALSE;
    w->window_rect = RECT{X, Y, X + std::max(0, nWidth), Y + std::max(0, nHeight)};
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

LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex) {
    if (call_log_enabled())
        log_call(log_long_call("GetWindowLongPtrA", hWnd, nIndex, nullptr));
    return get_long(hWnd, nIndex);
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    if (call_log_enabled())
        log_call(log_long_call("SetWindowLongPtrA", hWnd, nIndex, &dwNewLong));
    return set_long(hWnd, nIndex, dwNewLong);
}

// A 32-bit value cannot carry a pointer of a 64-bit program: as on 64-bit
// Windows, the pointer-sized indices are refused there.
static bool fits_long(int index) {
    return sizeof(LONG_PTR) == sizeof(LONG) || (index != GWLP_WNDPROC && index != GWLP_HINSTANCE &&
                                                index != GWLP_HWNDPARENT && index != GWLP_USERDATA);
}

LONG WINAPI GetWindowLongA(HWND hWnd, int nIndex) {
    if (call_log_enabled())
        log_call(log_long_call("GetWindowLongA", hWnd, nIndex, nullptr));
    if (!fits_long(nIndex)) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    return static_cast<LONG>(get_long(hWnd, nIndex));
}

LONG WINAPI SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong) {
    LONG_PTR value = dwNewLong;
    if (call_log_enabled())
        log_call(log_long_call("SetWindowLongA", hWnd, nIndex, &value));
    if (!fits_long(nIndex)) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    return static_cast<LONG>(set_long(hWnd, nIndex, dwNewLong));
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

BOOL WINAPI SetPropA(HWND hWnd, LPCSTR lpString, HANDLE hData) {
    if (call_log_enabled())
        log_call("SetPropA(" + log_handle(hWnd) + ", " + log_text(lpString) + ", " +
                 log_handle(hData) + ")");
    Window* w = checked_window(hWnd);
    if (w == nullptr || lpString == nullptr)
        return FALSE;
    w->properties[property_key(lpString)] = hData;
    return TRUE;
}

HANDLE WINAPI GetPropA(HWND hWnd, LPCSTR lpString) {
    if (call_log_enabled())
        log_call("GetPropA(" + log_handle(hWnd) + ", " + log_text(lpString) + ")");
    Window* w = find_window(hWnd);
    if (w == nullptr || lpString == nullptr)
        return nullptr;
    auto it = w->properties.find(property_key(lpString));
    return it == w->properties.end() ? nullptr : it->second;
}

HANDLE WINAPI RemovePropA(HWND hWnd, LPCSTR lpString) {
    if (call_log_enabled())
        log_call("RemovePropA(" + log_handle(hWnd) + ", " + log_text(lpString) + ")");
    Window* w = find_window(hWnd);
    if (w == nullptr || lpString == nullptr)
        return nullptr;
    auto it = w->properties.find(property_key(lpString));
    if (it == w->properties.end())
        return nullptr;
    HANDLE value = it->second;
    w->properties.erase(it);
    return value;
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
    if (call_log_enabled())
        log_call("ClientToScreen(" + log_handle(hWnd) + ", " +
                 (lpPoint == nullptr ? std::string("NULL")
                                     : "{" + std::to_string(lpPoint->x) + ", " +
                                           std::to_string(lpPoint->y) + "}") +
                 ")");
    Window* w = checked_window(hWnd);
    if (w == nullptr || lpPoint == nullptr)
        return FALSE;
    POINT origin = client_origin_on_screen(*w);
    lpPoint->x += origin.x;
    lpPoint->y += origin.y;
    return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
    Window* w = checked_window(hWnd);
    if (w == nullptr || lpPoint == nullptr)
        return FALSE;
    POINT origin = client_origin_on_screen(*w);
    lpPoint->x -= origin.x;
    lpPoint->y -= origin.y;
    return TRUE;
}
