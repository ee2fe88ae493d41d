// A window-framework program as the viewer runs one: create, show, paint,
// run the loop until the window is closed. Without a display it must end by
// itself after its first paint; the test runs it as a process.
#include <cstdio>

#include "window/nwindow.h"

namespace {

class Painted : public NWindow {
  public:
    int paints = 0;

    LRESULT window_proc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg != WM_PAINT)
            return DefWindowProcA(handle(), msg, wParam, lParam);
        PAINTSTRUCT ps;
        BeginPaint(handle(), &ps);
        ++paints;
        EndPaint(handle(), &ps);
        return 0;
    }
};

}  // namespace

int main() {
    Painted window;
    RECT r{0, 0, 64, 48};
    AdjustWindowRectEx(&r, 0xCA0000, FALSE, 0);
    window.create_window(0, "headless run", 0xCA0000, CW_USEDEFAULT, CW_USEDEFAULT,
                         r.right - r.left, r.bottom - r.top, nullptr, nullptr, nullptr);
    ShowWindow(window.handle(), SW_SHOW);
    UpdateWindow(window.handle());
    window.run_modal(false);
    std::printf("paints: %d, window %s\n", window.paints,
                window.handle() == nullptr ? "closed" : "open");
    return window.paints > 0 && window.handle() == nullptr ? 0 : 1;
}
