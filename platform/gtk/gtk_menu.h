// Popup menus as real GTK menus.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "platform/portable/display_driver.h"

namespace portable::gtk {

// Shows `entries` with the menu's top-left corner at the screen point, runs a
// nested loop until the menu closes and returns the chosen command id, or 0
// when it was dismissed or could not be shown. `owner` (may be null) is the
// window the menu belongs to; `trigger` (may be null) the input event that
// asked for it, which the menu's pointer and keyboard grab needs.
UINT run_popup_menu(const std::vector<MenuEntry>& entries, POINT screen, GtkWidget* owner,
                    const GdkEvent* trigger);

// A Win32 menu text as a GTK mnemonic label: "&x" marks the mnemonic, "&&" is
// a literal '&', and GTK's own '_' is doubled so that it shows as itself.
std::string mnemonic_label(const std::string& text);

}  // namespace portable::gtk
