#include <cstring>

#include "platform/portable/clipboard_state.h"
#include "platform/portable/kernel.h"

namespace portable {

namespace {

HWND__ other_program{};

// The clipboard is open, by this program (and where asked, emptied by it, so
// that it has an owner); else ERROR_CLIPBOARD_NOT_OPEN.
bool open_for_us(bool with_owner = false) {
    const Clipboard& c = clipboard();
    if (c.open && !c.opened_by_other && (!with_owner || c.owner != nullptr))
        return true;
    SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
    return false;
}

void free_foreign() {
    Clipboard& c = clipboard();
    if (c.foreign != nullptr)
        GlobalFree(c.foreign);
    c.foreign = nullptr;
}

}  // namespace

Clipboard& clipboard() {
    static Clipboard c;
    return c;
}

HWND other_program_window() {
    return &other_program;
}

void free_contents() {
    Clipboard& c = clipboard();
    for (auto& [format, block] : c.data)
        GlobalFree(block);
    c.data.clear();
    free_foreign();
}

void tell_host_dib() {
    Clipboard& c = clipboard();
    if (c.host == nullptr)
        return;
    auto it = c.data.find(CF_DIB);
    size_t size = 0;
    const uint8_t* bytes = it == c.data.end() ? nullptr : global_block_bytes(it->second, &size);
    if (bytes == nullptr)
        size = 0;
    c.host->dib_changed(bytes, size);
}

void set_clipboard_host(ClipboardHost* host) {
    clipboard().host = host;
}

void host_clipboard_taken() {
    Clipboard& c = clipboard();
    if (c.open)
        return;
    free_contents();
    c.owner = other_program_window();
}

}  // namespace portable

using portable::clipboard;

BOOL WINAPI OpenClipboard(HWND hWndNewOwner) {
    auto& c = clipboard();
    if (c.open) {
        // Only the program that holds it open may open it again, with the same window.
        if (!c.opened_by_other && c.opener == hWndNewOwner)
            return TRUE;
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    c.open = true;
    c.opener = hWndNewOwner;
    return TRUE;
}

BOOL WINAPI CloseClipboard(void) {
    auto& c = clipboard();
    if (!portable::open_for_us())
        return FALSE;
    c.open = false;
    c.opener = nullptr;
    return TRUE;
}

BOOL WINAPI EmptyClipboard(void) {
    auto& c = clipboard();
    if (!portable::open_for_us())
        return FALSE;
    portable::free_contents();
    c.owner = c.opener;
    portable::tell_host_dib();
    return TRUE;
}

HANDLE WINAPI SetClipboardData(UINT uFormat, HANDLE hMem) {
    auto& c = clipboard();
    if (!portable::open_for_us(true))
        return nullptr;
    // Delayed rendering (a null block) is not supported.
    if (portable::global_block_bytes(hMem, nullptr) == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto it = c.data.find(uFormat);
    if (it != c.data.end() && it->second != hMem)
        GlobalFree(it->second);
    c.data[uFormat] = hMem;
    if (uFormat == CF_DIB)
        portable::tell_host_dib();
    return hMem;
}

HANDLE WINAPI GetClipboardData(UINT uFormat) {
    auto& c = clipboard();
    if (!portable::open_for_us())
        return nullptr;
    portable::free_foreign();
    auto it = c.data.find(uFormat);
    if (it != c.data.end()) {
        // A block its holder freed behind the clipboard's back is gone.
        if (portable::global_block_bytes(it->second, nullptr) != nullptr)
            return it->second;
        c.data.erase(it);
        return nullptr;
    }
    if (uFormat != CF_DIB || c.host == nullptr)
        return nullptr;
    std::vector<uint8_t> picture;
    if (!c.host->foreign_dib(picture) || picture.empty())
        return nullptr;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, picture.size());
    if (block == nullptr)
        return nullptr;
    std::memcpy(portable::global_block_bytes(block, nullptr), picture.data(), picture.size());
    c.foreign = block;
    return block;
}

BOOL WINAPI IsClipboardFormatAvailable(UINT format) {
    auto& c = clipboard();
    auto it = c.data.find(format);
    if (it != c.data.end())
        return portable::global_block_bytes(it->second, nullptr) != nullptr;
    return FALSE;
}

HWND WINAPI GetClipboardOwner(void) {
    return clipboard().owner;
}

HWND WINAPI GetOpenClipboardWindow(void) {
    auto& c = clipboard();
    return c.open ? c.opener : nullptr;
}
