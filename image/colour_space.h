// What a picture's samples mean, as its file says, and whether they must be
// converted to sRGB before the quantizer sees them.
#pragma once

#include <cstdint>
#include <vector>

struct ColourSpace {
    // An embedded ICC profile, or empty.
    std::vector<uint8_t> icc;
    // A description by code points (ITU-T H.273), as HEIF files give it
    // instead of a profile: colour primaries and transfer characteristics;
    // 0 when there is none.
    uint16_t primaries = 0;
    uint16_t transfer = 0;
};

// How pixels in a colour space become sRGB: as they are (no description, one
// that describes sRGB, or one that cannot be used), or converted as RGB or as
// grey pixels.
enum class Conversion { none, rgb, grey };
Conversion conversion_for(const ColourSpace& space);

// The chromaticities (x, y) of H.273 colour primaries `code`: red, green,
// blue, then the white point; 2 (unspecified) is taken as 1 (BT.709, sRGB's).
// False for codes not known here.
bool primaries_of(uint16_t code, double xy[4][2]);
