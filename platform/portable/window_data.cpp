// Windows: the data a window carries for its program: window longs, extra
// bytes, properties, the title and the class name.
#include <cstring>

#include "platform/portable/kernel.h"
#include "platform/portable/window_state.h"

namespace portable {

namespace {

std::string property_key(LPCSTR name) {
    if (IS_INTRESOURCE(name))
        return "#" + std::to_string(reinterpret_cast<UINT_PTR>(name));
    std::string key(name);
    for (char& c : key)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return key;
}

LONG_PTR get_long(HWND hwnd, int index) {
    Window* w = checked_window(hwnd);
    if (w == nullptr)
        return 0;
    switch (index) {
        case GWLP_WNDPROC:
            return reinterpret_cast<LONG_PTR>(w->proc);
        case GWLP_HINSTANCE:
            return reinterpret_cast<LONG_PTR>(w->instance);
        case GWLP_HWNDPARENT:
            return reinterpret_cast<LONG_PTR>(w->is_child() ? w->parent : w->owner);
        case GWLP_ID:
            return static_cast<LONG_PTR>(w->id);
        case GWL_STYLE:
            return static_cast<LONG>(w->style);
        case GWL_EXSTYLE:
            return static_cast<LONG>(w->ex_style);
        case GWLP_USERDATA:
            return w->user_data;
        default:
            break;
    }
    if (index >= 0 && static_cast<size_t>(index) + sizeof(LONG_PTR) <= w->extra.size()) {
        LONG_PTR value;
        std::memcpy(&value, w->extra.data() + index, sizeof value);
        return value;
    }
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
}

LONG_PTR set_long(HWND hwnd, int index, LONG_PTR value) {
    Window* w = checked_window(hwnd);
    if (w == nullptr)
        return 0;
    LONG_PTR previous = get_long(hwnd, index);
    switch (index) {
        case GWLP_WNDPROC:
            if (value == 0) {  // a window always has a procedure
                SetLastError(ERROR_INVALID_PARAMETER);
                return 0;
            }
            w->proc = reinterpret_cast<WNDPROC>(value);
            return previous;
        case GWLP_HINSTANCE:
            w->instance = reinterpret_cast<HINSTANCE>(value);
            return previous;
        case GWLP_ID:
            w->id = static_cast<UINT_PTR>(value);
            return previous;
        case GWL_STYLE:
            // Visibility changes only through ShowWindow; the child bit stays.
            w->style = (static_cast<DWORD>(value) & ~static_cast<DWORD>(WS_VISIBLE | WS_CHILD)) |
                       (w->style & (WS_VISIBLE | WS_CHILD));
            window_changed(*w);
            return previous;
        case GWL_EXSTYLE:
            w->ex_style = static_cast<DWORD>(value);
            window_changed(*w);
            return previous;
        case GWLP_USERDATA:
            w->user_data = value;
            return previous;
        default:
            break;
    }
    if (index >= 0 && static_cast<size_t>(index) + sizeof(LONG_PTR) <= w->extra.size()) {
        std::memcpy(w->extra.data() + index, &value, sizeof value);
        return previous;
    }
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
}

// A 32-bit value cannot carry a pointer of a 64-bit program: as on 64-bit
// Windows, the pointer-sized indices are refused there.
bool fits_long(int index) {
    return sizeof(LONG_PTR) == sizeof(LONG) || (index != GWLP_WNDPROC && index != GWLP_HINSTANCE &&
                                                index != GWLP_HWNDPARENT && index != GWLP_USERDATA);
}

}  // namespace

}  // namespace portable

using namespace portable;

LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex) {
    return get_long(hWnd, nIndex);
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    return set_long(hWnd, nIndex, dwNewLong);
}

LONG WINAPI GetWindowLongA(HWND hWnd, int nIndex) {
    if (!fits_long(nIndex)) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    return static_cast<LONG>(get_long(hWnd, nIndex));
}

LONG WINAPI SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong) {
    if (!fits_long(nIndex)) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    return static_cast<LONG>(set_long(hWnd, nIndex, dwNewLong));
}

BOOL WINAPI SetPropA(HWND hWnd, LPCSTR lpString, HANDLE hData) {
    Window* w = checked_window(hWnd);
    if (w == nullptr || lpString == nullptr)
        return FALSE;
    w->properties[property_key(lpString)] = hData;
    return TRUE;
}

HANDLE WINAPI GetPropA(HWND hWnd, LPCSTR lpString) {
    Window* w = find_window(hWnd);
    if (w == nullptr || lpString == nullptr)
        return nullptr;
    auto it = w->properties.find(property_key(lpString));
    return it == w->properties.end() ? nullptr : it->second;
}

HANDLE WINAPI RemovePropA(HWND hWnd, LPCSTR lpString) {
    Window* w = find_window(hWnd);
    if (w == nullptr || lpString == nullptr)
        return nullptr;
    auto it = w->properties.find(property_key(lpString));
    if (it == w->properties.end())
        return nullptr;
    HANDLE value = it->second;
    w->properties.erase(it);
    return value;
}

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
    if (checked_window(hWnd) == nullptr)
        return FALSE;
    return send_message(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) != 0;
}

int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
    if (checked_window(hWnd) == nullptr || lpString == nullptr || nMaxCount <= 0)
        return 0;
    return static_cast<int>(send_message(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount),
                                         reinterpret_cast<LPARAM>(lpString)));
}

int WINAPI GetWindowTextLengthA(HWND hWnd) {
    if (checked_window(hWnd) == nullptr)
        return 0;
    return static_cast<int>(send_message(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

int WINAPI GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount) {
    Window* w = checked_window(hWnd);
    if (w == nullptr || lpClassName == nullptr || nMaxCount <= 0)
        return 0;
    const std::string& name = w->window_class->name;
    size_t n = std::min(name.size(), static_cast<size_t>(nMaxCount - 1));
    std::memcpy(lpClassName, name.data(), n);
    lpClassName[n] = '\0';
    return static_cast<int>(n);
}
