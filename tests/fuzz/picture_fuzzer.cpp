// Fuzz target: any byte string handed to decode_picture as a file of one kind
// (QV_FUZZ_KIND: webp, tiff or heif): the check of its structure, its
// decoder, the conversion of its colours and its orientation. A picture that
// decodes must be one the store can hold, in a store of its own.
#include <cstdint>
#include <cstdlib>

#include "image/dib_layout.h"
#include "image/picture_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (picture_kind(data, size) != PictureKind::QV_FUZZ_KIND)
        return 0;
    DecodedPicture picture;
    if (decode_picture(data, size, picture) != LoadError::none)
        return 0;
    if (picture.store.bits == nullptr ||
        !dib_layout::store_fits(picture.width(), picture.height()))
        std::abort();
    return 0;
}
