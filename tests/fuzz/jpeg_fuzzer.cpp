// Fuzz target: any byte string handed to the JPEG decoder, the marker check
// and the Exif orientation reader. A picture that decodes must be one the store can hold,
// in a store of its own, before and after it is turned upright.
#include <cstdint>
#include <cstdlib>

#include "image/dib_layout.h"
#include "image/jpeg_markers.h"
#include "image/orientation.h"
#include "image/picture_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    jpeg_markers_sound(data, size);  // must stay within the bytes, whatever it says
    const int tag = jpeg_orientation(data, size);
    if (tag < 1 || tag > 8)
        std::abort();
    DecodedPicture picture;
    if (decode_jpeg(data, size, picture) != LoadError::none)
        return 0;
    const int32_t width = picture.width(), height = picture.height();
    if (picture.store.bits == nullptr || !dib_layout::store_fits(width, height))
        std::abort();
    if (!apply_orientation(picture, tag))
        return 0;
    const bool turned = tag >= 5;
    if (picture.width() != (turned ? height : width) || picture.height() != (turned ? width : height))
        std::abort();
    return 0;
}
