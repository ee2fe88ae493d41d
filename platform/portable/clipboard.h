// USER32 clipboard of the Win32 subset. The contents are kept here, in the
// core, with Win32's rules: one opener at a time; EmptyClipboard frees the
// contents and makes the opener the owner; SetClipboardData needs the
// clipboard open and an owner (after OpenClipboard(NULL) EmptyClipboard
// leaves none, so it fails, as on Windows); a block handed over belongs to
// the clipboard from then on and is freed when it is replaced or emptied.
// Only global memory blocks are taken as data.
#pragma once

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
