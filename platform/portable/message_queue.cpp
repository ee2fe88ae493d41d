// The thread's message queue: posted messages, the quit request, host input
// and generated WM_PAINT, in that order of priority, and the calls that take
// and deliver messages.
#include <bitset>
#include <deque>

#include "platform/portable/kernel.h"
#include "platform/portable/window_state.h"

namespace portable {

namespace {

std::deque<MSG> posted;
// Host input, with the thumb's whole position for scroll messages.
struct Input {
    MSG msg;
    int track_pos = 0;
};
std::deque<Input> input;
bool quit_requested = false;
int quit_code = 0;
// The keys as the messages taken so far left them (what GetKeyState reports):
// input is queued ahead of the program, so the host's state runs ahead.
std::bitset<256> taken_keys;

void note_key_state(const MSG& m) {
    const bool down = m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN;
    const bool up = m.message == WM_KEYUP || m.message == WM_SYSKEYUP;
    if ((down || up) && m.wParam < taken_keys.size())
        taken_keys[m.wParam] = down;
}

MSG make_message(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    MSG m{};
    m.hwnd = hwnd;
    m.message = msg;
    m.wParam = wparam;
    m.lParam = lparam;
    m.time = GetTickCount();
    m.pt = cursor_position();
    return m;
}

struct Filter {
    HWND hwnd;
    UINT first, last;

    bool range(UINT msg) const {
        return (first == 0 && last == 0) || (msg >= first && msg <= last);
    }
    bool window(HWND target) const {
        if (hwnd == nullptr)
            return true;
        if (hwnd == reinterpret_cast<HWND>(-1))
            return target == nullptr;  // thread messages only
        return target == hwnd || IsChild(hwnd, target);
    }
    bool operator()(const MSG& m) const { return range(m.message) && window(m.hwnd); }
};

bool take(std::deque<MSG>& queue, const Filter& filter, bool remove, MSG& out) {
    for (auto it = queue.begin(); it != queue.end(); ++it)
        if (filter(*it)) {
            out = *it;
            if (remove)
                queue.erase(it);
            return true;
        }
    return false;
}

// Input taken for the program: the key state and a scroll bar's tracking
// follow what it has taken.
bool take_input(const Filter& filter, bool remove, MSG& out) {
    for (auto it = input.begin(); it != input.end(); ++it)
        if (filter(it->msg)) {
            out = it->msg;
            if (remove) {
                note_key_state(out);
                note_scroll_taken(out, it->track_pos);
                input.erase(it);
            }
            return true;
        }
    return false;
}

// A printable key's character, as the US keyboard layout gives it.
int key_character(UINT vk) {
    const bool shift = taken_keys[VK_SHIFT], control = taken_keys[VK_CONTROL];
    if (vk >= 'A' && vk <= 'Z') {
        if (control)
            return static_cast<int>(vk - 'A' + 1);
        return shift ? static_cast<int>(vk) : static_cast<int>(vk - 'A' + 'a');
    }
    if (vk >= '0' && vk <= '9' && !control) {
        static const char shifted[] = ")!@#$%^&*(";
        return shift ? shifted[vk - '0'] : static_cast<int>(vk);
    }
    switch (vk) {
        case VK_SPACE:
            return ' ';
        case VK_RETURN:
            return '\r';
        case VK_ESCAPE:
            return 0x1B;
        case VK_BACK:
            return 0x08;
        case VK_TAB:
            return '\t';
        default:
            return -1;
    }
}

}  // namespace

void post_input_message(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, int track_pos) {
    input.push_back(Input{make_message(hwnd, msg, wparam, lparam), track_pos});
}

void purge_messages(HWND hwnd) {
    auto drop = [hwnd](std::deque<MSG>& queue) {
        for (auto it = queue.begin(); it != queue.end();)
            it = it->hwnd == hwnd ? queue.erase(it) : it + 1;
    };
    drop(posted);
    for (auto it = input.begin(); it != input.end();)
        it = it->msg.hwnd == hwnd ? input.erase(it) : it + 1;
}

bool messages_waiting() {
    return !posted.empty() || quit_requested || !input.empty() || window_needing_paint() != nullptr;
}

void reset_message_queue() {
    posted.clear();
    input.clear();
    quit_requested = false;
    quit_code = 0;
    taken_keys.reset();
}

}  // namespace portable

using namespace portable;

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (checked_window(hWnd) == nullptr)
        return 0;
    return send_message(hWnd, Msg, wParam, lParam);
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (hWnd != nullptr && checked_window(hWnd) == nullptr)
        return FALSE;
    posted.push_back(make_message(hWnd, Msg, wParam, lParam));
    return TRUE;
}

