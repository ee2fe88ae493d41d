#include "window/nwindow.h"

namespace {

const char* const class_name = "NWindow Class Name";
const char* const prop_name = "NWindow Prop Name";

HANDLE as_handle(NWindow* object) {
    return static_cast<HANDLE>(object);
}

}  // namespace

NWindow::~NWindow() {
    if (hwnd == nullptr)
        return;
    if (in_modal_loop) {
        enable_owner(true);
        modal_result = 0;
    }
    RemovePropA(hwnd, prop_name);
    if (prev_wnd_proc != nullptr)
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(prev_wnd_proc));
    HWND old = hwnd;
    hwnd = nullptr;
    DestroyWindow(old);
}

LRESULT NWindow::window_proc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (hwnd == nullptr)
        return 0;
    if (prev_wnd_proc != nullptr)
        return call_prev_window_proc(hwnd, msg, wParam, lParam);
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT NWindow::window_proc_for(NWindow* target, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (target == nullptr || target->hwnd == nullptr)
        return 0;
    return DefWindowProcA(target->hwnd, msg, wParam, lParam);
}

void NWindow::register_window_class(const char* className, HINSTANCE instance) {
    if (className == nullptr)
        className = class_name;
    if (module_instance == nullptr)
        module_instance = instance != nullptr ? instance : GetModuleHandleA(nullptr);
    WNDCLASSA existing{};
    if (GetClassInfoA(module_instance, className, &existing) != 0)
        return;
    WNDCLASSEXA wc{};
    // The structure's own size: 48 bytes in 32-bit programs, more in 64-bit ones.
    wc.cbSize = sizeof(WNDCLASSEXA);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = class_window_proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = className;
    RegisterClassExA(&wc);
}

bool NWindow::create_window(DWORD exStyle, const char* title, DWORD style, int x, int y, int width,
                            int height, HWND parent, HMENU menu, NWindow* handler_) {
    register_window_class(nullptr, nullptr);
    handler = handler_;
    CreateWindowExA(exStyle, class_name, title, style, x, y, width, height, parent, menu,
                    module_instance, this);
    return hwnd != nullptr;
}

bool NWindow::create_window_in_class(const char* className, HINSTANCE instance, DWORD exStyle,
                                     const char* title, DWORD style, int x, int y, int width,
                                     int height, HWND parent, HMENU menu, NWindow* handler_) {
    register_window_class(className, instance);
    handler = handler_;
    CreateWindowExA(exStyle, className != nullptr ? className : class_name, title, style, x, y,
                    width, height, parent, menu, instance != nullptr ? instance : module_instance,
                    this);
    return hwnd != nullptr;
}

bool NWindow::create_subclassed_window(const char* className, DWORD exStyle, const char* title,
                                       DWORD style, int x, int y, int width, int height,
                                       HWND parent, HMENU menu, NWindow* handler_) {
    handler = handler_;
    hwnd = CreateWindowExA(exStyle, className, title, style, x, y, width, height, parent, menu,
                           module_instance, this);
    if (hwnd != nullptr && subclass())
        SendMessageA(hwnd, WM_NWINDOW_ATTACHED, 0, 0);
    return hwnd != nullptr;
}

bool NWindow::subclass() {
    if (hwnd == nullptr)
        return false;
    WNDPROC current = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hwnd, GWLP_WNDPROC));
    // A window that already runs on the framework's procedures would pass its
    // messages back to itself without end.
    if (current == class_window_proc || current == subclass_window_proc)
        return false;
    prev_wnd_proc = current;
    if (prev_wnd_proc == nullptr)
        return false;
    SetPropA(hwnd, prop_name, as_handle(this));
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(subclass_window_proc));
    return true;
}

NWindow* NWindow::from_handle(HWND hwnd) {
    return static_cast<NWindow*>(GetPropA(hwnd, prop_name));
}

LRESULT NWindow::dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (handler != nullptr)
        return handler->window_proc_for(this, msg, wParam, lParam);
    return window_proc(msg, wParam, lParam);
}

// Nothing touches the object after an auto_delete object deleted itself.
void NWindow::unlink_after_ncdestroy(HWND window, bool restore_procedure) {
    hwnd = nullptr;
    RemovePropA(window, prop_name);
    if (restore_procedure)
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(prev_wnd_proc));
    if (auto_delete) {
        auto_delete = false;
        delete this;
    }
}

// Links the object, trims the system menu of a fixed-size window, sets the
// icon.
void NWindow::attach_at_nccreate(HWND window, const CREATESTRUCTA& cs) {
    hwnd = window;
    SetPropA(window, prop_name, as_handle(this));
    const bool tool_window = (cs.dwExStyle & (WS_EX_DLGMODALFRAME | WS_EX_TOOLWINDOW)) != 0;
    if ((cs.style & WS_THICKFRAME) == 0) {
        if (HMENU menu = GetSystemMenu(window, FALSE)) {
            if (tool_window)
                RemoveMenu(menu, SC_MINIMIZE, MF_BYCOMMAND);
            RemoveMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
            RemoveMenu(menu, SC_SIZE, MF_BYCOMMAND);
        }
    }
    if (!tool_window) {
        HICON icon = LoadIconA(GetModuleHandleA(nullptr), "IDR_MAINFRAME");
        if (icon == nullptr)
            icon = LoadIconA(nullptr, IDI_APPLICATION);
        SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
}

LRESULT CALLBACK NWindow::class_window_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    NWindow* object = from_handle(hwnd);
    if (msg == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        // A window of the class made without an object stays unlinked.
        if (cs != nullptr && cs->lpCreateParams != nullptr) {
            object = static_cast<NWindow*>(cs->lpCreateParams);
            object->attach_at_nccreate(hwnd, *cs);
        }
    }
    if (object == nullptr)
        return DefWindowProcA(hwnd, msg, wParam, lParam);

    // A double click reaches the object as down, up, down, double click, up.
    if (msg == WM_LBUTTONDBLCLK)
        SendMessageA(hwnd, WM_LBUTTONDOWN, wParam, lParam);
    if (msg == WM_RBUTTONDBLCLK)
        SendMessageA(hwnd, WM_RBUTTONDOWN, wParam, lParam);
    if (msg == WM_MBUTTONDBLCLK)
        SendMessageA(hwnd, WM_MBUTTONDOWN, wParam, lParam);

    LRESULT result = object->hwnd != nullptr ? object->dispatch(msg, wParam, lParam)
                                             : DefWindowProcA(hwnd, msg, wParam, lParam);
    // The object may have been deleted while its window was being destroyed;
    // then the link is gone already.
    if (msg == WM_NCDESTROY && from_handle(hwnd) == object)
        object->unlink_after_ncdestroy(hwnd, false);
    return result;
}

LRESULT CALLBACK NWindow::subclass_window_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    NWindow* object = from_handle(hwnd);
    if (object == nullptr)
        return 0;
    LRESULT result = object->hwnd != nullptr ? object->dispatch(msg, wParam, lParam) : 0;
    if (msg == WM_NCDESTROY && from_handle(hwnd) == object)
        object->unlink_after_ncdestroy(hwnd, true);
    return result;
}

LRESULT NWindow::call_prev_window_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    NWindow* object = from_handle(hwnd);
    if (object == nullptr || object->prev_wnd_proc == nullptr)
        return 0;
    return CallWindowProcA(object->prev_wnd_proc, hwnd, msg, wParam, lParam);
}
