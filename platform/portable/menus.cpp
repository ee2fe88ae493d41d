// Menus: menu records behind HMENU, the system menu, and popup menus tracked
// through the display driver.
#include <cstring>

#include "platform/portable/kernel.h"
#include "platform/portable/window_state.h"

namespace portable {

namespace {

struct MenuItem {
    UINT flags = 0;
    UINT_PTR id = 0;
    std::string text;
    HMENU submenu = nullptr;
};

struct Menu {
    std::vector<MenuItem> items;
    HWND system_menu_of = nullptr;
};

std::map<UINT_PTR, std::unique_ptr<Menu>> menus;
UINT_PTR next_menu = 0x20010;

Menu* find_menu(HMENU h) {
    auto it = menus.find(reinterpret_cast<UINT_PTR>(h));
    return it == menus.end() ? nullptr : it->second.get();
}

Menu* checked_menu(HMENU h) {
    Menu* m = find_menu(h);
    if (m == nullptr)
        SetLastError(ERROR_INVALID_MENU_HANDLE);
    return m;
}

HMENU new_menu() {
    HMENU h = reinterpret_cast<HMENU>(next_menu);
    next_menu += 4;
    menus.emplace(reinterpret_cast<UINT_PTR>(h), std::make_unique<Menu>());
    return h;
}

// The item for a command id, searching submenus too, as MF_BYCOMMAND does.
bool find_command(HMENU h, UINT command, HMENU& owner, size_t& index) {
    Menu* m = find_menu(h);
    if (m == nullptr)
        return false;
    for (size_t i = 0; i < m->items.size(); ++i) {
        const MenuItem& item = m->items[i];
        if ((item.flags & MF_POPUP) != 0) {
            if (find_command(item.submenu, command, owner, index))
                return true;
        } else if ((item.flags & MF_SEPARATOR) == 0 && item.id == command) {
            owner = h;
            index = i;
            return true;
        }
    }
    return false;
}

bool locate(HMENU h, UINT position, UINT flags, HMENU& owner, size_t& index) {
    if ((flags & MF_BYPOSITION) != 0) {
        Menu* m = find_menu(h);
        if (m == nullptr || position >= m->items.size())
            return false;
        owner = h;
        index = position;
        return true;
    }
    return find_command(h, position, owner, index);
}

void system_menu_changed(HMENU h) {
    Menu* m = find_menu(h);
    if (m == nullptr || m->system_menu_of == nullptr)
        return;
    if (Window* w = find_window(m->system_menu_of))
        window_changed(*w);
}

bool remove_item(HMENU h, UINT position, UINT flags, bool destroy_submenu) {
    HMENU owner = nullptr;
    size_t index = 0;
    if (checked_menu(h) == nullptr || !locate(h, position, flags, owner, index))
        return false;
    Menu* m = find_menu(owner);
    HMENU submenu = m->items[index].submenu;
    m->items.erase(m->items.begin() + static_cast<std::ptrdiff_t>(index));
    if (destroy_submenu && submenu != nullptr)
        destroy_menu(submenu);
    system_menu_changed(h);
    return true;
}

std::vector<MenuEntry> entries_of(HMENU h, int depth) {
    std::vector<MenuEntry> list;
    Menu* m = find_menu(h);
    if (m == nullptr || depth > 16)
        return list;
    for (const MenuItem& item : m->items) {
        MenuEntry e;
        if ((item.flags & MF_SEPARATOR) != 0) {
            e.kind = MenuEntry::Kind::separator;
        } else if ((item.flags & MF_POPUP) != 0) {
            e.kind = MenuEntry::Kind::submenu;
            e.children = entries_of(item.submenu, depth + 1);
        } else {
            e.id = static_cast<UINT>(item.id);
        }
        e.grayed = (item.flags & (MF_GRAYED | MF_DISABLED)) != 0;
        e.checked = (item.flags & MF_CHECKED) != 0;
        e.text = item.text;
        list.push_back(std::move(e));
    }
    return list;
}

// Whether `id` names an entry that the user could have chosen.
bool choosable(const std::vector<MenuEntry>& entries, UINT id) {
    for (const MenuEntry& e : entries) {
        if (e.grayed)
            continue;
        if (e.kind == MenuEntry::Kind::submenu && choosable(e.children, id))
            return true;
        if (e.kind == MenuEntry::Kind::item && e.id == id)
            return true;
    }
    return false;
}

}  // namespace

HMENU create_system_menu(HWND owner) {
    HMENU h = new_menu();
    Menu* m = find_menu(h);
    m->system_menu_of = owner;
    auto add = [m](UINT flags, UINT id, const char* text) {
        m->items.push_back(MenuItem{flags, id, text, nullptr});
    };
    add(MF_STRING, SC_RESTORE, "&Restore");
    add(MF_STRING, SC_MOVE, "&Move");
    add(MF_STRING, SC_SIZE, "&Size");
    add(MF_STRING, SC_MINIMIZE, "Mi&nimize");
    add(MF_STRING, SC_MAXIMIZE, "Ma&ximize");
    add(MF_SEPARATOR | MF_GRAYED | MF_DISABLED, 0, "");
    add(MF_STRING, SC_CLOSE, "&Close\tAlt+F4");
    return h;
}

void destroy_menu(HMENU h) {
    auto it = menus.find(reinterpret_cast<UINT_PTR>(h));
    if (it == menus.end())
        return;
    std::unique_ptr<Menu> m = std::move(it->second);
    menus.erase(it);
    for (const MenuItem& item : m->items)
        if (item.submenu != nullptr)
            destroy_menu(item.submenu);
    for (auto& [value, w] : window_table()) {
        if (w->system_menu == h)
            w->system_menu = nullptr;
        if (w->menu == h)
            w->menu = nullptr;
    }
}

bool menu_has_command(HMENU h, UINT command) {
    HMENU owner;
    size_t index;
    return find_command(h, command, owner, index);
}

void reset_menus() {
    menus.clear();
    next_menu = 0x20010;
}

size_t menu_count() {
    return menus.size();
}

}  // namespace portable

