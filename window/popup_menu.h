// A context menu built from a list of texts.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// One entry of a popup menu; a null text ends the list. Exactly "-" is a
// separator; a text starting with '-' is a greyed entry showing the rest.
struct PopupMenuItem {
    const char* text;
};

// Shows the menu at client point (x, y) of hwnd and waits for the user: the
// chosen entry's position among the entries that are not separators, or -1
// when the menu was dismissed.
int32_t show_popup_menu(int32_t x, int32_t y, const PopupMenuItem* items, HWND hwnd);
