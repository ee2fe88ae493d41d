// The display driver for desktops that GTK 3 can open (X11 first).
#pragma once

#include "platform/portable/display_driver.h"

namespace portable {

// A new driver on the default display, or null when no display can be opened.
DisplayDriver* create_gtk_driver();

}  // namespace portable
