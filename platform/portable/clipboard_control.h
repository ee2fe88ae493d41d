// Test control of the portable clipboard: what another program would do to
// it, and what the tests need to see of it. Used only by tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/portable/clipboard_host.h"
#include "platform/portable/types.h"

namespace portable {

// The window of "another program" that occupy_clipboard and
// put_foreign_clipboard_dib act as.
HWND foreign_clipboard_window();

// Opens the clipboard from another program's window, so that OpenClipboard
// fails until release_clipboard; false when it is open already.
bool occupy_clipboard();
void release_clipboard();

// A copy of the CF_DIB block on the clipboard; empty when there is none.
std::vector<uint8_t> clipboard_dib();

// Another program empties the clipboard and puts a copy of the packed DIB on
// it (becoming its owner); false while the clipboard is open.
bool put_foreign_clipboard_dib(const uint8_t* dib, size_t size);

// Closes and empties the clipboard and forgets its owner (between tests).
void reset_clipboard();

// Number of live global memory blocks, for leak checks.
size_t live_global_blocks();

}  // namespace portable
