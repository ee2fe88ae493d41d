// Windows: their standard scroll bars. The core keeps each bar's range, page
// and position with Win32's rules; the display driver shows the bars and
// hands their use back as scroll messages (core_input.h).
#include <algorithm>
#include <cstdint>

#include "platform/portable/kernel.h"
#include "platform/portable/window_state.h"

namespace portable {

namespace {

DWORD style_of(int bar) {
    return bar == SB_HORZ ? WS_HSCROLL : WS_VSCROLL;
}

int64_t range_size(const ScrollBar& b) {
    return int64_t{b.max} - b.min + 1;
}

// The last position the page leaves room for.
int last_position(const ScrollBar& b) {
    const int64_t last = b.page == 0 ? b.max : int64_t{b.max} - b.page + 1;
    return static_cast<int>(std::max<int64_t>(b.min, last));
}

// Something to scroll: the page does not cover the whole range.
bool needs_bar(const ScrollBar& b) {
    return b.max > b.min && b.page < range_size(b);
}

bool valid(HWND hwnd, int bar, const SCROLLINFO* si, Window*& w) {
    w = checked_window(hwnd);
    if (w == nullptr)
        return false;
    if ((bar != SB_HORZ && bar != SB_VERT) || si == nullptr ||
        (si->cbSize != sizeof(SCROLLINFO) && si->cbSize != sizeof(SCROLLINFO) - sizeof(int))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return true;
}

}  // namespace

int within_bar(const ScrollBar& b, int position) {
    return std::clamp(position, b.min, last_position(b));
}

void make_scroll_bars(Window& w) {
    w.has_scroll_bars = (w.style & (WS_HSCROLL | WS_VSCROLL)) != 0;
}

ScrollBarInfo scroll_bar_info(const Window& w, int bar) {
    const ScrollBar& b = w.scroll_bars[bar];
    ScrollBarInfo info;
    info.shown = (w.style & style_of(bar)) != 0;
    info.enabled = !b.disabled;
    info.min = b.min;
    info.max = b.max;
    info.page = static_cast<int>(b.page);
    info.pos = b.tracking ? b.track_pos : b.pos;
    return info;
}

void note_scroll_taken(const MSG& m, int track_pos) {
    if (m.message != WM_HSCROLL && m.message != WM_VSCROLL)
        return;
    Window* w = find_window(m.hwnd);
    if (w == nullptr)
        return;
    ScrollBar& b = w->scroll_bars[m.message == WM_HSCROLL ? SB_HORZ : SB_VERT];
    const UINT code = LOWORD(m.wParam);
    if (code == SB_THUMBTRACK || code == SB_THUMBPOSITION) {
        b.tracking = true;
        b.track_pos = track_pos;
    } else if (code == SB_ENDSCROLL) {
        b.tracking = false;
    }
}

int scroll_bar_size() {
    return display_driver().scroll_bar_size();
}

}  // namespace portable

using namespace portable;

int WINAPI SetScrollInfo(HWND hwnd, int nBar, LPCSCROLLINFO lpsi, BOOL redraw) {
    Window* w;
    if (!valid(hwnd, nBar, lpsi, w))
        return 0;
    ScrollBar& b = w->scroll_bars[nBar];
    w->has_scroll_bars = true;
    if ((lpsi->fMask & SIF_RANGE) != 0) {
        b.min = lpsi->nMin;
        b.max = std::max(lpsi->nMin, lpsi->nMax);
    }
    if ((lpsi->fMask & SIF_PAGE) != 0)
        b.page = lpsi->nPage;
    if ((lpsi->fMask & SIF_POS) != 0)
        b.pos = lpsi->nPos;
    // The page within the range, the position within what the page leaves.
    b.page = static_cast<UINT>(std::min<int64_t>(b.page, range_size(b)));
    b.pos = within_bar(b, b.pos);
    b.track_pos = within_bar(b, b.track_pos);

    // A new range or page shows a bar with something to scroll and takes
    // away one with nothing, unless the caller wants it kept disabled.
    bool reframe = false;
    if ((lpsi->fMask & (SIF_RANGE | SIF_PAGE)) != 0) {
        const bool needed = needs_bar(b);
        const bool shown = (w->style & style_of(nBar)) != 0;
        b.disabled = !needed && shown && (lpsi->fMask & SIF_DISABLENOSCROLL) != 0;
        if (needed && !shown) {
            w->style |= style_of(nBar);
            reframe = true;
        } else if (!needed && shown && !b.disabled) {
            w->style &= ~style_of(nBar);
            reframe = true;
        }
    }
    const int pos = b.pos;
    // The host redraws its bars when it likes; redraw matters to it not.
    (void)redraw;
    if (reframe)
        frame_changed(hwnd);
    else
        window_changed(*w);
    return pos;
}

BOOL WINAPI GetScrollInfo(HWND hwnd, int nBar, LPSCROLLINFO lpsi) {
    Window* w;
    if (!valid(hwnd, nBar, lpsi, w))
        return FALSE;
    const ScrollBar& b = w->scroll_bars[nBar];
    if (!w->has_scroll_bars || (lpsi->fMask & SIF_ALL) == 0)
        return FALSE;
    if ((lpsi->fMask & SIF_RANGE) != 0) {
        lpsi->nMin = b.min;
        lpsi->nMax = b.max;
    }
    if ((lpsi->fMask & SIF_PAGE) != 0)
        lpsi->nPage = b.page;
    if ((lpsi->fMask & SIF_POS) != 0)
        lpsi->nPos = b.pos;
    if ((lpsi->fMask & SIF_TRACKPOS) != 0 && lpsi->cbSize == sizeof(SCROLLINFO))
        lpsi->nTrackPos = b.tracking ? b.track_pos : b.pos;
    return TRUE;
}
