#include "platform/headless/headless_driver.h"

#include "platform/portable/user.h"

namespace portable {

namespace headless {

namespace {

std::deque<ScriptedInput> script;
std::deque<UINT> popup_choices;
Activity counts;
bool close_when_idle = true;
int idle_streak = 0;
constexpr RECT default_screen{0, 0, 1920, 1080};
RECT screen_rect = default_screen;
RECT work_rect = default_screen;

// After this many waits in a row with nothing delivered the program is
// waiting for something that cannot come (no window left to close, or
// windows that refuse): it is asked to quit instead of spinning for ever.
constexpr int idle_waits_before_quit = 64;

void deliver(const ScriptedInput& e) {
    switch (e.kind) {
        case ScriptedInput::Kind::button:
            input_mouse_button(e.hwnd, e.button, e.down, e.double_click, e.x, e.y);
            break;
        case ScriptedInput::Kind::move:
            input_mouse_move(e.hwnd, e.x, e.y);
            break;
        case ScriptedInput::Kind::key:
            input_key(e.hwnd, e.virtual_key, e.down);
            break;
        case ScriptedInput::Kind::close:
            input_close_request(e.hwnd);
            break;
        case ScriptedInput::Kind::expose:
            input_expose(e.hwnd, nullptr);
            break;
        case ScriptedInput::Kind::wheel:
            input_mouse_wheel(e.hwnd, e.horizontal, e.delta, e.x, e.y);
            break;
        case ScriptedInput::Kind::scroll:
            input_scroll(e.hwnd, e.bar, e.code, e.x);
            break;
    }
}

}  // namespace

void push_input(const ScriptedInput& input) {
    script.push_back(input);
}
size_t pending_input() {
    return script.size();
}

bool deliver_input() {
    if (script.empty())
        return false;
    // Delivering may run no program code (the core only queues), so the
    // whole script goes in order.
    while (!script.empty()) {
        ScriptedInput e = script.front();
        script.pop_front();
        deliver(e);
    }
    return true;
}

void push_popup_choice(UINT id) {
    popup_choices.push_back(id);
}
Activity& activity() {
    return counts;
}
void set_close_when_idle(bool on) {
    close_when_idle = on;
}

void set_screen(const RECT& screen, const RECT& work_area) {
    screen_rect = screen;
    work_rect = work_area;
}

void reset() {
    script.clear();
    popup_choices.clear();
    counts = Activity{};
    close_when_idle = true;
    idle_streak = 0;
    screen_rect = work_rect = default_screen;
}

namespace {

class HeadlessDriver : public DisplayDriver {
  public:
    const char* name() const override { return "headless"; }

    void present(HWND, const Surface&, const RECT&) override { ++counts.presents; }
    RECT screen() override { return screen_rect; }
    RECT work_area() override { return work_rect; }

    bool poll() override {
        ++counts.poll_calls;
        return deliver_input();
    }

    // Nothing is queued and nothing needs painting. With scripted input left
    // it is delivered; otherwise the program waits for a user who is not
    // there, so every visible window is asked to close. With no windows left
    // this returns at once: there is nothing to wait for.
    void wait() override {
        ++counts.wait_calls;
        if (deliver_input()) {
            idle_streak = 0;
            return;
        }
        if (!close_when_idle)
            return;
        for (HWND hwnd : visible_top_level_windows()) {
            ++counts.close_requests;
            input_close_request(hwnd);
        }
        if (++idle_streak == idle_waits_before_quit) {
            ++counts.quit_requests;
            PostQuitMessage(0);
        }
    }

    UINT track_popup_menu(const std::vector<MenuEntry>&, POINT, HWND) override {
        if (popup_choices.empty())
            return 0;
        UINT id = popup_choices.front();
        popup_choices.pop_front();
        return id;
    }
};

}  // namespace

}  // namespace headless

DisplayDriver* create_headless_driver() {
    return new headless::HeadlessDriver();
}

}  // namespace portable
