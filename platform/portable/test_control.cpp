#include "platform/portable/test_control.h"

#include "platform/headless/headless_driver.h"
#include "platform/portable/kernel.h"
#include "platform/portable/window_state.h"

namespace portable::test {

namespace {

using Kind = headless::ScriptedInput::Kind;

void push(headless::ScriptedInput e) {
    headless::push_input(e);
}

headless::ScriptedInput event(Kind kind, HWND hwnd) {
    headless::ScriptedInput e;
    e.kind = kind;
    e.hwnd = hwnd;
    return e;
}

headless::ScriptedInput button_event(HWND hwnd, MouseButton button, bool down, int x, int y,
                                     bool double_click) {
    headless::ScriptedInput e = event(Kind::button, hwnd);
    e.button = button;
    e.down = down;
    e.double_click = double_click;
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
    headless::reset();
    use_display_driver(std::unique_ptr<DisplayDriver>(create_headless_driver()));
    enable_call_log(false);
    clear_call_log();
    SetLastError(0);
}

void mouse_button(HWND hwnd, MouseButton button, bool down, int x, int y, bool double_click) {
    push(button_event(hwnd, button, down, x, y, double_click));
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
    headless::ScriptedInput e = event(Kind::move, hwnd);
    e.x = x;
    e.y = y;
    push(e);
}

void key(HWND hwnd, UINT virtual_key, bool down) {
    headless::ScriptedInput e = event(Kind::key, hwnd);
    e.virtual_key = virtual_key;
    e.down = down;
    push(e);
}

void key_press(HWND hwnd, UINT virtual_key) {
    key(hwnd, virtual_key, true);
    key(hwnd, virtual_key, false);
}

void wheel(HWND hwnd, int delta, int x, int y, bool horizontal) {
    headless::ScriptedInput e = event(Kind::wheel, hwnd);
    e.delta = delta;
    e.x = x;
    e.y = y;
    e.horizontal = horizontal;
    push(e);
}

void scroll_bar(HWND hwnd, int bar, UINT code, int position) {
    headless::ScriptedInput e = event(Kind::scroll, hwnd);
    e.bar = bar;
    e.code = code;
    e.x = position;
    push(e);
}

void close_request(HWND hwnd) {
    push(event(Kind::close, hwnd));
}

size_t pending_input() {
    return headless::pending_input();
}
void set_close_when_idle(bool on) {
    headless::set_close_when_idle(on);
}
void set_screen(const RECT& screen, const RECT& work_area) {
    headless::set_screen(screen, work_area);
}
void choose_popup_item(UINT id) {
    headless::push_popup_choice(id);
}
void dismiss_popup() {
    headless::push_popup_choice(0);
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

int driver_wait_calls() {
    return headless::activity().wait_calls;
}
int driver_poll_calls() {
    return headless::activity().poll_calls;
}
int driver_presents() {
    return headless::activity().presents;
}
int driver_close_requests() {
    return headless::activity().close_requests;
}
int driver_quit_requests() {
    return headless::activity().quit_requests;
}

const PopupRecord& last_popup() {
    return last_popup_record();
}
int popups_shown() {
    return popups_tracked();
}
size_t live_menus() {
    return menu_count();
}

void enable_call_log(bool on) {
    set_call_log_enabled(on);
}
const std::vector<std::string>& call_log() {
    return call_log_entries();
}
void clear_call_log() {
    call_log_entries().clear();
}

std::vector<std::string> calls_of(const std::string& function) {
    std::vector<std::string> list;
    for (const std::string& line : call_log())
        if (line.compare(0, function.size() + 1, function + "(") == 0)
            list.push_back(line);
    return list;
}

}  // namespace portable::test
