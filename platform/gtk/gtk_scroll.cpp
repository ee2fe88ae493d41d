#include "platform/gtk/gtk_scroll.h"

#include <algorithm>
#include <cmath>

#include "platform/portable/user.h"

namespace portable::gtk {

int scroll_code(GtkScrollType type) {
    switch (type) {
        case GTK_SCROLL_STEP_BACKWARD:
        case GTK_SCROLL_STEP_UP:
        case GTK_SCROLL_STEP_LEFT:
            return SB_LINEUP;
        case GTK_SCROLL_STEP_FORWARD:
        case GTK_SCROLL_STEP_DOWN:
        case GTK_SCROLL_STEP_RIGHT:
            return SB_LINEDOWN;
        case GTK_SCROLL_PAGE_BACKWARD:
        case GTK_SCROLL_PAGE_UP:
        case GTK_SCROLL_PAGE_LEFT:
            return SB_PAGEUP;
        case GTK_SCROLL_PAGE_FORWARD:
        case GTK_SCROLL_PAGE_DOWN:
        case GTK_SCROLL_PAGE_RIGHT:
            return SB_PAGEDOWN;
        case GTK_SCROLL_JUMP:
            return SB_THUMBTRACK;
        case GTK_SCROLL_START:
            return SB_TOP;
        case GTK_SCROLL_END:
            return SB_BOTTOM;
        default:
            return -1;
    }
}

bool wheel_deltas(const GdkEventScroll& event, int& vertical, int& horizontal) {
    vertical = horizontal = 0;
    switch (event.direction) {
        case GDK_SCROLL_UP:
            vertical = WHEEL_DELTA;
            break;
        case GDK_SCROLL_DOWN:
            vertical = -WHEEL_DELTA;
            break;
        case GDK_SCROLL_LEFT:
            horizontal = -WHEEL_DELTA;
            break;
        case GDK_SCROLL_RIGHT:
            horizontal = WHEEL_DELTA;
            break;
        case GDK_SCROLL_SMOOTH:
            // A notch is 1.0, positive down and to the right.
            vertical = static_cast<int>(std::lround(-event.delta_y * WHEEL_DELTA));
            horizontal = static_cast<int>(std::lround(event.delta_x * WHEEL_DELTA));
            break;
    }
    return vertical != 0 || horizontal != 0;
}

void set_scroll_range(GtkAdjustment* adjustment, int min, int max, int page, int pos) {
    // GTK's upper end is past the last position; a Win32 page of 0 is a
    // thumb of one position.
    const double size = std::max(1, page);
    gtk_adjustment_configure(adjustment, pos, min, static_cast<double>(max) + 1, 1, size, size);
}

}  // namespace portable::gtk
