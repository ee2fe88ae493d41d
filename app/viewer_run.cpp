#include "app/viewer_run.h"

#include "window/my_win.h"

int run_window(MyWin& window, dib24& image) {
    window.create_and_show(&image);
    // Returns when the window is gone; a window that could not be created
    // ends the loop at once. Its result is not the program's business.
    window.run_modal(false);
    return 0;
}

int run_viewer(dib24& image) {
    int status;
    {
        MyWin window;
        status = run_window(window, image);
    }  // the window object goes first; the image is the caller's
    return status;
}
