// How far the window manager's frame (title bar, borders) will reach beyond
// a window's own area, asked before the window is shown.
#pragma once

#include <gtk/gtk.h>

#include "platform/portable/types.h"

namespace portable::gtk {

// For a realized, unmapped top-level window: the frame's extent on each side,
// as the window manager answers _NET_REQUEST_FRAME_EXTENTS (waiting briefly
// for the answer). False without X11, without a window manager that answers,
// or when no answer came.
bool frame_extents(GtkWidget* window, RECT& extents);

}  // namespace portable::gtk
