// Under real Win32 the user is played with the keyboard: a scripted popup
// choice is made with Down and Return once the menu waits for input;
// anything else closes the menu.
#include <vector>

#include "tests/window/recorder.h"
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

namespace {

// Sends the input and handles what it brings until it has all arrived (or
// three seconds passed, and the test's comparison says what is missing).
void send_and_pump(std::vector<INPUT> events, const Arrived& arrived) {
    SendInput(static_cast<UINT>(events.size()), events.data(), sizeof(INPUT));
    const DWORD start = GetTickCount();
    while (!arrived() && GetTickCount() - start < 3000) {
        pump();
        Sleep(10);
    }
    pump();
}

INPUT mouse(DWORD flags, int data = 0) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    in.mi.mouseData = static_cast<DWORD>(data);
    return in;
}

INPUT keyboard(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return in;
}

void bring_forward(HWND hwnd) {
    SetForegroundWindow(hwnd);
    SetFocus(hwnd);
    pump();
}

}  // namespace

void click_scroll_bar(HWND hwnd, int bar, BarPart part, const Arrived& arrived) {
    bring_forward(hwnd);
    RECT client{};
    GetClientRect(hwnd, &client);
    POINT at{};
    if (bar == SB_VERT) {
        // The down arrow is at the bar's foot; the track just above it is
        // below the thumb while the position is 0.
        const int arrow = GetSystemMetrics(SM_CYVSCROLL);
        at = POINT{
            client.right + GetSystemMetrics(SM_CXVSCROLL) / 2,
            part == BarPart::line_down ? client.bottom - arrow / 2 : client.bottom - arrow - 3};
    } else {
        const int arrow = GetSystemMetrics(SM_CXHSCROLL);
        at = POINT{part == BarPart::line_down ? client.right - arrow / 2 : client.right - arrow - 3,
                   client.bottom + GetSystemMetrics(SM_CYHSCROLL) / 2};
    }
    ClientToScreen(hwnd, &at);
    SetCursorPos(at.x, at.y);
    pump();
    send_and_pump({mouse(MOUSEEVENTF_LEFTDOWN), mouse(MOUSEEVENTF_LEFTUP)}, arrived);
}

void turn_wheel(HWND hwnd, int delta, bool shift, const Arrived& arrived) {
    bring_forward(hwnd);
    POINT at{10, 10};
    ClientToScreen(hwnd, &at);
    SetCursorPos(at.x, at.y);
    std::vector<INPUT> events;
    if (shift)
        events.push_back(keyboard(VK_SHIFT, false));
    events.push_back(mouse(MOUSEEVENTF_WHEEL, delta));
    if (shift)
        events.push_back(keyboard(VK_SHIFT, true));
    send_and_pump(std::move(events), arrived);
}

void press_key(HWND hwnd, UINT virtual_key, const Arrived& arrived) {
    bring_forward(hwnd);
    const WORD vk = static_cast<WORD>(virtual_key);
    send_and_pump({keyboard(vk, false), keyboard(vk, true)}, arrived);
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

}  // namespace seam
