// run_modal and end_modal: the message loop that runs on one NWindow.
#include "window/nwindow.h"

void NWindow::enable_owner(bool enable) const {
    HWND owner = GetWindow(hwnd, GW_OWNER);
    if (owner == nullptr)
        owner = GetParent(hwnd);
    if (owner != nullptr)
        EnableWindow(owner, enable ? TRUE : FALSE);
}

int32_t NWindow::run_modal(bool dialogKeys) {
    if (hwnd == nullptr)
        return 0;
    in_modal_loop = true;
    modal_result = 0;
    enable_owner(false);

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
    enable_owner(true);
    modal_result = result;
    DestroyWindow(hwnd);
}
