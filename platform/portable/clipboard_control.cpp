// The test control's other programs on the portable clipboard.
#include "platform/portable/clipboard_control.h"

#include <cstring>

#include "platform/portable/clipboard_state.h"

namespace portable {

HWND foreign_clipboard_window() {
    return other_program_window();
}

bool occupy_clipboard() {
    Clipboard& c = clipboard();
    if (c.open)
        return false;
    c.open = true;
    c.opened_by_other = true;
    c.opener = other_program_window();
    return true;
}

void release_clipboard() {
    Clipboard& c = clipboard();
    if (!c.opened_by_other)
        return;
    c.open = false;
    c.opened_by_other = false;
    c.opener = nullptr;
}

std::vector<uint8_t> clipboard_dib() {
    Clipboard& c = clipboard();
    auto it = c.data.find(CF_DIB);
    if (it == c.data.end())
        return {};
    size_t size = 0;
    const uint8_t* bytes = global_block_bytes(it->second, &size);
    if (bytes == nullptr)
        return {};
    return std::vector<uint8_t>(bytes, bytes + size);
}

bool put_foreign_clipboard_dib(const uint8_t* dib, size_t size) {
    Clipboard& c = clipboard();
    if (c.open)
        return false;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (block == nullptr)
        return false;
    if (size > 0)
        std::memcpy(global_block_bytes(block, nullptr), dib, size);
    free_contents();
    c.owner = other_program_window();
    c.data[CF_DIB] = block;
    tell_host_dib();
    return true;
}

void reset_clipboard() {
    Clipboard& c = clipboard();
    free_contents();
    c.open = false;
    c.opened_by_other = false;
    c.opener = nullptr;
    c.owner = nullptr;
}

}  // namespace portable
