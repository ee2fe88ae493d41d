// Compressed picture files, decoded and encoded by the system's own codecs:
// libpng and libjpeg-turbo (image/png_codec.cpp, image/jpeg_codec.cpp), or the
// Windows Imaging Component (platform/windows/wic_codec.cpp); the build picks
// one. Every implementation follows the same rules, given here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Decoded pixels: red, green, blue, 3 bytes a pixel, rows without padding,
// the picture's top row first.
struct DecodedPicture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgb;
};

// A PNG file of `size` bytes: every colour type, bit depth and interlacing.
// 16-bit samples keep their high byte; alpha (an alpha channel or tRNS) is
// blended over white (over_white) on the 8-bit values; gAMA, cHRM, sRGB and
// iCCP are ignored: the samples are taken as they are. False for any damage:
// a bad CRC, a truncated file, a malformed chunk, a palette index beyond the
// palette, and for a picture whose store would not fit (dib_layout::store_fits),
// which is refused from its header before any pixel memory is taken. Memory
// grows only as decoded rows arrive.
bool decode_png(const uint8_t* file, size_t size, DecodedPicture& picture);

// A JPEG file of `size` bytes, baseline or progressive, grey or colour, with
// the decoder's defaults (accurate integer DCT, smooth upsampling), the
// orientation tag not applied. False for CMYK and YCCK files, for a file the
// decoder can only finish with a corrupt-data warning (premature end of data,
// extraneous bytes before a marker ...) and, from its header, for a picture
// whose store would not fit.
bool decode_jpeg(const uint8_t* file, size_t size, DecodedPicture& picture);

// A palette PNG (colour type 3) of `width` x `height` pixels: `colors` (1 to
// 256) palette entries of 3 bytes (red, green, blue), no transparency, one
// index a pixel in `indices`, top row first, `width` bytes a row; the pixels
// take palette_png_depth(colors) bits each; zlib at its default level. False
// for an index beyond the palette or an encoder failure.
bool encode_palette_png(int32_t width, int32_t height, const uint8_t* palette, int colors,
                        const uint8_t* indices, std::vector<uint8_t>& png);

// The fewest bits a pixel (1, 2, 4 or 8) that hold an index of `colors`
// palette entries.
inline int palette_png_depth(int colors) {
    return colors <= 2 ? 1 : colors <= 4 ? 2 : colors <= 16 ? 4 : 8;
}
