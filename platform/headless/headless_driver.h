// The display driver for running without a display: windows exist only in
// the core (their pixels stay in the core's surfaces) on a screen of a fixed
// size, and a program left waiting for input is asked to close its windows,
// as a user would, so that it ends by itself.
#pragma once

#include "platform/portable/display_driver.h"

namespace portable {

class HeadlessDriver : public DisplayDriver {
  public:
    const char* name() const override { return "headless"; }
    // Nothing is queued and nothing needs painting: the program waits for a
    // user who is not there. With no windows left this returns at once, as
    // there is nothing to wait for.
    void wait() override { nobody_there(); }

  protected:
    // What a wait that brought no input does: every visible window is asked
    // to close, and after many such waits in a row (windows that refuse, or
    // none left to close) the program is told to quit instead of spinning
    // for ever.
    struct Idle {
        int close_requests = 0;
        bool quit_requested = false;
    };
    Idle nobody_there();
    // Input came: the count of idle waits starts again.
    void input_arrived() { idle_waits_ = 0; }

  private:
    int idle_waits_ = 0;
};

DisplayDriver* create_headless_driver();

}  // namespace portable
