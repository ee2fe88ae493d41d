// Fuzz target: any byte string as a packed DIB in a global block of exactly
// that size, handed to dib24::load_global. A picture that loads must export
// and load again to the same picture; nothing may leak.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "image/dib24.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (block == nullptr)
        return 0;
    if (size > 0)
        std::memcpy(GlobalLock(block), data, size);
    GlobalUnlock(block);

    dib24 image;
    image.create(1, 1, 0);
    image.bits[0] = 0x5A;
    const bool loaded = image.load_global(block);
    // The block stays the caller's and is left unlocked.
    if (GlobalSize(block) != size || GlobalUnlock(block))
        std::abort();
    if (GlobalFree(block) != nullptr)
        std::abort();
    if (!loaded) {
        if (image.width != 1 || image.height != 1 || image.bits[0] != 0x5A)
            std::abort();
        return 0;
    }
    HGLOBAL exported = image.make_global_dib();
    if (exported == nullptr)
        std::abort();
    dib24 back;
    if (!back.load_global(exported))
        std::abort();
    GlobalFree(exported);
    const size_t store = static_cast<size_t>(image.stride) * static_cast<size_t>(image.height);
    const bool dpi_kept = image.dpi < 0 || back.dpi == image.dpi;
    if (back.width != image.width || back.height != image.height || !dpi_kept ||
        std::memcmp(back.bits, image.bits, store) != 0)
        std::abort();
    return 0;
}
