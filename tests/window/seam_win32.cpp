// Under real Win32 the user is played with the keyboard: a scripted popup
// choice is made with Down and Return once the menu waits for input;
// anything else closes the menu.
#include "tests/window/seam.h"

namespace seam {

namespace {

UINT scripted_choice = 0;
bool keys_sent = false;
HMENU offered = nullptr;

// Down presses that select the entry with `id`: separators are skipped.
int presses_to(HMENU menu, UINT id) {
    int presses = 0;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        if ((GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR) != 0)
            continue;
        ++presses;
        if (GetMenuItemID(menu, i) == id)
            return presses;
    }
    return -1;
}

void key(HWND target, WPARAM vk) {
    PostMessageA(target, WM_KEYDOWN, vk, 1);
    PostMessageA(target, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
}

}  // namespace

void reset() {
    scripted_choice = 0;
    keys_sent = false;
    offered = nullptr;
    // Drop what earlier tests left in the queue.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

bool can_choose_popup() {
    return true;
}

void choose_popup(UINT id) {
    scripted_choice = id;
    keys_sent = false;
}

void menu_offered(HMENU menu) {
    offered = menu;
}

void menu_idle(HWND, LPARAM menu_window) {
    HWND target = reinterpret_cast<HWND>(menu_window);
    const int presses = offered != nullptr ? presses_to(offered, scripted_choice) : -1;
    if (keys_sent || scripted_choice == 0 || presses < 0 || target == nullptr) {
        EndMenu();  // dismissed, or the entry could not be taken
        scripted_choice = 0;
        return;
    }
    keys_sent = true;
    for (int i = 0; i < presses; ++i)
        key(target, VK_DOWN);
    key(target, VK_RETURN);
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
