// Painting: invalid regions (one bounding rectangle per window), BeginPaint
// and EndPaint, window contexts, and handing painted pixels to the driver.
#include <algorithm>

#include "platform/portable/window_state.h"

namespace portable {

namespace {

// Where contexts of a window that has gone draw: nowhere.
Surface detached_surface;

RECT client_area(const Window& w) {
    return RECT{0, 0, w.client_rect.right - w.client_rect.left,
                w.client_rect.bottom - w.client_rect.top};
}

bool visible_chain(const Window& w) {
    return IsWindowVisible(w.hwnd) != FALSE;
}

void forget_context(HWND hwnd, HDC dc) {
    if (Window* w = find_window(hwnd)) {
        auto& list = w->open_contexts;
        list.erase(std::remove(list.begin(), list.end(), dc), list.end());
    }
}

// Copies a child's painted pixels into the surfaces of its ancestors and
// returns the top-level window with the dirty rectangle in its coordinates.
HWND compose_into_top_level(const Window& child, RECT& dirty) {
    const Window* w = &child;  // each pass copies w's pixels into its parent
    while (w->is_child()) {
        Window* parent = find_window(w->parent);
        if (parent == nullptr)
            return nullptr;
        const LONG dx = w->client_rect.left, dy = w->client_rect.top;
        for (LONG y = std::max<LONG>(dirty.top, 0); y < dirty.bottom; ++y) {
            const LONG py = y + dy;
            if (y >= w->surface.height || py < 0 || py >= parent->surface.height)
                continue;
            for (LONG x = std::max<LONG>(dirty.left, 0); x < dirty.right; ++x) {
                const LONG px = x + dx;
                if (x >= w->surface.width || px < 0 || px >= parent->surface.width)
                    continue;
                parent->surface.pixels[static_cast<size_t>(py) * parent->surface.width + px] =
                    w->surface.at(x, y);
            }
        }
        dirty = RECT{dirty.left + dx, dirty.top + dy, dirty.right + dx, dirty.bottom + dy};
        w = parent;
    }
    return w->hwnd;
}

void present(HWND hwnd, RECT dirty) {
    Window* w = find_window(hwnd);
    if (w == nullptr || IsRectEmpty(&dirty))
        return;
    HWND top = w->is_child() ? compose_into_top_level(*w, dirty) : hwnd;
    Window* t = find_window(top);
    if (t == nullptr || !t->created)
        return;
    RECT area = client_area(*t);
    if (!IntersectRect(&dirty, &dirty, &area))
        return;
    display_driver().present(top, t->surface, dirty);
}

}  // namespace

void invalidate(Window& w, const RECT* client_rect, bool erase) {
    if (!visible_chain(w))
        return;
    RECT area = client_area(w);
    RECT r = area;
    if (client_rect != nullptr && !IntersectRect(&r, client_rect, &area))
        return;
    if (IsRectEmpty(&r))
        return;
    UnionRect(&w.update, &w.update, &r);
    if (erase)
        w.erase = true;
    // Children share the parent's pixels unless the parent clips them out.
    if ((w.style & WS_CLIPCHILDREN) != 0)
        return;
    for (auto& [value, child] : window_table()) {
        if (!child->is_child() || child->parent != w.hwnd)
            continue;
        RECT in_child{r.left - child->client_rect.left, r.top - child->client_rect.top,
                      r.right - child->client_rect.left, r.bottom - child->client_rect.top};
        invalidate(*child, &in_child, erase);
    }
}

HWND window_needing_paint() {
    for (auto& [value, w] : window_table())
        if (!IsRectEmpty(&w->update) && visible_chain(*w))
            return w->hwnd;
    return nullptr;
}

void resize_surface(Window& w) {
    RECT area = client_area(w);
    if (w.surface.width != area.right || w.surface.height != area.bottom)
        w.surface.resize(area.right, area.bottom);
}

void detach_paint_contexts(Window& w) {
    for (HDC h : w.open_contexts)
        if (DeviceContext* dc = dc_from_handle(h)) {
            dc->surface = &detached_surface;
            dc->window = nullptr;
        }
    w.open_contexts.clear();
}

}  // namespace portable

using namespace portable;

HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    Window* w = checked_window(hWnd);
    if (w == nullptr || lpPaint == nullptr)
        return nullptr;
    RECT area = client_area(*w);
    RECT paint{};
    IntersectRect(&paint, &w->update, &area);
    HDC dc = create_surface_dc(&w->surface, paint, hWnd);
    w->open_contexts.push_back(dc);
    const bool erase = w->erase;
    // The region is valid from here: what is invalidated while painting
    // brings another WM_PAINT.
    w->update = RECT{};
    w->erase = false;
    BOOL still_to_erase = FALSE;
    if (erase && !IsRectEmpty(&paint))
        still_to_erase = send_message(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0;
    *lpPaint = PAINTSTRUCT{};
    lpPaint->hdc = dc;
    lpPaint->fErase = still_to_erase;
    lpPaint->rcPaint = paint;
    return dc;
}

BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint) {
    if (lpPaint == nullptr)
        return FALSE;
    forget_context(hWnd, lpPaint->hdc);
    release_surface_dc(lpPaint->hdc);
    present(hWnd, lpPaint->rcPaint);
    return TRUE;
}

HDC WINAPI GetDC(HWND hWnd) {
    if (hWnd == nullptr)
        return create_surface_dc(&detached_surface, RECT{}, nullptr);
    Window* w = checked_window(hWnd);
    if (w == nullptr)
        return nullptr;
    HDC dc = create_surface_dc(&w->surface, client_area(*w), hWnd);
    w->open_contexts.push_back(dc);
    return dc;
}

int WINAPI ReleaseDC(HWND hWnd, HDC hDC) {
    DeviceContext* dc = dc_from_handle(hDC);
    if (dc == nullptr || dc->surface == nullptr)
        return 0;
    // What was drawn is not tracked: the whole client area is shown again.
    RECT all = dc->clip;
    forget_context(hWnd, hDC);
    release_surface_dc(hDC);
    if (hWnd != nullptr)
        present(hWnd, all);
    return 1;
}

BOOL WINAPI UpdateWindow(HWND hWnd) {
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

BOOL WINAPI InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase) {
    if (hWnd == nullptr) {
        std::vector<HWND> all;
        for (auto& [value, w] : window_table())
            if (!w->is_child())
                all.push_back(w->hwnd);
        for (HWND h : all)
            if (Window* w = find_window(h))
                invalidate(*w, nullptr, bErase != FALSE);
        return TRUE;
    }
    Window* w = checked_window(hWnd);
    if (w == nullptr)
        return FALSE;
    invalidate(*w, lpRect, bErase != FALSE);
    return TRUE;
}

BOOL WINAPI ValidateRect(HWND hWnd, const RECT* lpRect) {
    Window* w = checked_window(hWnd);
    if (w == nullptr)
        return FALSE;
    // With one bounding rectangle the region shrinks only when a side is covered whole.
    RECT& u = w->update;
    if (lpRect == nullptr || (lpRect->left <= u.left && lpRect->top <= u.top &&
                              lpRect->right >= u.right && lpRect->bottom >= u.bottom)) {
        u = RECT{};
        w->erase = false;
        return TRUE;
    }
    if (lpRect->left <= u.left && lpRect->right >= u.right) {
        if (lpRect->top <= u.top && lpRect->bottom > u.top)
            u.top = lpRect->bottom;
        if (lpRect->bottom >= u.bottom && lpRect->top < u.bottom)
            u.bottom = lpRect->top;
    } else if (lpRect->top <= u.top && lpRect->bottom >= u.bottom) {
        if (lpRect->left <= u.left && lpRect->right > u.left)
            u.left = lpRect->right;
        if (lpRect->right >= u.right && lpRect->left < u.right)
            u.right = lpRect->left;
    }
    if (IsRectEmpty(&u))
        u = RECT{};
    return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND hWnd, LPRECT lpRect, BOOL bErase) {
    Window* w = checked_window(hWnd);
    if (w == nullptr)
        return FALSE;
    if (lpRect != nullptr)
        *lpRect = w->update;
    if (bErase && w->erase && !IsRectEmpty(&w->update)) {
        w->erase = false;
        HDC dc = GetDC(hWnd);
        send_message(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        ReleaseDC(hWnd, dc);
    }
    w = find_window(hWnd);
    return w != nullptr && !IsRectEmpty(&w->update);
}
