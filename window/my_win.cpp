#include "window/my_win.h"

#include "quantize/process.h"
#include "window/popup_menu.h"

void MyWin::create_and_show(dib24* shown) {
    image = shown;
    RECT rect{0, 0, image->width, image->height};
    AdjustWindowRectEx(&rect, window_style, FALSE, 0);
    const std::string title = module_file_path();
    create_window(0, title.c_str(), window_style, CW_USEDEFAULT, CW_USEDEFAULT,
                  rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, nullptr);
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
}

std::string MyWin::module_file_path() {
    char buffer[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    if (length == 0)
        return std::string();
    return std::string(buffer);
}

void MyWin::process() {
    ::process(*image);
}

LRESULT MyWin::window_proc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE:
            process();
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(hwnd, &paint);
            image->draw(paint.hdc, 0, 0, image->width, image->height, 0, 0);
            EndPaint(hwnd, &paint);
            return 0;
        }
        case WM_RBUTTONDOWN: {
            // Client coordinates, signed 16 bits each.
            const int x = static_cast<SHORT>(LOWORD(lParam));
            const int y = static_cast<SHORT>(HIWORD(lParam));
            PopupMenuItem items[] = {{"copy"}, {nullptr}};
            if (show_popup_menu(x, y, items, hwnd) == 0) {
                // The window's own handle: a clipboard opened without an owner
                // is left ownerless by EmptyClipboard and refuses the data.
                image->copy_to_clipboard(hwnd);
            }
            return 0;
        }
        default:
            return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}
