// Inside the portable clipboard: its state, shared by the Win32 calls and the
// test control that plays the other programs.
#pragma once

#include <map>

#include "platform/portable/clipboard.h"
#include "platform/portable/clipboard_host.h"

namespace portable {

struct Clipboard {
    bool open = false;
    bool opened_by_other = false;  // occupy_clipboard
    HWND opener = nullptr;
    HWND owner = nullptr;
    std::map<UINT, HGLOBAL> data;  // every block here is the clipboard's
    // A foreign picture wrapped for one GetClipboardData: freed at the next
    // one, or when the clipboard is emptied.
    HGLOBAL foreign = nullptr;
    ClipboardHost* host = nullptr;
};

Clipboard& clipboard();
// The window that stands for every other program.
HWND other_program_window();
// Frees every block the clipboard holds.
void free_contents();
// Tells the host what CF_DIB now holds.
void tell_host_dib();

}  // namespace portable
