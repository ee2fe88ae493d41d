// Under real Win32 the user cannot be scripted from inside the process in a
// simple way; popup menus are closed as soon as they wait for input.
#include "tests/window/seam.h"

namespace seam {

void reset() {
    // Drop what earlier tests left in the queue.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

bool can_choose_popup() {
    return false;
}
void choose_popup(UINT) {}
void menu_idle(HWND) {
    EndMenu();
}
bool last_popup_point(POINT&) {
    return false;
}
long live_menus() {
    return -1;
}
int wait_calls() {
    return -1;
}
int calls_of(const std::string&) {
    return -1;
}
void count_calls(bool) {}

}  // namespace seam
