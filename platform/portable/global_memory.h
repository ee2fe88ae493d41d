// KERNEL32 global memory blocks of the Win32 subset: the movable blocks that
// carry clipboard data. A block knows its size and its lock count; handles are
// checked against the live blocks, so a stale or foreign handle is refused
// instead of dereferenced, and a freed handle is never handed out again.
#pragma once

#include <cstddef>

#include "platform/portable/types.h"

#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_NOCOMPACT 0x0010
#define GMEM_NODISCARD 0x0020
#define GMEM_ZEROINIT 0x0040
#define GMEM_MODIFY 0x0080
#define GMEM_DISCARDABLE 0x0100
#define GMEM_SHARE 0x2000
#define GMEM_DDESHARE 0x2000
#define GMEM_INVALID_HANDLE 0x8000
#define GMEM_LOCKCOUNT 0x00FF
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

#ifndef ERROR_NOT_LOCKED
#define ERROR_NOT_LOCKED 158L
#endif

// A new block of dwBytes bytes, zero-filled with GMEM_ZEROINIT; null when the
// memory cannot be had or the flags are not ones this subset knows. Unlike
// Windows, a GMEM_FIXED handle is not the block's address either: always lock.
HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
// The block's address, valid until the matching GlobalUnlock; each call
// increments the lock count. Null for an invalid handle.
LPVOID WINAPI GlobalLock(HGLOBAL hMem);
// Decrements the lock count. TRUE while the block is still locked; FALSE when
// the count reached 0 (last error NO_ERROR), was 0 already (ERROR_NOT_LOCKED)
// or the handle is invalid (ERROR_INVALID_HANDLE).
BOOL WINAPI GlobalUnlock(HGLOBAL hMem);
// Frees the block, locked or not. Null on success, the handle itself on failure.
HGLOBAL WINAPI GlobalFree(HGLOBAL hMem);
// The size asked for at allocation; 0 for an invalid handle.
SIZE_T WINAPI GlobalSize(HGLOBAL hMem);

namespace portable {

// The bytes of a live block without locking it (for the core's clipboard),
// or null for an invalid handle.
uint8_t* global_block_bytes(HGLOBAL h, size_t* size);

}  // namespace portable
