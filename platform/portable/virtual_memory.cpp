#include "platform/portable/virtual_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <map>
#include <mutex>

#include "platform/portable/kernel.h"

namespace {

constexpr size_t huge_page = size_t{2} << 20;
// Regions from half a huge page on take whole huge pages: the room left over
// costs less than the page faults of 4 KiB pages.
constexpr size_t huge_from = huge_page / 2;

// The length of every live region, which munmap needs and VirtualFree is
// not given.
std::mutex regions_lock;
std::map<uintptr_t, size_t>& regions() {
    static std::map<uintptr_t, size_t> r;
    return r;
}

}  // namespace

extern "C" LPVOID WINAPI VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType,
                                      DWORD flProtect) {
    if (lpAddress != nullptr || dwSize == 0 || flAllocationType != (MEM_COMMIT | MEM_RESERVE) ||
        flProtect != PAGE_READWRITE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const bool huge = dwSize >= huge_from;
    const size_t page = huge ? huge_page : size_t{4096};
    if (dwSize > SIZE_MAX - 2 * page) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const size_t length = (dwSize + page - 1) / page * page;
    // A huge region is cut out of a mapping one huge page longer, so that it
    // can start on a huge page's boundary.
    const size_t mapped = huge ? length + huge_page : length;
    void* base = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto start = reinterpret_cast<uintptr_t>(base);
    if (huge) {
        const uintptr_t aligned = (start + huge_page - 1) & ~(huge_page - 1);
        if (aligned > start)
            munmap(base, aligned - start);
        const uintptr_t end = start + mapped;
        if (end > aligned + length)
            munmap(reinterpret_cast<void*>(aligned + length), end - (aligned + length));
        start = aligned;
        // Advice only: without transparent huge pages the region is as good.
        madvise(reinterpret_cast<void*>(start), length, MADV_HUGEPAGE);
    }
    std::lock_guard<std::mutex> hold(regions_lock);
    regions()[start] = length;
    return reinterpret_cast<LPVOID>(start);
}

extern "C" BOOL WINAPI VirtualFree(LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType) {
    if (dwSize != 0 || dwFreeType != MEM_RELEASE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    size_t length;
    {
        std::lock_guard<std::mutex> hold(regions_lock);
        const auto found = regions().find(reinterpret_cast<uintptr_t>(lpAddress));
        if (found == regions().end()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        length = found->second;
        regions().erase(found);
    }
    munmap(lpAddress, length);
    return TRUE;
}
