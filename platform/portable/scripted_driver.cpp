#include "platform/portable/scripted_driver.h"

namespace portable::test {

namespace {

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

bool ScriptedDriver::deliver_script() {
    if (script.empty())
        return false;
    // Delivering runs no program code (the core only queues), so the whole
    // script goes in order.
    while (!script.empty()) {
        ScriptedInput e = script.front();
        script.pop_front();
        deliver(e);
    }
    return true;
}

bool ScriptedDriver::poll() {
    ++activity.poll_calls;
    return deliver_script();
}

// Scripted input left is delivered; otherwise the headless user closes the
// windows, unless the test keeps them open.
void ScriptedDriver::wait() {
    ++activity.wait_calls;
    if (deliver_script()) {
        input_arrived();
        return;
    }
    if (!close_when_idle)
        return;
    const Idle idle = nobody_there();
    activity.close_requests += idle.close_requests;
    activity.quit_requests += idle.quit_requested ? 1 : 0;
}

UINT ScriptedDriver::track_popup_menu(const std::vector<MenuEntry>& entries, POINT screen,
                                      HWND owner) {
    UINT id = 0;
    if (!popup_choices.empty()) {
        id = popup_choices.front();
        popup_choices.pop_front();
    }
    last_popup = PopupRecord{entries, screen, owner, id};
    ++popups;
    return id;
}

}  // namespace portable::test
