// Window classes, and the standard icons and cursors.
#include <cstring>
#include <strings.h>

#include "platform/portable/kernel.h"
#include "platform/portable/window_state.h"

namespace portable {

namespace {

std::vector<std::unique_ptr<WindowClass>>& classes() {
    static std::vector<std::unique_ptr<WindowClass>> list;
    return list;
}

ATOM next_atom = 0xC000;

// A null instance means the program's own module, as on Win32.
HINSTANCE module_or_program(HINSTANCE instance) {
    return instance != nullptr ? instance : GetModuleHandleA(nullptr);
}

bool name_matches(const WindowClass& c, LPCSTR name) {
    if (IS_INTRESOURCE(name))
        return c.atom == reinterpret_cast<UINT_PTR>(name);
    return strcasecmp(c.name.c_str(), name) == 0;
}

// The instance's own class first, then a global class of that name.
WindowClass* lookup(LPCSTR name, HINSTANCE instance, bool global_too) {
    if (name == nullptr)
        return nullptr;
    instance = module_or_program(instance);
    for (auto& c : classes())
        if (c->instance == instance && name_matches(*c, name))
            return c.get();
    if (global_too)
        for (auto& c : classes())
            if ((c->style & CS_GLOBALCLASS) != 0 && name_matches(*c, name))
                return c.get();
    return nullptr;
}

ATOM register_class(const WNDCLASSEXA& wc) {
    if (wc.lpfnWndProc == nullptr || wc.lpszClassName == nullptr ||
        IS_INTRESOURCE(wc.lpszClassName) || wc.lpszClassName[0] == '\0' || wc.cbClsExtra < 0 ||
        wc.cbWndExtra < 0 || wc.cbClsExtra > 40 || wc.cbWndExtra > 40) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (lookup(wc.lpszClassName, wc.hInstance, false) != nullptr) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto c = std::make_unique<WindowClass>();
    c->name = wc.lpszClassName;
    c->atom = next_atom++;
    c->instance = module_or_program(wc.hInstance);
    c->style = wc.style;
    c->proc = wc.lpfnWndProc;
    c->class_extra = wc.cbClsExtra;
    c->window_extra = wc.cbWndExtra;
    c->icon = wc.hIcon;
    c->icon_small = wc.hIconSm;
    c->cursor = wc.hCursor;
    c->background = wc.hbrBackground;
    ATOM atom = c->atom;
    classes().push_back(std::move(c));
    return atom;
}

void fill(const WindowClass& c, WNDCLASSEXA& wc) {
    wc.style = c.style;
    wc.lpfnWndProc = c.proc;
    wc.cbClsExtra = c.class_extra;
    wc.cbWndExtra = c.window_extra;
    wc.hInstance = c.instance;
    wc.hIcon = c.icon;
    wc.hCursor = c.cursor;
    wc.hbrBackground = c.background;
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = c.name.c_str();
    wc.hIconSm = c.icon_small;
}

// The members that WNDCLASSA and WNDCLASSEXA share, from one to the other.
template <typename From, typename To>
void copy_shared_members(const From& from, To& to) {
    to.style = from.style;
    to.lpfnWndProc = from.lpfnWndProc;
    to.cbClsExtra = from.cbClsExtra;
    to.cbWndExtra = from.cbWndExtra;
    to.hInstance = from.hInstance;
    to.hIcon = from.hIcon;
    to.hCursor = from.hCursor;
    to.hbrBackground = from.hbrBackground;
    to.lpszMenuName = from.lpszMenuName;
    to.lpszClassName = from.lpszClassName;
}

// The stock icons and cursors: distinct, never freed.
HICON__ stock_icons[5];
HICON__ stock_cursors[5];

// Only the system's standard icons and cursors exist: modules carry no
// resources.
HICON stock(HINSTANCE instance, HICON__ (&table)[5], LPCSTR name, const UINT_PTR (&ids)[5]) {
    if (instance == nullptr && IS_INTRESOURCE(name))
        for (int i = 0; i < 5; ++i)
            if (reinterpret_cast<UINT_PTR>(name) == ids[i])
                return &table[i];
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

}  // namespace

WindowClass* find_class(LPCSTR name, HINSTANCE instance) {
    return lookup(name, instance, true);
}

void reset_classes() {
    classes().clear();
    next_atom = 0xC000;
}

}  // namespace portable

using namespace portable;

BOOL WINAPI GetClassInfoExA(HINSTANCE hInstance, LPCSTR lpszClass, LPWNDCLASSEXA lpwcx) {
    WindowClass* c = find_class(lpszClass, hInstance);
    if (c == nullptr || lpwcx == nullptr) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    fill(*c, *lpwcx);
    return c->atom;
}

BOOL WINAPI GetClassInfoA(HINSTANCE hInstance, LPCSTR lpClassName, LPWNDCLASSA lpWndClass) {
    WindowClass* c = find_class(lpClassName, hInstance);
    if (c == nullptr || lpWndClass == nullptr) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    WNDCLASSEXA wc{};
    fill(*c, wc);
    copy_shared_members(wc, *lpWndClass);
    return c->atom;
}

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* lpwcx) {
    if (lpwcx == nullptr || lpwcx->cbSize != sizeof(WNDCLASSEXA)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return register_class(*lpwcx);
}

ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass) {
    if (lpWndClass == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    copy_shared_members(*lpWndClass, wc);
    return register_class(wc);
}

BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance) {
    WindowClass* c = lookup(lpClassName, hInstance, false);
    if (c == nullptr) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (c->windows > 0)
        return FALSE;  // windows of the class still exist
    auto& list = classes();
    for (auto it = list.begin(); it != list.end(); ++it)
        if (it->get() == c) {
            list.erase(it);
            break;
        }
    return TRUE;
}

HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
    static const UINT_PTR ids[5] = {32512, 32513, 32514, 32515, 32516};
    return stock(hInstance, stock_icons, lpIconName, ids);
}

HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
    static const UINT_PTR ids[5] = {32512, 32513, 32514, 32515, 32649};
    return stock(hInstance, stock_cursors, lpCursorName, ids);
}

HCURSOR WINAPI SetCursor(HCURSOR hCursor) {
    static HCURSOR current = nullptr;
    HCURSOR previous = current;
    current = hCursor;
    return previous;
}
