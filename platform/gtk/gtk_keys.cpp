#include "platform/gtk/gtk_keys.h"

#include <gdk/gdkkeysyms.h>

namespace portable::gtk {

namespace {

struct KeyPair {
    unsigned keyval;
    UINT vk;
};

// Win32 virtual-key codes of the keys that are neither letters nor digits.
constexpr KeyPair kKeys[] = {
    {GDK_KEY_BackSpace, 0x08},                                // VK_BACK
    {GDK_KEY_Tab, 0x09},                                      // VK_TAB
    {GDK_KEY_ISO_Left_Tab, 0x09}, {GDK_KEY_Return, 0x0D},     // VK_RETURN
    {GDK_KEY_KP_Enter, 0x0D},     {GDK_KEY_Shift_L, 0x10},    // VK_SHIFT
    {GDK_KEY_Shift_R, 0x10},      {GDK_KEY_Control_L, 0x11},  // VK_CONTROL
    {GDK_KEY_Control_R, 0x11},    {GDK_KEY_Alt_L, 0x12},      // VK_MENU
    {GDK_KEY_Alt_R, 0x12},        {GDK_KEY_Pause, 0x13},      // VK_PAUSE
    {GDK_KEY_Caps_Lock, 0x14},                                // VK_CAPITAL
    {GDK_KEY_Escape, 0x1B},                                   // VK_ESCAPE
    {GDK_KEY_space, 0x20},                                    // VK_SPACE
    {GDK_KEY_Page_Up, 0x21},                                  // VK_PRIOR
    {GDK_KEY_Page_Down, 0x22},                                // VK_NEXT
    {GDK_KEY_End, 0x23},                                      // VK_END
    {GDK_KEY_Home, 0x24},                                     // VK_HOME
    {GDK_KEY_Left, 0x25},                                     // VK_LEFT
    {GDK_KEY_Up, 0x26},                                       // VK_UP
    {GDK_KEY_Right, 0x27},                                    // VK_RIGHT
    {GDK_KEY_Down, 0x28},                                     // VK_DOWN
    {GDK_KEY_Insert, 0x2D},                                   // VK_INSERT
    {GDK_KEY_Delete, 0x2E},                                   // VK_DELETE
    {GDK_KEY_KP_Left, 0x25},      {GDK_KEY_KP_Up, 0x26},     {GDK_KEY_KP_Right, 0x27},
    {GDK_KEY_KP_Down, 0x28},      {GDK_KEY_Menu, 0x5D},  // VK_APPS
    {GDK_KEY_KP_Multiply, 0x6A},                         // VK_MULTIPLY
    {GDK_KEY_KP_Add, 0x6B},                              // VK_ADD
    {GDK_KEY_KP_Subtract, 0x6D},                         // VK_SUBTRACT
    {GDK_KEY_KP_Decimal, 0x6E},                          // VK_DECIMAL
    {GDK_KEY_KP_Divide, 0x6F},                           // VK_DIVIDE
    {GDK_KEY_Num_Lock, 0x90},                            // VK_NUMLOCK
    {GDK_KEY_Scroll_Lock, 0x91},                         // VK_SCROLL
};

}  // namespace

UINT virtual_key_from_keyval(unsigned keyval) {
    if (keyval >= GDK_KEY_a && keyval <= GDK_KEY_z)
        return 'A' + (keyval - GDK_KEY_a);
    if (keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z)
        return 'A' + (keyval - GDK_KEY_A);
    if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9)
        return '0' + (keyval - GDK_KEY_0);
    if (keyval >= GDK_KEY_KP_0 && keyval <= GDK_KEY_KP_9)
        return 0x60 + (keyval - GDK_KEY_KP_0);
    if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F24)
        return 0x70 + (keyval - GDK_KEY_F1);
    for (const KeyPair& k : kKeys) {
        if (k.keyval == keyval)
            return k.vk;
    }
    return 0;
}

}  // namespace portable::gtk
