// The image on the clipboard, as CF_DIB: a packed DIB in a global block.
#include "image/dib24.h"

bool dib24::copy_to_clipboard(HWND owner) const {
    HGLOBAL block = make_global_dib();
    if (block == nullptr)
        return false;
    if (!OpenClipboard(owner)) {
        GlobalFree(block);
        return false;
    }
    EmptyClipboard();
    // A refused block is still ours to free.
    const bool handed_over = SetClipboardData(CF_DIB, block) != nullptr;
    if (!handed_over)
        GlobalFree(block);
    CloseClipboard();
    return handed_over;
}

bool dib24::paste_clipboard(HWND owner) {
    if (!OpenClipboard(owner))
        return false;
    // The block stays the clipboard's; load_global locks and unlocks it.
    HANDLE block = GetClipboardData(CF_DIB);
    const bool loaded = block != nullptr && load_global(block);
    CloseClipboard();
    return loaded;
}
