// USER32 clipboard of the Win32 subset. The contents are kept here, in the
// core, with Win32's rules: one opener at a time; EmptyClipboard frees the
// contents and makes the opener the owner; SetClipboardData needs the
// clipboard open and an owner (after OpenClipboard(NULL) EmptyClipboard
// leaves none, so it fails, as on Windows); a block handed over belongs to
// the clipboard from then on and is freed when it is replaced or emptied.
// Only global memory blocks are taken as data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/portable/global_memory.h"
#include "platform/portable/types.h"

#define CF_TEXT 1
#define CF_BITMAP 2
#define CF_DIB 8

#ifndef ERROR_ACCESS_DENIED
#define ERROR_ACCESS_DENIED 5L
#endif
#ifndef ERROR_CLIPBOARD_NOT_OPEN
#define ERROR_CLIPBOARD_NOT_OPEN 1418L
#endif

// Opens the clipboard for hWndNewOwner (may be null). Fails while another
// holder has it open; opening again with the same window succeeds.
BOOL WINAPI OpenClipboard(HWND hWndNewOwner);
// Closes the clipboard; FALSE when it was not open for this program.
BOOL WINAPI CloseClipboard(void);
// Frees every block on the clipboard and makes the opener the owner; FALSE
// when the clipboard is not open for this program.
BOOL WINAPI EmptyClipboard(void);
// Hands hMem (a live global block) to the clipboard under uFormat, freeing
// the block it replaces; returns hMem, or null when the clipboard is not
// open, has no owner or hMem is not a live block (then it stays the caller's).
HANDLE WINAPI SetClipboardData(UINT uFormat, HANDLE hMem);
// The block held under uFormat, still the clipboard's; null when the
// clipboard is not open for this program or holds no such data.
HANDLE WINAPI GetClipboardData(UINT uFormat);
BOOL WINAPI IsClipboardFormatAvailable(UINT format);
HWND WINAPI GetClipboardOwner(void);
HWND WINAPI GetOpenClipboardWindow(void);

namespace portable {
// Connects the clipboard to a host display (set by the display driver).
struct ClipboardHost {
    virtual ~ClipboardHost() = default;
    // CF_DIB changed: the packed DIB now on the clipboard, or (nullptr, 0) when emptied.
    virtual void dib_changed(const uint8_t* /*dib*/, size_t /*size*/) {}
    // The core holds no CF_DIB: a packed DIB that another program offers, if any.
    virtual bool foreign_dib(std::vector<uint8_t>& /*out*/) { return false; }
};
void set_clipboard_host(ClipboardHost* host);  // nullptr: none
// The host's clipboard now holds another program's data: the core's contents
// go, as when that program empties the clipboard, and GetClipboardData(CF_DIB)
// asks the host for its picture. Nothing changes while the clipboard is open.
void host_clipboard_taken();
}  // namespace portable
