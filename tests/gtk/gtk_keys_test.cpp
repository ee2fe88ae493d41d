#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include "platform/gtk/gtk_keys.h"
#include "platform/gtk/gtk_menu.h"

namespace {

using portable::gtk::mnemonic_label;
using portable::gtk::virtual_key_from_keyval;

TEST(GtkKeys, MapsKeyValuesToVirtualKeys) {
    struct Case {
        unsigned keyval;
        UINT vk;
    };
    const Case cases[] = {
        {GDK_KEY_a, 'A'},
        {GDK_KEY_z, 'Z'},
        {GDK_KEY_A, 'A'},
        {GDK_KEY_Q, 'Q'},
        {GDK_KEY_0, '0'},
        {GDK_KEY_9, '9'},
        {GDK_KEY_Escape, 0x1B},
        {GDK_KEY_Return, 0x0D},
        {GDK_KEY_KP_Enter, 0x0D},
        {GDK_KEY_Left, 0x25},
        {GDK_KEY_Up, 0x26},
        {GDK_KEY_Right, 0x27},
        {GDK_KEY_Down, 0x28},
        {GDK_KEY_space, 0x20},
        {GDK_KEY_Tab, 0x09},
        {GDK_KEY_BackSpace, 0x08},
        {GDK_KEY_Delete, 0x2E},
        {GDK_KEY_F1, 0x70},
        {GDK_KEY_F12, 0x7B},
        {GDK_KEY_KP_0, 0x60},
        {GDK_KEY_KP_9, 0x69},
        {GDK_KEY_Shift_R, 0x10},
        {GDK_KEY_Control_L, 0x11},
        {GDK_KEY_Alt_L, 0x12},
        // Keys without a code here.
        {GDK_KEY_eacute, 0},
        {GDK_KEY_VoidSymbol, 0},
        {0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(virtual_key_from_keyval(c.keyval), c.vk) << c.keyval;
}

TEST(GtkMenu, TurnsMenuTextsIntoMnemonicLabels) {
    const std::pair<const char*, const char*> cases[] = {
        {"copy", "copy"},
        {"&Open", "_Open"},
        {"Save &As", "Save _As"},
        {"a&&b", "a&b"},
        {"snake_case", "snake__case"},
        {"&_x", "__x"},
        {"trailing&", "trailing&"},
        {"", ""},
    };
    for (auto [in, out] : cases)
        EXPECT_EQ(mnemonic_label(in), out) << in;
}

}  // namespace
