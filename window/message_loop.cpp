// run_modal and end_modal: the message loop that runs on one NWindow.
#include "window/nwindow.h"

namespace {

// The window that loses its input while a window runs modally.
HWND owner_or_parent(HWND hwnd) {
    HWND owner = GetWindow(hwnd, GW_OWNER);
    return owner != nullptr ? owner : GetParent(hwnd);
}

}  // namespace

int32_t NWindow::run_modal(bool dialogKeys) {
    if (hwnd == nullptr)
        return 0;
    in_modal_loop = true;
    modal_result = 0;
    if (HWND owner = owner_or_parent(hwnd))
        EnableWindow(owner, FALSE);

    MSG msg;
    msg.message = 0;  // a loop that took no message did not end on WM_QUIT
    bool quit = false;
    while (hwnd != nullptr) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                break;
            }
            if (dialogKeys && IsDialogMessageA(hwnd, &msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            if (hwnd == nullptr)
                break;
            WaitMessage();
        }
    }
    in_modal_loop = false;
    // The quit request belongs to an enclosing loop: queue it again.
    if (quit)
        PostQuitMessage(static_cast<int>(msg.wParam));
    return modal_result;
}

void NWindow::end_modal(int32_t result) {
    if (hwnd == nullptr)
        return;
    if (HWND owner = owner_or_parent(hwnd))
        EnableWindow(owner, TRUE);
    modal_result = result;
    DestroyWindow(hwnd);
}
