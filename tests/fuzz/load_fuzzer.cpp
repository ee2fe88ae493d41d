// Fuzz target: any byte string handed to dib24::load as a bitmap file. A file
// that loads must save and load again to the same picture.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "image/dib24.h"

namespace {

bool load_from(dib24& image, const uint8_t* data, size_t size) {
    FILE* f = std::tmpfile();
    if (f == nullptr)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::rewind(f);
    bool ok = image.load(f);
    std::fclose(f);
    return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    dib24 image;
    image.create(1, 1, 0);
    image.bits[0] = 0x5A;
    if (!load_from(image, data, size)) {
        // A refused file leaves the image as it was.
        if (image.width != 1 || image.height != 1 || image.bits[0] != 0x5A)
            std::abort();
        return 0;
    }
    FILE* f = std::tmpfile();
    if (f == nullptr || !image.save(f))
        std::abort();
    std::rewind(f);
    dib24 back;
    if (!back.load(f))
        std::abort();
    std::fclose(f);
    const size_t store = static_cast<size_t>(image.stride) * static_cast<size_t>(image.height);
    // The resolution survives the trip through pixels per metre when it is not
    // negative; a negative one (meaningless in a file) may drift by one.
    const bool dpi_kept = image.dpi < 0 || back.dpi == image.dpi;
    if (back.width != image.width || back.height != image.height || !dpi_kept ||
        std::memcmp(back.bits, image.bits, store) != 0)
        std::abort();
    return 0;
}
