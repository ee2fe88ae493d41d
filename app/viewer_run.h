#pragma once

#include "image/dib24.h"

class MyWin;

// Shows the loaded image until the user is done with it; the exit status.
int run_viewer(dib24& image);

// The steps of run_viewer on a window object of the caller's: creates and
// shows `window` for `image`, runs it until it is gone; the exit status.
int run_window(MyWin& window, dib24& image);
