#include "platform/portable/test_control.h"

#include <memory>

#include "platform/portable/kernel.h"
#include "platform/portable/window_state.h"

namespace portable::test {

namespace {

using Kind = ScriptedInput::Kind;

ScriptedDriver* installed = nullptr;

// The driver of the test control; a fresh one when none is in use yet.
ScriptedDriver& driver() {
    if (installed == nullptr) {
        auto fresh = std::make_unique<ScriptedDriver>();
        installed = fresh.get();
        use_display_driver(std::move(fresh));
    }
    return *installed;
}

void push(const ScriptedInput& e) {
    driver().script.push_back(e);
}

ScriptedInput event(Kind kind, HWND hwnd, int x = 0, int y = 0) {
    ScriptedInput e;
    e.kind = kind;
    e.hwnd = hwnd;
    e.x = x;
    e.y = y;
    return e;
}

}  // namespace

void reset() {
    reset_windows();
    reset_menus();
    reset_classes();
    reset_message_queue();
    reset_input_state();
    installed = nullptr;
    driver();
    SetLastError(0);
}

void mouse_button(HWND hwnd, MouseButton button, bool down, int x, int y, bool double_click) {
    ScriptedInput e = event(Kind::button, hwnd, x, y);
    e.button = button;
    e.down = down;
    e.double_click = double_click;
    push(e);
}

void click(HWND hwnd, MouseButton button, int x, int y) {
    mouse_button(hwnd, button, true, x, y);
    mouse_button(hwnd, button, false, x, y);
}

void double_click(HWND hwnd, MouseButton button, int x, int y) {
    click(hwnd, button, x, y);
    mouse_button(hwnd, button, true, x, y, true);
    mouse_button(hwnd, button, false, x, y);
}

void mouse_move(HWND hwnd, int x, int y) {
    push(event(Kind::move, hwnd, x, y));
}

void key(HWND hwnd, UINT virtual_key, bool down) {
    ScriptedInput e = event(Kind::key, hwnd);
    e.virtual_key = virtual_key;
    e.down = down;
    push(e);
}

void key_press(HWND hwnd, UINT virtual_key) {
    key(hwnd, virtual_key, true);
    key(hwnd, virtual_key, false);
}

void wheel(HWND hwnd, int delta, int x, int y, bool horizontal) {
    ScriptedInput e = event(Kind::wheel, hwnd, x, y);
    e.delta = delta;
    e.horizontal = horizontal;
    push(e);
}

void scroll_bar(HWND hwnd, int bar, UINT code, int position) {
    ScriptedInput e = event(Kind::scroll, hwnd, position);
    e.bar = bar;
    e.code = code;
    push(e);
}

void close_request(HWND hwnd) {
    push(event(Kind::close, hwnd));
}

size_t pending_input() {
    return driver().script.size();
}
void set_close_when_idle(bool on) {
    driver().close_when_idle = on;
}
void set_screen(const RECT& screen, const RECT& work_area) {
    driver().screen_rect = screen;
    driver().work_rect = work_area;
}
void choose_popup_item(UINT id) {
    driver().popup_choices.push_back(id);
}
void dismiss_popup() {
    driver().popup_choices.push_back(0);
}

const Surface* surface(HWND hwnd) {
    return window_surface(hwnd);
}

uint32_t pixel(HWND hwnd, int x, int y) {
    const Surface* s = window_surface(hwnd);
    if (s == nullptr || x < 0 || y < 0 || x >= s->width || y >= s->height)
        return 0xFFFFFFFFu;
    return s->at(x, y);
}

const WindowInfo* driver_window(HWND hwnd) {
    auto it = driver().windows.find(hwnd);
    return it == driver().windows.end() ? nullptr : &it->second;
}

int driver_wait_calls() {
    return driver().activity.wait_calls;
}
int driver_poll_calls() {
    return driver().activity.poll_calls;
}
int driver_presents() {
    return driver().activity.presents;
}
int driver_close_requests() {
    return driver().activity.close_requests;
}
int driver_quit_requests() {
    return driver().activity.quit_requests;
}

const PopupRecord& last_popup() {
    return driver().last_popup;
}
int popups_shown() {
    return driver().popups;
}
size_t live_menus() {
    return menu_count();
}

}  // namespace portable::test
