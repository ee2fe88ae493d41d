// What the display offers a window, asked of GDK and the window manager.
#pragma once

#include "platform/portable/types.h"

namespace portable::gtk {

// The primary monitor (or the first, where none is marked primary): all of
// it, or its work area, what its panels leave. False without a monitor.
bool monitor_area(bool work, RECT& area);

// How far the window manager's frame reaches beyond a fixed window like the
// core's, on each side, asked with a window that is never shown; false when
// it does not say.
bool probe_frame_extents(RECT& extents);

// The width the theme gives a vertical scroll bar (horizontal ones are as
// high), at least 1.
int measure_scroll_bar_size();

}  // namespace portable::gtk
