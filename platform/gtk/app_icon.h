// The program's standard application icon, drawn in code: a small palette of
// colour swatches.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

namespace portable::gtk {

// A new size × size RGBA picture (size ≥ 8); the caller owns the reference.
GdkPixbuf* application_icon(int size);

}  // namespace portable::gtk
