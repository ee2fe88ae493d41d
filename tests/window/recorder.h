// Window objects that write down the messages they get, for tests that
// compare message sequences.
#pragma once

#include <algorithm>
#include <functional>
#include <vector>

#include "platform/win32.h"
#include "window/nwindow.h"

struct Seen {
    UINT msg;
    WPARAM wparam;
    LPARAM lparam;
    bool linked;  // the object's hwnd was set when the message arrived
    NWindow* target = nullptr;

    bool operator==(const Seen& o) const { return msg == o.msg; }
};

// Records every message, then lets `on` react (return true when handled,
// with the result in `result`), else passes it to NWindow's default.
class Recorder : public NWindow {
  public:
    std::vector<Seen>* log = &own_log;
    std::vector<Seen> own_log;
    std::function<bool(Recorder&, UINT, WPARAM, LPARAM, LRESULT&)> on;
    bool* destroyed = nullptr;

    ~Recorder() override {
        if (destroyed != nullptr)
            *destroyed = true;
    }

    LRESULT window_proc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        log->push_back(Seen{msg, wParam, lParam, handle() != nullptr});
        LRESULT result = 0;
        if (on && on(*this, msg, wParam, lParam, result))
            return result;
        return NWindow::window_proc(msg, wParam, lParam);
    }
};

// A handler object: records the messages of other objects' windows.
class Handler : public NWindow {
  public:
    std::vector<Seen> log;

    LRESULT window_proc_for(NWindow* target, UINT msg, WPARAM wParam, LPARAM lParam) override {
        log.push_back(Seen{msg, wParam, lParam, target->handle() != nullptr, target});
        return NWindow::window_proc_for(target, msg, wParam, lParam);
    }
};

// Delivers everything that is queued, without waiting.
inline void pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// The messages of `log` that are in `interesting`, in order.
inline std::vector<UINT> only(const std::vector<Seen>& log,
                              std::initializer_list<UINT> interesting) {
    std::vector<UINT> out;
    for (const Seen& s : log)
        if (std::find(interesting.begin(), interesting.end(), s.msg) != interesting.end())
            out.push_back(s.msg);
    return out;
}

inline bool contains(const std::vector<Seen>& log, UINT msg) {
    return std::any_of(log.begin(), log.end(), [msg](const Seen& s) { return s.msg == msg; });
}
