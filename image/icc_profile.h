// ICC colour profiles as pictures embed them: what a profile describes, read
// from its header, its tag table and the colorant and curve tags of matrix
// profiles. The conversion itself is the system's (picture_codec.h).
#pragma once

#include <cstddef>
#include <cstdint>

enum class ProfileKind {
    unusable,  // cut short, malformed, or not for RGB or grey pixels: as if there were none
    srgb,      // sRGB by its colorants and curves, whatever its name or version, or a grey
               // whose curve is sRGB's: the pixels are sRGB already
    rgb,       // another RGB space, to be converted
    grey,      // another grey, to be converted
};

// What the ICC profile in the `size` bytes at `data` describes.
ProfileKind read_icc_profile(const uint8_t* data, size_t size);
