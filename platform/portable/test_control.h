// Control of the portable core for tests and tools: scripted input through
// the test control's own headless driver, scripted popup-menu choices, what
// windows show and what the driver was told. Not for the program itself.
#pragma once

#include <string>
#include <vector>

#include "platform/portable/core_input.h"
#include "platform/portable/display_driver.h"
#include "platform/portable/gdi_objects.h"
#include "platform/portable/scripted_driver.h"
#include "platform/portable/types.h"

namespace portable::test {

// Forgets every window (without messages), class, menu, queued message and
// scripted input, and starts over with a fresh scripted driver. Safe between
// tests whose window objects are gone.
void reset();

// Input at client coordinates of a top-level window, queued for the scripted
// driver: the program's own message loop picks it up, in order, the next
// time it looks for messages.
void mouse_button(HWND hwnd, MouseButton button, bool down, int x, int y,
                  bool double_click = false);
void click(HWND hwnd, MouseButton button, int x, int y);  // press, release
// Press, release, press marked as the second of a double click, release.
void double_click(HWND hwnd, MouseButton button, int x, int y);
void mouse_move(HWND hwnd, int x, int y);
void key(HWND hwnd, UINT virtual_key, bool down);
void key_press(HWND hwnd, UINT virtual_key);  // down, up
// A turn of the wheel at a client point, WHEEL_DELTA a notch, positive away
// from the user; `horizontal`: a tilt, positive to the right.
void wheel(HWND hwnd, int delta, int x, int y, bool horizontal = false);
// Use of a standard scroll bar: `code` as WM_HSCROLL/WM_VSCROLL carry it,
// `position` the thumb's for SB_THUMBTRACK and SB_THUMBPOSITION.
void scroll_bar(HWND hwnd, int bar, UINT code, int position = 0);
void close_request(HWND hwnd);  // the title bar's close box
size_t pending_input();

// When the program waits and no scripted input is left, the driver asks its
// windows to close (on by default).
void set_close_when_idle(bool on);
// The driver's screen and its work area (1920 x 1080, all free, at reset).
void set_screen(const RECT& screen, const RECT& work_area);

// Popup menus: the next one shown returns this command id (0: dismissed).
// Without a scripted choice a popup menu is dismissed.
void choose_popup_item(UINT id);
void dismiss_popup();

const PopupRecord& last_popup();
int popups_shown();
size_t live_menus();

// What a window's client area shows (0x00RRGGBB, top row first).
const Surface* surface(HWND hwnd);
uint32_t pixel(HWND hwnd, int x, int y);
// What the core last told the driver of a top-level window; null for one it
// does not know.
const WindowInfo* driver_window(HWND hwnd);

// What the driver was asked to do.
int driver_wait_calls();
int driver_poll_calls();
int driver_presents();
int driver_close_requests();
int driver_quit_requests();

}  // namespace portable::test
