#include <gtest/gtest.h>

#include "platform/gtk/gtk_scroll.h"
#include "platform/portable/user.h"

namespace {

using portable::gtk::set_scroll_range;

// A GTK scroll bar reaches exactly the positions Win32 allows the same range
// and page: from min to max - page + 1 (max itself without a page).
TEST(GtkScroll, AdjustmentSpansTheWin32Positions) {
    struct Case {
        int min, max, page, pos, last;
    };
    const Case cases[] = {{0, 99, 10, 40, 90},
                          {0, 4223, 1264, 2960, 2960},
                          {5, 5, 0, 5, 5},
                          {0, 100, 0, 100, 100},
                          {-20, 20, 41, -20, -20}};
    GtkAdjustment* adjustment = gtk_adjustment_new(0, 0, 1, 1, 1, 1);
    g_object_ref_sink(adjustment);
    for (const Case& c : cases) {
        set_scroll_range(adjustment, c.min, c.max, c.page, c.pos);
        EXPECT_EQ(gtk_adjustment_get_value(adjustment), c.pos) << c.max << "/" << c.page;
        EXPECT_EQ(gtk_adjustment_get_lower(adjustment), c.min);
        EXPECT_EQ(gtk_adjustment_get_upper(adjustment) - gtk_adjustment_get_page_size(adjustment),
                  c.last)
            << c.max << "/" << c.page;
        gtk_adjustment_set_value(adjustment, 1e9);  // GTK keeps it within the same bounds
        EXPECT_EQ(gtk_adjustment_get_value(adjustment), c.last);
    }
    g_object_unref(adjustment);
}

}  // namespace
