// Fuzz target: any byte string handed to the PNG decoder. A picture that
// decodes must be one the store can hold, in a store of its own.
#include <cstdint>
#include <cstdlib>

#include "image/dib_layout.h"
#include "image/picture_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodedPicture picture;
    if (decode_png(data, size, picture) != LoadError::none)
        return 0;
    if (picture.store.bits == nullptr ||
        !dib_layout::store_fits(picture.width(), picture.height()))
        std::abort();
    return 0;
}
