// Fuzz target: any byte string as the ICC profile of a small picture, read by
// the profile reader and, where it asks for it, converted to sRGB by the
// system. The picture keeps its size whatever happens.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "image/colour_space.h"
#include "image/icc_profile.h"
#include "image/picture_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ProfileKind kind = read_icc_profile(data, size);
    if (kind != ProfileKind::unusable && kind != ProfileKind::srgb && kind != ProfileKind::rgb &&
        kind != ProfileKind::grey)
        std::abort();
    DecodedPicture picture;
    if (!picture.start(16, 3))
        return 0;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 16; ++x)
            std::memset(picture.row(y) + 3 * x, (16 * y + x) * 5, 3);
    picture.colour.icc.assign(data, data + size);
    const Conversion conversion = conversion_for(picture.colour);
    if (conversion != Conversion::none)
        convert_to_srgb(picture, conversion == Conversion::grey);
    if (picture.width() != 16 || picture.height() != 3)
        std::abort();
    return 0;
}
