#include "window/popup_menu.h"

#include <cstring>

int32_t show_popup_menu(int32_t x, int32_t y, const PopupMenuItem* items, HWND hwnd) {
    POINT point{x, y};
    ClientToScreen(hwnd, &point);
    HMENU outer = CreateMenu();
    HMENU menu = CreateMenu();
    UINT id = 1;
    for (const PopupMenuItem* item = items; item != nullptr && item->text != nullptr; ++item) {
        const char* text = item->text;
        if (std::strcmp(text, "-") == 0) {
            AppendMenuA(menu, MF_SEPARATOR, 0, "");
        } else if (text[0] == '-') {
            AppendMenuA(menu, MF_GRAYED, id++, text + 1);
        } else {
            AppendMenuA(menu, MF_STRING, id++, text);
        }
    }
    AppendMenuA(outer, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), nullptr);
    // With TPM_RETURNCMD the result is the command id, 0 when dismissed.
    int chosen = TrackPopupMenu(menu, TPM_RETURNCMD, point.x, point.y, 0, hwnd, nullptr);
    DestroyMenu(outer);
    return chosen > 0 ? chosen - 1 : -1;
}
