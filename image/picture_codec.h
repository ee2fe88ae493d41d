// Compressed picture files, decoded and encoded by the system's own codecs:
// libpng, libjpeg-turbo, libwebp, libtiff and libheif, with lcms2 for colour
// (image/*_codec.cpp, image/lcms_colour.cpp), or the Windows Imaging Component
// (platform/windows/wic_codec.cpp); the build picks one. Every implementation
// follows the same rules, given here. The file's structure has been checked
// before a decoder sees it (png_chunks.h, jpeg_markers.h, webp_chunks.h,
// tiff_directory.h, heif_boxes.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "image/decoded_picture.h"
#include "image/dib_layout.h"
#include "image/load_error.h"

// Why a picture of `width` x `height` pixels is refused from its header:
// damaged for a side of 0 or less, too_large for one whose store would not
// fit; none when it is neither.
inline LoadError size_refusal(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0)
        return LoadError::damaged;
    return dib_layout::store_fits(width, height) ? LoadError::none : LoadError::too_large;
}

// Each decoder returns LoadError::none with the whole picture, or why not:
// too_large for a picture whose store would not fit (dib_layout::store_fits),
// refused from its header before any pixel memory is taken, or for memory
// that cannot be had; not_a_picture for a kind of the format this program
// does not read (CMYK and other ink separations, floating-point samples);
// no_decoder where the system has no decoder for the file's coding; damaged
// for everything else (the data cut short, malformed or inconsistent: no
// pixel is made up). Memory grows only as decoded rows arrive, where the
// library allows it. Alpha is blended over white (over_white) on the 8-bit
// values; samples of more than 8 bits keep their high byte. The embedded ICC
// profile is handed on, not applied.

// PNG: every colour type, bit depth and interlacing; the profile of iCCP
// (gAMA, cHRM and sRGB are taken as sRGB).
LoadError decode_png(const uint8_t* file, size_t size, DecodedPicture& picture);

// JPEG, baseline or progressive, grey or colour, with the decoder's defaults
// (accurate integer DCT, smooth upsampling), the orientation tag not applied;
// the profile of the APP2 segments. A file the decoder can only finish with
// a corrupt-data warning (premature end of data, extraneous bytes before a
// marker ...) is damaged.
LoadError decode_jpeg(const uint8_t* file, size_t size, DecodedPicture& picture);

// WebP, lossy or lossless, with or without alpha; of an animation, the first
// frame as it is shown; the profile of the ICCP chunk.
LoadError decode_webp(const uint8_t* file, size_t size, DecodedPicture& picture);

// TIFF, the first picture of the file: grey, palette and bilevel of 1, 2, 4,
// 8 or 16 bits, RGB of 8 or 16 bits, with or without alpha (associated or
// not), in strips or tiles, interleaved or in planes, uncompressed, PackBits,
// LZW, Deflate, JPEG (or CCITT for bilevel); the orientation tag not
// applied; the profile of tag 34675.
LoadError decode_tiff(const uint8_t* file, size_t size, DecodedPicture& picture);

// HEIF (HEIC and AVIF): the primary image, turned and mirrored as the file
// declares (irot, imir) and cut as it says (clap); the profile, or the H.273
// colour description (nclx), of its colr box.
LoadError decode_heif(const uint8_t* file, size_t size, DecodedPicture& picture);

// Converts the pixels of `picture` from its colour space to sRGB, with the
// perceptual intent, as RGB pixels or (`grey`) as grey ones (every pixel has
// red = green = blue; one sample is taken). False, with the pixels as they
// were, where the colour space cannot be used.
bool convert_to_srgb(DecodedPicture& picture, bool grey);

// Where an encoder's bytes go, in order; false when they cannot be taken.
using ByteSink = std::function<bool(const uint8_t* bytes, size_t count)>;

// A palette PNG (colour type 3) of `width` x `height` pixels: `colors` (1 to
// 256) palette entries of 3 bytes (red, green, blue), no transparency, one
// index a pixel in `indices`, top row first, `width` bytes a row; the pixels
// take palette_png_depth(colors) bits each; zlib at its default level. Its
// bytes go to `out` as they are made. False for an index beyond the palette,
// an encoder failure or bytes that `out` refused.
bool encode_palette_png(int32_t width, int32_t height, const uint8_t* palette, int colors,
                        const uint8_t* indices, const ByteSink& out);

// The same file encoded as its rows come, from any thread but one call at a
// time: begin(), add_rows() for every row in order, end(). The bytes are
// those of encode_palette_png. Each step is false when the file cannot be
// made (the arguments as encode_palette_png's, more rows than the picture
// has, an index beyond the palette, the encoder or `out` failing), and
// every step after a failed one fails.
class PalettePngEncoder {
  public:
    PalettePngEncoder();
    ~PalettePngEncoder();
    PalettePngEncoder(const PalettePngEncoder&) = delete;
    PalettePngEncoder& operator=(const PalettePngEncoder&) = delete;

    bool begin(int32_t width, int32_t height, const uint8_t* palette, int colors, ByteSink out);
    // The next `count` rows, `width` indices each, one after the other.
    bool add_rows(const uint8_t* rows, int32_t count);
    // After the last row.
    bool end();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// The fewest bits a pixel (1, 2, 4 or 8) that hold an index of `colors`
// palette entries.
inline int palette_png_depth(int colors) {
    return colors <= 2 ? 1 : colors <= 4 ? 2 : colors <= 16 ? 4 : 8;
}
