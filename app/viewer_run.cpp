#include "app/viewer_run.h"

#include <cstdio>

#include "platform/display.h"
#include "window/my_win.h"

int run_viewer(dib24& image) {
    // The user expects a window: say once why there is none.
    if (display_unavailable())
        std::fputs("no display could be opened: running without windows\n", stderr);
    {
        MyWin window;
        window.create_and_show(&image);
        // Returns when the window is gone; a window that could not be created
        // ends the loop at once. Its result is not the program's business.
        window.run_modal(false);
    }  // the window object goes first; the image is the caller's
    return 0;
}
