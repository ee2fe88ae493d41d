// How a display driver hands host events to the portable core. Coordinates
// are client coordinates of a top-level window. Each call queues the messages
// that Win32 would (or invalidates, for exposure) and returns at once.
#pragma once

#include <vector>

#include "platform/portable/gdi_objects.h"
#include "platform/portable/types.h"

namespace portable {

enum class MouseButton { left, middle, right };

// `double_click` marks the second press of a double click; the core turns it
// into WM_xBUTTONDBLCLK when the window's class has CS_DBLCLKS, else into a
// plain button-down.
void input_mouse_button(HWND hwnd, MouseButton button, bool down, bool double_click, int x, int y);
void input_mouse_move(HWND hwnd, int x, int y);
void input_key(HWND hwnd, UINT virtual_key, bool down);
// A turn of the wheel (or a tilt, `horizontal`) at a client point: `delta`
// in WHEEL_DELTA units per notch, positive away from the user (up) or to the
// right.
void input_mouse_wheel(HWND hwnd, bool horizontal, int delta, int x, int y);
// The user worked one of the window's standard scroll bars (SB_HORZ,
// SB_VERT): `code` is what WM_HSCROLL and WM_VSCROLL carry (SB_LINEDOWN ...
// SB_ENDSCROLL), `position` the thumb's for SB_THUMBTRACK and
// SB_THUMBPOSITION. The bar does not move by itself: the program moves it.
void input_scroll(HWND hwnd, int bar, UINT code, int position);
// The host needs (part of) the client area shown again; null means all of it.
void input_expose(HWND hwnd, const RECT* client_rect);
// The user asked to close the window (title bar, window manager): handled as
// SC_CLOSE from the system menu, which ends in WM_CLOSE.
void input_close_request(HWND hwnd);

// Visible top-level windows in creation order, and what each one shows.
std::vector<HWND> visible_top_level_windows();
const Surface* window_surface(HWND hwnd);

}  // namespace portable
