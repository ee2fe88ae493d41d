#include "window/my_win.h"

#include <algorithm>

#include "quantize/process.h"
#include "window/popup_menu.h"
#include "window/viewer_frame.h"

namespace {

// A line is a twentieth of what is in view; the wheel turns a few lines a
// notch, as the system's setting says.
constexpr int lines_per_view = 20;

int line_of(int extent) {
    return std::max(1, extent / lines_per_view);
}

int coordinate(LPARAM lParam, bool y) {
    return static_cast<SHORT>(y ? HIWORD(lParam) : LOWORD(lParam));  // signed 16 bits
}

}  // namespace

void MyWin::create_and_show(dib24* shown) {
    image = shown;
    const ViewerFrame frame = viewer_frame(image->width, image->height, window_style);
    scrolls = (frame.style & (WS_HSCROLL | WS_VSCROLL)) != 0;
    const std::string title = module_file_path();
    create_window(0, title.c_str(), frame.style, frame.x, frame.y, frame.width, frame.height,
                  nullptr, nullptr, nullptr);
    if (scrolls && handle() != nullptr)
        set_up_scroll_bars();
    ShowWindow(handle(), SW_SHOW);
    UpdateWindow(handle());
}

std::string MyWin::module_file_path() {
    char buffer[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    if (length == 0)
        return std::string();
    return std::string(buffer);
}

void MyWin::process() {
    ::process(*image);
}

POINT MyWin::view_size() const {
    RECT client{};
    GetClientRect(handle(), &client);
    return POINT{client.right - client.left, client.bottom - client.top};
}

POINT MyWin::last_origin() const {
    const POINT view = view_size();
    return POINT{std::max<LONG>(0, image->width - view.x),
                 std::max<LONG>(0, image->height - view.y)};
}

void MyWin::set_up_scroll_bars() {
    const POINT view = view_size();
    const POINT last = last_origin();
    origin = POINT{std::min(origin.x, last.x), std::min(origin.y, last.y)};
    for (int bar : {SB_HORZ, SB_VERT}) {
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        info.nMin = 0;
        info.nMax = (bar == SB_HORZ ? image->width : image->height) - 1;
        info.nPage = static_cast<UINT>(bar == SB_HORZ ? view.x : view.y);
        info.nPos = bar == SB_HORZ ? origin.x : origin.y;
        SetScrollInfo(handle(), bar, &info, TRUE);
    }
}

void MyWin::scroll_to(int x, int y) {
    const POINT last = last_origin();
    const POINT to{std::clamp<LONG>(x, 0, last.x), std::clamp<LONG>(y, 0, last.y)};
    if (to.x == origin.x && to.y == origin.y)
        return;
    origin = to;
    for (int bar : {SB_HORZ, SB_VERT}) {
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_POS;
        info.nPos = bar == SB_HORZ ? origin.x : origin.y;
        SetScrollInfo(handle(), bar, &info, TRUE);
    }
    // The whole view is painted again from the new origin.
    InvalidateRect(handle(), nullptr, FALSE);
    UpdateWindow(handle());
}

void MyWin::scroll_bar_used(int bar, UINT code) {
    const POINT view = view_size();
    const int extent = bar == SB_HORZ ? view.x : view.y;
    const int at = bar == SB_HORZ ? origin.x : origin.y;
    int to = at;
    switch (code) {
        case SB_LINEUP:
            to = at - line_of(extent);
            break;
        case SB_LINEDOWN:
            to = at + line_of(extent);
            break;
        case SB_PAGEUP:
            to = at - extent;
            break;
        case SB_PAGEDOWN:
            to = at + extent;
            break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: {
            // The message carries 16 bits of the position; the bar has all of it.
            SCROLLINFO info{};
            info.cbSize = sizeof info;
            info.fMask = SIF_TRACKPOS;
            GetScrollInfo(handle(), bar, &info);
            to = info.nTrackPos;
            break;
        }
        case SB_TOP:
            to = 0;
            break;
        case SB_BOTTOM: {
            const POINT last = last_origin();
            to = bar == SB_HORZ ? last.x : last.y;
            break;
        }
        default:  // SB_ENDSCROLL
            return;
    }
    if (bar == SB_HORZ)
        scroll_to(to, origin.y);
    else
        scroll_to(origin.x, to);
}

void MyWin::wheel_turned(int bar, int delta) {
    UINT lines = 3;
    SystemParametersInfoA(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    if (lines == 0)
        return;
    const POINT view = view_size();
    const int extent = bar == SB_HORZ ? view.x : view.y;
    // One step is a line, or a page when the setting says so; a step is
    // taken for every WHEEL_DELTA / lines of turning, so that fine-grained
    // wheels add up to the same.
    const bool by_page = lines == WHEEL_PAGESCROLL || lines >= WHEEL_DELTA;
    const int step = by_page ? extent : line_of(extent);
    const int per_step = by_page ? WHEEL_DELTA : WHEEL_DELTA / static_cast<int>(lines);
    int& rest = wheel_rest[bar];
    rest += delta;
    const int steps = rest / per_step;
    rest -= steps * per_step;
    if (steps == 0)
        return;
    // Positive turns are away from the user: towards the top, or the left.
    if (bar == SB_HORZ)
        scroll_to(origin.x - steps * step, origin.y);
    else
        scroll_to(origin.x, origin.y - steps * step);
}

bool MyWin::key_pressed(UINT virtual_key) {
    const POINT view = view_size();
    const POINT last = last_origin();
    switch (virtual_key) {
        case VK_LEFT:
            scroll_to(origin.x - line_of(view.x), origin.y);
            return true;
        case VK_RIGHT:
            scroll_to(origin.x + line_of(view.x), origin.y);
            return true;
        case VK_UP:
            scroll_to(origin.x, origin.y - line_of(view.y));
            return true;
        case VK_DOWN:
            scroll_to(origin.x, origin.y + line_of(view.y));
            return true;
        case VK_PRIOR:
            scroll_to(origin.x, origin.y - view.y);
            return true;
        case VK_NEXT:
            scroll_to(origin.x, origin.y + view.y);
            return true;
        case VK_HOME:
            scroll_to(0, 0);
            return true;
        case VK_END:
            scroll_to(last.x, last.y);
            return true;
        case 'C':
            if (GetKeyState(VK_CONTROL) >= 0)
                return false;
            image->copy_to_clipboard(handle());
            return true;
        default:
            return false;
    }
}

LRESULT MyWin::window_proc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE:
            process();
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(handle(), &paint);
            // The whole picture, placed so that `origin` is at the top-left
            // corner; the paint context clips it to what is in view.
            image->draw(paint.hdc, -origin.x, -origin.y, image->width, image->height, 0, 0);
            EndPaint(handle(), &paint);
            return 0;
        }
        case WM_RBUTTONDOWN: {
            const int x = coordinate(lParam, false);
            const int y = coordinate(lParam, true);
            PopupMenuItem items[] = {{"copy"}, {nullptr}};
            if (show_popup_menu(x, y, items, handle()) == 0) {
                // The window's own handle: a clipboard opened without an owner
                // is left ownerless by EmptyClipboard and refuses the data.
                image->copy_to_clipboard(handle());
            }
            return 0;
        }
        case WM_KEYDOWN:
            if (key_pressed(static_cast<UINT>(wParam)))
                return 0;
            break;
        case WM_HSCROLL:
        case WM_VSCROLL:
            scroll_bar_used(msg == WM_HSCROLL ? SB_HORZ : SB_VERT, LOWORD(wParam));
            return 0;
        case WM_MOUSEWHEEL: {
            // Vertical; with Shift, or when only the width overflows, sideways.
            const bool sideways = (GET_KEYSTATE_WPARAM(wParam) & MK_SHIFT) != 0 ||
                                  (last_origin().y == 0 && last_origin().x > 0);
            wheel_turned(sideways ? SB_HORZ : SB_VERT, GET_WHEEL_DELTA_WPARAM(wParam));
            return 0;
        }
        case WM_MOUSEHWHEEL:
            // A tilt to the right is positive and moves the view to the right.
            wheel_turned(SB_HORZ, -GET_WHEEL_DELTA_WPARAM(wParam));
            return 0;
        case WM_SIZE:
            if (scrolls && wParam != SIZE_MINIMIZED)
                set_up_scroll_bars();
            break;
        case WM_LBUTTONDOWN:
            // Dragging pans the picture.
            if (!scrolls)
                break;
            dragging = true;
            drag_start = POINT{coordinate(lParam, false), coordinate(lParam, true)};
            drag_start_origin = origin;
            SetCapture(handle());
            return 0;
        case WM_MOUSEMOVE:
            if (!dragging)
                break;
            scroll_to(drag_start_origin.x - (coordinate(lParam, false) - drag_start.x),
                      drag_start_origin.y - (coordinate(lParam, true) - drag_start.y));
            return 0;
        case WM_LBUTTONUP:
            if (!dragging)
                break;
            ReleaseCapture();  // WM_CAPTURECHANGED ends the drag
            return 0;
        case WM_CAPTURECHANGED:
            dragging = false;
            break;
        default:
            break;
    }
    return DefWindowProcA(handle(), msg, wParam, lParam);
}
