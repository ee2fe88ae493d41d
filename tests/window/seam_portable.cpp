#include "platform/portable/test_control.h"
#include "tests/window/recorder.h"
#include "tests/window/seam.h"

namespace seam {

void reset() {
    portable::test::reset();
}
bool can_choose_popup() {
    return true;
}

void choose_popup(UINT id) {
    if (id == 0)
        portable::test::dismiss_popup();
    else
        portable::test::choose_popup_item(id);
}

void menu_offered(HMENU) {}
void menu_idle(HWND, LPARAM) {}

bool last_popup_point(POINT& screen) {
    if (portable::test::popups_shown() == 0)
        return false;
    screen = portable::test::last_popup().screen;
    return true;
}

long live_menus() {
    return static_cast<long>(portable::test::live_menus());
}
// The display driver reports a scroll bar's use by what it means; the core
// follows it with SB_ENDSCROLL when the button comes up, as Win32 does.
void click_scroll_bar(HWND hwnd, int bar, BarPart part, const Arrived&) {
    portable::test::scroll_bar(hwnd, bar, part == BarPart::line_down ? SB_LINEDOWN : SB_PAGEDOWN);
    portable::test::scroll_bar(hwnd, bar, SB_ENDSCROLL);
    pump();
}

void turn_wheel(HWND hwnd, int delta, bool shift, const Arrived&) {
    if (shift)
        portable::test::key(hwnd, VK_SHIFT, true);
    portable::test::wheel(hwnd, delta, 10, 10);
    if (shift)
        portable::test::key(hwnd, VK_SHIFT, false);
    pump();
}

void press_key(HWND hwnd, UINT virtual_key, const Arrived&) {
    portable::test::key_press(hwnd, virtual_key);
    pump();
}

int wait_calls() {
    return portable::test::driver_wait_calls();
}

}  // namespace seam
