// HEIF files where the build found no libheif: there is no decoder for them.
#include "image/picture_codec.h"

LoadError decode_heif(const uint8_t*, size_t, DecodedPicture&) {
    return LoadError::no_decoder;
}
