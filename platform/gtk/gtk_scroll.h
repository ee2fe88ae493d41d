// GTK's scroll bars and wheel events in Win32's terms.
#pragma once

#include <gtk/gtk.h>

#include "platform/portable/types.h"

namespace portable::gtk {

// What WM_HSCROLL and WM_VSCROLL say of a GTK scroll bar's action: SB_LINEUP
// ... SB_BOTTOM, SB_THUMBTRACK for a jump to a place (the thumb dragged, or
// the trough clicked where the theme warps the thumb there); -1 for none.
int scroll_code(GtkScrollType type);

// A wheel event in WHEEL_DELTA units a notch: `vertical` positive away from
// the user, `horizontal` positive to the right. False when it turns nothing.
bool wheel_deltas(const GdkEventScroll& event, int& vertical, int& horizontal);

// Configures a scroll bar's adjustment for the Win32 range min..max with
// that page at that position.
void set_scroll_range(GtkAdjustment* adjustment, int min, int max, int page, int pos);

}  // namespace portable::gtk
