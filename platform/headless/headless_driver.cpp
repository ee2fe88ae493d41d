#include "platform/headless/headless_driver.h"

#include "platform/portable/core_input.h"
#include "platform/portable/user.h"

namespace portable {

namespace {

// Waits in a row that brought nothing before the program is told to quit.
constexpr int idle_waits_before_quit = 64;

}  // namespace

HeadlessDriver::Idle HeadlessDriver::nobody_there() {
    Idle idle;
    for (HWND hwnd : visible_top_level_windows()) {
        ++idle.close_requests;
        input_close_request(hwnd);
    }
    if (++idle_waits_ == idle_waits_before_quit) {
        idle.quit_requested = true;
        PostQuitMessage(0);
    }
    return idle;
}

DisplayDriver* create_headless_driver() {
    return new HeadlessDriver();
}

}  // namespace portable