void WINAPI PostQuitMessage(int nExitCode) {
    // One pending request at most; the latest exit code wins.
    quit_requested = true;
    quit_code = nExitCode;
}

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                         UINT wRemoveMsg) {
    if (lpMsg == nullptr)
        return FALSE;
    const Filter filter{hWnd, wMsgFilterMin, wMsgFilterMax};
    const bool remove = (wRemoveMsg & PM_REMOVE) != 0;
    // Host events first move into the core's queue, without blocking.
    display_driver().poll();
    if (take(posted, filter, remove, *lpMsg))
        return TRUE;
    if (quit_requested && filter.range(WM_QUIT)) {
        *lpMsg = make_message(nullptr, WM_QUIT, static_cast<WPARAM>(quit_code), 0);
        if (remove)
            quit_requested = false;
        return TRUE;
    }
    if (take_input(filter, remove, *lpMsg))
        return TRUE;
    if (filter.range(WM_PAINT)) {
        // WM_PAINT stays "in the queue" until the window is validated.
        for (auto& [value, w] : window_table())
            if (!IsRectEmpty(&w->update) && IsWindowVisible(w->hwnd) && filter.window(w->hwnd)) {
                *lpMsg = make_message(w->hwnd, WM_PAINT, 0, 0);
                return TRUE;
            }
    }
    return FALSE;
}

BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (lpMsg == nullptr ||
        (hWnd != nullptr && hWnd != reinterpret_cast<HWND>(-1) && checked_window(hWnd) == nullptr))
        return -1;
    while (!PeekMessageA(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, PM_REMOVE))
        WaitMessage();
    return lpMsg->message != WM_QUIT;
}

BOOL WINAPI WaitMessage(void) {
    if (messages_waiting())
        return TRUE;
    DisplayDriver& driver = display_driver();
    if (driver.poll() && messages_waiting())
        return TRUE;
    driver.wait();
    return TRUE;
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    if (lpMsg == nullptr)
        return FALSE;
    if (lpMsg->message != WM_KEYDOWN && lpMsg->message != WM_SYSKEYDOWN &&
        lpMsg->message != WM_KEYUP && lpMsg->message != WM_SYSKEYUP)
        return FALSE;
    if (lpMsg->message == WM_KEYDOWN || lpMsg->message == WM_SYSKEYDOWN) {
        int c = key_character(static_cast<UINT>(lpMsg->wParam));
        if (c >= 0)
            posted.push_back(make_message(lpMsg->hwnd,
                                          lpMsg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR,
                                          static_cast<WPARAM>(c), lpMsg->lParam));
    }
    return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
    if (lpMsg == nullptr || lpMsg->hwnd == nullptr)
        return 0;  // thread messages have no window
    if (checked_window(lpMsg->hwnd) == nullptr)
        return 0;
    return send_message(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

BOOL WINAPI IsDialogMessageA(HWND hDlg, LPMSG lpMsg) {
    if (lpMsg == nullptr || find_window(hDlg) == nullptr)
        return FALSE;
    if (lpMsg->hwnd != hDlg && !IsChild(hDlg, lpMsg->hwnd))
        return FALSE;
    const UINT msg = lpMsg->message;
    if (msg == WM_KEYDOWN || msg == WM_CHAR) {
        const WPARAM key = lpMsg->wParam;
        const bool escape = msg == WM_KEYDOWN ? key == VK_ESCAPE : key == 0x1B;
        const bool enter = msg == WM_KEYDOWN ? key == VK_RETURN : key == '\r';
        const bool tab = msg == WM_KEYDOWN ? key == VK_TAB : key == '\t';
        if (escape || enter || tab) {
            LRESULT wants =
                send_message(lpMsg->hwnd, WM_GETDLGCODE, key, reinterpret_cast<LPARAM>(lpMsg));
            const bool keep =
                (wants & DLGC_WANTALLKEYS) != 0 || (tab && (wants & DLGC_WANTTAB) != 0);
            if (!keep) {
                if (msg == WM_KEYDOWN && (escape || enter))
                    send_message(hDlg, WM_COMMAND, escape ? IDCANCEL : IDOK, 0);
                return TRUE;  // focus moves among controls, of which there are none
            }
        }
    }
    // Every other message of the dialog is delivered here, as on Win32.
    TranslateMessage(lpMsg);
    DispatchMessageA(lpMsg);
    return TRUE;
}

LRESULT WINAPI CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam,
                               LPARAM lParam) {
    if (lpPrevWndFunc == nullptr)
        return 0;
    return lpPrevWndFunc(hWnd, Msg, wParam, lParam);
}

SHORT WINAPI GetKeyState(int nVirtKey) {
    if (nVirtKey < 0 || static_cast<size_t>(nVirtKey) >= taken_keys.size())
        return 0;
    return taken_keys[static_cast<size_t>(nVirtKey)] ? static_cast<SHORT>(0x8000) : 0;
}
