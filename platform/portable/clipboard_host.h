// How a display driver connects the portable core's clipboard to the host's:
// the core tells the host what it holds, and asks it for what other
// programs offer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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