using namespace portable;

HMENU WINAPI CreateMenu(void) {
    return new_menu();
}

HMENU WINAPI CreatePopupMenu(void) {
    return new_menu();
}

BOOL WINAPI DestroyMenu(HMENU hMenu) {
    if (checked_menu(hMenu) == nullptr)
        return FALSE;
    destroy_menu(hMenu);
    return TRUE;
}

BOOL WINAPI IsMenu(HMENU hMenu) {
    return find_menu(hMenu) != nullptr;
}

BOOL WINAPI AppendMenuA(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem) {
    const bool text_item = (uFlags & (MF_SEPARATOR | MF_BITMAP | MF_OWNERDRAW)) == 0;
    Menu* m = checked_menu(hMenu);
    if (m == nullptr)
        return FALSE;
    MenuItem item;
    item.flags = uFlags & ~static_cast<UINT>(MF_BYPOSITION | MF_APPEND | MF_CHANGE | MF_DELETE);
    // A separator can never be chosen, and says so in its state, as on Win32.
    if ((uFlags & MF_SEPARATOR) != 0)
        item.flags |= MF_GRAYED | MF_DISABLED;
    item.id = uIDNewItem;
    if ((uFlags & MF_POPUP) != 0) {
        HMENU sub = reinterpret_cast<HMENU>(uIDNewItem);
        if (sub == hMenu || checked_menu(sub) == nullptr)
            return FALSE;
        item.submenu = sub;
    }
    if (text_item && lpNewItem != nullptr && !IS_INTRESOURCE(lpNewItem))
        item.text = lpNewItem;
    m->items.push_back(std::move(item));
    return TRUE;
}

BOOL WINAPI RemoveMenu(HMENU hMenu, UINT uPosition, UINT uFlags) {
    return remove_item(hMenu, uPosition, uFlags, false);
}

BOOL WINAPI DeleteMenu(HMENU hMenu, UINT uPosition, UINT uFlags) {
    return remove_item(hMenu, uPosition, uFlags, true);
}

BOOL WINAPI EnableMenuItem(HMENU hMenu, UINT uIDEnableItem, UINT uEnable) {
    HMENU owner;
    size_t index;
    if (checked_menu(hMenu) == nullptr || !locate(hMenu, uIDEnableItem, uEnable, owner, index))
        return -1;
    MenuItem& item = find_menu(owner)->items[index];
    const UINT mask = MF_GRAYED | MF_DISABLED;
    UINT previous = item.flags & mask;
    item.flags = (item.flags & ~mask) | (uEnable & mask);
    system_menu_changed(hMenu);
    return static_cast<BOOL>(previous);
}

int WINAPI GetMenuItemCount(HMENU hMenu) {
    Menu* m = checked_menu(hMenu);
    return m == nullptr ? -1 : static_cast<int>(m->items.size());
}

