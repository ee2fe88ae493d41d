// The test control's display driver: the headless driver with a user made of
// a script. Input and popup-menu choices come from queues the tests fill;
// what the driver was asked to do is counted, and what it was told of each
// top-level window and popup menu kept.
#pragma once

#include <deque>
#include <map>

#include "platform/headless/headless_driver.h"
#include "platform/portable/core_input.h"

namespace portable::test {

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

// The last popup menu the driver showed, and the choice it made.
struct PopupRecord {
    std::vector<MenuEntry> entries;
    POINT screen{};
    HWND owner = nullptr;
    UINT result = 0;  // the scripted command id, 0 when dismissed
};

class ScriptedDriver final : public HeadlessDriver {
  public:
    std::deque<ScriptedInput> script;
    // Popup menus take these command ids in turn; 0 dismisses. None left: dismissed.
    std::deque<UINT> popup_choices;
    // When the program waits and no scripted input is left, its windows are
    // asked to close.
    bool close_when_idle = true;
    // The screen reported, and its work area.
    RECT screen_rect{0, 0, 1920, 1080};
    RECT work_rect{0, 0, 1920, 1080};

    Activity activity;
    PopupRecord last_popup;
    int popups = 0;
    // What the core last told the driver of each top-level window.
    std::map<HWND, WindowInfo> windows;

    void window_created(const WindowInfo& info) override { windows[info.hwnd] = info; }
    void window_changed(const WindowInfo& info) override { windows[info.hwnd] = info; }
    void window_destroyed(HWND hwnd) override { windows.erase(hwnd); }
    RECT screen() override { return screen_rect; }
    RECT work_area() override { return work_rect; }
    void present(HWND, const Surface&, const RECT&) override { ++activity.presents; }
    bool poll() override;
    void wait() override;
    UINT track_popup_menu(const std::vector<MenuEntry>& entries, POINT screen, HWND owner) override;

  private:
    // Hands every scripted event to the core; false when there was none.
    bool deliver_script();
};

}  // namespace portable::test
