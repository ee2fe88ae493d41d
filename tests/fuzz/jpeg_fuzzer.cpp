// Fuzz target: any byte string handed to the JPEG decoder, the marker check
// and the Exif orientation reader. A picture that decodes must be one the store can hold,
// with all its pixels there, before and after it is turned upright.
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
    const size_t pixels = size_t(picture.width) * size_t(picture.height);
    if (!dib_layout::store_fits(picture.width, picture.height) || picture.rgb.size() != 3 * pixels)
        std::abort();
    apply_orientation(picture, tag);
    if (picture.rgb.size() != 3 * pixels)
        std::abort();
    return 0;
}
