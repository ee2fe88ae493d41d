// The core's own frame metrics, the window-rectangle arithmetic built on them,
// the screen and settings the display driver gives, and the rectangle helpers.
#include <algorithm>

#include "platform/portable/kernel.h"
#include "platform/portable/window_state.h"

namespace portable {

namespace {

// One set of numbers for everything that depends on the frame, so that
// AdjustWindowRectEx and the client areas of real windows always agree.
constexpr int caption_height = 19;
constexpr int small_caption_height = 15;
constexpr int menu_height = 19;
constexpr int border_width = 1;
constexpr int fixed_frame_width = 3;
constexpr int sizing_frame_width = 4;
constexpr int edge_width = 2;
// Lines the wheel scrolls per notch, and characters per notch of a tilt.
constexpr UINT wheel_lines = 3;
constexpr UINT wheel_chars = 3;

// The work area as the core's windows see it. Where the host draws a frame
// of its own around each window, a captioned window's rectangle must lie in
// the part of the work area that leaves room for the difference between the
// two frames, so that the host's window lies within the work area.
RECT core_work_area() {
    DisplayDriver& driver = display_driver();
    RECT area = driver.work_area();
    RECT host;
    if (!driver.frame_extents(host))
        return area;
    const RECT core = frame_insets(WS_CAPTION | WS_SYSMENU, 0, false);
    area.left += host.left - core.left;
    area.top += host.top - core.top;
    area.right -= host.right - core.right;
    area.bottom -= host.bottom - core.bottom;
    return area;
}

}  // namespace

// How far the window rectangle reaches beyond the client area on each side.
RECT frame_insets(DWORD style, DWORD ex_style, bool menu_bar) {
    int frame = 0;
    if ((ex_style & WS_EX_DLGMODALFRAME) != 0 ||
        (style & (WS_THICKFRAME | WS_DLGFRAME)) == WS_DLGFRAME)
        frame = fixed_frame_width;
    else if ((style & WS_THICKFRAME) != 0)
        frame = sizing_frame_width;
    else if ((style & WS_BORDER) != 0)
        frame = border_width;
    if ((ex_style & WS_EX_CLIENTEDGE) != 0)
        frame += edge_width;
    if ((ex_style & WS_EX_STATICEDGE) != 0)
        frame += border_width;
    RECT insets{frame, frame, frame, frame};
    if ((style & WS_CAPTION) == WS_CAPTION)
        insets.top += (ex_style & WS_EX_TOOLWINDOW) != 0 ? small_caption_height : caption_height;
    if (menu_bar && (style & WS_CHILD) == 0)
        insets.top += menu_height;
    return insets;
}

}  // namespace portable

using namespace portable;

int WINAPI GetSystemMetrics(int nIndex) {
    switch (nIndex) {
        case SM_CXSCREEN: {
            const RECT screen = display_driver().screen();
            return screen.right - screen.left;
        }
        case SM_CYSCREEN: {
            const RECT screen = display_driver().screen();
            return screen.bottom - screen.top;
        }
        case SM_CXVSCROLL:
            return scroll_bar_size();
        case SM_CYHSCROLL:
            return scroll_bar_size();
        case SM_CYCAPTION:
            return caption_height;
        case SM_CYSMCAPTION:
            return small_caption_height;
        case SM_CYMENU:
            return menu_height;
        case SM_CXBORDER:
        case SM_CYBORDER:
            return border_width;
        case SM_CXDLGFRAME:
        case SM_CYDLGFRAME:
            return fixed_frame_width;
        case SM_CXFRAME:
        case SM_CYFRAME:
            return sizing_frame_width;
        case SM_CXEDGE:
        case SM_CYEDGE:
            return edge_width;
        case SM_CXICON:
        case SM_CYICON:
            return 32;
        case SM_CXSMICON:
        case SM_CYSMICON:
            return 16;
        case SM_CXDOUBLECLK:
        case SM_CYDOUBLECLK:
            return 4;
        default:
            return 0;
    }
}

BOOL WINAPI SystemParametersInfoA(UINT uiAction, UINT /*uiParam*/, LPVOID pvParam,
                                  UINT /*fWinIni*/) {
    if (pvParam == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    switch (uiAction) {
        case SPI_GETWORKAREA:
            *static_cast<RECT*>(pvParam) = core_work_area();
            return TRUE;
        case SPI_GETWHEELSCROLLLINES:
            *static_cast<UINT*>(pvParam) = wheel_lines;
            return TRUE;
        case SPI_GETWHEELSCROLLCHARS:
            *static_cast<UINT*>(pvParam) = wheel_chars;
            return TRUE;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
    }
}

BOOL WINAPI AdjustWindowRectEx(LPRECT lpRect, DWORD dwStyle, BOOL bMenu, DWORD dwExStyle) {
    if (lpRect == nullptr)
        return FALSE;
    RECT insets = frame_insets(dwStyle, dwExStyle, bMenu != FALSE);
    lpRect->left -= insets.left;
    lpRect->top -= insets.top;
    lpRect->right += insets.right;
    lpRect->bottom += insets.bottom;
    return TRUE;
}

BOOL WINAPI AdjustWindowRect(LPRECT lpRect, DWORD dwStyle, BOOL bMenu) {
    return AdjustWindowRectEx(lpRect, dwStyle, bMenu, 0);
}

BOOL WINAPI SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom) {
    if (lprc == nullptr)
        return FALSE;
    *lprc = RECT{xLeft, yTop, xRight, yBottom};
    return TRUE;
}

BOOL WINAPI SetRectEmpty(LPRECT lprc) {
    return SetRect(lprc, 0, 0, 0, 0);
}

BOOL WINAPI IsRectEmpty(const RECT* lprc) {
    return lprc == nullptr || lprc->right <= lprc->left || lprc->bottom <= lprc->top;
}

BOOL WINAPI UnionRect(LPRECT lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2) {
    if (lprcDst == nullptr || lprcSrc1 == nullptr || lprcSrc2 == nullptr)
        return FALSE;
    bool empty1 = IsRectEmpty(lprcSrc1), empty2 = IsRectEmpty(lprcSrc2);
    if (empty1 && empty2)
        return SetRectEmpty(lprcDst), FALSE;
    if (empty1)
        return *lprcDst = *lprcSrc2, TRUE;
    if (empty2)
        return *lprcDst = *lprcSrc1, TRUE;
    *lprcDst = RECT{
        std::min(lprcSrc1->left, lprcSrc2->left), std::min(lprcSrc1->top, lprcSrc2->top),
        std::max(lprcSrc1->right, lprcSrc2->right), std::max(lprcSrc1->bottom, lprcSrc2->bottom)};
    return TRUE;
}

BOOL WINAPI IntersectRect(LPRECT lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2) {
    if (lprcDst == nullptr || lprcSrc1 == nullptr || lprcSrc2 == nullptr)
        return FALSE;
    RECT r{std::max(lprcSrc1->left, lprcSrc2->left), std::max(lprcSrc1->top, lprcSrc2->top),
           std::min(lprcSrc1->right, lprcSrc2->right),
           std::min(lprcSrc1->bottom, lprcSrc2->bottom)};
    if (IsRectEmpty(&r))
        return SetRectEmpty(lprcDst), FALSE;
    *lprcDst = r;
    return TRUE;
}

BOOL WINAPI PtInRect(const RECT* lprc, POINT pt) {
    return lprc != nullptr && pt.x >= lprc->left && pt.x < lprc->right && pt.y >= lprc->top &&
           pt.y < lprc->bottom;
}
