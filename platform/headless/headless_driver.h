// The display driver for running without a display: windows exist only in
// the core (their pixels stay in the core's surfaces) on a screen of a fixed
// size, input comes from a script the tests fill, and a program left waiting
// for input is asked to close its windows, as a user would, so that it ends
// by itself.
#pragma once

#include <deque>

#include "platform/portable/core_input.h"
#include "platform/portable/display_driver.h"

namespace portable {

DisplayDriver* create_headless_driver();

namespace headless {

struct ScriptedInput {
    enum class Kind { button, move, key, close, expose, wheel, scroll };
    Kind kind = Kind::button;
    HWND hwnd = nullptr;
    MouseButton button = MouseButton::left;
    bool down = false;
    bool double_click = false;
    int x = 0;
    int y = 0;
    UINT virtual_key = 0;
    bool horizontal = false;  // wheel: a tilt
    int delta = 0;            // wheel
    int bar = 0;              // scroll: SB_HORZ or SB_VERT
    UINT code = 0;            // scroll: SB_LINEDOWN ...
};

struct Activity {
    int wait_calls = 0;
    int poll_calls = 0;
    int close_requests = 0;  // windows asked to close because nothing was left to do
    int quit_requests = 0;   // programs told to quit because nothing could happen any more
    int presents = 0;
};

void push_input(const ScriptedInput& input);
size_t pending_input();
// Hands every scripted event to the core; false when there was none.
bool deliver_input();
// Popup menus take these command ids in turn; 0 dismisses. None left: dismissed.
void push_popup_choice(UINT id);
Activity& activity();
void set_close_when_idle(bool on);
// The screen the driver reports, and its work area: 1920 x 1080, all of it
// free, until changed.
void set_screen(const RECT& screen, const RECT& work_area);
void reset();

}  // namespace headless

}  // namespace portable
