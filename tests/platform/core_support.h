// Raw window procedures that write down what they get, for tests of the
// portable core's own semantics.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/portable/test_control.h"
#include "platform/win32.h"

struct Delivered {
    HWND hwnd;
    UINT msg;
    WPARAM wparam;
    LPARAM lparam;
    bool operator==(const Delivered& o) const { return hwnd == o.hwnd && msg == o.msg; }
};

inline std::vector<Delivered> delivered;
// Reacts before the default handling; return true to answer with `result`.
inline std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT&)> react;

inline LRESULT CALLBACK recording_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    delivered.push_back(Delivered{hwnd, msg, wParam, lParam});
    LRESULT result = 0;
    if (react && react(hwnd, msg, wParam, lParam, result))
        return result;
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// A fresh core with one class on the recording procedure.
inline void fresh_core(UINT class_style = CS_DBLCLKS, HBRUSH background = nullptr) {
    portable::test::reset();
    delivered.clear();
    react = nullptr;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = class_style;
    wc.lpfnWndProc = recording_proc;
    wc.lpszClassName = "Core Test";
    wc.hbrBackground = background;
    RegisterClassExA(&wc);
}

inline HWND make_window(DWORD style = WS_OVERLAPPEDWINDOW, HWND parent = nullptr, int x = 10,
                        int y = 20, int w = 200, int h = 150, DWORD ex_style = 0) {
    return CreateWindowExA(ex_style, "Core Test", "core", style, x, y, w, h, parent, nullptr,
                           nullptr, nullptr);
}

// The messages delivered to `hwnd` (all windows when null), in order.
inline std::vector<UINT> messages_of(HWND hwnd = nullptr) {
    std::vector<UINT> out;
    for (const Delivered& d : delivered)
        if (hwnd == nullptr || d.hwnd == hwnd)
            out.push_back(d.msg);
    return out;
}

inline void dispatch_all() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}
