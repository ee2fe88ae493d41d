// Painting a host window: the core paints into its own surface; present()
// copies that into a cairo image kept per window, and the drawing area's
// draw handler shows it.
#pragma once

#include "platform/gtk/gtk_window.h"

namespace portable::gtk {

// Copies `dirty` of the core's surface into the window's image and has GTK
// draw it.
void present_surface(HostWindow& w, const Surface& surface, const RECT& dirty);

// The drawing area's "draw" handler (data: the HostWindow). What the host
// exposed beyond what was presented is repainted by the core.
gboolean draw_host_window(GtkWidget* area, cairo_t* cr, gpointer data);

}  // namespace portable::gtk
