#include "platform/portable/global_memory.h"

#include <cstring>
#include <map>
#include <memory>
#include <new>

#include "platform/portable/kernel.h"

namespace portable {

namespace {

struct Block {
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
    unsigned locks = 0;
};

// Handles are numbers, not addresses: counted up from an odd start, never
// reused, so a handle kept after GlobalFree can never alias a newer block.
struct Blocks {
    std::map<uintptr_t, Block> live;
    uintptr_t next = 0x10001;
};

Blocks& blocks() {
    static Blocks b;
    return b;
}

Block* find(HGLOBAL h) {
    auto& live = blocks().live;
    auto it = live.find(reinterpret_cast<uintptr_t>(h));
    return it == live.end() ? nullptr : &it->second;
}

// The largest block this subset hands out.
constexpr SIZE_T max_block_bytes = SIZE_T{1} << 40;

}  // namespace

uint8_t* global_block_bytes(HGLOBAL h, size_t* size) {
    Block* b = find(h);
    if (b == nullptr)
        return nullptr;
    if (size != nullptr)
        *size = b->size;
    return b->bytes.get();
}

size_t live_global_blocks() {
    return blocks().live.size();
}

}  // namespace portable

HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
    constexpr UINT known = GMEM_MOVEABLE | GMEM_NOCOMPACT | GMEM_NODISCARD | GMEM_ZEROINIT |
                           GMEM_DISCARDABLE | GMEM_SHARE;
    if ((uFlags & ~known) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (dwBytes > portable::max_block_bytes) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    portable::Block b;
    // One byte at least, so that even an empty block has an address.
    const size_t allocated = dwBytes == 0 ? 1 : dwBytes;
    b.bytes.reset(new (std::nothrow) uint8_t[allocated]);
    if (!b.bytes) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // Without GMEM_ZEROINIT the content is undefined; a fill pattern makes
    // reliance on zeroes visible.
    std::memset(b.bytes.get(), (uFlags & GMEM_ZEROINIT) ? 0x00 : 0xCD, allocated);
    b.size = dwBytes;
    auto& all = portable::blocks();
    const uintptr_t handle = all.next;
    all.next += 2;
    all.live.emplace(handle, std::move(b));
    return reinterpret_cast<HGLOBAL>(handle);
}

LPVOID WINAPI GlobalLock(HGLOBAL hMem) {
    portable::Block* b = portable::find(hMem);
    if (b == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (b->locks < GMEM_LOCKCOUNT)
        ++b->locks;
    return b->bytes.get();
}

BOOL WINAPI GlobalUnlock(HGLOBAL hMem) {
    portable::Block* b = portable::find(hMem);
    if (b == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (b->locks == 0) {
        SetLastError(ERROR_NOT_LOCKED);
        return FALSE;
    }
    if (--b->locks > 0)
        return TRUE;
    SetLastError(ERROR_SUCCESS);
    return FALSE;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
    auto& live = portable::blocks().live;
    auto it = live.find(reinterpret_cast<uintptr_t>(hMem));
    if (it == live.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return hMem;
    }
    live.erase(it);
    return nullptr;
}

SIZE_T WINAPI GlobalSize(HGLOBAL hMem) {
    portable::Block* b = portable::find(hMem);
    if (b == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return b->size;
}
