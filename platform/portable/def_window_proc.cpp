// DefWindowProcA: the default handling of every message.
#include <algorithm>
#include <cstring>

#include "platform/portable/window_state.h"

namespace portable {

namespace {

// The colour of a class brush given as a system colour number + 1.
uint32_t brush_colour(HBRUSH brush) {
    switch (reinterpret_cast<UINT_PTR>(brush)) {
        case COLOR_WINDOW + 1:
            return 0xFFFFFF;
        case COLOR_BTNFACE + 1:
            return 0xF0F0F0;
        case COLOR_WINDOWTEXT + 1:
            return 0x000000;
        default:
            return 0xFFFFFF;
    }
}

LRESULT erase_background(const Window& w, HDC hdc) {
    HBRUSH brush = w.window_class != nullptr ? w.window_class->background : nullptr;
    if (brush == nullptr)
        return 0;  // nothing to erase with; the window must paint it all
    DeviceContext* dc = dc_from_handle(hdc);
    if (dc == nullptr || dc->surface == nullptr)
        return 0;
    Surface& s = *dc->surface;
    const uint32_t colour = brush_colour(brush);
    for (LONG y = std::max<LONG>(0, dc->clip.top); y < std::min<LONG>(s.height, dc->clip.bottom);
         ++y)
        for (LONG x = std::max<LONG>(0, dc->clip.left); x < std::min<LONG>(s.width, dc->clip.right);
             ++x)
            s.pixels[static_cast<size_t>(y) * s.width + x] = colour;
    return 1;
}

}  // namespace

}  // namespace portable

using namespace portable;

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    Window* w = find_window(hWnd);
    if (w == nullptr)
        return 0;
    switch (Msg) {
        case WM_NCCREATE: {
            // The title is set here, as on Win32.
            auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            if (cs != nullptr && cs->lpszName != nullptr && !IS_INTRESOURCE(cs->lpszName))
                w->title = cs->lpszName;
            return TRUE;
        }
        case WM_NCCALCSIZE: {
            RECT* r = wParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0]
                             : reinterpret_cast<RECT*>(lParam);
            if (r == nullptr)
                return 0;
            RECT insets = frame_insets(w->style, w->ex_style, !w->is_child() && w->menu != nullptr);
            // The scroll bars are part of the frame here, though not for
            // AdjustWindowRectEx.
            if ((w->style & WS_VSCROLL) != 0)
                insets.right += scroll_bar_size();
            if ((w->style & WS_HSCROLL) != 0)
                insets.bottom += scroll_bar_size();
            r->left += insets.left;
            r->top += insets.top;
            r->right -= insets.right;
            r->bottom -= insets.bottom;
            return 0;
        }
        case WM_NCHITTEST:
            return HTCLIENT;
        case WM_MOUSEACTIVATE:
            return MA_ACTIVATE;
        case WM_CLOSE:
            DestroyWindow(hWnd);
            return 0;
        case WM_SYSCOMMAND:
            switch (wParam & 0xFFF0) {
                case SC_CLOSE:
                    send_message(hWnd, WM_CLOSE, 0, 0);
                    return 0;
                default:
                    return 0;  // moving, sizing and minimizing are the host's
            }
        case WM_SYSKEYDOWN:
            if (wParam == VK_F4)
                PostMessageA(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
            return 0;
        case WM_SETICON: {
            HICON icon = reinterpret_cast<HICON>(lParam);
            const bool big = wParam == ICON_BIG;
            HICON& slot = big ? w->icon_big : w->icon_small;
            HICON previous = slot;
            slot = icon;
            if (!w->is_child() && w->created)
                display_driver().icon_changed(hWnd, icon, big);
            return reinterpret_cast<LRESULT>(previous);
        }
        case WM_GETICON:
            if (wParam == ICON_BIG)
                return reinterpret_cast<LRESULT>(w->icon_big);
            if (wParam == ICON_SMALL)
                return reinterpret_cast<LRESULT>(w->icon_small);
            return reinterpret_cast<LRESULT>(w->icon_small != nullptr ? w->icon_small
                                                                      : w->icon_big);
        case WM_SETTEXT: {
            auto* text = reinterpret_cast<LPCSTR>(lParam);
            w->title = text != nullptr ? text : "";
            window_changed(*w);
            return TRUE;
        }
        case WM_GETTEXT: {
            auto* out = reinterpret_cast<LPSTR>(lParam);
            if (out == nullptr || wParam == 0)
                return 0;
            size_t n = std::min(w->title.size(), static_cast<size_t>(wParam - 1));
            std::memcpy(out, w->title.data(), n);
            out[n] = '\0';
            return static_cast<LRESULT>(n);
        }
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(w->title.size());
        case WM_PAINT: {
            PAINTSTRUCT ps;
            if (BeginPaint(hWnd, &ps) != nullptr)
                EndPaint(hWnd, &ps);
            return 0;
        }
        case WM_ERASEBKGND:
            return erase_background(*w, reinterpret_cast<HDC>(wParam));
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE)
                SetFocus(hWnd);
            return 0;
        case WM_RBUTTONUP: {
            POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ClientToScreen(hWnd, &p);
            send_message(hWnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hWnd),
                         MAKELPARAM(p.x, p.y));
            return 0;
        }
        case WM_CONTEXTMENU:
        case WM_MOUSEWHEEL:
        case WM_MOUSEHWHEEL:
            if (w->is_child())
                return send_message(w->parent, Msg, wParam, lParam);
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        default:
            return 0;
    }
}