UINT WINAPI GetMenuItemID(HMENU hMenu, int nPos) {
    Menu* m = find_menu(hMenu);
    if (m == nullptr || nPos < 0 || static_cast<size_t>(nPos) >= m->items.size())
        return ~0u;
    const MenuItem& item = m->items[static_cast<size_t>(nPos)];
    return (item.flags & MF_POPUP) != 0 ? ~0u : static_cast<UINT>(item.id);
}

UINT WINAPI GetMenuState(HMENU hMenu, UINT uId, UINT uFlags) {
    HMENU owner;
    size_t index;
    if (find_menu(hMenu) == nullptr || !locate(hMenu, uId, uFlags, owner, index))
        return ~0u;
    const MenuItem& item = find_menu(owner)->items[index];
    UINT state =
        item.flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_SEPARATOR | MF_POPUP | MF_HILITE |
                      MF_MENUBREAK | MF_MENUBARBREAK | MF_BITMAP | MF_OWNERDRAW);
    if ((item.flags & MF_POPUP) != 0)
        state |= static_cast<UINT>(GetMenuItemCount(item.submenu)) << 8;
    return state;
}

int WINAPI GetMenuStringA(HMENU hMenu, UINT uIDItem, LPSTR lpString, int cchMax, UINT flags) {
    HMENU owner;
    size_t index;
    if (find_menu(hMenu) == nullptr || !locate(hMenu, uIDItem, flags, owner, index))
        return 0;
    const std::string& text = find_menu(owner)->items[index].text;
    if (lpString == nullptr || cchMax <= 0)
        return static_cast<int>(text.size());
    size_t n = std::min(text.size(), static_cast<size_t>(cchMax - 1));
    std::memcpy(lpString, text.data(), n);
    lpString[n] = '\0';
    return static_cast<int>(n);
}

HMENU WINAPI GetSubMenu(HMENU hMenu, int nPos) {
    Menu* m = find_menu(hMenu);
    if (m == nullptr || nPos < 0 || static_cast<size_t>(nPos) >= m->items.size())
        return nullptr;
    return m->items[static_cast<size_t>(nPos)].submenu;
}

HMENU WINAPI GetSystemMenu(HWND hWnd, BOOL bRevert) {
    Window* w = checked_window(hWnd);
    if (w == nullptr || (w->style & WS_SYSMENU) == 0)
        return nullptr;
    if (bRevert) {
        // Back to the default menu; the window's own copy goes.
        if (w->system_menu != nullptr) {
            destroy_menu(w->system_menu);
            if ((w = find_window(hWnd)) != nullptr)
                window_changed(*w);
        }
        return nullptr;
    }
    if (w->system_menu == nullptr)
        w->system_menu = create_system_menu(hWnd);
    return w->system_menu;
}

HMENU WINAPI GetMenu(HWND hWnd) {
    Window* w = checked_window(hWnd);
    return w == nullptr || w->is_child() ? nullptr : w->menu;
}

BOOL WINAPI TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int /*nReserved*/, HWND hWnd,
                           const RECT* prcRect) {
    (void)prcRect;
    if (checked_menu(hMenu) == nullptr || checked_window(hWnd) == nullptr)
        return FALSE;
    const bool notify = (uFlags & TPM_NONOTIFY) == 0;
    if (notify) {
        send_message(hWnd, WM_ENTERMENULOOP, TRUE, 0);
        send_message(hWnd, WM_INITMENU, reinterpret_cast<WPARAM>(hMenu), 0);
        send_message(hWnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(hMenu), 0);
    }
    if (find_menu(hMenu) == nullptr || find_window(hWnd) == nullptr)
        return FALSE;
    std::vector<MenuEntry> entries = entries_of(hMenu, 0);
    UINT chosen = display_driver().track_popup_menu(entries, POINT{x, y}, hWnd);
    // Greyed entries, separators and unknown ids cannot be the user's choice.
    if (chosen != 0 && !choosable(entries, chosen))
        chosen = 0;
    if (notify && find_window(hWnd) != nullptr) {
        send_message(hWnd, WM_UNINITMENUPOPUP, reinterpret_cast<WPARAM>(hMenu), 0);
        if (find_window(hWnd) != nullptr)
            send_message(hWnd, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);  // the menu closed
        if (find_window(hWnd) != nullptr)
            send_message(hWnd, WM_EXITMENULOOP, TRUE, 0);
    }
    if ((uFlags & TPM_RETURNCMD) != 0)
        return static_cast<BOOL>(chosen);
    if (chosen != 0 && find_window(hWnd) != nullptr)
        PostMessageA(hWnd, WM_COMMAND, chosen, 0);
    return chosen != 0;
}
